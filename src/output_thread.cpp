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
    changed_.wait(lock, [this] { return queued_ == 0; });
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

int OutputThread::write(const char* data, std::size_t size) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return queued_ < MAX_QUEUED; });
  // Read under the lock: once a block is in line, the thread may set error_
  // at any moment.
  const int error = error_;
  if (error == 0 && size > 0) {
    queue_[(head_ + queued_) % MAX_QUEUED] = {data, size};
    ++queued_;
    lock.unlock();
    changed_.notify_all();
  }
  return error;
}

int OutputThread::wait() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return queued_ == 0; });
  return error_;
}

void OutputThread::write_blocks() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return queued_ > 0 || stop_; });
    if (queued_ == 0) return;
    const Block block = queue_[head_];
    // After a failure the blocks still in line are dropped unwritten.
    const bool failed = error_ != 0;
    // The write runs unlocked: the other thread only looks at the queue.
    lock.unlock();
    const IoResult r =
        failed ? IoResult{} : write_all(fs_, fd_, block.data, block.size);
    lock.lock();
    if (!r.ok()) error_ = r.error;
    head_ = (head_ + 1) % MAX_QUEUED;
    --queued_;
    changed_.notify_all();
  }
}

}  // namespace tnx
