// Where the rows of a run go, told by the output file alone on a file
// system held in memory: which names are refused before anything is made,
// which are written under a temporary name and which directly, and what
// the files hold once the rows are committed or dropped.
#include "program/output_file.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <string>

#include "memory_file_system.hpp"

namespace tnx {
namespace {

// What is there before the output is opened, beside the input "in.dat"
// that holds "input".
enum class Setup {
  none,
  old_file,         // out.ntp holds OLD
  read_only,        // out.ntp holds OLD and may not be written
  folder_closed,    // out.ntp holds OLD; its folder takes no new file
  no_folder,        // no new file can be made at all
  missing_folder,   // d/x cannot be made
  folder,           // dir is a folder
  link_to_old,      // link.ntp leads to real.ntp, which holds OLD
  hard_link,        // alias.dat is another name of in.dat
  link_to_input,    // link.dat leads to in.dat
  output_to_input,  // standard output was sent to in.dat
  output_to_log,    // standard output was sent to log.txt
};

constexpr const char* OLD = "old rows, longer than the new ones\n";

void prepare(test::MemoryFileSystem& fs, Setup setup) {
  fs.add_file("in.dat", "input");
  switch (setup) {
    case Setup::none: break;
    case Setup::old_file: fs.add_file("out.ntp", OLD); break;
    case Setup::read_only:
      fs.add_file("out.ntp", OLD);
      fs.set_mode("out.ntp", 0444);
      break;
    case Setup::folder_closed:
      fs.add_file("out.ntp", OLD);
      fs.temporary_error = EACCES;
      break;
    case Setup::no_folder: fs.temporary_error = EROFS; break;
    case Setup::missing_folder: fs.refuse_output("d/x"); break;
    case Setup::folder: fs.add_directory("dir"); break;
    case Setup::link_to_old:
      fs.add_file("real.ntp", OLD);
      fs.add_symlink("link.ntp", "real.ntp");
      break;
    case Setup::hard_link: fs.add_link("alias.dat", "in.dat"); break;
    case Setup::link_to_input: fs.add_symlink("link.dat", "in.dat"); break;
    case Setup::output_to_input: fs.set_standard_output("in.dat"); break;
    case Setup::output_to_log:
      fs.add_file("log.txt", "");
      fs.set_standard_output("log.txt");
      break;
  }
}

// Every name and what it leads to, "name=bytes|...", in name order.
std::string listing(const test::MemoryFileSystem& fs) {
  std::string all;
  for (const std::string& name : fs.names()) {
    all += name + "=" + (fs.exists(name) ? fs.file(name) : "?") + "|";
  }
  return all;
}

// What is done with the rows written to an opened output.
enum class End { commit, discard, destroy };

struct Case {
  const char* what;
  Setup setup;
  const char* name;
  OutputStatus status;
  int error;
  // Whether the rows "rows\n" went to standard output.
  bool standard_output;
  End end;
  // The files afterwards: nothing temporary is left behind.
  const char* files;
};

const Case CASES[] = {
    {"a new row file", Setup::none, "out.ntp", OutputStatus::ok, 0, false,
     End::commit, "in.dat=input|out.ntp=rows\n|"},
    {"an old row file replaced", Setup::old_file, "out.ntp", OutputStatus::ok,
     0, false, End::commit, "in.dat=input|out.ntp=rows\n|"},
    {"an old row file kept when the rows are dropped", Setup::old_file,
     "out.ntp", OutputStatus::ok, 0, false, End::discard,
     "in.dat=input|out.ntp=old rows, longer than the new ones\n|"},
    {"an old row file kept when nothing is committed", Setup::old_file,
     "out.ntp", OutputStatus::ok, 0, false, End::destroy,
     "in.dat=input|out.ntp=old rows, longer than the new ones\n|"},
    {"a new row file not committed leaves nothing", Setup::none, "out.ntp",
     OutputStatus::ok, 0, false, End::destroy, "in.dat=input|"},
    {"through a symbolic link the file it leads to is new", Setup::link_to_old,
     "link.ntp", OutputStatus::ok, 0, false, End::commit,
     "in.dat=input|link.ntp=rows\n|real.ntp=rows\n|"},
    {"a folder that takes no new file: the old file written over",
     Setup::folder_closed, "out.ntp", OutputStatus::ok, 0, false, End::commit,
     "in.dat=input|out.ntp=rows\n|"},
    {"a folder that takes no new file and has no old one", Setup::no_folder,
     "out.ntp", OutputStatus::failed, EROFS, false, End::commit,
     "in.dat=input|"},
    {"a missing folder", Setup::missing_folder, "d/x", OutputStatus::failed,
     ENOENT, false, End::commit, "in.dat=input|"},
    {"a read-only row file is not replaced", Setup::read_only, "out.ntp",
     OutputStatus::failed, EACCES, false, End::commit,
     "in.dat=input|out.ntp=old rows, longer than the new ones\n|"},
    {"a folder", Setup::folder, "dir", OutputStatus::failed, EISDIR, false,
     End::commit, "dir=|in.dat=input|"},
    {"an empty name", Setup::none, "", OutputStatus::failed, ENOENT, false,
     End::commit, "in.dat=input|"},
    {"the input itself", Setup::none, "in.dat", OutputStatus::same_as_input, 0,
     false, End::commit, "in.dat=input|"},
    {"another name of the input", Setup::hard_link, "alias.dat",
     OutputStatus::same_as_input, 0, false, End::commit,
     "alias.dat=input|in.dat=input|"},
    {"a symbolic link to the input", Setup::link_to_input, "link.dat",
     OutputStatus::same_as_input, 0, false, End::commit,
     "in.dat=input|link.dat=input|"},
    {"standard output", Setup::none, "-", OutputStatus::ok, 0, true,
     End::commit, "in.dat=input|"},
    {"standard output sent to the input", Setup::output_to_input, "-",
     OutputStatus::same_as_input, 0, false, End::commit, "in.dat=input|"},
    {"the file standard output was sent to, by name", Setup::output_to_log,
     "log.txt", OutputStatus::ok, 0, true, End::commit,
     "in.dat=input|log.txt=|"},
};

TEST(OutputFile, WhereTheRowsGo) {
  for (const Case& c : CASES) {
    SCOPED_TRACE(c.what);
    test::MemoryFileSystem fs;
    prepare(fs, c.setup);
    const IoResult in = fs.open_input("in.dat");
    ASSERT_TRUE(in.ok());
    FileInfo input;
    ASSERT_TRUE(fs.identify(static_cast<int>(in.value), input).ok());
    {
      OutputFile out(fs);
      ASSERT_EQ(out.open(c.name, input.id), c.status);
      EXPECT_EQ(out.error(), c.error);
      if (c.status == OutputStatus::ok) {
        EXPECT_EQ(out.is_standard_output(), c.standard_output);
        EXPECT_EQ(out.fd() == STDOUT_FD, c.standard_output);
        ASSERT_TRUE(fs.write(out.fd(), "rows\n", 5).ok());
        if (c.end == End::commit) {
          EXPECT_TRUE(out.commit());
        } else if (c.end == End::discard) {
          out.discard();
        }
      }
    }
    ASSERT_TRUE(fs.close(static_cast<int>(in.value)).ok());
    EXPECT_EQ(listing(fs), c.files);
    EXPECT_EQ(fs.open_descriptors(), 0u);
    EXPECT_EQ(fs.console(), c.standard_output ? "rows\n" : "");
  }
}

TEST(OutputFile, ReplacedFileKeepsItsPermissions) {
  const std::uint32_t modes[] = {0600, 0640, 0755};
  for (const std::uint32_t mode : modes) {
    SCOPED_TRACE(mode);
    test::MemoryFileSystem fs;
    fs.add_file("out.ntp", "old\n");
    fs.set_mode("out.ntp", mode);
    OutputFile out(fs);
    ASSERT_EQ(out.open("out.ntp", FileId{}), OutputStatus::ok);
    EXPECT_EQ(out.kind(), FileKind::regular);
    EXPECT_TRUE(out.commit());
    EXPECT_EQ(fs.file("out.ntp"), "");
    EXPECT_EQ(fs.mode("out.ntp"), mode);
  }
}

}  // namespace
}  // namespace tnx
