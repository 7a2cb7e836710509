// The line on standard error that shows how far a batch is, when standard
// error is a terminal and the run takes long enough to need one. It is
// erased before any other text, at the end, and, through the interrupt
// clean-up, when a signal ends the run.
#pragma once

#include <chrono>
#include <cstddef>

#include "engine/file_io.hpp"

namespace tnx {

// How often the progress line changes.
inline constexpr auto PROGRESS_EVERY = std::chrono::milliseconds(250);

class Progress {
 public:
  // `total`: the files of the batch.
  Progress(FileIo& io, std::size_t total);

  // Shows `done` of the files done, once the run has gone on long enough
  // and the line has not changed for PROGRESS_EVERY.
  void show(std::size_t done);

  // Takes the line away, before other text or at the end.
  void erase();

 private:
  FileIo& io_;
  std::size_t total_;
  bool enabled_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point shown_at_{};
  // Characters of the line on the terminal now; 0 when none is.
  std::size_t width_ = 0;
};

}  // namespace tnx
