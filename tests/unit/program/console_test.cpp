#include "program/console.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "memory_file_system.hpp"

namespace tnx {
namespace {

using test::MemoryFileSystem;

// Console text of `size` bytes in lines, as a long header echo makes it.
std::string long_text(std::size_t size) {
  std::string text;
  for (std::size_t i = 0; text.size() < size; ++i) {
    text += "echo line " + std::to_string(i) + "\n";
  }
  return text;
}

// A console that collects (a batch's job) keeps a long text in a scratch
// file and hands it over whole, in order, messages after it included; or
// keeps it in memory when no scratch file can be had.
TEST(Console, CollectedTextSpillsToScratch) {
  const std::string echo = long_text(3 * Console::LIVE_TEXT + 123);
  for (const bool scratch_fails : {false, true}) {
    SCOPED_TRACE(scratch_fails ? "no scratch file" : "scratch file");
    MemoryFileSystem fs;
    if (scratch_fails) fs.scratch_error = ENOSPC;
    CollectedText taken;
    {
      Console console(fs, ConsoleMode::collect);
      for (std::size_t at = 0; at < echo.size(); at += 1000) {
        console.add(std::string_view(echo).substr(at, 1000));
      }
      console.print("\nCould not read input file: ", "in.dat");
      taken = console.take_text();
      EXPECT_EQ(fs.console(), "") << "a collecting console wrote out";
    }
    EXPECT_EQ(fs.scratch_files, 1);
    if (scratch_fails) {
      EXPECT_EQ(taken.memory().size(), echo.size() + 35);
    } else {
      EXPECT_LT(taken.memory().size(), Console::LIVE_TEXT);
    }
    {
      ConsoleWriter out(fs, STDOUT_FD);
      EXPECT_EQ(taken.add_to(out), 0);
    }
    EXPECT_TRUE(fs.console() == echo + "\nCould not read input file: in.dat\n");
    taken = CollectedText();
    EXPECT_EQ(fs.open_descriptors(), 0u) << "the scratch file was not closed";
  }
}

// A live console (a single run) writes a long text out as it grows.
TEST(Console, LiveTextGoesOutAsItGrows) {
  MemoryFileSystem fs;
  const std::string echo = long_text(2 * Console::LIVE_TEXT);
  Console console(fs, ConsoleMode::live);
  console.add(std::string_view(echo).substr(0, Console::LIVE_TEXT - 1));
  EXPECT_EQ(fs.console().size(), 0u);
  console.add(std::string_view(echo).substr(Console::LIVE_TEXT - 1));
  EXPECT_TRUE(fs.console() == echo);
  EXPECT_EQ(fs.scratch_files, 0);
}

TEST(Console, WriterKeepsTrackOfLineStarts) {
  struct Case {
    std::vector<std::string> pieces;
    bool at_line_start;
  };
  const Case cases[] = {
      {{}, true},
      {{"a\n"}, true},
      {{"a\n", "b"}, false},
      {{"a", "", "\n"}, true},
      {{std::string(20000, 'x') + "\n"}, true},
  };
  for (const Case& c : cases) {
    MemoryFileSystem fs;
    std::string want;
    {
      ConsoleWriter out(fs, STDOUT_FD);
      for (const std::string& piece : c.pieces) {
        out.add(piece);
        want += piece;
      }
      EXPECT_EQ(out.at_line_start(), c.at_line_start) << want.substr(0, 10);
    }
    std::string lines;
    for (const char ch : want) {
      if (ch == '\n') {
        lines += LINE_END;
      } else {
        lines += ch;
      }
    }
    EXPECT_TRUE(fs.console() == lines);
  }
}

}  // namespace
}  // namespace tnx
