// The text of a hit and of the closing summary, shared by the console and the file so
// that the two can never drift apart.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace revadd {

// Shown as the fewest steps when nothing formed a palindrome.
inline constexpr std::int32_t low_without_hits = 10000;

// The hits of a run: how many, and the most and fewest steps among them.
class Tally {
public:
    void add(std::int32_t steps) { add(Tally(steps)); }
    // Takes in the hits of another tally, as if each had been added here: the tallies of
    // parts of a range make the tally of the whole.
    void add(const Tally& other) {
        if (other.count_ == 0) return;
        fewest_ = count_ == 0 ? other.fewest_ : std::min(fewest_, other.fewest_);
        high_ = std::max(high_, other.high_);
        count_ += other.count_;
    }
    Tally() = default;
    // The tally whose figures these are, as count(), high() and low() give them; none when
    // they cannot be the figures of any hits.
    static std::optional<Tally> of(std::int32_t count, std::int32_t high, std::int32_t low) {
        if (count == 0 && high == 0 && low == low_without_hits) return Tally();
        if (count < 1 || low < 1 || low > high) return std::nullopt;
        Tally t(high);
        t.count_ = count;
        t.fewest_ = low;
        return t;
    }
    std::int32_t count() const { return count_; }
    std::int32_t high() const { return high_; }  // 0 without hits
    std::int32_t low() const { return count_ > 0 ? fewest_ : low_without_hits; }

private:
    explicit Tally(std::int32_t steps) : count_(1), high_(steps), fewest_(steps) {}

    std::int32_t count_ = 0;
    std::int32_t high_ = 0;
    std::int32_t fewest_{};  // meaningful once there is a hit
};

struct Summary {
    Tally tally;
    std::int32_t range;           // as entered
    std::string_view start_text;  // as typed
    std::string range_end;        // signed like the numbers tested
    std::int32_t iterations;      // as entered
};

// Three lines and an empty one: the number tested (its digits, '-' first when
// `negative`), its palindrome, the steps.
void append_hit(std::string& out, bool negative, std::string_view digits,
                std::string_view palindrome, std::int32_t steps);

// The five summary lines.
void append_summary(std::string& out, const Summary& summary);

}  // namespace revadd
