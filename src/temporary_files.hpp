// The names of the temporary row files that an interrupt must not leave
// behind, for the platform's signal or console-event handler to remove.
// One slot per thread, since a thread writes one row file at a time. A slot
// is written only by its own thread and read by the handler, which may run
// on any thread at any moment, so nothing here locks or allocates:
// `sequence` is odd while `name` holds a file, and the handler trusts a name
// only if the sequence was the same odd number before and after it copied
// the name.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstring>

namespace tnx::detail {

// `Char` is the character of the platform's file names; names of `NAME`
// characters or more are not guarded.
template <typename Char, std::size_t NAME>
class TemporaryFiles {
 public:
  // Threads that may guard a file at once: a batch's jobs and the main one.
  static constexpr std::size_t SLOTS = 260;

  // Guards the NUL-terminated `name` of `size` characters for this thread.
  void guard(const Char* name, std::size_t size) noexcept {
    Slot* slot = own_slot();
    if (slot == nullptr || size >= NAME) return;
    std::memcpy(slot->name, name, (size + 1) * sizeof(Char));
    slot->sequence.fetch_add(1, std::memory_order_release);
  }

  // This thread's file is gone, or in its place.
  void release() noexcept {
    Slot* slot = own_slot();
    if (slot != nullptr && slot->sequence.load() % 2 == 1) {
      slot->sequence.fetch_add(1, std::memory_order_release);
    }
  }

  // Calls remove(name) for every guarded name. Only what a signal handler
  // may do: atomics, a copy, and `remove`.
  template <typename Remove>
  void remove_all(Remove remove) noexcept {
    const std::size_t taken = taken_.load(std::memory_order_acquire);
    for (std::size_t i = 0; i < taken && i < SLOTS; ++i) {
      Slot& slot = slots_[i];
      const unsigned before = slot.sequence.load(std::memory_order_acquire);
      if (before % 2 == 0) continue;
      Char name[NAME];
      std::memcpy(name, slot.name, sizeof name);
      // A read-modify-write with release order: the copy above cannot move
      // past it.
      if (slot.sequence.fetch_add(0, std::memory_order_acq_rel) != before) {
        continue;
      }
      name[NAME - 1] = Char{};
      remove(name);
    }
  }

 private:
  struct Slot {
    std::atomic<unsigned> sequence{0};
    Char name[NAME] = {};
  };

  // This thread's slot, or null when every slot is taken.
  Slot* own_slot() noexcept {
    thread_local Slot* slot = [this] {
      const std::size_t index = taken_.fetch_add(1, std::memory_order_acq_rel);
      return index < SLOTS ? &slots_[index] : nullptr;
    }();
    return slot;
  }

  Slot slots_[SLOTS]{};
  std::atomic<std::size_t> taken_{0};
};

}  // namespace tnx::detail
