// The null platform: frames without pixels, for --nodraw and tests.
#include <cstdio>

#include "platform.h"

namespace vq {

static bool openNull(Scene &)
{
    return true;
}

static int runNull(Scene &s)
{
    while (!loopDone(s)) {
        runFrame(s);
        if (s.screenshotRequested) {
            std::fprintf(stderr, "vqscene: no screenshot without a renderer (--nodraw)\n");
            s.screenshotRequested = false;
        }
        endFrame(s);
    }
    return finishRun(s, 0);
}

Platform nullPlatform()
{
    return {"null", openNull, runNull};
}

} // namespace vq
