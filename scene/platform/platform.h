// Where frames come from and go to. Each platform fills one record; vqshow
// picks one from the library's options at run time.
#pragma once

#include "model.h"

namespace vq {

struct Platform {
    const char *name;
    // Set up (window, GL context, ...). False after one line on stderr.
    bool (*open)(Scene &s);
    // Run frames until the options' frame count, a quit key or the window
    // closes; returns the process exit status.
    int (*run)(Scene &s);
};

Platform nullPlatform();       // --nodraw: frames without pixels
Platform offscreenPlatform();  // --png: EGL surfaceless, writes PNG images
Platform windowPlatform();     // a GLUT window through libvqwin

}  // namespace vq
