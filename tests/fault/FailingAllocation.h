#pragma once

#include <cstddef>

// Allocation failures on demand, for the test program that replaces the global operator new:
// while an object of this class lives, every allocation through operator new of at least
// minBytes throws std::bad_alloc, in every thread. Qt's own buffers come from malloc and are
// not touched, so the failures land in the program's own containers, as a shortage of memory
// for a large landmark file or picture would.
class FailingAllocation
{
public:
    explicit FailingAllocation(std::size_t minBytes);
    ~FailingAllocation();
    FailingAllocation(const FailingAllocation &) = delete;
    FailingAllocation &operator=(const FailingAllocation &) = delete;

    // How many allocations have been refused since the object was made.
    static std::size_t refusals();
};
