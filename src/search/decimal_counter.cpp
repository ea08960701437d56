#include "decimal_counter.hpp"

namespace revadd {
namespace {

// All zeros leave the string empty, which is 0 all the same.
void strip_leading_zeros(std::string& digits) { digits.erase(0, digits.find_first_not_of('0')); }

}  // namespace

void add_to_decimal(std::string& digits, std::uint64_t amount) {
    strip_leading_zeros(digits);
    std::size_t i = digits.size();
    unsigned carry = 0;
    while (amount != 0 || carry != 0) {
        const unsigned add = static_cast<unsigned>(amount % 10) + carry;
        amount /= 10;
        if (i == 0) {
            // Past the top digit: the sum grows by one digit at the front.
            digits.insert(digits.begin(), static_cast<char>('0' + add % 10));
            carry = add / 10;
            continue;
        }
        --i;
        const unsigned digit = static_cast<unsigned>(digits[i] - '0') + add;
        digits[i] = static_cast<char>('0' + digit % 10);
        carry = digit / 10;
    }
    if (digits.empty()) digits.push_back('0');
}

void increment_decimal(std::string& digits) {
    // Nine numbers in ten end in a digit below 9; only the first of a range can carry
    // leading zeros.
    if (!digits.empty() && digits.back() != '9' && digits.front() != '0') {
        ++digits.back();
        return;
    }
    add_to_decimal(digits, 1);
}

}  // namespace revadd
