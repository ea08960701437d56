// What the fuzz targets share: a failed check that libFuzzer records as a crash, with a
// line saying which check it was, and a decimal sum written independently of the code
// under test so that it can serve as a reference.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace revadd::fuzz {

// abort() rather than an exception: libFuzzer saves the input of any deadly signal.
inline void check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

// a + b for two digit strings (leading zeros allowed, empty meaning 0), without leading
// zeros; zero is "0".
inline std::string decimal_sum(std::string_view a, std::string_view b) {
    std::string out;
    unsigned carry = 0;
    for (std::size_t k = 0; k < a.size() || k < b.size() || carry != 0; ++k) {
        unsigned d = carry;
        if (k < a.size()) d += static_cast<unsigned>(a[a.size() - 1 - k] - '0');
        if (k < b.size()) d += static_cast<unsigned>(b[b.size() - 1 - k] - '0');
        out.push_back(static_cast<char>('0' + d % 10));
        carry = d / 10;
    }
    while (out.size() > 1 && out.back() == '0') out.pop_back();
    if (out.empty()) out = "0";
    return std::string(out.rbegin(), out.rend());
}

}  // namespace revadd::fuzz
