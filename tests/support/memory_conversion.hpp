// A whole conversion of bytes held in memory through the engine, as a run
// makes it of a file opened by name or of standard input: the text the
// header pass hands on, the row file, and what the conversion reports.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/conversion.hpp"

namespace tnx::test {

struct MemoryConversion {
  ConversionResult result;
  std::string text;
  std::string rows;
  // Descriptors still open once the input and the row file are closed: a
  // scratch file left open shows here.
  std::size_t open_descriptors = 0;
};

// Where the input comes from, and what becomes of its reads.
struct MemoryInput {
  // On standard input (read once, never again by offset), not by name.
  bool standard_input = false;
  // A read call that starts at this offset fails with EIO.
  std::size_t read_error_at = SIZE_MAX;
  // When not SIZE_MAX, the size a regular input reports.
  std::size_t reported_size = SIZE_MAX;
};

// convert_in_memory()
//
// Converts `input` into a regular row file with `settings`, through
// `memory` when it is given (buffers of its own otherwise), handing
// `notes`, when given, what the passes met (see convert()).
[[nodiscard]] MemoryConversion convert_in_memory(
    std::string_view input, const ConversionSettings& settings,
    const MemoryInput& how = {}, ConversionMemory* memory = nullptr,
    PassNotes* notes = nullptr);

}  // namespace tnx::test
