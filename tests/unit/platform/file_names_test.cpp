#include "platform/file_names.hpp"

#include <gtest/gtest.h>

#include <string>

namespace tnx {
namespace {

TEST(FileNames, HiddenTemporaryName) {
  struct Case {
    std::string target;
    bool shortened;
    std::string hidden;
  };
  const std::string long_name(250, 'r');
  // 62 ASCII bytes, then a two-byte character across the 64-byte cut.
  const std::string accented = std::string(63, 'a') + "\xC3\xA9" + long_name;
  const Case cases[] = {
      {"out.ntp", false, ".out.ntp.tnx-42-7"},
      {"rows/out.ntp", false, "rows/.out.ntp.tnx-42-7"},
      {"/a/b/.x", false, "/a/b/..x.tnx-42-7"},
      // Asked for short: the name's first bytes, then a hash of it.
      {"rows/out.ntp", true, "rows/.out.ntp~"},
      // Too long for a file name: short whatever is asked.
      {"d/" + long_name + ".ntp", false, "d/." + long_name.substr(0, 64) + "~"},
      // Never cut inside a character.
      {accented + ".ntp", false, "." + std::string(63, 'a') + "~"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    const std::string got = hidden_temporary_name(c.target, 42, 7, c.shortened);
    if (c.hidden.back() == '~') {
      // The 16 hex digits of the hash, then the process and counter.
      ASSERT_EQ(got.size(), c.hidden.size() + 16 + 9);
      EXPECT_EQ(got.substr(0, c.hidden.size()), c.hidden);
      EXPECT_EQ(got.substr(c.hidden.size() + 16), ".tnx-42-7");
    } else {
      EXPECT_EQ(got, c.hidden);
    }
    EXPECT_LE(got.size() - folder_length(got), MAX_NAME_BYTES);
  }
}

TEST(FileNames, LongNamesWithOneStartDiffer) {
  const std::string start(250, 'u');
  const std::string one = hidden_temporary_name(start + "1.ntp", 1, 0);
  const std::string two = hidden_temporary_name(start + "2.ntp", 1, 0);
  EXPECT_NE(one, two);
  EXPECT_EQ(hidden_temporary_name(start + "1.ntp", 1, 0), one);
}

TEST(FileNames, FolderLength) {
  struct Case {
    const char* path;
    std::size_t length;
  };
  const Case cases[] = {
      {"out.ntp", 0}, {"a/out.ntp", 2}, {"/out.ntp", 1},
      {"a/b/", 4},    {"", 0},          {"./x", 2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(folder_length(c.path), c.length) << c.path;
  }
}

}  // namespace
}  // namespace tnx
