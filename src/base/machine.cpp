#include "machine.hpp"

#include <algorithm>
#include <bit>
#include <charconv>
#include <fstream>
#include <numeric>

#include "platform.hpp"

namespace revadd {
namespace {

using platform::keep_least;

// The first line of a small file under /proc or /sys, empty when it cannot be read.
std::string first_line(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// A whole decimal number of bytes, CPUs or microseconds, if that is what `text` is.
std::optional<std::size_t> number_in(std::string_view text) {
    std::size_t value{};
    const char* const end = text.data() + text.size();
    const auto parsed = std::from_chars(text.data(), end, value);
    if (parsed.ec != std::errc() || parsed.ptr != end) return std::nullopt;
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

unsigned cpus_in_groups(std::uint64_t process_mask, std::uint64_t group_mask,
                        std::span<const unsigned> active_per_group) {
    if (process_mask == 0 || (active_per_group.size() > 1 && process_mask == group_mask)) {
        return std::accumulate(active_per_group.begin(), active_per_group.end(), 0u);
    }
    return static_cast<unsigned>(std::popcount(process_mask));
}

}  // namespace revadd
