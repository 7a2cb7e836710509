#include "batch.hpp"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "console.hpp"
#include "interrupt_cleanup.hpp"
#include "platform.hpp"

namespace tnx {
namespace {

#ifdef _WIN32
constexpr const char* SEPARATORS = "/\\:";
#else
constexpr const char* SEPARATORS = "/";
#endif

// Where the last component of `path` starts.
std::size_t name_start(const std::string& path) {
  const std::size_t cut = path.find_last_of(SEPARATORS);
  return cut == std::string::npos ? 0 : cut + 1;
}

// Files taken ahead of the first one not yet shown, per job: enough to keep
// every job busy behind a slow file, few enough that the texts waiting to
// be shown stay small.
constexpr std::size_t AHEAD_PER_JOB = 8;

// How often the progress line changes, and how long a run goes before it
// shows one.
constexpr auto PROGRESS_EVERY = std::chrono::milliseconds(250);
constexpr auto PROGRESS_AFTER = std::chrono::seconds(1);

struct FileJob {
  std::string input;
  std::string output;
  // A later file with the row file of an earlier one: that one's input.
  std::string refused_for;
  // The file's text and reasons, once converted.
  std::string text;
  std::string errors;
  RunStatus status = RunStatus::ok;
  bool done = false;
};

// Creates `dir` and the folders above it that are missing. Returns 0 or the
// errno value of the first folder that could not be made.
int make_directories(FileSystem& fs, const std::string& dir) {
  for (std::size_t end = 0; end != std::string::npos;) {
    end = dir.find_first_of(SEPARATORS, end + 1);
    const std::string prefix = dir.substr(0, end);
    if (prefix.empty() || prefix.back() == ':') continue;
    const IoResult r = fs.make_directory(prefix.c_str());
    if (!r.ok() && r.error != EEXIST) return r.error;
  }
  return 0;
}

// Folders already identified, by spelling: the files of a batch mostly
// share one or a few.
using FolderKeys = std::map<std::string, std::string>;

// What tells two row files apart: the folder (by identity, however it is
// spelled) and the name in it.
std::string output_key(FileSystem& fs, const std::string& output,
                       FolderKeys& folders) {
  const std::size_t start = name_start(output);
  std::string name = output.substr(start);
#ifdef _WIN32
  // Windows names ignore case.
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
#endif
  const std::string folder = start == 0 ? "." : output.substr(0, start);
  auto [known, fresh] = folders.try_emplace(folder);
  if (fresh) {
    FileId id;
    known->second =
        fs.inspect(folder.c_str(), id).ok()
            ? std::to_string(id.device) + ":" + std::to_string(id.inode) + "/"
            : "?" + folder;
  }
  return known->second + name;
}

// The files of the batch with their row files; a file whose row file an
// earlier one writes is marked refused.
std::vector<FileJob> plan_jobs(const BatchConfig& config, FileSystem& fs) {
  std::vector<std::string> names = config.files;
  expand_wildcards(names);
  std::vector<FileJob> jobs(names.size());
  FolderKeys folders;
  std::map<std::string, std::size_t> first_with;
  for (std::size_t i = 0; i < names.size(); ++i) {
    FileJob& job = jobs[i];
    job.input = std::move(names[i]);
    job.output = row_file_name(job.input, config.output_dir);
    const auto [seen, fresh] =
        first_with.emplace(output_key(fs, job.output, folders), i);
    if (!fresh) job.refused_for = jobs[seen->second].input;
  }
  return jobs;
}

// The line on standard error that shows how far the run is, when standard
// error is a terminal and the run takes long enough to need one.
class Progress {
 public:
  Progress(FileSystem& fs, std::size_t total)
      : fs_(fs),
        total_(total),
        enabled_(is_terminal(STDERR_FD)),
        start_(std::chrono::steady_clock::now()) {}

  void show(std::size_t done) {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - start_ < PROGRESS_AFTER || now - shown_at_ < PROGRESS_EVERY) {
      return;
    }
    shown_at_ = now;
    // Built by appending: g++ 12 warns falsely about "literal" + string.
    std::string line = "\r";
    line += std::to_string(done);
    line += " of ";
    line += std::to_string(total_);
    line += " files";
    erase();
    note_progress_line(line.size() - 1);
    (void)write_all(fs_, STDERR_FD, line.data(), line.size());
    width_ = line.size() - 1;
  }

  // Takes the line away, before other text or at the end.
  void erase() {
    if (width_ == 0) return;
    std::string blank(width_ + 2, ' ');
    blank.front() = '\r';
    blank.back() = '\r';
    (void)write_all(fs_, STDERR_FD, blank.data(), blank.size());
    note_progress_line(0);
    width_ = 0;
  }

 private:
  FileSystem& fs_;
  std::size_t total_;
  bool enabled_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point shown_at_{};
  // Characters of the line on the terminal now; 0 when none is.
  std::size_t width_ = 0;
};

// Runs the jobs on `threads` threads (or on this one) and shows each file's
// text in order as soon as it and every file before it are done.
class BatchRun {
 public:
  BatchRun(const BatchConfig& config, FileSystem& fs, std::vector<FileJob> jobs,
           int threads)
      : config_(config),
        fs_(fs),
        jobs_(std::move(jobs)),
        threads_(static_cast<std::size_t>(threads)),
        progress_(fs, jobs_.size()) {}

  // Returns the number of files that failed.
  std::size_t run();

 private:
  void convert(FileJob& job, ConversionMemory& memory) const;
  void work();
  void show(FileJob& job);

  const BatchConfig& config_;
  FileSystem& fs_;
  std::vector<FileJob> jobs_;
  std::size_t threads_;
  Progress progress_;
  std::size_t failed_ = 0;
  // Guarded by mutex_: the next file to take, and the first not shown.
  // The thread that shows the texts waits on `shown_done_` for the file
  // `shown_`, and is woken only when that one is done, not at every file;
  // the jobs wait on `room_` when they are too far ahead.
  std::mutex mutex_;
  std::condition_variable shown_done_;
  std::condition_variable room_;
  std::size_t next_ = 0;
  std::size_t shown_ = 0;
};

void BatchRun::convert(FileJob& job, ConversionMemory& memory) const {
  Console console(fs_, false);
  if (!job.refused_for.empty()) {
    console.print("\nCould not open output file: ", job.output,
                  " (also the row file of " + job.refused_for + ")\n");
    console.report(job.output, "also the row file of " + job.refused_for);
    job.status = RunStatus::output_not_opened;
  } else {
    // With several jobs the cores are taken: a writer thread per file would
    // only add threads and buffers.
    job.status = convert_file(job.input.c_str(), job.output.c_str(), fs_,
                              console, BLOCK_SIZE, threads_ == 1, memory);
  }
  job.text = std::move(console.text());
  job.errors = console.errors();
}

void BatchRun::work() {
  const std::size_t ahead = AHEAD_PER_JOB * threads_;
  // This job's buffers, from file to file.
  ConversionMemory memory = ConversionMemory::for_many_files();
  std::unique_lock lock(mutex_);
  for (;;) {
    room_.wait(lock,
               [&] { return next_ >= jobs_.size() || next_ < shown_ + ahead; });
    if (next_ >= jobs_.size()) return;
    const std::size_t index = next_++;
    lock.unlock();
    convert(jobs_[index], memory);
    lock.lock();
    jobs_[index].done = true;
    if (index == shown_) shown_done_.notify_one();
  }
}

void BatchRun::show(FileJob& job) {
  const bool failed = job.status != RunStatus::ok;
  failed_ += failed ? 1 : 0;
  if (!config_.quiet || failed) {
    progress_.erase();
    Console console(fs_, true);
    console.print("== ", job.input, " -> " + job.output + "\n");
    console.print(job.text);
    console.add_reasons(job.errors);
  }
  // The texts of files shown go at once, buffers and all: a batch of many
  // files must not keep a little of each.
  std::string().swap(job.text);
  std::string().swap(job.errors);
}

std::size_t BatchRun::run() {
  // Even one job converts on a thread of its own, so this one can keep the
  // progress line going while a long file converts.
  std::vector<std::thread> workers;
  for (std::size_t t = 0; t < threads_; ++t) {
    try {
      workers.emplace_back([this] { work(); });
    } catch (const std::system_error&) {
      break;  // as many as the system gives; none: this thread converts
    }
  }
  // For when no job thread could be had and this one converts.
  ConversionMemory memory;
  if (workers.empty()) memory = ConversionMemory::for_many_files();
  for (std::size_t i = 0; i < jobs_.size(); ++i) {
    if (workers.empty()) {
      convert(jobs_[i], memory);
    } else {
      std::unique_lock lock(mutex_);
      while (!jobs_[i].done) {
        shown_done_.wait_for(lock, PROGRESS_EVERY);
        if (!jobs_[i].done) progress_.show(i);
      }
    }
    show(jobs_[i]);
    {
      const std::lock_guard lock(mutex_);
      shown_ = i + 1;
    }
    room_.notify_all();
    progress_.show(i + 1);
  }
  for (std::thread& worker : workers) worker.join();
  progress_.erase();
  return failed_;
}

}  // namespace

std::string row_file_name(const std::string& input,
                          const std::string& output_dir) {
  const std::size_t start = name_start(input);
  std::string stem = input.substr(start);
  // The last extension; a leading dot starts a name, not an extension.
  const std::size_t dot = stem.rfind('.');
  if (dot != std::string::npos && dot > 0) stem.erase(dot);
  std::string folder = input.substr(0, start);
  if (!output_dir.empty()) {
    folder = output_dir;
    if (name_start(folder) != folder.size()) folder += '/';
  }
  return folder + stem + ".ntp";
}

RunStatus run_batch(const BatchConfig& config, FileSystem& fs) {
  if (!config.output_dir.empty()) {
    if (const int error = make_directories(fs, config.output_dir)) {
      Console console(fs, true);
      console.report(config.output_dir, error_text(error));
    }
  }
  std::vector<FileJob> jobs = plan_jobs(config, fs);
  const std::size_t total = jobs.size();
  int threads = config.jobs > 0 ? config.jobs : available_processors();
  threads = static_cast<int>(
      std::min<std::size_t>(static_cast<std::size_t>(threads), total));
  BatchRun batch(config, fs, std::move(jobs), threads);
  const std::size_t failed = batch.run();
  Console console(fs, true);
  console.print("\n== " + std::to_string(total) +
                " files: " + std::to_string(total - failed) + " converted, " +
                std::to_string(failed) + " failed\n");
  return failed == 0 ? RunStatus::ok : RunStatus::batch_failed;
}

}  // namespace tnx
