// The files of the operating system as the program sees them: by name. A
// FileSystem opens, inspects, creates and replaces files by their names, the
// calls behind the program's safe output (a temporary file renamed over the
// output once complete), and hands out the FileIo that reads and writes the
// files it opened. Every call of a run goes through one, so tests can
// substitute one that fails any chosen call.
#pragma once

#include <cstdint>
#include <string>

#include "engine/file_io.hpp"

namespace tnx {

// A file as the program's output policy sees it: its identity, and what a
// row file that replaces it keeps of it.
struct FileInfo {
  FileId id;
  // Permission bits and owner, as a replacement of the file keeps them.
  std::uint32_t mode = 0;
  std::uint32_t owner = 0;
  std::uint32_t group = 0;
  // 0 when this program may write the file, otherwise the errno value of
  // the refusal (EACCES, or EROFS on a read-only file system); known from
  // inspect() only.
  int write_error = 0;
};

class FileSystem {
 public:
  // The calls on the files this file system opened, and on the standard
  // streams.
  [[nodiscard]] virtual FileIo& io() = 0;

  // Describes the file open at `fd` (write_error, which only a look at a
  // name tells, aside).
  virtual IoResult identify(int fd, FileInfo& info) = 0;
  // Opens an existing file for reading.
  virtual IoResult open_input(const char* name) = 0;
  // Opens an existing file for writing, never truncating it: the caller
  // truncates only once it knows the file is not the input.
  virtual IoResult open_output(const char* name) = 0;
  // Identifies the file `name` leads to, through symbolic links, with the
  // write_error of this program; ENOENT when there is none.
  virtual IoResult inspect(const char* name, FileInfo& info) = 0;
  // Sets `target` to the name of the file that the symbolic links starting
  // at `name` lead to, which may not exist yet; `name` itself when it is no
  // link. Replacing `target` replaces what `name` shows, and keeps the links.
  virtual IoResult resolve_links(const char* name, std::string& target) = 0;
  // Creates a new, empty file for writing that is to become `target`, in
  // its folder, with the permissions a new file gets there; `replacing`
  // when `target` is a row file that exists. `temporary` receives its name,
  // or stays empty where the system can make a file without a name (then
  // nothing is left of it if the program dies). Until install() or
  // discard() takes it, an interrupt of the program removes a named one.
  virtual IoResult create_temporary(const std::string& target, bool replacing,
                                    std::string& temporary) = 0;
  // Gives the file open at `fd` the permission bits of `from`, and its owner
  // where that is allowed. Failures are not the run's: the rows are written
  // whatever the permissions.
  virtual void copy_permissions(int fd, const FileInfo& from) = 0;
  // Puts the temporary file open at `fd` in the place of `target`, in one
  // step, and closes it. A named one is closed first, so that a failed
  // close leaves `target` as it was, then renamed over `target`; one
  // without a name is given the name `target`, or, where `target` exists,
  // a hidden name just before it is closed and renamed over `target`,
  // which no interrupt leaves behind. On failure the temporary file is
  // closed and gone.
  virtual IoResult install(int fd, const std::string& temporary,
                           const std::string& target) = 0;
  // Closes the temporary file open at `fd` and removes it.
  virtual void discard(int fd, const std::string& temporary) = 0;
  // Empties the file open at `fd`, a row file written in place.
  virtual IoResult truncate(int fd) = 0;
  // Creates the folder `name` (not its parents); EEXIST when there is one.
  virtual IoResult make_directory(const char* name) = 0;

 protected:
  FileSystem() = default;
  FileSystem(const FileSystem&) = default;
  FileSystem& operator=(const FileSystem&) = default;
  ~FileSystem() = default;
};

// The operating system's own calls.
[[nodiscard]] FileSystem& system_file_system();

// error_text()
//
// The system's own text for an errno value ("No such file or directory").
[[nodiscard]] std::string error_text(int error);

}  // namespace tnx
