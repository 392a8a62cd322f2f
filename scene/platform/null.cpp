// The null platform: frames without pixels, for --nodraw and tests.
#include <algorithm>
#include <cstdio>

#include "platform.h"

namespace vq {

static bool openNull(Scene &)
{
    return true;
}

// Without --frames a headless run has no window to close, so it runs until
// the last --keys entry has been delivered (at least one frame), or until a
// quit key.
static int headlessFrameCount(const Scene &s)
{
    if (s.opts.frames >= 0)
        return s.opts.frames;
    int last = 0;
    for (const auto &k : s.opts.keys)
        last = std::max(last, k.first);
    return last + 1;
}

static int runNull(Scene &s)
{
    int frames = headlessFrameCount(s);
    while (!s.quit && s.frameNo < frames) {
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
