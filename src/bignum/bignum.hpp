// Arbitrary-length signed decimal numbers held as digit strings, and the two
// operations one reverse-and-add step needs: digit reversal and magnitude addition.
//
// Plain records and free functions: a record is passed by address when written and by
// value when only read (a by-value copy shares the buffer and never releases it). Every
// operation either succeeds or ends the process through fatal() with a fixed message.
#pragma once

#include <cstdint>
#include <string_view>

namespace revadd {

struct bignum {
    std::int32_t sign;         // 1 = non-negative, 0 = negative
    std::int32_t ndigits;      // length of `number`
    std::int32_t initialized;  // 1 once bigInit has run
    char* number;              // '0'-'9', most significant first, NUL-terminated, no sign
};

// --- the record --------------------------------------------------------------------

// Makes a fresh record the number 0 (a 2-byte buffer holding "0"). Does not release a
// previous buffer.
void bigInit(bignum* a);

// Replaces the buffer by an uninitialised one of `size` bytes (running bigInit first on
// a record that never had one). Leaves ndigits for the caller to set.
void bigAlloc(bignum* a, std::int32_t size);

// Makes `dst` an independent copy of `src`; they must be different records.
void bigCopy(bignum* dst, bignum src);

// Parses an optional '+' or '-' followed by decimal digits; leading zeros stay. A token
// with a sign and no digit, or any character other than '0'-'9' after the sign, ends
// the process with "Error: non-numeric input to str2big()\n". The empty token gives the
// empty digit string.
void str2big(bignum* a, std::string_view token);

// Converts a 32-bit integer; the most negative one gets its true magnitude.
void int2big(bignum* a, std::int32_t value);

// Releases the buffer and marks the record as never initialised.
void bigFree(bignum* a);

// --- reverse-and-add arithmetic ------------------------------------------------------

// A new heap string holding `s` backwards; the caller releases it with heap::release.
char* reverse(const char* s);

// A new heap string of the `n` digit values (each 0-9) as characters.
char* dig2str(const std::int32_t* digits, std::int32_t n);

// Removes every leading '0' of the heap string `s` (a lone "0" becomes ""), shrinking
// its buffer; returns the buffer to keep in place of `s`, which may have moved.
char* strip_zeroes(char* s);

// result = |a| + |b|, without leading zeros; a zero sum is "0". The result's sign is not
// written. `result` may be the same record as `a` or `b`.
void bigAdd(bignum* result, bignum a, bignum b);

}  // namespace revadd
