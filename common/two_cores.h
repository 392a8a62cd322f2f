// Work split between the two cores this suite is measured on. Shared by the
// scene library and the viewer, which build it in themselves.
#pragma once

#include <thread>

namespace vq {

// Runs part(from, to, half) over 0..n: with `large`, 0..split on the caller
// (half 0) and split..n on a thread of its own (half 1); otherwise all of
// it on the caller as half 0. The parts must touch disjoint data.
template <class Part> void runOnTwoCores(bool large, int n, int split, Part part)
{
    if (!large || split <= 0 || split >= n) {
        part(0, n, 0);
        return;
    }
    std::thread other(part, split, n, 1);
    part(0, split, 0);
    other.join();
}

} // namespace vq
