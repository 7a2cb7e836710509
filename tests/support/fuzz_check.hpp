// An assertion for the fuzz harnesses that holds in every build type: it
// prints what went wrong and aborts, which libFuzzer reports as a crash and
// the replay test as a failure.
#pragma once

#include <cstdio>
#include <cstdlib>

#define TNX_FUZZ_ASSERT(cond, msg)                                    \
  do {                                                                \
    if (!(cond)) {                                                    \
      std::fprintf(stderr, "%s:%d: check failed: %s: %s\n", __FILE__, \
                   __LINE__, #cond, msg);                             \
      std::abort();                                                   \
    }                                                                 \
  } while (false)
