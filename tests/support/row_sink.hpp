// A base for the row files that tests of the row writer put in place of the
// system: every call but write() answers as a file that is always there and
// never fails, so a test writes only the write() it is about.
#pragma once

#include <cerrno>

#include "engine/file_io.hpp"

namespace tnx::test {

class RowSink : public FileSystem {
 public:
  IoResult open_input(const char*) override { return {0, ENOENT}; }
  IoResult open_output(const char*) override { return {3, 0}; }
  IoResult identify(int, FileId&) override { return {}; }
  IoResult inspect(const char*, FileId&) override { return {0, ENOENT}; }
  IoResult resolve_links(const char* name, std::string& target) override {
    target = name;
    return {};
  }
  IoResult create_temporary(const std::string&, bool, std::string&) override {
    return {3, 0};
  }
  void copy_permissions(int, const FileId&) override {}
  IoResult install(int, const std::string&, const std::string&) override {
    return {};
  }
  void discard(int, const std::string&) override {}
  IoResult make_directory(const char*) override { return {}; }
  IoResult create_scratch() override { return {0, ENOSPC}; }
  IoResult truncate(int) override { return {}; }
  IoResult read(int, char*, std::size_t) override { return {}; }
  IoResult read_at(int, char*, std::size_t, std::uint64_t) override {
    return {};
  }
  IoResult close(int) override { return {}; }
};

}  // namespace tnx::test
