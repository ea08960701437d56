#include "process_setup.hpp"

#include <fcntl.h>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <cerrno>
#include <csignal>
#include <new>

#include "base_tuning.hpp"
#include "heap.hpp"

namespace revadd {

StandardStreams prepare_process() {
    StandardStreams streams;
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        if (fd == 1) streams.stdout_was_closed = true;
        // The lowest free descriptor is this one: the ones below it are open by now.
        (void)open("/dev/null", O_RDWR);
    }
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    // The memo, the report text and the threads allocate through operator new; running
    // out there ends the run the way running out of digit buffers does, unless the run
    // can go on without what was asked for.
    std::set_new_handler(on_allocation_failure);
#ifdef __GLIBC__
    // The searching threads need a few kilobytes of stack; the 8 MiB each gets by default
    // is address space that a process under a limit may not have.
    pthread_attr_t small;
    if (pthread_attr_init(&small) == 0) {
        pthread_attr_setstacksize(&small, tuning::thread_stack_bytes);
        pthread_setattr_default_np(&small);
        pthread_attr_destroy(&small);
    }
    // Each thread's own heap arena reserves 64 MiB of address space; under a limit on it,
    // a thread that cannot have one takes a page for every allocation. One arena for all.
    rlimit address_space{};
    if (getrlimit(RLIMIT_AS, &address_space) == 0 && address_space.rlim_cur != RLIM_INFINITY) {
        mallopt(M_ARENA_MAX, 1);
    }
#endif
    return streams;
}

}  // namespace revadd
