/* The floor of the per-file benchmark: the least a converter run on one file
 * has to do once it has started. It opens the input, reads it whole, and
 * writes as many bytes as the converter's row file holds to the output
 * (created or truncated) in one write call, then closes both. It is linked
 * statically, so its start loads no shared library either.
 *
 *   floor_file [--replace] INPUT OUTPUT BYTES
 *
 * BYTES is the size of the row file tarnovelix writes for INPUT. The bytes
 * written are pieces of the input (see repeated_block), which cost the
 * kernel the same as rows would.
 *
 * With --replace it is the floor of a safe replacement of an existing
 * OUTPUT: with every signal blocked, it writes the bytes to a new hidden
 * file beside OUTPUT, gives it OUTPUT's permission bits, closes it and
 * renames it over OUTPUT, so that no signal can leave the hidden file or a
 * partly written OUTPUT. */
#define _GNU_SOURCE /* memfd_create, MAP_ANONYMOUS, MAP_POPULATE */

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
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

/* Bytes of one mapping of the block: 1 MiB, a core's L2 cache on the
 * machine the benchmark is run on. */
#define BLOCK ((size_t)1 << 20)

/* The buffer the one read and the one write go through. A converter streams
 * its rows through a small buffer, but a single call needs the whole size in
 * the address space, and fresh memory for it costs more than the converter
 * spends: for the 250 MB row file of 100,000 lines, a run that touched 250 MB
 * of new pages first took 0.16-0.30 s, and one on huge pages 0.07-0.11 s in
 * some runs and 0.7-0.9 s in others, where tarnovelix mostly took
 * 0.10-0.14 s; left to fault inside the call, fresh pages made the write of
 * 25 MB alone take 37-51 ms. So the buffer is one block of at most 1 MiB
 * mapped again and again side by side: the calls copy the same physical
 * block over and over, as the large-file floor writer does. MAP_POPULATE
 * fills the page tables when mapping, so no page faults inside the calls. A
 * buffer of one block or less is a plain anonymous mapping, filled the same
 * way. The mappings are left to the process's exit. */
static char* repeated_block(size_t size) {
  const size_t page = (size_t)sysconf(_SC_PAGESIZE);
  size_t total = size > 0 ? (size + page - 1) / page * page : page;
  if (total <= BLOCK) {
    char* buffer = mmap(NULL, total, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    return buffer == MAP_FAILED ? NULL : buffer;
  }
  const size_t block = BLOCK;
  total = (total + block - 1) / block * block;
  const int memory = memfd_create("floor_file", MFD_CLOEXEC);
  if (memory < 0 || ftruncate(memory, (off_t)block) != 0) return NULL;
  char* region =
      mmap(NULL, total, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (region == MAP_FAILED) return NULL;
  for (size_t offset = 0; offset < total; offset += block) {
    if (mmap(region + offset, block, PROT_READ | PROT_WRITE,
             MAP_SHARED | MAP_FIXED | MAP_POPULATE, memory, 0) == MAP_FAILED) {
      return NULL;
    }
  }
  close(memory);
  return region;
}

/* Writes `size` bytes of `buffer` to `out` in one call, as the floor is
 * defined: a short write is an error here, not something to finish with a
 * second call. */
static int write_all(int out, const char* buffer, size_t size,
                     const char* path) {
  if (size == 0) return 0;
  const ssize_t n = write(out, buffer, size);
  if (n < 0) return fail("cannot write", path);
  if ((size_t)n != size) {
    fprintf(stderr, "floor_file: short write to %s: %zd of %zu bytes\n", path,
            n, size);
    return 1;
  }
  return 0;
}

/* The safe replacement of `path`: the hidden file ".NAME.floor" beside it,
 * written, given the old file's permission bits, closed and renamed over
 * it, every signal blocked meanwhile. */
static int replace_file(const char* path, const char* buffer, size_t size) {
  char hidden[PATH_MAX];
  const char* slash = strrchr(path, '/');
  const int folder = slash == NULL ? 0 : (int)(slash + 1 - path);
  if (snprintf(hidden, sizeof hidden, "%.*s.%s.floor", folder, path,
               path + folder) >= (int)sizeof hidden) {
    errno = ENAMETOOLONG;
    return fail("cannot name a file beside", path);
  }
  sigset_t all;
  sigset_t before;
  sigfillset(&all);
  sigprocmask(SIG_BLOCK, &all, &before);
  struct stat old;
  if (stat(path, &old) != 0) return fail("cannot stat", path);
  const int out = open(hidden, O_WRONLY | O_CREAT | O_EXCL, 0600);
  if (out < 0) return fail("cannot open", hidden);
  if (fchmod(out, old.st_mode & 07777) != 0)
    return fail("cannot chmod", hidden);
  if (write_all(out, buffer, size, hidden) != 0) return 1;
  if (close(out) != 0) return fail("cannot close", hidden);
  if (rename(hidden, path) != 0) return fail("cannot rename", hidden);
  sigprocmask(SIG_SETMASK, &before, NULL);
  return 0;
}

int main(int argc, char** argv) {
  const int replace = argc > 1 && strcmp(argv[1], "--replace") == 0;
  if (argc != 4 + replace) {
    fputs("usage: floor_file [--replace] INPUT OUTPUT BYTES\n", stderr);
    return 2;
  }
  const char* input = argv[1 + replace];
  const char* output = argv[2 + replace];
  const char* count = argv[3 + replace];
  char* end = NULL;
  errno = 0;
  const unsigned long long bytes = strtoull(count, &end, 10);
  if (errno != 0 || end == count || *end != '\0' ||
      bytes > (unsigned long long)SSIZE_MAX) {
    fputs("floor_file: BYTES must be a number of bytes\n", stderr);
    return 2;
  }

  const int in = open(input, O_RDONLY);
  if (in < 0) return fail("cannot open", input);
  struct stat status;
  if (fstat(in, &status) != 0) return fail("cannot stat", input);
  const size_t in_size = (size_t)status.st_size;
  const size_t out_size = (size_t)bytes;
  char* buffer = repeated_block(in_size > out_size ? in_size : out_size);
  if (buffer == NULL) return fail("cannot map a buffer for", output);
  size_t got = 0;
  while (got < in_size) {
    const ssize_t n = read(in, buffer + got, in_size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return fail("cannot read", input);
    if (n == 0) break;
    got += (size_t)n;
  }
  close(in);

  if (replace) return replace_file(output, buffer, out_size);
  const int out = open(output, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (out < 0) return fail("cannot open", output);
  if (write_all(out, buffer, out_size, output) != 0) return 1;
  if (close(out) != 0) return fail("cannot close", output);
  return 0;
}
