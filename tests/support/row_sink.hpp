// A base for the row files that tests of the row writer put in place of the
// system: every call but write() answers as a file that is always there and
// never fails, so a test writes only the write() it is about.
#pragma once

#include <cerrno>

#include "engine/file_io.hpp"

namespace tnx::test {

class RowSink : public FileIo {
 public:
  IoResult create_scratch() override { return {0, ENOSPC}; }
  IoResult read(int, char*, std::size_t) override { return {}; }
  IoResult read_at(int, char*, std::size_t, std::uint64_t) override {
    return {};
  }
  IoResult close(int) override { return {}; }
};

}  // namespace tnx::test
