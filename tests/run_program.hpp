// Runs the built revadd in a fresh temporary directory, with chosen standard streams
// and limits, and collects everything it leaves behind.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace revadd::testing {

enum class Stdout {
    captured,     // a pipe the test reads to the end
    dev_full,     // every write fails with "no space left"
    closed,       // descriptor 1 closed before the program starts
    reader_gone,  // a pipe whose reading end is already closed
};

struct RunSetup {
    std::string input;                          // standard input
    bool stdin_closed = false;                  // descriptor 0 closed instead
    Stdout out = Stdout::captured;
    std::optional<std::string> existing_file;   // palin.txt present before the run
    bool file_is_directory = false;             // palin.txt is a directory
    long file_size_limit = -1;                  // RLIMIT_FSIZE in bytes, -1 for none
};

struct Outcome {
    std::string out;                  // standard output (captured runs only)
    std::string err;                  // standard error
    int status = -1;                  // exit status, or 128 + signal
    std::optional<std::string> file;  // palin.txt contents, if it is a regular file
    bool file_is_directory = false;
};

Outcome run_revadd(const RunSetup& setup);

// The most common setup: these answers on standard input, nothing else changed.
inline RunSetup with_input(std::string input) {
    RunSetup setup;
    setup.input = std::move(input);
    return setup;
}

}  // namespace revadd::testing
