#include "host/host.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace threeway::host {

using zkfx::ParamRecord;

// ---------------------------------------------------------------------------------------------
// Per-thread context: the Host inside `main` on this thread (see host.h).

namespace {

thread_local Host* tCurrentHost = nullptr;

// Sets the current host for the duration of one call of `main` and restores the previous one on
// every exit path (a nested call from inside a callback restores its caller's host).
class CurrentHostScope {
 public:
  explicit CurrentHostScope(Host* host) : previous_(tCurrentHost) { tCurrentHost = host; }
  ~CurrentHostScope() { tCurrentHost = previous_; }
  CurrentHostScope(const CurrentHostScope&) = delete;
  CurrentHostScope& operator=(const CurrentHostScope&) = delete;

 private:
  Host* previous_;
};

// A callback that carries the effect reference serves only the host that is inside `main` and
// whose reference it is.
Host* HostFor(zkfx::EffectRef effect) {
  Host* host = tCurrentHost;
  return host != nullptr && effect == static_cast<zkfx::EffectRef>(host) ? host : nullptr;
}

constexpr std::uint64_t kMaxHandleSize = std::uint64_t{1} << 30;
constexpr char kEmptyText[] = "";

// --- Utility table ---------------------------------------------------------------------------

zkfx::MemHandle NewHandleCallback(std::uint64_t size) {
  Host* host = tCurrentHost;
  return host ? host->OnNewHandle(size) : nullptr;
}
void DisposeHandleCallback(zkfx::MemHandle handle) {
  if (Host* host = tCurrentHost) host->OnDisposeHandle(handle);
}
std::uint64_t GetHandleSizeCallback(zkfx::MemHandle handle) {
  Host* host = tCurrentHost;
  return host ? host->HandleSize(handle) : 0;
}
void CopyMessageCallback(char* destination, const char* text) {
  if (Host* host = tCurrentHost) {
    host->OnCopyMessage(destination, text);
  } else if (destination != nullptr) {
    // Without a host the only known destination size is a parameter name's.
    std::snprintf(destination, sizeof(ParamRecord::name), "%s", text ? text : "");
  }
}
std::int32_t FormatMessageCallback(char* destination, const char* format, ...) {
  if (destination == nullptr || format == nullptr) return kHostErrBadArgument;
  va_list arguments;
  va_start(arguments, format);
  const int written = std::vsnprintf(destination, zkfx::kMessageSize, format, arguments);
  va_end(arguments);
  return written < 0 ? kHostErrBadArgument : zkfx::kErrNone;
}
std::int32_t CopyRectCallback(zkfx::EffectRef effect, const zkfx::HostFrame* source,
                              zkfx::HostFrame* destination, const zkfx::HostRect* sourceRect,
                              const zkfx::HostRect* destinationRect) {
  Host* host = HostFor(effect);
  return host ? host->OnCopyRect(source, destination, sourceRect, destinationRect)
              : kHostErrBadArgument;
}

constexpr zkfx::HostUtilityTable kUtilityTable = {
    NewHandleCallback,   DisposeHandleCallback, GetHandleSizeCallback,
    CopyMessageCallback, FormatMessageCallback, CopyRectCallback,
};

// --- Interaction callbacks -----------------------------------------------------------------------

std::int32_t AddParamCallback(zkfx::EffectRef effect, std::int32_t index, const ParamRecord* record) {
  Host* host = HostFor(effect);
  return host ? host->OnAddParam(index, record) : kHostErrBadArgument;
}
std::int32_t RegisterStringsCallback(zkfx::StringTableToken* slot, std::int32_t protocol) {
  Host* host = tCurrentHost;
  return host ? host->OnRegisterStrings(slot, protocol) : kHostErrBadArgument;
}
const char* LookupStringCallback(zkfx::StringTableToken token, std::int32_t entry, std::int32_t,
                                 std::int32_t) {
  Host* host = tCurrentHost;
  return host ? host->OnLookupString(token, entry) : kEmptyText;
}
void UnregisterStringsCallback(zkfx::StringTableToken* slot) {
  if (Host* host = tCurrentHost) host->OnUnregisterStrings(slot);
}

// --- Suites -----------------------------------------------------------------------------------

std::int32_t AcquireSuiteCallback(const char* name, std::int32_t version, const void** suite) {
  Host* host = tCurrentHost;
  if (host == nullptr) {
    if (suite != nullptr) *suite = nullptr;
    return zkfx::kErrSuiteUnavailable;
  }
  return host->OnAcquireSuite(name, version, suite);
}
std::int32_t ReleaseSuiteCallback(const char* name, std::int32_t version) {
  Host* host = tCurrentHost;
  return host ? host->OnReleaseSuite(name, version) : kHostErrBadArgument;
}
constexpr zkfx::BasicSuite kBasicSuite = {AcquireSuiteCallback, ReleaseSuiteCallback};

std::int32_t DeclarePixelFormatCallback(zkfx::EffectRef effect, std::uint32_t code) {
  Host* host = HostFor(effect);
  return host ? host->OnDeclarePixelFormat(code) : kHostErrBadArgument;
}
std::int32_t ResetPixelFormatsCallback(zkfx::EffectRef effect) {
  Host* host = HostFor(effect);
  return host ? host->OnResetPixelFormats() : kHostErrBadArgument;
}
void UnusedSuiteOperation() {}
std::int32_t QueryPixelFormatCallback(const zkfx::HostFrame* frame, std::uint32_t* code) {
  if (frame == nullptr || code == nullptr) return kHostErrBadArgument;
  *code = frame->hostPixelFormat;
  return zkfx::kErrNone;
}
constexpr zkfx::PixelFormatSuite1 kPixelFormatSuite = {
    DeclarePixelFormatCallback, ResetPixelFormatsCallback, UnusedSuiteOperation,
    UnusedSuiteOperation,       QueryPixelFormatCallback,
};

std::int32_t SetGroupKindCallback(zkfx::EffectRef effect, std::int32_t index, std::int32_t kind) {
  Host* host = HostFor(effect);
  return host ? host->OnSetGroupKind(index, kind) : kHostErrBadArgument;
}
constexpr zkfx::GroupParamSuite1 kGroupParamSuite = {SetGroupKindCallback};

std::int32_t RefreshParamUICallback(zkfx::EffectRef effect, std::int32_t index,
                                    const ParamRecord* record) {
  Host* host = HostFor(effect);
  return host ? host->OnRefreshParamUI(index, record) : kHostErrBadArgument;
}
constexpr zkfx::ParamUtilsSuite2 kParamUtilsSuite = {RefreshParamUICallback};

struct SuiteEntry {
  const char* name;
  std::int32_t version;
  const void* table;
};
constexpr SuiteEntry kSuites[] = {
    {zkfx::kPixelFormatSuiteName, zkfx::kPixelFormatSuiteVersion, &kPixelFormatSuite},
    {zkfx::kGroupParamSuiteName, zkfx::kGroupParamSuiteVersion, &kGroupParamSuite},
    {zkfx::kParamUtilsSuiteName, zkfx::kParamUtilsSuiteVersion, &kParamUtilsSuite},
};

bool KnownType(std::int32_t type) {
  switch (type) {
    case zkfx::kParamTypeAngle:
    case zkfx::kParamTypeCheckBox:
    case zkfx::kParamTypeColor:
    case zkfx::kParamTypePopup:
    case zkfx::kParamTypeFloatSlider:
    case zkfx::kParamTypeGroupStart:
    case zkfx::kParamTypeGroupEnd:
    case zkfx::kParamTypeButton:
      return true;
    default:
      return false;
  }
}

bool IsAsciiLetter(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAsciiUpper(unsigned char c) { return c >= 'A' && c <= 'Z'; }

}  // namespace

int BytesPerPixel(std::uint32_t pixelFormat) {
  const auto first = static_cast<unsigned char>(pixelFormat);
  const auto second = static_cast<unsigned char>(pixelFormat >> 8);
  if (!IsAsciiLetter(first)) return 0;
  if (!IsAsciiUpper(first)) return 4;
  return IsAsciiUpper(second) ? 16 : 8;
}

// ---------------------------------------------------------------------------------------------
// ModuleLibrary

std::unique_ptr<ModuleLibrary> ModuleLibrary::Open(const std::string& path, std::string& error) {
  dlerror();
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = dlerror();
    error = "cannot load module " + path + ": " + (why ? why : "unknown loader error");
    return nullptr;
  }
  dlerror();
  void* symbol = dlsym(handle, zkfx::kEntryPointName);
  const char* why = dlerror();
  if (symbol == nullptr || why != nullptr) {
    error = "module " + path + " exports no entry point \"" + zkfx::kEntryPointName +
            "\": " + (why ? why : "the symbol is null");
    dlclose(handle);
    return nullptr;
  }
  zkfx::EntryPoint entry;
  static_assert(sizeof entry == sizeof symbol);
  std::memcpy(&entry, &symbol, sizeof entry);
  return std::unique_ptr<ModuleLibrary>(new ModuleLibrary(handle, entry, path));
}

ModuleLibrary::~ModuleLibrary() { dlclose(handle_); }

// ---------------------------------------------------------------------------------------------
// Host: construction, module

struct Host::Block {
  void* data;  // first word of the handle: the block's address
  std::uint64_t size;
  std::uint64_t serial;
  std::unique_ptr<std::uint8_t[]> storage;
};

struct Host::StringTable {
  std::string name;
  std::vector<std::string> displayTexts;  // per entry number: the text after the first '='
};

Host::Host() {
  in_.effectRef = this;
  in_.utils = &kUtilityTable;
  in_.basicSuite = &kBasicSuite;
  in_.callbacks = {AddParamCallback, RegisterStringsCallback, LookupStringCallback,
                   UnregisterStringsCallback};
  in_.downsampleX = {1, 1};
  in_.downsampleY = {1, 1};
  in_.pixelAspect = {1, 1};
}

Host::~Host() = default;

bool Host::Load(const std::string& path, std::string& error) {
  std::unique_ptr<ModuleLibrary> library = ModuleLibrary::Open(path, error);
  if (!library) return false;
  library_ = std::move(library);
  entry_ = library_->entry();
  return true;
}

void Host::Attach(zkfx::EntryPoint entry) {
  library_.reset();
  entry_ = entry;
}

Host* Host::Current() { return tCurrentHost; }

// ---------------------------------------------------------------------------------------------
// Host: calling `main`

std::int32_t Host::Invoke(std::int32_t command, ParamRecord** params, zkfx::HostFrame* output,
                          void* extra) {
  if (entry_ == nullptr) return lastResult_ = kHostErrNoModule;
  std::memset(&out_, 0, sizeof out_);
  out_.globalData = in_.globalData;
  out_.sequenceData = in_.sequenceData;
  outBefore_ = out_;
  {
    CurrentHostScope scope(this);
    lastResult_ = entry_(command, &in_, &out_, params, output, extra);
  }
  inAfterCall_ = in_;
  // The effect hands its data blocks back through the output record.
  in_.globalData = out_.globalData;
  in_.sequenceData = out_.sequenceData;
  return lastResult_;
}

std::int32_t Host::CallWithParams(std::int32_t command, const zkfx::HostFrame* input,
                                  zkfx::HostFrame* output, void* extra, bool takeChanges) {
  // The parameter array lives in the host and is reused, so a render allocates nothing once the
  // panel is declared.
  std::vector<ParamRecord>& records = callRecords_;
  std::vector<ParamRecord*>& pointers = callPointers_;
  records.assign(params_.size() + 1, ParamRecord{});
  pointers.resize(records.size());
  records[0].type = zkfx::kParamTypeLayer;
  if (input != nullptr) records[0].value.layer.frame = *input;
  for (std::size_t i = 1; i < records.size(); ++i) {
    records[i] = params_[i - 1]->current;
    records[i].changeFlags = 0;
  }
  for (std::size_t i = 0; i < records.size(); ++i) pointers[i] = &records[i];
  const std::int32_t result = Invoke(command, pointers.data(), output, extra);
  if (takeChanges) {
    for (std::size_t i = 1; i < records.size(); ++i) {
      if ((records[i].changeFlags & zkfx::kChangeFlagChangedValue) == 0) continue;
      zkfx::ParamValue& value = params_[i - 1]->current.value;
      const zkfx::ParamValue& changed = records[i].value;
      switch (params_[i - 1]->declared.type) {
        case zkfx::kParamTypePopup: value.popup.current = changed.popup.current; break;
        case zkfx::kParamTypeCheckBox: value.checkBox.current = changed.checkBox.current; break;
        case zkfx::kParamTypeColor: value.color.current = changed.color.current; break;
        case zkfx::kParamTypeAngle: value.angle.current = changed.angle.current; break;
        case zkfx::kParamTypeFloatSlider:
          value.floatSlider.current = changed.floatSlider.current;
          break;
        default: break;  // buttons and groups carry no value
      }
    }
  }
  return result;
}

std::int32_t Host::Call(std::int32_t command, zkfx::HostFrame* output, void* extra) {
  const bool readsParams = command == zkfx::kCmdRender || command == zkfx::kCmdUserChangedParam ||
                           command == zkfx::kCmdUpdateParamsUI;
  if (readsParams && (paramCount_ == 0 || paramCount_ != DeclaredCount() + 1)) {
    return lastResult_ = kHostErrNotReady;
  }
  if (command == zkfx::kCmdUserChangedParam && extra == nullptr) {
    return lastResult_ = kHostErrBadArgument;
  }
  return CallWithParams(command, nullptr, output, extra, command == zkfx::kCmdUserChangedParam);
}

std::int32_t Host::About() { return Call(zkfx::kCmdAbout); }
std::int32_t Host::GlobalSetup() { return Call(zkfx::kCmdGlobalSetup); }
std::int32_t Host::GlobalSetdown() { return Call(zkfx::kCmdGlobalSetdown); }
std::int32_t Host::SequenceSetup() { return Call(zkfx::kCmdSequenceSetup); }
std::int32_t Host::SequenceResetup() { return Call(zkfx::kCmdSequenceResetup); }

std::int32_t Host::ParamsSetup() {
  params_.clear();
  paramCount_ = 0;
  const std::int32_t result = Call(zkfx::kCmdParamsSetup);
  if (result == zkfx::kErrNone) paramCount_ = out_.paramCount;
  return result;
}

std::int32_t Host::Render(const zkfx::HostFrame& input, zkfx::HostFrame& output) {
  if (paramCount_ == 0 || paramCount_ != DeclaredCount() + 1) return lastResult_ = kHostErrNotReady;
  return CallWithParams(zkfx::kCmdRender, &input, &output, nullptr, false);
}

std::int32_t Host::UpdateParamsUI() { return Call(zkfx::kCmdUpdateParamsUI); }

void Host::SetRenderScale(std::int32_t num, std::uint32_t den) {
  in_.downsampleX = in_.downsampleY = {num, den == 0 ? 1u : den};
}
void Host::SetPixelAspect(std::int32_t num, std::uint32_t den) {
  in_.pixelAspect = {num, den == 0 ? 1u : den};
}

std::string Host::message() const {
  return std::string(out_.message, strnlen(out_.message, sizeof out_.message));
}
std::string Host::displayedMessage() const {
  return (out_.outFlags & zkfx::kOutFlagDisplayErrorMessage) ? message() : std::string();
}

// ---------------------------------------------------------------------------------------------
// Host: parameters

const StoredParam* Host::Param(int index) const {
  if (index < kParamIndexFirst || index > DeclaredCount()) return nullptr;
  return params_[static_cast<std::size_t>(index - kParamIndexFirst)].get();
}

StoredParam* Host::EditableParam(int index, std::int32_t type) {
  const StoredParam* param = Param(index);
  if (param == nullptr || param->declared.type != type) return nullptr;
  return params_[static_cast<std::size_t>(index - kParamIndexFirst)].get();
}

std::int32_t Host::UserEdited(int index) {
  const StoredParam* param = Param(index);
  const bool report = param->declared.type == zkfx::kParamTypeButton ||
                      (param->declared.flags & zkfx::kParamFlagSupervised) != 0;
  if (!report) return zkfx::kErrNone;
  zkfx::UserChangedParamExtra extra{index};
  return Call(zkfx::kCmdUserChangedParam, nullptr, &extra);
}

std::int32_t Host::SetPopup(int index, std::int32_t choice) {
  StoredParam* param = EditableParam(index, zkfx::kParamTypePopup);
  if (param == nullptr) return kHostErrBadIndex;
  param->current.value.popup.current = choice;
  return UserEdited(index);
}
std::int32_t Host::SetCheckBox(int index, bool on) {
  StoredParam* param = EditableParam(index, zkfx::kParamTypeCheckBox);
  if (param == nullptr) return kHostErrBadIndex;
  param->current.value.checkBox.current = on ? 1 : 0;
  return UserEdited(index);
}
std::int32_t Host::SetColor(int index, zkfx::ColorARGB color) {
  StoredParam* param = EditableParam(index, zkfx::kParamTypeColor);
  if (param == nullptr) return kHostErrBadIndex;
  param->current.value.color.current = color;
  return UserEdited(index);
}
std::int32_t Host::SetAngle(int index, std::int32_t degrees16_16) {
  StoredParam* param = EditableParam(index, zkfx::kParamTypeAngle);
  if (param == nullptr) return kHostErrBadIndex;
  param->current.value.angle.current = degrees16_16;
  return UserEdited(index);
}
std::int32_t Host::SetFloat(int index, double value) {
  StoredParam* param = EditableParam(index, zkfx::kParamTypeFloatSlider);
  if (param == nullptr) return kHostErrBadIndex;
  param->current.value.floatSlider.current = value;
  return UserEdited(index);
}
std::int32_t Host::PressButton(int index) {
  if (EditableParam(index, zkfx::kParamTypeButton) == nullptr) return kHostErrBadIndex;
  return UserEdited(index);
}

std::int32_t Host::OnAddParam(std::int32_t index, const ParamRecord* record) {
  if (record == nullptr || (index != -1 && index != DeclaredCount() + 1) ||
      DeclaredCount() >= kMaxDeclaredParams || !KnownType(record->type) ||
      strnlen(record->name, sizeof record->name) == sizeof record->name) {
    return kHostErrBadArgument;
  }
  auto param = std::make_unique<StoredParam>();
  param->declared = *record;
  // Texts live in the module's storage only for the duration of this call: copy them now and
  // point the stored record at the copies.
  const char* text = record->value.popup.choices;  // same slot as boxText and buttonText
  switch (record->type) {
    case zkfx::kParamTypePopup:
      if (text) param->choices = text;
      param->declared.value.popup.choices = text ? param->choices.c_str() : nullptr;
      break;
    case zkfx::kParamTypeCheckBox:
      if (text) param->boxText = text;
      param->declared.value.checkBox.boxText = text ? param->boxText.c_str() : nullptr;
      break;
    case zkfx::kParamTypeButton:
      if (text) param->buttonText = text;
      param->declared.value.button.buttonText = text ? param->buttonText.c_str() : nullptr;
      break;
    default:
      break;
  }
  param->current = param->declared;
  params_.push_back(std::move(param));
  return zkfx::kErrNone;
}

std::int32_t Host::OnSetGroupKind(std::int32_t index, std::int32_t kind) {
  const int target = index == -1 ? DeclaredCount() : index;
  if (target < kParamIndexFirst || target > DeclaredCount()) return kHostErrBadArgument;
  StoredParam& param = *params_[static_cast<std::size_t>(target - kParamIndexFirst)];
  if (param.declared.type != zkfx::kParamTypeGroupStart) return kHostErrBadArgument;
  param.groupKind = kind;
  return zkfx::kErrNone;
}

std::int32_t Host::OnRefreshParamUI(std::int32_t index, const ParamRecord* record) {
  // This host draws no panel: a refresh is accepted and needs no work.
  (void)index;
  if (record == nullptr) return kHostErrBadArgument;
  return zkfx::kErrNone;
}

// ---------------------------------------------------------------------------------------------
// Host: memory handles

zkfx::MemHandle Host::NewHandle(std::uint64_t size) {
  if (size > kMaxHandleSize) return nullptr;
  auto block = std::make_unique<Block>();
  // Zero-filled, so a fresh sequence record starts as an empty histogram.
  block->storage = std::make_unique<std::uint8_t[]>(std::max<std::uint64_t>(size, 1));
  block->data = block->storage.get();
  block->size = size;
  block->serial = ++handleSerial_;
  zkfx::MemHandle handle = &block->data;
  handles_.emplace(handle, std::move(block));
  return handle;
}

zkfx::MemHandle Host::OnNewHandle(std::uint64_t size) { return NewHandle(size); }

bool Host::DisposeHandle(zkfx::MemHandle handle) { return handles_.erase(handle) != 0; }

std::uint64_t Host::HandleSize(zkfx::MemHandle handle) const {
  auto found = handles_.find(handle);
  return found == handles_.end() ? 0 : found->second->size;
}

bool Host::IsLiveHandle(zkfx::MemHandle handle) const { return handles_.count(handle) != 0; }

std::uint64_t Host::HandleSerial(zkfx::MemHandle handle) const {
  auto found = handles_.find(handle);
  return found == handles_.end() ? 0 : found->second->serial;
}

// ---------------------------------------------------------------------------------------------
// Host: messages and rectangles

void Host::OnCopyMessage(char* destination, const char* text) {
  if (destination == nullptr) return;
  // The interface knows two destinations: the output record's message field and a parameter
  // record's name; anything that is not the former is bounded as the latter.
  const std::size_t size = destination == out_.message ? sizeof out_.message : sizeof(ParamRecord::name);
  std::snprintf(destination, size, "%s", text ? text : "");
}

std::int32_t Host::OnCopyRect(const zkfx::HostFrame* source, zkfx::HostFrame* destination,
                              const zkfx::HostRect* sourceRect,
                              const zkfx::HostRect* destinationRect) {
  // Refused: a missing argument, formats that differ or are unknown, a frame without pixels.
  if (!source || !destination || !sourceRect || !destinationRect) return kHostErrBadArgument;
  if (source->hostPixelFormat != destination->hostPixelFormat) return kHostErrBadArgument;
  const std::int64_t bpp = BytesPerPixel(source->hostPixelFormat);
  if (bpp == 0) return kHostErrBadArgument;
  if (!source->data || !destination->data) return kHostErrBadArgument;
  const zkfx::HostRect& s = *sourceRect;
  const zkfx::HostRect& d = *destinationRect;
  // The copy has the smaller of the two rectangles' sizes and is clipped to both frames.
  const std::int64_t width = std::min<std::int64_t>(std::int64_t{s.right} - s.left,
                                                    std::int64_t{d.right} - d.left);
  const std::int64_t height = std::min<std::int64_t>(std::int64_t{s.bottom} - s.top,
                                                     std::int64_t{d.bottom} - d.top);
  const std::int64_t x0 = std::max<std::int64_t>({0, -std::int64_t{s.left}, -std::int64_t{d.left}});
  const std::int64_t y0 = std::max<std::int64_t>({0, -std::int64_t{s.top}, -std::int64_t{d.top}});
  const std::int64_t x1 = std::min<std::int64_t>(
      {width, std::int64_t{source->width} - s.left, std::int64_t{destination->width} - d.left});
  const std::int64_t y1 = std::min<std::int64_t>(
      {height, std::int64_t{source->height} - s.top, std::int64_t{destination->height} - d.top});
  if (x0 >= x1 || y0 >= y1) return zkfx::kErrNone;
  const auto* from = static_cast<const std::uint8_t*>(source->data);
  auto* to = static_cast<std::uint8_t*>(destination->data);
  const std::size_t rowBytes = static_cast<std::size_t>((x1 - x0) * bpp);
  for (std::int64_t y = y0; y < y1; ++y) {
    const std::uint8_t* sourceRow = from + (s.top + y) * std::int64_t{source->rowBytes} + (s.left + x0) * bpp;
    std::uint8_t* destinationRow = to + (d.top + y) * std::int64_t{destination->rowBytes} + (d.left + x0) * bpp;
    std::memmove(destinationRow, sourceRow, rowBytes);
  }
  return zkfx::kErrNone;
}

// ---------------------------------------------------------------------------------------------
// Host: display strings

std::int32_t Host::OnRegisterStrings(zkfx::StringTableToken* slot, std::int32_t protocol) {
  if (protocol != zkfx::kStringTableProtocol || slot == nullptr || *slot == nullptr) {
    return kHostErrBadArgument;
  }
  const auto* descriptor = static_cast<const zkfx::DisplayStringTable*>(*slot);
  if (descriptor->entries == nullptr || descriptor->count == 0) return kHostErrBadArgument;
  auto table = std::make_unique<StringTable>();
  table->name = descriptor->name ? descriptor->name : "";
  // Entries up to the terminating one (null text), never more than the descriptor counts.
  for (std::uint64_t i = 0; i < descriptor->count && descriptor->entries[i].text != nullptr; ++i) {
    const std::string text = descriptor->entries[i].text;
    const std::size_t equals = text.find('=');
    table->displayTexts.push_back(equals == std::string::npos ? text : text.substr(equals + 1));
  }
  void* token = table.get();
  tables_.emplace(token, std::move(table));
  *slot = token;
  return zkfx::kErrNone;
}

const char* Host::OnLookupString(zkfx::StringTableToken token, std::int32_t entry) const {
  auto found = tables_.find(token);
  if (found == tables_.end() || entry < 0 ||
      static_cast<std::size_t>(entry) >= found->second->displayTexts.size()) {
    return kEmptyText;
  }
  return found->second->displayTexts[static_cast<std::size_t>(entry)].c_str();
}

std::string Host::LookupString(zkfx::StringTableToken token, std::int32_t entry) const {
  return OnLookupString(token, entry);
}

void Host::OnUnregisterStrings(zkfx::StringTableToken* slot) {
  void* value = slot ? *slot : nullptr;
  tables_.erase(value);  // a slot that still holds the descriptor (failed set-up) matches nothing
}

// ---------------------------------------------------------------------------------------------
// Host: suites

std::int32_t Host::OnAcquireSuite(const char* name, std::int32_t version, const void** suite) {
  if (suite == nullptr || name == nullptr) return kHostErrBadArgument;
  *suite = nullptr;
  for (const SuiteEntry& entry : kSuites) {
    if (std::strcmp(entry.name, name) == 0 && entry.version == version) *suite = entry.table;
  }
  if (*suite == nullptr) return zkfx::kErrSuiteUnavailable;
  ++acquired_[name];
  return zkfx::kErrNone;
}

std::int32_t Host::OnReleaseSuite(const char* name, std::int32_t /*version: any*/) {
  if (name == nullptr) return kHostErrBadArgument;
  auto found = acquired_.find(name);
  const bool matched = found != acquired_.end() && found->second > 0;
  if (!matched) return kHostErrBadArgument;
  if (--found->second == 0) acquired_.erase(found);
  return zkfx::kErrNone;
}

std::map<std::string, int> Host::OutstandingSuites() const { return acquired_; }

std::int32_t Host::OnResetPixelFormats() {
  pixelFormats_.clear();
  return zkfx::kErrNone;
}

std::int32_t Host::OnDeclarePixelFormat(std::uint32_t code) {
  // A format declared twice is kept once: the list is a set in declaration order.
  if (std::find(pixelFormats_.begin(), pixelFormats_.end(), code) == pixelFormats_.end()) {
    pixelFormats_.push_back(code);
  }
  return zkfx::kErrNone;
}

}  // namespace threeway::host
