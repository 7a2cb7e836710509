// The half of the interrupt clean-up that is the same on every platform:
// the table of temporary files and the progress line, and the calls by
// which the rest of the program tells the handler about them.
#include "platform/interrupt_cleanup.hpp"

#include "platform/interrupt_handler.hpp"

namespace tnx {
namespace detail {

// Constant-initialised: a dynamic initialiser would touch every slot's page
// at each start, 500 page faults for a program that needs about 50.
constinit GuardedFiles temporaries;

constinit std::atomic<std::size_t> progress_width{0};

void erase_progress_line() noexcept {
  std::size_t width = progress_width.load(std::memory_order_relaxed);
  if (width == 0) return;
  char blanks[64];
  for (char& c : blanks) c = ' ';
  blanks[0] = '\r';
  write_to_standard_error(blanks, 1);
  while (width > 0) {
    const std::size_t part =
        width < sizeof blanks - 1 ? width : sizeof blanks - 1;
    write_to_standard_error(blanks + 1, part);
    width -= part;
  }
  write_to_standard_error(blanks, 1);
}

}  // namespace detail

void guard_temporary(const std::basic_string<NativeChar>& name) {
  detail::install_handlers_once();
  if (!detail::temporaries.guard(name.c_str(), name.size(),
                                 detail::this_process())) {
    detail::wait_for_end();
  }
}

void temporary_created() { detail::temporaries.created(); }

void release_temporary() { detail::temporaries.release(); }

void note_progress_line(std::size_t width) {
  if (width > 0) detail::install_handlers_once();
  detail::progress_width.store(width, std::memory_order_relaxed);
}

}  // namespace tnx
