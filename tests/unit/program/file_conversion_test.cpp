// The failure a conversion reports to its caller: the file, the errno value
// and the reason, as its reason line on standard error tells them.
#include "program/file_conversion.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <memory>
#include <string>

#include "faulty_file_system.hpp"
#include "memory_file_system.hpp"

namespace tnx {
namespace {

using test::Call;
using test::FaultPlan;
using test::FaultyFileSystem;
using test::MemoryFileSystem;
using test::Role;

const std::string SCAN =
    "# a scan\npoints 0.5 1.0\nevents 10 20\ndropped\n7 100 200\n";

struct Case {
  const char* name;
  const char* input;
  const char* output;
  // Adds faults to the file system, or leaves it as it is.
  std::function<std::unique_ptr<FaultyFileSystem>(MemoryFileSystem&)> faults;
  RunStatus status;
  FailedFile file;
  int error;
  // Empty: the system's text for `error`.
  std::string reason;
};

std::unique_ptr<FaultyFileSystem> no_faults(MemoryFileSystem& /*fs*/) {
  return nullptr;
}

std::function<std::unique_ptr<FaultyFileSystem>(MemoryFileSystem&)> failing(
    FaultPlan plan, FaultPlan also) {
  return [plan, also](MemoryFileSystem& fs) {
    return std::make_unique<FaultyFileSystem>(fs, plan, also);
  };
}

// The second read: the rows of the first are written, and their write can
// fail too.
const FaultPlan READ_FAILS{Call::read, Role::input,        2,
                           0,          test::Effect::fail, EIO};
const FaultPlan WRITE_FAILS{Call::write, Role::output,       1,
                            0,           test::Effect::fail, ENOSPC};
// A plan on a call a conversion never makes: no fault at all.
const FaultPlan NONE{Call::truncate,     Role::input, 1, 1,
                     test::Effect::fail, EIO};

class ConversionFailureTest : public ::testing::TestWithParam<Case> {};

TEST_P(ConversionFailureTest, TellsTheFailureItsStatusReports) {
  const Case& c = GetParam();
  MemoryFileSystem memory;
  memory.add_file("in.dat", SCAN);
  memory.refuse_output("missing/out.ntp", ENOENT);
  const std::unique_ptr<FaultyFileSystem> faulty = c.faults(memory);
  FileSystem& fs = faulty ? static_cast<FileSystem&>(*faulty) : memory;
  std::string errors;
  ConversionOutcome outcome;
  {
    Console console(fs.io(), ConsoleMode::collect);
    outcome = convert_file(c.input, c.output, fs, console);
    errors = console.take_errors();
  }
  EXPECT_EQ(outcome.status, c.status);
  EXPECT_EQ(outcome.failure.file, c.file);
  EXPECT_EQ(outcome.failure.error, c.error);
  const std::string reason =
      c.reason.empty() && c.error != 0 ? error_text(c.error) : c.reason;
  EXPECT_EQ(outcome.failure.reason, reason);
  if (c.file == FailedFile::none) {
    EXPECT_EQ(errors, "");
  } else {
    // The first reason line is the failure's.
    const char* name = c.file == FailedFile::input ? c.input : c.output;
    EXPECT_EQ(errors.substr(0, errors.find('\n')),
              std::string("tarnovelix: ") + name + ": " + reason);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, ConversionFailureTest,
    ::testing::Values(
        Case{"ok", "in.dat", "out.ntp", no_faults, RunStatus::ok,
             FailedFile::none, 0, ""},
        Case{"no_input", "none.dat", "out.ntp", no_faults,
             RunStatus::input_not_opened, FailedFile::input, ENOENT, ""},
        Case{"no_output", "in.dat", "missing/out.ntp", no_faults,
             RunStatus::output_not_opened, FailedFile::output, ENOENT, ""},
        Case{"output_is_input", "in.dat", "in.dat", no_faults,
             RunStatus::output_not_opened, FailedFile::output, EINVAL,
             "same file as the input"},
        Case{"read_fails", "in.dat", "out.ntp", failing(READ_FAILS, NONE),
             RunStatus::read_failed, FailedFile::input, EIO, ""},
        // Both fail: the write decides the status, and is told first.
        Case{"read_and_write_fail", "in.dat", "out.ntp",
             failing(READ_FAILS, WRITE_FAILS), RunStatus::write_failed,
             FailedFile::output, ENOSPC, ""}),
    [](const ::testing::TestParamInfo<Case>& param) {
      return std::string(param.param.name);
    });

}  // namespace
}  // namespace tnx
