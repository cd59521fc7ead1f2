#include "fault/FailingAllocation.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::size_t> failFrom{0}; // 0: nothing fails
std::atomic<std::size_t> refused{0};

void *allocate(std::size_t size)
{
    const std::size_t limit = failFrom.load(std::memory_order_relaxed);
    if (limit != 0 && size >= limit) {
        refused.fetch_add(1, std::memory_order_relaxed);
        throw std::bad_alloc();
    }
    if (void *p = std::malloc(size != 0 ? size : 1))
        return p;
    throw std::bad_alloc();
}

} // namespace

FailingAllocation::FailingAllocation(std::size_t minBytes)
{
    refused = 0;
    failFrom = minBytes;
}

FailingAllocation::~FailingAllocation()
{
    failFrom = 0;
}

std::size_t FailingAllocation::refusals()
{
    return refused;
}

// The replaceable global allocation functions, every form that pairs with free(): the aligned
// forms are left to the library, which pairs them among themselves.
void *operator new(std::size_t size)
{
    return allocate(size);
}

void *operator new[](std::size_t size)
{
    return allocate(size);
}

void *operator new(std::size_t size, const std::nothrow_t &) noexcept
{
    try {
        return allocate(size);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

void *operator new[](std::size_t size, const std::nothrow_t &) noexcept
{
    try {
        return allocate(size);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

void operator delete(void *p) noexcept
{
    std::free(p);
}

void operator delete[](void *p) noexcept
{
    std::free(p);
}

void operator delete(void *p, std::size_t) noexcept
{
    std::free(p);
}

void operator delete[](void *p, std::size_t) noexcept
{
    std::free(p);
}

void operator delete(void *p, const std::nothrow_t &) noexcept
{
    std::free(p);
}

void operator delete[](void *p, const std::nothrow_t &) noexcept
{
    std::free(p);
}
