#include "cli/studio/studio_session.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <future>
#include <utility>

#include "cli/engine/grade_file.h"
#include "cli/engine/lut_bake.h"
#include "cli/media/pending_file.h"
#include "cli/panel/declared_panel.h"
#include "cli/scopes/scopes.h"
#include "params/catalogue.h"

namespace threeway::cli {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Steps of the history kept for undo; a drag is one step, so this is a long session's worth.
constexpr std::size_t kHistoryDepth = 500;
// The preview's JPEG quality: what a viewer shows, sent once.
constexpr int kPreviewQuality = 90;

double Milliseconds(Clock::time_point since) {
  return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

std::string Base64(const std::string& bytes) {
  static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const unsigned v = static_cast<unsigned char>(bytes[i]) << 16 | static_cast<unsigned char>(bytes[i + 1]) << 8 |
                       static_cast<unsigned char>(bytes[i + 2]);
    text += {kDigits[v >> 18], kDigits[(v >> 12) & 63], kDigits[(v >> 6) & 63], kDigits[v & 63]};
  }
  if (i < bytes.size()) {
    const bool two = i + 1 < bytes.size();
    const unsigned v = static_cast<unsigned char>(bytes[i]) << 16 | (two ? static_cast<unsigned char>(bytes[i + 1]) << 8 : 0);
    text += {kDigits[v >> 18], kDigits[(v >> 12) & 63], two ? kDigits[(v >> 6) & 63] : '=', '='};
  }
  return text;
}

std::string DataUrl(const std::string& mime, const std::string& bytes) { return "\"data:" + mime + ";base64," + Base64(bytes) + "\""; }

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

std::string Identifier(int index) { return JsonString(ParamSpecAt(index).identifier); }

std::string AbsolutePath(const std::string& path) {
  std::error_code error;
  const fs::path absolute = fs::weakly_canonical(fs::absolute(path), error);
  return error ? fs::absolute(path).lexically_normal().string() : absolute.string();
}

// The size a frame is shown at in a view box: fitted in, never enlarged.
std::pair<int, int> FitIn(int width, int height, int boxWidth, int boxHeight) {
  const double scale = std::min({1.0, static_cast<double>(boxWidth) / width, static_cast<double>(boxHeight) / height});
  return {std::max(1, static_cast<int>(std::lround(width * scale))),
          std::max(1, static_cast<int>(std::lround(height * scale)))};
}

zkfx::LumaHistogram HistogramOf(Grader& grader) {
  const zkfx::MemHandle handle = grader.host().sequenceData();
  if (handle == nullptr || *handle == nullptr || grader.host().HandleSize(handle) < zkfx::kLumaHistogramSize) {
    throw ToolError("the effect left no luma histogram in its sequence record");
  }
  return *static_cast<const zkfx::LumaHistogram*>(*handle);
}

// The four scope pictures of `shown` (any host format) as JSON members, PNG data URLs. The luma
// scopes (waveform, vectorscope) are drawn on another thread while this one draws the colour
// ones (parade, histogram).
std::string ScopesJson(const Picture& shown, const zkfx::LumaHistogram& histogram, int width) {
  const int w = std::clamp(width, kScopeMinWidth, 2048);
  const int h = std::max(kScopeMinHeight, w / 2);
  const auto png = [](const Picture& picture) { return DataUrl("image/png", EncodePicture(picture, "png")); };
  std::future<std::pair<std::string, std::string>> luma = std::async(std::launch::async, [&] {
    const Picture working = ConvertPicture(shown, zkfx::kPixelFormatVUYA32f);
    return std::pair{png(DrawWaveform(working, w, h)), png(DrawVectorscope(working, h))};
  });
  const std::string parade = png(DrawParade(ConvertPicture(shown, zkfx::kPixelFormatBGRA32f), w, h));
  const std::string drawnHistogram = png(DrawHistogram(histogram, w, h));
  const auto [waveform, vectorscope] = luma.get();
  return "{\"waveform\": " + waveform + ", \"parade\": " + parade + ", \"vectorscope\": " + vectorscope +
         ", \"histogram\": " + drawnHistogram + "}";
}

}  // namespace

// The instance that grades for the page at the view's size, with the frame made that small.
struct StudioSession::Preview {
  std::int64_t frame = -1;
  int width = 0, height = 0;
  Picture source;                 // the frame at this size, in the host format
  std::unique_ptr<Grader> grader;
  std::uint64_t version = 0;      // the panel version the grader holds
};

struct StudioSession::RenderJob {
  enum State { kRunning, kDone, kFailed, kCancelled };
  std::thread thread;
  std::atomic<int> state{kRunning};
  std::atomic<std::int64_t> done{0}, total{0};
  std::atomic<bool> cancel{false};
  Clock::time_point start = Clock::now();
  std::atomic<double> seconds{0.0};
  std::mutex mutex;
  std::string message;  // guarded by mutex
};

StudioSession::StudioSession(const Options& options, StudioSettings settings)
    : options_(options), settings_(std::move(settings)) {
  if (settings_.input.path == "-") {
    throw UsageError("the studio reads its input again for every render: give a file, not standard input");
  }
  source_ = OpenFrameSource(settings_.input);
  info_ = source_->info();
  hostFormat_ = settings_.hostFormat.value_or(settings_.input.rawFormat ? *settings_.input.rawFormat
                                                                       : DefaultHostFormat(DepthOf(info_.format)));
  const std::int64_t first = settings_.at ? ResolveFramePosition(*settings_.at, info_, settings_.input.path) : 0;
  try {
    ReadFrameLocked(first);
  } catch (const RequestError& error) {
    throw ToolError(std::string(settings_.at ? "--at " + settings_.at->text + ": " : "") + error.what());
  }
  panel_ = std::make_unique<Grader>(options_, info_.width, info_.height, hostFormat_);
  panel_->ApplyPanel(settings_.steps, frame_);
}

StudioSession::~StudioSession() {
  if (render_ && render_->thread.joinable()) {
    render_->cancel = true;
    render_->thread.join();
  }
}

void StudioSession::ReadFrameLocked(std::int64_t frame) {
  const std::string name = settings_.input.path;
  if (!source_ || frame <= sourceIndex_) {
    source_ = OpenFrameSource(settings_.input);
    sourceIndex_ = -1;
  }
  Picture picture;
  while (sourceIndex_ < frame) {
    if (!source_->Next(picture)) {
      const std::int64_t count = sourceIndex_ + 1;
      source_.reset();  // read to its end: opened again for the next frame asked for
      throw RequestError(name + " ends after " + std::to_string(count) + " frame" + (count == 1 ? "" : "s") +
                         " (the first is frame 0)");
    }
    ++sourceIndex_;
  }
  frame_ = std::move(picture);
  frameIndex_ = frame;
}

std::string StudioSession::StateJsonLocked() const {
  std::string values = PresetJson(panel_->host());
  while (!values.empty() && values.back() == '\n') values.pop_back();
  return "{\"version\": " + std::to_string(version_) + ", \"undo\": " + std::to_string(undo_.size()) +
         ", \"redo\": " + std::to_string(redo_.size()) + ", \"frame\": " + std::to_string(frameIndex_) +
         ", \"values\": " + values + "}";
}

std::string StudioSession::StateJson() {
  const std::lock_guard<std::mutex> lock(mutex_);
  return StateJsonLocked();
}

std::string StudioSession::PanelJson() {
  const std::lock_guard<std::mutex> lock(mutex_);
  const threeway::host::Host& host = panel_->host();
  std::string params;
  for (int index = 1; index <= host.DeclaredCount(); ++index) {
    params += std::string(index > 1 ? ",\n  " : "") + DeclaredParamJson(host, index);
  }
  // The colour wheels: each range's balance angle (the direction), magnitude (the distance from the
  // centre), gain and hue rotation, and the eyedropper whose picked colour sets that balance.
  struct Wheel {
    int group, angle, magnitude, gain, hue, picker;
  };
  constexpr Wheel kWheels[] = {
      {kParamMasterGroupStart, kParamMasterBalanceAngle, kParamMasterBalanceMagnitude, kParamMasterBalanceGain,
       kParamMasterHueAngle, 0},
      {kParamShadowsGroupStart, kParamShadowBalanceAngle, kParamShadowBalanceMagnitude, kParamShadowBalanceGain,
       kParamShadowHueAngle, kParamBlackBalance},
      {kParamMidtonesGroupStart, kParamMidtoneBalanceAngle, kParamMidtoneBalanceMagnitude, kParamMidtoneBalanceGain,
       kParamMidtoneHueAngle, kParamGrayBalance},
      {kParamHighlightsGroupStart, kParamHighlightBalanceAngle, kParamHighlightBalanceMagnitude,
       kParamHighlightBalanceGain, kParamHighlightHueAngle, kParamWhiteBalance},
  };
  std::string wheels;
  for (const Wheel& w : kWheels) {
    const threeway::host::StoredParam* group = host.Param(w.group);
    wheels += std::string(wheels.empty() ? "" : ",\n  ") +
              "{\"name\": " + JsonString(group ? ParamDisplayName(group->declared) : "") +
              ", \"group\": " + std::to_string(w.group) + ", \"angle\": " + Identifier(w.angle) +
              ", \"magnitude\": " + Identifier(w.magnitude) + ", \"gain\": " + Identifier(w.gain) +
              ", \"hue\": " + Identifier(w.hue) + ", \"picker\": " + (w.picker ? Identifier(w.picker) : "null") + "}";
  }
  const bool frames = settings_.input.rawFormat || IsVideoPath(settings_.input.path);
  return "{\"params\": [\n  " + params + "],\n\"wheels\": [\n  " + wheels + "],\n" +
         "\"input\": {\"path\": " + JsonString(settings_.input.path) + ", \"width\": " + std::to_string(info_.width) +
         ", \"height\": " + std::to_string(info_.height) + ", \"frames\": " + (frames ? "true" : "false") +
         ", \"frameCount\": " + std::to_string(info_.frameCount) + ", \"frameRate\": " + JsonDouble(info_.frameRate) +
         ", \"hostFormat\": " + JsonString(FormatCodeText(hostFormat_)) + "},\n" +
         "\"files\": {\"render\": " + JsonString(settings_.output.path) + ", \"preset\": " +
         JsonString(settings_.presetPath) + ", \"lut\": " + JsonString(settings_.lutPath) + "},\n" +
         "\"lutSize\": {\"min\": " + std::to_string(kMinLutSize) + ", \"max\": " + std::to_string(kMaxLutSize) +
         ", \"default\": " + std::to_string(kDefaultLutSize) + "},\n" + "\"state\": " + StateJsonLocked() + "}\n";
}

void StudioSession::RestoreLocked(const std::string& preset) {
  panel_->ApplyPanel(ParsePreset(preset, "the panel's history"), Picture{});
}

void StudioSession::ApplyLocked(const std::vector<PanelStep>& steps, std::int64_t gesture) {
  const std::string before = PresetJson(panel_->host());
  try {
    panel_->ApplyPanel(steps, frame_);
  } catch (const ToolError& error) {
    RestoreLocked(before);
    throw RequestError(error.what());
  }
  if (PresetJson(panel_->host()) == before) return;
  if (gesture == 0 || gesture != lastGesture_ || undo_.empty()) {
    undo_.push_back(before);
    if (undo_.size() > kHistoryDepth) undo_.erase(undo_.begin());
  }
  redo_.clear();
  lastGesture_ = gesture;
  ++version_;
}

std::string StudioSession::Edit(const JsonValue& request) {
  if (request.kind != JsonValue::Kind::kObject) throw RequestError("an edit is a JSON object");
  std::int64_t gesture = 0;
  const JsonValue* action = nullptr;
  std::string actionName;
  for (const auto& [key, value] : request.members) {
    if (key == "gesture") {
      if (value.kind != JsonValue::Kind::kNumber || value.number != std::floor(value.number) || value.number < 0 ||
          value.number > 9007199254740991.0) {
        throw RequestError("\"gesture\" is a whole number from 0 (0: an edit of its own)");
      }
      gesture = static_cast<std::int64_t>(value.number);
    } else if (key == "set" || key == "press" || key == "pick") {
      if (action != nullptr) throw RequestError("an edit holds one of \"set\", \"press\" and \"pick\", not two");
      action = &value;
      actionName = key;
    } else {
      throw RequestError("unknown key " + Quoted(key) + " in an edit; it holds \"gesture\" and one of \"set\", "
                         "\"press\" and \"pick\"");
    }
  }
  if (action == nullptr) throw RequestError("an edit holds one of \"set\", \"press\" and \"pick\"");
  std::vector<PanelStep> steps;
  try {
    if (actionName == "set") {
      steps = PresetSteps(*action, "set");
    } else if (actionName == "press") {
      if (action->kind != JsonValue::Kind::kString) throw RequestError("\"press\" names a button (a string)");
      steps.push_back(ParsePressOption(action->text));
      gesture = 0;
    } else {
      const auto member = [&](const std::string& name) -> const JsonValue* {
        for (const auto& [key, value] : action->members) {
          if (key == name) return &value;
        }
        return nullptr;
      };
      const JsonValue* name = member("name");
      const JsonValue* x = member("x");
      const JsonValue* y = member("y");
      const auto whole = [](const JsonValue* v) {
        return v && v->kind == JsonValue::Kind::kNumber && v->number == std::floor(v->number) && std::fabs(v->number) < 1e9;
      };
      if (action->kind != JsonValue::Kind::kObject || action->members.size() != 3 || name == nullptr ||
          name->kind != JsonValue::Kind::kString || !whole(x) || !whole(y)) {
        throw RequestError("\"pick\" is {\"name\": a colour parameter, \"x\": column, \"y\": row} (whole pixels)");
      }
      steps.push_back(ParsePickOption(name->text + "=" + std::to_string(static_cast<long long>(x->number)) + "," +
                                      std::to_string(static_cast<long long>(y->number))));
      gesture = 0;
    }
  } catch (const RequestError&) {
    throw;
  } catch (const ToolError& error) {
    throw RequestError(error.what());
  }
  const std::lock_guard<std::mutex> lock(mutex_);
  ApplyLocked(steps, gesture);
  return StateJsonLocked();
}

std::string StudioSession::Undo() {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (undo_.empty()) throw RequestError("nothing to undo", 409);
  redo_.push_back(PresetJson(panel_->host()));
  RestoreLocked(undo_.back());
  undo_.pop_back();
  lastGesture_ = 0;
  ++version_;
  return StateJsonLocked();
}

std::string StudioSession::Redo() {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (redo_.empty()) throw RequestError("nothing to redo", 409);
  undo_.push_back(PresetJson(panel_->host()));
  RestoreLocked(redo_.back());
  redo_.pop_back();
  lastGesture_ = 0;
  ++version_;
  return StateJsonLocked();
}

std::string StudioSession::LoadPreset(const std::string& text) {
  if (text.size() > kMaxPresetBytes) {
    throw RequestError("a preset is at most " + std::to_string(kMaxPresetBytes) + " bytes", 413);
  }
  std::vector<PanelStep> steps;
  try {
    steps = ParsePreset(text, "the preset");
  } catch (const ToolError& error) {
    throw RequestError(error.what());
  }
  const std::lock_guard<std::mutex> lock(mutex_);
  ApplyLocked(steps, 0);
  return StateJsonLocked();
}

std::string StudioSession::SelectFrame(std::int64_t frame) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (frame < 0) throw RequestError("frames are counted from 0");
  if (frame != frameIndex_) {
    ReadFrameLocked(frame);
    ++version_;
  }
  return StateJsonLocked();
}

std::string StudioSession::View(const ViewRequest& request) {
  const Clock::time_point start = Clock::now();
  Picture shown;
  zkfx::LumaHistogram histogram{};
  std::uint64_t version = 0;
  std::int64_t frame = 0;
  double renderMs = 0;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    version = version_;
    frame = frameIndex_;
    Grader* grader = panel_.get();
    const Picture* source = &frame_;
    if (!request.full) {
      const auto [width, height] = FitIn(info_.width, info_.height, std::max(1, request.width), std::max(1, request.height));
      if (!preview_ || preview_->width != width || preview_->height != height) {
        preview_ = std::make_unique<Preview>();
        preview_->width = width, preview_->height = height;
        preview_->grader = std::make_unique<Grader>(options_, width, height, hostFormat_);
      }
      if (preview_->frame != frameIndex_) {
        preview_->source = width == info_.width && height == info_.height
                               ? ConvertPicture(frame_, hostFormat_)
                               : ConvertPicture(ResizePicture(frame_, width, height), hostFormat_);
        preview_->frame = frameIndex_;
      }
      if (preview_->version != version_) {
        // The panel's values as a preset holds them, after the render scale of the smaller frame
        // (the Soften blur is sized by it).
        std::vector<PanelStep> steps = {ParseRatioOption(PanelStep::Kind::kRenderScale, "render scale",
                                                         std::to_string(width) + "/" + std::to_string(info_.width))};
        const std::vector<PanelStep> values = ParsePreset(PresetJson(panel_->host()), "the panel values");
        steps.insert(steps.end(), values.begin(), values.end());
        preview_->grader->ApplyPanel(steps, Picture{});
        preview_->version = version_;
      }
      grader = preview_->grader.get();
      source = &preview_->source;
    }
    const Clock::time_point renderStart = Clock::now();
    Picture graded = Picture::Blank(source->width, source->height, hostFormat_);
    grader->Grade(*source, graded);
    histogram = HistogramOf(*grader);
    shown = request.before ? ConvertPicture(*source, hostFormat_) : std::move(graded);
    renderMs = Milliseconds(renderStart);
  }
  // The pictures are encoded outside the lock (another page's edit need not wait for them), the
  // picture on one thread while the scopes are drawn on others.
  double pictureMs = 0;
  std::future<std::string> picture = std::async(std::launch::async, [&] {
    const Clock::time_point pictureStart = Clock::now();
    std::string url;
    if (request.full) {
      const Depth depth = DepthOf(shown.format) == Depth::k8 ? Depth::k8 : Depth::k16;
      url = DataUrl("image/png", EncodePicture(ConvertPicture(shown, ArgbFormat(depth)), "png"));
    } else {
      url = DataUrl("image/jpeg",
                    EncodePicture(ConvertPicture(shown, zkfx::kPixelFormatARGB8), "jpeg", kPreviewQuality));
    }
    pictureMs = Milliseconds(pictureStart);
    return url;
  });
  const Clock::time_point scopesStart = Clock::now();
  const std::string scopes = request.scopeWidth > 0 ? ScopesJson(shown, histogram, request.scopeWidth) : "null";
  const double scopesMs = Milliseconds(scopesStart);
  const std::string pictureUrl = picture.get();
  return "{\"version\": " + std::to_string(version) + ", \"frame\": " + std::to_string(frame) +
         ", \"full\": " + (request.full ? "true" : "false") + ", \"before\": " + (request.before ? "true" : "false") +
         ", \"width\": " + std::to_string(shown.width) + ", \"height\": " + std::to_string(shown.height) +
         ", \"ms\": {\"render\": " + Number(renderMs) + ", \"picture\": " + Number(pictureMs) +
         ", \"scopes\": " + Number(scopesMs) + ", \"total\": " + Number(Milliseconds(start)) + "}" +
         ", \"picture\": " + pictureUrl + ", \"scopes\": " + scopes + "}";
}

std::string StudioSession::PresetText() {
  const std::lock_guard<std::mutex> lock(mutex_);
  return PresetJson(panel_->host());
}

Overwrite StudioSession::OverwriteFor(const std::string& path) const {
  if (settings_.output.overwrite == Overwrite::kReplace) return Overwrite::kReplace;
  return written_.count(AbsolutePath(path)) ? Overwrite::kReplace : Overwrite::kRefuse;
}

void StudioSession::Wrote(const std::string& path) { written_.insert(AbsolutePath(path)); }

std::string StudioSession::SavePreset() {
  const std::lock_guard<std::mutex> lock(mutex_);
  const std::string text = PresetJson(panel_->host());
  PendingFile file(settings_.presetPath, OverwriteFor(settings_.presetPath));
  file.WriteAll(text);
  file.Commit();
  Wrote(settings_.presetPath);
  return "{\"path\": " + JsonString(settings_.presetPath) + "}";
}

std::string StudioSession::ExportLut(int size) {
  if (size < kMinLutSize || size > kMaxLutSize) {
    throw RequestError("a LUT has " + std::to_string(kMinLutSize) + " to " + std::to_string(kMaxLutSize) +
                       " points a side, not " + std::to_string(size));
  }
  std::vector<PanelStep> steps;
  Overwrite overwrite;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    steps = ParsePreset(PresetJson(panel_->host()), "the panel values");
    overwrite = OverwriteFor(settings_.lutPath);
  }
  // Baked outside the lock (up to 64 renders of the lattice when the levels dither).
  LutSettings lut;
  lut.size = size;
  std::string title = fs::path(settings_.lutPath).stem().string();
  for (char& c : title) c = c == '"' ? '\'' : c;  // TITLE "..." has no escapes
  const BakedLut baked = BakeLut(options_, steps, lut, title);
  PendingFile file(settings_.lutPath, overwrite);
  file.WriteAll(baked.cube);
  file.Commit();
  std::string leftOut;
  for (const std::string& item : baked.leftOut) leftOut += (leftOut.empty() ? "" : ", ") + JsonString(item);
  const std::lock_guard<std::mutex> lock(mutex_);
  Wrote(settings_.lutPath);
  return "{\"path\": " + JsonString(settings_.lutPath) + ", \"size\": " + std::to_string(size) + ", \"leftOut\": [" +
         leftOut + "]}";
}

std::string StudioSession::StartRender() {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (render_ && render_->state == RenderJob::kRunning) throw RequestError("a render is running", 409);
  if (render_ && render_->thread.joinable()) render_->thread.join();
  GradeJob job;
  job.input = settings_.input;
  job.output = settings_.output;
  job.output.overwrite = OverwriteFor(settings_.output.path);
  job.hostFormat = hostFormat_;
  job.threads = settings_.threads;
  // The values as they stand: presses and picks were evaluated on the frame they were made on.
  job.steps = ParsePreset(PresetJson(panel_->host()), "the panel values");
  CheckOutputs(job);
  render_ = std::make_unique<RenderJob>();
  RenderJob* running = render_.get();
  job.frameDone = [running](std::int64_t done, std::int64_t total) {
    running->done = done;
    running->total = total;
    if (running->cancel) throw ToolError("cancelled; nothing written");
  };
  running->thread = std::thread([this, running, job = std::move(job)] {
    int state = RenderJob::kDone;
    std::string message;
    try {
      GradeFile(options_, job, "render");
      const std::lock_guard<std::mutex> lock(mutex_);
      Wrote(job.output.path);
    } catch (const std::exception& error) {
      state = running->cancel ? RenderJob::kCancelled : RenderJob::kFailed;
      message = error.what();
    }
    {
      const std::lock_guard<std::mutex> lock(running->mutex);
      running->message = message;
    }
    running->seconds = std::chrono::duration<double>(Clock::now() - running->start).count();
    running->state = state;
  });
  return "{\"started\": true, \"path\": " + JsonString(settings_.output.path) + "}";
}

std::string StudioSession::RenderStatus() {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (!render_) return "{\"state\": \"idle\"}";
  static constexpr const char* kStates[] = {"running", "done", "failed", "cancelled"};
  const int state = render_->state;
  std::string message;
  {
    const std::lock_guard<std::mutex> messageLock(render_->mutex);
    message = render_->message;
  }
  const double seconds = state == RenderJob::kRunning
                             ? std::chrono::duration<double>(Clock::now() - render_->start).count()
                             : render_->seconds.load();
  return "{\"state\": \"" + std::string(kStates[state]) + "\", \"done\": " + std::to_string(render_->done.load()) +
         ", \"total\": " + std::to_string(render_->total.load()) + ", \"seconds\": " + Number(seconds) +
         ", \"path\": " + JsonString(settings_.output.path) + ", \"message\": " + JsonString(message) + "}";
}

std::string StudioSession::CancelRender() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!render_ || render_->state != RenderJob::kRunning) throw RequestError("no render is running", 409);
    render_->cancel = true;
  }
  return RenderStatus();
}

}  // namespace threeway::cli
