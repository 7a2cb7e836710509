// The text a run shows its user: the console text (header echo, summaries,
// messages) for standard output, and one line per failure for standard
// error in the usual form "tarnovelix: NAME: REASON". Both are collected and
// written in few calls; failing to write them is not the run's failure,
// since the row file is what the run is for.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

#include "file_io.hpp"
#include "text_output.hpp"

namespace tnx {

// Text for a standard stream, gathered in a buffer of its own and written
// with the platform's line ends in few calls, without allocating: it also
// serves when memory has run out. Failures are not reported (see above).
class ConsoleWriter {
 public:
  ConsoleWriter(FileSystem& fs, int fd) : fs_(fs), fd_(fd) {}
  ConsoleWriter(const ConsoleWriter&) = delete;
  ConsoleWriter& operator=(const ConsoleWriter&) = delete;
  ~ConsoleWriter() { flush(); }

  void add(std::string_view text);
  void flush();
  // Whether what was added so far ends a line (or nothing was added).
  [[nodiscard]] bool at_line_start() const { return at_line_start_; }

 private:
  FileSystem& fs_;
  int fd_;
  char buffer_[8192];
  std::size_t used_ = 0;
  bool at_line_start_ = true;
};

// Writes `text` to `fd` through a ConsoleWriter.
void write_console_text(FileSystem& fs, int fd, std::string_view text);

class Console final : public TextOutput {
 public:
  // `live`: flush() writes the text out as the run goes (a single run),
  // and so does add() once LIVE_TEXT bytes are collected. Otherwise the
  // text stays collected until its owner takes it (a job of a batch, whose
  // files are shown in order).
  Console(FileSystem& fs, bool live) : fs_(fs), live_(live) {}
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;
  ~Console() { flush(); }

  // The console text still to be written, for the header pass to add to.
  std::string& text() { return text_; }
  [[nodiscard]] const std::string& errors() const { return errors_; }
  // Hand over what was collected; the console holds none of it after.
  [[nodiscard]] std::string take_text() { return std::move(text_); }
  [[nodiscard]] std::string take_errors() { return std::move(errors_); }
  // Where the console text goes: standard output, or standard error.
  [[nodiscard]] int text_fd() const { return text_fd_; }

  void print(std::string_view message) { text_ += message; }

  // The header pass's text. A live console writes it out as it grows, so
  // the echo of a long header line is never held whole.
  void add(std::string_view text) override {
    text_ += text;
    if (live_ && text_.size() >= LIVE_TEXT) write_text_out();
  }

  void print(std::string_view prefix, std::string_view name,
             std::string_view suffix = "\n") {
    text_ += prefix;
    text_ += name;
    text_ += suffix;
  }

  // Adds "tarnovelix: NAME: REASON" for standard error.
  void report(std::string_view name, std::string_view reason);

  // Adds lines that report() made for another console.
  void add_reasons(std::string_view lines) { errors_ += lines; }

  // From here on the console text goes to standard error: the rows go to
  // standard output.
  void use_standard_error() { text_fd_ = STDERR_FD; }

  // Writes out what was collected, when live.
  void flush();

  // Writes out what was collected, live or not, and empties it.
  void write_out();

  // The most console text a live console collects before writing it out.
  static constexpr std::size_t LIVE_TEXT = std::size_t{64} << 10;

 private:
  // Writes out the console text alone: the reasons follow the messages.
  void write_text_out();

  FileSystem& fs_;
  bool live_;
  int text_fd_ = STDOUT_FD;
  std::string text_;
  std::string errors_;
};

}  // namespace tnx
