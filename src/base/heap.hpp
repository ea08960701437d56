// The one heap every digit buffer comes from, with a seam that lets tests make a
// chosen request fail: out-of-memory paths are part of the contract, so they must be
// reachable without exhausting the machine. And the scope in which running out of memory
// is something the run can go on from.
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

namespace revadd {

// Memory a run can do without (an entry of the memo, a buffer kept for reuse, one more
// thread): while one of these lives on a thread, an allocation there that fails throws
// std::bad_alloc, for the code around it to go on without; anywhere else the failure
// ends the process with "revadd: out of memory".
class AllocationMayFail {
public:
    AllocationMayFail() { ++depth_; }
    ~AllocationMayFail() { --depth_; }
    AllocationMayFail(const AllocationMayFail&) = delete;
    AllocationMayFail& operator=(const AllocationMayFail&) = delete;
    static bool active() { return depth_ > 0; }

private:
    static thread_local int depth_;
};

// What operator new does when memory runs out: the handler the program installs.
void on_allocation_failure();

}  // namespace revadd
