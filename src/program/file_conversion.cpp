#include "program/file_conversion.hpp"

#include <cerrno>
#include <cstring>

#include "engine/findings.hpp"
#include "program/decoding_io.hpp"
#include "program/encoding_io.hpp"
#include "program/findings_text.hpp"
#include "program/messages.hpp"
#include "program/output_file.hpp"

namespace tnx {
namespace {

// The input of a conversion, opened by name or standard input ("-"), and
// closed when the conversion ends; standard input is read, never closed.
class InputFile {
 public:
  // Opens `name` and identifies it; error() tells whether that failed.
  InputFile(FileSystem& fs, const char* name) : fs_(fs), text_(fs.io()) {
    error_ = open(name);
    if (error_ != 0) close();
  }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile() { close(); }

  // 0, or the errno value of the failure to open.
  [[nodiscard]] int error() const { return error_; }
  [[nodiscard]] const FileId& id() const { return id_; }
  // What the conversion reads: a file opened by name from its start;
  // standard input may start anywhere. A packed file is read as the
  // stream of the text it holds.
  [[nodiscard]] ConversionInput input() const {
    if (text_.format() == Compression::none) return {fd_, id_, owned_};
    FileId text = id_;
    text.kind = FileKind::other;
    text.size = 0;
    return {fd_, text, false};
  }
  // The calls that read the input: through its decoder when packed.
  [[nodiscard]] FileIo& io() {
    return text_.needed() ? static_cast<FileIo&>(text_) : fs_.io();
  }
  // The decoder's words for a damaged packed input, or empty.
  [[nodiscard]] std::string_view damage() const { return text_.reason(); }

  void close() {
    text_.stop();
    if (fd_ >= 0 && owned_) (void)fs_.io().close(fd_);
    fd_ = -1;
  }

 private:
  int open(const char* name) {
    if (std::strcmp(name, "-") == 0) {
      fd_ = STDIN_FD;
      owned_ = false;
    } else {
      const IoResult in = fs_.open_input(name);
      if (!in.ok()) return in.error;
      fd_ = static_cast<int>(in.value);
    }
    const IoResult known = fs_.io().identify(fd_, id_);
    if (!known.ok()) return known.error;
    // A directory opens for reading on POSIX systems, but holds no lines.
    if (id_.kind == FileKind::directory) return EISDIR;
    text_.sniff(fd_, owned_ && id_.kind == FileKind::regular);
    return 0;
  }

  FileSystem& fs_;
  int fd_ = -1;
  bool owned_ = true;
  FileId id_;
  int error_ = 0;
  DecodingIo text_;
};

// Whether writing to the standard stream `fd` would change `input`.
bool stream_changes_input(FileIo& io, int fd, const FileId& input) {
  FileId stream;
  return io.identify(fd, stream).ok() && writing_changes_input(stream, input);
}

// A live console writes to the standard streams themselves, so none of its
// text may land in the input (`tarnovelix a.dat out.ntp >> a.dat`): when
// standard output leads there, the text goes to standard error, and when
// that does too, nowhere. Returns false then.
bool keep_console_off_input(FileIo& io, Console& console, const FileId& input) {
  if (!console.is_live() || !stream_changes_input(io, STDOUT_FD, input)) {
    return true;
  }
  console.use_standard_error();
  if (!stream_changes_input(io, STDERR_FD, input)) return true;
  console.silence();
  return false;
}

// tell_failure(), noting in `record` a failure for want of memory.
void tell_failure(Console& console, std::string_view message,
                  std::string_view name, int error, ConversionRecord& record) {
  record.out_of_memory |= error == ENOMEM;
  tell_failure(console, message, name, error);
}

// Reports the output that could not be opened. Returns the status.
RunStatus output_not_opened(Console& console, const char* output,
                            const OutputFile& out, OutputStatus status,
                            ConversionRecord& record) {
  if (status == OutputStatus::same_as_input) {
    tell_refused_output(console, output, "same file as the input");
  } else {
    tell_failure(console, OUTPUT_NOT_OPENED, output, out.error(), record);
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
    tell_failure(console, OUTPUT_NOT_WRITTEN, output, write_error, record);
  }
  // A read that failed too is reported as well: both files need looking at.
  if (result.read_error != 0 && !damage.empty()) {
    tell_failure(console, INPUT_NOT_READ, input, damage);
  } else if (result.read_error != 0) {
    tell_failure(console, INPUT_NOT_READ, input, result.read_error, record);
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
                                const ConversionSettings& settings) {
  if (packing == Compression::none) {
    return convert(io, input, output, console, memory, settings);
  }
  EncodingIo packed(io, output.fd, packing);
  if (packed.error() != 0) return {0, packed.error()};
  ConversionResult result =
      convert(packed, input, output, console, memory, settings);
  if (result.read_error == 0 && result.write_error == 0) {
    result.write_error = packed.finish();
  }
  return result;
}

}  // namespace

RunStatus convert_file(const char* input, const char* output, FileSystem& fs,
                       Console& console, const ConversionSettings& settings) {
  ConversionMemory memory;
  ConversionRecord record;
  return convert_file(input, output, fs, console, settings, memory, record);
}

RunStatus convert_file(const char* input, const char* output, FileSystem& fs,
                       Console& console, const ConversionSettings& settings,
                       ConversionMemory& memory, ConversionRecord& record) {
  record = ConversionRecord();
  // A file that stops before it is read has no findings, whatever the
  // findings' owner noted of its earlier files.
  if (settings.findings != nullptr) *settings.findings = Findings();
  InputFile in(fs, input);
  if (in.error() != 0) {
    tell_failure(console, INPUT_NOT_OPENED, input, in.error(), record);
    return RunStatus::input_not_opened;
  }
  record.repeatable =
      in.input().from_start && in.id().kind == FileKind::regular;
  if (!keep_console_off_input(fs.io(), console, in.id())) {
    return RunStatus::streams_are_input;
  }
  const Compression packing = compression_of_name(output);
  if (packing != Compression::none && !can_encode(packing)) {
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
                     console, memory, settings);
  // Closing stops the decoder's thread, which sets the damage's words.
  in.close();
  const std::string_view damage = in.damage();
  // What the input held that gave no rows or changed, as far as it was
  // read, goes before any failure.
  if (settings.findings != nullptr) {
    tell_findings(console, input, *settings.findings);
  }
  return finish(console, input, output, out, result, damage, record);
}

}  // namespace tnx
