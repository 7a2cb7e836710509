// A list of file names held in one buffer.
#include "program/name_list.hpp"

namespace tnx {

void NameList::reserve(std::size_t names, std::size_t bytes) {
  starts_.reserve(names);
  text_.reserve(bytes);
}

void NameList::add(std::string_view name) {
  starts_.push_back(text_.size());
  text_.append(name);
  text_.push_back('\0');
}

std::string_view NameList::operator[](std::size_t i) const {
  const std::size_t end =
      i + 1 < starts_.size() ? starts_[i + 1] - 1 : text_.size() - 1;
  return std::string_view(text_).substr(starts_[i], end - starts_[i]);
}

}  // namespace tnx
