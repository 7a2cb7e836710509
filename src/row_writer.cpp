#include "row_writer.hpp"

#include <algorithm>
#include <cstdio>
#include <new>

#include "output_thread.hpp"

namespace tnx {
namespace {

// Two digits per table entry halve the divisions of a formatted integer.
constexpr std::array<char, 200> DIGIT_PAIRS = [] {
  std::array<char, 200> pairs{};
  for (std::size_t i = 0; i < 100; ++i) {
    pairs[2 * i] = static_cast<char>('0' + i / 10);
    pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return pairs;
}();

std::size_t count_digits(std::uint32_t value) noexcept {
  std::size_t n = 1;
  for (std::uint32_t v = value; v >= 10; v /= 10) ++n;
  return n;
}

}  // namespace

char* append_u32(char* out, std::uint32_t value) noexcept {
  const std::size_t size = count_digits(value);
  char* p = out + size;
  while (value >= 100) {
    const std::size_t pair = 2 * static_cast<std::size_t>(value % 100);
    value /= 100;
    p -= 2;
    p[0] = DIGIT_PAIRS[pair];
    p[1] = DIGIT_PAIRS[pair + 1];
  }
  if (value >= 10) {
    const std::size_t pair = 2 * std::size_t{value};
    p -= 2;
    p[0] = DIGIT_PAIRS[pair];
    p[1] = DIGIT_PAIRS[pair + 1];
  } else {
    *--p = static_cast<char>('0' + value);
  }
  return out + size;
}

LabelField format_label_field(std::int32_t label) noexcept {
  // The digits go backwards into a run of blanks, so the padding of "%4d"
  // is already in place: the field is the last max(4, width) characters
  // before the closing blank. Fixed-size fills and copies compile to a few
  // stores, where sized ones would call the library once per data line.
  char text[32];
  std::memset(text, ' ', sizeof text);
  char* const end = text + 16;
  char* p = end;
  // The magnitude of INT32_MIN only fits unsigned.
  std::uint32_t magnitude = label < 0 ? 0u - static_cast<std::uint32_t>(label)
                                      : static_cast<std::uint32_t>(label);
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (label < 0) *--p = '-';
  const char* const first = std::min<const char*>(p, end - 4);
  LabelField field;
  std::memcpy(field.bytes.data(), first, field.bytes.size());
  field.size = static_cast<std::size_t>(end + 1 - first);
  return field;
}

ColumnTexts::ColumnTexts(const ColumnTables& tables) {
  std::size_t longest = 0;
  for (std::size_t j = 0; j < MAX_COLUMNS; ++j) {
    char text[MAX_COLUMN_TEXT + 1];
    const int size = std::snprintf(text, sizeof text, "%.3f %u ",
                                   tables.points[j], tables.events[j]);
    const auto n = static_cast<std::size_t>(std::max(size, 0));
    sizes_[j] = n;
    if (n <= SHORT_COLUMN_TEXT) {
      std::memcpy(short_[j].data(), text, n);
    } else {
      long_offsets_[j] = long_.size();
      long_.append(text, n);
    }
    longest = std::max(longest, n);
  }
  max_row_bytes_ = MAX_LABEL_FIELD + longest + MAX_VALUE_TEXT + ROW_END.size();
}

RowWriter::RowWriter(FileSystem& fs, int fd, std::size_t capacity,
                     Writing writing)
    : fs_(fs), fd_(fd) {
  const std::size_t least = MAX_COLUMNS * MAX_ROW_BYTES;
  // Half the capacity per buffer, in as many buffers as blocks may wait in
  // line plus the one filling: twice the memory of one buffer, in blocks
  // small enough that the line rarely runs dry.
  if (writing != Writing::in_background ||
      !start_background(std::max(capacity / 2, least))) {
    buffer_.resize(std::max(capacity, least) + ROW_OVERWRITE);
  }
  capacity_ = buffer_.size() - ROW_OVERWRITE;
}

bool RowWriter::start_background(std::size_t capacity) {
  // Under a memory limit (ulimit -v counts the thread's stack too) the
  // buffers or the thread may not be had; the rows are then written by the
  // converting thread, as to a device, rather than the run failing.
  try {
    buffer_.resize(capacity + ROW_OVERWRITE);
    spares_.assign(OutputThread::MAX_QUEUED, std::vector<char>(buffer_.size()));
  } catch (const std::bad_alloc&) {
    spares_ = {};
    return false;
  }
  thread_ = OutputThread::start(fs_, fd_);
  if (thread_ == nullptr) spares_ = {};
  return thread_ != nullptr;
}

RowWriter::~RowWriter() = default;

bool RowWriter::flush() {
  if (thread_ != nullptr) {
    hand_over();
    note_error(thread_->wait());
    return error_ == 0;
  }
  if (used_ > 0 && error_ == 0) {
    const IoResult r = write_all(fs_, fd_, buffer_.data(), used_);
    if (!r.ok()) error_ = r.error;
  }
  used_ = 0;
  return error_ == 0;
}

// Puts the filled buffer in the thread's line and goes on with the oldest
// spare: MAX_QUEUED hand-overs have passed since it was handed over, so
// write() has seen it written before it returns.
void RowWriter::hand_over() {
  if (used_ > 0) {
    note_error(thread_->write(buffer_.data(), used_));
    buffer_.swap(spares_[next_spare_]);
    next_spare_ = (next_spare_ + 1) % spares_.size();
    capacity_ = buffer_.size() - ROW_OVERWRITE;
  }
  used_ = 0;
}

void RowWriter::make_room(std::size_t bytes) {
  if (thread_ != nullptr) {
    hand_over();
  } else {
    (void)flush();
  }
  if (capacity_ < bytes) {
    capacity_ = bytes;
    buffer_.resize(capacity_ + ROW_OVERWRITE);
  }
}

}  // namespace tnx
