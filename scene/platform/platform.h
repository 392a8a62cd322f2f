// Where frames come from and go to. Each platform fills one record; vqshow
// picks one from the library's options at run time.
//
// What a platform does, and all it decides: while !loopDone(s) it calls
// runFrame(s), draws the frame if it has a renderer (renderFrame), presents
// it (swap, or read back and write the --png image when lastFrame(s) or the
// name is numbered), answers s.screenshotRequested, and calls endFrame(s).
// After the loop it returns finishRun(s, status) while its GL still stands
// (the --export may read textures back). When to stop is core's rule
// (frameLimit), never the platform's.
#pragma once

#include "model.h"

namespace vq {

struct Platform {
    const char *name;
    // Set up (window, GL context, ...). False after one line on stderr.
    bool (*open)(Scene &s);
    // Run frames until loopDone (or the window closes); returns the
    // process exit status.
    int (*run)(Scene &s);
};

Platform nullPlatform();       // --nodraw: frames without pixels
Platform offscreenPlatform();  // --png: EGL surfaceless, writes PNG images
Platform windowPlatform();     // a GLUT window through libvqwin

}  // namespace vq
