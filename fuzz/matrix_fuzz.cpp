// The -M matrix file, read through the step of start-up that uses it
// (setVolumeTransform): the reader itself is internal to start-up.
#include <cmath>

#include "fuzz_support.h"
#include "startup.h"
#include "xrw.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::openHeadlessScene("fuzz_matrix");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > fuzz::kMaxInput)
        return 0;
    resetStartupSettings();
    settings.volume[0].useMatrix = 1;
    std::snprintf(settings.volume[0].matrixFileName, XRW_SHORT_FIELD, "%s", fuzz::inputFile(data, size));
    Xvol vol{};
    vol.nx = 16;
    vol.ny = 8;
    vol.nz = 4;
    vol.dx = vol.dy = vol.dz = 1.0f;
    float tr[12];
    if (setVolumeTransform(0, &vol, tr) != 0)
        return 0;
    // A matrix that is taken gives a transform of finite values only.
    for (float t : tr)
        FUZZ_CHECK(std::isfinite(t));
    return 0;
}
