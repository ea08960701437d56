// Files that must survive a crash or a second run in the same directory: the result file,
// locked for as long as the run writes it, and the resume file, replaced whole or not at
// all.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace revadd::files {

struct LockedFile {
    std::FILE* stream = nullptr;  // none when the file cannot be opened
    bool held_elsewhere = false;  // another process has it open and locked
    bool readable = false;        // a regular file, open for reading too
};

// Opens `path` for writing, created when missing and left as it is, and locks it for as
// long as the process runs, so that a second run in the same directory cannot write it.
LockedFile open_locked(const char* path);

// Cuts the file to its first `bytes` and puts the stream at its end.
bool cut_at(std::FILE* stream, std::uint64_t bytes);

// Sends what the stream has flushed to the system on to the disk: a crash after this loses
// none of it.
bool to_disk(std::FILE* stream);

// Puts `bytes` in place of the file at `path` so that a crash at any moment leaves either
// the old file or the new one, whole: written beside it, sent to the disk, renamed over
// it. Why it failed, when it did.
std::optional<std::string> replace(const char* path, std::string_view bytes);

}  // namespace revadd::files
