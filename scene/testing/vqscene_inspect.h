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

}  // namespace vqtest
