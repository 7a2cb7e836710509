// The messages and reason lines of a conversion that failed.
#include "program/messages.hpp"

#include <cerrno>
#include <cstring>
#include <new>
#include <string>

#include "platform/file_system.hpp"

namespace tnx {

void tell_failure(Console& console, std::string_view message,
                  std::string_view name, int error) {
  console.print(message, name);
  console.report(name, error_text(error));
}

void tell_failure(Console& console, std::string_view message,
                  std::string_view name, std::string_view reason) {
  console.print(message, name);
  console.report(name, reason);
}

void tell_refused_output(Console& console, std::string_view name,
                         std::string_view why) {
  console.print(OUTPUT_NOT_OPENED, name, " (");
  console.print({}, why, ")\n");
  console.report(name, why);
}

void tell_out_of_memory(ConsoleWriter& text, std::string_view name) {
  text.add(INPUT_NOT_READ);
  text.add_name(name);
  text.add("\n");
  text.flush();
}

void write_reason(FileIo& io, std::string_view name, std::string_view reason) {
  ConsoleWriter errors(io, STDERR_FD);
  errors.add("tarnovelix: ");
  errors.add_name(name);
  errors.add(": ");
  errors.add_name(reason);
  errors.add("\n");
}

void write_memory_reason(FileIo& io, std::string_view name) {
  std::string reason;
  try {
    reason = error_text(ENOMEM);
  } catch (const std::bad_alloc&) {
    write_reason(io, name, std::strerror(ENOMEM));
    return;
  }
  write_reason(io, name, reason);
}

}  // namespace tnx
