// The one heap every digit buffer comes from, with a seam that lets tests make a
// chosen request fail: out-of-memory paths are part of the contract, so they must be
// reachable without exhausting the machine.
#pragma once

#include <cstddef>

namespace revadd::heap {

enum class Op { plain, zeroed, resize };

void* allocate(std::size_t bytes);                           // plain allocation
void* allocate_zeroed(std::size_t count, std::size_t size);  // zero-filled
void* resize(void* block, std::size_t bytes);                // may move the block
void release(void* block) noexcept;

// Makes the request of kind `op` that comes after `skip` successful ones of that kind
// fail once. Only tests call this; the tool never does.
void fail_after(Op op, long skip) noexcept;

}  // namespace revadd::heap
