// The progress line of a batch on a terminal's standard error.
#include "program/progress.hpp"

#include <algorithm>
#include <cstdio>

#include "platform/interrupt_cleanup.hpp"
#include "platform/process.hpp"

namespace tnx {
namespace {

// How long a run goes before it shows a progress line.
constexpr auto PROGRESS_AFTER = std::chrono::seconds(1);

}  // namespace

Progress::Progress(FileIo& io, std::size_t total)
    : io_(io),
      total_(total),
      enabled_(is_terminal(STDERR_FD)),
      start_(std::chrono::steady_clock::now()) {}

void Progress::show(std::size_t done) {
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - start_ < PROGRESS_AFTER || now - shown_at_ < PROGRESS_EVERY) {
    return;
  }
  shown_at_ = now;
  // Two counts of up to 20 digits each fit.
  char line[64];
  const int size =
      std::snprintf(line, sizeof line, "\r%zu of %zu files", done, total_);
  if (size <= 1 || static_cast<std::size_t>(size) >= sizeof line) return;
  erase();
  note_progress_line(static_cast<std::size_t>(size) - 1);
  (void)write_all(io_, STDERR_FD, line, static_cast<std::size_t>(size));
  width_ = static_cast<std::size_t>(size) - 1;
}

void Progress::erase() {
  if (width_ == 0) return;
  char blank[64];
  std::fill_n(blank, sizeof blank, ' ');
  blank[0] = '\r';
  blank[width_ + 1] = '\r';
  (void)write_all(io_, STDERR_FD, blank, width_ + 2);
  note_progress_line(0);
  width_ = 0;
}

}  // namespace tnx
