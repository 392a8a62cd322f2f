// Placeholder until the OpenGL renderer lands.
#include "render.h"

namespace vq {

bool renderInit()
{
    return false;
}

void renderFrame(Scene &, int, int)
{
}

void renderShutdown()
{
}

}  // namespace vq
