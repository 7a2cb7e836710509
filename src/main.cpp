// tarnovelix: converts a file of numeric records into a row file.
#include "command_line.hpp"
#include "file_io.hpp"
#include "run.hpp"

int main(int argc, char** argv) {
  using namespace tnx;
  return exit_code(run(parse_command_line(argc, argv), system_file_system()));
}
