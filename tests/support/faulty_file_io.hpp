// A FileIo that passes every call to another one, except the calls a
// FaultPlan picks, which fail, are interrupted, or transfer fewer bytes.
// It also keeps the console text (descriptor 1) and the error lines
// (descriptor 2) to itself and records which descriptors were opened and
// closed, so a test can tell a leaked or doubly closed file.
// FaultyFileSystem adds the calls on names.
#pragma once

#include <cerrno>
#include <cstddef>
#include <map>
#include <string>

#include "engine/file_io.hpp"

namespace tnx::test {

enum class Call {
  open_input,
  open_output,
  identify,
  inspect,
  create_temporary,
  install,
  truncate,
  read,
  read_at,
  write,
  close
};

// The file a call concerns: the descriptors are told apart by the open call
// that returned them (a temporary row file is the output), and descriptors 1
// and 2 are the console.
enum class Role { input, output, console };

enum class Effect {
  // The call fails with `error`; a failed close still releases the file.
  fail,
  // The call fails with EINTR before doing anything.
  interrupt,
  // A read or write transfers half the bytes asked (at least one).
  half,
  // A write accepts nothing and reports no error.
  accept_nothing,
};

struct FaultPlan {
  Call call = Call::read;
  Role role = Role::input;
  // The first call (1-based, counting calls of this kind on this file) that
  // the effect hits, and how many consecutive calls it hits (0: all later).
  int first = 1;
  int count = 1;
  Effect effect = Effect::fail;
  int error = EIO;
};

class FaultyFileIo : public FileIo {
 public:
  FaultyFileIo(FileIo& inner, FaultPlan plan) : inner_(inner), plans_{plan} {}
  // Two plans at once, each counting its own calls: a read and a write
  // that both fail, say.
  FaultyFileIo(FileIo& inner, FaultPlan plan, FaultPlan also)
      : inner_(inner), plans_{plan, also}, plan_count_(2) {}
  FaultyFileIo(const FaultyFileIo&) = delete;
  FaultyFileIo& operator=(const FaultyFileIo&) = delete;
  ~FaultyFileIo() = default;

  std::string console;
  std::string errors;
  // Writes to the output attempted after one of them failed: a writer that
  // retries a failed buffer would write its rows twice.
  int writes_after_error = 0;
  // Closes of descriptors that were not open (a double close).
  int unknown_closes = 0;
  // Bytes the input reads delivered.
  std::size_t input_bytes_read = 0;
  // Whether the plans struck (each of them, when there are two).
  bool fault_hit = false;

  [[nodiscard]] int open_descriptors() const {
    return static_cast<int>(roles_.size());
  }

  // Takes `fd`, opened without this FileIo, as a file of `role`.
  void adopt(int fd, Role role) { roles_[fd] = role; }

  // A scratch file holds console text: the console's role.
  IoResult create_scratch() override {
    return remember(inner_.create_scratch(), Role::console);
  }

  IoResult read(int fd, char* buffer, std::size_t size) override {
    Effect effect = Effect::fail;
    if (const auto hit = strike(Call::read, role_of(fd), &effect)) {
      if (effect != Effect::half) return IoResult{0, *hit};
      size = size > 1 ? size / 2 : size;
    }
    const IoResult got = inner_.read(fd, buffer, size);
    if (got.ok() && role_of(fd) == Role::input) {
      input_bytes_read += static_cast<std::size_t>(got.value);
    }
    return got;
  }

  IoResult read_at(int fd, char* buffer, std::size_t size,
                   std::uint64_t offset) override {
    Effect effect = Effect::fail;
    if (const auto hit = strike(Call::read_at, role_of(fd), &effect)) {
      if (effect != Effect::half) return IoResult{0, *hit};
      size = size > 1 ? size / 2 : size;
    }
    return inner_.read_at(fd, buffer, size, offset);
  }

  IoResult write(int fd, const char* data, std::size_t size) override {
    Effect effect = Effect::fail;
    if (role_of(fd) == Role::output && output_failed_) ++writes_after_error;
    if (const auto hit = strike(Call::write, role_of(fd), &effect)) {
      if (effect == Effect::accept_nothing) {
        output_failed_ = role_of(fd) == Role::output;
        return IoResult{};
      }
      if (effect != Effect::half) {
        if (role_of(fd) == Role::output && effect == Effect::fail) {
          output_failed_ = true;
        }
        return IoResult{0, *hit};
      }
      size = size > 1 ? size / 2 : size;
    }
    if (fd == STDOUT_FD || fd == STDERR_FD) {
      (fd == STDOUT_FD ? console : errors).append(data, size);
      return IoResult{static_cast<std::int64_t>(size), 0};
    }
    const IoResult written = inner_.write(fd, data, size);
    if (!written.ok()) output_failed_ = true;
    return written;
  }

  IoResult close(int fd) override {
    const Role role = role_of(fd);
    if (roles_.erase(fd) == 0) ++unknown_closes;
    const IoResult closed = inner_.close(fd);
    if (const auto hit = strike(Call::close, role)) return IoResult{0, *hit};
    return closed;
  }

 protected:
  // The errno value to answer with when the plan hits this call (EINTR for
  // an interruption, 0 for an effect that still calls through), or nothing.
  struct Hit {
    bool hit = false;
    int error = 0;
    explicit operator bool() const { return hit; }
    int operator*() const { return error; }
  };

  Hit strike(Call call, Role role, Effect* effect = nullptr) {
    Hit found;
    for (std::size_t i = 0; i < plan_count_; ++i) {
      const FaultPlan& plan = plans_[i];
      if (call != plan.call || role != plan.role) continue;
      const int seen = ++seen_[i];
      const bool in_range = seen >= plan.first &&
                            (plan.count == 0 || seen < plan.first + plan.count);
      if (!in_range || found) continue;
      struck_ |= 1u << i;
      fault_hit = struck_ == (1u << plan_count_) - 1;
      if (effect != nullptr) *effect = plan.effect;
      switch (plan.effect) {
        case Effect::fail: found = {true, plan.error}; break;
        case Effect::interrupt: found = {true, EINTR}; break;
        case Effect::half:
        case Effect::accept_nothing: found = {true, 0}; break;
      }
    }
    return found;
  }

  IoResult remember(IoResult opened, Role role) {
    if (opened.ok()) roles_[static_cast<int>(opened.value)] = role;
    return opened;
  }

  // Forgets `fd`, which a call other than close() took away.
  void forget(int fd) {
    if (roles_.erase(fd) == 0) ++unknown_closes;
  }

  [[nodiscard]] Role role_of(int fd) const {
    if (fd == STDOUT_FD || fd == STDERR_FD) return Role::console;
    const auto it = roles_.find(fd);
    return it == roles_.end() ? Role::console : it->second;
  }

 private:
  FileIo& inner_;
  FaultPlan plans_[2];
  std::size_t plan_count_ = 1;
  int seen_[2] = {0, 0};
  // One bit per plan that has struck.
  unsigned struck_ = 0;
  bool output_failed_ = false;
  std::map<int, Role> roles_;
};

}  // namespace tnx::test
