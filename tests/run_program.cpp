#include "run_program.hpp"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif
#ifdef __linux__
#include <pty.h>
#include <sched.h>
#include <sys/prctl.h>
#elif __has_include(<util.h>)  // macOS, NetBSD, OpenBSD
#include <util.h>
#elif __has_include(<libutil.h>)  // FreeBSD
#include <libutil.h>
#elif !defined(_WIN32)  // headers without it (Zig's for macOS), a C library with it
#include <sys/ioctl.h>
#include <termios.h>
extern "C" pid_t forkpty(int* terminal, char* name, termios* settings, winsize* size);
#endif

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace revadd::tests {

namespace fs = std::filesystem;

bool windows_program_under_test() {
    const char* program = std::getenv("REVADD_TEST_WINDOWS_PROGRAM");
    return program != nullptr && *program != '\0';
}

TempDir::TempDir() {
    std::random_device seed;
    for (int tries = 0; tries < 100; ++tries) {
        path = fs::temp_directory_path() / ("revadd-test-" + std::to_string(seed()));  // $TMPDIR
        if (fs::create_directory(path)) return;
    }
    throw std::runtime_error("no new temporary directory in " + fs::temp_directory_path().string());
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
}

void write_file(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

long long memory_in_use([[maybe_unused]] bool data) {
#ifdef __linux__
    long long pages[6] = {};
    std::ifstream statm("/proc/self/statm");
    for (long long& p : pages) statm >> p;
    return pages[data ? 5 : 0] * sysconf(_SC_PAGESIZE);
#else
    return -1;
#endif
}

std::string read_file(const fs::path& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

#ifdef _WIN32
Outcome run_revadd(const RunSetup&) { throw std::logic_error("no child processes here"); }
#else
#ifdef __linux__
// A test run cut short (its runner killed) takes this test process with it: left running
// it would hold its executable and files.
[[maybe_unused]] const bool dies_with_its_runner = prctl(PR_SET_PDEATHSIG, SIGKILL) == 0;
#endif

namespace {

// Reads `fd` to its end (or `most` bytes) on a thread of its own, then closes it.
std::thread reader(int fd, std::string& into, std::mutex& taken, std::size_t most) {
    return std::thread([=, &into, &taken] {
        char buffer[65536];
        for (ssize_t n; into.size() < most &&
                        (n = read(fd, buffer, std::min(sizeof buffer, most - into.size()))) > 0;) {
            const std::lock_guard hold(taken);
            into.append(buffer, static_cast<std::size_t>(n));
        }
        close(fd);
    });
}

int pipe_closed_on_exec(int ends[2]) {
#ifdef __linux__
    return pipe2(ends, O_CLOEXEC);
#else
    if (pipe(ends) != 0) return -1;
    return fcntl(ends[0], F_SETFD, FD_CLOEXEC) | fcntl(ends[1], F_SETFD, FD_CLOEXEC);
#endif
}

}  // namespace

Outcome run_revadd(const RunSetup& s) {
    const char* windows_program = std::getenv("REVADD_TEST_WINDOWS_PROGRAM");
    const char* program = windows_program_under_test() ? windows_program
                          : s.program != nullptr ? s.program
                                                 : REVADD_EXE;
    const TempDir base;
    const fs::path work = s.directory.empty() ? base.path / "run" : s.directory;
    const fs::path file = work / "palin.txt";
    fs::create_directory(work);
    const std::string in_path = base.path / "in", err_path = base.path / "err";
    write_file(in_path, s.input);
    if (s.existing_file) write_file(file, *s.existing_file);
    if (s.file_is_directory) fs::create_directory(file);
    if (s.file_fifo && mkfifo(file.c_str(), 0600) != 0) throw std::runtime_error("mkfifo");
    // Open before the program is: its own open does not wait for a reader.
    const int fifo = s.file_fifo ? open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC) : -1;
    int pipe_ends[2] = {-1, -1};
    const bool piped = s.terminal.empty() && s.out != Stdout::dev_full && s.out != Stdout::closed;
    if (piped && pipe_closed_on_exec(pipe_ends) != 0) throw std::runtime_error("pipe");
#ifdef F_SETPIPE_SZ
    // One page: the program cannot get far ahead of a reader that leaves.
    if (s.out == Stdout::reader_leaves) fcntl(pipe_ends[1], F_SETPIPE_SZ, 4096);
#endif
    if (s.out == Stdout::reader_gone) close(pipe_ends[0]);
    std::string term = "TERM=" + s.terminal;
    char* environment[] = {term.data(), nullptr};
    winsize columns{24, 80, 0, 0};
    std::fflush(nullptr);
    const pid_t pid =
        s.terminal.empty() ? fork() : forkpty(&pipe_ends[0], nullptr, nullptr, &columns);
    if (pid == 0) {  // async-signal-safe calls only until exec; 125 on any failure
#ifdef __linux__
        // Gone with the test, whatever ends it: a child left running would hold its files.
        if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) _exit(125);
#endif
        if (chdir(work.c_str()) != 0) _exit(125);
        if ((s.terminal.empty() || s.stderr_apart) &&
            dup2(open(err_path.c_str(), O_WRONLY | O_CREAT, 0600), 2) < 0)
            _exit(125);
        const int in = s.stdin_closed ? -1 : open(in_path.c_str(), O_RDONLY);
        if ((in < 0 ? close(0) : dup2(in, 0)) < 0) _exit(125);
        const int out = s.out == Stdout::dev_full ? open("/dev/full", O_WRONLY) : pipe_ends[1];
        if (s.terminal.empty() && (s.out == Stdout::closed ? close(1) : dup2(out, 1)) < 0)
            _exit(125);
        for (int fd = 3; fd < 64; ++fd) close(fd);
        for (const auto& [resource, value] : s.limits) {
            const rlimit limit{static_cast<rlim_t>(value), static_cast<rlim_t>(value)};
            const int resources[] = {RLIMIT_FSIZE, RLIMIT_AS, RLIMIT_DATA};
            if (setrlimit(resources[static_cast<int>(resource)], &limit) != 0) _exit(125);
        }
#ifdef __linux__
        cpu_set_t one;
        CPU_ZERO(&one);
        if (s.cpu >= 0) CPU_SET(static_cast<std::size_t>(s.cpu), &one);
        if (s.cpu >= 0 && sched_setaffinity(0, sizeof one, &one) != 0) _exit(125);
#endif
        if (s.instead) {
            const int status = s.instead();
            std::fflush(nullptr);
            _exit(status);
        }
        if (s.terminal.empty()) execl(program, "revadd", static_cast<char*>(nullptr));
        execle(program, "revadd", static_cast<char*>(nullptr), environment);
        _exit(125);
    }
    Outcome o;
    std::mutex taken;
    std::string fifo_text;
    bool fifo_read = false;  // from a signal 0 on, what the program wrote to it is taken
    const auto drain_fifo = [&] {
        char buffer[65536];
        for (ssize_t n; (n = read(fifo, buffer, sizeof buffer)) > 0;)
            fifo_text.append(buffer, static_cast<std::size_t>(n));
    };
    std::thread out_reader;
    if (pipe_ends[1] >= 0) close(pipe_ends[1]);
    if (s.out == Stdout::captured || s.out == Stdout::reader_leaves) {
        out_reader = reader(pipe_ends[0], o.out, taken,
                            s.out == Stdout::reader_leaves ? s.reader_leaves_after : SIZE_MAX);
    }
    const auto start = std::chrono::steady_clock::now();
    // Of the next signal, once its output is there; none until then.
    constexpr auto none = std::chrono::steady_clock::time_point::max();
    auto due = none;
    std::size_t next = 0;
    int status = 0;
    bool ended = false, killed = false;
    while (!ended) {
        ended = waitpid(pid, &status, WNOHANG) == pid;
        const auto now = std::chrono::steady_clock::now();
        if (now - start > s.timeout && !ended) killed = kill(pid, SIGKILL) == 0;
        // Each signal waits for its output, then for its delay after that and the one before.
        std::unique_lock hold(taken);
        if (due == none && next < s.signals.size() &&
            o.out.find(s.signals[next].after_output) != std::string::npos &&
            (s.signals_after_file.empty() || fs::exists(work / s.signals_after_file))) {
            due = now + std::chrono::milliseconds(s.signals[next].delay_ms);
        }
        hold.unlock();
        if (due != none && now >= due && !ended) {
            fifo_read |= s.signals[next].signal == 0;
            if (s.signals[next].signal != 0) kill(pid, s.signals[next].signal);
            due = none;
            ++next;
        }
        if (fifo_read) drain_fifo();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (out_reader.joinable()) out_reader.join();
    if (fifo >= 0) {
        drain_fifo();  // what it holds at the end
        close(fifo);
    }
    if (killed)
        throw std::runtime_error("still running after " + std::to_string(s.timeout.count()) +
                                 " ms");
    o.err = read_file(err_path);
    o.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    o.file_is_directory = fs::is_directory(file);
    if (fs::is_regular_file(file)) o.file = read_file(file);
    if (s.file_fifo) o.file = fifo_text;
    return o;
}
#endif

::testing::AssertionResult same(const std::optional<std::string>& got,
                                const std::optional<std::string>& want) {
    if (got == want) return ::testing::AssertionSuccess();
    const std::string a = got.value_or("(none)"), b = want.value_or("(none)");
    std::size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
    const std::size_t from = at < 80 ? 0 : at - 80;
    return ::testing::AssertionFailure()
           << a.size() << " bytes against " << b.size() << ", parting at byte " << at
           << "\ngot:  ..." << a.substr(from, 160) << "\nwant: ..." << b.substr(from, 160);
}

}  // namespace revadd::tests
