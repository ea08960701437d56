// The number record and its arithmetic: parsing, conversion, addition, the string
// helpers one reverse-and-add step is built from, and every way they end the process.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "bignum/bignum.hpp"
#include "bignum/heap.hpp"

namespace {

using revadd::bignum;
namespace heap = revadd::heap;

struct HeapRelease {
    void operator()(char* p) const noexcept { heap::release(p); }
};
// A string handed out by the number layer, released through the same heap.
using HeapString = std::unique_ptr<char, HeapRelease>;

HeapString heap_copy(std::string_view text) {
    auto* p = static_cast<char*>(heap::allocate(text.size() + 1));
    if (p == nullptr) throw std::bad_alloc();
    std::memcpy(p, text.data(), text.size());
    p[text.size()] = '\0';
    return HeapString(p);
}

// Long operands are shown by their start only.
std::string quoted(const std::string& text) {
    std::string out(1, '"');
    out.append(text, 0, 40);
    out.append(text.size() > 40 ? "...\"" : "\"");
    return out;
}

// A record released at the end of its scope; default-constructed, it never had a buffer.
struct Record {
    bignum r{};
    Record() = default;
    // Parsed into an initialised record, the way the tool itself uses the layer.
    explicit Record(std::string_view token) {
        revadd::bigInit(&r);
        revadd::str2big(&r, token);
    }
    ~Record() { revadd::bigFree(&r); }
    Record(const Record&) = delete;
    Record& operator=(const Record&) = delete;
    std::string text() const { return r.number == nullptr ? "<null>" : std::string(r.number); }
};

// Nothing set up by one test may make an allocation in a later one fail.
class BignumTest : public testing::Test {
protected:
    void TearDown() override { heap::clear_failures(); }
};
class BignumDeathTest : public BignumTest {};

// --- str2big -------------------------------------------------------------------------

TEST_F(BignumTest, Str2bigTakesOptionalSignAndKeepsDigitsAsTyped) {
    const std::string five_thousand = [] {
        std::string s;
        for (int i = 0; i < 5000; ++i) s.push_back(static_cast<char>('0' + (i * 7 + 3) % 10));
        return s;
    }();
    struct Case {
        std::string token;
        std::int32_t sign;
        std::string digits;
    };
    const std::vector<Case> cases = {
        {"-12", 0, "12"},
        {"+7", 1, "7"},
        {"12", 1, "12"},
        {"007", 1, "007"},
        {"-007", 0, "007"},
        {"0", 1, "0"},
        {"-0", 0, "0"},
        {"", 1, ""},
        {five_thousand, 1, five_thousand},
        {std::string("-").append(five_thousand), 0, five_thousand},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(quoted(c.token) + " of length " + std::to_string(c.token.size()));
        for (const bool initialised : {true, false}) {
            SCOPED_TRACE(initialised ? "into a record holding 0" : "into a never-initialised record");
            Record a;
            if (initialised) revadd::bigInit(&a.r);
            revadd::str2big(&a.r, c.token);
            EXPECT_EQ(a.r.sign, c.sign);
            EXPECT_EQ(a.text(), c.digits);
            EXPECT_EQ(a.r.ndigits, static_cast<std::int32_t>(c.digits.size()));
            EXPECT_EQ(a.r.initialized, 1);
        }
    }
}

TEST_F(BignumTest, Str2bigReplacesPreviousValueOfRecord) {
    struct Case {
        std::string first;
        std::string second;
        std::int32_t sign;
        std::string digits;
    };
    const std::vector<Case> cases = {
        {"-123456", "7", 1, "7"},
        {"7", "-123456", 0, "123456"},
        {"99", "", 1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first + " then " + c.second);
        Record a(c.first);
        revadd::str2big(&a.r, c.second);
        EXPECT_EQ(a.r.sign, c.sign);
        EXPECT_EQ(a.text(), c.digits);
        EXPECT_EQ(a.r.ndigits, static_cast<std::int32_t>(c.digits.size()));
    }
}

TEST_F(BignumDeathTest, Str2bigEndsProcessOnNonNumericToken) {
    std::vector<std::string> tokens = {
        "1-2", "--1", "-+1", "+-1", "12a", "+x", "-", "+", " 1", "1 ", "1\t", "\n1",
        "1\xC3\xA9" "2", "\xFF", "\x80", "12\x7F",
        std::string("1\0" "2", 3), std::string("\0", 1),
        "1.5", "1,5", "1e3", "1E3", "0x10", "1/2", "1:2", "/", ":", "a", "z", "A", "Z",
        "`", "{", "~", "@", "[", "#", "1_000", "\x01",
    };
    // Every byte that is not a digit, between two digits so that only the byte can be at fault.
    for (int byte = 0; byte < 256; ++byte) {
        if (byte >= '0' && byte <= '9') continue;
        tokens.push_back(std::string("1") + static_cast<char>(byte) + "2");
    }
    for (const auto& token : tokens) {
        std::string shown;
        for (unsigned char ch : token) shown += std::to_string(ch) + " ";
        SCOPED_TRACE("token bytes: " + shown);
        EXPECT_EXIT(
            {
                bignum a{};
                revadd::str2big(&a, token);
                revadd::bigFree(&a);
            },
            testing::ExitedWithCode(1), "^Error: non-numeric input to str2big\\(\\)\n$");
    }
}

// --- int2big -------------------------------------------------------------------------

TEST_F(BignumTest, Int2bigWritesMagnitudeDigitsAndSign) {
    struct Case {
        std::int32_t value;
        std::int32_t sign;
        std::string digits;
    };
    const std::vector<Case> cases = {
        {0, 1, "0"},
        {1, 1, "1"},
        {-1, 0, "1"},
        {-45, 0, "45"},
        {9, 1, "9"},
        {10, 1, "10"},
        {99, 1, "99"},
        {100, 1, "100"},
        {999, 1, "999"},
        {1000, 1, "1000"},
        {-1000, 0, "1000"},
        {INT32_MAX, 1, "2147483647"},
        {INT32_MIN + 1, 0, "2147483647"},
        {INT32_MIN, 0, "2147483648"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("value " + std::to_string(c.value));
        for (const bool initialised : {true, false}) {
            // A record already holding a longer negative number must be resized and re-signed.
            SCOPED_TRACE(initialised ? "into a record holding -123456789012345678901234567890"
                                     : "into a never-initialised record");
            Record a;
            if (initialised) {
                revadd::bigInit(&a.r);
                revadd::str2big(&a.r, "-123456789012345678901234567890");
            }
            revadd::int2big(&a.r, c.value);
            EXPECT_EQ(a.r.sign, c.sign);
            EXPECT_EQ(a.text(), c.digits);
            EXPECT_EQ(a.r.ndigits, static_cast<std::int32_t>(c.digits.size()));
            EXPECT_EQ(a.r.initialized, 1);
        }
    }
}

// --- bigAdd --------------------------------------------------------------------------

TEST_F(BignumTest, BigAddGivesKnownSumsWithoutLeadingZeros) {
    const std::string nines(200, '9');
    const std::string power = std::string("1").append(200, '0');
    struct Case {
        std::string a;
        std::string b;
        std::string sum;
    };
    const std::vector<Case> cases = {
        {"89", "98", "187"},
        {"99", "99", "198"},
        {"9", "1", "10"},           // carries into a new leading digit
        {"1", "9", "10"},
        {"5", "123", "128"},        // operands of different lengths
        {"123", "5", "128"},
        {"012", "210", "222"},      // a leading zero of an operand is dropped from the sum
        {"0", "0", "0"},            // zero is the one digit 0
        {"000", "000", "0"},
        {"", "", "0"},              // an empty operand reads as zero
        {"", "1", "1"},
        {"1", "", "1"},
        {"0001", "0", "1"},
        {nines, "1", power},
        {"1", nines, power},
        {nines, nines, std::string("1").append(199, '9').append("8")},
        {"-5", "3", "8"},           // signs are not part of the magnitude
        {"5", "-3", "8"},
        {"-5", "-3", "8"},
        {"+5", "+3", "8"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(quoted(c.a) + " + " + quoted(c.b));
        Record a(c.a);
        Record b(c.b);
        Record sum;
        revadd::bigInit(&sum.r);
        revadd::bigAdd(&sum.r, a.r, b.r);
        EXPECT_EQ(sum.text(), c.sum);
        EXPECT_EQ(sum.r.ndigits, static_cast<std::int32_t>(std::strlen(sum.r.number)));
        // The operands are passed by value but share their buffers with the caller.
        EXPECT_EQ(a.text(), Record(c.a).text());
        EXPECT_EQ(b.text(), Record(c.b).text());
    }
}

TEST_F(BignumTest, BigAddLeavesResultSignAsItWas) {
    struct Case {
        std::string a;
        std::string b;
        std::int32_t result_sign;
    };
    const std::vector<Case> cases = {
        {"-5", "3", 0},
        {"-5", "3", 1},
        {"5", "-3", 0},
        {"5", "-3", 1},
        {"-5", "-3", 1},
        {"5", "3", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.a + " + " + c.b + " into a record of sign " +
                     std::to_string(c.result_sign));
        Record a(c.a);
        Record b(c.b);
        Record sum;
        revadd::bigInit(&sum.r);
        sum.r.sign = c.result_sign;
        revadd::bigAdd(&sum.r, a.r, b.r);
        EXPECT_EQ(sum.text(), "8");
        EXPECT_EQ(sum.r.sign, c.result_sign);
    }
}

TEST_F(BignumTest, BigAddAllowsResultToBeEitherOperandOrBoth) {
    enum class Alias { first, second, both };
    struct Case {
        std::string name;
        Alias alias;
        std::string x;      // the record that is also the result
        std::string other;  // unused when both operands are the result
        std::string sum;
    };
    const std::string nines(150, '9');
    const std::vector<Case> cases = {
        {"first", Alias::first, "099", "1", "100"},
        {"second", Alias::second, "099", "1", "100"},
        {"first, long", Alias::first, nines, "1", std::string("1").append(150, '0')},
        {"second, long", Alias::second, nines, "1", std::string("1").append(150, '0')},
        {"first, zero", Alias::first, "000", "", "0"},
        {"both", Alias::both, "099", "", "198"},
        {"both, long", Alias::both, nines, "", std::string("1").append(149, '9').append("8")},
        {"both, zero", Alias::both, "", "", "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Record x(c.x);
        Record other(c.other);
        switch (c.alias) {
            case Alias::first: revadd::bigAdd(&x.r, x.r, other.r); break;
            case Alias::second: revadd::bigAdd(&x.r, other.r, x.r); break;
            case Alias::both: revadd::bigAdd(&x.r, x.r, x.r); break;
        }
        EXPECT_EQ(x.text(), c.sum);
        EXPECT_EQ(x.r.ndigits, static_cast<std::int32_t>(std::strlen(x.r.number)));
        EXPECT_EQ(other.text(), c.other);
    }
}

// Column addition on the characters, written independently of the code under test.
std::string schoolbook_sum(const std::string& a, const std::string& b) {
    std::string out;
    int carry = 0;
    for (std::size_t i = 0; i < a.size() || i < b.size(); ++i) {
        int d = carry;
        if (i < a.size()) d += a[a.size() - 1 - i] - '0';
        if (i < b.size()) d += b[b.size() - 1 - i] - '0';
        out.push_back(static_cast<char>('0' + d % 10));
        carry = d / 10;
    }
    if (carry != 0) out.push_back('1');
    while (!out.empty() && out.back() == '0') out.pop_back();
    if (out.empty()) return "0";
    return std::string(out.rbegin(), out.rend());
}

TEST_F(BignumTest, BigAddMatchesSchoolbookAdditionOnRandomDigitStrings) {
    constexpr std::uint32_t seed = 20240517;
    SCOPED_TRACE("random seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> length(0, 300);
    std::uniform_int_distribution<int> digit(0, 9);
    // Runs of zeros and nines are where carries and stripping go wrong, so some
    // operands are drawn from those alone.
    std::uniform_int_distribution<int> flavour(0, 3);
    auto draw = [&] {
        std::string s(static_cast<std::size_t>(length(rng)), '0');
        const int f = flavour(rng);
        for (auto& ch : s) {
            const int d = digit(rng);
            ch = static_cast<char>('0' + (f == 0 ? (d < 5 ? 0 : 9) : d));
        }
        return s;
    };
    for (int i = 0; i < 500; ++i) {
        const std::string a = draw();
        const std::string b = draw();
        Record ra(a);
        Record rb(b);
        Record sum;
        revadd::bigAdd(&sum.r, ra.r, rb.r);
        ASSERT_EQ(sum.text(), schoolbook_sum(a, b)) << "case " << i << ": " << a << " + " << b;
        ASSERT_EQ(sum.r.ndigits, static_cast<std::int32_t>(std::strlen(sum.r.number)))
            << "case " << i;
    }
}

// --- string helpers ------------------------------------------------------------------

TEST_F(BignumTest, ReverseGivesCharactersBackwards) {
    std::string long_in;
    for (int i = 0; i < 3000; ++i) long_in.push_back(static_cast<char>('0' + (i * 3) % 10));
    const std::string long_out(long_in.rbegin(), long_in.rend());
    struct Case {
        std::string in;
        std::string out;
    };
    const std::vector<Case> cases = {
        {"120", "021"}, {"", ""}, {"a", "a"}, {"12", "21"}, {"0012", "2100"},
        {"12321", "12321"}, {long_in, long_out},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(quoted(c.in));
        HeapString out(revadd::reverse(c.in.c_str()));
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(std::string(out.get()), c.out);
        EXPECT_NE(static_cast<const void*>(out.get()), static_cast<const void*>(c.in.c_str()));
    }
}

TEST_F(BignumTest, StripZeroesRemovesEveryLeadingZero) {
    struct Case {
        std::string in;
        std::string out;
    };
    const std::vector<Case> cases = {
        {"0010", "10"}, {"7", "7"}, {"0", ""}, {"000", ""}, {"", ""}, {"100", "100"},
        {"0900", "900"},
        {std::string(500, '0').append("1").append(500, '0'), std::string("1").append(500, '0')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(quoted(c.in));
        HeapString in = heap_copy(c.in);
        HeapString out(revadd::strip_zeroes(in.release()));
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(std::string(out.get()), c.out);
    }
}

TEST_F(BignumTest, Dig2strWritesOneCharacterPerDigitValue) {
    struct Case {
        std::vector<std::int32_t> digits;
        std::string out;
    };
    const std::vector<Case> cases = {
        {{0, 1, 8}, "018"},
        {{}, ""},
        {{9}, "9"},
        {{0}, "0"},
        {{0, 0, 0}, "000"},
        {{1, 2, 3, 4, 5, 6, 7, 8, 9, 0}, "1234567890"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("expecting " + quoted(c.out));
        HeapString out(revadd::dig2str(c.digits.data(), static_cast<std::int32_t>(c.digits.size())));
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(std::string(out.get()), c.out);
    }
}

TEST_F(BignumTest, Dig2strReadsOnlyFirstNDigits) {
    const std::vector<std::int32_t> digits = {4, 5, 6, 7};
    struct Case {
        std::int32_t n;
        std::string out;
    };
    const std::vector<Case> cases = {{0, ""}, {1, "4"}, {3, "456"}, {4, "4567"}};
    for (const auto& c : cases) {
        SCOPED_TRACE("n = " + std::to_string(c.n));
        HeapString out(revadd::dig2str(digits.data(), c.n));
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(std::string(out.get()), c.out);
    }
}

// --- the record ----------------------------------------------------------------------

TEST_F(BignumTest, BigCopyMakesIndependentCopy) {
    struct Case {
        std::string token;
        std::int32_t sign;
        std::string digits;
    };
    const std::vector<Case> cases = {
        {"12", 1, "12"}, {"-12", 0, "12"}, {"", 1, ""}, {"-007", 0, "007"},
        {std::string(400, '8'), 1, std::string(400, '8')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(quoted(c.token));
        for (const bool dst_initialised : {false, true}) {
            SCOPED_TRACE(dst_initialised ? "into a record holding -123456789"
                                         : "into a never-initialised record");
            Record src(c.token);
            Record dst;
            if (dst_initialised) {
                revadd::bigInit(&dst.r);
                revadd::str2big(&dst.r, "-123456789");
            }
            revadd::bigCopy(&dst.r, src.r);
            EXPECT_EQ(dst.r.sign, c.sign);
            EXPECT_EQ(dst.r.ndigits, static_cast<std::int32_t>(c.digits.size()));
            EXPECT_EQ(dst.r.initialized, 1);
            EXPECT_EQ(dst.text(), c.digits);
            ASSERT_NE(dst.r.number, src.r.number);

            // Overwrite the source buffer in place and then replace it entirely.
            for (std::int32_t i = 0; i < src.r.ndigits; ++i) src.r.number[i] = 'x';
            revadd::str2big(&src.r, "-55");
            EXPECT_EQ(dst.text(), c.digits);
            EXPECT_EQ(dst.r.sign, c.sign);
        }
    }
}

TEST_F(BignumTest, BigInitMakesOneDigitZero) {
    Record a;
    revadd::bigInit(&a.r);
    EXPECT_EQ(a.text(), "0");
    EXPECT_EQ(a.r.sign, 1);
    EXPECT_EQ(a.r.ndigits, 1);
    EXPECT_EQ(a.r.initialized, 1);
}

TEST_F(BignumTest, BigAllocRunsBigInitOnRecordThatNeverHadBuffer) {
    struct Case {
        std::int32_t size;
        std::int32_t sign_before;
    };
    const std::vector<Case> cases = {{0, 0}, {1, 0}, {2, 7}, {64, 0}, {5000, -3}};
    for (const auto& c : cases) {
        SCOPED_TRACE("size " + std::to_string(c.size));
        // A never-initialised record may hold anything; its pointer must not be released.
        char stale[4] = {'s', 't', 'a', '\0'};
        Record a;
        a.r = bignum{c.sign_before, 99, 0, stale};
        revadd::bigAlloc(&a.r, c.size);
        EXPECT_EQ(a.r.initialized, 1);
        EXPECT_EQ(a.r.sign, 1);
        ASSERT_NE(a.r.number, nullptr);
        EXPECT_NE(a.r.number, stale);
        EXPECT_STREQ(stale, "sta");
        // The whole requested size is writable.
        if (c.size > 0) {
            std::memset(a.r.number, '5', static_cast<std::size_t>(c.size - 1));
            a.r.number[c.size - 1] = '\0';
            EXPECT_EQ(a.text(), std::string(static_cast<std::size_t>(c.size - 1), '5'));
        }
    }
}

TEST_F(BignumTest, BigFreeMarksRecordNeverInitialised) {
    const std::vector<std::string> tokens = {"0", "-12", "", std::string(300, '4')};
    for (const auto& token : tokens) {
        SCOPED_TRACE(quoted(token));
        bignum a{};
        revadd::str2big(&a, token);
        revadd::bigFree(&a);
        EXPECT_EQ(a.number, nullptr);
        EXPECT_EQ(a.ndigits, 0);
        EXPECT_EQ(a.initialized, 0);
        // A freed record can be used again from scratch.
        revadd::str2big(&a, "42");
        EXPECT_EQ(std::string(a.number), "42");
        revadd::bigFree(&a);
    }
}

TEST_F(BignumTest, BigPrintWritesMinusForNegativeThenDigitsAndNewline) {
    const std::string negative_long = std::string("-").append(1000, '3');
    struct Case {
        std::string token;
        std::string printed;
    };
    const std::vector<Case> cases = {
        {"12", "12\n"},
        {"-12", "-12\n"},
        {"+12", "12\n"},
        {"0", "0\n"},
        {"007", "007\n"},
        {negative_long, negative_long + "\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(quoted(c.token));
        Record a(c.token);
        std::fflush(stdout);
        testing::internal::CaptureStdout();
        revadd::bigPrint(a.r);
        std::fflush(stdout);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed);
    }
}

// --- fatal paths ---------------------------------------------------------------------

// Adds 12 and 34 with the `skip`-th later request of kind `op` failing.
void add_failing_at(heap::Op op, long skip) {
    bignum a{}, b{}, r{};
    revadd::str2big(&a, "12");
    revadd::str2big(&b, "34");
    revadd::bigInit(&r);
    heap::fail_after(op, skip);
    revadd::bigAdd(&r, a, b);
}

TEST_F(BignumDeathTest, FailedRequestsEndProcessWithFixedMessage) {
    struct Case {
        const char* name;
        void (*run)();
        const char* message;
    };
    const std::vector<Case> cases = {
        {"bigInit", [] {
             bignum a{};
             heap::fail_after(heap::Op::plain, 0);
             revadd::bigInit(&a);
         }, "malloc failed in bigInit()\n"},
        {"bigAlloc on a record that never had a buffer", [] {
             bignum a{};
             heap::fail_after(heap::Op::plain, 0);
             revadd::bigAlloc(&a, 10);
         }, "malloc failed in bigInit()\n"},
        {"bigAlloc", [] {
             bignum a{};
             revadd::bigInit(&a);
             heap::fail_after(heap::Op::plain, 0);
             revadd::bigAlloc(&a, 10);
         }, "bigAlloc failed\n"},
        {"bigAlloc of a negative size", [] {
             bignum a{};
             revadd::bigInit(&a);
             revadd::bigAlloc(&a, -1);
         }, "bigAlloc failed\n"},
        {"bigAlloc of the most negative size", [] {
             bignum a{};
             revadd::bigInit(&a);
             revadd::bigAlloc(&a, INT32_MIN);
         }, "bigAlloc failed\n"},
        {"str2big", [] {
             bignum a{};
             revadd::bigInit(&a);
             heap::fail_after(heap::Op::plain, 0);
             revadd::str2big(&a, "123");
         }, "bigAlloc failed\n"},
        {"reverse", [] {
             heap::fail_after(heap::Op::plain, 0);
             heap::release(revadd::reverse("123"));
         }, "malloc failed in reverse()\n"},
        {"dig2str", [] {
             const std::int32_t digits[] = {1, 2, 3};
             heap::fail_after(heap::Op::zeroed, 0);
             heap::release(revadd::dig2str(digits, 3));
         }, "calloc failed in dig2str()\n"},
        {"strip_zeroes scratch", [] {
             char* s = heap_copy("0012").release();
             heap::fail_after(heap::Op::plain, 0);
             heap::release(revadd::strip_zeroes(s));
         }, "malloc failed in strip_zeroes\n"},
        {"strip_zeroes shrink", [] {
             char* s = heap_copy("0012").release();
             heap::fail_after(heap::Op::resize, 0);
             heap::release(revadd::strip_zeroes(s));
         }, "realloc failed in strip_zeroes()\n"},
        {"bigAdd first operand digits", [] { add_failing_at(heap::Op::zeroed, 0); },
         "calloc failed in bigAdd()\n"},
        {"bigAdd second operand digits", [] { add_failing_at(heap::Op::zeroed, 1); },
         "calloc failed in bigAdd()\n"},
        {"bigAdd sum digits", [] { add_failing_at(heap::Op::zeroed, 2); },
         "calloc failed in bigAdd()\n"},
        {"bigAdd sum text", [] { add_failing_at(heap::Op::zeroed, 3); },
         "calloc failed in dig2str()\n"},
        {"bigAdd result buffer", [] { add_failing_at(heap::Op::plain, 0); },
         "bigAlloc failed\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EXIT(c.run(), testing::ExitedWithCode(1),
                    testing::Matcher<const std::string&>(testing::Eq(std::string(c.message))));
    }
}

}  // namespace
