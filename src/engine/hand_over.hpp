// The fixed-size containers through which a thread and its helper hand
// buffers to each other: a line of full ones, oldest first, and a stack of
// free ones. Neither locks: their owner guards them with its mutex. Items
// are moved in and out, so a buffer is always in one place only.
#pragma once

#include <array>
#include <cstddef>
#include <utility>

namespace tnx {

// Up to N items, oldest first.
template <class T, std::size_t N>
class RingQueue {
 public:
  [[nodiscard]] bool empty() const noexcept { return size_ == 0; }
  [[nodiscard]] bool full() const noexcept { return size_ == N; }

  // Adds `item` behind the others; the queue must not be full.
  void push(T item) noexcept {
    items_[(head_ + size_) % N] = std::move(item);
    ++size_;
  }

  // The oldest item, which stays in line until pop(); the queue must not
  // be empty.
  [[nodiscard]] T& front() noexcept { return items_[head_]; }

  // Takes the oldest item out; the queue must not be empty.
  T pop() noexcept {
    T item = std::move(items_[head_]);
    head_ = (head_ + 1) % N;
    --size_;
    return item;
  }

 private:
  std::array<T, N> items_{};
  std::size_t head_ = 0;
  std::size_t size_ = 0;
};

// Up to N items, the last one put first out.
template <class T, std::size_t N>
class FreeStack {
 public:
  [[nodiscard]] bool empty() const noexcept { return size_ == 0; }

  // The stack must not hold N items.
  void put(T item) noexcept { items_[size_++] = std::move(item); }

  // The stack must not be empty.
  [[nodiscard]] T take() noexcept { return std::move(items_[--size_]); }

 private:
  std::array<T, N> items_{};
  std::size_t size_ = 0;
};

}  // namespace tnx
