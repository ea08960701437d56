// What this process may use of the machine, read afresh from the system: the CPUs its
// affinity mask allows, capped by the CPU quota of its cgroup (v2), and the memory it
// may still take under its address-space and data limits, its cgroup's limit and the
// memory free. A laptop, a shared server and a container all give less than the
// hardware has; a run sized to the hardware there is slower or runs out of memory.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace revadd {

// The cgroup (v2) hierarchy and this process's place in it.
struct Cgroup {
    std::filesystem::path root;  // where the hierarchy is mounted
    std::string self;            // the process's cgroup below it, "/a/b"
};

// The cgroup (v2) named by `proc_cgroup`, the text of /proc/<pid>/cgroup, in the
// hierarchy mounted at `mount` (/sys/fs/cgroup) or beside the v1 ones under it, as
// "unified"; none when the process has no v2 cgroup or the hierarchy is not there.
std::optional<Cgroup> cgroup_of(std::string_view proc_cgroup, const std::filesystem::path& mount);

// The tightest cpu.max quota of the cgroup and those above it, in CPUs rounded up.
std::optional<unsigned> cgroup_cpus(const Cgroup& cgroup);

// The least room left under memory.max of the cgroup and those above it, in bytes.
std::optional<std::size_t> cgroup_memory_room(const Cgroup& cgroup);

// The bytes MemAvailable gives in `meminfo`, the text of /proc/meminfo.
std::optional<std::size_t> meminfo_available(std::string_view meminfo);

// CPUs this process may run on at once; at least 1.
unsigned usable_cpus();

// Bytes this process may still allocate: the least of what its limits, its cgroup and
// the free memory leave; SIZE_MAX when nothing bounds it.
std::size_t usable_memory();

}  // namespace revadd
