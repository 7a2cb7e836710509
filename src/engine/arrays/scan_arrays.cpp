// Rows kept as numbers: the shared passes with chunked arrays as their sink.
#include "engine/arrays/scan_arrays.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "engine/arrays/shared_fields.hpp"
#include "engine/data_line.hpp"
#include "engine/passes.hpp"

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

enum class Field { label, column, point, events, value };

// Up to `capacity` rows of the data pass, every field.
struct RowChunk {
  SharedFields shared;
  HeapArray<std::uint32_t> value;
  std::size_t capacity = 0;
  std::size_t size = 0;

  [[nodiscard]] static RowChunk allocate(std::size_t capacity,
                                         AllocateMemory allocate) noexcept {
    RowChunk chunk{{HeapArray<std::int32_t>::allocate(capacity, allocate),
                    HeapArray<std::uint8_t>::allocate(capacity, allocate),
                    HeapArray<double>::allocate(capacity, allocate),
                    HeapArray<std::uint32_t>::allocate(capacity, allocate)},
                   HeapArray<std::uint32_t>::allocate(capacity, allocate),
                   capacity,
                   0};
    if (chunk.shared.label.empty() || chunk.shared.column.empty() ||
        chunk.shared.point.empty() || chunk.shared.events.empty() ||
        chunk.value.empty()) {
      return {};
    }
    return chunk;
  }

  template <Field F>
  [[nodiscard]] auto& array() noexcept {
    if constexpr (F == Field::label) {
      return shared.label;
    } else if constexpr (F == Field::column) {
      return shared.column;
    } else if constexpr (F == Field::point) {
      return shared.point;
    } else if constexpr (F == Field::events) {
      return shared.events;
    } else {
      return value;
    }
  }
};

// value_of_digits()
//
// The value of `n` canonical digits at `digits` (at most ten, within 32
// bits). Up to eight digits are converted as one 64-bit word, two digits,
// then four, then eight at a time (8 bytes are read at `digits`, which the
// line's padding allows); the bytes before the first digit count as
// leading zeros.
[[gnu::always_inline]] inline std::uint32_t value_of_digits(
    const char* digits, std::size_t n) noexcept {
  if (n > 8) [[unlikely]] {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < n; ++i) {
      value = value * 10 + static_cast<std::uint32_t>(digits[i] - '0');
    }
    return value;
  }
  std::uint64_t word = 0;
  std::memcpy(&word, digits, sizeof word);
  if constexpr (std::endian::native == std::endian::big) {
    word = __builtin_bswap64(word);
  }
  // The first digit in the lowest byte; shifted so the last digit is in
  // the highest, the vacated low bytes zero.
  word = (word - 0x3030303030303030ULL) << (8 * (8 - n));
  word = (word * 10 + (word >> 8)) & 0x00FF00FF00FF00FFULL;
  word = (word * 100 + (word >> 16)) & 0x0000FFFF0000FFFFULL;
  word = (word * 10000 + (word >> 32)) & 0x00000000FFFFFFFFULL;
  return static_cast<std::uint32_t>(word);
}

// The rows of one data line: the values are stored as they come; the
// other fields, the same for every row of a line or the same for every
// line, are filled once the line is done, or handed to the thread that
// fills them (see ChunkedRows::commit).
class NumberRows {
 public:
  NumberRows(std::uint32_t* values, int limit) noexcept
      : values_(values), limit_(limit) {}

  [[nodiscard]] int count() const noexcept { return column_; }
  [[nodiscard]] bool full() const noexcept { return column_ == limit_; }

  [[gnu::always_inline]] void append_digits(const char* digits,
                                            std::size_t n) noexcept {
    append_value(value_of_digits(digits, n));
  }

  [[gnu::always_inline]] void append_value(std::uint32_t value) noexcept {
    values_[column_] = value;
    ++column_;
  }

 private:
  std::uint32_t* values_;
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

  ChunkedRows(const ColumnTables& tables, std::size_t first_chunk,
              std::size_t chunk_rows, const ArraySettings& settings)
      : tables_(tables),
        next_capacity_(first_chunk),
        chunk_rows_(chunk_rows),
        settings_(settings) {}

  // One to nine digits (a minus sign before them when `negative`) are
  // within 32 bits; the label is their value modulo 2^32 read as two's
  // complement, as the scanner reads it.
  static bool label_from_text(const char* text, std::size_t digits,
                              bool negative, LabelValue& label) noexcept {
    if (digits - 1 >= 9) return false;
    const std::uint32_t value =
        value_of_digits(text + (negative ? 1 : 0), digits);
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
    label_ = label.value;
    if (failed_) return {nullptr, 0};
    RowChunk& c = chunks_.back();
    return {c.value.get() + c.size, MAX_COLUMNS};
  }

  // The line's rows are column 0, 1, ... k-1 (see fill_line_rows()).
  void commit(const NumberRows& rows) noexcept {
    if (failed_) return;
    RowChunk& c = chunks_.back();
    const auto k = static_cast<std::size_t>(rows.count());
    if (shared_thread_ != nullptr) {
      shared_thread_->add(label_, static_cast<std::uint32_t>(k));
    } else {
      fill_line_rows(c.shared, c.size, label_, k, tables_);
    }
    c.size += k;
  }

  [[nodiscard]] bool failed() const noexcept { return failed_; }

  // Joins the chunks into `out`'s arrays. False when the memory is not
  // there.
  [[nodiscard]] bool join(ScanArrays& out) noexcept;

 private:
  void add_chunk() noexcept {
    // Only the first chunk's shared fields are filled by a thread: the
    // chunks after it are too small to be worth one.
    take_shared_fields_back();
    RowChunk chunk = RowChunk::allocate(next_capacity_, settings_.allocate);
    // A first chunk sized for the whole of a large input may not get its
    // memory where chunks of the usual size do.
    if (chunk.capacity == 0 && next_capacity_ > chunk_rows_) {
      chunk = RowChunk::allocate(chunk_rows_, settings_.allocate);
    }
    next_capacity_ = chunk_rows_;
    if (chunk.capacity == 0) {
      failed_ = true;
      return;
    }
    try {
      chunks_.push_back(std::move(chunk));
    } catch (const std::bad_alloc&) {
      failed_ = true;
      return;
    }
    RowChunk& c = chunks_.back();
    if (chunks_.size() == 1 && c.capacity >= settings_.background_rows) {
      shared_thread_ =
          SharedFieldsThread::start(c.shared, tables_, settings_.batch_lines);
    }
  }

  // Waits for the thread filling the first chunk's shared fields, and puts
  // them back in the chunk.
  void take_shared_fields_back() noexcept {
    if (shared_thread_ == nullptr) return;
    chunks_.front().shared = shared_thread_->finish();
    shared_thread_.reset();
  }

  const ColumnTables& tables_;
  std::vector<RowChunk> chunks_;
  std::size_t next_capacity_;
  std::size_t chunk_rows_;
  ArraySettings settings_;
  std::int32_t label_ = 0;
  bool failed_ = false;
  // Holds the first chunk's shared fields while it fills them; after
  // chunks_, so that it is joined before the other arrays are freed.
  std::unique_ptr<SharedFieldsThread> shared_thread_;
};

// Copies the field `F` of every chunk into one array, freeing each
// chunk's part once copied; a single chunk is handed over as it is, less
// the room it did not use.
template <Field F, class T>
bool join_field(std::vector<RowChunk>& chunks, std::size_t rows,
                HeapArray<T>& out, AllocateMemory allocate) noexcept {
  if (chunks.size() == 1) {
    out = std::move(chunks.front().array<F>());
    out.shrink(rows);
    return true;
  }
  out = HeapArray<T>::allocate(rows, allocate);
  if (out.empty()) return false;
  T* to = out.get();
  for (RowChunk& chunk : chunks) {
    if (chunk.size != 0) {
      std::memcpy(to, chunk.array<F>().get(), chunk.size * sizeof(T));
    }
    to += chunk.size;
    chunk.array<F>().reset();
  }
  return true;
}

bool ChunkedRows::join(ScanArrays& out) noexcept {
  take_shared_fields_back();
  std::size_t count = 0;
  for (const RowChunk& chunk : chunks_) count += chunk.size;
  out.rows = count;
  const AllocateMemory allocate = settings_.allocate;
  if (chunks_.empty()) {
    // No line gave rows: a chunk of none, not one sized for the whole
    // input, nor a thread to fill it.
    RowChunk none = RowChunk::allocate(0, allocate);
    if (none.value.empty()) return false;
    try {
      chunks_.push_back(std::move(none));
    } catch (const std::bad_alloc&) {
      return false;
    }
  }
  return join_field<Field::label>(chunks_, count, out.label, allocate) &&
         join_field<Field::column>(chunks_, count, out.column, allocate) &&
         join_field<Field::point>(chunks_, count, out.point, allocate) &&
         join_field<Field::events>(chunks_, count, out.events, allocate) &&
         join_field<Field::value>(chunks_, count, out.value, allocate);
}

// The rows of the first chunk: as many as a regular input can give (each
// value takes a digit and a blank at least, and a line may hold room for
// MAX_COLUMNS more), so that the rows of a regular file usually fill one
// chunk, which becomes the arrays without a copy; the pages past the rows
// are never touched, and are given back. The file may grow while it is
// read: further chunks then take the rest.
std::size_t first_chunk_rows(const ConversionInput& input,
                             std::size_t chunk_rows) {
  if (input.id.kind != FileKind::regular) return chunk_rows;
  const std::uint64_t bound =
      input.id.size / 2 + static_cast<std::uint64_t>(MAX_COLUMNS) * 2;
  return bound < SIZE_MAX / sizeof(std::uint32_t)
             ? static_cast<std::size_t>(bound)
             : chunk_rows;
}

// The data pass into `rows`, each line handed to `notes` first when given.
// Returns 0 or the errno value of a failed read.
int run_rows_pass(LineReader& reader, ChunkedRows& rows, PassNotes* notes) {
  if (notes == nullptr) {
    return run_data_pass(
        reader, [&rows](const Line& line) { scan_data_line(line, rows); },
        [&rows] { return rows.failed(); });
  }
  // Each data line's notes, numbered from the line after the header, as a
  // conversion numbers them; a loop of its own, so the one without a
  // report stays as it was.
  std::uint64_t number = HEADER_LINES + 1;
  return run_data_pass(
      reader,
      [&](const Line& line) {
        notes->data_line(line, ++number);
        scan_data_line(line, rows);
      },
      [&rows] { return rows.failed(); }, REPORTED_LINE_NUMBERS);
}

}  // namespace

ScanArrays read_arrays(FileIo& io, const ConversionInput& input,
                       const ConversionSettings& settings,
                       std::size_t chunk_rows, const ArraySettings& arrays) {
  std::string console;
  TextCollector text(console);
  ScanArrays out = read_arrays(io, input, text, settings, chunk_rows, arrays);
  out.console = std::move(console);
  return out;
}

ScanArrays read_arrays(FileIo& io, const ConversionInput& input,
                       TextOutput& text, const ConversionSettings& settings,
                       std::size_t chunk_rows, const ArraySettings& arrays,
                       PassNotes* notes) {
  chunk_rows = std::max<std::size_t>(chunk_rows, MAX_COLUMNS);
  ScanArrays out;
  InputPasses passes(io, input, settings, InputBuffer());
  out.error = passes.run_header(out.tables, text, notes);

  ChunkedRows rows(out.tables, first_chunk_rows(input, chunk_rows), chunk_rows,
                   arrays);
  if (out.error == 0) out.error = run_rows_pass(passes.reader(), rows, notes);
  if (rows.failed() || !rows.join(out)) {
    const ColumnTables tables = out.tables;
    out = ScanArrays();
    out.tables = tables;
    out.error = ENOMEM;
  }
  return out;
}

}  // namespace tnx
