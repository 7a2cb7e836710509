// Writes blocks of rows to the row file from a thread of its own, so that
// formatting the next block of rows overlaps writing this one: on a machine
// with two cores the conversion then takes about as long as the writes alone.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>

#include "file_io.hpp"

namespace tnx {

class OutputThread {
 public:
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
  // Waits until the previous block is written, then hands over `size` bytes
  // at `data`, which must stay untouched until the next write() or wait()
  // returns. After a failed write no further block is written. Returns the
  // errno value of the first failed write so far, or 0.
  int write(const char* data, std::size_t size);

  // Waits until the block handed over last is written. Returns the errno
  // value of the first failed write, or 0.
  int wait();

 private:
  void write_blocks();

  FileSystem& fs_;
  int fd_;
  std::mutex mutex_;
  std::condition_variable changed_;
  // The block being written, and whether the thread holds one; guarded by
  // mutex_.
  const char* data_ = nullptr;
  std::size_t size_ = 0;
  bool busy_ = false;
  bool stop_ = false;
  int error_ = 0;
  // Started last, once every member it reads is initialised.
  std::thread thread_;
};

}  // namespace tnx
