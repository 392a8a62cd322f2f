#include "detail.h"

#include <algorithm>
#include <cmath>

namespace vq {

bool coarseDetail(const DragDetail &d)
{
    return d.reduction > 1.05 || d.stride > 1;
}

DragDetail startDragDetail(double fullSeconds)
{
    DragDetail d;
    double ratio = std::isfinite(fullSeconds) && fullSeconds > 0 ? fullSeconds / kDragFrameSeconds : 1;
    d.stride = ratio > 8 ? 4 : ratio > 2 ? 2 : 1;
    d.reduction = std::clamp(std::sqrt(ratio / d.stride), 1.0, kMaxReduction);
    return d;
}

DragDetail nextDragDetail(const DragDetail &d, double seconds)
{
    DragDetail next = d;
    double s = std::isfinite(seconds) ? std::max(seconds, 1e-4) : kDragFrameSeconds;
    double wanted = std::clamp(d.reduction * std::sqrt(s / kDragFrameSeconds), 1.0, kMaxReduction);
    next.reduction = std::clamp(std::sqrt(d.reduction * wanted), 1.0, kMaxReduction);
    return next;
}

} // namespace vq
