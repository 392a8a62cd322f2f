#include "state.h"

#include <cstdlib>
#include <cstring>

#include "obj.h"

int NVR;
float dmin[MAX_VOLUMES], dmax[MAX_VOLUMES] = {1, 1, 1, 1}, amin[MAX_VOLUMES];
float amax[MAX_VOLUMES] = {0.2f, 0.2f, 0.2f, 0.2f};
float dscale[MAX_VOLUMES][3] = {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}, {1, 1, 1}};
int tex3d[MAX_VOLUMES] = {-1, -1, -1, -1};
int vidx[MAX_VOLUMES], vidy[MAX_VOLUMES], vidz[MAX_VOLUMES];
int _nx[MAX_VOLUMES], _ny[MAX_VOLUMES], _nz[MAX_VOLUMES];
float _tr[MAX_VOLUMES][12];
int invert;
int viewfile;
char viewfile_fname[400];
int do_3d_render;
int suppress_vr;
int _3d_speed_up = 1;
int doPRC;
int do_slice_reveal;
int numcount[10];
float glow_period_frames = -1.0f;
int nobjs;
Obj **objs;
int64_t ntracks;
int *count;
Point3 **start;

void resetViewerState()
{
    NVR = 0;
    for (int v = 0; v < MAX_VOLUMES; v++) {
        dmin[v] = 0.0f;
        dmax[v] = 1.0f;
        amin[v] = 0.0f;
        amax[v] = 0.2f;
        dscale[v][0] = dscale[v][1] = dscale[v][2] = 1.0f;
        tex3d[v] = -1;
        vidx[v] = vidy[v] = vidz[v] = 0;
        _nx[v] = _ny[v] = _nz[v] = 0;
        std::memset(_tr[v], 0, sizeof _tr[v]);
    }
    invert = viewfile = do_3d_render = suppress_vr = doPRC = do_slice_reveal = 0;
    viewfile_fname[0] = '\0';
    _3d_speed_up = 1;
    std::memset(numcount, 0, sizeof numcount);
    glow_period_frames = -1.0f;
    // What an earlier start-up in the same process built (tests).
    for (int j = 0; j < nobjs; j++)
        freeObj(objs[j]);
    std::free(objs);
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
