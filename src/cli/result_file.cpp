#include "result_file.hpp"

#include <cstdio>
#include <vector>

#include "base/durable_file.hpp"

namespace revadd {
namespace {

// Records are written whole into a buffer this large; the process exit flushes it, so a
// run ended by a fatal error leaves only complete records behind.
constexpr std::size_t file_buffer_bytes = std::size_t{1} << 16;

}  // namespace

ResultFile::Opened ResultFile::open() {
    const files::LockedFile file = files::open_locked(path);
    if (file.held_elsewhere) return Opened::in_use;
    if (file.stream == nullptr) return Opened::no;
    stream_ = file.stream;
    readable_ = file.readable;
    // Binary: lines end with \n alone on every system, as the merge of results expects.
    sink_.emplace(stream_, file_buffer_bytes);
    return Opened::yes;
}

bool ResultFile::start_over() {
    written_ = Checksum();
    return sink_ && files::cut_at(stream_, 0);
}

bool ResultFile::read_first(std::uint64_t bytes,
                            const std::function<void(std::string_view)>& take) {
    if (!readable_ || std::fseek(stream_, 0, SEEK_SET) != 0) return false;
    std::vector<char> piece(std::size_t{1} << 20);
    while (bytes > 0) {
        const std::size_t want =
            bytes < piece.size() ? static_cast<std::size_t>(bytes) : piece.size();
        if (std::fread(piece.data(), 1, want, stream_) != want) return false;
        take(std::string_view(piece.data(), want));
        bytes -= want;
    }
    return true;
}

bool ResultFile::keep_first(std::uint64_t bytes, std::uint64_t checksum) {
    Checksum kept;
    if (!sink_ || !read_first(bytes, [&](std::string_view piece) { kept.add(piece); }) ||
        kept.value() != checksum || !files::cut_at(stream_, bytes)) {
        return false;
    }
    written_ = kept;
    return true;
}

bool ResultFile::read_kept(const std::function<void(std::string_view)>& take) {
    const bool read = read_first(written_.bytes(), take);
    return files::cut_at(stream_, written_.bytes()) && read;
}

void ResultFile::record_hits(std::string_view records) {
    if (!sink_) return;
    sink_->write(records);
    written_.add(records);
}

bool ResultFile::sync() {
    if (!sink_ || !sink_->flush()) return false;
    return files::to_disk(stream_);
}

bool ResultFile::finish(const Summary& summary) {
    if (!sink_) return true;
    text_.clear();
    append_summary(text_, summary);
    sink_->write(text_);
    return close();
}

bool ResultFile::close() {
    if (!sink_) return true;
    return sink_->close();
}

}  // namespace revadd
