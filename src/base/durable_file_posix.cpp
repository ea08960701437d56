#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "durable_file.hpp"

namespace revadd::files {
namespace {

// A rename lasts once the directory that holds it is on the disk too: only a power cut
// could tell whether this ran.
void flush_directory_of(const char* path) {
    const std::string_view name(path);
    const std::size_t slash = name.rfind('/');
    const std::string folder =
        slash == std::string_view::npos ? "." : std::string(name.substr(0, slash + 1));
    const int directory = open(folder.c_str(), O_RDONLY | O_CLOEXEC);
    if (directory >= 0) {
        fsync(directory);
        close(directory);
    }
}

}  // namespace

LockedFile open_locked(const char* path) {
    LockedFile f;
    // A regular file for reading too where that is allowed, so that a run can check what
    // an earlier one wrote before it writes anything itself; anything else (a FIFO, a
    // device) for writing only, as it always was.
    struct stat before {};
    const bool regular = stat(path, &before) != 0 || S_ISREG(before.st_mode);
    int fd = regular ? open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0666) : -1;
    if (fd < 0 && (!regular || errno == EACCES)) {
        fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    }
    if (fd < 0) return f;
    // Held by the open file itself: gone with the process, however it ends.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        close(fd);
        f.held_elsewhere = true;
        return f;
    }
    struct stat info {};
    f.readable = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                 (fcntl(fd, F_GETFL) & O_ACCMODE) == O_RDWR;
    f.stream = fdopen(fd, f.readable ? "r+b" : "wb");
    if (f.stream == nullptr) close(fd);
    return f;
}

bool cut_at(std::FILE* stream, std::uint64_t bytes) {
    if (std::fflush(stream) != 0) return false;
    const int fd = fileno(stream);
    struct stat info {};
    // A pipe or a device has nothing to cut.
    if (fstat(fd, &info) == 0 && !S_ISREG(info.st_mode)) return bytes == 0;
    return ftruncate(fd, static_cast<off_t>(bytes)) == 0 &&
           fseeko(stream, static_cast<off_t>(bytes), SEEK_SET) == 0;
}

bool to_disk(std::FILE* stream) { return fsync(fileno(stream)) == 0; }

std::optional<std::string> replace(const char* path, std::string_view bytes) {
    const std::string temporary = std::string(path) + ".new";
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return std::strerror(errno);
    for (std::string_view rest = bytes; !rest.empty();) {
        const ssize_t n = write(fd, rest.data(), rest.size());
        if (n > 0) {
            rest.remove_prefix(static_cast<std::size_t>(n));
        } else if (errno != EINTR) {
            const int error = errno;
            close(fd);
            unlink(temporary.c_str());
            return std::strerror(error);
        }
    }
    if (fsync(fd) != 0 || close(fd) != 0 || rename(temporary.c_str(), path) != 0) {
        const int error = errno;
        unlink(temporary.c_str());
        return std::strerror(error);
    }
    flush_directory_of(path);
    return std::nullopt;
}

}  // namespace revadd::files
