// One input file into one row file, both named: the conversion a single
// run makes, and a batch makes for each of its files. It opens the input
// ("-": standard input), settles where the rows go (see output_file.hpp),
// converts, and puts the row file in place; every failure becomes a
// message and a reason on the console.
#pragma once

#include <string>

#include "engine/conversion.hpp"
#include "platform/file_system.hpp"
#include "program/console.hpp"
#include "program/run_status.hpp"

namespace tnx {

class Findings;

// The file a failed conversion could not open, read or write.
enum class FailedFile { none, input, output };

// The failure that decided a conversion's status, as its reason line on
// standard error tells it.
struct ConversionFailure {
  FailedFile file = FailedFile::none;
  // The errno value; EINVAL for an output refused for a reason of the
  // program's own.
  int error = 0;
  // The system's text for `error`, or the program's own reason.
  std::string reason;
};

// What the caller of a conversion learns beyond its status, to tell
// whether making it again could end otherwise, and what failed.
struct ConversionRecord {
  // A failure for want of memory: a buffer that could not be had, or a
  // call the system answered ENOMEM. (One thrown as std::bad_alloc leaves
  // the conversion before this is set.)
  bool out_of_memory = false;
  // Making the conversion again from the start would change nothing done
  // so far: the input is a regular file read by name, and no row went
  // where it cannot be taken back (a pipe, a device, standard output).
  bool repeatable = true;
  // The first failure told, which is the one the status reports.
  ConversionFailure failure;
};

// A conversion's status and, when it failed, what failed.
struct ConversionOutcome {
  RunStatus status = RunStatus::ok;
  ConversionFailure failure;
};

// convert_file()
//
// Converts `input` into the row file `output` ("-" for either: standard
// input, standard output) with the calls of `fs`, adding the console text
// and every failure's message and reason to `console`. Either every row
// reaches `output`, or a regular output is left as it was. `memory`:
// buffers to take over, given back for the next conversion. `record` is
// filled in as the conversion goes, so that it holds also when a
// std::bad_alloc ends it. `findings`, when given, are cleared and then
// filled with the report of this input, which follows its console text.
[[nodiscard]] RunStatus convert_file(const char* input, const char* output,
                                     FileSystem& fs, Console& console,
                                     const ConversionSettings& settings,
                                     Findings* findings,
                                     ConversionMemory& memory,
                                     ConversionRecord& record);

// The same, with buffers of its own.
[[nodiscard]] ConversionOutcome convert_file(
    const char* input, const char* output, FileSystem& fs, Console& console,
    const ConversionSettings& settings = {}, Findings* findings = nullptr);

}  // namespace tnx
