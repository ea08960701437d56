// The text of the status line: figures in, one line out.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace revadd {

// What the line shows at one moment.
struct StatusFigures {
    bool single = false;     // a range of one number: its steps rather than numbers
    std::int64_t total = 0;  // numbers in the range, or the step limit
    std::int64_t done = 0;   // numbers searched, or steps taken
    std::int64_t count = 0;  // hits so far, or digits of the latest sum
    std::chrono::milliseconds elapsed{0};
    std::chrono::milliseconds done_at{0};  // elapsed when `done` reached its value
    std::int64_t done_before = 0;          // done when the run began: a resumed run's start
};

// The line, leaving out the fields that would not fit in `width` columns:
//   searched 41,234,567 of 100,000,000 (41%), 3,456,789 hits, 0:42, 1:01 left
//   step 1,234,567 of 2,415,836 (51%), 512,345 digits, 0:12
std::string status_text(const StatusFigures& figures, std::size_t width);

}  // namespace revadd
