#include "fatal.hpp"

#include <cstdio>
#include <cstdlib>

namespace revadd {

void fatal(const char* message) {
    std::fflush(stdout);
    std::fputs(message, stderr);
    std::exit(1);
}

}  // namespace revadd
