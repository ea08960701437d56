// The decimal number record: creation, sizing, copying, parsing and printing.
#include "bignum.hpp"

#include <cassert>
#include <cstdio>
#include <cstring>

#include "base/fatal.hpp"
#include "base/heap.hpp"

namespace revadd {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

void bigInit(bignum* a) {
    auto* buffer = static_cast<char*>(heap::allocate(2));
    if (buffer == nullptr) fatal("malloc failed in bigInit()\n");
    buffer[0] = '0';
    buffer[1] = '\0';
    a->number = buffer;
    a->sign = 1;
    a->ndigits = 1;
    a->initialized = 1;
}

void bigAlloc(bignum* a, std::int32_t size) {
    if (a->initialized != 1) bigInit(a);
    heap::release(a->number);
    a->number = nullptr;
    // A negative size cannot be met; it reads as an impossible request, not as a huge one.
    void* buffer = size < 0 ? nullptr : heap::allocate(static_cast<std::size_t>(size));
    if (buffer == nullptr) fatal("bigAlloc failed\n");
    a->number = static_cast<char*>(buffer);
}

void bigCopy(bignum* dst, bignum src) {
    assert(dst->number != src.number || dst->initialized != 1);
    bigAlloc(dst, src.ndigits + 1);
    dst->sign = src.sign;
    dst->ndigits = src.ndigits;
    std::memcpy(dst->number, src.number, static_cast<std::size_t>(src.ndigits) + 1);
}

void str2big(bignum* a, std::string_view token) {
    const bool signed_form = !token.empty() && (token[0] == '-' || token[0] == '+');
    const std::string_view digits = signed_form ? token.substr(1) : token;
    // A sign needs at least one digit after it to be a number.
    if (signed_form && digits.empty()) fatal("Error: non-numeric input to str2big()\n");
    for (char c : digits) {
        if (!is_digit(c)) fatal("Error: non-numeric input to str2big()\n");
    }
    // Digit strings are counted in 32 bits; a longer token cannot be held.
    if (digits.size() >= static_cast<std::size_t>(INT32_MAX)) fatal("bigAlloc failed\n");

    const auto count = static_cast<std::int32_t>(digits.size());
    // The sign is set after bigAlloc: on a record that never had a buffer, bigAlloc's
    // first-use bigInit would reset it.
    bigAlloc(a, count + 1);
    a->sign = (signed_form && token[0] == '-') ? 0 : 1;
    std::memcpy(a->number, digits.data(), digits.size());
    a->number[count] = '\0';
    a->ndigits = count;
}

void int2big(bignum* a, std::int32_t value) {
    // Widened first so that the most negative value keeps its magnitude.
    std::int64_t magnitude = value;
    if (magnitude < 0) magnitude = -magnitude;

    char text[16];
    const int length = std::snprintf(text, sizeof text, "%lld", static_cast<long long>(magnitude));
    assert(length > 0 && length < static_cast<int>(sizeof text));
    bigAlloc(a, length + 1);
    a->sign = value >= 0 ? 1 : 0;  // after bigAlloc, as in str2big
    std::memcpy(a->number, text, static_cast<std::size_t>(length) + 1);
    a->ndigits = length;
}

void bigFree(bignum* a) {
    if (a->initialized == 1) heap::release(a->number);
    *a = bignum{};
}

}  // namespace revadd
