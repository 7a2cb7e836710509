// A TextOutput that collects the text in a string, for the tests to compare.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "engine/text_output.hpp"

namespace tnx::test {

class StringOutput final : public TextOutput {
 public:
  explicit StringOutput(std::string text = {}) : text_(std::move(text)) {}
  void add(std::string_view text) override { text_ += text; }
  void flush() override {}
  [[nodiscard]] const std::string& text() const { return text_; }

 private:
  std::string text_;
};

}  // namespace tnx::test
