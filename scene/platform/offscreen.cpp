// Placeholder until the EGL platform lands.
#include <cstdio>

#include "platform.h"

namespace vq {

static bool openOffscreen(Scene &)
{
    std::fprintf(stderr, "vqscene: offscreen rendering is not available in this build\n");
    return false;
}

static int runOffscreen(Scene &)
{
    return 1;
}

Platform offscreenPlatform()
{
    return {"offscreen", openOffscreen, runOffscreen};
}

}  // namespace vq
