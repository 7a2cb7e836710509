// A Line as the line reader hands it out: the text, a NUL written over the
// line end, then LINE_PADDING readable bytes. The padding holds digits, so a
// scanner that looks past the NUL and uses what it sees there shows up as a
// wrong result, and nothing after the padding is allocated, so a read beyond
// it shows up under AddressSanitizer.
#pragma once

#include <algorithm>
#include <memory>
#include <string_view>

#include "engine/limits.hpp"
#include "engine/line_reader.hpp"

namespace tnx::test {

class PaddedLine {
 public:
  explicit PaddedLine(std::string_view text, bool has_newline = true,
                      char padding = '7')
      : bytes_(new char[text.size() + 1 + LINE_PADDING]) {
    std::fill_n(bytes_.get() + text.size() + 1, LINE_PADDING, padding);
    text.copy(bytes_.get(), text.size());
    bytes_[text.size()] = '\0';
    line_.text = bytes_.get();
    line_.size = text.size();
    line_.has_newline = has_newline;
  }

  [[nodiscard]] const Line& line() const { return line_; }

 private:
  std::unique_ptr<char[]> bytes_;
  Line line_;
};

}  // namespace tnx::test
