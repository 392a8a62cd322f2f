// Line sets on the GPU: each set's points sent once into buffers of their
// own, drawn every frame as thick line strips, one multi-draw per chunk.
// Internal to the renderer.
#pragma once

#include "state.h"

namespace vq::draw {

// Compiles and links a program of the renderer (renderer.cpp).
bool linkProgram(ProgramInfo &info, const char *vs, const char *gs, const char *fs);

// The line sets a panel's lists draw, with the panel's mvp (column-major)
// and size in pixels. A reduced frame (a drag) draws an evenly spread part
// of each set's lines. Leaves the renderer's own vertex array bound.
void drawLineSets(const Scene &s, const Panel &panel, const float *mvp, int vw, int vh);
// Lines a set of `segments` segments and `lines` lines draws one in, in a
// reduced frame: 1 while the set is small enough to draw whole.
long lineSetDragStep(long segments, long lines);
// Releases the GL objects while the context is current.
void releaseLineSets();

} // namespace vq::draw
