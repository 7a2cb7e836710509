// Decoding a few blocks ahead of the conversion, on a thread of its own.
#include "program/decode_ahead.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <system_error>

namespace tnx {

DecodeAhead::DecodeAhead(Fill fill) : fill_(std::move(fill)) {
  for (Block& block : blocks_) {
    block.data.reset(new (std::nothrow) char[BLOCK_BYTES]);
    if (block.data == nullptr) return;
  }
  try {
    thread_ = std::thread([this] { run(); });
  } catch (const std::system_error&) {
    // No thread: the caller decodes on its own.
  }
}

DecodeAhead::~DecodeAhead() {
  if (!thread_.joinable()) return;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

// Fills `block` to its end, or up to the text's end or a failure. Returns
// whether the text goes on.
bool DecodeAhead::fill_block(Block& block) {
  block.size = 0;
  block.taken = 0;
  while (block.size < BLOCK_BYTES) {
    const IoResult r =
        fill_(block.data.get() + block.size, BLOCK_BYTES - block.size);
    if (!r.ok() && r.error == EINTR) continue;
    if (!r.ok()) {
      block.error = r.error;
      return false;
    }
    if (r.value == 0) {
      block.last = true;
      return false;
    }
    block.size += static_cast<std::size_t>(r.value);
  }
  return true;
}

void DecodeAhead::run() {
  for (std::size_t i = 0;; i = (i + 1) % BLOCKS) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return stop_ || filled_ < BLOCKS; });
      if (stop_) return;
    }
    const bool more = fill_block(blocks_[i]);
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      ++filled_;
    }
    changed_.notify_all();
    if (!more) return;
  }
}

IoResult DecodeAhead::read(char* buffer, std::size_t size) {
  while (true) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return filled_ > 0; });
    }
    Block& block = blocks_[next_read_];
    if (block.taken < block.size) {
      const std::size_t n = std::min(size, block.size - block.taken);
      std::memcpy(buffer, block.data.get() + block.taken, n);
      block.taken += n;
      return {static_cast<std::int64_t>(n), 0};
    }
    if (block.error != 0) return {0, block.error};
    if (block.last) return {0, 0};
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      --filled_;
    }
    changed_.notify_all();
    next_read_ = (next_read_ + 1) % BLOCKS;
  }
}

}  // namespace tnx
