// Test-only view into libvqscene: open the library headless, drive frames
// and keys, and read back what was recorded. Not part of the programs' API.
#pragma once

#include <string>
#include <vector>

#include "model.h"

namespace vqtest {

// Reset the library and open it headless with no renderer, as
// vqopend("/?", ...) with "--nodraw" and the extra arguments given.
void openHeadless(const std::vector<std::string> &extraArgs = {});
// Back to the state before vqopend.
void closeScene();

vq::Scene &scene();
vq::Panel &panel(int id = -1);  // -1: the current panel
// Lists of a panel (-1: the current one).
const vq::PrimList &frameList(int panel = -1);
const vq::PrimList &staticList(int panel = -1);
// Text of a primitive's VRML name.
const std::string &nameOf(int nameIndex);

// Run one frame of the loop (keys, callbacks, counting).
void runFrame();
// Queue a key press for the next frame.
void pressKey(unsigned char key);
// Camera of a panel in scene coordinates.
void setCamera(const Point3 &eye, const Point3 &target, const Point3 &up, int panel = -1);
void setRenderMode(int mode);

// The renderer's settings, for the references the shipped drawing is
// compared against (they stay set over renderShutdown; set them back).
// Volume slices normally cover only the strips of their planes that can
// show anything; off, every slice covers its whole plane. stripRows: rows
// of voxels per strip, 0 for the default.
void renderSetSliceTrimming(bool on, int stripRows = 0);
// Bricks of at most `texels` voxels a side (0: the default) and the texel
// kind of grids (-1: the narrowest exact one, else a TexelKind: 0 bytes,
// 1 shorts, 2 floats).
void renderSetBricks(int texels, int gridKind = -1);
// Stacks of parallel textured polygons of one texture are normally drawn
// in one pass that composites each pixel's ray through their planes; off,
// every polygon is drawn and blended by itself.
void renderSetOnePass(bool on);
// A stack cut into bricks is normally drawn nearest brick first where the
// GL has texture barriers, each ray stopping once what is in front of it
// hides the rest; off, farthest first, blended over.
void renderSetNearFirstStacks(bool on);
// The opacity at which a stack's ray stops, since nothing behind can
// change its pixel by more than 1 - opacity (default 1 - 1/255; above 1:
// rays never stop early).
void renderSetRayStop(float opacity);
// How many stacks the last frame drew in one pass.
int renderStacksDrawn();
// How many bricks of volume rendering `volume` the GPU holds.
int renderSentBricks(int volume);

}  // namespace vqtest
