// The program's own handler of ending signals, as a child made by fork()
// inherits it: the child's end removes the child's temporary files, never
// the ones its parent guards. Each case runs in a process of its own, so
// that the handler is never installed in the test program.
#include "platform/interrupt_cleanup.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>

namespace tnx {
namespace {

// Creates `name` as the program creates a temporary file: guarded first.
bool create_guarded(const std::string& name) {
  guard_temporary(name);
  const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
  temporary_created();
  return fd >= 0 && ::close(fd) == 0;
}

// What the parent finds once its child has died, as exit statuses.
enum ParentFinds : int {
  all_well = 0,
  no_file = 1,          // it could not create its own file
  child_lived = 2,      // the child did not end by SIGTERM
  file_removed = 3,     // the child removed the parent's file
  child_file_left = 4,  // the child left its own file
};

// In a process of its own: guards a file on a thread, as a conversion
// does, forks a child that guards one too and takes SIGTERM, and looks at
// both files.
int parent_of_a_dying_child(const std::string& parent_file,
                            const std::string& child_file) {
  bool created = false;
  std::thread([&] { created = create_guarded(parent_file); }).join();
  if (!created) return no_file;
  const pid_t child = ::fork();
  if (child == 0) {
    if (create_guarded(child_file)) ::raise(SIGTERM);
    ::_exit(0);
  }
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFSIGNALED(status) ||
      WTERMSIG(status) != SIGTERM) {
    return child_lived;
  }
  if (::access(parent_file.c_str(), F_OK) != 0) return file_removed;
  if (::access(child_file.c_str(), F_OK) == 0) return child_file_left;
  return all_well;
}

TEST(InterruptCleanup, ForkedChildRemovesOnlyItsOwnFiles) {
  const std::string folder =
      (std::filesystem::temp_directory_path() /
       ("tnx_interrupt_cleanup_" + std::to_string(::getpid())))
          .string();
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const pid_t parent = ::fork();
  if (parent == 0) {
    ::_exit(parent_of_a_dying_child(folder + "/parent", folder + "/child"));
  }
  int status = 0;
  ASSERT_EQ(::waitpid(parent, &status, 0), parent);
  std::filesystem::remove_all(folder);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), all_well) << "see ParentFinds";
}

}  // namespace
}  // namespace tnx
