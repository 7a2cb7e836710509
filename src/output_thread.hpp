// Writes blocks of rows to the row file from a thread of its own, so that
// formatting the next blocks of rows overlaps writing this one: on a machine
// with two cores the conversion then takes about as long as the writes alone.
// Up to MAX_QUEUED blocks wait in line, so neither thread waits for the
// other to be woken up at each block: on a busy machine a wake-up can take
// longer than writing a block.
#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>

#include "file_io.hpp"

namespace tnx {

class OutputThread {
 public:
  // Blocks handed over and not yet written, at most.
  static constexpr std::size_t MAX_QUEUED = 3;

  // start()
  //
  // Starts the thread that writes to `fd` with the calls of `fs`. Returns
  // null when no thread can be started; the caller then writes itself.
  [[nodiscard]] static std::unique_ptr<OutputThread> start(FileSystem& fs,
                                                           int fd);

  OutputThread(FileSystem& fs, int fd);
  OutputThread(const OutputThread&) = delete;
  OutputThread& operator=(const OutputThread&) = delete;
  // Waits for the write in progress, then ends the thread.
  ~OutputThread();

  // write()
  //
  // Waits while MAX_QUEUED blocks are in line, then hands over `size` bytes
  // at `data`. The bytes must stay untouched until MAX_QUEUED more write()
  // calls or a wait() have returned: blocks are written in the order given.
  // After a failed write no further block is written. Returns the errno
  // value of the first failed write so far, or 0.
  int write(const char* data, std::size_t size);

  // Waits until every block handed over is written. Returns the errno value
  // of the first failed write, or 0.
  int wait();

 private:
  void write_blocks();

  struct Block {
    const char* data = nullptr;
    std::size_t size = 0;
  };

  FileSystem& fs_;
  int fd_;
  std::mutex mutex_;
  std::condition_variable changed_;
  // The blocks in line, oldest first from queue_[head_], the oldest being
  // the one in writing; all guarded by mutex_.
  std::array<Block, MAX_QUEUED> queue_{};
  std::size_t head_ = 0;
  std::size_t queued_ = 0;
  bool stop_ = false;
  int error_ = 0;
  // Started last, once every member it reads is initialised.
  std::thread thread_;
};

}  // namespace tnx
