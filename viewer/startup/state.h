// The viewer's program-wide state: what start-up builds and the callbacks read.
#pragma once

#include <cstdint>

#include "vqscene.h"

struct Obj;

#define MAX_VOLUMES 4

extern int NVR;
extern float dmin[MAX_VOLUMES], dmax[MAX_VOLUMES], amin[MAX_VOLUMES], amax[MAX_VOLUMES];
extern float dscale[MAX_VOLUMES][3];
extern int tex3d[MAX_VOLUMES];
extern int vidx[MAX_VOLUMES], vidy[MAX_VOLUMES], vidz[MAX_VOLUMES];
extern int _nx[MAX_VOLUMES], _ny[MAX_VOLUMES], _nz[MAX_VOLUMES];
extern float _tr[MAX_VOLUMES][12];
extern int invert;
extern int viewfile;
extern char viewfile_fname[400];
extern int do_3d_render;
extern int suppress_vr;
extern int _3d_speed_up;
extern int doPRC;
extern int do_slice_reveal;
extern int numcount[10];
extern float glow_period_frames;
extern int nobjs;
extern Obj **objs;
extern int64_t ntracks;
extern int *count;
extern Point3 **start;

// The viewer's defaults, in one table: what the state has at program load
// and after resetViewerState, and what each command line starts from.
struct ViewerDefaults {
    float dmin, dmax, amin, amax;  // data range and opacity range of a volume
    float dscale;                  // voxel size along each axis
    int tex3d;                     // no 3-D texture made yet
    int stride;                    // every voxel along each axis
    int useFileColourMap;          // the file's own colour map unless a map is named
    int drawBox;
    float blowApart;
    int trackSkip;                 // track file numbers advance by this
    int speedUp;                   // 3-D texture frames drawn at full size
    float glowPeriodFrames;        // no glow
};
extern const ViewerDefaults kViewerDefaults;

// The per-volume state of volume v (ranges, scale, texture) back to the defaults.
void setVolumeStateDefaults(int v);

// Volume v's colours live in a block of 256 indices from here.
inline int colourBlockStart(int v)
{
    return 1000 + 256 * v;
}

// Volume v's float voxels filled in, when a -3d texture made straight
// from its bytes left them empty and a changed look is to be drawn from
// them (start-up keeps the bytes until then).
void fillLookVoxels(int v);

// Back to the values at program load, releasing what an earlier start-up
// built (for tests that run start-up twice).
void resetViewerState();
