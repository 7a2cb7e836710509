#include "line_reader.hpp"

#include <cstring>
#include <utility>

namespace tnx {

LineReader::LineReader(FileSystem& fs, int fd, std::size_t block_size,
                       InputBuffer buffer)
    : blocks_(fs, fd, block_size, std::move(buffer)) {}

ReadStatus LineReader::next(Line& line) {
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
    if (newline != nullptr || (at_end_ && first != last)) {
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
      return ReadStatus::line;
    }
    if (error_ != 0) return ReadStatus::error;
    if (at_end_) return ReadStatus::end;
    searched_ = static_cast<std::size_t>(last - first);
    IoResult r = blocks_.fill();
    if (!r.ok()) {
      error_ = r.error;
      return ReadStatus::error;
    }
    if (r.value == 0) at_end_ = true;
  }
}

}  // namespace tnx
