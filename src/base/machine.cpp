#include "machine.hpp"

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <thread>

namespace revadd {
namespace {

// The first line of a small file under /proc or /sys, empty when it cannot be read.
std::string first_line(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// A whole small file under /proc, empty when it cannot be read.
std::string whole_file(const std::filesystem::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::optional<Cgroup> own_cgroup() {
    return cgroup_of(whole_file("/proc/self/cgroup"), "/sys/fs/cgroup");
}

// A whole decimal number of bytes, CPUs or microseconds, if that is what `text` is.
std::optional<std::size_t> number_in(std::string_view text) {
    std::size_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

// Visits the root of the hierarchy and each cgroup down to this process's own.
template <class Visit>
void each_level(const Cgroup& cgroup, Visit&& visit) {
    std::filesystem::path level = cgroup.root;
    visit(level);
    for (const std::filesystem::path& part : std::filesystem::path(cgroup.self).relative_path()) {
        if (part.empty()) continue;
        level /= part;
        visit(level);
    }
}

void keep_least(std::optional<std::size_t>& least, std::size_t value) {
    least = std::min(least.value_or(SIZE_MAX), value);
}

}  // namespace

std::optional<Cgroup> cgroup_of(std::string_view proc_cgroup, const std::filesystem::path& mount) {
    std::string_view rest = proc_cgroup;
    while (!rest.empty()) {
        const std::string_view line = rest.substr(0, rest.find('\n'));
        rest.remove_prefix(std::min(rest.size(), line.size() + 1));
        if (!line.starts_with("0::")) continue;
        for (const std::filesystem::path& root : {mount, mount / "unified"}) {
            if (std::filesystem::exists(root / "cgroup.controllers")) {
                return Cgroup{root, std::string(line.substr(3))};
            }
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> meminfo_available(std::string_view meminfo) {
    constexpr std::string_view name = "MemAvailable:";
    const std::size_t at = meminfo.find(name);
    if (at == std::string_view::npos || (at > 0 && meminfo[at - 1] != '\n')) return std::nullopt;
    std::string_view value = meminfo.substr(at + name.size());
    value.remove_prefix(std::min(value.find_first_not_of(' '), value.size()));
    const auto kib = number_in(value.substr(0, value.find(" kB")));
    if (!kib) return std::nullopt;
    return *kib * 1024;
}

std::optional<unsigned> cgroup_cpus(const Cgroup& cgroup) {
    std::optional<std::size_t> least;
    each_level(cgroup, [&](const std::filesystem::path& level) {
        // "max 100000" leaves the CPUs free; "150000 100000" allows one and a half.
        const std::string line = first_line(level / "cpu.max");
        const std::size_t space = line.find(' ');
        const auto quota = number_in(std::string_view(line).substr(0, space));
        const auto period = space == std::string::npos
                                ? std::nullopt
                                : number_in(std::string_view(line).substr(space + 1));
        if (quota && period && *period > 0) keep_least(least, (*quota + *period - 1) / *period);
    });
    if (!least) return std::nullopt;
    return static_cast<unsigned>(std::max<std::size_t>(*least, 1));
}

std::optional<std::size_t> cgroup_memory_room(const Cgroup& cgroup) {
    std::optional<std::size_t> least;
    each_level(cgroup, [&](const std::filesystem::path& level) {
        const auto limit = number_in(first_line(level / "memory.max"));  // or "max"
        const std::size_t used = number_in(first_line(level / "memory.current")).value_or(0);
        if (limit) keep_least(least, *limit > used ? *limit - used : 0);
    });
    return least;
}

unsigned usable_cpus() {
    cpu_set_t allowed;
    unsigned cpus = sched_getaffinity(0, sizeof allowed, &allowed) == 0
                        ? static_cast<unsigned>(CPU_COUNT(&allowed))
                        : std::thread::hardware_concurrency();
    if (const auto cgroup = own_cgroup()) {
        if (const auto quota = cgroup_cpus(*cgroup)) cpus = std::min(cpus, *quota);
    }
    return std::max(cpus, 1u);
}

std::size_t usable_memory() {
    std::optional<std::size_t> least;
    // The address space and the data segment in use, in pages: statm's first and sixth.
    std::ifstream statm("/proc/self/statm");
    std::size_t pages[6] = {};
    for (std::size_t& p : pages) statm >> p;
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    for (const auto& [resource, used] :
         {std::pair{RLIMIT_AS, pages[0]}, std::pair{RLIMIT_DATA, pages[5]}}) {
        rlimit limit{};
        if (getrlimit(resource, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
            keep_least(least, limit.rlim_cur > used * page ? limit.rlim_cur - used * page : 0);
        }
    }
    if (const auto cgroup = own_cgroup()) {
        if (const auto room = cgroup_memory_room(*cgroup)) keep_least(least, *room);
    }
    if (const auto available = meminfo_available(whole_file("/proc/meminfo"))) {
        keep_least(least, *available);
    }
    return least.value_or(SIZE_MAX);
}

}  // namespace revadd
