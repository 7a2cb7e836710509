#include "program/run.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/row_writer.hpp"
#include "memory_file_system.hpp"
#include "program/command_line.hpp"
#include "row_reference.hpp"

namespace tnx {
namespace {

using test::MemoryFileSystem;
using test::with_row_ends;

const std::string FIVE_LINES =
    "# a scan\n"
    "points 0.5 1.0 1.5\n"
    "events 10 20 30\n"
    "dropped 1 2 3 4\n"
    "7 100 200 300\n";

const std::string FIVE_LINES_ECHO =
    "\npoints: 0.5 1.0 1.5\n"
    "\n3 'points' records found, 0.500000 1.000000  1.500000\n"
    "\nevents: 10 20 30\n"
    "\n3 'events' records found, 10 20 30 ...\n";

const std::string FIVE_LINES_ROWS =
    "   7 0.500 10 100\n   7 1.000 20 200\n   7 1.500 30 300\n";

const std::string USAGE = "\nsyntax: tarnovelix fname_in fname_out\n";

struct Case {
  const char* name;
  std::vector<const char*> args;  // after the program name
  std::vector<std::pair<std::string, std::string>> files;
  std::string console;
  RunStatus status;
  // The file expected to hold the rows, and the rows; no value: the
  // output name must not exist afterwards.
  std::string output;
  std::optional<std::string> rows;
};

void run_case(const Case& c, std::size_t block_size) {
  MemoryFileSystem fs;
  for (const auto& [name, bytes] : c.files) {
    if (name == "folder") {
      fs.add_directory(name);
    } else if (name == "link.dat") {
      fs.add_link(name, bytes);
    } else {
      fs.add_file(name, bytes);
    }
  }
  fs.refuse_output("missing/out.ntp", ENOENT);
  std::vector<const char*> argv{"tarnovelix"};
  argv.insert(argv.end(), c.args.begin(), c.args.end());
  const RunConfig config =
      parse_command_line(static_cast<int>(argv.size()), argv.data());
  const RunStatus status = run(config, fs, block_size);
  EXPECT_EQ(status, c.status);
  EXPECT_EQ(exit_code(status), c.status == RunStatus::ok ? 0 : 1);
  EXPECT_EQ(fs.console(), c.console);
  EXPECT_EQ(fs.open_descriptors(), 0u) << "descriptors left open";
  // A failure says why on standard error; a success says nothing there.
  EXPECT_EQ(fs.errors().empty(), c.status == RunStatus::ok) << fs.errors();
  for (const std::string& name : fs.names()) {
    EXPECT_EQ(name.find(".tmp"), std::string::npos) << name << " was left";
  }
  if (!c.output.empty()) {
    if (c.rows.has_value()) {
      ASSERT_TRUE(fs.exists(c.output));
      EXPECT_EQ(fs.file(c.output), *c.rows);
    } else {
      EXPECT_FALSE(fs.exists(c.output));
      EXPECT_EQ(fs.opened_outputs().count(c.output), 0u);
    }
  }
}

// Header and data lines of 100 columns, each well over a thousand bytes.
struct WideFile {
  std::string input;
  std::string console;
  std::string rows;
};

WideFile wide_file() {
  WideFile f;
  std::string points = std::string(200, ' ') + "points";
  std::string events = "events";
  std::string data = "-123456";
  for (unsigned j = 0; j < MAX_COLUMNS; ++j) {
    points += ' ';
    points += std::to_string(1000000 + j);
    points += ".25";
    events += ' ';
    events += std::to_string(4000000000u + j);
    data += ' ';
    data += std::to_string(3000000000u + j);
    char row[96];
    std::snprintf(row, sizeof row, "-123456 %.3f %u %u\n", 1000000.25 + j,
                  4000000000u + j, 3000000000u + j);
    f.rows += row;
  }
  f.input = "# wide\n" + points + "\n" + events + "\n# dropped\n" + data;
  f.console = "\npoints:";
  f.console += points.substr(206);
  f.console +=
      "\n\n100 'points' records found, 1000000.250000 1000001.250000  "
      "1000002.250000\n\nevents:";
  f.console += events.substr(6);
  f.console +=
      "\n\n100 'events' records found, 4000000000 4000000001 4000000002 "
      "...\n";
  return f;
}

TEST(Run, Conversions) {
  const WideFile wide = wide_file();
  const Case cases[] = {
      {"lines of 100 columns",
       {"in.dat", "out.ntp"},
       {{"in.dat", wide.input}},
       wide.console,
       RunStatus::ok,
       "out.ntp",
       with_row_ends(wide.rows)},
      {"five lines",
       {"in.dat", "out.ntp"},
       {{"in.dat", FIVE_LINES}},
       FIVE_LINES_ECHO,
       RunStatus::ok,
       "out.ntp",
       with_row_ends(FIVE_LINES_ROWS)},
      {"crlf and no final newline",
       {"in.dat", "out.ntp"},
       {{"in.dat",
         "# a scan\r\npoints 0.5 1.0 1.5\r\nevents 10 20 30\r\nx\r\n"
         "7 100 200 300\r\n8 1"}},
       FIVE_LINES_ECHO,
       RunStatus::ok,
       "out.ntp",
       with_row_ends(FIVE_LINES_ROWS + "   8 0.500 10 1\n")},
      {"fallback names after the usage line",
       {"one-name-is-ignored"},
       {{"test.dat", FIVE_LINES}},
       USAGE + FIVE_LINES_ECHO,
       RunStatus::ok,
       "test.ntp",
       with_row_ends(FIVE_LINES_ROWS)},
      {"an old row file is emptied first",
       {"in.dat", "out.ntp"},
       {{"in.dat", FIVE_LINES}, {"out.ntp", std::string(5000, 'z')}},
       FIVE_LINES_ECHO,
       RunStatus::ok,
       "out.ntp",
       with_row_ends(FIVE_LINES_ROWS)},
      {"exactly four lines",
       {"in.dat", "out.ntp"},
       {{"in.dat", "points 1\nevents 2\n3 3 3\n4 4 4\n"}},
       "\npoints: 1\n\n1 'points' records found, 1.000000 0.000000  0.000000\n"
       "\nevents: 2\n\n1 'events' records found, 2 0 0 ...\n",
       RunStatus::ok,
       "out.ntp",
       ""},
      {"empty input",
       {"in.dat", "out.ntp"},
       {{"in.dat", ""}},
       "",
       RunStatus::ok,
       "out.ntp",
       ""},
      {"no header: rows from the fifth line",
       {"in.dat", "out.ntp"},
       {{"in.dat", "1 1\n2 2\n3 3\n4 4\n5 5 6\n6 7\n"}},
       "",
       RunStatus::ok,
       "out.ntp",
       with_row_ends("   5 0.000 0 5\n   5 0.000 0 6\n   6 0.000 0 7\n")},
      {"missing input",
       {"nope.dat", "out.ntp"},
       {},
       "\nCould not open input file: nope.dat\n",
       RunStatus::input_not_opened,
       "out.ntp",
       std::nullopt},
      {"missing input after the usage line",
       {},
       {},
       USAGE + "\nCould not open input file: test.dat\n",
       RunStatus::input_not_opened,
       "test.ntp",
       std::nullopt},
      {"directory as input",
       {"folder", "out.ntp"},
       {{"folder", ""}},
       "\nCould not open input file: folder\n",
       RunStatus::input_not_opened,
       "out.ntp",
       std::nullopt},
      {"directory as output",
       {"in.dat", "folder"},
       {{"in.dat", FIVE_LINES}, {"folder", ""}},
       "\nCould not open output file: folder\n",
       RunStatus::output_not_opened,
       "",
       std::nullopt},
      {"output in a missing folder",
       {"in.dat", "missing/out.ntp"},
       {{"in.dat", FIVE_LINES}},
       "\nCould not open output file: missing/out.ntp\n",
       RunStatus::output_not_opened,
       "missing/out.ntp",
       std::nullopt},
      {"same name twice",
       {"in.dat", "in.dat"},
       {{"in.dat", FIVE_LINES}},
       "\nCould not open output file: in.dat (same file as the input)\n",
       RunStatus::output_not_opened,
       "in.dat",
       FIVE_LINES},
      {"another name of the same file",
       {"in.dat", "link.dat"},
       {{"in.dat", FIVE_LINES}, {"link.dat", "in.dat"}},
       "\nCould not open output file: link.dat (same file as the input)\n",
       RunStatus::output_not_opened,
       "in.dat",
       FIVE_LINES},
  };
  for (const Case& c : cases) {
    for (const std::size_t block :
         {std::size_t{1}, std::size_t{7}, BLOCK_SIZE}) {
      SCOPED_TRACE(std::string(c.name) + ", block " + std::to_string(block));
      run_case(c, block);
    }
  }
}

// Where the rows and the console text go, and what a failure leaves.
TEST(Run, WhereTheRowsGo) {
  const std::string rows = with_row_ends(FIVE_LINES_ROWS);
  const std::string cut_input = FIVE_LINES + "8 1 2\n9 3";
  struct WhereCase {
    const char* name;
    std::vector<const char*> args;
    std::function<void(MemoryFileSystem&)> setup;
    std::string console;
    std::string errors;
    RunStatus status;
    std::function<void(const MemoryFileSystem&)> check;
  };
  const WhereCase cases[] = {
      {"a read error leaves the old row file",
       {"in.dat", "out.ntp"},
       [&](MemoryFileSystem& fs) {
         fs.add_file("in.dat", cut_input);
         fs.add_file("out.ntp", "old rows\n");
         fs.read_error_at = cut_input.size() - 2;
       },
       FIVE_LINES_ECHO + "\nCould not read input file: in.dat\n",
       "tarnovelix: in.dat: " + error_text(EIO) + "\n",
       RunStatus::read_failed,
       [](const MemoryFileSystem& fs) {
         EXPECT_EQ(fs.file("out.ntp"), "old rows\n");
       }},
      {"a read error creates no row file",
       {"in.dat", "out.ntp"},
       [&](MemoryFileSystem& fs) {
         fs.add_file("in.dat", cut_input);
         fs.read_error_at = cut_input.size() - 2;
       },
       FIVE_LINES_ECHO + "\nCould not read input file: in.dat\n",
       "tarnovelix: in.dat: " + error_text(EIO) + "\n",
       RunStatus::read_failed,
       [](const MemoryFileSystem& fs) { EXPECT_FALSE(fs.exists("out.ntp")); }},
      {"rows to standard output by -, the console text to standard error",
       {"in.dat", "-"},
       [](MemoryFileSystem& fs) { fs.add_file("in.dat", FIVE_LINES); },
       rows,
       FIVE_LINES_ECHO,
       RunStatus::ok,
       nullptr},
      {"rows to the file standard output already is",
       {"in.dat", "out.ntp"},
       [](MemoryFileSystem& fs) {
         fs.add_file("in.dat", FIVE_LINES);
         fs.add_file("out.ntp", "");
         fs.set_standard_output("out.ntp");
       },
       rows,
       FIVE_LINES_ECHO,
       RunStatus::ok,
       nullptr},
      {"the input from standard input by -",
       {"-", "out.ntp"},
       [](MemoryFileSystem& fs) { fs.set_standard_input(FIVE_LINES); },
       FIVE_LINES_ECHO,
       "",
       RunStatus::ok,
       [&](const MemoryFileSystem& fs) {
         EXPECT_EQ(fs.file("out.ntp"), rows);
       }},
      {"a symbolic link stays, the file it leads to is replaced",
       {"in.dat", "link.ntp"},
       [](MemoryFileSystem& fs) {
         fs.add_file("in.dat", FIVE_LINES);
         fs.add_file("target.ntp", "old rows\n");
         fs.add_symlink("link.ntp", "target.ntp");
       },
       FIVE_LINES_ECHO,
       "",
       RunStatus::ok,
       [&](const MemoryFileSystem& fs) {
         EXPECT_EQ(fs.file("target.ntp"), rows);
         EXPECT_EQ(fs.names(), (std::vector<std::string>{"in.dat", "link.ntp",
                                                         "target.ntp"}));
       }},
      {"a link to nothing yet makes the file it names",
       {"in.dat", "link.ntp"},
       [](MemoryFileSystem& fs) {
         fs.add_file("in.dat", FIVE_LINES);
         fs.add_symlink("link.ntp", "new.ntp");
       },
       FIVE_LINES_ECHO,
       "",
       RunStatus::ok,
       [&](const MemoryFileSystem& fs) {
         EXPECT_EQ(fs.file("new.ntp"), rows);
         EXPECT_EQ(fs.file("link.ntp"), rows);
       }},
      {"a replaced row file keeps its permissions",
       {"in.dat", "out.ntp"},
       [](MemoryFileSystem& fs) {
         fs.add_file("in.dat", FIVE_LINES);
         fs.add_file("out.ntp", "old rows\n");
         fs.set_mode("out.ntp", 0600);
       },
       FIVE_LINES_ECHO,
       "",
       RunStatus::ok,
       [&](const MemoryFileSystem& fs) {
         EXPECT_EQ(fs.file("out.ntp"), rows);
         EXPECT_EQ(fs.mode("out.ntp"), 0600u);
       }},
      {"a read-only row file is left alone",
       {"in.dat", "out.ntp"},
       [](MemoryFileSystem& fs) {
         fs.add_file("in.dat", FIVE_LINES);
         fs.add_file("out.ntp", "old rows\n");
         fs.set_mode("out.ntp", 0444);
       },
       "\nCould not open output file: out.ntp\n",
       "tarnovelix: out.ntp: " + error_text(EACCES) + "\n",
       RunStatus::output_not_opened,
       [](const MemoryFileSystem& fs) {
         EXPECT_EQ(fs.file("out.ntp"), "old rows\n");
       }},
  };
  for (const WhereCase& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryFileSystem fs;
    fs.max_read = 16;
    c.setup(fs);
    std::vector<const char*> argv{"tarnovelix"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const RunStatus status = run(
        parse_command_line(static_cast<int>(argv.size()), argv.data()), fs, 64);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(fs.console(), c.console);
    EXPECT_EQ(fs.errors(), c.errors);
    EXPECT_EQ(fs.open_descriptors(), 0u);
    for (const std::string& name : fs.names()) {
      EXPECT_EQ(name.find(".tmp"), std::string::npos) << name << " was left";
    }
    if (c.check) c.check(fs);
  }
}

// A name goes into every one-line message, reason and heading with its
// control bytes (C0 and DEL) as \xHH, so no name can break a line or
// reach the terminal as a control; every other byte stays as it is.
TEST(Run, NamesCannotBreakALine) {
  struct NameCase {
    const char* name;
    std::vector<const char*> args;
    std::string console;
    std::string errors;
  };
  const NameCase cases[] = {
      {"a missing input with a line break",
       {"a\nb.dat", "out.ntp"},
       "\nCould not open input file: a\\x0ab.dat\n",
       "tarnovelix: a\\x0ab.dat: " + error_text(ENOENT) + "\n"},
      {"an output refused as the input, with ESC [2J",
       {"in.dat", "l\x1b[2J.ntp"},
       "\nCould not open output file: l\\x1b[2J.ntp (same file as the "
       "input)\n",
       "tarnovelix: l\\x1b[2J.ntp: same file as the input\n"},
      {"a finding of an input whose name holds DEL and a tab",
       {"t\x7f\t.dat", "out.ntp", "--report"},
       FIVE_LINES_ECHO,
       "tarnovelix: t\\x7f\\x09.dat:6: values stop at \"nan\" in column 2: "
       "the rest of the line gives no rows\n"
       "tarnovelix: t\\x7f\\x09.dat: 1 finding (lines whose values stop at "
       "text: 1)\n"},
      {"backslashes and bytes above 0x7f stay as they are",
       {"C:\\scans\\\xc3\xa9t\xc3\xa9\xff.dat", "out.ntp"},
       "\nCould not open input file: C:\\scans\\\xc3\xa9t\xc3\xa9\xff.dat\n",
       "tarnovelix: C:\\scans\\\xc3\xa9t\xc3\xa9\xff.dat: " +
           error_text(ENOENT) + "\n"},
      {"a batch's headings and the row file two names share",
       {"--batch", "-j", "1", "-q", "-o", "o", "e\x1b[2J.dat",
        "d/e\x1b[2J.dat"},
       "== d/e\\x1b[2J.dat -> o/e\\x1b[2J.ntp\n"
       "\nCould not open output file: o/e\\x1b[2J.ntp (also the row file of "
       "e\\x1b[2J.dat)\n"
       "\n== 2 files: 1 converted, 1 failed\n",
       "tarnovelix: o/e\\x1b[2J.ntp: also the row file of e\\x1b[2J.dat\n"},
      {"an unknown option",
       {"--batch", "--x\r\n", "in.dat"},
       "",
       "tarnovelix: --batch: unknown option '--x\\x0d\\x0a' (a file whose "
       "name starts with - goes after --)\n" +
           std::string("usage: tarnovelix --batch")},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryFileSystem fs;
    fs.add_directory(".");
    for (const char* input :
         {"in.dat", "t\x7f\t.dat", "e\x1b[2J.dat", "d/e\x1b[2J.dat"}) {
      fs.add_file(input, FIVE_LINES + "8 1 nan\n");
    }
    fs.add_link("l\x1b[2J.ntp", "in.dat");
    std::vector<const char*> argv{"tarnovelix"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    (void)run(parse_command_line(static_cast<int>(argv.size()), argv.data()),
              fs);
    EXPECT_EQ(fs.console(), c.console);
    EXPECT_EQ(fs.errors().substr(0, c.errors.size()), c.errors);
  }
}

TEST(Run, HelpAndVersion) {
  struct InfoCase {
    const char* arg;
    std::string starts_with;
  };
  const InfoCase cases[] = {
      {"--help", USAGE + "\n"},
      {"-h", USAGE + "\n"},
      {"--version", "tarnovelix "},
  };
  for (const InfoCase& c : cases) {
    SCOPED_TRACE(c.arg);
    MemoryFileSystem fs;
    fs.add_file("test.dat", FIVE_LINES);
    const char* argv[] = {"tarnovelix", c.arg};
    const RunStatus status = run(parse_command_line(2, argv), fs);
    EXPECT_EQ(status, RunStatus::ok);
    EXPECT_EQ(exit_code(status), 0);
    EXPECT_EQ(fs.console().substr(0, c.starts_with.size()), c.starts_with);
    EXPECT_GT(fs.console().size(), c.starts_with.size());
    EXPECT_EQ(fs.console().back(), '\n');
    // Nothing is converted.
    EXPECT_FALSE(fs.exists("test.ntp"));
    EXPECT_TRUE(fs.opened_outputs().empty());
  }
}

}  // namespace
}  // namespace tnx
