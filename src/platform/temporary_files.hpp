// The names of the temporary row files that an interrupt must not leave
// behind, and the way the program ends when one comes. A thread holds a
// slot from the guard of a name to its release, since a thread writes one
// row file at a time; a released slot serves the next thread that needs
// one, so any number of threads over the life of a process is covered, as
// long as no more than the table's slots hold a name at once. A slot is
// written by the thread holding it and read by the platform's signal or
// console-event handler, which may run on any thread at any moment, so
// nothing here locks or allocates.
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
//
// A child made by fork() gets a copy of the table, with the names of the
// threads its parent had at work, and of the end if one had begun: files
// the child must neither remove nor wait for, since no thread of its own
// creates them. Each slot therefore carries the process that holds it, in
// the same atomic word as its state, and the end only takes the names of
// its own process. A slot the child finds held by another process is a
// copy, and it takes it over for its own names.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace tnx::detail {

// One slot of the table: the name a thread guards, and one atomic word
// with the process that holds the slot (the high half; 0: none), what its
// name stands for (the two lowest bits) and how many names it has held
// (the bits between), so that a handler that copies the name can tell
// whether the copy is whole and still the slot's.
template <typename Char, std::size_t NAME>
struct TemporarySlot {
  using Word = std::uint64_t;
  static constexpr Word FREE = 0;
  static constexpr Word CREATING = 1;
  static constexpr Word CREATED = 2;
  static constexpr Word STATE = 3;
  static constexpr Word NAMES = 0xffff'fffc;

  std::atomic<Word> word{0};
  // Stored and loaded as atomics (release and acquire, plain moves on
  // x86): a handler may copy a name while its thread writes the next one,
  // and throws such a copy away when the word has changed. Plain
  // characters, which a constant initialiser can zero; an array of
  // std::atomic it cannot with every compiler.
  Char name[NAME] = {};

  static constexpr unsigned holder(Word word) {
    return static_cast<unsigned>(word >> 32);
  }

  // The word of the next name `process` keeps in a slot whose word is
  // `word`, in state FREE. The count of names wraps within its bits.
  static constexpr Word next_name(Word word, unsigned process) {
    return (Word{process} << 32) | (((word | STATE) + 1) & NAMES);
  }

  // Puts `text` (`size` characters and a NUL) in the slot as a new name
  // of `process`, which holds it; returns the name's word, state FREE. A
  // handler copying the previous name sees the word change first.
  Word write_name(const Char* text, std::size_t size,
                  unsigned process) noexcept {
    const Word fresh = next_name(word.load(std::memory_order_relaxed), process);
    word.store(fresh, std::memory_order_relaxed);
    for (std::size_t i = 0; i <= size; ++i) {
      std::atomic_ref<Char>(name[i]).store(text[i], std::memory_order_release);
    }
    return fresh;
  }

  // From CREATING to CREATED, if the slot is still held by `process`.
  void mark_created(unsigned process) noexcept {
    Word seen = word.load(std::memory_order_relaxed);
    if (holder(seen) != process || (seen & STATE) != CREATING) return;
    (void)word.compare_exchange_strong(seen, (seen & ~STATE) | CREATED,
                                       std::memory_order_seq_cst);
  }

  // No name, and held by no process, if `process` holds the slot.
  // Compared, not stored: in a child made by fork() while one of its
  // threads held the slot, another thread of the child may have taken it
  // over.
  void release(unsigned process) noexcept {
    Word seen = word.load(std::memory_order_relaxed);
    if (holder(seen) != process) return;
    (void)word.compare_exchange_strong(seen, seen & NAMES,
                                       std::memory_order_seq_cst);
  }

  // Calls remove(name) if `process` holds the slot with a name, once the
  // creation under way on another thread is over (or wait() gives up).
  template <typename Remove, typename Wait>
  void remove_name(bool interrupted, unsigned process, Remove& remove,
                   Wait& wait) const noexcept {
    Char copy[NAME];
    for (;;) {
      const Word seen = word.load(std::memory_order_seq_cst);
      if (holder(seen) != process || (seen & STATE) == FREE) return;
      if ((seen & STATE) == CREATING && !interrupted && wait()) continue;
      std::size_t i = 0;
      do {
        copy[i] = std::atomic_ref<const Char>(name[i]).load(
            std::memory_order_acquire);
      } while (copy[i] != Char{} && ++i < NAME);
      copy[NAME - 1] = Char{};
      // A character that came from a later name brings the later word
      // with it.
      if (word.load(std::memory_order_relaxed) != seen) continue;
      remove(static_cast<const Char*>(copy));
      return;
    }
  }
};

// `Char` is the character of the platform's file names; names of `NAME`
// characters or more are not guarded. `SLOTS`: the names that may be
// guarded at once, one per thread. A process is named by a number other
// than 0, the same for every thread of it (getpid()).
template <typename Char, std::size_t NAME, std::size_t SLOTS>
class TemporaryFiles {
  using Slot = TemporarySlot<Char, NAME>;
  using Word = typename Slot::Word;
  static_assert(std::atomic<Word>::is_always_lock_free &&
                    std::atomic<std::size_t>::is_always_lock_free &&
                    std::atomic_ref<Char>::is_always_lock_free,
                "a signal handler may only use lock-free atomics");

 public:
  // guard()
  //
  // This thread of `process` is about to create the file `name`
  // (NUL-terminated, `size` characters): from now on, ending removes it.
  // Returns false when the process is ending; the file must not be created
  // then, and nothing is guarded. A thread that finds every slot held, or
  // with a name too long, is not guarded, but gets false all the same once
  // the process is ending.
  [[nodiscard]] bool guard(const Char* name, std::size_t size,
                           unsigned process) noexcept {
    Slot* slot = size < NAME ? hold_slot(process) : nullptr;
    if (slot == nullptr) {
      return ending_.load(std::memory_order_seq_cst) != process;
    }
    const Word fresh = slot->write_name(name, size, process);
    slot->word.store(fresh | Slot::CREATING, std::memory_order_seq_cst);
    if (ending_.load(std::memory_order_seq_cst) == process) {
      slot->word.store(fresh, std::memory_order_release);
      return false;
    }
    return true;
  }

  // The call that creates this thread's guarded file has returned, with
  // the file or without: from now on, ending removes the name without
  // waiting for this thread.
  void created() noexcept {
    Slot* const slot = own_slot();
    if (slot != nullptr) slot->mark_created(thread_owner.process);
  }

  // This thread's file is gone, or in its final place: its slot is free
  // for any thread.
  void release() noexcept {
    Slot* const slot = own_slot();
    if (slot == nullptr) return;
    // Forgotten first: a handler on this thread must not take the slot for
    // its own once another thread may hold it.
    thread_owner.slot = nullptr;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    slot->release(thread_owner.process);
  }

  // end()
  //
  // Marks `process` as ending and calls remove(name) for every name its
  // threads guard. A creation under way on another thread is waited for,
  // as long as wait() returns true (it should pause a little, and return
  // false once it has waited too long); one on this thread, which the
  // handler has interrupted, is removed at once. Returns false, removing
  // nothing, when another thread of `process` began the end first: this
  // thread's own creation in progress is then left for that one to remove.
  // Only what a signal handler may do: atomics, copies, `remove` and
  // `wait`.
  template <typename Remove, typename Wait>
  [[nodiscard]] bool end(unsigned process, Remove remove, Wait wait) noexcept {
    Slot* const own = interrupted_slot(process);
    if (ending_.exchange(process, std::memory_order_seq_cst) == process) {
      if (own != nullptr) own->mark_created(process);
      return false;
    }
    const std::size_t taken = taken_.load(std::memory_order_seq_cst);
    for (std::size_t i = 0; i < taken && i < SLOTS; ++i) {
      slots_[i].remove_name(&slots_[i] == own, process, remove, wait);
    }
    return true;
  }

 private:
  // The slot this thread holds in `table`, for `process`: a thread made
  // by fork() starts with its parent's copy, which it does not hold.
  struct Owner {
    const TemporaryFiles* table;
    unsigned process;
    Slot* slot;
  };

  // The slot this thread holds, or the lowest it can take (free, or held
  // by another process: a copy made by fork(), which no thread of this one
  // uses), so a process touches no more slots than it has threads at work
  // at once. Null when every slot is held.
  Slot* hold_slot(unsigned process) noexcept {
    Owner& owner = thread_owner;
    if (owner.table == this && owner.process == process &&
        owner.slot != nullptr) {
      return owner.slot;
    }
    Slot* const slot = take_slot(process);
    // A handler on this thread trusts the slot once it sees it.
    owner.slot = nullptr;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    owner.table = this;
    owner.process = process;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    owner.slot = slot;
    return slot;
  }

  Slot* take_slot(unsigned process) noexcept {
    std::size_t taken = taken_.load(std::memory_order_seq_cst);
    for (;;) {
      for (std::size_t i = 0; i < taken && i < SLOTS; ++i) {
        Word word = slots_[i].word.load(std::memory_order_seq_cst);
        if (Slot::holder(word) == process) continue;
        if (slots_[i].word.compare_exchange_strong(
                word, Slot::next_name(word, process),
                std::memory_order_seq_cst)) {
          return &slots_[i];
        }
      }
      if (taken >= SLOTS) return nullptr;
      // One more slot in use, for this thread or another; then look again.
      if (taken_.compare_exchange_strong(taken, taken + 1,
                                         std::memory_order_seq_cst)) {
        ++taken;
      }
    }
  }

  // The slot this thread holds in this table, if any.
  [[nodiscard]] Slot* own_slot() const noexcept {
    return thread_owner.table == this ? thread_owner.slot : nullptr;
  }

  // The slot of the thread a handler runs on, without taking one.
  [[nodiscard]] Slot* interrupted_slot(unsigned process) const noexcept {
    const Owner& owner = thread_owner;
    return owner.table == this && owner.process == process ? owner.slot
                                                           : nullptr;
  }

  // Constant-initialised, as are the slots: read by a handler on any
  // thread, even one that never guarded a file.
  static thread_local inline Owner thread_owner{nullptr, 0, nullptr};

  Slot slots_[SLOTS]{};
  // Slots ever held at once: the end looks no further.
  std::atomic<std::size_t> taken_{0};
  // The process whose end has begun (0: none), and only for that process:
  // a child made by fork() during its parent's end goes on.
  std::atomic<unsigned> ending_{0};
};

}  // namespace tnx::detail
