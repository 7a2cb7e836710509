// The text a run shows its user: the console text (header echo, summaries,
// messages) for standard output, and one line per failure for standard
// error in the usual form "tarnovelix: NAME: REASON". Both are collected and
// written in few calls; failing to write them is not the run's failure,
// since the row file is what the run is for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "engine/file_io.hpp"
#include "engine/line_end.hpp"
#include "engine/text_output.hpp"

namespace tnx {

// add_name()
//
// Hands `add` the bytes of `name` as they go into a one-line message, a
// reason line or a heading: each C0 control byte (0x00 to 0x1f) and DEL as
// \xHH (as findings show the bytes of an input), so that a name can
// neither break the line nor reach a terminal as a control; every other
// byte as it is, backslashes and bytes above 0x7f (UTF-8 names) included.
// In pieces, without allocating, for writers that must not.
template <typename Add>
void add_name(std::string_view name, Add&& add) {
  static constexpr char hex[] = "0123456789abcdef";
  std::size_t plain = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto byte = static_cast<unsigned char>(name[i]);
    if (byte >= 0x20 && byte != 0x7f) continue;
    add(name.substr(plain, i - plain));
    const char escaped[] = {'\\', 'x', hex[byte >> 4], hex[byte & 15]};
    add(std::string_view(escaped, sizeof escaped));
    plain = i + 1;
  }
  add(name.substr(plain));
}

// Text for a standard stream, gathered in a buffer of its own and written
// with the platform's line ends in few calls, without allocating: it also
// serves when memory has run out. Failures are not reported (see above).
class ConsoleWriter {
 public:
  // The buffer is left uninitialised: only what add() puts there is read.
  // cppcheck-suppress uninitMemberVar
  ConsoleWriter(FileIo& io, int fd) : io_(io), fd_(fd) {}
  ConsoleWriter(const ConsoleWriter&) = delete;
  ConsoleWriter& operator=(const ConsoleWriter&) = delete;
  ~ConsoleWriter() { flush(); }

  void add(std::string_view text);
  // Adds `name` as add_name() gives it.
  void add_name(std::string_view name) {
    tnx::add_name(name, [this](std::string_view piece) { add(piece); });
  }
  void flush();
  // Whether what was added so far ends a line (or nothing was added).
  [[nodiscard]] bool at_line_start() const { return at_line_start_; }

 private:
  FileIo& io_;
  int fd_;
  char buffer_[8192];
  std::size_t used_ = 0;
  bool at_line_start_ = true;
};

// Writes `text` to `fd` through a ConsoleWriter.
void write_console_text(FileIo& io, int fd, std::string_view text);

// The console text a console collected, handed over to be shown later: in
// memory, or, past Console::SPILL_TEXT bytes, mostly in a scratch file of
// its own, so that many files waiting to be shown, each with the echo of a
// long header line, do not hold it all in memory. Owns the scratch file.
class CollectedText {
 public:
  CollectedText() = default;
  CollectedText(CollectedText&& other) noexcept
      : io_(other.io_),
        file_(std::exchange(other.file_, -1)),
        file_size_(std::exchange(other.file_size_, 0)),
        memory_(std::move(other.memory_)) {}
  CollectedText& operator=(CollectedText&& other) noexcept {
    if (this != &other) {
      close();
      io_ = other.io_;
      file_ = std::exchange(other.file_, -1);
      file_size_ = std::exchange(other.file_size_, 0);
      memory_ = std::move(other.memory_);
    }
    return *this;
  }
  CollectedText(const CollectedText&) = delete;
  CollectedText& operator=(const CollectedText&) = delete;
  ~CollectedText() { close(); }

  // Adds the whole text to `out`, the part in the file first. Returns 0,
  // or the errno value of a failed read of the file (the text is then cut
  // short there).
  [[nodiscard]] int add_to(ConsoleWriter& out) const;

  // The text in memory: all of it when nothing was spilled.
  [[nodiscard]] const std::string& memory() const { return memory_; }

 private:
  friend class Console;
  void close();

  FileIo* io_ = nullptr;
  // The scratch file and the bytes in it, or -1.
  int file_ = -1;
  std::uint64_t file_size_ = 0;
  // The text that comes after the file's.
  std::string memory_;
};

// How a console shows its text. `live`: flush() writes the text out as the
// run goes (a single run), and so does add() once LIVE_TEXT bytes are
// collected. `collect`: the text stays collected until its owner takes it
// (a job of a batch, whose files are shown in order).
enum class ConsoleMode { live, collect };

class Console final : public TextOutput {
 public:
  Console(FileIo& io, ConsoleMode mode)
      : io_(io), live_(mode == ConsoleMode::live) {}
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;
  ~Console() {
    flush();
    if (spill_file_ >= 0) (void)io_.close(spill_file_);
  }

  // The console text still to be written, for the header pass to add to.
  std::string& text() { return text_; }
  // Hand over what was collected; the console holds none of it after.
  [[nodiscard]] CollectedText take_text();
  [[nodiscard]] std::string take_errors() { return std::move(errors_); }
  // Where the console text goes: standard output, or standard error.
  [[nodiscard]] int text_fd() const { return text_fd_; }

  void print(std::string_view message) { text_ += message; }

  // The header pass's text. A live console writes it out as it grows, so
  // the echo of a long header line is never held whole; one that collects
  // its text moves it to a scratch file as it grows.
  void add(std::string_view text) override {
    text_ += text;
    if (text_.size() >= LIVE_TEXT) {
      if (live_) {
        write_text_out();
      } else {
        spill();
      }
    }
  }

  // Adds `prefix`, then `name` as add_name() gives it, then `suffix`.
  void print(std::string_view prefix, std::string_view name,
             std::string_view suffix = "\n") {
    text_ += prefix;
    add_name(name, [this](std::string_view piece) { text_ += piece; });
    text_ += suffix;
  }

  // Adds "tarnovelix: NAME: REASON" for standard error, the name and the
  // reason (which may hold a name) as add_name() gives them.
  void report(std::string_view name, std::string_view reason);

  // Adds lines that report() made for another console.
  void add_reasons(std::string_view lines) { errors_ += lines; }

  // From here on the console text goes to standard error: the rows go to
  // standard output, or standard output leads to the input.
  void use_standard_error() { text_fd_ = STDERR_FD; }

  // Whether the console writes its text out as the run goes, to the
  // standard streams themselves.
  [[nodiscard]] bool is_live() const { return live_; }

  // Drops what was collected, and writes nothing from here on: neither
  // standard stream may be written.
  void silence() {
    live_ = false;
    text_.clear();
    errors_.clear();
  }

  // Writes out what was collected, when live.
  void flush() override;

  // Writes out what was collected, live or not, and empties it.
  void write_out();

  // The most console text a console holds in memory before it writes it
  // out (live) or moves it to a scratch file (collecting).
  static constexpr std::size_t LIVE_TEXT = std::size_t{64} << 10;

 private:
  // Writes out the console text alone: the reasons follow the messages.
  void write_text_out();
  // Moves the text in memory to the scratch file, made at the first call.
  // Where no scratch file can be had, or a write to it fails, the text
  // stays in memory from then on.
  void spill();

  FileIo& io_;
  bool live_;
  int text_fd_ = STDOUT_FD;
  // The text not written out or spilled yet; it follows the spilled part.
  std::string text_;
  std::string errors_;
  int spill_file_ = -1;
  std::uint64_t spilled_ = 0;
  bool spill_failed_ = false;
};

}  // namespace tnx
