// Moving along the range on the digit text must give exactly the numbers the record
// arithmetic gives: the first number as typed, then value + 1 without leading zeros.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "bignum/bignum.hpp"
#include "search/decimal_counter.hpp"

namespace {

// digits + amount through bigAdd, the arithmetic the run used to step with.
std::string big_sum(const std::string& digits, std::uint64_t amount) {
    revadd::bignum a{}, b{};
    revadd::bigInit(&a);
    revadd::bigInit(&b);
    revadd::str2big(&a, digits);
    revadd::str2big(&b, std::to_string(amount));
    revadd::bigAdd(&a, a, b);
    std::string sum = a.number;
    revadd::bigFree(&a);
    revadd::bigFree(&b);
    return sum;
}

TEST(DecimalCounter, IncrementGivesWhatBigAddGives) {
    struct Case {
        std::string digits;
        std::string next;
    };
    const std::vector<Case> cases = {
        {"9", "10"},
        {"99", "100"},
        {"0", "1"},
        {"00", "1"},
        {"012", "13"},
        {"0999", "1000"},
        {"1", "2"},
        {"18", "19"},
        {"19", "20"},
        {"1099", "1100"},
        {"000000", "1"},
        {"0009", "10"},
        {"", "1"},
        {"1186060307891929990", "1186060307891929991"},
        {"99999999999999999999999999999999999999", "100000000000000000000000000000000000000"},
        {"12345678901234567890123456789099999999", "12345678901234567890123456789100000000"},
        {std::string(999, '9'), "1" + std::string(999, '0')},
        {"000" + std::string(40, '9'), "1" + std::string(40, '0')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.digits);
        std::string digits = c.digits;
        revadd::increment_decimal(digits);
        EXPECT_EQ(digits, c.next);
        EXPECT_EQ(digits, big_sum(c.digits, 1));
    }
}

TEST(DecimalCounter, AddGivesWhatBigAddGives) {
    struct Case {
        std::string digits;
        std::uint64_t amount;
        std::string sum;
    };
    const std::vector<Case> cases = {
        {"0", 0, "0"},
        {"000", 0, "0"},
        {"", 0, "0"},
        {"012", 0, "12"},
        {"012", 4096, "4108"},
        {"00", 15, "15"},
        {"1", 2147483646, "2147483647"},
        {"9", 2147483647, "2147483656"},
        {"999", 1, "1000"},
        {"5", 99995, "100000"},
        {"99999999999999999999", 1, "100000000000000000000"},
        {"1", 18446744073709551614u, "18446744073709551615"},
        {"9", 18446744073709551615u, "18446744073709551624"},
        {"0" + std::string(30, '9'), 4096, "1" + std::string(26, '0') + "4095"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.digits + " + " + std::to_string(c.amount));
        std::string digits = c.digits;
        revadd::add_to_decimal(digits, c.amount);
        EXPECT_EQ(digits, c.sum);
        EXPECT_EQ(digits, big_sum(c.digits.empty() ? "0" : c.digits, c.amount));
    }
}

// Digit strings rich in the cases that carry: leading zeros, runs of nines.
std::string random_digits(std::mt19937_64& rng) {
    std::uniform_int_distribution<int> length(1, 45);
    std::uniform_int_distribution<int> kind(0, 9);
    std::string digits;
    const int n = length(rng);
    for (int i = 0; i < n; ++i) {
        const int k = kind(rng);
        digits += k < 4 ? '9' : k < 5 ? '0' : static_cast<char>('0' + kind(rng));
    }
    return digits;
}

TEST(DecimalCounter, RandomNumbersStepLikeBigAdd) {
    std::mt19937_64 rng(20240611);
    for (int round = 0; round < 400; ++round) {
        const std::string start = random_digits(rng);
        SCOPED_TRACE(start);
        std::string counted = start;
        std::string reference = start;
        for (int i = 0; i < 30; ++i) {
            revadd::increment_decimal(counted);
            reference = big_sum(reference, 1);
            ASSERT_EQ(counted, reference) << "after " << i + 1 << " increments";
        }
        const std::uint64_t amount = rng() >> (rng() % 64);
        std::string jumped = start;
        revadd::add_to_decimal(jumped, amount);
        ASSERT_EQ(jumped, big_sum(start, amount)) << "+ " << amount;
    }
}

}  // namespace
