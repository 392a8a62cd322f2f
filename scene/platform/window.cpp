// Placeholder until the window platform lands.
#include <cstdio>

#include "platform.h"

namespace vq {

static bool openWindow(Scene &)
{
    std::fprintf(stderr, "vqscene: window display is not available in this build\n");
    return false;
}

static int runWindow(Scene &)
{
    return 1;
}

Platform windowPlatform()
{
    return {"window", openWindow, runWindow};
}

}  // namespace vq
