// The text of a hit and of the closing summary, shared by the console and the file so
// that the two can never drift apart.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace revadd {

struct Summary {
    std::int32_t count = 0;       // numbers that formed a palindrome
    std::int32_t range = 0;       // as entered
    std::string_view start_text;  // as typed
    std::string range_end;        // signed like the numbers tested
    std::int32_t iterations = 0;  // as entered
    std::int32_t high = 0;        // most steps of a hit, 0 without hits
    std::int32_t low = 0;         // fewest steps of a hit
};

// Shown as the fewest steps when nothing formed a palindrome.
inline constexpr std::int32_t low_without_hits = 10000;

// Three lines and an empty one: the number tested (its digits, '-' first when
// `negative`), its palindrome, the steps.
void append_hit(std::string& out, bool negative, std::string_view digits,
                std::string_view palindrome, std::int32_t steps);

// The five summary lines.
void append_summary(std::string& out, const Summary& summary);

}  // namespace revadd
