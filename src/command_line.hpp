// Turns the argument vector into the settings of one run. Pure: no I/O.
#pragma once

namespace tnx {

inline constexpr const char* FALLBACK_INPUT = "test.dat";
inline constexpr const char* FALLBACK_OUTPUT = "test.ntp";

enum class Action { convert, help, version };

struct RunConfig {
  Action action = Action::convert;
  // The usage line is printed before converting the fallback files.
  bool show_usage = false;
  const char* input = FALLBACK_INPUT;
  const char* output = FALLBACK_OUTPUT;
};

// parse_command_line()
//
// Two or more arguments name the input and the output; the rest are ignored.
// Fewer than two select the fallback names and the usage line, except a lone
// "--help"/"-h" or "--version", which ask for that text and no conversion.
[[nodiscard]] RunConfig parse_command_line(int argc, const char* const* argv);

}  // namespace tnx
