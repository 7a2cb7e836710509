// The writer thread: blocks of rows handed over and written in turn.
#include "engine/output_thread.hpp"

#include <new>
#include <system_error>
#include <utility>

namespace tnx {

std::unique_ptr<OutputThread> OutputThread::start(FileIo& io, int fd) {
  // The library reports a thread that cannot be created with an exception;
  // here it becomes a value, and the run writes its rows itself.
  try {
    return std::make_unique<OutputThread>(io, fd);
  } catch (const std::system_error&) {
    return nullptr;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

OutputThread::OutputThread(FileIo& io, int fd)
    : io_(io), fd_(fd), thread_([this] { write_blocks(); }) {}

OutputThread::~OutputThread() {
  {
    const std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

RowBuffer OutputThread::exchange(RowBuffer full, std::size_t size, int& error) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !queue_.full(); });
  // Read under the lock: once a block is in line, the thread may set error_
  // at any moment.
  error = error_;
  if (error != 0 || size == 0 || full.empty()) return full;
  const std::size_t capacity = full.capacity();
  queue_.push(Block{std::move(full), size});
  changed_.notify_all();
  return take_free_buffer(lock, capacity);
}

RowBuffer OutputThread::take_free_buffer(std::unique_lock<std::mutex>& lock,
                                         std::size_t capacity) {
  if (free_.empty() && buffers_ < MAX_QUEUED + 1) {
    // A new buffer is made without the lock: the thread goes on writing.
    lock.unlock();
    RowBuffer fresh = RowBuffer::allocate(capacity);
    lock.lock();
    if (!fresh.empty()) {
      ++buffers_;
      return fresh;
    }
  }
  // With every buffer made, at most MAX_QUEUED of them are in line, so one
  // is free already; without memory for a new one, a block in line frees
  // one once written.
  changed_.wait(lock, [this] { return !free_.empty(); });
  return free_.take();
}

int OutputThread::wait() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return queue_.empty(); });
  return error_;
}

void OutputThread::write_blocks() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return !queue_.empty() || stop_; });
    if (stop_) return;
    Block& block = queue_.front();
    // After a failure the blocks still in line are dropped unwritten.
    const bool failed = error_ != 0;
    // The write runs unlocked: the block stays in line, and the other
    // thread only adds blocks behind it.
    lock.unlock();
    const IoResult r =
        failed ? IoResult{}
               : write_all(io_, fd_, block.buffer.data(), block.size);
    lock.lock();
    if (!r.ok()) error_ = r.error;
    free_.put(std::move(block.buffer));
    (void)queue_.pop();
    changed_.notify_all();
  }
}

}  // namespace tnx
