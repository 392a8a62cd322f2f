// The null platform: frames without pixels, for --nodraw and tests.
#include <cstdio>

#include "platform.h"

namespace vq {

namespace {

bool openNull(Scene &)
{
    return true;
}

int runNull(Scene &s)
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

} // namespace

Platform nullPlatform()
{
    return {"null", openNull, runNull};
}

} // namespace vq
