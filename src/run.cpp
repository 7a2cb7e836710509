#include "run.hpp"

#include "console.hpp"

#ifndef TNX_VERSION
#define TNX_VERSION "0.0.0"
#endif

namespace tnx {
namespace {

constexpr const char* USAGE_LINE = "\nsyntax: tarnovelix fname_in fname_out\n";

constexpr const char* VERSION_TEXT =
    "tarnovelix " TNX_VERSION
    "\n"
    "Copyright (c) 2026 The tarnovelix authors; released under the MIT "
    "licence.\n";

constexpr const char* HELP_TEXT =
    "\n"
    "Converts a file of numeric records into a row file: one row per value,\n"
    "\"label coordinate events value\". The first three lines are the header\n"
    "(\"points\" and \"events\" lines give each column's coordinate and "
    "events\n"
    "number), the fourth is skipped, and every later line is a label followed\n"
    "by up to 100 values. Without both names, test.dat is converted into\n"
    "test.ntp. The name - reads standard input or writes the rows to\n"
    "standard output (the console text then goes to standard error).\n"
    "\n"
    "  -h, --help     show this text\n"
    "      --version  show the version\n"
    "\n"
    "A row file is written under a temporary name and takes the place of the\n"
    "output only once complete: a run that fails or is interrupted leaves the\n"
    "output as it was.\n"
    "\n"
    "Exit status: 0 on success, 1 when a file cannot be opened, read or "
    "written\n"
    "(the reason on standard error), 128 + N when ended by signal N.\n";

}  // namespace

RunStatus run(const RunConfig& config, FileSystem& fs, std::size_t block_size) {
  Console console(fs, true);
  if (config.action == Action::help) {
    console.print(USAGE_LINE);
    console.print(HELP_TEXT);
    return RunStatus::ok;
  }
  if (config.action == Action::version) {
    console.print(VERSION_TEXT);
    return RunStatus::ok;
  }
  if (config.show_usage) console.print(USAGE_LINE);
  return convert_file(config.input, config.output, fs, console, block_size);
}

int exit_code(RunStatus status) { return status == RunStatus::ok ? 0 : 1; }

}  // namespace tnx
