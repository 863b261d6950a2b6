#include "support/failing_new.h"

#include <cstdlib>
#include <new>

namespace {
std::size_t gFailSize = 0;  ///< non-zero: nothrow array allocations of this size fail
}

FailAllocations::FailAllocations(std::size_t size) { gFailSize = size; }
FailAllocations::~FailAllocations() { gFailSize = 0; }

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    if (gFailSize != 0 && size == gFailSize) return nullptr;
    return std::malloc(size == 0 ? 1 : size);
}
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void* operator new[](std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
