// What this process may use of the machine, read afresh from the system. A laptop, a
// shared server and a container all give less than the hardware has; a run sized to the
// hardware there is slower or runs out of memory. Each system tells it its own way:
//   Linux: the CPUs its affinity mask allows, capped by the CPU quota of its cgroup (v2);
//     the memory it may still take under its address-space and data limits, its cgroup's
//     limit and the memory available (platform_linux.cpp, over platform_posix.cpp);
//   other POSIX systems (macOS): the CPUs online; what the address-space and data limits
//     allow, and the physical memory (platform_posix.cpp);
//   Windows: the CPUs of its affinity, over every processor group it may use; what its
//     job's memory limits leave, and the physical memory and commit available
//     (platform_windows.cpp).
// The text and the numbers they come as are read here, on every system alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
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

// CPUs a Windows process may use, from the affinity mask of its primary processor group
// and that group's own (both 0 when its threads are in several groups, or unknown) and
// the CPUs active in each group of the machine. A process left to the whole of its group
// on a machine of several has its threads spread over every group (Windows 11 and Server
// 2022 on; before them it would keep to the one group, and have threads to spare).
unsigned cpus_in_groups(std::uint64_t process_mask, std::uint64_t group_mask,
                        std::span<const unsigned> active_per_group);

// CPUs this process may run on at once; at least 1.
unsigned usable_cpus();

// Bytes this process may still allocate: the least of what its limits, its cgroup and
// the free memory leave; SIZE_MAX when nothing bounds it.
std::size_t usable_memory();

}  // namespace revadd
