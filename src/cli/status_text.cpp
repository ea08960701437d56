#include "status_text.hpp"

#include <cstdio>

namespace revadd {
namespace {

void append_grouped(std::string& out, std::int64_t value) {
    const std::string digits = std::to_string(value < 0 ? 0 : value);
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
}

// m:ss below an hour, h:mm:ss from there on.
std::string duration_text(std::int64_t seconds) {
    char text[32];
    const auto h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
    if (h > 0) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(h),
                      static_cast<long long>(m), static_cast<long long>(s));
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(m),
                      static_cast<long long>(s));
    }
    return text;
}

}  // namespace

std::string status_text(const StatusFigures& f, std::size_t width) {
    const std::int64_t total = f.total < 1 ? 1 : f.total;
    std::string text(f.single ? "step " : "searched ");
    append_grouped(text, f.done);
    text += " of ";
    append_grouped(text, f.total);
    text += " (" + std::to_string(f.done * 100 / total) + "%)";
    if (text.size() > width) text.resize(width);

    const auto add = [&](const std::string& field) {
        if (text.size() + 2 + field.size() <= width) text += ", " + field;
    };
    std::string count;
    append_grouped(count, f.count);
    add(count + (f.single ? " digits" : f.count == 1 ? " hit" : " hits"));
    const std::int64_t elapsed_ms = f.elapsed.count();
    add(duration_text(elapsed_ms / 1000));
    if (!f.single && f.done > f.done_before) {
        // The rest at the pace of what this run has done, less the time since the count
        // last moved, which went into the rest already. One costly number can hold the
        // count for longer than that: then no estimate is better than a wrong one.
        const double done_ms = static_cast<double>(f.done_at.count());
        const double left_ms = done_ms * static_cast<double>(f.total - f.done) /
                                   static_cast<double>(f.done - f.done_before) -
                               static_cast<double>(elapsed_ms - f.done_at.count());
        if (left_ms > 0) {
            add(duration_text(static_cast<std::int64_t>(left_ms / 1000 + 0.999)) + " left");
        }
    }
    return text;
}

}  // namespace revadd
