#include "command_line.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tnx {
namespace {

TEST(CommandLine, Variants) {
  struct Case {
    std::vector<const char*> args;  // after the program name
    Action action;
    bool show_usage;
    std::string input;
    std::string output;
  };
  const Case cases[] = {
      {{}, Action::convert, true, "test.dat", "test.ntp"},
      {{"in.dat"}, Action::convert, true, "test.dat", "test.ntp"},
      {{"in.dat", "out.ntp"}, Action::convert, false, "in.dat", "out.ntp"},
      {{"in.dat", "out.ntp", "extra"},
       Action::convert,
       false,
       "in.dat",
       "out.ntp"},
      {{"--help"}, Action::help, false, "test.dat", "test.ntp"},
      {{"-h"}, Action::help, false, "test.dat", "test.ntp"},
      {{"--version"}, Action::version, false, "test.dat", "test.ntp"},
      // Only a lone option is one; beside names it is a file name.
      {{"--help", "out.ntp"}, Action::convert, false, "--help", "out.ntp"},
      {{"-v"}, Action::convert, true, "test.dat", "test.ntp"},
  };
  for (const Case& c : cases) {
    std::vector<const char*> argv{"tarnovelix"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(testing::PrintToString(c.args));
    const RunConfig config =
        parse_command_line(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(config.action, c.action);
    EXPECT_EQ(config.show_usage, c.show_usage);
    EXPECT_EQ(config.input, c.input);
    EXPECT_EQ(config.output, c.output);
  }
}

}  // namespace
}  // namespace tnx
