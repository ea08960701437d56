// Runs the built revadd (or a function in its place) in a child process in a fresh
// temporary directory, with chosen streams, limits and signals, and collects what it leaves.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>

namespace revadd::tests {

enum class Stdout { captured, dev_full, closed, reader_gone, reader_leaves };

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
    std::string terminal;                      // TERM of a pseudo-terminal, 80 columns, on
    bool stderr_apart = false;                 // standard output and error (or output only)
    std::vector<std::pair<int, long>> limits;  // setrlimit(resource, value)
    int cpu = -1;                              // the one CPU allowed, -1 for all
    std::vector<SignalAt> signals;
    std::chrono::milliseconds timeout{60000};  // then killed, and run_revadd throws
    std::function<int()> instead;              // run in the child in place of revadd
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
Outcome run_revadd(const RunSetup& setup);

// Equal texts, or where they part: a whole diff of texts this long would take minutes.
::testing::AssertionResult same(const std::optional<std::string>& got,
                                const std::optional<std::string>& want);

}  // namespace revadd::tests
