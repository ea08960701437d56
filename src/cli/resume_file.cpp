#include "resume_file.hpp"

#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace revadd {
namespace {

constexpr std::string_view magic = "revadd resume 1\n";
constexpr std::uint64_t multiplier = 0x9e3779b97f4a7c15;  // odd: each step is one to one
constexpr std::size_t checksum_line = 26;                 // "checksum " 16 hex digits "\n"

// Reads the fields of the head one line at a time; any line not of the shape expected
// makes the whole file unusable.
class Reader {
public:
    explicit Reader(std::string_view bytes) : rest_(bytes) {}

    // The line that starts with `name` and a space, without them.
    bool line(std::string_view name, std::string_view& value) {
        const std::size_t end = rest_.find('\n');
        if (end == std::string_view::npos || !rest_.starts_with(name) ||
            rest_.substr(name.size(), 1) != " ")
            return false;
        value = rest_.substr(name.size() + 1, end - name.size() - 1);
        rest_.remove_prefix(end + 1);
        return true;
    }
    // The next word of `value`, a decimal number of type T.
    template <class T>
    static bool number(std::string_view& value, T& out, int base = 10) {
        const std::size_t space = value.find(' ');
        const std::string_view word = value.substr(0, space);
        const auto [end, error] =
            std::from_chars(word.data(), word.data() + word.size(), out, base);
        if (word.empty() || error != std::errc() || end != word.data() + word.size()) return false;
        value.remove_prefix(space == std::string_view::npos ? value.size() : space + 1);
        return true;
    }
    std::string_view take(std::size_t bytes) {
        const std::string_view taken = rest_.substr(0, bytes);
        rest_.remove_prefix(taken.size());
        return taken;
    }
    bool done() const { return rest_.empty(); }

private:
    std::string_view rest_;
};

void append_line(std::string& out, const char* format, auto... values) {
    char line[128];
    const int n = std::snprintf(line, sizeof line, format, values...);
    out.append(line, static_cast<std::size_t>(n));
}

// What a run could have written: no more hits than numbers searched, no more numbers than
// the range, and a trajectory's limbs as a sum leaves them (two digits a byte, no zero on
// top), short of the step limit.
bool plausible(const ResumePoint& p, const Tally& tally) {
    const TrajectoryPoint& t = p.trajectory;
    if (p.range < 1 || p.iterations < 1 || p.searched < 0 || p.searched > p.range ||
        tally.count() > p.searched || tally.high() > p.iterations) {
        return false;
    }
    if (t.steps == 0 && t.digits == 0) return true;
    if (t.steps < 1 || t.steps >= p.iterations || t.digits < 1 || p.searched == p.range ||
        t.limbs.size() != limbs_for(t.digits)) {
        return false;
    }
    for (const char limb : t.limbs) {
        if (static_cast<unsigned char>(limb) > 99) return false;
    }
    const unsigned top = static_cast<unsigned char>(t.limbs.back());
    return t.digits % 2 == 0 ? top >= 10 : top < 10 && (top > 0 || t.digits == 1);
}

}  // namespace

// The four lanes stay in registers across the blocks: each block is then four multiplies
// that do not wait for one another.
void Checksum::add_blocks(const char* bytes, std::size_t blocks) {
    const auto word = [](const char* at) {
        std::uint64_t w;
        std::memcpy(&w, at, 8);
        return w;
    };
    std::uint64_t a = lanes_[0], b = lanes_[1], c = lanes_[2], d = lanes_[3];
    for (; blocks > 0; --blocks, bytes += block) {
        a = (a ^ word(bytes)) * multiplier;
        b = (b ^ word(bytes + 8)) * multiplier;
        c = (c ^ word(bytes + 16)) * multiplier;
        d = (d ^ word(bytes + 24)) * multiplier;
    }
    lanes_[0] = a, lanes_[1] = b, lanes_[2] = c, lanes_[3] = d;
}

void Checksum::add(std::string_view bytes) {
    bytes_ += bytes.size();
    if (pending_size_ > 0) {
        const std::size_t taken = std::min(block - pending_size_, bytes.size());
        std::memcpy(pending_ + pending_size_, bytes.data(), taken);
        pending_size_ += taken;
        bytes.remove_prefix(taken);
        if (pending_size_ < block) return;
        add_blocks(pending_, 1);
        pending_size_ = 0;
    }
    const std::size_t whole = bytes.size() / block;
    add_blocks(bytes.data(), whole);
    bytes.remove_prefix(whole * block);
    std::memcpy(pending_, bytes.data(), bytes.size());
    pending_size_ = bytes.size();
}

std::uint64_t Checksum::value() const {
    // The bytes short of a block, zero-filled, and the length, which tells trailing zeros
    // from no bytes at all.
    Checksum last = *this;
    std::memset(last.pending_ + pending_size_, 0, block - pending_size_);
    last.add_blocks(last.pending_, 1);
    std::uint64_t h = bytes_;
    for (const std::uint64_t lane : last.lanes_) h = (h ^ (lane >> 29) ^ lane) * multiplier;
    return h ^ (h >> 32);
}

std::uint64_t checksum(std::string_view bytes) {
    Checksum sum;
    sum.add(bytes);
    return sum.value();
}

std::string encode_resume(const ResumePoint& p) {
    std::string out(magic);
    append_line(out, "answers %" PRId32 " %" PRId32 " ", p.range, p.iterations);
    out.append(p.start_text).push_back('\n');
    append_line(out, "searched %" PRId64 "\n", p.searched);
    append_line(out, "hits %" PRId32 " %" PRId32 " %" PRId32 "\n", p.tally.count(), p.tally.high(),
                p.tally.low());
    append_line(out, "palin.txt %" PRIu64 " %016" PRIx64 "\n", p.file_bytes, p.file_checksum);
    append_line(out, "trajectory %" PRId32 " %" PRIu64 "\n", p.trajectory.steps,
                static_cast<std::uint64_t>(p.trajectory.digits));
    out.append(p.trajectory.limbs);
    append_line(out, "checksum %016" PRIx64 "\n", checksum(out));
    return out;
}

std::variant<ResumePoint, std::string> decode_resume(std::string_view bytes) {
    if (!bytes.starts_with(magic.substr(0, magic.size() - 2)) || bytes.size() < magic.size()) {
        return std::string("it is not a resume file of this revadd");
    }
    if (!bytes.starts_with(magic)) return std::string("it was made by another version of revadd");
    if (bytes.size() < magic.size() + checksum_line) return std::string("it is cut short");
    const std::string_view body = bytes.substr(0, bytes.size() - checksum_line);
    Reader tail(bytes.substr(body.size()));
    std::string_view value;
    std::uint64_t sum = 0;
    if (!tail.line("checksum", value) || !Reader::number(value, sum, 16) || !tail.done() ||
        sum != checksum(body)) {
        return std::string("it is damaged or cut short (its checksum does not match)");
    }

    ResumePoint p;
    Reader r(body.substr(magic.size()));
    std::int32_t count = 0, high = 0, low = 0;
    std::uint64_t digits = 0;
    TrajectoryPoint& t = p.trajectory;
    const bool head = r.line("answers", value) && Reader::number(value, p.range) &&
                      Reader::number(value, p.iterations) && (p.start_text = value, true) &&
                      r.line("searched", value) && Reader::number(value, p.searched) &&
                      r.line("hits", value) && Reader::number(value, count) &&
                      Reader::number(value, high) && Reader::number(value, low) &&
                      r.line("palin.txt", value) && Reader::number(value, p.file_bytes) &&
                      Reader::number(value, p.file_checksum, 16) && r.line("trajectory", value) &&
                      Reader::number(value, t.steps) && Reader::number(value, digits) &&
                      value.empty() && digits <= 2 * body.size();
    t.digits = static_cast<std::size_t>(digits);
    t.limbs = r.take(head ? limbs_for(t.digits) : 0);
    const auto tally = Tally::of(count, high, low);
    if (!head || !tally || !r.done() || !plausible(p, *tally)) {
        return std::string("its head is not as this revadd writes it");
    }
    p.tally = *tally;
    return p;
}

}  // namespace revadd
