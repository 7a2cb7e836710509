// One input file into one row file, both named: the conversion a single
// run makes, and a batch makes for each of its files. It opens the input
// ("-": standard input), settles where the rows go (see output_file.hpp),
// converts, and puts the row file in place; every failure becomes a
// message and a reason on the console.
#pragma once

#include "engine/conversion.hpp"
#include "platform/file_system.hpp"
#include "program/console.hpp"
#include "program/run_status.hpp"

namespace tnx {

// convert_file()
//
// Converts `input` into the row file `output` ("-" for either: standard
// input, standard output) with the calls of `fs`, adding the console text
// and every failure's message and reason to `console`. Either every row
// reaches `output`, or a regular output is left as it was. `memory`:
// buffers to take over, given back for the next conversion.
[[nodiscard]] RunStatus convert_file(const char* input, const char* output,
                                     FileSystem& fs, Console& console,
                                     const ConversionSettings& settings,
                                     ConversionMemory& memory);

// The same, with buffers of its own.
[[nodiscard]] RunStatus convert_file(const char* input, const char* output,
                                     FileSystem& fs, Console& console,
                                     const ConversionSettings& settings = {});

}  // namespace tnx
