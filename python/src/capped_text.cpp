// Console text kept to the first bytes of each line, for Python's calls.
#include "capped_text.hpp"

#include <charconv>
#include <utility>

namespace tnx {

void CappedText::add(std::string_view text) {
  for (std::size_t end; (end = text.find('\n')) != std::string_view::npos;) {
    add_to_line(text.substr(0, end));
    end_line();
    text_ += '\n';
    text.remove_prefix(end + 1);
  }
  add_to_line(text);
}

void CappedText::add_to_line(std::string_view part) {
  if (line_size_ < LINE_KEPT) {
    const auto room = static_cast<std::size_t>(LINE_KEPT - line_size_);
    text_ += part.substr(0, room);
  }
  line_size_ += part.size();
  if (line_size_ > LINE_KEPT) left_out_ = line_size_ - LINE_KEPT;
}

void CappedText::end_line() {
  if (left_out_ != 0) {
    char digits[24];
    const char* end =
        std::to_chars(digits, digits + sizeof digits, left_out_).ptr;
    text_ += "[... ";
    text_.append(digits, static_cast<std::size_t>(end - digits));
    text_ += " more bytes]";
  }
  line_size_ = 0;
  left_out_ = 0;
}

std::string CappedText::take() {
  end_line();
  std::string taken = std::move(text_);
  text_.clear();
  return taken;
}

IoResult CappedScratchIo::write(int fd, const char* data, std::size_t size) {
  if (fd != SCRATCH_FD) return {0, EBADF};
  text_.add(std::string_view(data, size));
  return {static_cast<std::int64_t>(size), 0};
}

}  // namespace tnx
