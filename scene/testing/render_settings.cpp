// Test-only settings and views of the renderer: they change the record the
// renderer reads (state.h) and count what it holds, and are not in the
// shared library.
#include "state.h"
#include "vqscene_inspect.h"

namespace vqtest {

using vq::draw::R;
using vq::draw::renderSettings;

void renderSetSliceTrimming(bool on, int stripRows)
{
    renderSettings.trimSlices = on;
    renderSettings.stripRows = stripRows > 0 ? stripRows : vq::draw::kStripRows;
}

void renderSetBricks(int texels, int gridKind)
{
    renderSettings.brickTexels = texels > 0 ? texels : 0;
    renderSettings.gridKind = gridKind >= 0 && gridKind <= 2 ? gridKind : -1;
}

void renderSetOnePass(bool on)
{
    renderSettings.onePass = on;
}

void renderSetNearFirstStacks(bool on)
{
    renderSettings.nearFirstStacks = on;
}

void renderSetRayStop(float opacity)
{
    renderSettings.rayStop = opacity;
}

int renderStacksDrawn()
{
    return R.stacksDrawn;
}

int renderSentBricks(int volume)
{
    const vq::Scene &s = vq::scene();
    if (volume < 0 || volume >= static_cast<int>(s.volumes.size()))
        return 0;
    volume = vq::draw::sameGrid(s, volume);
    if (volume >= static_cast<int>(R.volumes.size()))
        return 0;
    int n = 0;
    for (const vq::draw::GpuBrick &b : R.volumes[volume].bricking.bricks)
        n += b.tex != 0;
    return n;
}

} // namespace vqtest
