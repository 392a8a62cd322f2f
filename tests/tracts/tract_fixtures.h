// The reference files the writer script makes with nibabel, zipfile and
// numpy, written once per test program into its scratch folder.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "scratch.h"

// The folder of written files; empty when python3 with nibabel and numpy
// is missing.
inline const std::string &writtenTractograms()
{
    static std::string dir;
    static bool tried = false;
    if (!tried) {
        tried = true;
        const char *py = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
        std::string out = scratchDir() + "/tractograms";
        std::string cmd = std::string(py) + " -c 'import nibabel, numpy' 2>/dev/null && " + py + " " +
                          SOURCE_DIR "/tests/tracts/write_tractograms.py " + out;
        if (std::system(cmd.c_str()) == 0)
            dir = out;
    }
    return dir;
}
