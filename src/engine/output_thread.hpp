// Writes blocks of rows to the row file from a thread of its own, so that
// formatting the next blocks of rows overlaps writing this one: on a machine
// with two cores the conversion then takes about as long as the writes alone.
//
// Buffers change hands, never share them: a RowBuffer handed to the thread
// belongs to it until the thread hands it back written, and the thread keeps
// every buffer it holds until it has been joined. Up to MAX_QUEUED blocks
// wait in line, so neither thread waits for the other to be woken up at each
// block: on a busy machine a wake-up can take longer than writing a block.
#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "engine/buffers.hpp"
#include "engine/file_io.hpp"
#include "engine/hand_over.hpp"

namespace tnx {

class OutputThread {
 public:
  // Blocks handed over and not yet written, at most.
  static constexpr std::size_t MAX_QUEUED = 3;

  // start()
  //
  // Starts the thread that writes to `fd` with the calls of `io`. Returns
  // null when no thread can be started; the caller then writes itself.
  [[nodiscard]] static std::unique_ptr<OutputThread> start(FileIo& io, int fd);

  OutputThread(FileIo& io, int fd);
  OutputThread(const OutputThread&) = delete;
  OutputThread& operator=(const OutputThread&) = delete;
  // Lets the write in progress finish, drops the blocks still in line, and
  // joins the thread; the buffers go only after that.
  ~OutputThread();

  // exchange()
  //
  // Hands over the first `size` bytes of `full` to be written after the
  // blocks already in line, and returns a buffer to fill next: one whose
  // rows are written, or a new one of the same capacity while fewer than
  // MAX_QUEUED + 1 buffers exist. Waits while MAX_QUEUED blocks are in line.
  // `error` receives the errno value of the first failed write so far, or
  // 0; after a failure no block is written. The result is empty only when
  // `full` was and no buffer was free.
  [[nodiscard]] RowBuffer exchange(RowBuffer full, std::size_t size,
                                   int& error);

  // Waits until every block handed over is written. Returns the errno value
  // of the first failed write, or 0.
  [[nodiscard]] int wait();

 private:
  struct Block {
    RowBuffer buffer;
    std::size_t size = 0;
  };

  void write_blocks();
  RowBuffer take_free_buffer(std::unique_lock<std::mutex>& lock,
                             std::size_t capacity);

  FileIo& io_;
  int fd_;
  std::mutex mutex_;
  std::condition_variable changed_;
  // All guarded by mutex_. The blocks in line: the oldest is the one being
  // written, and stays in line until its write has returned.
  RingQueue<Block, MAX_QUEUED> queue_;
  // Written buffers, ready to be filled again.
  FreeStack<RowBuffer, MAX_QUEUED + 1> free_;
  // Buffers made for this thread's line, the one being filled included.
  std::size_t buffers_ = 1;
  bool stop_ = false;
  int error_ = 0;
  // Started last, once every member it reads is initialised.
  std::thread thread_;
};

}  // namespace tnx
