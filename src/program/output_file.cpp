// Where the rows of a run go, and putting the row file in place.
#include "program/output_file.hpp"

#include <cerrno>
#include <cstring>

namespace tnx {

// Rows written to the input would empty a regular file before it is read,
// and feed a pipe its own rows back as lines, without end.
bool writing_changes_input(const FileId& file, const FileId& input) {
  return file.same_file(input) && file.kind != FileKind::device &&
         file.kind != FileKind::socket;
}

OutputStatus OutputFile::open(const char* name, const FileId& input) {
  // An empty name opens nothing: refused before a row is converted, as the
  // system refuses to open it.
  if (name[0] == '\0') return fail(ENOENT);
  FileInfo standard_output;
  const bool has_standard_output =
      fs_.identify(STDOUT_FD, standard_output).ok();
  if (std::strcmp(name, "-") == 0) {
    if (has_standard_output &&
        writing_changes_input(standard_output.id, input)) {
      return OutputStatus::same_as_input;
    }
    mode_ = Mode::standard_output;
    fd_ = STDOUT_FD;
    kind_ = has_standard_output ? standard_output.id.kind : FileKind::other;
    return OutputStatus::ok;
  }
  FileInfo existing;
  const IoResult found = fs_.inspect(name, existing);
  if (!found.ok()) {
    return found.error == ENOENT ? replace(name, nullptr) : fail(found.error);
  }
  if (writing_changes_input(existing.id, input))
    return OutputStatus::same_as_input;
  if (has_standard_output && existing.id.kind != FileKind::device &&
      existing.id.same_file(standard_output.id)) {
    // /dev/stdout, or the file standard output was sent to: writing rows
    // there through a name of their own would overwrite the console text,
    // or the earlier content of a file opened for appending. Devices are
    // left out: what goes to /dev/null or a terminal cannot overwrite
    // anything, and `x.dat /dev/null >/dev/null` must stay quiet.
    mode_ = Mode::standard_output;
    fd_ = STDOUT_FD;
    kind_ = existing.id.kind;
    return OutputStatus::ok;
  }
  switch (existing.id.kind) {
    case FileKind::directory: return fail(EISDIR);
    case FileKind::regular:
      // A row file its owner made read-only is not replaced behind their
      // back, just as it could not be opened for writing; the reason is the
      // system's own ("Read-only file system" where nothing can be written).
      return existing.write_error == 0 ? replace(name, &existing)
                                       : fail(existing.write_error);
    case FileKind::device:
    case FileKind::socket:
    case FileKind::other: return write_directly(name, &existing);
  }
  return fail(EINVAL);
}

OutputStatus OutputFile::replace(const char* name, const FileInfo* existing) {
  // Through symbolic links: the link stays, the file it leads to is new.
  IoResult r = fs_.resolve_links(name, target_);
  if (!r.ok()) return fail(r.error);
  r = fs_.create_temporary(target_, existing != nullptr, temporary_);
  if (!r.ok()) {
    // A folder that takes no new file may still hold a writable row file;
    // it is then written in place, as it always was.
    const bool folder_closed =
        r.error == EACCES || r.error == EPERM || r.error == EROFS;
    return folder_closed && existing != nullptr ? write_directly(name, existing)
                                                : fail(r.error);
  }
  mode_ = Mode::temporary;
  fd_ = static_cast<int>(r.value);
  kind_ = FileKind::regular;
  if (existing != nullptr) fs_.copy_permissions(fd_, *existing);
  return OutputStatus::ok;
}

OutputStatus OutputFile::write_directly(const char* name,
                                        const FileInfo* existing) {
  const IoResult r = fs_.open_output(name);
  if (!r.ok()) return fail(r.error);
  mode_ = Mode::direct;
  fd_ = static_cast<int>(r.value);
  FileInfo info;
  IoResult known = fs_.identify(fd_, info);
  const FileId& opened = info.id;
  // A regular file's name may have changed hands since it was looked at.
  // (Devices have no lasting identity to compare.)
  if (known.ok() && existing != nullptr &&
      existing->id.kind == FileKind::regular &&
      !opened.same_file(existing->id)) {
    known = IoResult{0, EAGAIN};
  }
  // Devices and pipes have nothing to truncate, and neither has an empty
  // file. Truncating a file that is already empty is not free: ext4 then
  // flushes the whole file on close.
  if (known.ok() && opened.kind == FileKind::regular && opened.size > 0) {
    known = fs_.truncate(fd_);
  }
  if (!known.ok()) {
    discard();
    return fail(known.error);
  }
  kind_ = opened.kind;
  return OutputStatus::ok;
}

bool OutputFile::commit() {
  const Mode mode = mode_;
  mode_ = Mode::none;
  if (mode == Mode::none || mode == Mode::standard_output) return true;
  const IoResult r = mode == Mode::temporary
                         ? fs_.install(fd_, temporary_, target_)
                         : fs_.io().close(fd_);
  fd_ = -1;
  error_ = r.error;
  return r.ok();
}

void OutputFile::discard() {
  const Mode mode = mode_;
  mode_ = Mode::none;
  if (mode == Mode::none || mode == Mode::standard_output) return;
  if (mode == Mode::temporary) {
    fs_.discard(fd_, temporary_);
  } else {
    (void)fs_.io().close(fd_);
  }
  fd_ = -1;
}

}  // namespace tnx
