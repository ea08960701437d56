#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "durable_file.hpp"

namespace revadd::files {

LockedFile open_locked(const char* path) {
    LockedFile f;
    int fd = -1;
    // Others may read it while the run writes, not write it: Windows keeps that promise
    // for as long as the file is open, and no longer.
    const int mode = _O_CREAT | _O_BINARY | _O_NOINHERIT;
    if (_sopen_s(&fd, path, _O_RDWR | mode, _SH_DENYWR, _S_IREAD | _S_IWRITE) != 0) {
        if (_doserrno == ERROR_SHARING_VIOLATION) {
            f.held_elsewhere = true;
            return f;
        }
        if (_sopen_s(&fd, path, _O_WRONLY | mode, _SH_DENYWR, _S_IREAD | _S_IWRITE) != 0) return f;
    } else {
        struct _stat64 info {};
        f.readable = _fstat64(fd, &info) == 0 && (info.st_mode & _S_IFREG) != 0;
    }
    f.stream = _fdopen(fd, f.readable ? "r+b" : "wb");
    if (f.stream == nullptr) _close(fd);
    f.readable = f.readable && f.stream != nullptr;
    return f;
}

bool cut_at(std::FILE* stream, std::uint64_t bytes) {
    if (std::fflush(stream) != 0) return false;
    const int fd = _fileno(stream);
    struct _stat64 info {};
    if (_fstat64(fd, &info) == 0 && (info.st_mode & _S_IFREG) == 0) return bytes == 0;
    return _chsize_s(fd, static_cast<__int64>(bytes)) == 0 &&
           _fseeki64(stream, static_cast<__int64>(bytes), SEEK_SET) == 0;
}

bool to_disk(std::FILE* stream) { return _commit(_fileno(stream)) == 0; }

std::optional<std::string> replace(const char* path, std::string_view bytes) {
    const std::string temporary = std::string(path) + ".new";
    int fd = -1;
    if (_sopen_s(&fd, temporary.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _SH_DENYWR,
                 _S_IREAD | _S_IWRITE) != 0) {
        return std::strerror(errno);
    }
    for (std::string_view rest = bytes; !rest.empty();) {
        const unsigned piece = static_cast<unsigned>(std::min<std::size_t>(rest.size(), 1u << 30));
        const int n = _write(fd, rest.data(), piece);
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            _close(fd);
            std::remove(temporary.c_str());
            return std::strerror(error);
        }
        rest.remove_prefix(static_cast<std::size_t>(n));
    }
    if (_commit(fd) != 0 || _close(fd) != 0) {
        const int error = errno;
        std::remove(temporary.c_str());
        return std::strerror(error);
    }
    if (!MoveFileExA(temporary.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        std::remove(temporary.c_str());
        return "Windows error " + std::to_string(error);
    }
    return std::nullopt;
}

}  // namespace revadd::files
