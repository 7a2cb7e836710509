// The summary line of a batch and its count of files with findings.
#include "program/batch_summary.hpp"

#include <charconv>
#include <string_view>

#include "program/console.hpp"

namespace tnx {
namespace {

// "N" of a count, as text.
std::string_view count_text(std::size_t count, char (&buffer)[24]) {
  const char* end = std::to_chars(buffer, buffer + sizeof buffer, count).ptr;
  return {buffer, static_cast<std::size_t>(end - buffer)};
}

}  // namespace

void write_summary(FileIo& io, int fd, bool at_line_start,
                   const BatchConfig& config, std::size_t total,
                   std::size_t failed, std::size_t with_findings) {
  char numbers[3][24];
  ConsoleWriter text(io, fd);
  if (!at_line_start) text.add("\n");
  text.add("\n== ");
  text.add(count_text(total, numbers[0]));
  text.add(" files: ");
  text.add(count_text(total - failed, numbers[1]));
  text.add(" converted, ");
  text.add(count_text(failed, numbers[2]));
  text.add(" failed\n");
  text.flush();
  if (config.report) {
    // The count of files the report found something in, beside the
    // summary: standard output stays as it is without --report.
    ConsoleWriter errors(io, STDERR_FD);
    errors.add("tarnovelix: ");
    errors.add(count_text(with_findings, numbers[0]));
    errors.add(" of ");
    errors.add(count_text(total, numbers[1]));
    errors.add(" files had findings\n");
  }
}

}  // namespace tnx
