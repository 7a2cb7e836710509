// The files of POSIX systems: the plain system calls, the calls on open
// files (PosixFileIo) apart from those on names (PosixFileSystem).
// Temporary row files are made without a name where the system can, and a
// named one is guarded against signals through interrupt_cleanup.hpp.
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string_view>

#include "platform/call_result.hpp"
#include "platform/file_names.hpp"
#include "platform/file_system.hpp"
#include "platform/interrupt_cleanup.hpp"

namespace tnx {
namespace {

// The folder part of `name`, with its slash; empty for a bare name.
std::string folder_of(const std::string& name) {
  return name.substr(0, folder_length(name));
}

// Whether renaming a new file over `target` would be refused although the
// file itself may be written: in a sticky folder (mode 1777, such as /tmp),
// only the owner of a file or of the folder, or the superuser, may replace
// or remove it. Known before any row is converted, so the run can write the
// file in place instead of failing at the very end.
bool rename_refused_by_sticky_folder(const std::string& target) {
  const uid_t self = ::geteuid();
  if (self == 0) return false;
  const std::string folder = folder_of(target);
  struct stat dir {};
  if (::stat(folder.empty() ? "." : folder.c_str(), &dir) != 0) return false;
  if ((dir.st_mode & S_ISVTX) == 0 || dir.st_uid == self) return false;
  struct stat file {};
  return ::stat(target.c_str(), &file) == 0 && file.st_uid != self;
}

void describe(const struct stat& st, FileInfo& info) {
  FileId& id = info.id;
  id.device = static_cast<std::uint64_t>(st.st_dev);
  id.inode = static_cast<std::uint64_t>(st.st_ino);
  id.size = static_cast<std::uint64_t>(st.st_size);
  info.mode = static_cast<std::uint32_t>(st.st_mode & 07777);
  info.owner = static_cast<std::uint32_t>(st.st_uid);
  info.group = static_cast<std::uint32_t>(st.st_gid);
  id.kind = S_ISREG(st.st_mode)                          ? FileKind::regular
            : S_ISDIR(st.st_mode)                        ? FileKind::directory
            : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? FileKind::device
            : S_ISSOCK(st.st_mode)                       ? FileKind::socket
                                                         : FileKind::other;
}

// A hidden name beside `target`, unique to this process and call. The
// process is asked each time: a child made by fork() goes on counting from
// its parent's count.
std::string hidden_name(const std::string& target, bool shortened) {
  static std::atomic<unsigned> counter{0};
  return hidden_temporary_name(target, static_cast<std::uint64_t>(::getpid()),
                               counter.fetch_add(1), shortened);
}

// Makes the file at `link_from` (or a new one, when it is null) appear
// under a hidden name beside `target`; when `guarded`, an interrupt removes
// it (otherwise the caller holds every signal back). Returns the
// descriptor, or the link's 0. A file system whose names are shorter than
// usual gets the shortened form of the hidden name.
IoResult create_named(const std::string& target, std::string& temporary,
                      const char* link_from, bool guarded) {
  bool shortened = false;
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = hidden_name(target, shortened);
    // Guarded before it exists, so no signal can come between the two.
    // Nothing between the guard and temporary_created() allocates or
    // locks: a signal's handler on another thread may wait for this
    // creation to finish.
    if (guarded) guard_temporary(temporary);
    const IoResult r =
        link_from == nullptr
            ? from_call(::open(temporary.c_str(),
                               O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666))
            : from_call(::linkat(AT_FDCWD, link_from, AT_FDCWD,
                                 temporary.c_str(), AT_SYMLINK_FOLLOW));
    if (guarded) temporary_created();
    if (r.ok()) return r;
    if (guarded) release_temporary();
    if (r.error == ENAMETOOLONG && !shortened) {
      shortened = true;
    } else if (r.error != EEXIST) {
      return r;
    }
  }
  return IoResult{0, EEXIST};
}

// Closes the named temporary file open at `fd`, so that a failed close
// leaves `target` as it was, and renames it over `target`; removes it when
// either fails.
IoResult close_and_rename(int fd, const std::string& temporary,
                          const std::string& target) {
  IoResult r = from_call(::close(fd));
  if (r.ok()) r = from_call(::rename(temporary.c_str(), target.c_str()));
  if (!r.ok()) (void)::unlink(temporary.c_str());
  return r;
}

// Whether the calling thread is its process's only one. Linux counts a
// process's threads in the links of its task folder: two, and one per
// thread. Then no other thread can start while this one is busy, and a
// signal it holds back reaches no other thread.
bool is_only_thread() {
  struct stat task {};
  return ::stat("/proc/self/task", &task) == 0 && task.st_nlink == 3;
}

// Holds every signal back from this thread while it lives, but SIGKILL and
// SIGSTOP, which no program can; one that comes meanwhile takes effect at
// the end.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t all;
    ::sigfillset(&all);
    (void)::pthread_sigmask(SIG_BLOCK, &all, &previous_);
  }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;
  ~SignalsHeld() { (void)::pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

 private:
  sigset_t previous_;
};

// Links the file without a name at `self` under a hidden name beside
// `target`, closes `fd` and renames the file over `target`.
IoResult link_and_rename(int fd, const std::string& self,
                         const std::string& target, bool guarded) {
  std::string temporary;
  IoResult r = create_named(target, temporary, self.c_str(), guarded);
  if (!r.ok()) {
    (void)::close(fd);
    return r;
  }
  r = close_and_rename(fd, temporary, target);
  if (guarded) release_temporary();
  return r;
}

// Replaces `target` by the file without a name open at `fd` (`self`) and
// closes it. Only a name can be renamed over another, so the file gets a
// hidden name for the three calls that link, close and rename it, and no
// signal may end the program in between and leave that name. The only
// thread of a process holds every signal back meanwhile: two calls, where
// guarding the name would install a handler for every signal, about 55 for
// a run that converts one small file. A thread among others guards the name
// instead, since a signal may end the process on any of them.
IoResult replace_with(int fd, const std::string& self,
                      const std::string& target) {
  if (is_only_thread()) {
    const SignalsHeld held;
    return link_and_rename(fd, self, target, false);
  }
  return link_and_rename(fd, self, target, true);
}

// Gives the file without a name open at `fd` the name `target`, and closes
// it. A failed close must leave `target` as it was, but a file without a
// name can only be linked while open: it is linked, then closed, and taken
// away again if the close fails (the name was free, or the link would have
// failed). A `target` that exists, a row file replaced or one that has come
// into being since it was found missing, is replaced.
IoResult link_in(int fd, const std::string& target) {
  // The name the system gives the file open at `fd`.
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  IoResult r = from_call(::linkat(AT_FDCWD, self.c_str(), AT_FDCWD,
                                  target.c_str(), AT_SYMLINK_FOLLOW));
  if (r.ok()) {
    r = from_call(::close(fd));
    if (!r.ok()) (void)::unlink(target.c_str());
    return r;
  }
  if (r.error != EEXIST) {
    (void)::close(fd);
    return r;
  }
  return replace_with(fd, self, target);
}

// The calls on open files.
class PosixFileIo final : public FileIo {
 public:
  IoResult create_scratch() override {
    // TMPDIR, as every command-line tool takes it, else /tmp.
    const char* tmp = std::getenv("TMPDIR");
    const std::string folder = tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp";
#ifdef O_TMPFILE
    const int fd = ::open(folder.c_str(), O_RDWR | O_TMPFILE | O_CLOEXEC, 0600);
    if (fd >= 0) return IoResult{fd, 0};
#endif
    // A name for as long as it takes to remove it, guarded meanwhile.
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::string name = folder + "/.tnx-scratch-" +
                               std::to_string(::getpid()) + "-" +
                               std::to_string(counter.fetch_add(1));
      guard_temporary(name);
      const IoResult r = from_call(
          ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
      temporary_created();
      if (r.ok()) (void)::unlink(name.c_str());
      release_temporary();
      if (r.ok() || r.error != EEXIST) return r;
    }
    return IoResult{0, EEXIST};
  }

  IoResult read(int fd, char* buffer, std::size_t size) override {
    return from_call(::read(fd, buffer, size));
  }

  IoResult read_at(int fd, char* buffer, std::size_t size,
                   std::uint64_t offset) override {
    if (offset >
        static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
      return IoResult{0, EINVAL};
    }
    return from_call(::pread(fd, buffer, size, static_cast<off_t>(offset)));
  }

  IoResult write(int fd, const char* data, std::size_t size) override {
    return from_call(::write(fd, data, size));
  }

  IoResult close(int fd) override { return from_call(::close(fd)); }

  // The system takes calls from any thread.
  [[nodiscard]] bool takes_writes_from_other_threads() const override {
    return true;
  }
};

// The calls on names.
class PosixFileSystem final : public FileSystem {
 public:
  FileIo& io() override { return io_; }

  IoResult open_input(const char* name) override {
    return from_call(::open(name, O_RDONLY | O_CLOEXEC));
  }

  IoResult open_output(const char* name) override {
    // Without O_CREAT: the file exists already, and a system that protects
    // other users' files in sticky folders (fs.protected_regular) refuses
    // O_CREAT there even for a file this user may write.
    return from_call(::open(name, O_WRONLY | O_CLOEXEC));
  }

  IoResult identify(int fd, FileInfo& info) override {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return IoResult{0, errno};
    describe(st, info);
    return IoResult{};
  }

  IoResult inspect(const char* name, FileInfo& info) override {
    struct stat st {};
    if (::stat(name, &st) != 0) return IoResult{0, errno};
    describe(st, info);
    info.write_error =
        ::faccessat(AT_FDCWD, name, W_OK, AT_EACCESS) == 0 ? 0 : errno;
    return IoResult{};
  }

  IoResult resolve_links(const char* name, std::string& target) override {
    target = name;
    // As many links as the system itself follows in one name.
    for (int hops = 0; hops < 40; ++hops) {
      char link[PATH_MAX];
      const ssize_t size = ::readlink(target.c_str(), link, sizeof link);
      if (size < 0) {
        // Not a link (EINVAL), or nothing there yet: `target` is the end.
        return errno == EINVAL || errno == ENOENT ? IoResult{}
                                                  : IoResult{0, errno};
      }
      if (static_cast<std::size_t>(size) == sizeof link) {
        return IoResult{0, ENAMETOOLONG};
      }
      const std::string_view destination(link, static_cast<std::size_t>(size));
      // A relative link is relative to the folder that holds it.
      if (destination.front() == '/') {
        target = destination;
      } else {
        target = folder_of(target).append(destination);
      }
    }
    return IoResult{0, ELOOP};
  }

  IoResult create_temporary(const std::string& target, bool replacing,
                            std::string& temporary) override {
    temporary.clear();
    // A rename that the folder will refuse is known now, before any row is
    // converted: the caller then writes the file in place.
    if (replacing && rename_refused_by_sticky_folder(target)) {
      return IoResult{0, EPERM};
    }
#ifdef O_TMPFILE
    // A row file, new or replacing another, is made without a name and
    // linked in once complete: nothing to remove if the program is killed,
    // so no handler to install while it is written, and for a new one a
    // single change of the folder instead of two (the two cost a third more
    // per file with two jobs writing into one folder). Naming it takes
    // /proc; file systems without such files answer EOPNOTSUPP (or EISDIR
    // on old kernels), and a named file is made instead.
    static const bool proc_links = ::access("/proc/self/fd", X_OK) == 0;
    if (proc_links) {
      const std::string folder = folder_of(target);
      const int fd = ::open(folder.empty() ? "." : folder.c_str(),
                            O_WRONLY | O_TMPFILE | O_CLOEXEC, 0666);
      if (fd >= 0) return IoResult{fd, 0};
      if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        return IoResult{0, errno};
      }
    }
#endif
    return create_named(target, temporary, nullptr, true);
  }

  void copy_permissions(int fd, const FileInfo& from) override {
    // The owner first: a change of owner may clear the set-id bits.
    (void)::fchown(fd, from.owner, from.group);
    (void)::fchmod(fd, from.mode);
  }

  IoResult install(int fd, const std::string& temporary,
                   const std::string& target) override {
    if (temporary.empty()) return link_in(fd, target);
    const IoResult r = close_and_rename(fd, temporary, target);
    release_temporary();
    return r;
  }

  void discard(int fd, const std::string& temporary) override {
    (void)::close(fd);
    if (temporary.empty()) return;
    (void)::unlink(temporary.c_str());
    release_temporary();
  }

  IoResult truncate(int fd) override { return from_call(::ftruncate(fd, 0)); }

  IoResult make_directory(const char* name) override {
    return from_call(::mkdir(name, 0777));
  }

 private:
  PosixFileIo io_;
};

}  // namespace

FileSystem& system_file_system() {
  static PosixFileSystem fs;
  return fs;
}

namespace {

// strerror_r comes in two forms: the GNU one returns the text (in the
// buffer or not), the POSIX one fills the buffer and returns 0.
[[maybe_unused]] const char* error_result(const char* text, const char*) {
  return text;
}

[[maybe_unused]] const char* error_result(int result, const char* buffer) {
  return result == 0 ? buffer : "Unknown error";
}

}  // namespace

std::string error_text(int error) {
  char buffer[256] = "";
  return error_result(::strerror_r(error, buffer, sizeof buffer), buffer);
}

}  // namespace tnx
