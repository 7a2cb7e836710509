// The last step of a row file fails: closing it reports an error, as a
// network file system may once the rows leave for the server. The row file
// must then not stand in the output's place: a new one is taken away again,
// an existing output keeps its content, and no temporary file is left.
// The system's close() is failed on purpose by defining close() here, ahead
// of the C library's; this program holds nothing else.
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/file_system.hpp"

namespace {

// The descriptor whose next close fails with EIO, once; -1 for none.
std::atomic<int> failing_close{-1};

}  // namespace

// The file is closed all the same: a failed close still releases it.
extern "C" int close(int fd) {
  const long result = ::syscall(SYS_close, fd);
  int expected = fd;
  if (failing_close.compare_exchange_strong(expected, -1)) {
    errno = EIO;
    return -1;
  }
  return static_cast<int>(result);
}

namespace tnx {
namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class CloseFails : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("tnx_close_fails_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Everything in the folder but `keep`: a temporary file left shows here.
  [[nodiscard]] std::size_t other_files(const std::string& keep) const {
    std::size_t count = 0;
    for (const auto& entry : fs::directory_iterator(dir_)) {
      if (entry.path().filename() != keep) ++count;
    }
    return count;
  }

  fs::path dir_;
};

TEST_F(CloseFails, RowFileIsNotLeftInPlace) {
  struct Case {
    const char* name;
    // The output exists before the temporary file is made.
    bool existing_before;
    // The output comes into being while the rows are written.
    bool appears_meanwhile;
  };
  const Case cases[] = {
      {"new row file", false, false},
      {"existing row file", true, false},
      {"row file made by someone else meanwhile", false, true},
  };
  FileSystem& system = system_file_system();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string target = (dir_ / "out.ntp").string();
    fs::remove(target);
    if (c.existing_before) std::ofstream(target) << "old rows\n";

    std::string temporary;
    const IoResult made =
        system.create_temporary(target, c.existing_before, temporary);
    ASSERT_TRUE(made.ok()) << error_text(made.error);
    const int fd = static_cast<int>(made.value);
    ASSERT_TRUE(write_all(system.io(), fd, "rows\n", 5).ok());
    if (c.appears_meanwhile) std::ofstream(target) << "someone's rows\n";

    failing_close = fd;
    const IoResult installed = system.install(fd, temporary, target);
    EXPECT_EQ(failing_close.load(), -1) << "the row file was never closed";
    failing_close = -1;

    EXPECT_EQ(installed.error, EIO);
    if (c.existing_before) {
      EXPECT_EQ(read_file(target), "old rows\n");
    } else if (c.appears_meanwhile) {
      EXPECT_EQ(read_file(target), "someone's rows\n");
    } else {
      EXPECT_FALSE(fs::exists(target)) << "the failed row file stands";
    }
    EXPECT_EQ(other_files("out.ntp"), 0u) << "a temporary file was left";
  }
}

}  // namespace
}  // namespace tnx
