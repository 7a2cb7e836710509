/* The floor of the per-file benchmark: the least a converter run on one file
 * has to do once it has started. It opens the input, reads it whole, and
 * writes as many bytes as the converter's row file holds to the output
 * (created or truncated) in one write call, then closes both. It is linked
 * statically, so its start loads no shared library either.
 *
 *   floor_file INPUT OUTPUT BYTES
 *
 * BYTES is the size of the row file tarnovelix writes for INPUT; the bytes
 * written are the input's text followed by zeros, which costs the kernel
 * the same as rows would. */
#define _POSIX_C_SOURCE 200809L

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static int fail(const char* what, const char* path) {
  fprintf(stderr, "floor_file: %s %s: %s\n", what, path, strerror(errno));
  return 1;
}

int main(int argc, char** argv) {
  if (argc != 4) {
    fputs("usage: floor_file INPUT OUTPUT BYTES\n", stderr);
    return 2;
  }
  char* end = NULL;
  errno = 0;
  const unsigned long long bytes = strtoull(argv[3], &end, 10);
  if (errno != 0 || end == argv[3] || *end != '\0' ||
      bytes > (unsigned long long)SSIZE_MAX) {
    fputs("floor_file: BYTES must be a number of bytes\n", stderr);
    return 2;
  }

  const int in = open(argv[1], O_RDONLY);
  if (in < 0) return fail("cannot open", argv[1]);
  struct stat status;
  if (fstat(in, &status) != 0) return fail("cannot stat", argv[1]);
  const size_t in_size = (size_t)status.st_size;
  const size_t out_size = (size_t)bytes;
  /* calloc: the part past the input is zeros, and for a large buffer the
   * zeros come from fresh pages, not from a loop. */
  char* buffer = calloc(in_size > out_size ? in_size : out_size, 1);
  if (buffer == NULL && (in_size > 0 || out_size > 0)) {
    fputs("floor_file: out of memory\n", stderr);
    return 1;
  }
  size_t got = 0;
  while (got < in_size) {
    const ssize_t n = read(in, buffer + got, in_size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return fail("cannot read", argv[1]);
    if (n == 0) break;
    got += (size_t)n;
  }
  close(in);

  const int out = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (out < 0) return fail("cannot open", argv[2]);
  /* One call, as the floor is defined: a short write is an error here, not
   * something to finish with a second call. */
  if (out_size > 0) {
    const ssize_t n = write(out, buffer, out_size);
    if (n < 0) return fail("cannot write", argv[2]);
    if ((size_t)n != out_size) {
      fprintf(stderr, "floor_file: short write to %s: %zd of %zu bytes\n",
              argv[2], n, out_size);
      return 1;
    }
  }
  if (close(out) != 0) return fail("cannot close", argv[2]);
  free(buffer);
  return 0;
}
