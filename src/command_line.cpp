#include "command_line.hpp"

#include <cstring>

namespace tnx {

RunConfig parse_command_line(int argc, const char* const* argv) {
  RunConfig config;
  if (argc > 2) {
    config.input = argv[1];
    config.output = argv[2];
    return config;
  }
  if (argc == 2) {
    const char* arg = argv[1];
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      config.action = Action::help;
      return config;
    }
    if (std::strcmp(arg, "--version") == 0) {
      config.action = Action::version;
      return config;
    }
  }
  // Any other single argument is ignored, as it always was: scripts that
  // pass one name still convert the fallback files.
  config.show_usage = true;
  return config;
}

}  // namespace tnx
