// The console text of a Python call, kept to the first LINE_KEPT bytes of
// each line. The echo of a header line is as long as the line, which may be
// as long as the input; Python holds the text for as long as the result
// lives, twice over (as bytes, then as str), so a call would need memory
// in proportion to its input. The command line writes the same text out as
// it goes, and needs none.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/file_io.hpp"
#include "engine/text_output.hpp"

namespace tnx {

// Text collected in pieces, each line cut after LINE_KEPT bytes: a line cut
// short ends with the marker "[... N more bytes]", N the bytes left out
// (its line end not counted). A line of LINE_KEPT bytes or fewer is kept as
// it is, so a line longer than LINE_KEPT is always one that was cut.
class CappedText {
 public:
  static constexpr std::size_t LINE_KEPT = std::size_t{64} << 10;

  // Appends `text` to what was added before.
  void add(std::string_view text);
  // The text collected, the marker added to a last line cut short; empty
  // after.
  [[nodiscard]] std::string take();

 private:
  void add_to_line(std::string_view part);
  void end_line();

  std::string text_;
  // The bytes of the current line so far, and those of them left out.
  std::uint64_t line_size_ = 0;
  std::uint64_t left_out_ = 0;
};

// A CappedText as the header pass's TextOutput: what read() collects.
class CappedTextOutput final : public TextOutput {
 public:
  explicit CappedTextOutput(CappedText& text) : text_(text) {}
  void add(std::string_view text) override { text_.add(text); }
  void flush() override {}

 private:
  CappedText& text_;
};

// The FileIo of a Console that collects its text for convert(): its
// scratch file, where the Console moves its text once LIVE_TEXT bytes are
// held, is a CappedText. It has no other file.
class CappedScratchIo final : public FileIo {
 public:
  explicit CappedScratchIo(CappedText& text) : text_(text) {}

  IoResult create_scratch() override { return {SCRATCH_FD, 0}; }
  IoResult read(int /*fd*/, char* /*buffer*/, std::size_t /*size*/) override {
    return {0, EBADF};
  }
  IoResult read_at(int /*fd*/, char* /*buffer*/, std::size_t /*size*/,
                   std::uint64_t /*offset*/) override {
    return {0, EBADF};
  }
  IoResult write(int fd, const char* data, std::size_t size) override;
  IoResult close(int /*fd*/) override { return {0, 0}; }

 private:
  // Not a descriptor of the process: only this FileIo knows it.
  static constexpr int SCRATCH_FD = 1 << 30;

  CappedText& text_;
};

}  // namespace tnx
