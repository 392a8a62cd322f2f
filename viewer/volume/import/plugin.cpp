// The import library as xrwview's plug-in: xrwview opens it only for a
// file that is not XRW, and calls this one entry point in place of the
// start-up hook (see VolumeImporter in startup.h).
#include "import.h"

extern "C" __attribute__((visibility("default"))) int xrwImportVolume(const char *path, const float *window,
                                                                      int matrixGiven, Xraw **xraw, float m[4][4],
                                                                      double used[2], FileValues *values)
{
    return importForViewer(path, window, matrixGiven, xraw, m, used, values);
}
