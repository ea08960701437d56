// The POSIX layer: macOS, the BSDs, and Linux, where platform_linux.cpp adds what only
// Linux tells (affinity, cgroups, /proc) when REVADD_LINUX_EXTRAS is on. Without it,
// Linux takes the paths macOS takes, which is how the tests reach them.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>
#ifdef __APPLE__
#include <sys/sysctl.h>
#endif
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>
#include <utility>

#include "base_tuning.hpp"
#include "heap.hpp"
#include "io_error.hpp"
#include "machine.hpp"
#include "platform.hpp"
#include "process_setup.hpp"
#include "terminal.hpp"

namespace revadd {
namespace {

// The memory the machine has, where the system says.
std::optional<std::size_t> physical_memory() {
#ifdef __APPLE__
    std::uint64_t bytes = 0;
    std::size_t size = sizeof bytes;
    if (sysctlbyname("hw.memsize", &bytes, &size, nullptr, 0) == 0) {
        return platform::room_under(bytes, 0);
    }
#elif defined(_SC_PHYS_PAGES)
    const long pages = sysconf(_SC_PHYS_PAGES), page = sysconf(_SC_PAGESIZE);
    if (pages > 0 && page > 0) {
        return platform::room_under(std::uint64_t(pages) * std::uint64_t(page), 0);
    }
#endif
    return std::nullopt;
}

#if !REVADD_LINUX_EXTRAS
// What the limits on address space and data leave: the most that one more mapping of
// private memory can take now, up to `most` bytes, to the MiB below. Found by trying,
// since nothing else here tells what is in use of them; nothing is touched, so nothing
// is spent.
std::size_t mappable(std::size_t most) {
    constexpr std::size_t step = std::size_t{1} << 20;
#ifdef MAP_NORESERVE
    constexpr int reserve = MAP_NORESERVE;
#else
    constexpr int reserve = 0;
#endif
    std::size_t low = 0, high = most / step;  // low steps can be mapped; more than high cannot
    while (low < high) {
        const std::size_t mid = low + (high - low + 1) / 2;
        void* block = mmap(nullptr, mid * step, PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANON | reserve, -1, 0);
        if (block == MAP_FAILED) {
            high = mid - 1;
        } else {
            munmap(block, mid * step);
            low = mid;
        }
    }
    return low * step;
}
#endif

}  // namespace

unsigned usable_cpus() {
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    unsigned cpus =
        online > 0 ? static_cast<unsigned>(online) : std::thread::hardware_concurrency();
#if REVADD_LINUX_EXTRAS
    cpus = platform::linux_extras::usable_cpus(cpus);
#endif
    return std::max(cpus, 1u);
}

std::size_t usable_memory() {
    std::optional<std::size_t> least;
#if REVADD_LINUX_EXTRAS
    const platform::InUse used = platform::linux_extras::in_use();
#endif
    for (const int resource : {RLIMIT_AS, RLIMIT_DATA}) {
        rlimit limit{};
        if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) continue;
#if REVADD_LINUX_EXTRAS
        const std::size_t in_use = resource == RLIMIT_AS ? used.address_space : used.data;
        platform::keep_least(least, platform::room_under(limit.rlim_cur, in_use));
#else
        platform::keep_least(least, mappable(platform::room_under(limit.rlim_cur, 0)));
#endif
    }
    if (const auto physical = physical_memory()) platform::keep_least(least, *physical);
#if REVADD_LINUX_EXTRAS
    if (const auto room = platform::linux_extras::memory_room()) platform::keep_least(least, *room);
#endif
    return least.value_or(SIZE_MAX);
}

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

int write_error(int reported) { return reported; }

namespace terminal {

bool status_line_possible() {
    const char* term = std::getenv("TERM");
    return isatty(STDERR_FILENO) == 1 && term != nullptr && *term != '\0' &&
           std::strcmp(term, "dumb") != 0;
}

bool stdout_is_terminal() { return isatty(STDOUT_FILENO) == 1; }

std::size_t columns() {
    winsize size{};
    return ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

}  // namespace terminal

namespace platform {

bool write_stderr(std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = write(STDERR_FILENO, text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// "No controlling terminal" is not the background.
bool in_background() {
    const pid_t foreground = tcgetpgrp(STDERR_FILENO);
    return foreground != -1 && foreground != getpgrp();
}

void exit_now(int status) { _exit(status); }

void catch_stop_requests(void (*stop)(int signal_number)) {
    struct sigaction action {};
    action.sa_handler = stop;
    sigemptyset(&action.sa_mask);
    // Restarted, so that a write under way when the signal comes completes.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

}  // namespace platform
}  // namespace revadd
