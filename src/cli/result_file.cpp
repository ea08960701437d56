#include "result_file.hpp"

#include <cstdio>

namespace revadd {
namespace {

// Records are written whole into a buffer this large; the process exit flushes it, so a
// run ended by a fatal error leaves only complete records behind.
constexpr std::size_t file_buffer_bytes = std::size_t{1} << 16;

}  // namespace

bool ResultFile::open() {
    // Binary: lines end with \n alone on every system, as the merge of results expects.
    std::FILE* stream = std::fopen(path, "wb");
    if (stream == nullptr) return false;
    sink_.emplace(stream, file_buffer_bytes);
    return true;
}

void ResultFile::record_hits(std::string_view records) {
    if (sink_) sink_->write(records);
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
