#include "engine/conversion.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "memory_file_system.hpp"

namespace tnx {
namespace {

using test::MemoryFileSystem;

const std::string HEADER =
    "# a scan\n"
    "points 0.5 1.0 1.5\n"
    "events 10 20 30\n"
    "dropped\n";

// Files of every size a batch meets, in an order where each one's bytes
// and rows are left over in the buffers the next one takes.
std::vector<std::pair<std::string, std::string>> files_in_turn() {
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

  return {{"wide.dat", wide},        {"big.dat", big},
          {"short.dat", short_end},  {"empty.dat", ""},
          {"long.dat", long_line},   {"missing.dat", ""},
          {"short2.dat", short_end}, {"header.dat", HEADER},
          {"big2.dat", big},         {"short3.dat", short_end}};
}

struct Outcome {
  RunStatus status;
  std::string text;
  std::string rows;
};

Outcome convert(MemoryFileSystem& fs, const std::string& name,
                std::size_t block_size, ConversionMemory* memory) {
  Console console(fs, false);
  const std::string output = name.substr(0, name.size() - 4) + ".ntp";
  const RunStatus status =
      memory == nullptr ? convert_file(name.c_str(), output.c_str(), fs,
                                       console, block_size, false)
                        : convert_file(name.c_str(), output.c_str(), fs,
                                       console, block_size, false, *memory);
  Outcome outcome{status, console.text() + console.errors(), ""};
  if (fs.exists(output)) outcome.rows = fs.file(output);
  return outcome;
}

// Files converted one after another through the same buffers, as a batch's
// job converts them, give exactly what each gives converted alone, and the
// buffers kept stay within the usual sizes.
TEST(Conversion, FilesInTurnInTheSameMemory) {
  const auto files = files_in_turn();
  for (const std::size_t block :
       {std::size_t{7}, std::size_t{4096}, BLOCK_SIZE}) {
    for (const bool full_size : {false, true}) {
      SCOPED_TRACE("block " + std::to_string(block) +
                   (full_size ? ", full-size buffers" : ", no buffers"));
      MemoryFileSystem alone;
      MemoryFileSystem shared;
      for (const auto& [name, bytes] : files) {
        if (name == "missing.dat") continue;
        alone.add_file(name, bytes);
        shared.add_file(name, bytes);
      }
      ConversionMemory memory =
          full_size ? ConversionMemory::for_many_files() : ConversionMemory();
      for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        const Outcome want = convert(alone, name, block, nullptr);
        const Outcome got = convert(shared, name, block, &memory);
        EXPECT_EQ(got.status, want.status);
        EXPECT_EQ(got.text, want.text);
        EXPECT_TRUE(got.rows == want.rows)
            << got.rows.size() << " bytes of rows, alone " << want.rows.size();
        EXPECT_LE(memory.input.capacity(), std::max(block, BLOCK_SIZE));
        EXPECT_LE(memory.rows.capacity(), OUTPUT_BUFFER_SIZE);
      }
      // Something was converted and kept: the buffers do go round.
      EXPECT_GT(memory.rows.capacity(), 0u);
      EXPECT_GT(memory.input.capacity(), 0u);
      EXPECT_EQ(shared.open_descriptors(), 0u);
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
  MemoryFileSystem exact;
  exact.add_file("in.dat", input);
  const Outcome want = convert(exact, "in.dat", BLOCK_SIZE, nullptr);
  for (const std::size_t reported : {std::size_t{0}, std::size_t{10}}) {
    SCOPED_TRACE("size reported: " + std::to_string(reported));
    MemoryFileSystem fs;
    fs.add_file("in.dat", input);
    fs.reported_size = reported;
    const Outcome got = convert(fs, "in.dat", BLOCK_SIZE, nullptr);
    EXPECT_EQ(got.status, want.status);
    EXPECT_EQ(got.text, want.text);
    EXPECT_TRUE(got.rows == want.rows);
    EXPECT_LE(fs.read_calls, input.size() / (MIN_BLOCK_SIZE / 2) + 2);
  }
}

}  // namespace
}  // namespace tnx
