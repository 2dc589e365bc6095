#include "cli/engine/worker_pool.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "cli/engine/interrupt.h"

namespace threeway::cli {
namespace {

constexpr std::size_t kFramesPerWorker = 2;  // frames in flight per worker: one rendering, one waiting
// What the frames in flight (each read and its grade) may take together: 1 GiB holds 32 UHD 8-bit
// jobs or 8 UHD float jobs, more than two cores can keep busy.
constexpr std::size_t kInFlightBudget = std::size_t{1} << 30;

struct Job {
  std::int64_t index = 0;
  Picture input;
  Picture graded;       // allocated only for frames not graded over themselves
  bool inPlace = false;
  bool done = false;
  Picture& Output() { return inPlace ? input : graded; }
};

// A frame graded over itself needs one buffer instead of two, and the render writes each row
// where it has just read it, so the output's lines are not fetched from memory first.
bool GradedInPlace(const Picture& frame, const PoolSettings& settings) {
  return settings.gradeInPlace && frame.format == settings.outputFormat;
}

// Makes `job` ready to grade its input: the graded picture allocated if it is needed and missing.
void PrepareOutput(Job& job, const PoolSettings& settings) {
  job.inPlace = GradedInPlace(job.input, settings);
  if (!job.inPlace && job.graded.bytes.empty()) {
    job.graded = Picture::Sized(job.input.width, job.input.height, settings.outputFormat);
  }
}

// The workers and the queues between them and the calling thread. The destructor stops and joins
// the workers on every path; jobs they are rendering are finished first (a render is not
// interruptible), jobs still queued are dropped.
class Pool {
 public:
  Pool(std::vector<Grader*> graders) {
    // Workers never take the stop signals: they reach the thread that reads and writes the files.
    SignalsBlocked blocked;
    workers_.reserve(graders.size());
    for (Grader* grader : graders) workers_.emplace_back([this, grader] { Work(*grader); });
  }

  ~Pool() {
    {
      std::lock_guard lock(mutex_);
      closing_ = true;
      queue_.clear();
    }
    workAvailable_.notify_all();
    for (std::thread& worker : workers_) worker.join();
  }

  void Submit(Job* job) {
    {
      std::lock_guard lock(mutex_);
      queue_.push_back(job);
    }
    workAvailable_.notify_one();
  }

  // Waits until `job` is graded; rethrows a worker's failure. Returns now and then without the
  // job done, so the caller can look for an interrupt.
  bool WaitFor(const Job& job) {
    std::unique_lock lock(mutex_);
    jobDone_.wait_for(lock, std::chrono::milliseconds(50), [&] { return job.done || failure_; });
    if (failure_) std::rethrow_exception(failure_);
    return job.done;
  }

 private:
  void Work(Grader& grader) {
    for (;;) {
      Job* job = nullptr;
      {
        std::unique_lock lock(mutex_);
        workAvailable_.wait(lock, [&] { return closing_ || !queue_.empty(); });
        if (closing_) return;
        job = queue_.front();
        queue_.pop_front();
      }
      std::exception_ptr failure;
      try {
        grader.Grade(job->input, job->Output());
      } catch (...) {
        failure = std::current_exception();
      }
      {
        std::lock_guard lock(mutex_);
        job->done = true;
        if (failure && !failure_) failure_ = failure;
      }
      jobDone_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable workAvailable_;
  std::condition_variable jobDone_;
  std::deque<Job*> queue_;
  bool closing_ = false;
  std::exception_ptr failure_;
  std::vector<std::thread> workers_;
};

// One grader on the calling thread: read, grade, deliver, one frame after the other.
std::int64_t GradeInline(Grader& grader, Picture frame, FrameSource& source, const PoolSettings& settings,
                         const DeliverFrame& deliver) {
  Job job;
  job.input = std::move(frame);
  std::int64_t index = 0;
  do {
    PrepareOutput(job, settings);
    grader.Grade(job.input, job.Output());
    deliver(index++, job.input, job.Output());
    ThrowIfInterrupted();
  } while (source.Next(job.input));
  return index;
}

}  // namespace

int DefaultThreadCount() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : static_cast<int>(cores);
}

std::int64_t GradeFrames(Grader& grader, Picture first, FrameSource& source, const PoolSettings& settings,
                         const DeliverFrame& deliver) {
  ThrowIfInterrupted();
  if (settings.threads <= 1) return GradeInline(grader, std::move(first), source, settings, deliver);

  // A single frame (a still) is graded where it is: no second instance is worth setting up.
  Picture second;
  if (!source.Next(second)) {
    Job job;
    job.input = std::move(first);
    PrepareOutput(job, settings);
    grader.Grade(job.input, job.Output());
    deliver(0, job.input, job.Output());
    ThrowIfInterrupted();
    return 1;
  }

  // Frames in flight stay within kInFlightBudget: large frames get fewer workers than asked (two
  // frames in flight at the least), so memory is bounded by the budget, not by the thread count.
  const std::size_t gradedBytes = GradedInPlace(first, settings)
                                      ? 0
                                      : static_cast<std::size_t>(first.width) * static_cast<std::size_t>(first.height) *
                                            static_cast<std::size_t>(host::BytesPerPixel(settings.outputFormat));
  const std::size_t jobBytes = first.bytes.size() + gradedBytes;
  const std::size_t affordable = std::max<std::size_t>(kFramesPerWorker, kInFlightBudget / jobBytes);
  const int workers = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(settings.threads),
                                                             affordable / kFramesPerWorker));
  // The jobs are declared before the pool, so the pool (destroyed first) has stopped touching them.
  const std::size_t capacity = static_cast<std::size_t>(workers) * kFramesPerWorker;
  std::map<std::int64_t, std::unique_ptr<Job>> inFlight;
  std::vector<std::unique_ptr<Job>> spare;  // delivered jobs, their pictures reused
  std::vector<std::unique_ptr<Grader>> extra;
  std::vector<Grader*> graders{&grader};
  for (int i = 1; i < workers; ++i) {
    extra.push_back(settings.makeGrader());
    graders.push_back(extra.back().get());
  }
  Pool pool(graders);

  std::int64_t read = 0;
  const auto submit = [&](Picture&& frame) {
    std::unique_ptr<Job> job;
    if (spare.empty()) {
      job = std::make_unique<Job>();
    } else {
      job = std::move(spare.back());
      spare.pop_back();
      job->done = false;
    }
    job->index = read++;
    job->input = std::move(frame);
    PrepareOutput(*job, settings);
    Job* raw = job.get();
    inFlight.emplace(raw->index, std::move(job));
    pool.Submit(raw);
  };
  submit(std::move(first));
  submit(std::move(second));

  bool more = true;
  std::int64_t delivered = 0;
  for (;;) {
    while (more && inFlight.size() < capacity) {
      Picture frame;
      // A spare job's input picture is handed to the source to fill, saving an allocation.
      if (!spare.empty()) frame = std::move(spare.back()->input);
      if (source.Next(frame)) {
        submit(std::move(frame));
      } else {
        more = false;
      }
      ThrowIfInterrupted();
    }
    if (inFlight.empty()) break;
    Job& next = *inFlight.begin()->second;
    while (!pool.WaitFor(next)) ThrowIfInterrupted();
    deliver(next.index, next.input, next.Output());
    ++delivered;
    spare.push_back(std::move(inFlight.begin()->second));
    inFlight.erase(inFlight.begin());
    ThrowIfInterrupted();
  }
  return delivered;
}

}  // namespace threeway::cli
