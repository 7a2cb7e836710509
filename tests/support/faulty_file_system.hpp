// A FileSystem that passes every call to another one, except the calls a
// FaultPlan picks (see faulty_file_io.hpp): the calls on names, and through
// io() those on the files opened. It overrides only the calls it may fail
// or must see; the forwarding base passes on the others.
#pragma once

#include <string>

#include "faulty_file_io.hpp"
#include "platform/forwarding_files.hpp"

namespace tnx::test {

class FaultyFileSystem final : public FaultyFileIo,
                               public ForwardingFileSystem {
 public:
  FaultyFileSystem(FileSystem& inner, FaultPlan plan)
      : FaultyFileIo(inner.io(), plan), ForwardingFileSystem(inner) {}
  FaultyFileSystem(FileSystem& inner, FaultPlan plan, FaultPlan also)
      : FaultyFileIo(inner.io(), plan, also), ForwardingFileSystem(inner) {}

  FileIo& io() override { return *this; }

  IoResult open_input(const char* name) override {
    if (const auto hit = strike(Call::open_input, Role::input)) {
      return IoResult{0, *hit};
    }
    return remember(inner().open_input(name), Role::input);
  }

  IoResult open_output(const char* name) override {
    if (const auto hit = strike(Call::open_output, Role::output)) {
      return IoResult{0, *hit};
    }
    return remember(inner().open_output(name), Role::output);
  }

  IoResult identify(int fd, FileInfo& info) override {
    if (const auto hit = strike(Call::identify, role_of(fd))) {
      return IoResult{0, *hit};
    }
    return inner().identify(fd, info);
  }

  IoResult inspect(const char* name, FileInfo& info) override {
    if (const auto hit = strike(Call::inspect, Role::output)) {
      return IoResult{0, *hit};
    }
    return inner().inspect(name, info);
  }

  IoResult create_temporary(const std::string& target, bool replacing,
                            std::string& temporary) override {
    if (const auto hit = strike(Call::create_temporary, Role::output)) {
      return IoResult{0, *hit};
    }
    return remember(inner().create_temporary(target, replacing, temporary),
                    Role::output);
  }

  // Both take the descriptor: it is not open afterwards, whatever happens.
  IoResult install(int fd, const std::string& temporary,
                   const std::string& target) override {
    forget(fd);
    if (const auto hit = strike(Call::install, Role::output)) {
      inner().discard(fd, temporary);
      return IoResult{0, *hit};
    }
    return inner().install(fd, temporary, target);
  }

  void discard(int fd, const std::string& temporary) override {
    forget(fd);
    inner().discard(fd, temporary);
  }

  IoResult truncate(int fd) override {
    if (const auto hit = strike(Call::truncate, role_of(fd))) {
      return IoResult{0, *hit};
    }
    return inner().truncate(fd);
  }
};

}  // namespace tnx::test
