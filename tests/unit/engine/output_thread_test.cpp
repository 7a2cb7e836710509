// Rows written in the background: the same bytes, in the same order, each
// once, as rows written by the converting thread, and a failed write ends the
// writing exactly as it does there.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/row_writer.hpp"
#include "row_sink.hpp"

namespace tnx {
namespace {

// A row file in memory that takes calls from two threads. Write call number
// `fail_at` (from 1; 0 for none) fails with ENOSPC; every call takes at most
// `chunk` bytes, so blocks arrive in several short writes, and, when `slow`,
// takes a while, so blocks wait in line. Every byte of a block is read
// before the call returns, so a block freed before its write is seen by the
// address sanitizer.
class SharedMemoryFile final : public test::RowSink {
 public:
  SharedMemoryFile(int fail_at, std::size_t chunk, bool slow = false)
      : fail_at_(fail_at), chunk_(chunk), slow_(slow) {}

  IoResult write(int, const char* data, std::size_t size) override {
    if (slow_) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const std::string block(data, size < chunk_ ? size : chunk_);
    const std::lock_guard lock(mutex_);
    if (std::this_thread::get_id() != owner_) written_elsewhere_ = true;
    if (++calls_ == fail_at_) return {0, ENOSPC};
    bytes_ += block;
    return {static_cast<std::int64_t>(block.size()), 0};
  }

  std::string bytes() {
    const std::lock_guard lock(mutex_);
    return bytes_;
  }

  // Whether a write came from a thread other than the test's.
  bool written_elsewhere() {
    const std::lock_guard lock(mutex_);
    return written_elsewhere_;
  }

 private:
  std::mutex mutex_;
  const std::thread::id owner_ = std::this_thread::get_id();
  bool written_elsewhere_ = false;
  int calls_ = 0;
  int fail_at_;
  std::size_t chunk_;
  bool slow_;
  std::string bytes_;
};

struct Outcome {
  std::string bytes;
  bool flushed = false;
  int error = 0;
  int rows_taken = 0;
  bool written_elsewhere = false;
};

std::string numbered_row(int i) {
  return std::to_string(i) +
         std::string(static_cast<std::size_t>(i % 97), 'x') + "\n";
}

// Writes `rows` numbered rows of varying length the way the data pass does:
// reserve, fill, commit, stopping once the writer reports a failure. The
// size of the rows is told in advance unless `size_unknown`.
Outcome write_rows(Writing writing, int rows, int fail_at, std::size_t chunk,
                   bool size_unknown = false) {
  SharedMemoryFile fs(fail_at, chunk);
  Outcome outcome;
  {
    std::uint64_t expected = 0;
    for (int i = 0; i < rows; ++i) expected += numbered_row(i).size();
    RowWriter writer(fs, 3, 1, writing, size_unknown ? UNKNOWN_SIZE : expected);
    for (int i = 0; i < rows && !writer.failed(); ++i) {
      const std::string row = numbered_row(i);
      char* out = writer.reserve(row.size());
      row.copy(out, row.size());
      writer.commit(out + row.size());
      ++outcome.rows_taken;
    }
    outcome.flushed = writer.flush();
    outcome.error = writer.error();
  }
  outcome.bytes = fs.bytes();
  outcome.written_elsewhere = fs.written_elsewhere();
  return outcome;
}

std::string expected_rows(int rows) {
  std::string bytes;
  for (int i = 0; i < rows; ++i) bytes += numbered_row(i);
  return bytes;
}

TEST(OutputThread, SameBytesAsWritingInThisThread) {
  struct Case {
    int rows;
    std::size_t chunk;
  };
  // From nothing, through one buffer, to many buffers (each holds about
  // 35 kB); chunks smaller than a buffer make every block a series of writes.
  const Case cases[] = {
      {0, 1 << 20}, {1, 1 << 20}, {500, 7}, {20000, 1 << 20}, {20000, 4096}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rows << " rows, chunk " << c.chunk);
    const Outcome background =
        write_rows(Writing::in_background, c.rows, 0, c.chunk);
    EXPECT_TRUE(background.flushed);
    EXPECT_EQ(background.error, 0);
    EXPECT_EQ(background.bytes, expected_rows(c.rows));
    const Outcome here =
        write_rows(Writing::in_this_thread, c.rows, 0, c.chunk);
    EXPECT_EQ(background.bytes, here.bytes);
    EXPECT_FALSE(here.written_elsewhere);
    // Rows of several buffers go through the thread.
    if (c.rows >= 20000) {
      EXPECT_TRUE(background.written_elsewhere);
    }
  }
}

TEST(OutputThread, RowsOfUnknownSizeStartTheThreadLate) {
  struct Case {
    int rows;
    bool elsewhere;
  };
  // About 1 MB of rows stay in this thread; about 17 MB outgrow
  // BACKGROUND_FROM.
  const Case cases[] = {{20000, false}, {340000, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rows << " rows");
    const Outcome o = write_rows(Writing::in_background, c.rows, 0, 1 << 20,
                                 /*size_unknown=*/true);
    EXPECT_TRUE(o.flushed);
    EXPECT_EQ(o.bytes, expected_rows(c.rows));
    EXPECT_EQ(o.written_elsewhere, c.elsewhere);
  }
}

TEST(OutputThread, FailedWriteEndsTheWriting) {
  struct Case {
    int fail_at;
    std::size_t chunk;
  };
  // The first call, a call within the first block, and a later block.
  const Case cases[] = {{1, 1 << 20}, {3, 4096}, {4, 1 << 20}, {40, 4096}};
  const int rows = 20000;
  const std::string all = expected_rows(rows);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "write " << c.fail_at << " fails, chunk " << c.chunk);
    const Outcome background =
        write_rows(Writing::in_background, rows, c.fail_at, c.chunk);
    const Outcome here =
        write_rows(Writing::in_this_thread, rows, c.fail_at, c.chunk);
    for (const Outcome* o : {&background, &here}) {
      EXPECT_FALSE(o->flushed);
      EXPECT_EQ(o->error, ENOSPC);
      // What reached the file is a prefix of the rows: nothing twice, nothing
      // after the failure.
      EXPECT_EQ(o->bytes, all.substr(0, o->bytes.size()));
      EXPECT_LT(o->bytes.size(), all.size());
      EXPECT_LT(o->rows_taken, rows);
    }
    // Both stop at the same write: the bytes before the failed call.
    EXPECT_EQ(background.bytes, here.bytes);
  }
}

TEST(OutputThread, DestroyedWithBlocksInLine) {
  SharedMemoryFile fs(0, 1 << 20, /*slow=*/true);
  // About 30 buffers of rows: the writer waits for room in the line, so
  // the thread has written some blocks and holds others when it goes.
  const int rows = 20000;
  const std::string all = expected_rows(rows);
  {
    RowWriter writer(fs, 3, 1, Writing::in_background, all.size());
    std::size_t at = 0;
    for (int i = 0; i < rows; ++i) {
      const std::size_t size = all.find('\n', at) + 1 - at;
      char* out = writer.reserve(size);
      all.copy(out, size, at);
      writer.commit(out + size);
      at += size;
    }
    // No flush: the rows not written yet are dropped with the writer.
  }
  const std::string written = fs.bytes();
  EXPECT_TRUE(fs.written_elsewhere()) << "the thread never wrote";
  EXPECT_GT(written.size(), 0u);
  EXPECT_LT(written.size(), all.size());
  EXPECT_EQ(written, all.substr(0, written.size()));
}

}  // namespace
}  // namespace tnx
