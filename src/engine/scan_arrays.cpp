#include "engine/scan_arrays.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "engine/data_line.hpp"
#include "engine/scan_passes.hpp"

namespace tnx {
namespace {

// The console text, kept whole.
class TextCollector final : public TextOutput {
 public:
  explicit TextCollector(std::string& text) : text_(text) {}
  void add(std::string_view text) override { text_ += text; }
  void flush() override {}

 private:
  std::string& text_;
};

// Up to `capacity` rows of the data pass: label, column and value.
struct RowChunk {
  HeapArray<std::int32_t> label;
  HeapArray<std::uint8_t> column;
  HeapArray<std::uint32_t> value;
  std::size_t capacity = 0;
  std::size_t size = 0;

  [[nodiscard]] static RowChunk allocate(std::size_t capacity) noexcept {
    RowChunk chunk{HeapArray<std::int32_t>::allocate(capacity),
                   HeapArray<std::uint8_t>::allocate(capacity),
                   HeapArray<std::uint32_t>::allocate(capacity), capacity, 0};
    if (chunk.label.empty() || chunk.column.empty() || chunk.value.empty()) {
      return {};
    }
    return chunk;
  }
};

// The rows of one data line, stored from the given positions of a chunk
// with room for `limit` rows.
class NumberRows {
 public:
  NumberRows(std::int32_t* labels, std::uint8_t* columns, std::uint32_t* values,
             std::int32_t label, int limit) noexcept
      : labels_(labels),
        columns_(columns),
        values_(values),
        label_(label),
        limit_(limit) {}

  [[nodiscard]] int count() const noexcept { return column_; }
  [[nodiscard]] bool full() const noexcept { return column_ == limit_; }

  // `n` canonical digits: at most ten, within 32 bits.
  [[gnu::always_inline]] void append_digits(const char* digits,
                                            std::size_t n) noexcept {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < n; ++i) {
      value = value * 10 + static_cast<std::uint32_t>(digits[i] - '0');
    }
    append_value(value);
  }

  [[gnu::always_inline]] void append_value(std::uint32_t value) noexcept {
    const auto j = static_cast<std::size_t>(column_);
    labels_[j] = label_;
    columns_[j] = static_cast<std::uint8_t>(column_);
    values_[j] = value;
    ++column_;
  }

 private:
  std::int32_t* labels_;
  std::uint8_t* columns_;
  std::uint32_t* values_;
  std::int32_t label_;
  int limit_;
  // The column of the next row.
  int column_ = 0;
};

struct LabelValue {
  std::int32_t value = 0;
};

// Collects the rows of the data pass in chunks. A chunk that cannot get
// its memory stops the pass (failed()).
class ChunkedRows {
 public:
  using Label = LabelValue;

  ChunkedRows(std::size_t first_chunk, std::size_t chunk_rows)
      : next_capacity_(first_chunk), chunk_rows_(chunk_rows) {}

  // One to nine digits (a minus sign before them when `negative`) are
  // within 32 bits; the label is their value modulo 2^32 read as two's
  // complement, as the scanner reads it.
  static bool label_from_text(const char* text, std::size_t digits,
                              bool negative, LabelValue& label) noexcept {
    if (digits - 1 >= 9) return false;
    const char* d = text + (negative ? 1 : 0);
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < digits; ++i) {
      value = value * 10 + static_cast<std::uint32_t>(d[i] - '0');
    }
    label.value = static_cast<std::int32_t>(negative ? 0U - value : value);
    return true;
  }

  static void label_from_value(std::int32_t value, LabelValue& label) noexcept {
    label.value = value;
  }

  NumberRows rows(const LabelValue& label) noexcept {
    if (chunks_.empty() ||
        chunks_.back().size + MAX_COLUMNS > chunks_.back().capacity) {
      add_chunk();
    }
    if (failed_) return {nullptr, nullptr, nullptr, 0, 0};
    RowChunk& c = chunks_.back();
    return {c.label.get() + c.size, c.column.get() + c.size,
            c.value.get() + c.size, label.value, MAX_COLUMNS};
  }

  void commit(const NumberRows& rows) noexcept {
    if (!failed_) chunks_.back().size += static_cast<std::size_t>(rows.count());
  }

  [[nodiscard]] bool failed() const noexcept { return failed_; }

  // Joins the chunks into `out`'s arrays and fills point and events from
  // the columns. False when the memory is not there.
  [[nodiscard]] bool join(ScanArrays& out) noexcept;

 private:
  void add_chunk() noexcept {
    try {
      chunks_.push_back(RowChunk::allocate(next_capacity_));
    } catch (const std::bad_alloc&) {
      failed_ = true;
      return;
    }
    failed_ = chunks_.back().capacity == 0;
    next_capacity_ = chunk_rows_;
  }

  std::vector<RowChunk> chunks_;
  std::size_t next_capacity_;
  std::size_t chunk_rows_;
  bool failed_ = false;
};

// Copies the field `field` of every chunk into one array, freeing each
// chunk's part once copied; a single chunk is handed over as it is.
template <class T>
bool join_field(std::vector<RowChunk>& chunks, HeapArray<T> RowChunk::*field,
                std::size_t rows, HeapArray<T>& out) noexcept {
  if (chunks.size() == 1) {
    out = std::move(chunks.front().*field);
    out.shrink(rows);
    return true;
  }
  out = HeapArray<T>::allocate(rows);
  if (out.empty()) return false;
  T* to = out.get();
  for (RowChunk& chunk : chunks) {
    if (chunk.size != 0)
      std::memcpy(to, (chunk.*field).get(), chunk.size * sizeof(T));
    to += chunk.size;
    (chunk.*field).reset();
  }
  return true;
}

bool ChunkedRows::join(ScanArrays& out) noexcept {
  std::size_t rows = 0;
  for (const RowChunk& chunk : chunks_) rows += chunk.size;
  out.rows = rows;
  if (chunks_.empty()) chunks_.push_back(RowChunk::allocate(1));
  if (!join_field(chunks_, &RowChunk::label, rows, out.label) ||
      !join_field(chunks_, &RowChunk::column, rows, out.column) ||
      !join_field(chunks_, &RowChunk::value, rows, out.value)) {
    return false;
  }
  chunks_.clear();
  out.point = HeapArray<double>::allocate(rows);
  out.events = HeapArray<std::uint32_t>::allocate(rows);
  if (out.point.empty() || out.events.empty()) return false;
  const std::uint8_t* column = out.column.get();
  double* point = out.point.get();
  std::uint32_t* events = out.events.get();
  for (std::size_t i = 0; i < rows; ++i) {
    point[i] = out.tables.points[column[i]];
    events[i] = out.tables.events[column[i]];
  }
  return true;
}

// The rows of the first chunk: as many as a regular input can give (each
// value takes a digit and a blank at least), up to `chunk_rows`.
std::size_t first_chunk_rows(const ConversionInput& input,
                             std::size_t chunk_rows) {
  if (input.id.kind != FileKind::regular) return chunk_rows;
  const std::uint64_t bound = input.id.size / 2 + MAX_COLUMNS;
  return bound < chunk_rows ? static_cast<std::size_t>(bound) : chunk_rows;
}

}  // namespace

ScanArrays read_arrays(FileIo& io, const ConversionInput& input,
                       const ConversionSettings& settings,
                       std::size_t chunk_rows) {
  chunk_rows = std::max<std::size_t>(chunk_rows, MAX_COLUMNS);
  ScanArrays out;
  LineReader reader(io, input.fd, read_size(input, settings.block_size),
                    InputBuffer(), settings.line_limit);
  const InputAgain again{
      &io,
      input.from_start && input.id.kind == FileKind::regular ? input.fd : -1};
  TextCollector text(out.console);
  out.error =
      run_header_pass(reader, out.tables, text, again, settings.line_limit);

  ChunkedRows rows(first_chunk_rows(input, chunk_rows), chunk_rows);
  if (out.error == 0) {
    out.error = run_data_pass(
        reader, [&rows](const Line& line) { scan_data_line(line, rows); },
        [&rows] { return rows.failed(); });
  }
  if (rows.failed() || !rows.join(out)) {
    const ColumnTables tables = out.tables;
    std::string console = std::move(out.console);
    out = ScanArrays();
    out.tables = tables;
    out.console = std::move(console);
    out.error = ENOMEM;
  }
  return out;
}

}  // namespace tnx
