// What core asks of the file formats without knowing them: key w writes
// the view file, key P and --export write scene files, vqicm reads a
// colour-map file. The io room fills the table (io/files.cpp), so core
// includes no io header.
#pragma once

#include <vector>

#include "model.h"

namespace vq {

struct FileActions {
    // WriteViewFile: 0, or -1 after one line on stderr.
    int (*writeView)(const char *name);
    // A scene file in the format of the name's extension. 0 or -1.
    int (*writeScene)(const Scene &s, const char *name);
    // Whether the name's extension is a scene format writeScene knows.
    bool (*sceneFileName)(const char *name);
    // The ramp of a colour-map file. False after one line on stderr.
    bool (*readColourMap)(const char *name, std::vector<Rgb> &ramp);
};

extern const FileActions kFileActions;

} // namespace vq
