// The process services of POSIX systems, where argv is already what the
// program needs.
#include "platform.hpp"

namespace tnx {

ProgramArguments::ProgramArguments(int argc, char** argv)
    : values_(argv, argv + argc) {}

ProgramArguments::~ProgramArguments() = default;

}  // namespace tnx
