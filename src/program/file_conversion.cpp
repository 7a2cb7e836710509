#include "program/file_conversion.hpp"

#include <cerrno>
#include <cstring>

#include "engine/report/findings.hpp"
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
  InputFile(FileSystem& fs, const char* name) : fs_(fs) {
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
  // standard input may start anywhere.
  [[nodiscard]] ConversionInput input() const { return {fd_, id_, owned_}; }

  void close() {
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
    return id_.kind == FileKind::directory ? EISDIR : 0;
  }

  FileSystem& fs_;
  int fd_ = -1;
  bool owned_ = true;
  FileId id_;
  int error_ = 0;
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
                 ConversionRecord& record) {
  int write_error = result.write_error;
  if (write_error == 0 && result.read_error == 0 && !out.commit()) {
    write_error = out.error();
  }
  if (write_error != 0) {
    tell_failure(console, OUTPUT_NOT_WRITTEN, output, write_error, record);
  }
  // A read that failed too is reported as well: both files need looking at.
  if (result.read_error != 0) {
    tell_failure(console, INPUT_NOT_READ, input, result.read_error, record);
  }
  if (write_error != 0) return RunStatus::write_failed;
  return result.read_error != 0 ? RunStatus::read_failed : RunStatus::ok;
}

}  // namespace

RunStatus convert_file(const char* input, const char* output, FileSystem& fs,
                       Console& console, const ConversionSettings& settings,
                       Findings* findings) {
  ConversionMemory memory;
  ConversionRecord record;
  return convert_file(input, output, fs, console, settings, findings, memory,
                      record);
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
    tell_failure(console, INPUT_NOT_OPENED, input, in.error(), record);
    return RunStatus::input_not_opened;
  }
  record.repeatable =
      in.input().from_start && in.id().kind == FileKind::regular;
  if (!keep_console_off_input(fs.io(), console, in.id())) {
    return RunStatus::streams_are_input;
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
      convert(fs.io(), in.input(), {out.fd(), out.kind()}, console, memory,
              settings, findings);
  in.close();
  // What the input held that gave no rows or changed, as far as it was
  // read, goes before any failure.
  if (findings != nullptr) tell_findings(console, input, *findings);
  return finish(console, input, output, out, result, record);
}

}  // namespace tnx
