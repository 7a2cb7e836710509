#include "console.hpp"

namespace tnx {

void Console::report(std::string_view name, std::string_view reason) {
  errors_ += "tarnovelix: ";
  errors_ += name;
  errors_ += ": ";
  errors_ += reason;
  errors_ += '\n';
}

void Console::flush() {
  if (live_) write_out();
}

void ConsoleWriter::add(std::string_view text) {
  if (text.empty()) return;
  at_line_start_ = text.back() == '\n';
  for (const char c : text) {
    if (used_ + LINE_END.size() > sizeof buffer_) flush();
    if (c == '\n') {
      for (const char e : LINE_END) buffer_[used_++] = e;
    } else {
      buffer_[used_++] = c;
    }
  }
}

void ConsoleWriter::flush() {
  if (used_ > 0) (void)write_all(fs_, fd_, buffer_, used_);
  used_ = 0;
}

void write_console_text(FileSystem& fs, int fd, std::string_view text) {
  // Large texts with LF line ends go out as they are, without the copy.
  if (LINE_END == "\n" && text.size() > 8192) {
    (void)write_all(fs, fd, text.data(), text.size());
    return;
  }
  ConsoleWriter writer(fs, fd);
  writer.add(text);
}

void Console::write_text_out() {
  write_console_text(fs_, text_fd_, text_);
  text_.clear();
}

void Console::write_out() {
  // The console text first: a failure's reason follows its message.
  write_text_out();
  write_console_text(fs_, STDERR_FD, errors_);
  errors_.clear();
}

}  // namespace tnx
