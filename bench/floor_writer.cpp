// The floor of the real-file benchmark: writes BYTES bytes of row-like text
// from memory in 1 MiB write calls, which is all a converter producing that
// many bytes has to do at the least.
//
//   floor_writer BYTES OUTPUT [BLOCK]
//
// BLOCK (bytes per write call, default 1 MiB) lets the benchmark also time
// writes that are not multiples of the page size, as a converter's are:
// on some kernels exactly aligned 1 MiB writes into the page cache are
// several times slower than writes 4 KiB shorter.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fputs("usage: floor_writer BYTES OUTPUT [BLOCK]\n", stderr);
    return 2;
  }
  const unsigned long long total = std::strtoull(argv[1], nullptr, 10);
  const int fd = ::open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) {
    std::perror("floor_writer: open");
    return 1;
  }
  const std::size_t block_size =
      argc == 4 ? std::strtoull(argv[3], nullptr, 10) : std::size_t{1} << 20;
  if (block_size == 0) {
    std::fputs("floor_writer: BLOCK must be positive\n", stderr);
    return 2;
  }
  std::vector<char> block(block_size);
  static constexpr char ROW[] = "  17 12.500 4711 65535\n";
  for (std::size_t i = 0; i < block_size; ++i)
    block[i] = ROW[i % (sizeof ROW - 1)];

  unsigned long long written = 0;
  while (written < total) {
    const std::size_t size = total - written < block_size
                                 ? static_cast<std::size_t>(total - written)
                                 : block_size;
    std::size_t done = 0;
    while (done < size) {
      const ssize_t n = ::write(fd, block.data() + done, size - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        std::perror("floor_writer: write");
        return 1;
      }
      done += static_cast<std::size_t>(n);
    }
    written += size;
  }
  return ::close(fd) == 0 ? 0 : 1;
}
