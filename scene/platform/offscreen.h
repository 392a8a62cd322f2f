// The offscreen render target on its own, for benchmarks and tools that
// run frames themselves instead of through vqshow.
#pragma once

#include "model.h"

namespace vq {

// EGL context, multisampled framebuffer of width x height and renderer.
// False after one line on stderr.
bool openOffscreenTarget(Scene &s, int width, int height);
// Render the scene's current lists and wait for the GPU (glFinish).
void drawOffscreenFrame(Scene &s);
void closeOffscreenTarget();

} // namespace vq
