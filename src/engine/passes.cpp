// The passes every product shares: the header pass, its long lines, and
// the reads sized for the input.
#include "engine/passes.hpp"

#include <algorithm>
#include <utility>

#include "engine/header.hpp"

namespace tnx {
namespace {

// A header line longer than the input buffer, from its first piece in
// `line` on. Returns 0 or the errno value of a failed read.
int handle_header_in_pieces(LineReader& reader, Line& line,
                            ColumnTables& tables, TextOutput& text,
                            InputAgain input, std::size_t hold) {
  LongHeaderLine header(tables, text, input, reader.offset_of(line.text), hold);
  for (ReadStatus status = ReadStatus::piece;;) {
    const bool last = status == ReadStatus::line;
    if (const int error = header.add(line, last); error != 0) return error;
    if (last) return 0;
    // The rest of a line that can change nothing more is passed over.
    if (header.done()) {
      return reader.pass_over_rest_of_line() ? 0 : reader.error();
    }
    status = reader.next_piece(line);
    if (status == ReadStatus::error) return reader.error();
  }
}

// Hands line `number`, from its first piece or whole line in `line` on, to
// `texts` piece by piece and consumes it. Returns 0 or the errno value of a
// failed read.
int keep_line_text(LineReader& reader, Line& line, ReadStatus status,
                   std::uint64_t number, HeaderTextSink& texts) {
  for (;;) {
    const bool last = status == ReadStatus::line;
    texts.add(number, std::string_view(line.text, line.size), last);
    if (last) return 0;
    status = reader.next_piece(line);
    if (status == ReadStatus::error) return reader.error();
  }
}

// The line after the header, whose text only `texts` may want. Returns 0 or
// the errno value of a failed read.
int drop_line(LineReader& reader, Line& line, ReadStatus status,
              HeaderTextSink* texts) {
  if (texts != nullptr) {
    return keep_line_text(reader, line, status, HEADER_LINES + 1, *texts);
  }
  if (status == ReadStatus::piece && !reader.pass_over_rest_of_line()) {
    return reader.error();
  }
  return 0;
}

}  // namespace

std::size_t read_size(const ConversionInput& input, std::size_t block_size) {
  if (input.id.kind != FileKind::regular || input.id.size >= block_size) {
    return block_size;
  }
  return std::max(static_cast<std::size_t>(input.id.size) + 1,
                  std::min(block_size, MIN_BLOCK_SIZE));
}

int run_header_pass(LineReader& reader, ColumnTables& tables, TextOutput& text,
                    InputAgain input, std::size_t hold, PassNotes* notes,
                    HeaderTextSink* texts) {
  Line line;
  for (int count = 0; count <= HEADER_LINES; ++count) {
    const ReadStatus status = reader.next(line);
    if (status == ReadStatus::end) break;
    if (status == ReadStatus::error) return reader.error();
    if (count == HEADER_LINES) {
      if (const int error = drop_line(reader, line, status, texts);
          error != 0) {
        return error;
      }
      continue;
    }
    const auto number = static_cast<std::uint64_t>(count) + 1;
    // A comment line changes nothing and echoes nothing, in pieces or not.
    const bool comment =
        texts != nullptr && line.size != 0 && line.text[0] == '#';
    const int summaries = tables.summaries;
    if (status == ReadStatus::line) {
      handle_header_line(line, tables, text);
      if (comment)
        texts->add(number, std::string_view(line.text, line.size), true);
    } else if (const int error =
                   comment
                       ? keep_line_text(reader, line, status, number, *texts)
                       : handle_header_in_pieces(reader, line, tables, text,
                                                 input, hold);
               error != 0) {
      return error;
    }
    if (notes == nullptr) continue;
    // A points or events line adds its summary: the line's number and
    // what it read go to the report.
    if (tables.summaries != summaries) {
      const ColumnTables::Count& read =
          tables.counts[static_cast<std::size_t>(summaries)];
      notes->header_line(number, read.keyword, read.count);
    }
    // A line in pieces, like a data line, is seen through its numbers only.
    if (status == ReadStatus::line) notes->header_text(line, number);
  }
  if (notes != nullptr) notes->header_over(tables);
  return 0;
}

InputPasses::InputPasses(FileIo& io, const ConversionInput& input,
                         const ConversionSettings& settings, InputBuffer buffer)
    : block_size_(read_size(input, settings.block_size)),
      hold_(settings.line_limit),
      reader_(io, input.fd, block_size_, std::move(buffer),
              settings.line_limit),
      again_{&io, input.from_start && input.id.kind == FileKind::regular
                      ? input.fd
                      : -1} {}

}  // namespace tnx
