// revadd: asks for a starting number, a range and an iteration limit, then reports
// every number of the range that forms a palindrome by reverse-and-add.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <variant>

#include "dialogue.hpp"
#include "process_setup.hpp"
#include "run.hpp"
#include "status_line.hpp"
#include "stop_signal.hpp"
#include "text_sink.hpp"

int main() {
    const revadd::StandardStreams streams = revadd::prepare_process();
    // A terminal keeps its line buffering so that hits show as they are found; elsewhere
    // the text goes out in large writes (their size is speed only: no test can tell).
    // mutants: off
    revadd::TextSink console(stdout, isatty(STDOUT_FILENO) ? 0 : std::size_t{1} << 16);
    // mutants: on
    if (streams.stdout_was_closed) console.fail(EBADF);

    const auto answers = revadd::ask(stdin, console);
    if (const auto* refusal = std::get_if<revadd::Refusal>(&answers)) {
        console.flush();
        std::fputs(refusal->message.c_str(), stderr);
        revadd::report_console_failure(console);
        return 1;
    }
    // From here on Ctrl-C keeps what was found: until now there was nothing to keep.
    revadd::RunOptions options;
    options.stop = &revadd::stop_signal();
    revadd::catch_stop_signals();
    return revadd::run_search(std::get<revadd::Answers>(answers), console, options,
                              revadd::status_line_wanted());
}
