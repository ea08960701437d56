// palin.txt: a copy of every hit and of the summary, kept beside the console report.
// The file is optional: a run that cannot create it goes on with the console alone. It
// is locked for as long as the run writes it, so that a second run in the same directory
// leaves it alone, and its checksum is kept as it grows, for a run resumed later.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "resume_file.hpp"
#include "search/report_format.hpp"
#include "text_sink.hpp"

namespace revadd {

class ResultFile {
public:
    static constexpr const char* path = "palin.txt";

    enum class Opened { yes, no, in_use };
    // Opens the file, created when missing and otherwise left as it is until start_over()
    // or keep_first(); in_use when another run holds it.
    Opened open();

    // Empties it: a run from the start. False when that is not possible.
    bool start_over();
    // Keeps the first `bytes` bytes and cuts the rest, when the file begins with bytes of
    // this checksum; false, leaving it as it is, when it does not or cannot be read.
    bool keep_first(std::uint64_t bytes, std::uint64_t checksum);
    // Hands the bytes kept by keep_first() to `take`, a piece at a time.
    bool read_kept(const std::function<void(std::string_view)>& take);

    // Records made by append_hit, any number of them in one write. Each record shows
    // the bare digits of the number tested, never a sign.
    void record_hits(std::string_view records);
    // What the file holds by now: its bytes and their checksum.
    const Checksum& written() const { return written_; }
    // Sends what the file holds to the disk; false when that failed.
    bool sync();

    // Writes the summary block and closes the file; false when any write or the close
    // failed, with the reason in error().
    bool finish(const Summary& summary);
    // Closes the file without a summary (a run cut short); false as finish() is.
    bool close();
    int error() const { return sink_ ? sink_->error() : 0; }

private:
    bool read_first(std::uint64_t bytes, const std::function<void(std::string_view)>& take);

    std::FILE* stream_ = nullptr;
    bool readable_ = false;
    std::optional<TextSink> sink_;
    Checksum written_;
    std::string text_;
};

}  // namespace revadd
