// Cutting the input into lines, and a line too long into pieces.
#include "engine/line_reader.hpp"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <utility>

namespace tnx {

LineReader::LineReader(FileIo& io, int fd, std::size_t block_size,
                       InputBuffer buffer, std::size_t line_limit)
    : blocks_(io, fd, block_size, std::move(buffer),
              std::max<std::size_t>(line_limit, 1) + LINE_END_BYTES),
      line_limit_(std::max<std::size_t>(line_limit, 1)) {}

ReadStatus LineReader::next(Line& line) {
  assert(!in_line_);
  return deliver<false>(line);
}

ReadStatus LineReader::next_piece(Line& line) { return deliver<true>(line); }

bool LineReader::fill(std::size_t most_held) {
  IoResult r = blocks_.fill(most_held);
  if (!r.ok()) {
    error_ = r.error;
    return false;
  }
  if (r.value == 0) at_end_ = true;
  return true;
}

bool LineReader::pass_over_rest_of_line() {
  for (;;) {
    char* first = blocks_.begin();
    char* last = blocks_.end();
    auto* newline =
        first == last
            ? nullptr
            : static_cast<char*>(std::memchr(
                  first, '\n', static_cast<std::size_t>(last - first)));
    if (newline != nullptr) {
      blocks_.consume_to(newline + 1);
      break;
    }
    blocks_.consume_to(last);
    if (error_ != 0 || at_end_ || !fill(line_limit_ + LINE_END_BYTES)) break;
  }
  searched_ = 0;
  in_line_ = false;
  return error_ == 0;
}

template <bool continuing>
ReadStatus LineReader::deliver(Line& line) {
  for (;;) {
    char* first = blocks_.begin();
    char* last = blocks_.end();
    char* search_from = first + searched_;
    // An empty range is not searched: before the first block, or when the
    // block reader could not get its buffer at all, it starts at null.
    auto* newline = search_from == last
                        ? nullptr
                        : static_cast<char*>(std::memchr(
                              search_from, '\n',
                              static_cast<std::size_t>(last - search_from)));
    // At the end of the input the bytes left are the last line, or the
    // last piece of one, which may be empty. No more bytes are held than
    // the line limit and its line end (see below), so a line whose newline
    // is found is never longer than the limit.
    if (newline != nullptr ||
        (at_end_ && (first != last || continuing) &&
         static_cast<std::size_t>(last - first) <= line_limit_)) {
      char* text_end = newline != nullptr ? newline : last;
      if (newline != nullptr && text_end > first && text_end[-1] == '\r') {
        --text_end;
      }
      // The NUL lets scanners stop at the end of the text without comparing
      // pointers on every byte; for a last line without newline it lands in
      // the buffer's padding.
      *text_end = '\0';
      line.text = first;
      line.size = static_cast<std::size_t>(text_end - first);
      line.has_newline = newline != nullptr;
      blocks_.consume_to(newline != nullptr ? newline + 1 : last);
      searched_ = 0;
      if constexpr (continuing) in_line_ = false;
      return ReadStatus::line;
    }
    if (error_ != 0) return ReadStatus::error;
    const auto held = static_cast<std::size_t>(last - first);
    // Up to the limit and one byte more are held, the room of a LF; when
    // that byte is a CR, one more tells whether it starts a CR LF.
    const bool cr_last = held != 0 && last[-1] == '\r';
    const bool cr_at_limit = held == line_limit_ + 1 && cr_last && !at_end_;
    if (held > line_limit_ && !cr_at_limit) {
      // A line longer than the limit: what is held goes on as a piece,
      // but a CR at its end may be the first half of a CR LF line end, so
      // it waits for the byte after it. At least two bytes are held, so
      // the piece is never empty.
      char* piece_end = cr_last ? last - 1 : last;
      line.text = first;
      line.size = static_cast<std::size_t>(piece_end - first);
      line.has_newline = false;
      blocks_.consume_to(piece_end);
      searched_ = static_cast<std::size_t>(last - piece_end);
      in_line_ = true;
      return ReadStatus::piece;
    }
    if (at_end_) return ReadStatus::end;
    searched_ = held;
    if (!fill(line_limit_ + (cr_at_limit ? LINE_END_BYTES : 1))) {
      return ReadStatus::error;
    }
  }
}

}  // namespace tnx
