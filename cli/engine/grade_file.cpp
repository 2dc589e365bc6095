#include "cli/engine/grade_file.h"

#include <memory>

#include "cli/engine/grader.h"
#include "cli/engine/interrupt.h"
#include "cli/engine/progress.h"
#include "cli/engine/worker_pool.h"
#include "cli/scopes/scopes.h"

namespace threeway::cli {
namespace {

bool ActsOnAFrame(const std::vector<PanelStep>& steps) {
  for (const PanelStep& step : steps) {
    if (step.kind == PanelStep::Kind::kPress || step.kind == PanelStep::Kind::kPick) return true;
  }
  return false;
}

}  // namespace

void CheckOutputs(const GradeJob& job) {
  const std::string outputs[] = {job.output.path, job.compare, job.savePreset};
  for (std::size_t i = 0; i < 3; ++i) {
    if (outputs[i].empty()) continue;
    RefuseToOverwriteInput(job.input.path, outputs[i]);
    for (std::size_t j = 0; j < i; ++j) {
      if (!outputs[j].empty() && SameFile(outputs[i], outputs[j])) {
        throw UsageError("two outputs are the same file: " + outputs[i]);
      }
    }
  }
}

void GradeFile(const Options& options, const GradeJob& job, const std::string& label) {
  // Presses and picks act on the --at frame; the whole source is graded with their result.
  OpenedInput opened = OpenInputAt(job.input, ActsOnAFrame(job.steps) ? job.at : std::nullopt);
  FrameSource& source = *opened.source;
  const FrameInfo& info = source.info();
  const std::uint32_t hostFormat =
      job.hostFormat.value_or(job.input.rawFormat ? *job.input.rawFormat : DefaultHostFormat(DepthOf(info.format)));
  Grader grader(options, info.width, info.height, hostFormat);
  grader.ApplyPanel(job.steps, opened.Reference());
  grader.SettlePanel();  // every press is done: the frames need no luma histogram
  opened.reference.reset();

  // Further workers get the first grader's results, not the options again: a press or pick
  // evaluated anew could see another frame. The host's render scale and pixel aspect as the
  // options gave them, then every parameter value as a preset holds it (exactly: numbers in 17
  // digits, applied in catalogue order so the saved values win over what a colour recomputes).
  std::optional<std::vector<PanelStep>> workerSteps;
  const auto makeGrader = [&] {
    if (!workerSteps) {
      workerSteps.emplace();
      for (const PanelStep& step : job.steps) {
        if (step.kind == PanelStep::Kind::kRenderScale || step.kind == PanelStep::Kind::kPixelAspect) {
          workerSteps->push_back(step);
        }
      }
      const std::vector<PanelStep> values = ParsePreset(PresetJson(grader.host()), "the panel values");
      workerSteps->insert(workerSteps->end(), values.begin(), values.end());
    }
    auto worker = std::make_unique<Grader>(options, info.width, info.height, hostFormat);
    worker->ApplyPanel(*workerSteps, Picture{});
    worker->SettlePanel();
    return worker;
  };

  // Every output is opened before the first frame, so one that may not be written (an existing
  // file without -y, a missing directory) stops the run before any work.
  std::unique_ptr<FrameSink> sink = OpenFrameSink(job.output, info);
  for (const std::string& what : sink->Dropped()) {
    PrintError("warning: " + job.output.path + " cannot hold " + what + " of " + job.input.path + "; it is left out");
  }
  std::unique_ptr<FrameSink> compareSink;
  if (!job.compare.empty()) {
    FrameInfo wide = info;
    wide.width *= 2;
    wide.window = {};
    SinkRequest compareRequest;
    compareRequest.path = job.compare;
    compareRequest.overwrite = job.output.overwrite;
    compareSink = OpenFrameSink(compareRequest, wide);
  }
  std::unique_ptr<PendingFile> preset;
  if (!job.savePreset.empty()) preset = std::make_unique<PendingFile>(job.savePreset, job.output.overwrite);
  Progress progress(label, info.frameCount);
  std::int64_t done = 0;
  // Without a comparison the delivery reads only the grade, so frames are graded over themselves.
  const PoolSettings settings{job.threads > 0 ? job.threads : DefaultThreadCount(), sink->format(),
                              /*gradeInPlace=*/compareSink == nullptr, makeGrader};
  GradeFrames(grader, std::move(opened.first), source, settings,
              [&](std::int64_t index, const Picture& frame, const Picture& graded) {
                sink->Write(graded);
                if (compareSink && index == 0) {
                  compareSink->Write(BeforeAfter(ConvertPicture(frame, compareSink->format()),
                                                 ConvertPicture(graded, compareSink->format())));
                }
                progress.FrameDone();
                if (job.frameDone) job.frameDone(++done, info.frameCount);
              });
  progress.Finish();

  sink->Finish();
  if (compareSink) compareSink->Finish();
  if (preset) preset->WriteAll(PresetJson(grader.host()));
  ThrowIfInterrupted();
  // Everything is complete: only now do the outputs get their names.
  sink->Commit();
  if (compareSink) compareSink->Commit();
  if (preset) preset->Commit();
}

}  // namespace threeway::cli
