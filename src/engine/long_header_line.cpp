// A header line in pieces: its first word held or read again for the echo,
// its numbers compacted for the summary.
#include "engine/long_header_line.hpp"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "engine/header.hpp"
#include "engine/number_scan.hpp"

namespace tnx {

HeldWord::~HeldWord() {
  if (scratch_ >= 0) (void)input_.io->close(scratch_);
}

void HeldWord::add(const char* first, const char* last) {
  const auto size = static_cast<std::size_t>(last - first);
  if (!held_) {
    if (scratch_ >= 0 && scratch_error_ == 0) {
      const IoResult r = write_all(*input_.io, scratch_, first, size);
      if (!r.ok()) scratch_error_ = r.error;
    }
    return;
  }
  if (input_.io != nullptr && word_.size() + size > hold_) {
    if (input_.fd >= 0) {
      // Read again when the echo needs it.
      held_ = false;
      release();
      return;
    }
    if (keep_in_scratch(first, last)) return;
  }
  word_.append(first, size);
}

bool HeldWord::keep_in_scratch(const char* first, const char* last) {
  const IoResult made = input_.io->create_scratch();
  if (!made.ok()) return false;
  scratch_ = static_cast<int>(made.value);
  if (!write_all(*input_.io, scratch_, word_.data(), word_.size()).ok() ||
      !write_all(*input_.io, scratch_, first,
                 static_cast<std::size_t>(last - first))
           .ok()) {
    (void)input_.io->close(scratch_);
    scratch_ = -1;
    return false;
  }
  held_ = false;
  release();
  return true;
}

int HeldWord::write(std::uint64_t begin, std::uint64_t from, std::uint64_t to,
                    TextOutput& console) const {
  if (held_) {
    console.add(
        std::string_view(word_).substr(static_cast<std::size_t>(from - begin),
                                       static_cast<std::size_t>(to - from)));
    return 0;
  }
  if (scratch_error_ != 0) return scratch_error_;
  // From the scratch file, which starts at the word; or from the input.
  const bool scratch = scratch_ >= 0;
  std::array<char, 4096> chunk;
  while (from < to) {
    const auto size = static_cast<std::size_t>(
        std::min<std::uint64_t>(chunk.size(), to - from));
    const IoResult r =
        read_fully_at(*input_.io, scratch ? scratch_ : input_.fd, chunk.data(),
                      size, scratch ? from - begin : line_offset_ + from);
    if (!r.ok()) return r.error;
    console.add(std::string_view(chunk.data(), size));
    from += size;
  }
  return 0;
}

const char* FirstWordAndAnchor::find(const char* p, const char* end) {
  while (p != end) {
    if (word_begin_ == NOWHERE) {
      while (p != end && is_space(*p)) ++p;
      if (p == end) break;
      word_begin_ = at(p);
    }
    if (word_end_ == NOWHERE) {
      const char* word_last = p;
      while (word_last != end && !is_space(*word_last)) ++word_last;
      const auto size = static_cast<std::size_t>(word_last - p);
      if (anchor_ == NOWHERE) {
        if (const auto* s =
                static_cast<const char*>(std::memchr(p, 's', size))) {
          anchor_ = at(s);
        }
      }
      hold_word(p, word_last);
      p = word_last;
      if (p == end) break;
      word_end_ = at(p);
    } else {
      const auto* s = static_cast<const char*>(
          std::memchr(p, 's', static_cast<std::size_t>(end - p)));
      if (s == nullptr) return end;
      anchor_ = at(s);
      p = s + 1;
    }
    // The echo's head is known: the rest of the text is its tail.
    if (anchor_ != NOWHERE) return p;
  }
  return p;
}

void FirstWordAndAnchor::hold_word(const char* first, const char* last) {
  const auto size = static_cast<std::size_t>(last - first);
  const std::size_t held = static_cast<std::size_t>(at(first) - word_begin_);
  if (held < word_start_.size()) {
    std::copy_n(first, std::min(size, word_start_.size() - held),
                word_start_.begin() + static_cast<std::ptrdiff_t>(held));
  }
  word_.add(first, last);
}

int FirstWordAndAnchor::write_head(TextOutput& console) {
  if (const int error =
          word_.write(word_begin_, word_begin_, word_end_, console);
      error != 0) {
    return error;
  }
  console.add(":");
  // The tail may start within the word.
  if (anchor_ + 1 < word_end_) {
    if (const int error =
            word_.write(word_begin_, anchor_ + 1, word_end_, console);
        error != 0) {
      return error;
    }
  }
  word_.release();
  return 0;
}

HeaderKeyword FirstWordAndAnchor::keyword() const {
  if (word_end_ - word_begin_ != word_start_.size()) return HeaderKeyword::none;
  return keyword_of(std::string_view(word_start_.data(), word_start_.size()));
}

LongHeaderLine::LongHeaderLine(ColumnTables& tables, TextOutput& console,
                               InputAgain input, std::uint64_t line_offset,
                               std::size_t hold)
    : tables_(tables), console_(console), head_(input, line_offset, hold) {}

int LongHeaderLine::add(const Line& piece, bool last) {
  head_.start_piece(piece.text, piece_offset_);
  const char* p = piece.text;
  // A NUL ends the text; nothing after it counts.
  const auto* nul =
      static_cast<const char*>(std::memchr(piece.text, '\0', piece.size));
  const char* end = nul != nullptr ? nul : piece.text + piece.size;
  const bool text_ends = nul != nullptr || last;

  if (phase_ == Phase::first_byte) {
    if (p == end) {
      if (text_ends) phase_ = Phase::done;  // an empty text
    } else {
      phase_ = *p == '#' ? Phase::done : Phase::word;
    }
  }
  if (phase_ == Phase::word) {
    p = head_.find(p, end);
    if (phase_ == Phase::word && text_ends) {
      head_.text_ended(end);
      // Without an s the line is passed over.
      if (!head_.has_anchor()) phase_ = Phase::done;
    }
    if (phase_ == Phase::word && head_.found()) {
      if (const int error = start_echo(); error != 0) return error;
    }
  }
  if (phase_ == Phase::echo) {
    echo(p, end);
    if (text_ends) finish(last && piece.has_newline && nul == nullptr);
  }
  piece_offset_ += piece.size;
  return 0;
}

int LongHeaderLine::start_echo() {
  console_.add("\n");
  if (const int error = head_.write_head(console_); error != 0) return error;
  keyword_ = head_.keyword();
  // For both keywords the first s is the word's last letter, so the
  // numbers are everything echoed from here on.
  if (keyword_ != HeaderKeyword::none) {
    numbers_.emplace(keyword_ == HeaderKeyword::points ? NumberKind::real
                                                       : NumberKind::integer,
                     MAX_COLUMNS);
    numbers_open_ = true;
  }
  phase_ = Phase::echo;
  return 0;
}

void LongHeaderLine::echo(const char* first, const char* last) {
  if (first == last) return;
  console_.add(std::string_view(first, static_cast<std::size_t>(last - first)));
  if (numbers_open_) numbers_open_ = numbers_->add(first, last);
}

void LongHeaderLine::finish(bool newline) {
  if (newline) console_.add("\n");
  if (keyword_ != HeaderKeyword::none) {
    const Line numbers = numbers_->finish();
    summarize(keyword_, numbers.text, numbers.text + numbers.size, tables_,
              console_);
  }
  phase_ = Phase::done;
}

}  // namespace tnx
