// A FileSystem held in memory, for the tests and the fuzz harnesses to drive
// the program without touching the disk: the files of a MemoryFileIo, and
// the calls on their names, with names refused as outputs and a knob that
// fails the creation of temporary files.
#pragma once

#include <cerrno>
#include <set>
#include <string>

#include "memory_file_io.hpp"
#include "platform/file_system.hpp"

namespace tnx::test {

class MemoryFileSystem final : public MemoryFileIo, public FileSystem {
 public:
  // Names for which open_output and create_temporary fail with `error`, as
  // a missing folder or a read-only file would make them.
  void refuse_output(const std::string& name, int error = ENOENT);
  // Every output name open_output or create_temporary succeeded for.
  [[nodiscard]] const std::set<std::string>& opened_outputs() const {
    return opened_outputs_;
  }

  // When not 0, create_temporary fails with this errno value, as in a
  // folder that takes no new file.
  int temporary_error = 0;

  FileIo& io() override { return *this; }
  IoResult identify(int fd, FileInfo& info) override;
  IoResult open_input(const char* name) override;
  IoResult open_output(const char* name) override;
  IoResult inspect(const char* name, FileInfo& info) override;
  IoResult resolve_links(const char* name, std::string& target) override;
  IoResult create_temporary(const std::string& target, bool replacing,
                            std::string& temporary) override;
  void copy_permissions(int fd, const FileInfo& from) override;
  IoResult install(int fd, const std::string& temporary,
                   const std::string& target) override;
  void discard(int fd, const std::string& temporary) override;
  IoResult truncate(int fd) override;
  IoResult make_directory(const char* name) override;

 private:
  std::map<std::string, int> refused_;
  std::set<std::string> opened_outputs_;
  int temporaries_made_ = 0;
};

}  // namespace tnx::test
