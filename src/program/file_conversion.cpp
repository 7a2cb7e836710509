// One input file into one row file: open, convert, put in place, and tell
// each failure.
#include "program/file_conversion.hpp"

#include <cerrno>
#include <string_view>
#include <utility>

#include "engine/report/findings.hpp"
#include "program/encoding_io.hpp"
#include "program/findings_text.hpp"
#include "program/input_file.hpp"
#include "program/messages.hpp"
#include "program/output_file.hpp"

namespace tnx {
namespace {

// Whether writing to the standard stream `fd` would change `input`.
bool stream_changes_input(FileSystem& fs, int fd, const FileId& input) {
  FileInfo stream;
  return fs.identify(fd, stream).ok() &&
         writing_changes_input(stream.id, input);
}

// A live console writes to the standard streams themselves, so none of its
// text may land in the input (`tarnovelix a.dat out.ntp >> a.dat`): when
// standard output leads there, the text goes to standard error, and when
// that does too, nowhere. Returns false then.
bool keep_console_off_input(FileSystem& fs, Console& console,
                            const FileId& input) {
  if (!console.is_live() || !stream_changes_input(fs, STDOUT_FD, input)) {
    return true;
  }
  console.use_standard_error();
  if (!stream_changes_input(fs, STDERR_FD, input)) return true;
  console.silence();
  return false;
}

// The reason of an output refused because it is the input.
constexpr std::string_view SAME_AS_INPUT = "same file as the input";

// Notes the failure of `file` in `record` unless one was noted before: the
// first failure told is the one the status reports.
void note_failure(ConversionRecord& record, FailedFile file, int error,
                  std::string_view reason) {
  if (record.failure.file != FailedFile::none) return;
  record.failure = {file, error, std::string(reason)};
}

// tell_failure(), noting the failure of `file` in `record`.
void tell_failure(Console& console, FailedFile file, std::string_view message,
                  std::string_view name, int error, ConversionRecord& record) {
  record.out_of_memory |= error == ENOMEM;
  note_failure(record, file, error, error_text(error));
  tell_failure(console, message, name, error);
}

// Reports the output that could not be opened. Returns the status.
RunStatus output_not_opened(Console& console, const char* output,
                            const OutputFile& out, OutputStatus status,
                            ConversionRecord& record) {
  if (status == OutputStatus::same_as_input) {
    note_failure(record, FailedFile::output, EINVAL, SAME_AS_INPUT);
    tell_refused_output(console, output, SAME_AS_INPUT);
  } else {
    tell_failure(console, FailedFile::output, OUTPUT_NOT_OPENED, output,
                 out.error(), record);
  }
  return RunStatus::output_not_opened;
}

// Puts the row file in place when every row was converted and written,
// and tells each failure. Returns the status.
RunStatus finish(Console& console, const char* input, const char* output,
                 OutputFile& out, const ConversionResult& result,
                 std::string_view damage, ConversionRecord& record) {
  int write_error = result.write_error;
  if (write_error == 0 && result.read_error == 0 && !out.commit()) {
    write_error = out.error();
  }
  if (write_error != 0) {
    tell_failure(console, FailedFile::output, OUTPUT_NOT_WRITTEN, output,
                 write_error, record);
  }
  // A read that failed too is reported as well: both files need looking at.
  if (result.read_error != 0 && !damage.empty()) {
    note_failure(record, FailedFile::input, result.read_error, damage);
    tell_failure(console, INPUT_NOT_READ, input, damage);
  } else if (result.read_error != 0) {
    tell_failure(console, FailedFile::input, INPUT_NOT_READ, input,
                 result.read_error, record);
  }
  if (write_error != 0) return RunStatus::write_failed;
  return result.read_error != 0 ? RunStatus::read_failed : RunStatus::ok;
}

// Why a row file named as packed in a format this build does not write is
// refused: never plain text under a packed name.
#ifdef TNX_WITH_ZSTD
constexpr std::string_view PACKED_OUTPUT_REFUSED =
    "row files are written packed as .gz or .zst only";
#else
constexpr std::string_view PACKED_OUTPUT_REFUSED =
    "row files are written packed as .gz only";
#endif

// convert() into a row file packed with `packing` (none: plain), the
// packed stream ended once every row is in.
ConversionResult convert_packed(FileIo& io, const ConversionInput& input,
                                const ConversionOutput& output,
                                Compression packing, Console& console,
                                ConversionMemory& memory,
                                const ConversionSettings& settings,
                                Findings* findings) {
  if (packing == Compression::none) {
    return convert(io, input, output, console, memory, settings, findings);
  }
  EncodingIo packed(io, output.fd, packing);
  if (packed.error() != 0) return {0, packed.error()};
  ConversionResult result =
      convert(packed, input, output, console, memory, settings, findings);
  if (result.read_error == 0 && result.write_error == 0) {
    result.write_error = packed.finish();
  }
  return result;
}

}  // namespace

ConversionOutcome convert_file(const char* input, const char* output,
                               FileSystem& fs, Console& console,
                               const ConversionSettings& settings,
                               Findings* findings) {
  ConversionMemory memory;
  ConversionRecord record;
  const RunStatus status = convert_file(input, output, fs, console, settings,
                                        findings, memory, record);
  return {status, std::move(record.failure)};
}

RunStatus convert_file(const char* input, const char* output, FileSystem& fs,
                       Console& console, const ConversionSettings& settings,
                       Findings* findings, ConversionMemory& memory,
                       ConversionRecord& record) {
  record = ConversionRecord();
  // A file that stops before it is read has no findings, whatever the
  // findings' owner noted of its earlier files.
  if (findings != nullptr) *findings = Findings();
  InputFile in(fs, input);
  if (in.error() != 0) {
    tell_failure(console, FailedFile::input, INPUT_NOT_OPENED, input,
                 in.error(), record);
    return RunStatus::input_not_opened;
  }
  record.repeatable =
      in.input().from_start && in.id().kind == FileKind::regular;
  if (!keep_console_off_input(fs, console, in.id())) {
    return RunStatus::streams_are_input;
  }
  const Compression packing = compression_of_name(output);
  if (packing != Compression::none && !can_encode(packing)) {
    note_failure(record, FailedFile::output, EINVAL, PACKED_OUTPUT_REFUSED);
    tell_refused_output(console, output, PACKED_OUTPUT_REFUSED);
    return RunStatus::output_not_opened;
  }
  OutputFile out(fs);
  if (const OutputStatus status = out.open(output, in.id());
      status != OutputStatus::ok) {
    return output_not_opened(console, output, out, status, record);
  }
  if (out.is_standard_output()) console.use_standard_error();
  record.repeatable &=
      out.kind() == FileKind::regular && !out.is_standard_output();

  const ConversionResult result =
      convert_packed(in.io(), in.input(), {out.fd(), out.kind()}, packing,
                     console, memory, settings, findings);
  // Closing stops the decoder's thread, which sets the damage's words.
  in.close();
  const std::string_view damage = in.damage();
  // What the input held that gave no rows or changed, as far as it was
  // read, goes before any failure.
  if (findings != nullptr) tell_findings(console, input, *findings);
  return finish(console, input, output, out, result, damage, record);
}

}  // namespace tnx
