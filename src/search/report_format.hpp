// The text of a hit and of the closing summary, shared by the console and the file so
// that the two can never drift apart.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace revadd {

// Shown as the fewest steps when nothing formed a palindrome.
inline constexpr std::int32_t low_without_hits = 10000;

// The hits of a run: how many, and the most and fewest steps among them.
class Tally {
public:
    void add(std::int32_t steps) {
        if (count_ == 0 || steps < fewest_) fewest_ = steps;
        if (steps > high_) high_ = steps;
        ++count_;
    }
    // Takes in the hits of another tally, as if each had been added here: the tallies of
    // parts of a range make the tally of the whole.
    void add(const Tally& other) {
        if (other.count_ == 0) return;
        if (count_ == 0 || other.fewest_ < fewest_) fewest_ = other.fewest_;
        if (other.high_ > high_) high_ = other.high_;
        count_ += other.count_;
    }
    std::int32_t count() const { return count_; }
    std::int32_t high() const { return high_; }  // 0 without hits
    std::int32_t low() const { return count_ > 0 ? fewest_ : low_without_hits; }

private:
    std::int32_t count_ = 0;
    std::int32_t high_ = 0;
    std::int32_t fewest_ = 0;
};

struct Summary {
    Tally tally;
    std::int32_t range = 0;       // as entered
    std::string_view start_text;  // as typed
    std::string range_end;        // signed like the numbers tested
    std::int32_t iterations = 0;  // as entered
};

// Three lines and an empty one: the number tested (its digits, '-' first when
// `negative`), its palindrome, the steps.
void append_hit(std::string& out, bool negative, std::string_view digits,
                std::string_view palindrome, std::int32_t steps);

// The five summary lines.
void append_summary(std::string& out, const Summary& summary);

}  // namespace revadd
