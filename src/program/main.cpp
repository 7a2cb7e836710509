// tarnovelix: converts a file of numeric records into a row file.
#include "platform/file_system.hpp"
#include "platform/memory_pages.hpp"
#include "platform/process.hpp"
#include "program/command_line.hpp"
#include "program/run.hpp"

int main(int argc, char** argv) {
  // Before anything is opened: a closed standard stream must not be taken
  // by a file of the run. Nothing can be said if even this fails.
  if (!tnx::open_standard_streams()) return 1;
  tnx::share_thread_heaps();
  // A run's frames reach about 24 KiB below this one (the console's
  // writer, the conversion): backed in one call, not a fault per page.
  (void)tnx::populate_stack(std::size_t{24} << 10);
  const tnx::ProgramArguments args(argc, argv);
  return tnx::exit_code(
      tnx::run(tnx::parse_command_line(args.count(), args.values()),
               tnx::system_file_system()));
}
