// A batch: its files converted on several jobs, and each file's text shown
// in the order the files were given.
#include "program/batch.hpp"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "engine/report/findings.hpp"
#include "platform/interrupt_cleanup.hpp"
#include "platform/process.hpp"
#include "program/batch_plan.hpp"
#include "program/batch_summary.hpp"
#include "program/console.hpp"
#include "program/file_conversion.hpp"
#include "program/folders.hpp"
#include "program/messages.hpp"
#include "program/progress.hpp"
#include "program/wildcards.hpp"

namespace tnx {
namespace {

static_assert(static_cast<std::size_t>(MAX_JOBS) + 1 <= MAX_GUARDED_THREADS,
              "every job thread and the main thread guard their temporary "
              "files in a slot of their own");

// Files taken ahead of the first one not yet shown, per job: enough to keep
// every job busy behind a slow file, few enough that the texts waiting to
// be shown stay small.
constexpr std::size_t AHEAD_PER_JOB = 8;

// What converting one file gave: its text and reasons, for the thread that
// shows them. Made by the job that converts the file and handed over whole.
struct FileReport {
  CollectedText text;
  std::string errors;
  RunStatus status = RunStatus::ok;
  // --report found something in the file.
  bool had_findings = false;
  // The memory ran out: the text and reasons are not there, and the
  // failure is written without taking any more.
  bool out_of_memory = false;
};

// Adds the line that names a file of the batch and its row file to `text`,
// on a line of its own even after a text cut short (a header echo ended by
// a NUL byte; `at_line_start` tells), so scripts can split on it.
void add_heading(ConsoleWriter& text, bool at_line_start,
                 std::string_view input, const RowFileParts& output) {
  if (!at_line_start) text.add("\n");
  text.add("== ");
  text.add_name(input);
  text.add(" -> ");
  text.add_name(output.folder);
  if (output.separator) text.add("/");
  text.add_name(output.stem);
  text.add(".ntp");
  text.add(output.packing);
  text.add("\n");
}

// Starts up to `count` threads that run `job`; as many as the system gives.
template <typename Job>
std::vector<std::thread> start_threads(std::size_t count, const Job& job) {
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < count; ++t) {
    try {
      threads.emplace_back(job);
    } catch (const std::system_error&) {
      break;
    } catch (const std::bad_alloc&) {
      break;
    }
  }
  return threads;
}

// Runs the jobs on `threads` threads (or on this one) and shows each file's
// text in order as soon as it and every file before it are done.
class BatchRun {
 public:
  BatchRun(const BatchConfig& config, FileSystem& fs, const BatchPlan& plan,
           int threads, int text_fd)
      : config_(config),
        fs_(fs),
        plan_(plan),
        names_(*plan.names),
        text_fd_(text_fd),
        threads_(static_cast<std::size_t>(threads)),
        ahead_(AHEAD_PER_JOB * threads_),
        ready_(ahead_),
        out_of_memory_text_(error_text(ENOMEM)),
        progress_(fs.io(), names_.size()) {}

  // Returns the number of files that failed.
  std::size_t run();
  // The files in which --report found something.
  [[nodiscard]] std::size_t with_findings() const { return with_findings_; }

  [[nodiscard]] int text_fd() const { return text_fd_; }
  // Whether the last text shown ended its line.
  [[nodiscard]] bool at_line_start() const { return at_line_start_; }

 private:
  FileReport convert(std::size_t index, ConversionMemory& memory,
                     Findings& findings, ConversionRecord& record) const;
  FileReport convert_unlocked(std::size_t index, ConversionMemory& memory,
                              Findings& findings, ConversionRecord& record,
                              std::unique_lock<std::mutex>& lock);
  FileReport convert_alone(std::size_t index, ConversionMemory& memory,
                           Findings& findings,
                           std::unique_lock<std::mutex>& lock);
  void work();
  void show(std::size_t index, const FileReport& report);

  const BatchConfig& config_;
  FileSystem& fs_;
  const BatchPlan& plan_;
  const NameList& names_;
  int text_fd_;
  std::size_t threads_;
  std::size_t ahead_;
  // Guarded by mutex_: the next file to take, the first not shown, and the
  // reports of the files in between that are done, file i in slot
  // i % ahead_. The thread that shows the texts waits on `shown_done_` for
  // the file `shown_`, and is woken only when that one is done, not at
  // every file; the jobs wait on `room_` when they are too far ahead, and
  // while a job waits to convert a file again alone (see convert_alone()).
  std::mutex mutex_;
  std::condition_variable shown_done_;
  std::condition_variable room_;
  std::size_t next_ = 0;
  std::size_t shown_ = 0;
  // The jobs converting a file, and those waiting to convert one alone.
  std::size_t converting_ = 0;
  std::size_t waiting_alone_ = 0;
  std::vector<std::optional<FileReport>> ready_;
  // The reason for a failure of memory, ready before memory runs out.
  std::string out_of_memory_text_;
  Progress progress_;
  std::size_t failed_ = 0;
  std::size_t with_findings_ = 0;
  bool at_line_start_ = true;
};

// A file that failed for want of memory, and can be converted again from
// the start with nothing changed by the first try, is tried once more.
bool worth_another_try(const ConversionRecord& record) {
  return record.out_of_memory && record.repeatable;
}

FileReport BatchRun::convert(std::size_t index, ConversionMemory& memory,
                             Findings& findings,
                             ConversionRecord& record) const {
  FileReport report;
  record = ConversionRecord();
  try {
    Console console(fs_.io(), ConsoleMode::collect);
    const std::string output =
        row_file_name(names_[index], config_.output_dir, config_.packing);
    if (plan_.refused.count(index) != 0) {
      tell_refused_output(console, output, refusal_reason(plan_, index));
      report.status = RunStatus::output_not_opened;
    } else {
      // With several jobs the cores are taken: a writer thread per file
      // would only add threads and buffers.
      report.status = convert_file(
          names_.c_str(index), output.c_str(), fs_, console,
          {.background_writing = threads_ == 1 ? BackgroundWriting::allowed
                                               : BackgroundWriting::never},
          config_.report ? &findings : nullptr, memory, record);
      report.had_findings = config_.report && findings.total() != 0;
    }
    report.text = console.take_text();
    report.errors = console.take_errors();
  } catch (const std::bad_alloc&) {
    // This file could not get the memory it needed; what it held is given
    // back as the stack unwinds, and the other files go on.
    report = FileReport{};
    report.status = RunStatus::read_failed;
    report.out_of_memory = true;
    record.out_of_memory = true;
  }
  return report;
}

// Converts file `index` with `lock` released, counted among the files
// being converted while it is (a job that would convert alone waits for that
// count to fall to zero). Called and returns with `lock` held.
FileReport BatchRun::convert_unlocked(std::size_t index,
                                      ConversionMemory& memory,
                                      Findings& findings,
                                      ConversionRecord& record,
                                      std::unique_lock<std::mutex>& lock) {
  ++converting_;
  lock.unlock();
  FileReport report = convert(index, memory, findings, record);
  lock.lock();
  --converting_;
  return report;
}

// Memory that runs out with many jobs may be what the other jobs' files
// hold at that moment: the file is converted again once no other job
// converts, and no job takes a new file until it is done. A tight memory
// limit then costs time, not files. Called and returns with `lock` held.
FileReport BatchRun::convert_alone(std::size_t index, ConversionMemory& memory,
                                   Findings& findings,
                                   std::unique_lock<std::mutex>& lock) {
  ++waiting_alone_;
  room_.wait(lock, [this] { return converting_ == 0; });
  ConversionRecord record;
  FileReport report = convert_unlocked(index, memory, findings, record, lock);
  --waiting_alone_;
  return report;
}

void BatchRun::work() {
  // A row file that is a pipe whose reader left fails alone.
  hold_broken_pipe_signal();
  // This job's buffers, from file to file.
  ConversionMemory memory = ConversionMemory::for_many_files();
  Findings findings;
  std::unique_lock lock(mutex_);
  for (;;) {
    room_.wait(lock, [&] {
      return next_ >= names_.size() ||
             (next_ < shown_ + ahead_ && waiting_alone_ == 0);
    });
    if (next_ >= names_.size()) return;
    const std::size_t index = next_++;
    ConversionRecord record;
    FileReport report = convert_unlocked(index, memory, findings, record, lock);
    const bool again = worth_another_try(record);
    if (again) report = convert_alone(index, memory, findings, lock);
    // A job that waits to convert alone waits for the others to end their
    // files, and they wait for it before they take new ones.
    if (again || waiting_alone_ > 0) room_.notify_all();
    ready_[index % ahead_] = std::move(report);
    if (index == shown_) shown_done_.notify_one();
  }
}

void BatchRun::show(std::size_t index, const FileReport& report) {
  const bool failed = report.status != RunStatus::ok;
  failed_ += failed ? 1 : 0;
  with_findings_ += report.had_findings ? 1 : 0;
  if (config_.quiet && !failed) return;
  progress_.erase();
  const std::string_view input = names_[index];
  ConsoleWriter text(fs_.io(), text_fd_);
  add_heading(text, at_line_start_, input,
              row_file_parts(input, config_.output_dir, config_.packing));
  if (report.out_of_memory) {
    tell_out_of_memory(text, input);
    write_reason(fs_.io(), input, out_of_memory_text_);
  } else {
    // A scratch file of this program that cannot be read back cuts the
    // text short; like any console text, it is not the file's failure.
    (void)report.text.add_to(text);
    text.flush();
    write_console_text(fs_.io(), STDERR_FD, report.errors);
  }
  at_line_start_ = text.at_line_start();
}

std::size_t BatchRun::run() {
  // Even one job converts on a thread of its own, so this one can keep the
  // progress line going while a long file converts.
  std::vector<std::thread> workers =
      start_threads(threads_, [this] { work(); });
  // For when no job thread could be had and this one converts.
  ConversionMemory memory;
  Findings findings;
  if (workers.empty()) memory = ConversionMemory::for_many_files();
  for (std::size_t i = 0; i < names_.size(); ++i) {
    FileReport report;
    if (workers.empty()) {
      hold_broken_pipe_signal();
      ConversionRecord record;
      report = convert(i, memory, findings, record);
      if (worth_another_try(record)) {
        report = convert(i, memory, findings, record);
      }
      release_broken_pipe_signal();
    } else {
      std::unique_lock lock(mutex_);
      std::optional<FileReport>& slot = ready_[i % ahead_];
      while (!shown_done_.wait_for(lock, PROGRESS_EVERY,
                                   [&slot] { return slot.has_value(); })) {
        // Written unlocked: a stalled terminal must not stall the jobs.
        lock.unlock();
        progress_.show(i);
        lock.lock();
      }
      report = std::move(*slot);
      slot.reset();
      shown_ = i + 1;
    }
    room_.notify_all();
    show(i, report);
    progress_.show(i + 1);
  }
  for (std::thread& worker : workers) worker.join();
  progress_.erase();
  return failed_;
}

}  // namespace

RunStatus run_batch(const BatchConfig& config, FileSystem& fs) {
  NameList expanded;
  const NameList& names = expand_wildcards(config.files, expanded);
  // No line of the batch may change one of its inputs: with standard output
  // there it goes to standard error; with both there, nothing is done.
  const StreamsOnInputs streams = streams_on_inputs(fs, names);
  if (streams.standard_output && streams.standard_error) {
    return RunStatus::streams_are_input;
  }
  if (!config.output_dir.empty()) {
    if (const int error = make_directories(fs, config.output_dir)) {
      Console console(fs.io(), ConsoleMode::live);
      console.report(config.output_dir, error_text(error));
    }
  }
  const BatchPlan plan =
      plan_batch(fs, names, config.output_dir, config.packing);
  const std::size_t total = names.size();
  int threads = config.jobs > 0 ? config.jobs : available_processors();
  threads = static_cast<int>(
      std::min<std::size_t>(static_cast<std::size_t>(threads), total));
  const bool text_on_errors =
      plan.rows_on_standard_output || streams.standard_output;
  BatchRun batch(config, fs, plan, threads,
                 text_on_errors ? STDERR_FD : STDOUT_FD);
  const std::size_t failed = batch.run();
  write_summary(fs.io(), batch.text_fd(), batch.at_line_start(), config, total,
                failed, batch.with_findings());
  return failed == 0 ? RunStatus::ok : RunStatus::batch_failed;
}

}  // namespace tnx
