// Decoding on a thread of its own, a few blocks ahead of the conversion:
// the decoder fills the next block while the conversion scans the last, so
// a packed scan costs about the longer of the two, not their sum. Each
// block is the decoder's or the reader's by the count of filled blocks,
// changed under one lock; neither touches a block that is the other's.
#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "engine/file_io.hpp"

namespace tnx {

class DecodeAhead {
 public:
  // Fills at most `size` bytes at `buffer` with text; 0 at its end.
  using Fill = std::function<IoResult(char* buffer, std::size_t size)>;

  // Starts the thread; ok() is false when its memory or thread could not
  // be had (the caller then decodes on its own thread).
  explicit DecodeAhead(Fill fill);
  DecodeAhead(const DecodeAhead&) = delete;
  DecodeAhead& operator=(const DecodeAhead&) = delete;
  // Stops the thread once its current fill returns.
  ~DecodeAhead();

  [[nodiscard]] bool ok() const { return thread_.joinable(); }

  // The next text, as FileIo::read() gives it; a failure of the decoder is
  // given once its text before it is read, and again on every later call.
  IoResult read(char* buffer, std::size_t size);

 private:
  static constexpr std::size_t BLOCKS = 4;
  static constexpr std::size_t BLOCK_BYTES = std::size_t{256} << 10U;

  struct Block {
    std::unique_ptr<char[]> data;
    std::size_t size = 0;
    std::size_t taken = 0;
    int error = 0;
    bool last = false;
  };

  void run();
  bool fill_block(Block& block);

  Fill fill_;
  std::array<Block, BLOCKS> blocks_;
  std::size_t next_read_ = 0;
  // Blocks filled and not yet read to their end: the reader's.
  std::size_t filled_ = 0;
  bool stop_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::thread thread_;
};

}  // namespace tnx
