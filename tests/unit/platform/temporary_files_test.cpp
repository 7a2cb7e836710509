// The table of temporary files that a signal's handler ends the program
// with, driven by threads that guard files while another thread ends: no
// torn or stale name reaches the handler, more threads than slots do no
// harm, slots come back from threads that are gone, a child made by fork()
// leaves its parent's names alone, and no file is left once the end has
// run, however the threads' steps and the end fall together. Each scenario
// is repeated many times, with a fresh table each time: a table ends only
// once.
#include "platform/temporary_files.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "seeded_random.hpp"

namespace tnx {
namespace {

// Repeats of the end with files, and rounds of the end with names only;
// fewer under a sanitizer, whose threads run several times slower.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
#define TNX_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer) || __has_feature(address_sanitizer)
#define TNX_SANITIZED 1
#endif
#endif
#ifdef TNX_SANITIZED
constexpr int REPEATS = 50;
constexpr int ROUNDS = 400;
#else
constexpr int REPEATS = 200;
constexpr int ROUNDS = 4000;
#endif

constexpr std::size_t NAME = 128;
constexpr std::size_t SLOTS = 4;
using Table = detail::TemporaryFiles<char, NAME, SLOTS>;
// The process the names of most tests belong to.
constexpr unsigned ME = 1;

// A wait that always lets the handler wait on.
bool keep_waiting() {
  std::this_thread::yield();
  return true;
}

// "t<thread>-g<generation>-" and a filler whose letter and length follow
// from the generation: a name pieced together from two generations fails
// is_whole_name().
std::string name_of(unsigned thread, unsigned generation) {
  // Built by appending: g++ 12 warns falsely about "literal" + string.
  std::string name = "t";
  name += std::to_string(thread);
  name += "-g";
  name += std::to_string(generation);
  name += "-";
  name.append(40 + generation % 61, static_cast<char>('a' + generation % 26));
  return name;
}

bool is_whole_name(const std::string& name, unsigned& thread,
                   unsigned& generation) {
  return std::sscanf(name.c_str(), "t%u-g%u-", &thread, &generation) == 2 &&
         name == name_of(thread, generation);
}

// One table per round, every one alive until the test ends: the writers
// go from one table to the next as each ends, so that many ends meet them
// at work without threads started for each. In a round each writer guards
// and releases up to CYCLES names, then sleeps until the end has run.
constexpr unsigned WRITERS = 2;
constexpr unsigned CYCLES = 1000;
struct Round {
  Table table;
  // Names each writer has released in this table, and the generation of
  // the last one.
  std::atomic<unsigned> cycles[WRITERS] = {};
  std::atomic<unsigned> released[WRITERS] = {};
  // Set once end() has returned: a guard() that still succeeds is a fault.
  std::atomic<bool> ended{false};
};

TEST(TemporaryFiles, HandlerGetsNoTornOrStaleName) {
  test::SeededRandom random(7);
  SCOPED_TRACE(random.seed_trace());
  std::vector<std::unique_ptr<Round>> rounds;
  for (int r = 0; r < ROUNDS; ++r) {
    rounds.push_back(std::make_unique<Round>());
  }
  std::atomic<unsigned> guarded_after_end{0};
  std::vector<std::thread> writers;
  for (unsigned t = 0; t < WRITERS; ++t) {
    writers.emplace_back([&, t] {
      unsigned g = 0;
      for (const auto& round : rounds) {
        unsigned cycle = 0;
        std::string name = name_of(t, ++g);
        for (; cycle < CYCLES; ++cycle) {
          const bool after_end = round->ended;
          if (!round->table.guard(name.c_str(), name.size(), ME)) break;
          if (after_end) {
            ++guarded_after_end;
            break;
          }
          round->table.created();
          // The next name is made while this one is guarded, so that the
          // slot is mostly in use and a new name follows its release at
          // once, as the end may be copying the old one.
          std::string next = name_of(t, g + 1);
          round->table.release();
          round->released[t].store(g);
          round->cycles[t].store(cycle + 1);
          name = std::move(next);
          ++g;
        }
        if (cycle == CYCLES) round->ended.wait(false);
      }
    });
  }
  for (const auto& round : rounds) {
    // The end comes at a random moment of one writer's work in this table.
    const auto t = random.between(0, WRITERS - 1);
    const auto cycle = random.between(1, CYCLES - 1);
    while (round->cycles[t] < cycle) std::this_thread::yield();
    unsigned released_before[WRITERS];
    for (unsigned w = 0; w < WRITERS; ++w) {
      released_before[w] = round->released[w];
    }
    std::vector<std::string> removed;
    EXPECT_TRUE(round->table.end(
        ME, [&removed](const char* name) { removed.emplace_back(name); },
        keep_waiting));
    round->ended = true;
    round->ended.notify_all();
    ASSERT_LE(removed.size(), WRITERS);
    for (const std::string& name : removed) {
      unsigned thread = 0;
      unsigned generation = 0;
      ASSERT_TRUE(is_whole_name(name, thread, generation)) << "torn: " << name;
      ASSERT_LT(thread, WRITERS);
      EXPECT_GT(generation, released_before[thread])
          << "stale: " << name << " was released before the end began";
    }
  }
  for (std::thread& writer : writers) writer.join();
  EXPECT_EQ(guarded_after_end, 0U);
}

// What one thread's steps leave for the end to remove, and what the end
// tells that thread afterwards. Each case runs on a thread of its own, with
// a table of its own, so that no slot is carried over from another case.
TEST(TemporaryFiles, WhatTheEndRemoves) {
  enum Step { guard_a, guard_b, guard_long, created, release };
  struct Case {
    const char* what;
    std::vector<Step> steps;
    std::vector<std::string> removed;
  };
  const std::string long_name(NAME, 'x');
  const std::vector<Case> cases = {
      {"nothing guarded", {}, {}},
      {"a creation the handler interrupted", {guard_a}, {"a"}},
      {"a created file", {guard_a, created}, {"a"}},
      {"a released file", {guard_a, created, release}, {}},
      {"the name after a released one",
       {guard_a, created, release, guard_b, created},
       {"b"}},
      {"a name too long to keep", {guard_long, created}, {}},
      {"a name too long after a kept one",
       {guard_a, created, release, guard_long, created},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::thread([&] {
      auto table = std::make_unique<Table>();
      for (const Step step : c.steps) {
        switch (step) {
          case guard_a: ASSERT_TRUE(table->guard("a", 1, ME)); break;
          case guard_b: ASSERT_TRUE(table->guard("b", 1, ME)); break;
          case guard_long:
            ASSERT_TRUE(table->guard(long_name.c_str(), long_name.size(), ME));
            break;
          case created: table->created(); break;
          case release: table->release(); break;
        }
      }
      std::vector<std::string> removed;
      int waits = 0;
      EXPECT_TRUE(table->end(
          ME, [&removed](const char* name) { removed.emplace_back(name); },
          [&waits] { return ++waits < 10; }));
      EXPECT_EQ(removed, c.removed);
      // This thread's own creation is not waited for.
      EXPECT_EQ(waits, 0);
      // Once the end has begun, nothing more is created, and a second end
      // leaves the files to the first.
      EXPECT_FALSE(table->guard("c", 1, ME));
      EXPECT_FALSE(table->end(
          ME, [&removed](const char* name) { removed.emplace_back(name); },
          keep_waiting));
      EXPECT_EQ(removed, c.removed);
    }).join();
  }
}

// More threads than slots: each thread with a slot is guarded, the others
// are let through unguarded and stopped all the same once the end begins.
TEST(TemporaryFiles, MoreThreadsThanSlots) {
  constexpr unsigned threads = 3 * SLOTS;
  auto table = std::make_unique<Table>();
  std::atomic<unsigned> guarded{0};
  std::atomic<bool> ended{false};
  std::atomic<unsigned> refused_after_end{0};
  std::vector<std::thread> workers;
  for (unsigned t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      const std::string name = name_of(t, 1);
      if (table->guard(name.c_str(), name.size(), ME)) ++guarded;
      table->created();
      while (!ended) std::this_thread::yield();
      table->release();
      const std::string next = name_of(t, 2);
      if (!table->guard(next.c_str(), next.size(), ME)) ++refused_after_end;
    });
  }
  while (guarded < threads) std::this_thread::yield();
  std::set<std::string> removed;
  EXPECT_TRUE(table->end(
      ME, [&removed](const char* name) { removed.insert(name); },
      keep_waiting));
  ended = true;
  for (std::thread& worker : workers) worker.join();
  // One name per slot; the threads without a slot were let through, and
  // are stopped once the end has begun like the others.
  EXPECT_EQ(removed.size(), SLOTS);
  for (const std::string& name : removed) {
    unsigned thread = 0;
    unsigned generation = 0;
    EXPECT_TRUE(is_whole_name(name, thread, generation)) << name;
  }
  EXPECT_EQ(refused_after_end, threads);
}

// The handler runs on a thread in the middle of its own creation: it does
// not wait for itself. A second handler, on another thread in the middle
// of a creation, leaves that file to the first, which then stops waiting.
TEST(TemporaryFiles, HandlerNeverWaitsForItsOwnThread) {
  auto table = std::make_unique<Table>();
  std::atomic<bool> second_guarded{false};
  std::atomic<bool> first_waits{false};
  std::atomic<bool> first_done{false};
  std::atomic<bool> second_ended_first{true};
  std::thread second([&] {
    const std::string name = "second";
    ASSERT_TRUE(table->guard(name.c_str(), name.size(), ME));
    second_guarded = true;
    while (!first_waits && !first_done) std::this_thread::yield();
    second_ended_first = table->end(
        ME, [](const char*) {}, keep_waiting);
  });
  while (!second_guarded) std::this_thread::yield();
  std::set<std::string> removed;
  // Waits enough for a thread that goes on, not for one that never will.
  constexpr int GIVE_UP = 100'000;
  int waits = 0;
  std::thread first([&] {
    const std::string name = "first";
    ASSERT_TRUE(table->guard(name.c_str(), name.size(), ME));
    EXPECT_TRUE(table->end(
        ME, [&removed](const char* removing) { removed.insert(removing); },
        [&] {
          first_waits = true;
          std::this_thread::yield();
          return ++waits < GIVE_UP;
        }));
    first_done = true;
  });
  first.join();
  second.join();
  EXPECT_FALSE(second_ended_first);
  EXPECT_GT(waits, 0);
  EXPECT_LT(waits, GIVE_UP) << "the first handler waited for a creation "
                               "that could not finish: its own thread's, or "
                               "one the second handler had interrupted";
  EXPECT_EQ(removed, (std::set<std::string>{"first", "second"}));
}

// Thousands of threads that come and go, each guarding and releasing one
// name, SLOTS at a time: each gives its slot back, so a thread that comes
// after all of them is still guarded, and the end removes its name.
TEST(TemporaryFiles, SlotsComeBackFromThreadsThatAreGone) {
  constexpr unsigned THREADS = 4000;
  auto table = std::make_unique<Table>();
  std::atomic<unsigned> refused{0};
  for (unsigned first = 0; first < THREADS; first += SLOTS) {
    std::vector<std::thread> threads;
    for (unsigned t = first; t < first + SLOTS; ++t) {
      threads.emplace_back([&, t] {
        const std::string name = name_of(t, 1);
        if (!table->guard(name.c_str(), name.size(), ME)) ++refused;
        table->created();
        table->release();
      });
    }
    for (std::thread& thread : threads) thread.join();
  }
  EXPECT_EQ(refused, 0U);
  std::atomic<bool> guarded{false};
  std::atomic<bool> ended{false};
  std::thread late([&] {
    EXPECT_TRUE(table->guard("late", 4, ME));
    table->created();
    guarded = true;
    while (!ended) std::this_thread::yield();
  });
  while (!guarded) std::this_thread::yield();
  std::vector<std::string> removed;
  EXPECT_TRUE(table->end(
      ME, [&removed](const char* name) { removed.emplace_back(name); },
      keep_waiting));
  ended = true;
  late.join();
  EXPECT_EQ(removed, std::vector<std::string>{"late"});
}

// What a child made by fork() finds when its end comes, as a bit each.
enum ChildFault : int {
  child_refused = 1,    // its own guard was refused: no slot, or "ending"
  child_not_first = 2,  // its end took the parent's end for its own
  child_waited = 4,     // it waited for a creation of its parent's
  child_removed = 8,    // it removed another name than its own
};

// In a child of fork(): guards a name of its own, then ends; returns the
// faults seen, 0 when none.
int end_in_child(Table& table) {
  const auto self = static_cast<unsigned>(::getpid());
  int faults = table.guard("child", 5, self) ? 0 : child_refused;
  table.created();
  int waits = 0;
  int removed = 0;
  const bool first = table.end(
      self,
      [&](const char* name) {
        if (std::string_view(name) != "child") faults |= child_removed;
        ++removed;
      },
      [&waits] { return ++waits < 3; });
  if (!first) faults |= child_not_first;
  if (waits > 0) faults |= child_waited;
  if (removed != 1) faults |= child_removed;
  return faults;
}

// A child made by fork() while every slot is held by its parent's
// threads, one of them between guard and creation, and the parent's end
// begun: the child's end removes only the child's own name, in a slot it
// took over, and waits for nothing. The parent's names stay its own.
TEST(TemporaryFiles, ChildOfForkEndsOnlyItsOwnNames) {
  for (const bool parent_ending : {false, true}) {
    SCOPED_TRACE(parent_ending ? "the parent ending" : "the parent at work");
    const auto parent = static_cast<unsigned>(::getpid());
    auto table = std::make_unique<Table>();
    std::atomic<unsigned> guarded{0};
    std::atomic<bool> done{false};
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < SLOTS; ++t) {
      threads.emplace_back([&, t] {
        const std::string name = name_of(t, 1);
        EXPECT_TRUE(table->guard(name.c_str(), name.size(), parent));
        if (t > 0) table->created();  // thread 0 stays mid-creation
        ++guarded;
        while (!done) std::this_thread::yield();
      });
    }
    while (guarded < SLOTS) std::this_thread::yield();
    std::set<std::string> removed;
    if (parent_ending) {
      EXPECT_TRUE(table->end(
          parent, [&removed](const char* name) { removed.insert(name); },
          [] { return false; }));
    }
    const pid_t child = ::fork();
    if (child == 0) ::_exit(end_in_child(*table));
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    done = true;
    for (std::thread& thread : threads) thread.join();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "faults in the child (ChildFault)";
    if (!parent_ending) {
      EXPECT_TRUE(table->end(
          parent, [&removed](const char* name) { removed.insert(name); },
          [] { return false; }));
    }
    EXPECT_EQ(removed.size(), SLOTS);
  }
}

// Threads that create, fill and rename real files in a scratch folder
// while the end runs. After end() returns the threads stop at their next
// step, as the threads of a program that dies would: every temporary file
// must be gone by then, whether its creation, its rename or its release
// was under way.
TEST(TemporaryFiles, NoFileLeftAfterTheEnd) {
  namespace fs = std::filesystem;
  // Removed however the test ends.
  struct Scratch {
    fs::path dir = fs::temp_directory_path() /
                   ("tnx_temporary_files_" + std::to_string(::getpid()));
    Scratch() {
      fs::remove_all(dir);
      fs::create_directories(dir);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    ~Scratch() { fs::remove_all(dir); }
  } scratch;
  const fs::path& dir = scratch.dir;
  test::SeededRandom random(11);
  SCOPED_TRACE(random.seed_trace());
  for (int repeat = 0; repeat < REPEATS; ++repeat) {
    // Names as long as the folder's, as in the program.
    auto table =
        std::make_unique<detail::TemporaryFiles<char, PATH_MAX, SLOTS>>();
    std::atomic<bool> dead{false};
    std::atomic<unsigned> files{0};
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < SLOTS; ++t) {
      workers.emplace_back([&, t] {
        for (unsigned n = 0; !dead; ++n) {
          const std::string name =
              (dir / ("tmp-" + std::to_string(t) + "-" + std::to_string(n)))
                  .string();
          const std::string done =
              (dir / ("row-" + std::to_string(t) + "-" + std::to_string(n)))
                  .string();
          if (!table->guard(name.c_str(), name.size(), ME)) return;
          const int fd = ::open(name.c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
          table->created();
          if (fd < 0) return;
          ++files;
          if (!dead) (void)::write(fd, "rows\n", 5);
          ::close(fd);
          if (dead) return;
          if (n % 2 == 0) {
            (void)::rename(name.c_str(), done.c_str());
          } else {
            (void)::unlink(name.c_str());
          }
          table->release();
        }
      });
    }
    std::this_thread::sleep_for(
        std::chrono::microseconds(random.between(0, 2000)));
    EXPECT_TRUE(table->end(
        ME, [](const char* name) { ::unlink(name); }, keep_waiting));
    dead = true;
    for (std::thread& worker : workers) worker.join();
    for (const auto& entry : fs::directory_iterator(dir)) {
      const std::string left = entry.path().filename().string();
      ASSERT_NE(left.rfind("tmp-", 0), 0U) << left << " left, repeat " << repeat
                                           << ", " << files << " files created";
      fs::remove(entry.path());
    }
  }
}

}  // namespace
}  // namespace tnx
