// One run of the program: help, version, a conversion or a batch.
#include "program/run.hpp"

#include <new>

#include "engine/report/findings.hpp"
#include "program/batch.hpp"
#include "program/console.hpp"
#include "program/file_conversion.hpp"
#include "program/messages.hpp"

#ifndef TNX_VERSION
#define TNX_VERSION "0.0.0"
#endif

namespace tnx {
namespace {

constexpr const char* USAGE_LINE = "\nsyntax: tarnovelix fname_in fname_out\n";

constexpr const char* BATCH_USAGE =
    "usage: tarnovelix --batch [-j N | --jobs N] [-o DIR | --output-dir DIR] "
    "[-q | --quiet] [--] FILE...\n";

constexpr const char* VERSION_TEXT =
    "tarnovelix " TNX_VERSION
    "\n"
    "Copyright (c) 2026 The tarnovelix authors; released under the MIT "
    "licence.\n";

// The text of --help, as it shows: each line as it is printed.
constexpr const char* HELP_TEXT = R"(
Converts a file of numeric records into a row file: one row per value,
"label coordinate events value". The first three lines are the header
("points" and "events" lines give each column's coordinate and events
number), the fourth is skipped, and every later line is a label followed
by up to 100 values. Without both names, test.dat is converted into
test.ntp. The name - reads standard input or writes the rows to
standard output (the console text then goes to standard error).
A scan packed with gzip, bzip2, xz or zstd, as its first bytes tell
whatever its name, is converted as the text it holds.

  -h, --help     show this text
      --version  show the version
      --report   (after the two names) tell on standard error which lines
                 gave no rows and which numbers changed: text among the
                 values, more values than the header gave, numbers that
                 wrap around, NUL bytes, header lines without numbers

tarnovelix --batch [-j N | --jobs N] [-o DIR | --output-dir DIR] [-q | --quiet]
           [--report] [--] FILE...
converts every FILE into a row file named like it with its last extension
replaced by .ntp, beside it or in DIR (created if missing), N files at once
(default: one per processor). A suffix .gz, .bz2, .xz or .zst is dropped
first: run.dat.gz gives run.ntp. With -z FORMAT (--compress FORMAT), gz
or zst, the row files are written packed: scan.ntp.gz, scan.ntp.zst. Each file's text is shown in the order given,
after a line naming the file and its row file (only for the files that
failed with -q), then a summary line.

A row file is written under a temporary name and takes the place of the
output only once complete: a run that fails or is interrupted leaves the
output as it was.

Exit status: 0 on success, 1 when a file cannot be opened, read or written
(the reason on standard error) or when any file of a batch failed, 2 for a
malformed batch command line, 128 + N when ended by signal N.
)";

}  // namespace

RunStatus run(const RunConfig& config, FileSystem& fs, std::size_t block_size,
              std::size_t line_limit) {
  Console console(fs.io(), ConsoleMode::live);
  if (config.action == Action::help) {
    console.print(USAGE_LINE);
    console.print(HELP_TEXT);
    return RunStatus::ok;
  }
  if (config.action == Action::version) {
    console.print(VERSION_TEXT);
    return RunStatus::ok;
  }
  if (config.action == Action::batch) {
    try {
      return run_batch(config.batch, fs);
    } catch (const std::bad_alloc&) {
      // Not even the list of files fits: nothing was converted. (A file
      // that cannot get its memory fails alone, inside the batch.)
      write_memory_reason(fs.io(), "--batch");
      return RunStatus::batch_failed;
    }
  }
  if (config.action == Action::usage_error) {
    console.report("--batch", config.problem);
    console.add_reasons(BATCH_USAGE);
    return RunStatus::usage_error;
  }
  if (config.show_usage) console.print(USAGE_LINE);
  try {
    Findings findings;
    return convert_file(config.input, config.output, fs, console,
                        {.block_size = block_size, .line_limit = line_limit},
                        config.report ? &findings : nullptr)
        .status;
  } catch (const std::bad_alloc&) {
    // The files are closed, and a temporary row file removed, as the stack
    // unwinds; what the console holds goes first, then the failure, told
    // without taking more memory.
    console.flush();
    ConsoleWriter text(fs.io(), console.text_fd());
    tell_out_of_memory(text, config.input);
    write_memory_reason(fs.io(), config.input);
    return RunStatus::read_failed;
  }
}

}  // namespace tnx
