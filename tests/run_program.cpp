#include "run_program.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace revadd::testing {
namespace {

namespace fs = std::filesystem;

void check(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(what);
}

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_file(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    check(static_cast<bool>(out), "cannot write test file");
}

// Reads both pipes to their ends without letting either fill up and block the child.
void drain(int out_fd, int err_fd, std::string& out, std::string& err) {
    pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
    std::string* sinks[2] = {&out, &err};
    int open_count = (out_fd >= 0) + (err_fd >= 0);
    char buffer[65536];
    while (open_count > 0) {
        if (poll(fds, 2, -1) < 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_count;
            }
        }
    }
}

}  // namespace

Outcome run_revadd(const RunSetup& setup) {
    char pattern[] = "/tmp/revadd-e2e-XXXXXX";
    check(mkdtemp(pattern) != nullptr, "mkdtemp");
    const fs::path base = pattern;
    const fs::path work = base / "run";
    fs::create_directory(work);
    const fs::path file = work / "palin.txt";
    write_file(base / "stdin", setup.input);
    if (setup.existing_file) write_file(file, *setup.existing_file);
    if (setup.file_is_directory) fs::create_directory(file);

    int out_pipe[2] = {-1, -1};
    int err_pipe[2];
    check(pipe(err_pipe) == 0, "pipe");
    if (setup.out == Stdout::captured || setup.out == Stdout::reader_gone) {
        check(pipe(out_pipe) == 0, "pipe");
    }
    if (setup.out == Stdout::reader_gone) {
        close(out_pipe[0]);
        out_pipe[0] = -1;
    }

    // Everything the child needs is prepared here: after fork it may not allocate.
    const std::string work_dir = work.string();
    const std::string stdin_path = (base / "stdin").string();
    const pid_t pid = fork();
    check(pid >= 0, "fork");
    if (pid == 0) {
        // Only async-signal-safe calls from here on; any failure ends the child with 125.
        if (chdir(work_dir.c_str()) != 0) _exit(125);
        if (setup.stdin_closed) {
            close(0);
        } else {
            const int in = open(stdin_path.c_str(), O_RDONLY);
            if (in < 0 || dup2(in, 0) < 0) _exit(125);
            close(in);
        }
        switch (setup.out) {
            case Stdout::captured:
            case Stdout::reader_gone:
                if (dup2(out_pipe[1], 1) < 0) _exit(125);
                break;
            case Stdout::dev_full: {
                const int full = open("/dev/full", O_WRONLY);
                if (full < 0 || dup2(full, 1) < 0) _exit(125);
                close(full);
                break;
            }
            case Stdout::closed:
                close(1);
                break;
        }
        if (dup2(err_pipe[1], 2) < 0) _exit(125);
        for (int fd = 3; fd < 64; ++fd) close(fd);
        if (setup.file_size_limit >= 0) {
            const rlimit limit{static_cast<rlim_t>(setup.file_size_limit),
                               static_cast<rlim_t>(setup.file_size_limit)};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(125);
        }
        execl(REVADD_EXE, "revadd", static_cast<char*>(nullptr));
        _exit(125);
    }

    close(err_pipe[1]);
    if (out_pipe[1] >= 0) close(out_pipe[1]);
    Outcome outcome;
    drain(out_pipe[0], err_pipe[0], outcome.out, outcome.err);

    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);

    outcome.file_is_directory = fs::is_directory(file);
    if (fs::is_regular_file(file)) outcome.file = read_file(file);
    fs::remove_all(base);
    return outcome;
}

}  // namespace revadd::testing
