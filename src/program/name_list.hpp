// A list of file names.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tnx {

// File names in the order given, kept in one block of text: a batch may
// name a hundred thousand files, and a string for each would add its own
// bookkeeping and allocation to every name.
class NameList {
 public:
  // Room for `names` names of `bytes` bytes in all, so the list is built
  // without growing.
  void reserve(std::size_t names, std::size_t bytes);
  void add(std::string_view name);

  [[nodiscard]] std::size_t size() const { return starts_.size(); }
  [[nodiscard]] bool empty() const { return starts_.empty(); }
  // The i-th name, NUL-terminated; valid until the next add().
  [[nodiscard]] const char* c_str(std::size_t i) const {
    return text_.data() + starts_[i];
  }
  [[nodiscard]] std::string_view operator[](std::size_t i) const;

 private:
  // Each name followed by a NUL.
  std::string text_;
  std::vector<std::size_t> starts_;
};

}  // namespace tnx
