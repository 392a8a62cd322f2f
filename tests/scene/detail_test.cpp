// The window's level of detail while the mouse drags: the detail a drag
// starts at and how it follows the time frames take.
#include <gtest/gtest.h>

#include <cmath>

#include "detail.h"

namespace {

// A frame's time at detail d, for a scene whose full frame takes
// `fixed` seconds that no detail saves plus `pixels` seconds that go with
// the pixels drawn and the planes sampled.
double frameSeconds(const vq::DragDetail &d, double fixed, double pixels)
{
    return fixed + pixels / (d.reduction * d.reduction * d.stride);
}

} // namespace

TEST(DragDetail, StartsFromTheFullFramesTime)
{
    // A frame already as fast as a drag frame stays full.
    vq::DragDetail quick = vq::startDragDetail(0.02);
    EXPECT_FALSE(vq::coarseDetail(quick));
    EXPECT_EQ(quick.stride, 1);
    // Slower frames sample fewer planes first, then fewer pixels, so that
    // the product of both saves the time.
    for (double full : {0.15, 0.3, 0.55, 3.0}) {
        vq::DragDetail d = vq::startDragDetail(full);
        EXPECT_TRUE(vq::coarseDetail(d)) << full;
        EXPECT_GE(d.stride, 2) << full;
        double saved = d.reduction * d.reduction * d.stride;
        if (d.reduction < vq::kMaxReduction) {
            EXPECT_NEAR(saved, full / vq::kDragFrameSeconds, 1e-9) << full;
        }
    }
    EXPECT_EQ(vq::startDragDetail(0.08).stride, 1);
    EXPECT_EQ(vq::startDragDetail(0.15).stride, 2);
    EXPECT_EQ(vq::startDragDetail(0.55).stride, 4);
    // No full frame timed yet, or a time that makes no sense: full detail.
    for (double bad : {0.0, -1.0, double(NAN), double(INFINITY)})
        EXPECT_FALSE(vq::coarseDetail(vq::startDragDetail(bad))) << bad;
}

TEST(DragDetail, SettlesAtTheDragFramesTime)
{
    // Time going with the pixels: the frames come to the drag frame's
    // time within a few frames and stay there.
    for (double pixels : {0.3, 1.2}) {
        vq::DragDetail d = vq::startDragDetail(0.9 * pixels);
        for (int i = 0; i < 12; ++i)
            d = vq::nextDragDetail(d, frameSeconds(d, 0.005, pixels));
        EXPECT_NEAR(frameSeconds(d, 0.005, pixels), vq::kDragFrameSeconds, 0.15 * vq::kDragFrameSeconds) << pixels;
        double before = d.reduction;
        d = vq::nextDragDetail(d, frameSeconds(d, 0.005, pixels));
        EXPECT_NEAR(d.reduction, before, 0.1 * before);
    }
    // One frame slowed by something else moves the reduction only halfway
    // towards what it would take.
    vq::DragDetail d{2, 2};
    vq::DragDetail after = vq::nextDragDetail(d, 4 * vq::kDragFrameSeconds);
    EXPECT_NEAR(after.reduction, 2 * std::sqrt(2.0), 1e-9);
    EXPECT_EQ(after.stride, 2);
    // Time that fewer pixels cannot save: the reduction stops at its
    // limit instead of growing without end; quick frames come back to
    // full size but no further.
    for (int i = 0; i < 40; ++i)
        d = vq::nextDragDetail(d, 0.2);
    EXPECT_NEAR(d.reduction, vq::kMaxReduction, 1e-6);
    for (int i = 0; i < 40; ++i)
        d = vq::nextDragDetail(d, 0.001);
    EXPECT_NEAR(d.reduction, 1.0, 1e-6);
    EXPECT_NEAR(vq::nextDragDetail(d, NAN).reduction, 1.0, 1e-6);
}
