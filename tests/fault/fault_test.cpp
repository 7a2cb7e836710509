// Every system call of a run failed on purpose, one plan per case, against
// an in-memory file system and against the real one in a scratch folder.
// Each case checks the status, the console text, and the exact bytes that
// reached the row file: rows already written stay, none is written twice.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "command_line.hpp"
#include "faulty_file_system.hpp"
#include "memory_file_system.hpp"
#include "reference.hpp"
#include "run.hpp"

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

// What the row file must hold afterwards.
enum class Rows {
  all,             // every row
  unchanged,       // the old content, untouched
  empty,           // truncated, nothing written
  prefix,          // the rows of the writes that went through, no more
  complete_lines,  // the rows of the lines read in full before the error
};

struct Case {
  const char* name;
  FaultPlan plan;
  RunStatus status;
  Message message;
  Rows rows;
  // Whether the header echo reached the console before the failure.
  bool echoed = true;
  std::size_t block_size = 4096;
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
    {"output not writable",
     {Call::open_output, Role::output, 1, 1, Effect::fail, EACCES},
     RunStatus::output_not_opened,
     Message::open_output,
     Rows::unchanged,
     false},
    {"output identify fails",
     {Call::identify, Role::output, 1, 1, Effect::fail, EIO},
     RunStatus::output_not_opened,
     Message::open_output,
     Rows::unchanged,
     false},
    {"output truncate fails",
     {Call::truncate, Role::output, 1, 1, Effect::fail, EIO},
     RunStatus::output_not_opened,
     Message::open_output,
     Rows::unchanged,
     false},
    {"first read fails",
     {Call::read, Role::input, 1, 1, Effect::fail, EIO},
     RunStatus::read_failed,
     Message::read,
     Rows::empty,
     false},
    {"read fails in the header",
     {Call::read, Role::input, 3, 1, Effect::fail, EIO},
     RunStatus::read_failed,
     Message::read,
     Rows::complete_lines,
     true,
     16},
    {"read fails mid input",
     {Call::read, Role::input, 40, 1, Effect::fail, EIO},
     RunStatus::read_failed,
     Message::read,
     Rows::complete_lines},
    {"read fails mid input, large blocks",
     {Call::read, Role::input, 3, 1, Effect::fail, EIO},
     RunStatus::read_failed,
     Message::read,
     Rows::complete_lines,
     true,
     100000},
    {"read fails near the end, and after",
     {Call::read, Role::input, 200, 0, Effect::fail, EIO},
     RunStatus::read_failed,
     Message::read,
     Rows::complete_lines},
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
     Rows::empty},
    {"write accepts nothing",
     {Call::write, Role::output, 1, 1, Effect::accept_nothing, 0},
     RunStatus::write_failed,
     Message::write,
     Rows::empty},
    {"write fails after some rows",
     {Call::write, Role::output, 3, 1, Effect::fail, EIO},
     RunStatus::write_failed,
     Message::write,
     Rows::prefix},
    {"one write short",
     {Call::write, Role::output, 2, 1, Effect::half, 0},
     RunStatus::ok,
     Message::none,
     Rows::all},
    {"output close fails",
     {Call::close, Role::output, 1, 1, Effect::fail, EIO},
     RunStatus::write_failed,
     Message::write,
     Rows::all},
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
};

class MemoryBackend final : public Backend {
 public:
  MemoryBackend() {
    fs_.add_file(INPUT, input_text());
    fs_.add_file(OUTPUT, OLD_ROWS);
  }
  FileSystem& inner() override { return fs_; }
  std::string input_name() override { return INPUT; }
  std::string output_name() override { return OUTPUT; }
  std::string output_bytes() override { return fs_.file(OUTPUT); }
  std::string input_bytes() override { return fs_.file(INPUT); }

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
  DiskBackend()
      : dir_(std::filesystem::temp_directory_path() /
             ("tnx_fault_" + std::to_string(::getpid()))) {
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    write_file(dir_ / "in.dat", input_text());
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

void check_case(const Case& c, Backend& backend) {
  const std::string input_name = backend.input_name();
  const std::string output_name = backend.output_name();
  RunConfig config;
  config.input = input_name.c_str();
  config.output = output_name.c_str();
  FaultyFileSystem fs(backend.inner(), c.plan);

  const RunStatus status = run(config, fs, c.block_size);

  EXPECT_TRUE(fs.fault_hit) << "the plan never struck";
  EXPECT_EQ(status, c.status);
  EXPECT_EQ(exit_code(status), c.status == RunStatus::ok ? 0 : 1);
  // After a read error, what was read in whole lines is what counts.
  Conversion want = full_conversion();
  if (c.rows == Rows::complete_lines) {
    const std::string& input = input_text();
    ASSERT_GT(fs.input_bytes_read, 0u);
    ASSERT_LT(fs.input_bytes_read, input.size());
    const std::size_t end = input.rfind('\n', fs.input_bytes_read - 1);
    want = reference_convert(
        input.substr(0, end == std::string::npos ? 0 : end + 1));
  }
  // Console text that could not be written is gone; the run goes on.
  std::string console = c.echoed ? want.console : std::string();
  console += message_for(c.message, input_name, output_name);
  if (c.plan.role == Role::console) console.clear();
  EXPECT_EQ(fs.console, console);
  EXPECT_EQ(fs.open_descriptors(), 0) << "a file was left open";
  EXPECT_EQ(fs.unknown_closes, 0) << "a file was closed twice";
  EXPECT_EQ(fs.writes_after_error, 0) << "rows written after a failed write";
  EXPECT_EQ(backend.input_bytes(), input_text()) << "the input changed";

  const std::string rows = backend.output_bytes();
  switch (c.rows) {
    case Rows::all: EXPECT_TRUE(rows == want.rows) << "rows differ"; break;
    case Rows::unchanged: EXPECT_EQ(rows, OLD_ROWS); break;
    case Rows::empty: EXPECT_EQ(rows, ""); break;
    case Rows::prefix:
      EXPECT_FALSE(rows.empty());
      EXPECT_LT(rows.size(), want.rows.size());
      EXPECT_TRUE(want.rows.compare(0, rows.size(), rows) == 0)
          << "the rows written are not the start of the full rows";
      break;
    case Rows::complete_lines:
      EXPECT_TRUE(rows == want.rows)
          << "not the rows of the lines read before the error (" << rows.size()
          << " bytes)";
      break;
  }
}

TEST(Fault, InMemory) {
  for (const Case& c : CASES) {
    SCOPED_TRACE(c.name);
    MemoryBackend backend;
    check_case(c, backend);
  }
}

TEST(Fault, OnDisk) {
  for (const Case& c : CASES) {
    SCOPED_TRACE(c.name);
    DiskBackend backend;
    check_case(c, backend);
  }
}

}  // namespace
}  // namespace tnx::test
