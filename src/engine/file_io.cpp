// Reads and writes over a FileIo that go on until done or failed.
#include "engine/file_io.hpp"

#include <cerrno>

namespace tnx {

IoResult read_some(FileIo& io, int fd, char* buffer, std::size_t size) {
  for (;;) {
    IoResult r = io.read(fd, buffer, size);
    if (r.error != EINTR) return r;
  }
}

IoResult read_fully_at(FileIo& io, int fd, char* buffer, std::size_t size,
                       std::uint64_t offset) {
  std::size_t done = 0;
  while (done < size) {
    IoResult r = io.read_at(fd, buffer + done, size - done, offset + done);
    if (r.error == EINTR) continue;
    if (!r.ok()) return r;
    if (r.value == 0) return IoResult{0, EIO};
    done += static_cast<std::size_t>(r.value);
  }
  return IoResult{static_cast<std::int64_t>(size), 0};
}

IoResult write_all(FileIo& io, int fd, const char* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    IoResult r = io.write(fd, data + done, size - done);
    if (r.error == EINTR) continue;
    if (!r.ok()) return r;
    // A write that takes nothing would loop for ever; no device that accepts
    // bytes answers that way, so treat it as the device being full.
    if (r.value == 0) return IoResult{0, ENOSPC};
    done += static_cast<std::size_t>(r.value);
  }
  return IoResult{static_cast<std::int64_t>(size), 0};
}

}  // namespace tnx
