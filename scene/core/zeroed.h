// Zero-page storage for large 3-D textures.
#pragma once

#include <cstddef>
#include <new>
#include <utility>

namespace vq {

// Zeroed memory of `bytes`; large blocks are mapped on their own, so their
// pages can be given back. Null when out of memory.
void *zeroedBlock(std::size_t bytes);
void freeZeroedBlock(void *p, std::size_t bytes);

// Storage of zeroed blocks, without value-initialisation on resize: a large new
// texture arrives as fresh zero pages, costing nothing until it is written.
template <class T> struct ZeroedAllocator {
    using value_type = T;
    ZeroedAllocator() = default;
    template <class U> ZeroedAllocator(const ZeroedAllocator<U> &) {}
    T *allocate(std::size_t n)
    {
        void *p = zeroedBlock(n * sizeof(T));
        if (!p)
            throw std::bad_alloc();
        return static_cast<T *>(p);
    }
    void deallocate(T *p, std::size_t n) { freeZeroedBlock(p, n * sizeof(T)); }
    // Default-inserted elements are already zero.
    template <class U> void construct(U *) {}
    template <class U, class... A> void construct(U *p, A &&...a) { ::new ((void *)p) U(std::forward<A>(a)...); }
    template <class U> bool operator==(const ZeroedAllocator<U> &) const { return true; }
    template <class U> bool operator!=(const ZeroedAllocator<U> &) const { return false; }
};

} // namespace vq
