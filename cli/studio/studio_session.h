// What `threeway studio` serves: one input, the effect's panel, and the pictures of the current
// frame graded with it. The page edits the panel through the server; every edit goes through the
// host exactly as the tool's options do (supervised parameters reported to the effect, presses
// rendering first, picks reading the frame's pixels), so a preset saved here grades the same
// pixels with `threeway grade`.
//
// The panel lives in one effect instance made for the frame's full size (the one presses and
// picks act on, and the full-resolution picture). Pictures for the page while it is being edited
// are graded by a second instance at the view's size, given the panel's values as a preset holds
// them and the render scale of the smaller frame, as a host grades its viewer at a lower
// resolution. Every call may come from any thread: one mutex keeps the panel, its history and the
// pictures consistent, so two pages editing at once never leave the panel half changed.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cli/engine/frame_at.h"
#include "cli/engine/grader.h"
#include "cli/engine/session.h"
#include "cli/media/frame_io.h"
#include "cli/panel/json.h"
#include "cli/panel/panel.h"

namespace threeway::cli {

struct StudioSettings {
  SourceRequest input;                       // a file: the studio reads it again for each render
  std::optional<std::uint32_t> hostFormat;   // as grade's --format
  std::optional<FramePosition> at;           // the frame shown first
  std::vector<PanelStep> steps;              // the panel to start from (--preset, --set)
  SinkRequest output;                        // where the full render goes (codec, overwrite, ...)
  std::string presetPath;                    // where "save preset" writes
  std::string lutPath;                       // where "export LUT" writes
  int threads = 0;                           // the full render's workers (0: one per core)
};

// What the page asks to see: a view box (the picture is fitted into it, never larger than the
// frame), or the frame at full resolution; the graded picture or the source; scope pictures of a
// given width (0: none).
struct ViewRequest {
  int width = 0;
  int height = 0;
  bool full = false;
  bool before = false;
  int scopeWidth = 0;
};

// A request the session refuses, with the HTTP status that says why (400: the request is wrong;
// 409: it does not fit the state, such as undo with nothing to undo or a second render; 413: too
// large).
class RequestError : public ToolError {
 public:
  explicit RequestError(const std::string& text, int status = 400) : ToolError(text, kExitUsage), status_(status) {}
  int status() const { return status_; }

 private:
  int status_;
};

// Edits, frame changes and loaded presets refused for what the request holds (an unknown
// parameter, a value of the wrong kind or out of range, a pick outside the frame, values the
// effect refuses) throw RequestError; the panel is then as it was before the request. Failures
// of the machine (a file that cannot be written, the module failing) throw ToolError.
class StudioSession {
 public:
  // Opens the input at settings.at and brings the effect up with settings.steps. Throws ToolError.
  StudioSession(const Options& options, StudioSettings settings);
  // Stops a running render (its output is not committed) and waits for it.
  ~StudioSession();
  StudioSession(const StudioSession&) = delete;
  StudioSession& operator=(const StudioSession&) = delete;

  // The declared panel (the objects of `threeway params --json`), the four colour wheels and the
  // pickers that drive them (identifiers from the catalogue), the input, the output files, and
  // the state.
  std::string PanelJson();
  // The current values (as a preset holds them), the version (one more for every change), the
  // undo and redo depths, the frame.
  std::string StateJson();

  // {"gesture": N, then one of "set": {NAME: VALUE, ...} (values as in a preset), "press": NAME,
  // "pick": {"name": NAME, "x": X, "y": Y}}. Edits with the same gesture number as the one
  // before (the steps of one drag) make one step of the undo history. Returns StateJson().
  std::string Edit(const JsonValue& request);
  std::string Undo();
  std::string Redo();
  // Every value the preset text holds (one undo step). Returns StateJson().
  std::string LoadPreset(const std::string& text);
  // Shows frame `frame` (counted from 0) of a video or raw input. Returns StateJson().
  std::string SelectFrame(std::int64_t frame);

  // The picture and scopes as JSON: "picture" and "scopes" as data: URLs (JPEG at the view's
  // size, PNG at full resolution in the frame's depth, PNG scopes), their sizes, the version
  // they show, and the time each part took ("ms").
  std::string View(const ViewRequest& request);
  // The preset of the current values, as --save-preset writes it.
  std::string PresetText();

  // Writes the current values to settings.presetPath, whole or not at all.
  std::string SavePreset();
  // Bakes the panel into settings.lutPath (`size` points a side), whole or not at all; returns
  // what the LUT leaves out.
  std::string ExportLut(int size);
  // Starts grading the whole input into settings.output on background threads with the current
  // values; refuses while one runs. RenderStatus tells how far it is; CancelRender stops it (its
  // output is not written).
  std::string StartRender();
  std::string RenderStatus();
  std::string CancelRender();

 private:
  struct Preview;
  struct RenderJob;

  std::string StateJsonLocked() const;
  // Applies `steps` to the panel as one change of the history (gesture 0: always a new step).
  // On failure the panel is restored and the error rethrown as a request error.
  void ApplyLocked(const std::vector<PanelStep>& steps, std::int64_t gesture);
  void RestoreLocked(const std::string& preset);
  void ReadFrameLocked(std::int64_t frame);
  Overwrite OverwriteFor(const std::string& path) const;
  void Wrote(const std::string& path);

  const Options options_;
  const StudioSettings settings_;
  std::mutex mutex_;
  FrameInfo info_;
  std::uint32_t hostFormat_ = 0;
  std::unique_ptr<FrameSource> source_;  // positioned after frame sourceIndex_
  std::int64_t sourceIndex_ = -1;
  std::int64_t frameIndex_ = -1;         // the frame shown
  Picture frame_;                        // the frame shown, as the source hands it out
  std::unique_ptr<Grader> panel_;        // the panel, at the frame's full size
  std::unique_ptr<Preview> preview_;     // the instance grading at the view's size
  std::uint64_t version_ = 1;
  std::vector<std::string> undo_, redo_;  // presets of earlier and later states
  std::int64_t lastGesture_ = 0;
  std::set<std::string> written_;         // files this session wrote, which it may replace
  std::unique_ptr<RenderJob> render_;
};

}  // namespace threeway::cli
