// What a run ends with, and the exit status each outcome gives the shell.
#pragma once

namespace tnx {

enum class RunStatus {
  ok,
  input_not_opened,
  output_not_opened,
  read_failed,
  write_failed,
  // A batch in which some file failed.
  batch_failed,
  // A command line the program cannot carry out.
  usage_error,
  // Standard output and standard error both lead to an input: no text
  // could be written without changing it, so nothing was done at all.
  streams_are_input,
};

// 0 for a successful run, 2 for a malformed batch command line, 1 for every
// other failure.
[[nodiscard]] constexpr int exit_code(RunStatus status) {
  switch (status) {
    case RunStatus::ok: return 0;
    case RunStatus::usage_error: return 2;
    default: return 1;
  }
}

}  // namespace tnx
