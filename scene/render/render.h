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
// Volume slices normally cover only the strips of their planes that can
// show anything; off, every slice covers its whole plane (the reference
// the trimmed drawing is tested against). stripRows: rows of voxels per
// strip, 0 for the default.
void renderSetSliceTrimming(bool on, int stripRows = 0);
// Test setting: bricks of at most `texels` voxels a side (0: the default)
// and the texel kind of grids (-1: the narrowest exact one, else a
// TexelKind: 0 bytes, 1 shorts, 2 floats).
void renderSetBricks(int texels, int gridKind = -1);
// Test setting: stacks of parallel textured polygons of one texture are
// normally drawn in one pass that composites each pixel's ray through
// their planes; off, every polygon is drawn and blended by itself (the
// reference the one pass is tested against).
void renderSetOnePass(bool on);
// Test setting: a stack cut into bricks is normally drawn nearest brick
// first where the GL has texture barriers, each ray stopping once what is
// in front of it hides the rest; off, farthest first, blended over.
void renderSetNearFirstStacks(bool on);
// Test setting: the opacity at which a stack's ray stops, since nothing
// behind can change its pixel by more than 1 - opacity (default 1 - 1/255;
// above 1: rays never stop early).
void renderSetRayStop(float opacity);
// Test view: how many stacks the last frame drew in one pass.
int renderStacksDrawn();
// Test view: how many bricks of volume rendering `volume` the GPU holds.
int renderSentBricks(int volume);
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
