#include "carry_patch.hpp"

#include <cassert>

namespace revadd {

unsigned patch_carries(std::uint8_t* limbs, std::span<const std::size_t> bounds,
                       std::span<const unsigned> carry_outs) {
    assert(bounds.size() == carry_outs.size() + 1);
    unsigned carry = carry_outs[0];
    for (std::size_t s = 1; s < carry_outs.size(); ++s) {
        unsigned out = carry_outs[s];
        if (carry != 0) {
            std::size_t j = bounds[s];
            while (j < bounds[s + 1] && limbs[j] == 99) limbs[j++] = 0;
            if (j < bounds[s + 1]) {
                ++limbs[j];
            } else {
                // A run filling the segment passes the carry on; its own carry out is 0,
                // as an all-99 sum without a carry in cannot also carry out.
                assert(out == 0);
                out = 1;
            }
        }
        carry = out;
    }
    return carry;
}

}  // namespace revadd
