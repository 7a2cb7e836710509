// The thread that fills the fields a data line's rows share.
#include "engine/arrays/shared_fields.hpp"

#include <exception>
#include <new>
#include <utility>

namespace tnx {

std::unique_ptr<SharedFieldsThread> SharedFieldsThread::start(
    SharedFields& fields, const ColumnTables& tables,
    std::size_t batch_lines) noexcept {
  batch_lines = std::max<std::size_t>(batch_lines, 1);
  std::unique_ptr<SharedFieldsThread> thread;
  try {
    thread.reset(new SharedFieldsThread(tables, batch_lines));
    for (std::size_t i = 0; i < BATCHES; ++i) {
      Batch batch;
      batch.lines = std::make_unique<LineRows[]>(batch_lines);
      thread->free_.put(std::move(batch));
    }
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  thread->filling_ = thread->free_.take();
  thread->fields_ = std::move(fields);
  try {
    thread->thread_ = std::thread([t = thread.get()] { t->fill_batches(); });
  } catch (const std::exception&) {
    // No thread: the arrays go back to the caller, who fills them itself.
    fields = std::move(thread->fields_);
    return nullptr;
  }
  return thread;
}

SharedFieldsThread::SharedFieldsThread(const ColumnTables& tables,
                                       std::size_t batch_lines)
    : tables_(tables), batch_lines_(batch_lines) {}

SharedFieldsThread::~SharedFieldsThread() { end(Ending::abandon); }

void SharedFieldsThread::hand_over() noexcept {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !queue_.full(); });
  queue_.push(std::move(filling_));
  changed_.notify_all();
  // MAX_QUEUED batches in line and one being filled leave one free at
  // least, so this wait is only a check.
  changed_.wait(lock, [this] { return !free_.empty(); });
  filling_ = free_.take();
  filling_.count = 0;
  filling_.rows = 0;
}

SharedFields SharedFieldsThread::finish() noexcept {
  if (filling_.count != 0) hand_over();
  end(Ending::finish);
  return std::move(fields_);
}

void SharedFieldsThread::end(Ending ending) noexcept {
  if (!thread_.joinable()) return;
  {
    const std::lock_guard lock(mutex_);
    ending_ = ending;
  }
  changed_.notify_all();
  thread_.join();
}

void SharedFieldsThread::fill_batches() noexcept {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(
        lock, [this] { return !queue_.empty() || ending_ != Ending::none; });
    if (ending_ == Ending::abandon || queue_.empty()) return;
    const bool was_full = queue_.full();
    Batch batch = queue_.pop();
    // The data pass may be waiting for room in the line: it need not wait
    // for this batch to be filled too.
    if (was_full) changed_.notify_all();
    lock.unlock();
    fill(batch);
    lock.lock();
    free_.put(std::move(batch));
    changed_.notify_all();
  }
}

void SharedFieldsThread::fill(const Batch& batch) noexcept {
  for (std::size_t i = 0; i < batch.count; ++i) {
    const LineRows& line = batch.lines[i];
    fill_line_rows(fields_, row_, line.label, line.count, tables_);
    row_ += line.count;
  }
}

}  // namespace tnx
