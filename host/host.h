// A real host for the effect module: loads it, serves every callback and suite of the host
// interface (entry/host_interface.h), drives its lifecycle and keeps its parameters.
//
// One Host object stands for one effect instance with one sequence. It is not thread-safe: one
// thread drives it at a time. The tools (cli/, frei0r/) are its users. It keeps only what a host
// must keep (handles, string tables, the panel, the declared formats, live suite acquisitions), so
// its memory stays flat however many frames it renders. The callbacks are virtual: a test double
// derives from Host to inject faults and log calls without the production host carrying either.
//
// Per-thread state: callbacks that do not receive the effect reference (memory handles, messages,
// string registration, suite acquisition, pixel-format queries) carry no context, so the host keeps
// a thread_local pointer to the Host that is currently inside `main` on this thread. It is set
// right before each call of `main` and restored right after (also when `main` throws); this is the
// one piece of per-thread state the interface forces on a host. Such a callback made outside any
// call of `main` fails (null handle, size 0, empty text, unavailable suite).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "entry/host_interface.h"

namespace threeway::host {

// Result codes the host itself returns (from its callbacks, or from a Host method that refuses to
// call the module). They are distinct from every code the module uses.
constexpr std::int32_t kHostErrBadArgument = -1001;  // a callback got an argument it cannot serve
constexpr std::int32_t kHostErrNoModule = -1002;     // no entry point attached
constexpr std::int32_t kHostErrNotReady = -1003;     // parameters not (completely) declared yet
constexpr std::int32_t kHostErrBadIndex = -1004;     // no declared parameter of that index/type

constexpr int kParamIndexFirst = 1;    // index 0 is the host's input layer
constexpr int kMaxDeclaredParams = 4096;  // a module declaring more is refused (kHostErrBadArgument)

// Bytes per pixel of a host pixel-format code: 4 when its first character is lower-case (8-bit
// channels), 8 with one leading capital (16-bit), 16 with two (32-bit float); 0 for a code that is
// none of these (first character not a letter).
int BytesPerPixel(std::uint32_t pixelFormat);

// ---------------------------------------------------------------------------------------------
// The loaded module

class ModuleLibrary {
 public:
  // dlopen(path, RTLD_NOW | RTLD_LOCAL) and dlsym("main"). Null on failure, with the loader's text
  // in `error` ("cannot load <path>: ..." or "<path> exports no entry point main: ...").
  static std::unique_ptr<ModuleLibrary> Open(const std::string& path, std::string& error);
  ~ModuleLibrary();  // dlclose
  ModuleLibrary(const ModuleLibrary&) = delete;
  ModuleLibrary& operator=(const ModuleLibrary&) = delete;

  zkfx::EntryPoint entry() const { return entry_; }
  const std::string& path() const { return path_; }

 private:
  ModuleLibrary(void* handle, zkfx::EntryPoint entry, std::string path)
      : handle_(handle), entry_(entry), path_(std::move(path)) {}
  void* handle_;
  zkfx::EntryPoint entry_;
  std::string path_;
};

// ---------------------------------------------------------------------------------------------
// A declared parameter as the host keeps it

struct StoredParam {
  zkfx::ParamRecord declared{};  // the record as added; text pointers re-pointed at the copies below
  zkfx::ParamRecord current{};   // same, with the current value in its value part
  std::optional<std::int32_t> groupKind;  // set by setGroupKind after a group start
  std::string choices;     // copies of the texts the module passed (popup/check box/button)
  std::string boxText;
  std::string buttonText;
};

// ---------------------------------------------------------------------------------------------
// The host

class Host {
 public:
  Host();
  virtual ~Host();  // frees every handle still live and unloads the module
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // --- Module -------------------------------------------------------------------------------
  // Loads the module file (see ModuleLibrary::Open). False with a message on failure; a module
  // loaded before stays attached.
  bool Load(const std::string& path, std::string& error);
  // Drives an entry point that is already in the process (tests without a module file).
  void Attach(zkfx::EntryPoint entry);
  bool HasModule() const { return entry_ != nullptr; }

  // --- Lifecycle: each returns main's result (or a kHostErr code without calling main) ----------
  std::int32_t About();
  std::int32_t GlobalSetup();
  std::int32_t GlobalSetdown();
  std::int32_t ParamsSetup();  // the declared parameters are replaced by what this call declares
  std::int32_t SequenceSetup();
  std::int32_t SequenceResetup();
  // Any command code with the current parameters; `output` and `extra` are passed through.
  std::int32_t Call(std::int32_t command, zkfx::HostFrame* output = nullptr, void* extra = nullptr);

  // kCmdRender with the current values; `input` travels as the layer of parameter 0. Refused with
  // kHostErrNotReady until parameter set-up declared as many parameters as it reported.
  std::int32_t Render(const zkfx::HostFrame& input, zkfx::HostFrame& output);
  // kCmdUpdateParamsUI: the module hands back the records to redisplay (refreshParamUI).
  std::int32_t UpdateParamsUI();
  // Render scale (num / den per axis, den > 0) and pixel aspect ratio; both default to 1/1.
  void SetRenderScale(std::int32_t num, std::uint32_t den);
  void SetPixelAspect(std::int32_t num, std::uint32_t den);

  // --- The last call ---------------------------------------------------------------------------
  const zkfx::HostOutputRecord& out() const { return out_; }             // after the call
  const zkfx::HostOutputRecord& outBefore() const { return outBefore_; }  // as handed to main
  const zkfx::HostInputRecord& in() const { return in_; }
  // The input record as the module left it when the last call returned (before the host took the
  // data handles over from the output record).
  const zkfx::HostInputRecord& inAfterCall() const { return inAfterCall_; }
  std::int32_t lastResult() const { return lastResult_; }
  std::uint32_t outFlags() const { return out_.outFlags; }
  std::uint32_t version() const { return out_.version; }
  std::int32_t paramCount() const { return paramCount_; }  // from the last parameter set-up
  // The message field of the last call (bounded to its 256 bytes); empty when none was written.
  std::string message() const;
  // The message the module asked to show (kOutFlagDisplayErrorMessage set), else empty.
  std::string displayedMessage() const;

  // --- Effect data the host keeps between calls -----------------------------------------------
  zkfx::MemHandle globalData() const { return in_.globalData; }
  zkfx::MemHandle sequenceData() const { return in_.sequenceData; }
  void SetSequenceData(zkfx::MemHandle handle) { in_.sequenceData = handle; }

  // --- Memory handles ---------------------------------------------------------------------------
  // Host-side allocation (also what the newHandle callback does): a zero-filled block of `size`
  // bytes; *handle is its address. Null when size exceeds 1 GiB.
  zkfx::MemHandle NewHandle(std::uint64_t size);
  bool DisposeHandle(zkfx::MemHandle handle);  // false (and nothing freed) for an unknown handle
  std::uint64_t HandleSize(zkfx::MemHandle handle) const;   // 0 for unknown handles
  bool IsLiveHandle(zkfx::MemHandle handle) const;
  // The serial number of a live handle (1 for the first handle this host gave out, then 2, ...),
  // 0 for an unknown one. A freed block's address may come back for a new handle; its serial
  // tells the two apart.
  std::uint64_t HandleSerial(zkfx::MemHandle handle) const;
  std::size_t LiveHandleCount() const { return handles_.size(); }

  // --- Display strings ---------------------------------------------------------------------------
  std::size_t RegisteredTableCount() const { return tables_.size(); }
  // What lookupString answers (the text after the first '='); empty for unknown token/entry.
  std::string LookupString(zkfx::StringTableToken token, std::int32_t entry) const;

  // --- Parameters --------------------------------------------------------------------------------
  int DeclaredCount() const { return static_cast<int>(params_.size()); }  // indices 1..count
  // The stored parameter of index 1..DeclaredCount(), or null.
  const StoredParam* Param(int index) const;
  // User edits. Each checks the index and the type (kHostErrBadIndex otherwise), stores the value,
  // and when the parameter is supervised sends kCmdUserChangedParam, taking back every value the
  // module marked changed; the result is main's (0 when nothing was sent). A button press is always
  // reported.
  std::int32_t SetPopup(int index, std::int32_t choice);
  std::int32_t SetCheckBox(int index, bool on);
  std::int32_t SetColor(int index, zkfx::ColorARGB color);
  std::int32_t SetAngle(int index, std::int32_t degrees16_16);
  std::int32_t SetFloat(int index, double value);
  std::int32_t PressButton(int index);

  // --- Suites and formats ---------------------------------------------------------------------------
  // Suites acquired and not yet released, by name (only names with a positive count).
  std::map<std::string, int> OutstandingSuites() const;
  // The pixel formats the module declared since it last reset the list, in order.
  const std::vector<std::uint32_t>& DeclaredPixelFormats() const { return pixelFormats_; }

  // --- Callback implementations (called through the tables in HostInputRecord) -----------------
  // Public so the C-style trampolines can reach them; virtual so a test double can wrap them.
  virtual std::int32_t OnAddParam(std::int32_t index, const zkfx::ParamRecord* record);
  virtual std::int32_t OnRegisterStrings(zkfx::StringTableToken* slot, std::int32_t protocol);
  virtual const char* OnLookupString(zkfx::StringTableToken token, std::int32_t entry) const;
  virtual void OnUnregisterStrings(zkfx::StringTableToken* slot);
  virtual zkfx::MemHandle OnNewHandle(std::uint64_t size);
  virtual void OnDisposeHandle(zkfx::MemHandle handle) { DisposeHandle(handle); }
  virtual void OnCopyMessage(char* destination, const char* text);
  virtual std::int32_t OnCopyRect(const zkfx::HostFrame* source, zkfx::HostFrame* destination,
                                  const zkfx::HostRect* sourceRect,
                                  const zkfx::HostRect* destinationRect);
  virtual std::int32_t OnAcquireSuite(const char* name, std::int32_t version, const void** suite);
  virtual std::int32_t OnReleaseSuite(const char* name, std::int32_t version);
  virtual std::int32_t OnResetPixelFormats();
  virtual std::int32_t OnDeclarePixelFormat(std::uint32_t code);
  virtual std::int32_t OnSetGroupKind(std::int32_t index, std::int32_t kind);
  virtual std::int32_t OnRefreshParamUI(std::int32_t index, const zkfx::ParamRecord* record);
  char* messageField() { return out_.message; }

  // The Host currently inside `main` on this thread, or null.
  static Host* Current();

 private:
  struct Block;
  struct StringTable;

  std::int32_t Invoke(std::int32_t command, zkfx::ParamRecord** params, zkfx::HostFrame* output,
                      void* extra);
  std::int32_t CallWithParams(std::int32_t command, const zkfx::HostFrame* input,
                              zkfx::HostFrame* output, void* extra, bool takeChanges);
  std::int32_t UserEdited(int index);
  StoredParam* EditableParam(int index, std::int32_t type);

  std::unique_ptr<ModuleLibrary> library_;
  zkfx::EntryPoint entry_ = nullptr;
  zkfx::HostInputRecord in_{};
  zkfx::HostOutputRecord out_{};
  zkfx::HostOutputRecord outBefore_{};
  zkfx::HostInputRecord inAfterCall_{};
  std::int32_t lastResult_ = 0;
  std::int32_t paramCount_ = 0;
  std::vector<std::unique_ptr<StoredParam>> params_;
  std::vector<zkfx::ParamRecord> callRecords_;    // the parameter array of the current call
  std::vector<zkfx::ParamRecord*> callPointers_;
  std::map<zkfx::MemHandle, std::unique_ptr<Block>> handles_;
  std::uint64_t handleSerial_ = 0;
  std::map<const void*, std::unique_ptr<StringTable>> tables_;  // by token
  std::map<std::string, int> acquired_;                          // live suite acquisitions
  std::vector<std::uint32_t> pixelFormats_;                      // declared since the last reset
};

}  // namespace threeway::host
