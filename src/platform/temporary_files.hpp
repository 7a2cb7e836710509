// The names of the temporary row files that an interrupt must not leave
// behind, and the way the program ends when one comes. One slot per thread,
// since a thread writes one row file at a time. A slot is written only by
// its own thread and read by the platform's signal or console-event
// handler, which may run on any thread at any moment, so nothing here
// locks or allocates.
//
// Ending is a race with the threads that go on converting: a thread may be
// about to create a file when the handler looks at its slot. So a thread
// marks its slot `creating` and then looks whether the program is ending,
// before the call that creates the file, and marks it `created` once the
// call has returned; the handler first marks the program as ending and
// then looks at the slots. Both sides use sequentially consistent
// operations, so at least one of them sees the other: either the thread
// sees the end and creates nothing, or the handler sees the slot and, if
// the creation is still under way on another thread, waits for it to
// finish before it removes the file. Once the end has begun, no thread
// starts a creation.
#pragma once

#include <atomic>
#include <cstddef>

namespace tnx::detail {

// `Char` is the character of the platform's file names; names of `NAME`
// characters or more are not guarded. `SLOTS`: a slot for each thread that
// may guard a file. The program has one table; a thread that guards in
// another takes a slot there, and keeps it while that table lives.
template <typename Char, std::size_t NAME, std::size_t SLOTS>
class TemporaryFiles {
  static_assert(std::atomic<unsigned>::is_always_lock_free &&
                    std::atomic_ref<Char>::is_always_lock_free,
                "a signal handler may only use lock-free atomics");

 public:
  // guard()
  //
  // This thread is about to create the file `name` (NUL-terminated, `size`
  // characters): from now on, ending removes it. Returns false when the
  // program is ending; the file must not be created then, and nothing is
  // guarded. A thread without a slot (more threads than SLOTS) or with a
  // name too long is not guarded, but gets false all the same once the
  // program is ending.
  [[nodiscard]] bool guard(const Char* name, std::size_t size) noexcept {
    Slot* slot = own_slot();
    if (slot == nullptr || size >= NAME) {
      return !ending_.load(std::memory_order_seq_cst);
    }
    // A new generation, its state bits 0 (FREE): a handler copying the
    // previous name sees the word change, and throws the copy away. Each
    // character is a release store, so a handler that reads one of them
    // sees the change too.
    const unsigned fresh =
        (slot->word.load(std::memory_order_relaxed) | STATE) + 1;
    slot->word.store(fresh, std::memory_order_relaxed);
    for (std::size_t i = 0; i <= size; ++i) {
      std::atomic_ref<Char>(slot->name[i])
          .store(name[i], std::memory_order_release);
    }
    slot->word.store(fresh | CREATING, std::memory_order_seq_cst);
    if (ending_.load(std::memory_order_seq_cst)) {
      slot->word.store(fresh, std::memory_order_release);
      return false;
    }
    return true;
  }

  // The call that creates this thread's guarded file has returned, with
  // the file or without: from now on, ending removes the name without
  // waiting for this thread.
  void created() noexcept {
    Slot* slot = own_slot();
    if (slot == nullptr) return;
    const unsigned word = slot->word.load(std::memory_order_relaxed);
    if ((word & STATE) == CREATING) {
      slot->word.store((word & ~STATE) | CREATED, std::memory_order_seq_cst);
    }
  }

  // This thread's file is gone, or in its final place.
  void release() noexcept {
    Slot* slot = own_slot();
    if (slot == nullptr) return;
    const unsigned word = slot->word.load(std::memory_order_relaxed);
    if ((word & STATE) != FREE) {
      slot->word.store(word & ~STATE, std::memory_order_seq_cst);
    }
  }

  // end()
  //
  // Marks the program as ending and calls remove(name) for every guarded
  // name. A creation under way on another thread is waited for, as long as
  // wait() returns true (it should pause a little, and return false once
  // it has waited too long); one on this thread, which the handler has
  // interrupted, is removed at once. Returns false, removing nothing, when
  // another thread began the end first: this thread's own creation in
  // progress is then left for that one to remove. Only what a signal
  // handler may do: atomics, copies, `remove` and `wait`.
  template <typename Remove, typename Wait>
  [[nodiscard]] bool end(Remove remove, Wait wait) noexcept {
    Slot* const own = interrupted_slot();
    if (ending_.exchange(true, std::memory_order_seq_cst)) {
      if (own != nullptr) {
        const unsigned word = own->word.load(std::memory_order_relaxed);
        if ((word & STATE) == CREATING) {
          own->word.store((word & ~STATE) | CREATED, std::memory_order_seq_cst);
        }
      }
      return false;
    }
    const std::size_t taken = taken_.load(std::memory_order_seq_cst);
    for (std::size_t i = 0; i < taken && i < SLOTS; ++i) {
      remove_guarded(slots_[i], &slots_[i] == own, remove, wait);
    }
    return true;
  }

 private:
  // The low bits of a slot's word: what its name stands for. The bits
  // above count the names the slot has held.
  static constexpr unsigned FREE = 0;
  static constexpr unsigned CREATING = 1;
  static constexpr unsigned CREATED = 2;
  static constexpr unsigned STATE = 3;

  struct Slot {
    std::atomic<unsigned> word{0};
    // Stored and loaded as atomics (release and acquire, plain moves on
    // x86): a handler may copy a name while its thread writes the next
    // one, and throws such a copy away when the word has changed. Plain
    // characters, which a constant initialiser can zero; an array of
    // std::atomic it cannot with every compiler.
    Char name[NAME] = {};
  };

  // The table and slot of the thread, from its first guard() on.
  struct Owner {
    const TemporaryFiles* table;
    Slot* slot;
  };

  template <typename Remove, typename Wait>
  static void remove_guarded(Slot& slot, bool interrupted, Remove& remove,
                             Wait& wait) noexcept {
    Char name[NAME];
    for (;;) {
      const unsigned word = slot.word.load(std::memory_order_seq_cst);
      if ((word & STATE) == FREE) return;
      if ((word & STATE) == CREATING && !interrupted && wait()) continue;
      std::size_t i = 0;
      do {
        name[i] =
            std::atomic_ref<Char>(slot.name[i]).load(std::memory_order_acquire);
      } while (name[i] != Char{} && ++i < NAME);
      name[NAME - 1] = Char{};
      // A character that came from a later guard() brings the later word
      // with it.
      if (slot.word.load(std::memory_order_relaxed) != word) continue;
      remove(static_cast<const Char*>(name));
      return;
    }
  }

  // This thread's slot, taken at its first call; null when every slot is
  // taken.
  Slot* own_slot() noexcept {
    if (thread_owner.table != this) {
      const std::size_t index = taken_.fetch_add(1, std::memory_order_seq_cst);
      thread_owner.slot = index < SLOTS ? &slots_[index] : nullptr;
      // A handler on this thread trusts the slot once it sees the table.
      std::atomic_signal_fence(std::memory_order_seq_cst);
      thread_owner.table = this;
    }
    return thread_owner.slot;
  }

  // The slot of the thread a handler runs on, without taking one.
  [[nodiscard]] Slot* interrupted_slot() const noexcept {
    return thread_owner.table == this ? thread_owner.slot : nullptr;
  }

  // Constant-initialised, as are the slots: read by a handler on any
  // thread, even one that never guarded a file.
  static thread_local inline Owner thread_owner{nullptr, nullptr};

  Slot slots_[SLOTS]{};
  std::atomic<std::size_t> taken_{0};
  std::atomic<bool> ending_{false};
};

}  // namespace tnx::detail
