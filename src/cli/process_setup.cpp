#include "process_setup.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <new>

#include "bignum/fatal.hpp"

namespace revadd {

StandardStreams prepare_process() {
    StandardStreams streams;
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        if (fd == 1) streams.stdout_was_closed = true;
        // The lowest free descriptor is this one: the ones below it are open by now.
        (void)open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    }
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    // The memo, the report text and the threads allocate through operator new; running
    // out there ends the run the way running out of digit buffers does.
    std::set_new_handler([] { fatal("revadd: out of memory\n"); });
    return streams;
}

}  // namespace revadd
