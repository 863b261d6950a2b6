// Makes the nothrow array allocation of one size fail, so that a test can
// show what a routine does when its file-sized buffer cannot be had. Any
// test program that uses it gets this file's replacement operator new[].
#pragma once

#include <cstddef>

/// While alive, nothrow array allocations of exactly `size` bytes fail.
struct FailAllocations {
    explicit FailAllocations(std::size_t size);
    ~FailAllocations();
    FailAllocations(const FailAllocations&) = delete;
    FailAllocations& operator=(const FailAllocations&) = delete;
};
