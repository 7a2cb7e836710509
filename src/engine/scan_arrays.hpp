// Rows kept as numbers instead of text: one array per field, one element
// per row, in row-file order, read with the very rules of the row file
// (the same passes, scanners, header tables and stop rules). Formatting
// row i as "%4d %.3f %u %u" from label[i], point[i], events[i] and
// value[i] gives the row file's row i; column[i] is the value's column,
// which the row file does not show.
//
// The data pass stores each value as it comes, and the other fields once
// per line (a line's rows are its columns 0, 1, ... with the line's label
// and the tables' slots). Rows go to chunks: the first one is sized for
// every row a regular input can give, its untouched pages costing
// nothing, so the rows of a file usually fill it alone and it becomes the
// arrays without a copy, given back what it did not use; otherwise (an
// input of unknown size, or one that grew) chunks of CHUNK_ROWS follow and
// are joined once, each freed as it is copied. So memory peaks at the
// arrays plus one chunk, and nothing is allocated per row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "engine/conversion.hpp"
#include "engine/file_io.hpp"
#include "engine/header.hpp"

namespace tnx {

// A hint to the system about a new array's memory (the platform's large
// pages, say): each page's first touch is a page fault, and arrays of
// hundreds of megabytes in 4 KiB pages can spend more time in those than
// in the data pass. Null: no hint.
using MemoryAdvice = void (*)(void* data, std::size_t bytes) noexcept;

// An array of `T` from malloc, uninitialised, that can be handed over (to
// an owner that frees it with std::free).
template <class T>
class HeapArray {
 public:
  HeapArray() = default;

  // Null when the memory is not there (or `count` elements would not fit
  // the address space).
  [[nodiscard]] static HeapArray allocate(
      std::size_t count, MemoryAdvice advice = nullptr) noexcept {
    HeapArray array;
    constexpr auto most = static_cast<std::size_t>(PTRDIFF_MAX) / sizeof(T);
    if (count > most) return array;
    const std::size_t bytes = (count == 0 ? 1 : count) * sizeof(T);
    array.data_.reset(static_cast<T*>(std::malloc(bytes)));
    if (!array.empty() && advice != nullptr) advice(array.data_.get(), bytes);
    return array;
  }

  // Gives back what lies past the first `count` elements; the array stays
  // as it was when the system keeps the memory.
  void shrink(std::size_t count) noexcept {
    void* moved =
        std::realloc(data_.get(), (count == 0 ? 1 : count) * sizeof(T));
    if (moved == nullptr) return;
    (void)data_.release();  // realloc took it over
    data_.reset(static_cast<T*>(moved));
  }

  [[nodiscard]] T* get() const noexcept { return data_.get(); }
  [[nodiscard]] bool empty() const noexcept { return data_ == nullptr; }
  // Hands the memory over; the caller frees it with std::free.
  [[nodiscard]] T* release() noexcept { return data_.release(); }
  void reset() noexcept { data_.reset(); }

 private:
  struct Free {
    void operator()(T* p) const noexcept { std::free(p); }
  };
  std::unique_ptr<T, Free> data_;
};

// The rows of one input as numbers, with the header tables and the console
// text.
struct ScanArrays {
  std::size_t rows = 0;
  HeapArray<std::int32_t> label;
  HeapArray<std::uint8_t> column;
  HeapArray<double> point;
  HeapArray<std::uint32_t> events;
  HeapArray<std::uint32_t> value;
  ColumnTables tables;
  // The header pass's echo and summaries, as the command line prints them.
  std::string console;
  // The errno value of the first failed read (the rows before it are kept),
  // or ENOMEM when the arrays could not get their memory (no rows then).
  int error = 0;
};

// The rows per chunk of the data pass: 128 Ki rows, 2.6 MiB of all their
// fields.
inline constexpr std::size_t CHUNK_ROWS = std::size_t{128} << 10;

// read_arrays()
//
// Reads `input` with the calls of `io` into arrays: the header pass, the
// dropped line and the data pass of a conversion (see convert()), the rows
// kept as numbers. `chunk_rows` (at least MAX_COLUMNS): the rows of each
// chunk of the data pass; `advice`: given every array's memory. The input
// is not closed.
[[nodiscard]] ScanArrays read_arrays(FileIo& io, const ConversionInput& input,
                                     const ConversionSettings& settings = {},
                                     std::size_t chunk_rows = CHUNK_ROWS,
                                     MemoryAdvice advice = nullptr);

}  // namespace tnx
