// Arrays of plain numbers in memory from malloc, which can be handed over
// whole to an owner that frees them with std::free (a NumPy array, say),
// and the hook through which they get memory of the platform's own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace tnx {

// Memory for a block of `bytes` bytes that std::free frees, or null when
// it is not there. The platform's own (large pages, say) matters: each
// page's first touch is a page fault in which the system clears the page,
// and arrays of hundreds of megabytes in 4 KiB pages can spend more time in
// those than in the data pass. Null: std::malloc.
using AllocateMemory = void* (*)(std::size_t bytes) noexcept;

// An array of `T` from malloc (or a block std::free frees), uninitialised, that
// can be handed over (to an owner that frees it with std::free).
template <class T>
class HeapArray {
 public:
  HeapArray() = default;

  // Null when the memory is not there (or `count` elements would not fit
  // the address space).
  [[nodiscard]] static HeapArray allocate(
      std::size_t count, AllocateMemory allocate = nullptr) noexcept {
    HeapArray array;
    constexpr auto most = static_cast<std::size_t>(PTRDIFF_MAX) / sizeof(T);
    if (count > most) return array;
    const std::size_t bytes = (count == 0 ? 1 : count) * sizeof(T);
    array.data_.reset(static_cast<T*>(
        allocate != nullptr ? allocate(bytes) : std::malloc(bytes)));
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

}  // namespace tnx
