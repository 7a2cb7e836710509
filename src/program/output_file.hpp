// Where the rows of a run go. A row file named as a regular file, new or
// existing, is written under a temporary name in the same folder and renamed
// over its name only once every row is written and the file is closed: a
// run that fails or is interrupted leaves the output as it was. Devices,
// pipes and terminals are written directly, and so is standard output, for
// "-" or for a name that leads to the file standard output already is.
#pragma once

#include <string>

#include "platform/file_system.hpp"

namespace tnx {

enum class OutputStatus { ok, same_as_input, failed };

// writing_changes_input()
//
// Whether writing to `file` would change the `input` read from it: the
// same regular file or pipe. One terminal or one socket read and written
// is plain interactive use, or a service started with its connection as
// standard input and output; a device takes what is written without harm.
[[nodiscard]] bool writing_changes_input(const FileId& file,
                                         const FileId& input);

class OutputFile {
 public:
  explicit OutputFile(FileSystem& fs) : fs_(fs) {}
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  // An output not committed is discarded.
  ~OutputFile() { discard(); }

  // open()
  //
  // Settles where the rows for `name` go and opens it for writing. An
  // output that is the same regular file or pipe as `input` is refused
  // before anything is created or changed (one terminal or socket may be
  // both). On failure error() gives the errno value.
  [[nodiscard]] OutputStatus open(const char* name, const FileId& input);

  [[nodiscard]] int fd() const { return fd_; }
  // What the rows are written to: a regular file (a temporary one, most
  // often), or another kind of file.
  [[nodiscard]] FileKind kind() const { return kind_; }
  // Whether the rows go to standard output, where the console text must not.
  [[nodiscard]] bool is_standard_output() const {
    return mode_ == Mode::standard_output;
  }
  [[nodiscard]] int error() const { return error_; }

  // commit()
  //
  // Every row is written: closes the file and, for a temporary one, renames
  // it over the output. Returns false when that fails (error() tells); a
  // temporary file is then removed and the output is as it was.
  [[nodiscard]] bool commit();

  // Drops the rows: a temporary file is closed and removed. Rows written
  // directly to a device or pipe are gone already.
  void discard();

 private:
  enum class Mode { none, temporary, direct, standard_output };

  OutputStatus replace(const char* name, const FileInfo* existing);
  OutputStatus write_directly(const char* name, const FileInfo* existing);
  OutputStatus fail(int error) {
    error_ = error;
    return OutputStatus::failed;
  }

  FileSystem& fs_;
  Mode mode_ = Mode::none;
  int fd_ = -1;
  FileKind kind_ = FileKind::other;
  int error_ = 0;
  // For Mode::temporary: the file written, and the one it replaces.
  std::string temporary_;
  std::string target_;
};

}  // namespace tnx
