// The Windows layer: processor groups and job objects for the CPUs and memory, the
// console's control handler for Ctrl-C and Ctrl-Break, the console's own calls for the
// status line, and standard streams that carry bytes as they are.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// After windows.h, which it needs.
#include <fcntl.h>
#include <io.h>
#include <psapi.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "heap.hpp"
#include "io_error.hpp"
#include "machine.hpp"
#include "platform.hpp"
#include "process_setup.hpp"
#include "terminal.hpp"

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

namespace revadd {
namespace {

bool is_console(DWORD which) {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

void (*stop_request)(int) = nullptr;

BOOL WINAPI on_console_event(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT: stop_request(SIGINT); return TRUE;
        case CTRL_BREAK_EVENT: stop_request(SIGBREAK); return TRUE;
        default: return FALSE;  // closing the console, logging off: the system's own way
    }
}

}  // namespace

unsigned usable_cpus() {
    DWORD_PTR process = 0, group = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &group) == 0) process = group = 0;
    std::vector<unsigned> active(GetActiveProcessorGroupCount());
    for (std::size_t g = 0; g < active.size(); ++g) {
        active[g] = GetActiveProcessorCount(static_cast<WORD>(g));
    }
    return std::max(cpus_in_groups(process, group, active), 1u);
}

std::size_t usable_memory() {
    std::optional<std::size_t> least;
    // A job's limits count memory committed: this process's own is what it has taken.
    PROCESS_MEMORY_COUNTERS_EX counters{};
    const std::size_t committed =
        GetProcessMemoryInfo(GetCurrentProcess(),
                             reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                             sizeof counters) != 0
            ? counters.PrivateUsage
            : 0;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION job{};
    if (QueryInformationJobObject(nullptr, JobObjectExtendedLimitInformation, &job, sizeof job,
                                  nullptr) != 0) {
        const DWORD flags = job.BasicLimitInformation.LimitFlags;
        if ((flags & JOB_OBJECT_LIMIT_PROCESS_MEMORY) != 0) {
            platform::keep_least(least, platform::room_under(job.ProcessMemoryLimit, committed));
        }
        // What the job's other processes hold is not told: this one's is the least of it.
        if ((flags & JOB_OBJECT_LIMIT_JOB_MEMORY) != 0) {
            platform::keep_least(least, platform::room_under(job.JobMemoryLimit, committed));
        }
    }
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (GlobalMemoryStatusEx(&status) != 0) {
        platform::keep_least(least, platform::room_under(status.ullAvailPhys, 0));
        // What this process may still commit: past it an allocation fails.
        platform::keep_least(least, platform::room_under(status.ullAvailPageFile, 0));
    }
    return least.value_or(SIZE_MAX);
}

StandardStreams prepare_process() {
    StandardStreams streams;
    // A handle the process was started without leaves the descriptor in place, writing
    // nowhere: a later file never takes its number.
    streams.stdout_was_closed = _get_osfhandle(1) < 0;
    _setmode(1, _O_BINARY);
    _setmode(2, _O_BINARY);
    if (!is_console(STD_INPUT_HANDLE)) _setmode(0, _O_BINARY);
    // The memo, the report text and the threads allocate through operator new; running
    // out there ends the run the way running out of digit buffers does, unless the run
    // can go on without what was asked for.
    std::set_new_handler(on_allocation_failure);
    return streams;
}

int write_error(int reported) {
    if (reported != EINVAL) return reported;
    switch (GetLastError()) {
        case ERROR_BROKEN_PIPE:
        case ERROR_NO_DATA:
        case ERROR_PIPE_NOT_CONNECTED: return EPIPE;
        default: return reported;
    }
}

namespace terminal {

bool status_line_possible() {
    const char* term = std::getenv("TERM");
    if (term != nullptr && std::strcmp(term, "dumb") == 0) return false;
    const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    // A file, a pipe (mintty's terminal is one to a Windows program): no line.
    if (GetConsoleMode(err, &mode) == 0) return false;
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           SetConsoleMode(err, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

bool stdout_is_terminal() { return is_console(STD_OUTPUT_HANDLE); }

std::size_t columns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info) == 0) return 0;
    return static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left + 1);
}

}  // namespace terminal

namespace platform {

bool write_stderr(std::string_view text) {
    const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    while (!text.empty()) {
        DWORD written = 0;
        const DWORD size = static_cast<DWORD>(std::min<std::size_t>(text.size(), 1u << 20));
        if (WriteFile(err, text.data(), size, &written, nullptr) == 0 || written == 0) {
            return false;
        }
        text.remove_prefix(written);
    }
    return true;
}

// A console has no process groups to hand the foreground between.
bool in_background() { return false; }

void exit_now(int status) {
    // Not ExitProcess, which lets every library clean up (the C runtime flushes its
    // streams) after stopping threads that may hold the locks that takes.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
    std::_Exit(status);
}

// Each event on a thread of its own, which the system starts for it.
void catch_stop_requests(void (*stop)(int signal_number)) {
    stop_request = stop;
    SetConsoleCtrlHandler(on_console_event, TRUE);
}

}  // namespace platform
}  // namespace revadd
