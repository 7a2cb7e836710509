// A text copied into an allocation of exactly its size, for the scanners to
// read through [first(), last()): a read past `last` is a read past the end
// of the allocation, which AddressSanitizer reports. (An empty text still
// gets one byte, which no scan may read either.)
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <string_view>

namespace tnx::test {

class ExactText {
 public:
  explicit ExactText(std::string_view text)
      : bytes_(new char[std::max<std::size_t>(text.size(), 1)]),
        size_(text.size()) {
    text.copy(bytes_.get(), text.size());
  }

  [[nodiscard]] const char* first() const { return bytes_.get(); }
  [[nodiscard]] const char* last() const { return bytes_.get() + size_; }

 private:
  std::unique_ptr<char[]> bytes_;
  std::size_t size_;
};

}  // namespace tnx::test
