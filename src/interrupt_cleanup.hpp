// The temporary row files that a signal (or, on Windows, a console event
// such as Ctrl-C) ending the program must not leave behind. A file is
// guarded from just before it is created until it is renamed into place or
// removed; the platform's handler removes every guarded file, then ends the
// program as the signal would have.
#pragma once

#include <string>

namespace tnx {

// guard_temporary()
//
// From now until release_temporary(), a fatal signal removes the file
// `name`, which this thread is about to create. One file per thread.
void guard_temporary(const std::string& name);

// This thread's guarded file is gone, or in its final place.
void release_temporary();

}  // namespace tnx
