// revadd.resume: what a stopped run leaves in its directory so that the same answers,
// given there again, carry on where it stopped and end with the bytes of a run never
// stopped. A text head, the digits of a long trajectory two to a byte, and a checksum
// over all of it, so that a file cut short or damaged is never taken for a whole one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "search/report_format.hpp"
#include "search/trajectory_search.hpp"

namespace revadd {

struct ResumePoint {
    // The answers as the run understood them.
    std::string start_text;
    std::int32_t range = 0;
    std::int32_t iterations = 0;
    // Every number of the range before the `searched`-th was searched, with these hits,
    // and palin.txt holds their records: its first `file_bytes` bytes, with this checksum.
    std::int64_t searched = 0;
    Tally tally;
    std::uint64_t file_bytes = 0;
    std::uint64_t file_checksum = 0;
    // The `searched`-th number part-way along its trajectory (two digits a byte, least
    // significant first); no steps when none were kept.
    TrajectoryPoint trajectory;
};

inline constexpr const char* resume_path = "revadd.resume";

// A checksum of a text taken a piece at a time, the same however it is cut: every change
// of one byte, and of the length, changes it. Four words are summed side by side, so that
// it keeps up with a run that writes hundreds of megabytes a second.
class Checksum {
public:
    void add(std::string_view bytes);
    std::uint64_t value() const;
    std::uint64_t bytes() const { return bytes_; }

private:
    static constexpr std::size_t block = 32;
    void add_blocks(const char* bytes, std::size_t blocks);

    std::uint64_t lanes_[4] = {0x243f6a8885a308d3, 0x13198a2e03707344, 0xa4093822299f31d0,
                               0x082efa98ec4e6c89};
    char pending_[block] = {};
    std::size_t pending_size_ = 0;
    std::uint64_t bytes_ = 0;
};
std::uint64_t checksum(std::string_view bytes);

std::string encode_resume(const ResumePoint& point);

// The point a file's bytes hold, or why they hold none (for a line on standard error).
std::variant<ResumePoint, std::string> decode_resume(std::string_view bytes);

}  // namespace revadd
