#include "engine/conversion.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "memory_conversion.hpp"
#include "memory_file_io.hpp"
#include "string_output.hpp"

namespace tnx {
namespace {

using test::convert_in_memory;
using test::MemoryConversion;
using test::MemoryInput;

const std::string HEADER =
    "# a scan\n"
    "points 0.5 1.0 1.5\n"
    "events 10 20 30\n"
    "dropped\n";

// Files of every size a batch meets, in an order where each one's bytes
// and rows are left over in the buffers the next one takes. A read that
// fails part-way ends one of them early.
struct TurnFile {
  std::string name;
  std::string bytes;
  std::size_t read_error_at = SIZE_MAX;
};

std::vector<TurnFile> files_in_turn() {
  std::string wide = "# wide\npoints";
  std::string events = "events";
  std::string data = "-123456";
  for (int j = 0; j < MAX_COLUMNS; ++j) {
    wide += " 100000" + std::to_string(j) + ".25";
    events += " 400000000" + std::to_string(j % 10);
    data += " 300000000" + std::to_string(j % 10);
  }
  wide += "\n" + events + "\n#\n" + data + "\n" + data;

  // Rows of well over an output buffer, with long values.
  std::string big = HEADER;
  for (int i = 0; i < 40000; ++i) {
    big += std::to_string(i) + " 4294967295 123456789 987654321\n";
  }
  // Short values, the last one at the very end of the file: a byte left
  // over after it from an earlier file would join its digits.
  const std::string short_end = HEADER + "7 1 2 3";
  // A line longer than a read block grows the input buffer.
  const std::string long_line =
      HEADER + std::string(BLOCK_SIZE + 12345, ' ') + "9 1 2 3\n5 4 5 6\n";

  return {{"wide", wide},
          {"big", big},
          {"short", short_end},
          {"empty", ""},
          {"long", long_line},
          {"read fails", big, big.size() / 2},
          {"short again", short_end},
          {"header", HEADER},
          {"big again", big},
          {"short at last", short_end}};
}

void expect_same(const MemoryConversion& got, const MemoryConversion& want) {
  EXPECT_EQ(got.result.read_error, want.result.read_error);
  EXPECT_EQ(got.result.write_error, want.result.write_error);
  EXPECT_EQ(got.text, want.text);
  EXPECT_TRUE(got.rows == want.rows)
      << got.rows.size() << " bytes of rows, alone " << want.rows.size();
}

// Files converted one after another through the same buffers, as a batch's
// job converts them, give exactly what each gives converted alone, and the
// buffers kept stay within the usual sizes.
TEST(Conversion, FilesInTurnInTheSameMemory) {
  const std::vector<TurnFile> files = files_in_turn();
  for (const std::size_t block :
       {std::size_t{7}, std::size_t{4096}, BLOCK_SIZE}) {
    for (const bool full_size : {false, true}) {
      SCOPED_TRACE("block " + std::to_string(block) +
                   (full_size ? ", full-size buffers" : ", no buffers"));
      const ConversionSettings settings{
          .block_size = block, .background_writing = BackgroundWriting::never};
      ConversionMemory memory =
          full_size ? ConversionMemory::for_many_files() : ConversionMemory();
      for (const TurnFile& file : files) {
        SCOPED_TRACE(file.name);
        MemoryInput how;
        how.read_error_at = file.read_error_at;
        const MemoryConversion want =
            convert_in_memory(file.bytes, settings, how);
        const MemoryConversion got =
            convert_in_memory(file.bytes, settings, how, &memory);
        expect_same(got, want);
        EXPECT_EQ(got.open_descriptors, 0u);
        EXPECT_LE(memory.input.capacity(),
                  std::max(block, BLOCK_SIZE + LINE_END_BYTES));
        EXPECT_LE(memory.rows.capacity(), OUTPUT_BUFFER_SIZE);
      }
      // Something was converted and kept: the buffers do go round.
      EXPECT_GT(memory.rows.capacity(), 0u);
      EXPECT_GT(memory.input.capacity(), 0u);
    }
  }
}

// A regular file's size is a hint only: one that reads as smaller than the
// file (files in /proc report 0, a file may grow) is still read in blocks
// of MIN_BLOCK_SIZE or more, not byte by byte, and converts the same.
TEST(Conversion, SmallSizeIsOnlyAHint) {
  std::string input = HEADER;
  for (int i = 0; input.size() < 300000; ++i) {
    input += std::to_string(i) + " 1 22 333\n";
  }
  const ConversionSettings settings{.background_writing =
                                        BackgroundWriting::never};
  const MemoryConversion want = convert_in_memory(input, settings);
  for (const std::size_t reported : {std::size_t{0}, std::size_t{10}}) {
    SCOPED_TRACE("size reported: " + std::to_string(reported));
    test::MemoryFileIo io;
    io.add_file("in.dat", input);
    io.reported_size = reported;
    ConversionInput in{io.open("in.dat"), {}, true};
    ASSERT_TRUE(io.identify(in.fd, in.id).ok());
    test::StringOutput text;
    ConversionMemory memory;
    const ConversionResult result =
        convert(io, in, {io.open("out.ntp"), FileKind::regular}, text, memory,
                settings);
    EXPECT_EQ(result.read_error, 0);
    EXPECT_EQ(text.text(), want.text);
    EXPECT_TRUE(io.file("out.ntp") == want.rows);
    EXPECT_LE(io.read_calls, input.size() / (MIN_BLOCK_SIZE / 2) + 2);
  }
}

// Files in memory whose writes may come from any thread, one at a time: it
// tells whether any did come from another thread than the one that made it.
class SharedFiles final : public test::MemoryFileIo {
 public:
  explicit SharedFiles(bool takes_other_threads)
      : takes_other_threads_(takes_other_threads) {}

  IoResult read(int fd, char* buffer, std::size_t size) override {
    const std::lock_guard lock(mutex_);
    return MemoryFileIo::read(fd, buffer, size);
  }
  IoResult write(int fd, const char* data, std::size_t size) override {
    const std::lock_guard lock(mutex_);
    if (std::this_thread::get_id() != owner_) written_elsewhere_ = true;
    return MemoryFileIo::write(fd, data, size);
  }
  [[nodiscard]] bool takes_writes_from_other_threads() const override {
    return takes_other_threads_;
  }
  [[nodiscard]] bool written_elsewhere() {
    const std::lock_guard lock(mutex_);
    return written_elsewhere_;
  }

 private:
  std::mutex mutex_;
  const std::thread::id owner_ = std::this_thread::get_id();
  bool takes_other_threads_;
  bool written_elsewhere_ = false;
};

// The rows of a large regular input go to a regular row file from a thread
// of their own exactly when the FileIo takes writes from other threads and
// the caller allows it; they are the same rows either way. Rows to another
// kind of file, or of a small input, stay on the converting thread.
TEST(Conversion, RowsWrittenInTheBackgroundWhereTheFileIoTakesIt) {
  std::string large = HEADER;
  for (int i = 0; large.size() < (std::size_t{9} << 19); ++i) {
    large += std::to_string(i) + " 4294967295 123456789 987654321\n";
  }
  const std::string small = HEADER + "7 1 2 3\n";
  struct Case {
    const char* name;
    const std::string& input;
    bool takes_other_threads;
    BackgroundWriting background_writing;
    FileKind output;
    bool elsewhere;
  };
  const Case cases[] = {
      {"large, taken", large, true, BackgroundWriting::allowed,
       FileKind::regular, true},
      {"large, not taken", large, false, BackgroundWriting::allowed,
       FileKind::regular, false},
      {"large, not allowed", large, true, BackgroundWriting::never,
       FileKind::regular, false},
      {"large, to a device", large, true, BackgroundWriting::allowed,
       FileKind::device, false},
      {"small, taken", small, true, BackgroundWriting::allowed,
       FileKind::regular, false},
  };
  const MemoryConversion want = convert_in_memory(
      large, {.background_writing = BackgroundWriting::never});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SharedFiles io(c.takes_other_threads);
    io.add_file("in.dat", c.input);
    ConversionInput in{io.open("in.dat"), {}, true};
    ASSERT_TRUE(io.identify(in.fd, in.id).ok());
    test::StringOutput text;
    ConversionMemory memory;
    const ConversionResult result =
        convert(io, in, {io.open("out.ntp"), c.output}, text, memory,
                {.background_writing = c.background_writing});
    EXPECT_EQ(result.read_error, 0);
    EXPECT_EQ(result.write_error, 0);
    EXPECT_EQ(io.written_elsewhere(), c.elsewhere);
    if (&c.input == &large) {
      EXPECT_TRUE(io.file("out.ntp") == want.rows);
    }
  }
}

}  // namespace
}  // namespace tnx
