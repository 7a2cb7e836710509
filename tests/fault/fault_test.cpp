// Every system call of a run failed on purpose, one plan per case, against
// an in-memory file system and against the real one in a scratch folder.
// Each case checks the status, the console text and the reason on standard
// error, and the exact bytes of the row file afterwards: every row, or the
// old content when the run failed, with no temporary file left behind.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "faulty_file_system.hpp"
#include "memory_file_system.hpp"
#include "program/command_line.hpp"
#include "program/run.hpp"
#include "reference.hpp"

namespace tnx::test {
namespace {

// A header and enough data lines for several output buffers' worth of rows,
// so write faults can strike after some rows are out.
std::string make_input() {
  std::string input =
      "# fault test\npoints 0.5 1.25 2 3 4 5 6 7\n"
      "events 10 20 30 40 50 60 70 80\nlabel c0 c1 c2 c3 c4 c5 c6 c7\n";
  char line[128];
  for (int i = 0; i < 20000; ++i) {
    const int size =
        std::snprintf(line, sizeof line, "%d %d %d %d %d %d %d %d %u\n",
                      i - 7000, i, i * 3, i * 7, i % 13, i * 11, 5, i / 3,
                      static_cast<unsigned>(i) * 2654435761u);
    input.append(line, static_cast<std::size_t>(size));
  }
  return input;
}

const std::string& input_text() {
  static const std::string text = make_input();
  return text;
}

const Conversion& full_conversion() {
  static const Conversion conversion = reference_convert(input_text());
  return conversion;
}

constexpr const char* OLD_ROWS = "old rows\n";

enum class Message { none, open_input, open_output, read, write };

// What the row file must hold afterwards: every row, or the old content,
// untouched. A run that fails leaves no rows of its own.
enum class Rows { all, unchanged };

struct Case {
  const char* name;
  FaultPlan plan;
  RunStatus status;
  Message message;
  Rows rows;
  // Whether the header echo reached the console before the failure.
  bool echoed = true;
  std::size_t block_size = 4096;
  // The output's folder takes no new file (in memory only: on disk, a test
  // run as root could not be kept out of a folder).
  bool folder_closed = false;
  // A second fault in the same run, and the message it adds after the
  // first one's.
  FaultPlan also{};
  Message also_message = Message::none;
};

const Case CASES[] = {
    {"input missing",
     {Call::open_input, Role::input, 1, 1, Effect::fail, ENOENT},
     RunStatus::input_not_opened,
     Message::open_input,
     Rows::unchanged,
     false},
    {"input not readable",
     {Call::open_input, Role::input, 1, 1, Effect::fail, EACCES},
     RunStatus::input_not_opened,
     Message::open_input,
     Rows::unchanged,
     false},
    {"input identify fails",
     {Call::identify, Role::input, 1, 1, Effect::fail, EIO},
     RunStatus::input_not_opened,
     Message::open_input,
     Rows::unchanged,
     false},
    {"output cannot be looked at",
     {Call::inspect, Role::output, 1, 1, Effect::fail, EACCES},
     RunStatus::output_not_opened,
     Message::open_output,
     Rows::unchanged,
     false},
    {"no room for the temporary file",
     {Call::create_temporary, Role::output, 1, 1, Effect::fail, ENOSPC},
     RunStatus::output_not_opened,
     Message::open_output,
     Rows::unchanged,
     false},
    // A folder that takes no new file: the row file is written in place.
    {"folder closed to new files",
     {Call::create_temporary, Role::output, 1, 1, Effect::fail, EACCES},
     RunStatus::ok,
     Message::none,
     Rows::all},
    {"output truncate fails, written in place",
     {Call::truncate, Role::output, 1, 1, Effect::fail, EIO},
     RunStatus::output_not_opened,
     Message::open_output,
     Rows::unchanged,
     false,
     4096,
     true},
    {"putting the row file in place fails",
     {Call::install, Role::output, 1, 1, Effect::fail, EXDEV},
     RunStatus::write_failed,
     Message::write,
     Rows::unchanged},
    {"first read fails",
     {Call::read, Role::input, 1, 1, Effect::fail, EIO},
     RunStatus::read_failed,
     Message::read,
     Rows::unchanged,
     false},
    {"read fails in the header",
     {Call::read, Role::input, 3, 1, Effect::fail, EIO},
     RunStatus::read_failed,
     Message::read,
     Rows::unchanged,
     false,
     16},
    {"read fails mid input",
     {Call::read, Role::input, 40, 1, Effect::fail, EIO},
     RunStatus::read_failed,
     Message::read,
     Rows::unchanged},
    {"read fails mid input, large blocks",
     {Call::read, Role::input, 3, 1, Effect::fail, EIO},
     RunStatus::read_failed,
     Message::read,
     Rows::unchanged,
     true,
     100000},
    {"read fails near the end, and after",
     {Call::read, Role::input, 200, 0, Effect::fail, EIO},
     RunStatus::read_failed,
     Message::read,
     Rows::unchanged},
    {"every read short",
     {Call::read, Role::input, 1, 0, Effect::half, 0},
     RunStatus::ok,
     Message::none,
     Rows::all},
    {"reads interrupted",
     {Call::read, Role::input, 2, 3, Effect::interrupt, 0},
     RunStatus::ok,
     Message::none,
     Rows::all},
    {"first write interrupted",
     {Call::write, Role::output, 1, 2, Effect::interrupt, 0},
     RunStatus::ok,
     Message::none,
     Rows::all},
    {"later write interrupted",
     {Call::write, Role::output, 3, 1, Effect::interrupt, 0},
     RunStatus::ok,
     Message::none,
     Rows::all},
    {"every write short",
     {Call::write, Role::output, 1, 0, Effect::half, 0},
     RunStatus::ok,
     Message::none,
     Rows::all},
    {"first write fails, disk full",
     {Call::write, Role::output, 1, 1, Effect::fail, ENOSPC},
     RunStatus::write_failed,
     Message::write,
     Rows::unchanged},
    {"write accepts nothing",
     {Call::write, Role::output, 1, 1, Effect::accept_nothing, 0},
     RunStatus::write_failed,
     Message::write,
     Rows::unchanged},
    {"write fails after some rows",
     {Call::write, Role::output, 3, 1, Effect::fail, EIO},
     RunStatus::write_failed,
     Message::write,
     Rows::unchanged},
    {"one write short",
     {Call::write, Role::output, 2, 1, Effect::half, 0},
     RunStatus::ok,
     Message::none,
     Rows::all},
    {"closing the row file fails",
     {Call::install, Role::output, 1, 1, Effect::fail, EIO},
     RunStatus::write_failed,
     Message::write,
     Rows::unchanged},
    // Both files need looking at: both are reported, the write first.
    {"a read and then the last write fail",
     {Call::read, Role::input, 2, 1, Effect::fail, EIO},
     RunStatus::write_failed,
     Message::write,
     Rows::unchanged,
     true,
     4096,
     false,
     {Call::write, Role::output, 1, 1, Effect::fail, ENOSPC},
     Message::read},
    {"input close fails",
     {Call::close, Role::input, 1, 1, Effect::fail, EIO},
     RunStatus::ok,
     Message::none,
     Rows::all},
    {"console write fails",
     {Call::write, Role::console, 1, 0, Effect::fail, EPIPE},
     RunStatus::ok,
     Message::none,
     Rows::all},
};

// Where a case's files live: in memory, or in a scratch folder on disk.
class Backend {
 public:
  virtual ~Backend() = default;
  virtual FileSystem& inner() = 0;
  virtual std::string input_name() = 0;
  virtual std::string output_name() = 0;
  virtual std::string output_bytes() = 0;
  virtual std::string input_bytes() = 0;
  // Every file there, to tell a temporary file left behind.
  virtual std::vector<std::string> names() = 0;
};

class MemoryBackend final : public Backend {
 public:
  explicit MemoryBackend(bool folder_closed,
                         const std::string& input = input_text()) {
    fs_.add_file(INPUT, input);
    fs_.add_file(OUTPUT, OLD_ROWS);
    if (folder_closed) fs_.temporary_error = EACCES;
  }
  FileSystem& inner() override { return fs_; }
  std::string input_name() override { return INPUT; }
  std::string output_name() override { return OUTPUT; }
  std::string output_bytes() override { return fs_.file(OUTPUT); }
  std::string input_bytes() override { return fs_.file(INPUT); }
  std::vector<std::string> names() override { return fs_.names(); }

 private:
  static constexpr const char* INPUT = "in.dat";
  static constexpr const char* OUTPUT = "out.ntp";
  MemoryFileSystem fs_;
};

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

class DiskBackend final : public Backend {
 public:
  explicit DiskBackend(const std::string& input = input_text())
      : dir_(std::filesystem::temp_directory_path() /
             ("tnx_fault_" + std::to_string(::getpid()))) {
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    write_file(dir_ / "in.dat", input);
    write_file(dir_ / "out.ntp", OLD_ROWS);
  }
  ~DiskBackend() override { std::filesystem::remove_all(dir_); }
  DiskBackend(const DiskBackend&) = delete;
  DiskBackend& operator=(const DiskBackend&) = delete;

  FileSystem& inner() override { return system_file_system(); }
  std::string input_name() override { return dir_ / "in.dat"; }
  std::string output_name() override { return dir_ / "out.ntp"; }
  std::string output_bytes() override { return read_file(dir_ / "out.ntp"); }
  std::string input_bytes() override { return read_file(dir_ / "in.dat"); }
  std::vector<std::string> names() override {
    std::vector<std::string> all;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
      all.push_back(entry.path().filename());
    }
    std::sort(all.begin(), all.end());
    return all;
  }

 private:
  std::filesystem::path dir_;
};

std::string message_for(Message message, const std::string& input,
                        const std::string& output) {
  switch (message) {
    case Message::none: return "";
    case Message::open_input:
      return "\nCould not open input file: " + input + "\n";
    case Message::open_output:
      return "\nCould not open output file: " + output + "\n";
    case Message::read: return "\nCould not read input file: " + input + "\n";
    case Message::write:
      return "\nCould not write output file: " + output + "\n";
  }
  return "";
}

// The line on standard error that goes with `message`, caused by the
// fault of `plan`.
std::string reason_for(Message message, const FaultPlan& plan,
                       const std::string& input, const std::string& output) {
  if (message == Message::none) return "";
  const bool about_input =
      message == Message::open_input || message == Message::read;
  const int error = plan.effect == Effect::accept_nothing ? ENOSPC : plan.error;
  return "tarnovelix: " + (about_input ? input : output) + ": " +
         error_text(error) + "\n";
}

// The fault behind each message: in a case of two, the first message
// comes from the fault on the output's side.
std::string reasons_for(const Case& c, const std::string& input,
                        const std::string& output) {
  if (c.also_message == Message::none) {
    return reason_for(c.message, c.plan, input, output);
  }
  const bool first_is_output = c.also.role == Role::output;
  return reason_for(c.message, first_is_output ? c.also : c.plan, input,
                    output) +
         reason_for(c.also_message, first_is_output ? c.plan : c.also, input,
                    output);
}

void check_case(const Case& c, Backend& backend) {
  const std::string input_name = backend.input_name();
  const std::string output_name = backend.output_name();
  const std::vector<std::string> names_before = backend.names();
  RunConfig config;
  config.input = input_name.c_str();
  config.output = output_name.c_str();
  FaultyFileSystem fs = c.also_message == Message::none
                            ? FaultyFileSystem(backend.inner(), c.plan)
                            : FaultyFileSystem(backend.inner(), c.plan, c.also);

  const RunStatus status = run(config, fs, c.block_size);

  EXPECT_TRUE(fs.fault_hit) << "the plan never struck";
  EXPECT_EQ(status, c.status);
  EXPECT_EQ(exit_code(status), c.status == RunStatus::ok ? 0 : 1);
  const Conversion& want = full_conversion();
  // Console text that could not be written is gone; the run goes on.
  std::string console = c.echoed ? want.console : std::string();
  console += message_for(c.message, input_name, output_name);
  console += message_for(c.also_message, input_name, output_name);
  if (c.plan.role == Role::console) console.clear();
  EXPECT_EQ(fs.console, console);
  EXPECT_EQ(fs.errors, reasons_for(c, input_name, output_name));
  EXPECT_EQ(fs.open_descriptors(), 0) << "a file was left open";
  EXPECT_EQ(fs.unknown_closes, 0) << "a file was closed twice";
  EXPECT_EQ(fs.writes_after_error, 0) << "rows written after a failed write";
  EXPECT_EQ(backend.input_bytes(), input_text()) << "the input changed";
  EXPECT_EQ(backend.names(), names_before) << "a temporary file was left";

  const std::string rows = backend.output_bytes();
  if (c.rows == Rows::all) {
    EXPECT_TRUE(rows == want.rows) << "rows differ";
  } else {
    EXPECT_EQ(rows, OLD_ROWS);
  }
}

TEST(Fault, InMemory) {
  for (const Case& c : CASES) {
    SCOPED_TRACE(c.name);
    MemoryBackend backend(c.folder_closed);
    check_case(c, backend);
  }
}

TEST(Fault, OnDisk) {
  for (const Case& c : CASES) {
    if (c.folder_closed) continue;
    SCOPED_TRACE(c.name);
    DiskBackend backend;
    check_case(c, backend);
  }
}

// A header line whose first word is longer than the bytes of a line held
// at once: its echo reads the word again from the input. A failure of that
// read fails the run as a read does (the echo cut short, the row file as it
// was); an interrupted or short read is carried on.
TEST(Fault, FirstWordReadAgain) {
  const std::string input =
      "# a scan\nxs" + std::string(100, 'w') + " 1\nevents 4 5\nlabel\n7 8 9\n";
  const Conversion want = reference_convert(input);
  struct ReadCase {
    Effect effect;
    RunStatus status;
  };
  for (const ReadCase& c : {ReadCase{Effect::fail, RunStatus::read_failed},
                            ReadCase{Effect::interrupt, RunStatus::ok},
                            ReadCase{Effect::half, RunStatus::ok}}) {
    for (const bool on_disk : {false, true}) {
      SCOPED_TRACE(std::to_string(static_cast<int>(c.effect)) +
                   (on_disk ? " on disk" : " in memory"));
      MemoryBackend memory(false, input);
      DiskBackend disk(input);
      Backend& backend = on_disk ? static_cast<Backend&>(disk) : memory;
      const std::string input_name = backend.input_name();
      const std::string output_name = backend.output_name();
      RunConfig config;
      config.input = input_name.c_str();
      config.output = output_name.c_str();
      // The first read by offset looks for a packing; the second is the
      // echo's.
      FaultyFileSystem fs(backend.inner(),
                          {Call::read_at, Role::input, 2, 1, c.effect, EIO});
      EXPECT_EQ(run(config, fs, 16, 16), c.status);
      EXPECT_TRUE(fs.fault_hit);
      EXPECT_EQ(fs.open_descriptors(), 0);
      if (c.status == RunStatus::ok) {
        EXPECT_EQ(fs.console, want.console);
        EXPECT_EQ(fs.errors, "");
        EXPECT_TRUE(backend.output_bytes() == want.rows);
      } else {
        // The echo had begun: its line's start, then the message.
        EXPECT_EQ(fs.console,
                  "\n\nCould not read input file: " + input_name + "\n");
        EXPECT_EQ(fs.errors,
                  "tarnovelix: " + input_name + ": " + error_text(EIO) + "\n");
        EXPECT_EQ(backend.output_bytes(), OLD_ROWS);
      }
    }
  }
}

}  // namespace
}  // namespace tnx::test
