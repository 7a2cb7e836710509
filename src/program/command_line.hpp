// Turns the argument vector into the settings of one run. Pure: no I/O.
#pragma once

#include <string>

#include "program/name_list.hpp"

namespace tnx {

inline constexpr const char* FALLBACK_INPUT = "test.dat";
inline constexpr const char* FALLBACK_OUTPUT = "test.ntp";

enum class Action { convert, help, version, batch, usage_error };

// Files converted at once in a batch, at most: one job thread each.
inline constexpr int MAX_JOBS = 256;

// The settings of a batch: every file in `files` into a row file named
// after it, beside it or in `output_dir`.
struct BatchConfig {
  // 0: as many as the processors available.
  int jobs = 0;
  std::string output_dir;
  // -z, --compress: the suffix of the packed row files (".gz", ".zst"), or
  // empty for plain ones.
  std::string_view packing;
  bool quiet = false;
  // --report: what each file's conversion passed over, on standard error.
  bool report = false;
  NameList files;
};

struct RunConfig {
  Action action = Action::convert;
  // The usage line is printed before converting the fallback files.
  bool show_usage = false;
  const char* input = FALLBACK_INPUT;
  const char* output = FALLBACK_OUTPUT;
  // --report after the two names of a single run.
  bool report = false;
  BatchConfig batch;
  // For Action::usage_error: what is wrong with the command line.
  std::string problem;
};

// parse_command_line()
//
// Two or more arguments name the input and the output; of the rest, which
// were always ignored, "--report" asks for the report (see findings.hpp).
// Fewer than two select the fallback names and the usage line, except a lone
// "--help"/"-h" or "--version", which ask for that text and no conversion.
// "--batch" as the first argument starts a batch: options and files in any
// order, every argument after "--" a file; a malformed batch command line
// gives Action::usage_error.
[[nodiscard]] RunConfig parse_command_line(int argc, const char* const* argv);

}  // namespace tnx
