// The file formats of the scene library: colour-map files in, scene files out.
// Core reaches them through the table of files.h, never through this header.
#pragma once

#include <vector>

#include "model.h"

namespace vq {

// The ramp of a colour-map file: lines of "r g b" in 0..1. False after one
// line on stderr.
bool readColourMapFile(const char *name, std::vector<Rgb> &ramp);
// Write every panel's lists as a VRML 2.0 file. 0 or -1.
int exportVRML(const Scene &s, const char *name);
// Scene file formats, told by the name's extension (case ignored).
enum class SceneFormat { unknown, glb, gltf, vrml };
SceneFormat sceneFormat(const char *name);
// Write the visible panels' lists and cameras as glTF 2.0: binary (.glb)
// or JSON with the buffer embedded. 0 or -1 after one line on stderr; a
// failed write keeps the old file.
int exportGLTF(const Scene &s, const char *name, bool binary);
// Write the scene in the format of the name's extension. 0 or -1.
int exportScene(const Scene &s, const char *name);

} // namespace vq
