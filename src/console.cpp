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

namespace {

void write_text(FileSystem& fs, int fd, const std::string& text) {
  if (text.empty()) return;
  if constexpr (LINE_END == "\n") {
    (void)write_all(fs, fd, text.data(), text.size());
  } else {
    std::string lines;
    lines.reserve(text.size() + text.size() / 16);
    for (const char c : text) {
      if (c == '\n') {
        lines += LINE_END;
      } else {
        lines += c;
      }
    }
    (void)write_all(fs, fd, lines.data(), lines.size());
  }
}

}  // namespace

void Console::write_text_out() {
  write_text(fs_, text_fd_, text_);
  text_.clear();
}

void Console::write_out() {
  // The console text first: a failure's reason follows its message.
  write_text_out();
  write_text(fs_, STDERR_FD, errors_);
  errors_.clear();
}

}  // namespace tnx
