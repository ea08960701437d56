#include "trajectory.hpp"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "base/fatal.hpp"
#include "base/heap.hpp"
#include "engine_tuning.hpp"

namespace revadd {
namespace {

constexpr std::size_t page = 4096;
constexpr std::size_t smallest_buffer = 256;
// Digit counts are 32-bit wherever a number is held as text, so a sum longer than that
// is refused rather than allowed to wrap a count somewhere else.
constexpr std::size_t max_limbs = limbs_for(INT32_MAX);

// Steps a kernel call takes at most on a number of m limbs, of `most` >= 1 left: at
// least one, and about kernel_run_limbs limbs. Speed only: the sums are the same in runs
// of any length.
std::int32_t steps_per_run(std::size_t m, std::int32_t most) {
    return static_cast<std::int32_t>(
        std::clamp<std::size_t>(kernel_run_limbs / m, 1, static_cast<std::size_t>(most)));
}

// Where a run stops for a team to share the steps from there on: speed only as well.
std::size_t room_before_team(std::size_t room) { return std::min(room, team_split_limbs); }

// How far a buffer grows past the limbs it must hold: speed and memory only.
std::size_t grown_capacity(std::size_t count, std::size_t capacity) {
    return std::max({count, 2 * capacity, smallest_buffer});
}

}  // namespace

LimbBuffer::~LimbBuffer() { heap::release(block_); }

void LimbBuffer::reserve(std::size_t count, std::size_t keep) {
    if (count <= capacity_ && limbs_ != nullptr) return;
    assert(keep <= capacity_);
    if (count > max_limbs) fatal("revadd: a sum is too long to hold\n");
    const std::size_t capacity = grown_capacity(count, capacity_);
    const std::size_t bytes = capacity + 2 * kernel_guard + page;
    void* block = heap::allocate(bytes);
    if (block == nullptr) fatal("revadd: out of memory for the digits of a sum\n");
    // The CPU takes a load for a dependent of an earlier store when their addresses
    // agree in the low 12 bits; a fixed place within the page keeps the two buffers of
    // a trajectory apart in those bits.
    auto* first = static_cast<std::uint8_t*>(block) + kernel_guard;
    first += (page + phase_ - reinterpret_cast<std::uintptr_t>(first) % page) % page;
    // Kernels read the guards: zeroed, the limb below the first one reads as 0 and
    // nothing indeterminate is ever read.
    std::memset(block, 0, static_cast<std::size_t>(first - static_cast<std::uint8_t*>(block)));
    std::memset(first + capacity, 0, kernel_guard);
    if (keep > 0) std::memcpy(first, limbs_, keep);
    heap::release(block_);
    block_ = block;
    limbs_ = first;
    capacity_ = capacity;
}

void Trajectory::assign(std::string_view typed) {
    const std::size_t n = typed.size();
    current_->reserve(limbs_for(n), 0);
    std::uint8_t* limbs = current_->data();
    auto digit = [&](std::size_t k) { return k < n ? typed[n - 1 - k] - '0' : 0; };
    for (std::size_t j = 0; j < limbs_for(n); ++j) {
        limbs[j] = static_cast<std::uint8_t>(digit(2 * j) + 10 * digit(2 * j + 1));
    }
    size_ = n;
    steps_since_assign_ = 0;
    if (progress_ != nullptr) publish_steps();
}

void Trajectory::assign_limbs(std::string_view limbs, std::size_t digits, std::int64_t steps) {
    assert(limbs.size() == limbs_for(digits));
    current_->reserve(limbs.size(), 0);
    std::memcpy(current_->data(), limbs.data(), limbs.size());
    size_ = digits;
    steps_since_assign_ = steps;
    if (progress_ != nullptr) publish_steps();
}

std::uint8_t* Trajectory::prepare_next(std::size_t count) {
    next_->reserve(count, 0);
    return next_->data();
}

void Trajectory::commit_next(std::size_t count) {
    std::uint8_t* limbs = next_->data();
    // Only a start typed with leading zeros can leave zero limbs on top.
    while (count > 0 && limbs[count - 1] == 0) --count;
    std::swap(current_, next_);
    if (count == 0) {  // every limb is zero: the number 0
        size_ = 1;
        return;
    }
    size_ = 2 * count - (limbs[count - 1] < 10 ? 1 : 0);
}

void Trajectory::step() {
    advance();
    ++steps_since_assign_;
    if (progress_ != nullptr) publish_steps();
}

void Trajectory::publish_steps() {
    progress_->steps.store(steps_since_assign_, std::memory_order_relaxed);
    progress_->digits.store(static_cast<std::int64_t>(size_), std::memory_order_relaxed);
}

void Trajectory::advance() {
    const std::size_t n = size_;
    const std::size_t m = limbs_for(n);
    std::uint8_t* sum = prepare_next(m + 1);
    const unsigned carry = team_ != nullptr && m >= team_split_limbs
                               ? team_->add_reversed(*kernel_, sum, current_->data(), n)
                               : kernel_->add_reversed(sum, current_->data(), n, 0, m, 0);
    // An odd count has a one-digit top limb, which absorbs any carry.
    sum[m] = static_cast<std::uint8_t>(carry);
    commit_next(m + 1);
}

bool Trajectory::is_palindrome() const {
    if (size_ < 2) return true;
    const std::uint8_t* limbs = this->limbs();
    // Most sums differ in their outermost digits: settle those without a call.
    const unsigned top = limbs[limbs_for(size_) - 1];
    if (limb_tables.low[limbs[0]] != (size_ % 2 == 0 ? top / 10 : top)) return false;
    return kernel_->is_palindrome(limbs, size_);
}

std::int32_t Trajectory::search(std::int32_t limit) {
    return progress_ != nullptr ? search_steps<true>(limit) : search_steps<false>(limit);
}

template <bool reported>
std::int32_t Trajectory::search_steps(std::int32_t limit) {
    if (limit < 1) return 0;
    // Counted so that a limit of INT32_MAX ends without the counter overflowing.
    for (std::int32_t steps = 0;;) {
        if (stop_ != nullptr && stop_->load(std::memory_order_relaxed) != 0) return stopped;
        bool palindrome = false;
        const std::int32_t taken = take_steps(limit - steps, palindrome);
        steps += taken;
        steps_since_assign_ += taken;
        if constexpr (reported) publish_steps();
        if (palindrome) return steps;
        if (steps == limit) return 0;
    }
}

bool Trajectory::has_leading_zero() const {
    const unsigned top = limbs()[limbs_for(size_) - 1];
    return size_ > 1 && (size_ % 2 == 0 ? top < 10 : top == 0);
}

std::int32_t Trajectory::take_steps(std::int32_t most, bool& palindrome) {
    const std::size_t m = limbs_for(size_);
    // A team shares one step at a time; a kernel run takes no number with leading zeros,
    // which only a start can have and which its first sum has no more.
    if ((team_ != nullptr && m >= team_split_limbs) || has_leading_zero()) {
        advance();
        palindrome = is_palindrome();
        return 1;
    }
    // Room for at least the next sum; the buffers grow geometrically, so that a run
    // mostly ends for a palindrome or the steps asked.
    current_->reserve(m + 1, m);
    next_->reserve(m + 1, 0);
    std::size_t room = std::min(current_->capacity(), next_->capacity());
    if (team_ != nullptr) room = room_before_team(room);
    StepRun run{current_->data(), next_->data(), size_, room, false};
    const auto taken = static_cast<std::int32_t>(
        kernel_->add_reversed_steps(run, static_cast<std::uint32_t>(steps_per_run(m, most))));
    if (taken % 2 != 0) std::swap(current_, next_);
    size_ = run.digits;
    palindrome = run.palindrome;
    return taken;
}

void Trajectory::append_text(std::string& out) const {
    const std::uint8_t* limbs = this->limbs();
    const std::size_t start = out.size();
    out.resize(start + size_);
    char* text = out.data() + start;
    for (std::size_t k = 0; k < size_; ++k) {
        const unsigned limb = limbs[k / 2];
        text[size_ - 1 - k] = static_cast<char>('0' + (k % 2 == 0 ? limb % 10 : limb / 10));
    }
}

}  // namespace revadd
