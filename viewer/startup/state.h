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

// Back to the values at program load, releasing what an earlier start-up
// built (for tests that run start-up twice).
void resetViewerState();
