// Where the console text of a conversion goes as it is made: the header
// pass hands on its echo and summaries piece by piece, so the echo of a
// header line of any length never needs to be held whole.
#pragma once

#include <string_view>

namespace tnx {

class TextOutput {
 public:
  // Appends `text` to what was handed on before.
  virtual void add(std::string_view text) = 0;
  // The header pass is over: what was handed on may be shown now, before
  // the rows are converted.
  virtual void flush() = 0;

 protected:
  TextOutput() = default;
  TextOutput(const TextOutput&) = default;
  TextOutput& operator=(const TextOutput&) = default;
  ~TextOutput() = default;
};

}  // namespace tnx
