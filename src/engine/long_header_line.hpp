// A header line too long for the input buffer, taken piece by piece: its
// echo is handed on as it comes and its numbers are compacted (see
// long_line_numbers.hpp), with the very result handle_header_line() gives
// the whole line.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "engine/column_tables.hpp"
#include "engine/file_io.hpp"
#include "engine/line_reader.hpp"
#include "engine/long_line_numbers.hpp"
#include "engine/text_output.hpp"

namespace tnx {

// The input, to be read again by offset: how the echo of a line's first
// word too long to hold is made. `fd` is -1 when the input cannot be read
// again (a pipe, or standard input, whose offset at the start is unknown):
// the word is then kept in a scratch file of `io`. With `io` null too, it
// is held in memory whatever its length.
struct InputAgain {
  FileIo* io = nullptr;
  int fd = -1;
};

// The first word of a header line in pieces, kept for its echo: in memory
// up to `hold` bytes; a longer one is read again from the input, or, when
// the input cannot be read again, kept in a scratch file (in memory when
// there is none).
class HeldWord {
 public:
  // `line_offset`: the offset in the input of the line's first byte.
  HeldWord(InputAgain input, std::uint64_t line_offset, std::size_t hold)
      : input_(input), line_offset_(line_offset), hold_(hold) {}
  HeldWord(const HeldWord&) = delete;
  HeldWord& operator=(const HeldWord&) = delete;
  ~HeldWord();

  // Adds the word's next bytes [first, last).
  void add(const char* first, const char* last);

  // write()
  //
  // Hands `console` the bytes [from, to) of the line, within the word
  // that starts at `begin` (offsets in the line). Returns 0 or the errno
  // value of a failed read or of an earlier failed write to the scratch
  // file.
  [[nodiscard]] int write(std::uint64_t begin, std::uint64_t from,
                          std::uint64_t to, TextOutput& console) const;

  // Gives back the memory of a word no longer needed.
  void release() { std::string().swap(word_); }

 private:
  // Moves the word held so far to a scratch file and adds [first, last)
  // there; false, with the word still in memory, when that fails.
  bool keep_in_scratch(const char* first, const char* last);

  InputAgain input_;
  std::uint64_t line_offset_;
  std::size_t hold_;
  // The word's bytes so far, while held_.
  std::string word_;
  bool held_ = true;
  // The scratch file that keeps the word from its first byte on, or -1;
  // and the errno value of a failed write to it, which fails the echo.
  int scratch_ = -1;
  int scratch_error_ = 0;
};

// The first word of a header line that comes in pieces, and its first s,
// found piece by piece: the word is held (see HeldWord) until both are
// known and the echo's head can be written.
class FirstWordAndAnchor {
 public:
  // `line_offset`: the offset in the input of the line's first byte.
  FirstWordAndAnchor(InputAgain input, std::uint64_t line_offset,
                     std::size_t hold)
      : word_(input, line_offset, hold) {}

  // The next piece of the line: its bytes, and where it starts in the line.
  void start_piece(const char* text, std::uint64_t offset) {
    piece_text_ = text;
    piece_offset_ = offset;
  }

  // Finds the first word and the first s in [p, end) of the piece; returns
  // where the echo goes on when both are known, `end` otherwise.
  const char* find(const char* p, const char* end);

  // The line's text ended at `end`, which ends a word still going on.
  void text_ended(const char* end) {
    if (word_begin_ != NOWHERE && word_end_ == NOWHERE) word_end_ = at(end);
  }

  [[nodiscard]] bool has_anchor() const { return anchor_ != NOWHERE; }
  [[nodiscard]] bool found() const {
    return anchor_ != NOWHERE && word_end_ != NOWHERE;
  }

  // write_head()
  //
  // Once found(): hands `console` the first word, ":" and the part of the
  // word after the first s, and lets the word go. Returns 0 or the errno
  // value of a failed read.
  [[nodiscard]] int write_head(TextOutput& console);

  // The keyword the first word is, if any.
  [[nodiscard]] HeaderKeyword keyword() const;

 private:
  // The offset in the line of the byte `p` of the current piece.
  [[nodiscard]] std::uint64_t at(const char* p) const {
    return piece_offset_ + static_cast<std::uint64_t>(p - piece_text_);
  }
  void hold_word(const char* first, const char* last);

  // Where the current piece starts in the line, and its bytes.
  std::uint64_t piece_offset_ = 0;
  const char* piece_text_ = nullptr;
  // Offsets in the line of the first word, [word_begin_, word_end_), and
  // of the first s; NOWHERE until found.
  static constexpr std::uint64_t NOWHERE = UINT64_MAX;
  std::uint64_t word_begin_ = NOWHERE;
  std::uint64_t word_end_ = NOWHERE;
  std::uint64_t anchor_ = NOWHERE;
  // The first word, and its first bytes always, to tell a keyword.
  HeldWord word_;
  std::array<char, 6> word_start_{};
};

// A header line that comes in pieces, handled exactly as
// handle_header_line() handles the whole line.
// The echo needs the first word before the text after the first s, which
// may lie within that word: the word is kept (see FirstWordAndAnchor)
// until both are known.
class LongHeaderLine {
 public:
  // `line_offset`: the offset in the input of the line's first byte.
  LongHeaderLine(ColumnTables& tables, TextOutput& console, InputAgain input,
                 std::uint64_t line_offset, std::size_t hold);
  LongHeaderLine(const LongHeaderLine&) = delete;
  LongHeaderLine& operator=(const LongHeaderLine&) = delete;
  ~LongHeaderLine() = default;

  // add()
  //
  // Takes the next piece of the line, in order; `last` for the line's last
  // piece, whose has_newline tells how the line ends. Returns 0, or the
  // errno value of a failed read of the input again (the echo is then cut
  // short).
  [[nodiscard]] int add(const Line& piece, bool last);

  // Whether no later piece can change anything: after the last piece or
  // the line's NUL, and for a line passed over.
  [[nodiscard]] bool done() const { return phase_ == Phase::done; }

 private:
  enum class Phase {
    first_byte,  // nothing seen yet
    word,        // looking for the first word and the first s
    echo,        // the echo's head is out; the rest of the text follows
    done,
  };
  // Writes "\n" and the echo's head, and opens the numbers after a
  // keyword. Returns 0 or the errno value of a failed read.
  int start_echo();
  void echo(const char* first, const char* last);
  void finish(bool newline);

  ColumnTables& tables_;
  TextOutput& console_;
  Phase phase_ = Phase::first_byte;
  // Where the current piece starts in the line.
  std::uint64_t piece_offset_ = 0;
  FirstWordAndAnchor head_;
  HeaderKeyword keyword_ = HeaderKeyword::none;
  // The numbers after a keyword, while they may still change the scan.
  std::optional<NumberCompactor> numbers_;
  bool numbers_open_ = false;
};

}  // namespace tnx
