// The messages of a conversion that failed, worded as the program always
// has: a line of console text ("Could not open input file: NAME"), and a
// line for standard error in the usual form "tarnovelix: NAME: REASON",
// with the system's reason or the program's own. Names, and reasons that
// hold one, go in as add_name() gives them: a message is always one line.
#pragma once

#include <string_view>

#include "engine/file_io.hpp"
#include "program/console.hpp"

namespace tnx {

inline constexpr std::string_view INPUT_NOT_OPENED =
    "\nCould not open input file: ";
inline constexpr std::string_view OUTPUT_NOT_OPENED =
    "\nCould not open output file: ";
inline constexpr std::string_view OUTPUT_NOT_WRITTEN =
    "\nCould not write output file: ";
inline constexpr std::string_view INPUT_NOT_READ =
    "\nCould not read input file: ";

// tell_failure()
//
// Adds `message`, `name` and a line end to the console text, and the
// reason line for `name`: the system's text for `error`.
void tell_failure(Console& console, std::string_view message,
                  std::string_view name, int error);

// The same with the reason in words of the program's or a library's own.
void tell_failure(Console& console, std::string_view message,
                  std::string_view name, std::string_view reason);

// tell_refused_output()
//
// The output `name` refused for a reason of the program's own, `why` ("same
// file as the input"): "Could not open output file: NAME (WHY)", and WHY as
// the reason.
void tell_refused_output(Console& console, std::string_view name,
                         std::string_view why);

// tell_out_of_memory()
//
// A file whose conversion could not get the memory it needed, told at once
// and without allocating: INPUT_NOT_READ and `name` added to `text`, which
// is then written out. Its reason line follows (write_reason()).
void tell_out_of_memory(ConsoleWriter& text, std::string_view name);

// write_reason()
//
// Writes "tarnovelix: NAME: REASON" to standard error at once, without
// allocating.
void write_reason(FileIo& io, std::string_view name, std::string_view reason);

// write_memory_reason()
//
// write_reason() with the system's text for a failure of memory, or the C
// library's when not even the system's can be had.
void write_memory_reason(FileIo& io, std::string_view name);

}  // namespace tnx
