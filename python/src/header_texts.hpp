// The header's comment lines and its dropped line as a read keeps them for
// Python: each cut after CappedText::LINE_KEPT bytes with the console's
// marker, so a line as long as the input costs no more than that.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "capped_text.hpp"
#include "engine/limits.hpp"
#include "engine/passes.hpp"

namespace tnx {

class KeptHeaderTexts final : public HeaderTextSink {
 public:
  void add(std::uint64_t number, std::string_view piece, bool last) override {
    line_.add(piece);
    if (!last) return;
    std::string text = line_.take();
    if (number == HEADER_LINES + 1) {
      dropped_ = std::move(text);
      has_dropped_ = true;
    } else {
      comments_.push_back(std::move(text));
    }
  }

  // The comment lines, in order.
  [[nodiscard]] const std::vector<std::string>& comments() const {
    return comments_;
  }
  // Whether the input had a dropped line, and its text.
  [[nodiscard]] bool has_dropped() const { return has_dropped_; }
  [[nodiscard]] const std::string& dropped() const { return dropped_; }

 private:
  // The line being read; its pieces never hold a line end.
  CappedText line_;
  std::vector<std::string> comments_;
  std::string dropped_;
  bool has_dropped_ = false;
};

}  // namespace tnx
