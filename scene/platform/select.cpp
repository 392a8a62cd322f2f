// Choosing a platform at run time and handing it the frame loop.
#include <cstdio>
#include <cstdlib>

#include "platform.h"

using namespace vq;

extern "C" int vqshow(int mode)
{
    (void)mode;
    Scene &s = scene();
    if (s.showing || s.inFrame) {
        sceneError("vqshow: the display is already running");
        return -1;
    }
    if (!s.open) {
        sceneError("vqshow: the display is not open (vqopend failed or was not called)");
        std::exit(1);
    }
    Platform p;
    const char *display = std::getenv("DISPLAY");
    if (s.opts.nodraw)
        p = nullPlatform();
    else if (headlessRun(s.opts))
        p = offscreenPlatform();
    else if (display && *display)
        p = windowPlatform();
    else {
        std::fprintf(stderr, "vqscene: no display; render offscreen with --png FILE (or --nodraw)\n");
        std::exit(1);
    }
    std::fflush(stdout);
    if (!p.open(s))
        std::exit(1);
    s.showing = true;
    int status = p.run(s);
    std::fflush(stdout);
    std::fflush(stderr);
    std::exit(status);
}
