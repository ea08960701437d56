// The Linux extras over the POSIX layer: the affinity mask, cgroup (v2) quotas and
// limits, and what /proc says is in use and available.
#include <sched.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>

#include "machine.hpp"
#include "platform.hpp"

namespace revadd::platform::linux_extras {
namespace {

// A whole small file under /proc, empty when it cannot be read.
std::string whole_file(const char* path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::optional<Cgroup> own_cgroup() {
    return cgroup_of(whole_file("/proc/self/cgroup"), "/sys/fs/cgroup");
}

}  // namespace

unsigned usable_cpus(unsigned online) {
    cpu_set_t allowed;
    unsigned cpus = sched_getaffinity(0, sizeof allowed, &allowed) == 0
                        ? static_cast<unsigned>(CPU_COUNT(&allowed))
                        : online;
    if (const auto cgroup = own_cgroup()) {
        if (const auto quota = cgroup_cpus(*cgroup)) cpus = std::min(cpus, *quota);
    }
    return cpus;
}

InUse in_use() {
    // The address space and the data segment in use, in pages: statm's first and sixth.
    std::ifstream statm("/proc/self/statm");
    std::size_t pages[6] = {};
    for (std::size_t& p : pages) statm >> p;
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return {pages[0] * page, pages[5] * page};
}

std::optional<std::size_t> memory_room() {
    std::optional<std::size_t> least;
    if (const auto cgroup = own_cgroup()) {
        if (const auto room = cgroup_memory_room(*cgroup)) keep_least(least, *room);
    }
    if (const auto available = meminfo_available(whole_file("/proc/meminfo"))) {
        keep_least(least, *available);
    }
    return least;
}

}  // namespace revadd::platform::linux_extras
