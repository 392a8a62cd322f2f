// Giving memory pages back to the system while keeping the addresses: the
// whole pages inside a byte range read as zero afterwards and cost no
// memory until written again. The scene library (texels once they are on
// the GPU) and the viewer (byte and float voxels once converted) both give
// pages back through here.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>

constexpr std::size_t kPageBytes = 4096;

// The whole pages inside [from, to) of the block at base; true when some
// were given back.
inline bool givePagesBack(const void *base, std::size_t from, std::size_t to)
{
    std::uintptr_t start = reinterpret_cast<std::uintptr_t>(base);
    std::uintptr_t a = (start + from + kPageBytes - 1) / kPageBytes * kPageBytes;
    std::uintptr_t b = (start + to) / kPageBytes * kPageBytes;
    return b > a && madvise(reinterpret_cast<void *>(a), b - a, MADV_DONTNEED) == 0;
}
