#include "text_sink.hpp"

#include <cerrno>

#include "base/io_error.hpp"

namespace revadd {

TextSink::TextSink(std::FILE* stream, std::size_t buffer_bytes) : stream_(stream) {
    if (buffer_bytes > 0) std::setvbuf(stream_, nullptr, _IOFBF, buffer_bytes);
}

void TextSink::note(bool failed) {
    if (failed && error_ == 0) error_ = write_error(errno != 0 ? errno : EIO);
}

void TextSink::fail(int error) {
    if (error_ == 0) error_ = error;
}

void TextSink::write(std::string_view text) {
    errno = 0;
    note(std::fwrite(text.data(), 1, text.size(), stream_) != text.size() ||
         std::ferror(stream_) != 0);
}

bool TextSink::flush() {
    errno = 0;
    note(std::fflush(stream_) != 0 || std::ferror(stream_) != 0);
    return ok();
}

bool TextSink::close() {
    flush();
    note(std::fclose(stream_) != 0);
    stream_ = nullptr;
    return ok();
}

}  // namespace revadd
