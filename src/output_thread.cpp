#include "output_thread.hpp"

#include <new>
#include <system_error>

namespace tnx {

std::unique_ptr<OutputThread> OutputThread::start(FileSystem& fs, int fd) {
  // The library reports a thread that cannot be created with an exception;
  // here it becomes a value, and the run writes its rows itself.
  try {
    return std::make_unique<OutputThread>(fs, fd);
  } catch (const std::system_error&) {
    return nullptr;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

OutputThread::OutputThread(FileSystem& fs, int fd)
    : fs_(fs), fd_(fd), thread_([this] { write_blocks(); }) {}

OutputThread::~OutputThread() {
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !busy_; });
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

int OutputThread::write(const char* data, std::size_t size) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !busy_; });
  // Read under the lock: once the block is handed over, the thread may set
  // error_ at any moment.
  const int error = error_;
  if (error == 0 && size > 0) {
    data_ = data;
    size_ = size;
    busy_ = true;
    lock.unlock();
    changed_.notify_all();
  }
  return error;
}

int OutputThread::wait() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !busy_; });
  return error_;
}

void OutputThread::write_blocks() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return busy_ || stop_; });
    if (!busy_) return;
    const char* data = data_;
    const std::size_t size = size_;
    // The write runs unlocked: the other thread only waits for busy_.
    lock.unlock();
    const IoResult r = write_all(fs_, fd_, data, size);
    lock.lock();
    if (!r.ok()) error_ = r.error;
    busy_ = false;
    changed_.notify_all();
  }
}

}  // namespace tnx
