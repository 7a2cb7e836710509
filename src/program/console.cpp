// Writing the console text and reason lines out, and holding text to show
// later in memory or a scratch file.
#include "program/console.hpp"

#include <algorithm>

namespace tnx {

void Console::report(std::string_view name, std::string_view reason) {
  const auto append = [this](std::string_view piece) { errors_ += piece; };
  errors_ += "tarnovelix: ";
  add_name(name, append);
  errors_ += ": ";
  add_name(reason, append);
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
  if (used_ > 0) (void)write_all(io_, fd_, buffer_, used_);
  used_ = 0;
}

void write_console_text(FileIo& io, int fd, std::string_view text) {
  // Large texts with LF line ends go out as they are, without the copy.
  // cppcheck-suppress knownConditionTrueFalse
  if constexpr (LINE_END == "\n") {
    if (text.size() > 8192) {
      (void)write_all(io, fd, text.data(), text.size());
      return;
    }
  }
  ConsoleWriter writer(io, fd);
  writer.add(text);
}

CollectedText Console::take_text() {
  CollectedText taken;
  taken.io_ = &io_;
  taken.file_ = std::exchange(spill_file_, -1);
  taken.file_size_ = std::exchange(spilled_, 0);
  taken.memory_ = std::move(text_);
  text_.clear();
  return taken;
}

void Console::spill() {
  if (spill_failed_) return;
  if (spill_file_ < 0) {
    const IoResult made = io_.create_scratch();
    if (!made.ok()) {
      spill_failed_ = true;
      return;
    }
    spill_file_ = static_cast<int>(made.value);
  }
  if (!write_all(io_, spill_file_, text_.data(), text_.size()).ok()) {
    // What the failed write took cannot be told: the text stays in memory,
    // and the file holds what was spilled before.
    spill_failed_ = true;
    return;
  }
  spilled_ += text_.size();
  text_.clear();
}

int CollectedText::add_to(ConsoleWriter& out) const {
  char chunk[8192];
  for (std::uint64_t at = 0; at < file_size_;) {
    const auto size = static_cast<std::size_t>(
        std::min<std::uint64_t>(sizeof chunk, file_size_ - at));
    const IoResult r = read_fully_at(*io_, file_, chunk, size, at);
    if (!r.ok()) return r.error;
    out.add(std::string_view(chunk, size));
    at += size;
  }
  out.add(memory_);
  return 0;
}

void CollectedText::close() {
  if (file_ >= 0) (void)io_->close(file_);
  file_ = -1;
  file_size_ = 0;
}

void Console::write_text_out() {
  write_console_text(io_, text_fd_, text_);
  text_.clear();
}

void Console::write_out() {
  // The console text first: a failure's reason follows its message.
  write_text_out();
  write_console_text(io_, STDERR_FD, errors_);
  errors_.clear();
}

}  // namespace tnx
