#include "program/command_line.hpp"

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
      // --batch counts only as the first argument.
      {{"in.dat", "--batch"}, Action::convert, false, "in.dat", "--batch"},
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

TEST(CommandLine, Batch) {
  struct Case {
    std::vector<const char*> args;  // after "--batch"
    Action action;
    int jobs;
    std::string output_dir;
    bool quiet;
    std::vector<std::string> files;
  };
  const Case cases[] = {
      {{"a.dat", "b.dat"}, Action::batch, 0, "", false, {"a.dat", "b.dat"}},
      {{"-j", "4", "-o", "out", "-q", "a.dat"},
       Action::batch,
       4,
       "out",
       true,
       {"a.dat"}},
      {{"--jobs=3", "--output-dir=o d", "--quiet", "a.dat"},
       Action::batch,
       3,
       "o d",
       true,
       {"a.dat"}},
      {{"-j2", "-oout", "a.dat"}, Action::batch, 2, "out", false, {"a.dat"}},
      // Options may follow the files; after -- everything is a file.
      {{"a.dat", "-j", "256", "b.dat"},
       Action::batch,
       256,
       "",
       false,
       {"a.dat", "b.dat"}},
      {{"--", "-j", "--quiet"}, Action::batch, 0, "", false, {"-j", "--quiet"}},
      {{}, Action::usage_error, 0, "", false, {}},
      {{"-q"}, Action::usage_error, 0, "", false, {}},
      {{"-j", "0", "a.dat"}, Action::usage_error, 0, "", false, {}},
      {{"-j", "257", "a.dat"}, Action::usage_error, 0, "", false, {}},
      {{"-j", "2x", "a.dat"}, Action::usage_error, 0, "", false, {}},
      {{"a.dat", "-j"}, Action::usage_error, 0, "", false, {}},
      {{"a.dat", "-o"}, Action::usage_error, 0, "", false, {}},
      {{"-x", "a.dat"}, Action::usage_error, 0, "", false, {}},
      {{"-", "a.dat"}, Action::usage_error, 0, "", false, {}},
  };
  for (const Case& c : cases) {
    std::vector<const char*> argv{"tarnovelix", "--batch"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(testing::PrintToString(c.args));
    const RunConfig config =
        parse_command_line(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(config.action, c.action);
    if (c.action == Action::usage_error) {
      EXPECT_FALSE(config.problem.empty());
      continue;
    }
    EXPECT_EQ(config.batch.jobs, c.jobs);
    EXPECT_EQ(config.batch.output_dir, c.output_dir);
    EXPECT_EQ(config.batch.quiet, c.quiet);
    std::vector<std::string> files;
    for (std::size_t i = 0; i < config.batch.files.size(); ++i) {
      files.emplace_back(config.batch.files[i]);
      EXPECT_EQ(config.batch.files.c_str(i), files.back());
    }
    EXPECT_EQ(files, c.files);
  }
}

}  // namespace
}  // namespace tnx

namespace tnx {
namespace {

// --report is an option only where no file name can stand: after a single
// run's two names, and among a batch's options.
TEST(CommandLine, Report) {
  struct Case {
    std::vector<const char*> args;  // after the program name
    bool report;
    bool batch_report;
    std::string input;
    std::string output;
  };
  const Case cases[] = {
      {{"in.dat", "out.ntp", "--report"}, true, false, "in.dat", "out.ntp"},
      {{"in.dat", "out.ntp", "x", "--report"},
       true,
       false,
       "in.dat",
       "out.ntp"},
      {{"in.dat", "out.ntp", "--reports"}, false, false, "in.dat", "out.ntp"},
      {{"--report", "out.ntp"}, false, false, "--report", "out.ntp"},
      {{"in.dat", "--report"}, false, false, "in.dat", "--report"},
      {{"--report"}, false, false, "test.dat", "test.ntp"},
      {{"--batch", "--report", "a.dat"}, false, true, "test.dat", "test.ntp"},
      {{"--batch", "a.dat", "--report"}, false, true, "test.dat", "test.ntp"},
      {{"--batch", "--", "--report"}, false, false, "test.dat", "test.ntp"},
  };
  for (const Case& c : cases) {
    std::vector<const char*> argv{"tarnovelix"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(testing::PrintToString(c.args));
    const RunConfig config =
        parse_command_line(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(config.report, c.report);
    EXPECT_EQ(config.batch.report, c.batch_report);
    EXPECT_EQ(config.input, c.input);
    EXPECT_EQ(config.output, c.output);
  }
}

}  // namespace
}  // namespace tnx
