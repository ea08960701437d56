// An output stream that remembers its first failure, so that a run can tell at the end
// whether everything it wrote really arrived.
#pragma once

#include <cstdio>
#include <string_view>

namespace revadd {

// The console's buffer: none at a terminal, where hits show as they are found; elsewhere
// the text goes out in large writes.
inline std::size_t console_buffer_bytes(bool to_terminal) {
    return to_terminal ? 0 : std::size_t{1} << 16;
}

class TextSink {
public:
    // Adopts an open stream; `buffer_bytes` > 0 sets a full buffer of that size.
    explicit TextSink(std::FILE* stream, std::size_t buffer_bytes = 0);

    void write(std::string_view text);
    // Pushes buffered text to the system; false once anything has failed.
    bool flush();
    // Flushes and closes the stream; false once anything has failed.
    bool close();

    bool ok() const { return error_ == 0; }
    int error() const { return error_; }  // errno of the first failure, 0 if none
    // Marks the stream failed from the outset (a standard stream that was closed).
    void fail(int error);

private:
    void note(bool failed);

    std::FILE* stream_;
    int error_ = 0;
};

}  // namespace revadd
