#include "program/batch.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "faulty_file_system.hpp"
#include "memory_file_system.hpp"
#include "program/batch_plan.hpp"
#include "program/command_line.hpp"
#include "program/run.hpp"
#include "row_reference.hpp"

namespace tnx {
namespace {

using test::Call;
using test::Effect;
using test::FaultPlan;
using test::FaultyFileSystem;
using test::MemoryFileSystem;
using test::Role;

TEST(Batch, RowFileNames) {
  struct Case {
    std::string input;
    std::string output_dir;
    std::string row_file;
  };
  const Case cases[] = {
      {"scan.dat", "", "scan.ntp"},
      {"run.2.dat", "", "run.2.ntp"},
      {"scan", "", "scan.ntp"},
      {"data/scan.dat", "", "data/scan.ntp"},
      {"data.d/scan", "", "data.d/scan.ntp"},
      {".hidden", "", ".hidden.ntp"},
      {"x.ntp", "", "x.ntp"},
      {"data/scan.dat", "out", "out/scan.ntp"},
      {"data/scan.dat", "out/", "out/scan.ntp"},
      {"/abs/run.7.dat", "/tmp/o", "/tmp/o/run.7.ntp"},
      // A packed scan's suffix goes before its last extension.
      {"run.dat.gz", "", "run.ntp"},
      {"data/run.dat.bz2", "out", "out/run.ntp"},
      {"run.xz", "", "run.ntp"},
      {"run.2.dat.zst", "", "run.2.ntp"},
      {"run.gz.dat", "", "run.gz.ntp"},
      {"data/.gz", "", "data/.gz.ntp"},
      {"run.dat.GZ", "", "run.dat.ntp"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input + " in '" + c.output_dir + "'");
    EXPECT_EQ(row_file_name(c.input, c.output_dir), c.row_file);
  }
}

const std::string FIVE_LINES =
    "# a scan\npoints 0.5 1.0 1.5\nevents 10 20 30\ndropped\n7 100 200 300\n";
const std::string ECHO =
    "\npoints: 0.5 1.0 1.5\n"
    "\n3 'points' records found, 0.500000 1.000000  1.500000\n"
    "\nevents: 10 20 30\n"
    "\n3 'events' records found, 10 20 30 ...\n";
const std::string ROWS = test::with_row_ends(
    "   7 0.500 10 100\n   7 1.000 20 200\n   7 1.500 30 300\n");

// Through the in-memory file system: each file's text after its line, in
// order, failures included, then the summary; the row files made, and no
// other.
TEST(Batch, TextsInOrderAndSummary) {
  struct Case {
    const char* name;
    std::vector<const char*> args;  // after --batch
    std::string console;
    std::string errors;
    RunStatus status;
    // The row files that hold ROWS afterwards (a link shows its file's).
    std::vector<std::string> made;
    // Set up before the run: out/a.ntp a link to out/b.ntp, and standard
    // output the file a.ntp.
    bool linked = false;
    bool standard_output_is_a_ntp = false;
  };
  const Case cases[] = {
      {"all converted",
       {"-j", "1", "a.dat", "d/b.dat"},
       "== a.dat -> a.ntp\n" + ECHO + "== d/b.dat -> d/b.ntp\n" + ECHO +
           "\n== 2 files: 2 converted, 0 failed\n",
       "",
       RunStatus::ok,
       {"a.ntp", "d/b.ntp"}},
      {"a failure in the middle stops nothing",
       {"-j", "1", "a.dat", "nope.dat", "d/b.dat"},
       "== a.dat -> a.ntp\n" + ECHO +
           "== nope.dat -> nope.ntp\n\nCould not open input file: nope.dat\n" +
           "== d/b.dat -> d/b.ntp\n" + ECHO +
           "\n== 3 files: 2 converted, 1 failed\n",
       "tarnovelix: nope.dat: No such file or directory\n",
       RunStatus::batch_failed,
       {"a.ntp", "d/b.ntp"}},
      {"quiet: the failures alone",
       {"-j", "1", "-q", "a.dat", "nope.dat"},
       "== nope.dat -> nope.ntp\n\nCould not open input file: nope.dat\n"
       "\n== 2 files: 1 converted, 1 failed\n",
       "tarnovelix: nope.dat: No such file or directory\n",
       RunStatus::batch_failed,
       {"a.ntp"}},
      {"two files with one row file: the later one is refused",
       {"-j", "1", "-o", "out", "a.dat", "d/a.dat"},
       "== a.dat -> out/a.ntp\n" + ECHO + "== d/a.dat -> out/a.ntp\n" +
           "\nCould not open output file: out/a.ntp (also the row file of "
           "a.dat)\n" +
           "\n== 2 files: 1 converted, 1 failed\n",
       "tarnovelix: out/a.ntp: also the row file of a.dat\n",
       RunStatus::batch_failed,
       {"out/a.ntp"}},
      {"a row file that is a link to another's: the later one is refused",
       {"-j", "2", "-o", "out", "a.dat", "d/b.dat"},
       "== a.dat -> out/a.ntp\n" + ECHO + "== d/b.dat -> out/b.ntp\n" +
           "\nCould not open output file: out/b.ntp (also the row file of "
           "a.dat)\n" +
           "\n== 2 files: 1 converted, 1 failed\n",
       "tarnovelix: out/b.ntp: also the row file of a.dat\n",
       RunStatus::batch_failed,
       {"out/a.ntp", "out/b.ntp"},
       true},
      // d/a.ntp is a scan, and the row file of d/a.dat: never written.
      {"a row file that is an input, named after its file",
       {"-j", "1", "d/a.dat", "a.dat", "d/a.ntp"},
       "== d/a.dat -> d/a.ntp\n"
       "\nCould not open output file: d/a.ntp (an input of this batch)\n"
       "== a.dat -> a.ntp\n" +
           ECHO +
           "== d/a.ntp -> d/a.ntp\n"
           "\nCould not open output file: d/a.ntp (same file as the input)\n"
           "\n== 3 files: 1 converted, 2 failed\n",
       "tarnovelix: d/a.ntp: an input of this batch\n"
       "tarnovelix: d/a.ntp: same file as the input\n",
       RunStatus::batch_failed,
       {"a.ntp"}},
      {"a row file that is an input, named before its file",
       {"-j", "1", "-q", "d/a.ntp", "d/a.dat"},
       "== d/a.ntp -> d/a.ntp\n"
       "\nCould not open output file: d/a.ntp (same file as the input)\n"
       "== d/a.dat -> d/a.ntp\n"
       "\nCould not open output file: d/a.ntp (an input of this batch)\n"
       "\n== 2 files: 0 converted, 2 failed\n",
       "tarnovelix: d/a.ntp: same file as the input\n"
       "tarnovelix: d/a.ntp: an input of this batch\n",
       RunStatus::batch_failed,
       {}},
      // The rows of a.dat go to standard output, captured with the
      // console here; the batch's text goes to standard error.
      {"a row file that standard output was sent to",
       {"-j", "1", "a.dat", "d/b.dat"},
       ROWS,
       "== a.dat -> a.ntp\n" + ECHO + "== d/b.dat -> d/b.ntp\n" + ECHO +
           "\n== 2 files: 2 converted, 0 failed\n",
       RunStatus::ok,
       {"d/b.ntp"},
       false,
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryFileSystem fs;
    fs.add_file("a.dat", FIVE_LINES);
    fs.add_file("d/b.dat", FIVE_LINES);
    fs.add_file("d/a.dat", FIVE_LINES);
    fs.add_file("d/a.ntp", FIVE_LINES);
    fs.add_directory(".");
    fs.add_directory("d/");
    if (c.linked) {
      fs.add_directory("out");
      fs.add_symlink("out/a.ntp", "out/b.ntp");
    }
    if (c.standard_output_is_a_ntp) {
      fs.add_file("a.ntp", "");
      fs.set_standard_output("a.ntp");
    }
    std::vector<const char*> argv{"tarnovelix", "--batch"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const RunStatus status =
        run(parse_command_line(static_cast<int>(argv.size()), argv.data()), fs);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(exit_code(status), c.status == RunStatus::ok ? 0 : 1);
    EXPECT_EQ(fs.console(), c.console);
    EXPECT_EQ(fs.errors(), c.errors);
    for (const std::string& made : c.made) {
      ASSERT_TRUE(fs.exists(made)) << made << " was not made";
      EXPECT_EQ(fs.file(made), ROWS) << made;
    }
    for (const char* other :
         {"a.ntp", "d/b.ntp", "out/a.ntp", "out/b.ntp", "nope.ntp"}) {
      const bool wanted =
          std::find(c.made.begin(), c.made.end(), other) != c.made.end();
      const bool there = fs.exists(other) && !fs.file(other).empty();
      EXPECT_TRUE(wanted || !there) << other << " was made";
    }
    EXPECT_EQ(fs.file("d/a.ntp"), FIVE_LINES) << "an input was written";
  }
}

// --report counts the files with findings, and no other: a file that
// fails before it is read has none, whatever file with findings its job
// converted before it. (One job: the in-memory files take calls from one
// thread at a time; batch.edges runs the same with several jobs.)
TEST(Batch, ReportCountsFilesWithFindings) {
  struct Case {
    std::vector<const char*> files;
    const char* count;
  };
  const Case cases[] = {
      {{"x.dat", "no1.dat", "no2.dat", "no3.dat"}, "1 of 4"},
      {{"no1.dat", "x.dat", "no2.dat", "y.dat", "no3.dat"}, "2 of 5"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.count);
    MemoryFileSystem fs;
    for (const char* name : {"x.dat", "y.dat"}) {
      fs.add_file(name, FIVE_LINES + "8 1 nan\n");
    }
    std::vector<const char*> argv{"tarnovelix", "--batch", "--report",
                                  "-q",         "-j",      "1"};
    argv.insert(argv.end(), c.files.begin(), c.files.end());
    (void)run(parse_command_line(static_cast<int>(argv.size()), argv.data()),
              fs);
    const std::string last =
        std::string("tarnovelix: ") + c.count + " files had findings\n";
    ASSERT_GE(fs.errors().size(), last.size());
    EXPECT_EQ(fs.errors().substr(fs.errors().size() - last.size()), last);
  }
}

// A file that fails for want of memory is converted once more, alone,
// when that changes nothing done by the first try: the batch shows only
// the second try. Other failures, a second failure for memory, and rows
// gone where they cannot be taken back (standard output) stay failures.
TEST(Batch, FileFailedForMemoryTriedOnceMore) {
  const std::string converted =
      "== a.dat -> a.ntp\n" + ECHO + "\n== 1 files: 1 converted, 0 failed\n";
  const std::string not_read =
      "== a.dat -> a.ntp\n" + ECHO + "\nCould not read input file: a.dat\n";
  const std::string failed = "\n== 1 files: 0 converted, 1 failed\n";
  struct Case {
    const char* name;
    FaultPlan fault;
    std::string console;
    std::string errors;
    bool rows_on_standard_output = false;
  };
  const Case cases[] = {
      {"no memory to open the input, once",
       {Call::open_input, Role::input, 1, 1, Effect::fail, ENOMEM},
       converted,
       ""},
      {"no memory for a read, once",
       {Call::read, Role::input, 1, 1, Effect::fail, ENOMEM},
       converted,
       ""},
      {"no memory twice",
       {Call::open_input, Role::input, 1, 2, Effect::fail, ENOMEM},
       "== a.dat -> a.ntp\n\nCould not open input file: a.dat\n"
       "\n== 1 files: 0 converted, 1 failed\n",
       "tarnovelix: a.dat: " + error_text(ENOMEM) + "\n"},
      {"another failure",
       {Call::read, Role::input, 2, 1, Effect::fail, EIO},
       not_read + failed,
       "tarnovelix: a.dat: " + error_text(EIO) + "\n"},
      // The batch's text goes to standard error with the reasons.
      {"rows on standard output already",
       {Call::read, Role::input, 2, 1, Effect::fail, ENOMEM},
       ROWS,
       not_read + "tarnovelix: a.dat: " + error_text(ENOMEM) + "\n" + failed,
       true},
  };
  for (const Case& c : cases) {
    for (const char* jobs : {"1", "4"}) {
      SCOPED_TRACE(std::string(c.name) + ", -j " + jobs);
      MemoryFileSystem disk;
      disk.add_directory(".");
      disk.add_file("a.dat", FIVE_LINES);
      if (c.rows_on_standard_output) {
        disk.add_file("a.ntp", "");
        disk.set_standard_output("a.ntp");
      }
      FaultyFileSystem fs(disk, c.fault);
      const char* argv[] = {"tarnovelix", "--batch", "-j", jobs, "a.dat"};
      const RunStatus status = run(parse_command_line(5, argv), fs);
      EXPECT_EQ(status,
                c.errors.empty() ? RunStatus::ok : RunStatus::batch_failed);
      EXPECT_EQ(fs.console, c.console);
      EXPECT_EQ(fs.errors, c.errors);
      if (c.errors.empty()) {
        EXPECT_TRUE(disk.exists("a.ntp") && disk.file("a.ntp") == ROWS);
      }
    }
  }
}

TEST(Batch, MalformedCommandLine) {
  MemoryFileSystem fs;
  fs.add_file("a.dat", FIVE_LINES);
  const char* argv[] = {"tarnovelix", "--batch", "-j", "x", "a.dat"};
  const RunStatus status = run(parse_command_line(5, argv), fs);
  EXPECT_EQ(status, RunStatus::usage_error);
  EXPECT_EQ(exit_code(status), 2);
  EXPECT_EQ(fs.console(), "");
  EXPECT_NE(fs.errors().find("usage: tarnovelix --batch"), std::string::npos);
  EXPECT_FALSE(fs.exists("a.ntp"));
}

}  // namespace
}  // namespace tnx
