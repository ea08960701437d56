// What each system's file gives the rest of this layer, beside the functions of the
// public headers that it defines itself (the CPUs and memory, process setup, the
// terminal's questions, write errors). CMake builds one of them:
//   platform_posix.cpp    macOS, the BSDs, and Linux, where with REVADD_LINUX_EXTRAS
//                         platform_linux.cpp adds what only Linux tells;
//   platform_windows.cpp  Windows.
// No file outside src/base/ includes a system's own header.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace revadd::platform {

// Writes all of `text` to standard error at once, past any buffer; false when it cannot.
// Safe in a signal handler.
bool write_stderr(std::string_view text);

// Another process group holds the foreground of the terminal: the run was sent to the
// background, and the shell has the screen.
bool in_background();

// Ends the process with `status` at once: no stream flushed, no destructor run, no other
// thread waited for. Safe in a signal handler.
[[noreturn]] void exit_now(int status);

// From now on the user's requests to stop (Ctrl-C, and SIGTERM or Ctrl-Break) call
// `stop` with the number of the signal, on whatever thread the system delivers them.
void catch_stop_requests(void (*stop)(int signal_number));

// What a limit leaves once `used` of it is taken.
inline std::size_t room_under(std::uint64_t limit, std::uint64_t used) {
    const std::uint64_t room = limit > used ? limit - used : 0;
    return room < SIZE_MAX ? static_cast<std::size_t>(room) : SIZE_MAX;
}

inline void keep_least(std::optional<std::size_t>& least, std::size_t value) {
    least = std::min(least.value_or(SIZE_MAX), value);
}

// Bytes of address space and of data segment in use, which the limits on them count.
struct InUse {
    std::size_t address_space = 0, data = 0;
};

#if REVADD_LINUX_EXTRAS
// What Linux tells beyond POSIX (platform_linux.cpp).
namespace linux_extras {

// The CPUs of the affinity mask (`online` where it cannot be read), capped by the cgroup's
// CPU quota.
unsigned usable_cpus(unsigned online);

InUse in_use();

// The least of the room under the cgroup's memory limits and the memory available.
std::optional<std::size_t> memory_room();

}  // namespace linux_extras
#endif

}  // namespace revadd::platform
