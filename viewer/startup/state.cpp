#include "state.h"

#include <cstdlib>
#include <cstring>

#include "obj.h"
#include "trackset.h"

const ViewerDefaults kViewerDefaults = {0.0f, 1.0f, 0.0f, 0.2f, 1.0f, -1, 1, 1, 1, 1.0f, 1000, 1, -1.0f};

int NVR;
float dmin[MAX_VOLUMES], dmax[MAX_VOLUMES], amin[MAX_VOLUMES], amax[MAX_VOLUMES];
float dscale[MAX_VOLUMES][3];
int tex3d[MAX_VOLUMES];
int vidx[MAX_VOLUMES], vidy[MAX_VOLUMES], vidz[MAX_VOLUMES];
int _nx[MAX_VOLUMES], _ny[MAX_VOLUMES], _nz[MAX_VOLUMES];
float _tr[MAX_VOLUMES][12];
int invert;
int viewfile;
char viewfile_fname[400];
int do_3d_render;
int suppress_vr;
int _3d_speed_up;
int doPRC;
int do_slice_reveal;
int numcount[10];
float glow_period_frames;
int nobjs;
Obj **objs;
int64_t ntracks;
int *count;
Point3 **start;

namespace {

// The state holds the defaults from program load on.
[[maybe_unused]] const bool kLoaded = (resetViewerState(), true);

} // namespace

void setVolumeStateDefaults(int v)
{
    const ViewerDefaults &d = kViewerDefaults;
    dmin[v] = d.dmin;
    dmax[v] = d.dmax;
    amin[v] = d.amin;
    amax[v] = d.amax;
    dscale[v][0] = dscale[v][1] = dscale[v][2] = d.dscale;
    tex3d[v] = d.tex3d;
}

void resetViewerState()
{
    NVR = 0;
    for (int v = 0; v < MAX_VOLUMES; v++) {
        setVolumeStateDefaults(v);
        vidx[v] = vidy[v] = vidz[v] = 0;
        _nx[v] = _ny[v] = _nz[v] = 0;
        std::memset(_tr[v], 0, sizeof _tr[v]);
    }
    invert = viewfile = do_3d_render = suppress_vr = doPRC = do_slice_reveal = 0;
    viewfile_fname[0] = '\0';
    _3d_speed_up = kViewerDefaults.speedUp;
    std::memset(numcount, 0, sizeof numcount);
    glow_period_frames = kViewerDefaults.glowPeriodFrames;
    // What an earlier start-up in the same process built (tests).
    for (int j = 0; j < nobjs; j++)
        freeObj(objs[j]);
    std::free(objs);
    resetTrackSet();
    if (start && ntracks > 0)
        std::free(start[0]);
    std::free(start);
    std::free(count);
    nobjs = 0;
    objs = nullptr;
    ntracks = 0;
    count = nullptr;
    start = nullptr;
}
