// A FileSystem that passes every call to another one, except the calls a
// FaultPlan picks (see faulty_file_io.hpp): the calls on names, and through
// io() those on the files opened.
#pragma once

#include <string>

#include "faulty_file_io.hpp"
#include "platform/file_system.hpp"

namespace tnx::test {

class FaultyFileSystem final : public FaultyFileIo, public FileSystem {
 public:
  FaultyFileSystem(FileSystem& inner, FaultPlan plan)
      : FaultyFileIo(inner.io(), plan), inner_(inner) {}
  FaultyFileSystem(FileSystem& inner, FaultPlan plan, FaultPlan also)
      : FaultyFileIo(inner.io(), plan, also), inner_(inner) {}

  FileIo& io() override { return *this; }

  IoResult open_input(const char* name) override {
    if (const auto hit = strike(Call::open_input, Role::input)) {
      return IoResult{0, *hit};
    }
    return remember(inner_.open_input(name), Role::input);
  }

  IoResult open_output(const char* name) override {
    if (const auto hit = strike(Call::open_output, Role::output)) {
      return IoResult{0, *hit};
    }
    return remember(inner_.open_output(name), Role::output);
  }

  IoResult inspect(const char* name, FileId& id) override {
    if (const auto hit = strike(Call::inspect, Role::output)) {
      return IoResult{0, *hit};
    }
    return inner_.inspect(name, id);
  }

  IoResult resolve_links(const char* name, std::string& target) override {
    return inner_.resolve_links(name, target);
  }

  IoResult create_temporary(const std::string& target, bool replacing,
                            std::string& temporary) override {
    if (const auto hit = strike(Call::create_temporary, Role::output)) {
      return IoResult{0, *hit};
    }
    return remember(inner_.create_temporary(target, replacing, temporary),
                    Role::output);
  }

  void copy_permissions(int fd, const FileId& from) override {
    inner_.copy_permissions(fd, from);
  }

  // Both take the descriptor: it is not open afterwards, whatever happens.
  IoResult install(int fd, const std::string& temporary,
                   const std::string& target) override {
    forget(fd);
    if (const auto hit = strike(Call::install, Role::output)) {
      inner_.discard(fd, temporary);
      return IoResult{0, *hit};
    }
    return inner_.install(fd, temporary, target);
  }

  void discard(int fd, const std::string& temporary) override {
    forget(fd);
    inner_.discard(fd, temporary);
  }

  IoResult truncate(int fd) override {
    if (const auto hit = strike(Call::truncate, role_of(fd))) {
      return IoResult{0, *hit};
    }
    return inner_.truncate(fd);
  }

  IoResult make_directory(const char* name) override {
    return inner_.make_directory(name);
  }

 private:
  FileSystem& inner_;
};

}  // namespace tnx::test
