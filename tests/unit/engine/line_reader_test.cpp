#include "engine/line_reader.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "memory_file_io.hpp"
#include "seeded_random.hpp"

namespace tnx {
namespace {

using test::MemoryFileIo;

struct ExpectedLine {
  std::string text;
  bool has_newline;
  // Whether next() gave a first piece rather than the whole line.
  bool in_pieces = false;
};

const std::size_t BLOCK_SIZES[] = {1, 2, 7, 4096, BLOCK_SIZE};
// The longest line read whole, its line end not counted: a longer line
// comes in pieces.
const std::size_t LIMITS[] = {1, 2, 7, BLOCK_SIZE};

// Every line of `fs`'s file "in" as the reader delivers it, its pieces put
// together, up to the end or the first error. With `first_pieces_only`,
// only the first piece of each line, the rest passed over.
// Checks each piece on the way: its bytes are those at its offset in the
// input; a piece that more follow is not empty, not longer than the limit
// and a line end, and has no newline; a line's last piece ends in a NUL.
std::vector<ExpectedLine> read_all(MemoryFileIo& fs, std::size_t block_size,
                                   ReadStatus& last_status, int& error,
                                   std::size_t limit = BLOCK_SIZE,
                                   bool first_pieces_only = false) {
  const std::string input = fs.file("in");
  LineReader reader(fs, fs.open("in"), block_size, {}, limit);
  std::vector<ExpectedLine> lines;
  Line line;
  for (;;) {
    last_status = reader.next(line);
    if (last_status != ReadStatus::line && last_status != ReadStatus::piece) {
      break;
    }
    ExpectedLine whole{"", false, last_status == ReadStatus::piece};
    for (;;) {
      const std::string piece(line.text, line.size);
      const std::uint64_t offset = reader.offset_of(line.text);
      EXPECT_EQ(input.compare(offset, piece.size(), piece), 0)
          << "piece at " << offset;
      whole.text += piece;
      if (last_status == ReadStatus::line) {
        EXPECT_EQ(line.text[line.size], '\0');
        whole.has_newline = line.has_newline;
        break;
      }
      EXPECT_FALSE(line.has_newline);
      EXPECT_GE(line.size, 1u);
      EXPECT_LE(line.size, limit + LINE_END_BYTES);
      if (first_pieces_only) {
        if (!reader.pass_over_rest_of_line()) last_status = ReadStatus::error;
        break;
      }
      last_status = reader.next_piece(line);
      if (last_status == ReadStatus::error) break;
    }
    if (last_status == ReadStatus::error) {
      // The first piece of a line counts even when the rest failed.
      if (first_pieces_only) lines.push_back(whole);
      break;
    }
    lines.push_back(whole);
  }
  error = reader.error();
  if (last_status == ReadStatus::end) {
    // The end stays the end.
    EXPECT_EQ(reader.next(line), ReadStatus::end);
    EXPECT_EQ(reader.next(line), ReadStatus::end);
  }
  return lines;
}

// The lines, each whole when it is no longer than `limit`, its line end
// not counted, and in pieces when it is longer.
void expect_lines(const std::vector<ExpectedLine>& got,
                  const std::vector<ExpectedLine>& want, std::size_t limit) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].text, want[i].text) << "line " << i;
    EXPECT_EQ(got[i].has_newline, want[i].has_newline) << "line " << i;
    EXPECT_EQ(got[i].in_pieces, want[i].text.size() > limit) << "line " << i;
  }
}

// The first pieces of the lines: each a prefix of its line, the whole line
// when that is no longer than the limit.
void expect_first_pieces(const std::vector<ExpectedLine>& got,
                         const std::vector<ExpectedLine>& want,
                         std::size_t limit) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(want[i].text.compare(0, got[i].text.size(), got[i].text), 0)
        << "line " << i;
    EXPECT_EQ(got[i].in_pieces, want[i].text.size() > limit) << "line " << i;
    if (!got[i].in_pieces) {
      EXPECT_EQ(got[i].text, want[i].text) << "line " << i;
    }
  }
}

TEST(LineReader, LineEnds) {
  struct Case {
    std::string input;
    std::vector<ExpectedLine> lines;
  };
  const std::vector<Case> cases = {
      {"", {}},
      {"a", {{"a", false}}},
      {"a\n", {{"a", true}}},
      {"\n", {{"", true}}},
      {"\n\n", {{"", true}, {"", true}}},
      {"one\ntwo", {{"one", true}, {"two", false}}},
      {"a\r\nb\r\n", {{"a", true}, {"b", true}}},
      {"\r\n", {{"", true}}},
      // Only a CR right before a LF goes with the line end.
      {"a\rb\n", {{"a\rb", true}}},
      {"a\r\r\n", {{"a\r", true}}},
      {"a\r", {{"a\r", false}}},
      {"x\r\n\r", {{"x", true}, {"\r", false}}},
      {"\r", {{"\r", false}}},
      {"\n\r", {{"", true}, {"\r", false}}},
      // NUL and Ctrl-Z are bytes like any other here.
      {std::string("a\0b\nc", 5),
       {{std::string("a\0b", 3), true}, {"c", false}}},
      {"\x1a\n\x1a", {{"\x1a", true}, {"\x1a", false}}},
      {"  7 1 2  \n", {{"  7 1 2  ", true}}},
  };
  for (const Case& c : cases) {
    for (const std::size_t block : BLOCK_SIZES) {
      for (const std::size_t max_read : {SIZE_MAX, std::size_t{3}}) {
        for (const std::size_t limit : LIMITS) {
          SCOPED_TRACE(testing::PrintToString(c.input) + " block " +
                       std::to_string(block) + " max read " +
                       std::to_string(max_read) + " limit " +
                       std::to_string(limit));
          MemoryFileIo fs;
          fs.add_file("in", c.input);
          fs.max_read = max_read;
          ReadStatus status{};
          int error = 0;
          expect_lines(read_all(fs, block, status, error, limit), c.lines,
                       limit);
          EXPECT_EQ(status, ReadStatus::end);
          EXPECT_EQ(error, 0);
        }
      }
    }
  }
}

// A line longer than the limit comes in pieces of about BLOCK_SIZE bytes,
// which put together give the line; memory stays at the buffer. A line of
// the limit is whole, with a LF or a CR LF after it; a byte longer, it is
// not.
TEST(LineReader, LongLinesArriveInPieces) {
  const std::string long_line(100 * 1024, '5');
  std::string huge_line(3 * 1024 * 1024, '1');
  huge_line[1234567] = '\r';
  // A CR LF whose CR is the limit's last byte or the one after it.
  std::string cr_before_limit(BLOCK_SIZE - 1, '2');
  cr_before_limit += '\r';
  std::string cr_at_limit(BLOCK_SIZE, '3');
  cr_at_limit += '\r';
  const std::string at_limit(BLOCK_SIZE, '4');
  const std::string past_limit(BLOCK_SIZE + 1, '6');
  const std::string input = "head\n" + long_line + "\r\nmiddle\n" + huge_line +
                            "\n" + cr_before_limit + "\n" + cr_at_limit + "\n" +
                            at_limit + "\n" + past_limit + "\n" + past_limit +
                            "\r\n" + long_line;
  const std::vector<ExpectedLine> want = {
      {"head", true},
      {long_line, true},
      {"middle", true},
      {huge_line, true},
      {cr_before_limit.substr(0, BLOCK_SIZE - 1), true},
      {cr_at_limit.substr(0, BLOCK_SIZE), true},
      {at_limit, true},
      {past_limit, true},
      {past_limit, true},
      {long_line, false}};
  for (const std::size_t block :
       {std::size_t{7}, std::size_t{4096}, BLOCK_SIZE}) {
    SCOPED_TRACE("block " + std::to_string(block));
    MemoryFileIo fs;
    fs.add_file("in", input);
    ReadStatus status{};
    int error = 0;
    expect_lines(read_all(fs, block, status, error), want, BLOCK_SIZE);
    EXPECT_EQ(status, ReadStatus::end);
    expect_first_pieces(read_all(fs, block, status, error, BLOCK_SIZE, true),
                        want, BLOCK_SIZE);
    EXPECT_EQ(status, ReadStatus::end);
  }
}

TEST(LineReader, ReadErrorStopsTheLines) {
  const std::string input = "line1\nline2\npartial";
  struct Case {
    std::size_t error_at;  // offset of the first failing read
    int error;
    std::vector<ExpectedLine> lines;
  };
  const std::vector<Case> cases = {
      {0, EIO, {}},
      {3, EIO, {}},
      {6, EIO, {{"line1", true}}},
      {9, EINVAL, {{"line1", true}}},
      {12, EIO, {{"line1", true}, {"line2", true}}},
      {input.size() - 1, EACCES, {{"line1", true}, {"line2", true}}},
  };
  for (const Case& c : cases) {
    for (const std::size_t block : BLOCK_SIZES) {
      for (const std::size_t limit : LIMITS) {
        for (const bool first_pieces_only : {false, true}) {
          SCOPED_TRACE("error at " + std::to_string(c.error_at) + " block " +
                       std::to_string(block) + " limit " +
                       std::to_string(limit) +
                       (first_pieces_only ? " first pieces" : ""));
          MemoryFileIo fs;
          fs.add_file("in", input);
          fs.read_error_at = c.error_at;
          fs.read_error = c.error;
          ReadStatus status{};
          int error = 0;
          const auto got =
              read_all(fs, block, status, error, limit, first_pieces_only);
          // The line the error cuts short is not delivered whole; pieces of
          // it may have come before.
          if (first_pieces_only) {
            ASSERT_GE(got.size(), c.lines.size());
            expect_first_pieces(
                std::vector<ExpectedLine>(
                    got.begin(),
                    got.begin() + static_cast<std::ptrdiff_t>(c.lines.size())),
                c.lines, limit);
          } else {
            expect_lines(got, c.lines, limit);
          }
          EXPECT_EQ(status, ReadStatus::error);
          EXPECT_EQ(error, c.error);
        }
      }
    }
  }
}

// Random files of short and long lines with every kind of line end: the
// lines come out the same whatever the block size and read length.
TEST(LineReader, RandomFilesSplitAsExpected) {
  test::SeededRandom random(99);
  for (int file = 0; file < 60; ++file) {
    std::string input;
    std::vector<ExpectedLine> want;
    const std::uint64_t line_count = random.between(0, 30);
    for (std::uint64_t i = 0; i < line_count; ++i) {
      std::string text;
      const std::uint64_t size =
          random.between(0, random.chance(10) ? 9000 : 40);
      for (std::uint64_t k = 0; k < size; ++k) text += random.pick("0123 \r-x");
      const bool last = i + 1 == line_count;
      const bool newline = !last || random.chance(50);
      const bool crlf = newline && random.chance(40);
      input += text + (crlf ? "\r\n" : newline ? "\n" : "");
      if (!newline && text.empty()) continue;  // nothing after the last newline
      if (newline && !crlf && !text.empty() && text.back() == '\r') {
        text.pop_back();
      }
      want.push_back({text, newline});
    }
    for (const std::size_t block : BLOCK_SIZES) {
      const std::size_t limit = LIMITS[random.between(0, 3)];
      const bool first_pieces_only = random.chance(30);
      SCOPED_TRACE(random.seed_trace() + ", file " + std::to_string(file) +
                   ", block " + std::to_string(block) + ", limit " +
                   std::to_string(limit) +
                   (first_pieces_only ? ", first pieces" : ""));
      MemoryFileIo fs;
      fs.add_file("in", input);
      fs.max_read = random.chance(50) ? SIZE_MAX : random.between(1, 100);
      ReadStatus status{};
      int error = 0;
      const auto got =
          read_all(fs, block, status, error, limit, first_pieces_only);
      if (first_pieces_only) {
        expect_first_pieces(got, want, limit);
      } else {
        expect_lines(got, want, limit);
      }
      EXPECT_EQ(status, ReadStatus::end);
    }
  }
}

}  // namespace
}  // namespace tnx
