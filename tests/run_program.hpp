// Runs the built revadd in a fresh temporary directory, with chosen standard streams,
// limits and signals, and collects everything it leaves behind.
#pragma once

#include <chrono>
#include <csignal>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace revadd::testing {

enum class Stdout {
    captured,       // a pipe the test reads to the end
    dev_full,       // every write fails with "no space left"
    closed,         // descriptor 1 closed before the program starts
    reader_gone,    // a pipe whose reading end is already closed
    reader_leaves,  // a pipe whose reader takes `reader_leaves_after` bytes, then closes it
};

// A signal sent to the running program once its standard output holds `after_output`
// (at once for an empty string), `delay_ms` later.
struct SignalAt {
    std::string after_output;
    int delay_ms = 0;
    int signal = SIGINT;
};

struct RunSetup {
    std::string input;                          // standard input
    bool stdin_closed = false;                  // descriptor 0 closed instead
    Stdout out = Stdout::captured;
    std::size_t reader_leaves_after = 0;        // for Stdout::reader_leaves
    std::optional<std::string> existing_file;   // palin.txt present before the run
    bool file_is_directory = false;             // palin.txt is a directory
    long file_size_limit = -1;                  // RLIMIT_FSIZE in bytes, -1 for none
    std::vector<SignalAt> signals;              // sent one after the other, in this order
    // A run still going after this long is killed and run_revadd throws, so that a
    // program that hangs fails its test instead of stalling the suite.
    std::chrono::milliseconds timeout{60000};
};

struct Outcome {
    std::string out;                  // standard output as read (captured pipes only)
    std::string err;                  // standard error
    int status = -1;                  // exit status, or 128 + signal
    int term_signal = 0;              // the signal that killed the program, 0 if it exited
    std::size_t signals_sent = 0;     // how many of the setup's signals were sent
    std::optional<std::string> file;  // palin.txt contents, if it is a regular file
    bool file_is_directory = false;
};

// The whole of a file, byte for byte; empty when it cannot be read.
std::string read_file(const std::filesystem::path& path);

// Throws std::runtime_error when the run cannot be set up or outlasts its timeout.
Outcome run_revadd(const RunSetup& setup);

// The most common setup: these answers on standard input, nothing else changed.
inline RunSetup with_input(std::string input) {
    RunSetup setup;
    setup.input = std::move(input);
    return setup;
}

}  // namespace revadd::testing
