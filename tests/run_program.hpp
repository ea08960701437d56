// Runs the built revadd (or a function in its place) in a child process in a fresh
// temporary directory, with chosen streams, limits and signals, and collects what it leaves.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>

namespace revadd::tests {

// What the harness can set up where it is built: no child process on Windows (the table
// runs the Windows program from Linux, under Wine, instead); CPU pinning and /proc only on
// Linux. A test that needs what is missing skips, saying so.
#ifdef _WIN32
inline constexpr bool child_processes = false;
#else
inline constexpr bool child_processes = true;
#endif
#ifdef __linux__
inline constexpr bool linux_harness = true;
#else
inline constexpr bool linux_harness = false;
#endif

// A Windows program run in place of the built revadd (REVADD_TEST_WINDOWS_PROGRAM, a
// script that starts revadd.exe under Wine).
bool windows_program_under_test();

enum class Stdout { captured, dev_full, closed, reader_gone, reader_leaves };
enum class Limit { file_size, address_space, data };  // setrlimit's FSIZE, AS and DATA

struct SignalAt {
    std::string after_output;  // sent once standard output holds this ("" at once),
    int delay_ms = 0;          // this long after that and after the signal before;
    int signal = 0;            // 0: from then on, read a palin.txt that is a FIFO
};

struct RunSetup {
    std::string input;
    bool stdin_closed = false;
    Stdout out = Stdout::captured;
    std::size_t reader_leaves_after = 0;       // bytes a leaving reader takes
    std::optional<std::string> existing_file;  // palin.txt before the run
    bool file_is_directory = false, file_fifo = false;
    std::string terminal;       // TERM of a pseudo-terminal, 80 columns, on standard output and
    bool stderr_apart = false;  // error (or output only)
    std::vector<std::pair<Limit, long long>> limits;  // in bytes
    int cpu = -1;  // the one CPU allowed (on Linux; elsewhere all), -1 for all
    std::vector<SignalAt> signals;
    std::string signals_after_file;  // each waits for this file in the run's directory too
    std::chrono::milliseconds timeout{60000};  // then killed, and run_revadd throws
    std::function<int()> instead;              // run in the child in place of revadd
    std::filesystem::path directory;  // run there, and leave what it holds (default: a fresh one)
    const char* program = nullptr;    // in place of the built revadd
};

struct Outcome {
    std::string out, err;             // out: as far as the reader took it; at a terminal, all of it
    int status = -1;                  // exit status, or 128 + the signal that killed it
    std::optional<std::string> file;  // palin.txt, when a regular file or a FIFO
    bool file_is_directory = false;
};

// A new directory under $TMPDIR (or /tmp), removed with its contents when destroyed.
struct TempDir {
    TempDir();
    ~TempDir();
    std::filesystem::path path;
};

std::string read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const std::string& text);
Outcome run_revadd(const RunSetup& setup);  // needs child_processes
// Bytes of address space (or of data) in use now, as in a child that starts from here:
// Linux only.
long long memory_in_use(bool data = false);

// Equal texts, or where they part: a whole diff of texts this long would take minutes.
::testing::AssertionResult same(const std::optional<std::string>& got,
                                const std::optional<std::string>& want);

}  // namespace revadd::tests
