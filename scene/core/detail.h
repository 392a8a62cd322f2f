// Level of detail while the mouse drags the view: frames are drawn coarse
// so that the view keeps up with the mouse at about kDragFrameSeconds a
// frame. Volumes are sampled at every second or fourth plane, chosen from
// the time of the last full frame when the drag starts, and frames have
// fewer pixels (scaled up to the window), following the time the frames
// take, up to kMaxReduction along each side. No GL: the window platform
// draws what these choose.
#pragma once

namespace vq {

constexpr double kDragFrameSeconds = 1.0 / 20;
constexpr double kMaxReduction = 8;

struct DragDetail {
    double reduction = 1; // pixels along each side, window to frame
    int stride = 1;       // planes of a volume to one sample
};

// Whether frames of this detail are coarse at all.
bool coarseDetail(const DragDetail &d);
// The detail a drag starts at, from what the last full frame took: the
// stride takes the first part of the time to save, the pixels the rest.
DragDetail startDragDetail(double fullSeconds);
// The detail of the next frame of a drag, after one that took `seconds`
// at d: the reduction moves halfway (geometrically) to the one that
// would have hit kDragFrameSeconds had the time gone with the pixels, so
// that one slow frame does not throw the picture into coarse blocks.
DragDetail nextDragDetail(const DragDetail &d, double seconds);

} // namespace vq
