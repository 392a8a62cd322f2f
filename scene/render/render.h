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
// Volume slices normally cover only the strips of their planes that can
// show anything; off, every slice covers its whole plane (the reference
// the trimmed drawing is tested against). stripRows: rows of voxels per
// strip, 0 for the default.
void renderSetSliceTrimming(bool on, int stripRows = 0);
// Release GL objects while the context is still current.
void renderShutdown();

} // namespace vq
