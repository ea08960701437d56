// Digit reversal and magnitude addition, step by step through fresh heap buffers.
// This is the reference arithmetic: plain, obviously correct, one digit per element.
#include <cstring>

#include "base/fatal.hpp"
#include "base/heap.hpp"
#include "bignum.hpp"

namespace revadd {

char* reverse(const char* s) {
    const std::size_t m = std::strlen(s);
    auto* out = static_cast<char*>(heap::allocate(m + 1));
    if (out == nullptr) fatal("malloc failed in reverse()\n");
    for (std::size_t i = 0; i < m; ++i) out[i] = s[m - 1 - i];
    out[m] = '\0';
    return out;
}

char* dig2str(const std::int32_t* digits, std::int32_t n) {
    const auto count = static_cast<std::size_t>(n < 0 ? 0 : n);
    auto* out = static_cast<char*>(heap::allocate_zeroed(count + 1, 1));
    if (out == nullptr) fatal("calloc failed in dig2str()\n");
    for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<char>(digits[i] + '0');
    return out;
}

char* strip_zeroes(char* s) {
    const std::size_t n = std::strlen(s) + 1;
    std::size_t z = 0;
    while (s[z] == '0') ++z;

    auto* scratch = static_cast<char*>(heap::allocate(n - z));
    if (scratch == nullptr) fatal("malloc failed in strip_zeroes\n");
    std::memcpy(scratch, s + z, n - z);
    auto* kept = static_cast<char*>(heap::resize(s, n - z));
    if (kept == nullptr) fatal("realloc failed in strip_zeroes()\n");
    std::memcpy(kept, scratch, n - z);
    heap::release(scratch);
    return kept;
}

void bigAdd(bignum* result, bignum a, bignum b) {
    // Lengths are measured: holder records do not keep ndigits in step with number.
    const std::size_t la = std::strlen(a.number);
    const std::size_t lb = std::strlen(b.number);
    const std::size_t n = la > lb ? la : lb;
    // The sum has n + 1 digits and must still be countable in 32 bits.
    if (n + 1 >= static_cast<std::size_t>(INT32_MAX)) fatal("calloc failed in bigAdd()\n");

    auto* A = static_cast<std::int32_t*>(heap::allocate_zeroed(n, sizeof(std::int32_t)));
    auto* B = static_cast<std::int32_t*>(heap::allocate_zeroed(n, sizeof(std::int32_t)));
    auto* R = static_cast<std::int32_t*>(heap::allocate_zeroed(n + 1, sizeof(std::int32_t)));
    if (A == nullptr || B == nullptr || R == nullptr) fatal("calloc failed in bigAdd()\n");

    for (std::size_t k = 0; k < la; ++k) A[n - la + k] = a.number[k] - '0';
    for (std::size_t k = 0; k < lb; ++k) B[n - lb + k] = b.number[k] - '0';

    std::int32_t carry = 0;
    for (std::size_t k = n; k-- > 0;) {
        const std::int32_t s = A[k] + B[k] + carry;
        carry = s > 9 ? 1 : 0;
        R[k + 1] = s > 9 ? s - 10 : s;
    }
    R[0] = carry;

    char* text = dig2str(R, static_cast<std::int32_t>(n + 1));
    // Both operands are fully read into A and B: the result may now replace either.
    bigAlloc(result, static_cast<std::int32_t>(n + 2));
    std::memcpy(result->number, text, n + 2);
    heap::release(text);

    result->number = strip_zeroes(result->number);
    if (result->number[0] == '\0') {
        // Zero is the one-digit string 0 wherever it comes from, never the empty string.
        bigAlloc(result, 2);
        std::memcpy(result->number, "0", 2);
    }
    result->ndigits = static_cast<std::int32_t>(std::strlen(result->number));

    heap::release(A);
    heap::release(B);
    heap::release(R);
}

}  // namespace revadd
