// The OpenGL renderer: draws one frame's lists for every visible panel.
// Needs a current GL context; knows nothing of where the pixels go.
#pragma once

#include "model.h"

namespace vq {

// Once per context, after it is current. False after one line on stderr.
bool renderInit();
// Draw every visible panel of the scene into the bound framebuffer of
// width x height pixels.
void renderFrame(Scene &s, int width, int height);
// A coarse frame, the window's level of detail while the view is dragged:
// drawn at 1/factor of the pixels along each side and spread over
// width x height with bilinear filtering (factor <= 1: at full size), with
// volumes sampled at every stride-th plane of a stack (every stride-th
// slice of a slice set) and each sample's opacity standing for that many.
// Lines and points keep their width in the window's pixels.
void renderFrameReduced(Scene &s, int width, int height, double factor, int stride);
// Fill the storage of a 3-D texture whose pages were given back after its
// upload from the bricks on the GPU. False when the GL holds none of it.
bool renderRestoreTexels(int id, Texture3D &t);
// Resolves the multisampled colour texture `frame` into the bound draw
// framebuffer of width x height: each pixel the mean of its samples, as
// the GL's blit gives it. False when the renderer is not ready or the
// texture holds no samples.
bool renderResolve(unsigned frame, int width, int height);
// Release GL objects while the context is still current.
void renderShutdown();

} // namespace vq
