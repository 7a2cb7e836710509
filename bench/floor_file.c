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
#define _GNU_SOURCE /* MAP_ANONYMOUS, MADV_HUGEPAGE */

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

static int fail(const char* what, const char* path) {
  fprintf(stderr, "floor_file: %s %s: %s\n", what, path, strerror(errno));
  return 1;
}

/* The buffer the one write call goes out from, with its pages already in
 * place. Left to be faulted in one by one inside the write, fresh pages made
 * the single 25 MB write of the 10,000-line file take 40-50 ms here, longer
 * than tarnovelix's whole run. So every page is touched first, and a buffer
 * of 2 MiB or more asks for huge pages, which the kernel maps 2 MiB per
 * fault (about 2.5 ms for those 25 MB; where huge pages are off, the hint
 * does nothing and the small pages are touched one by one). The mapping is
 * left to the process's exit. */
static char* touched_buffer(size_t size) {
  const size_t page = (size_t)sysconf(_SC_PAGESIZE);
  const size_t huge = (size_t)2 << 20;
  const int use_huge = size >= huge;
  const size_t rounded = use_huge ? (size + huge - 1) / huge * huge : size;
  const size_t mapped = use_huge ? rounded + huge : (size > 0 ? size : 1);
  char* raw = mmap(NULL, mapped, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return NULL;
  char* buffer = raw;
  if (use_huge) {
    buffer = raw + (huge - (uintptr_t)raw % huge) % huge;
    madvise(buffer, rounded, MADV_HUGEPAGE);
  }
  for (size_t i = 0; i < size; i += page) buffer[i] = 0;
  return buffer;
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
  char* buffer = touched_buffer(in_size > out_size ? in_size : out_size);
  if (buffer == NULL) {
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
  return 0;
}
