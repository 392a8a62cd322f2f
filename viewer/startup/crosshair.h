// The crosshair: a world point, the voxel of each volume under it and that
// voxel's value in the file's own units, and the line that reports them.
#pragma once

#include <cstddef>

#include "state.h"
#include "volume_util.h"

struct Xraw;
struct Xvol;

// How one volume's file voxels sit in the world. The float grid that is
// drawn runs its second and third axes backwards against the file and may
// average stride voxels into one; tr maps the float grid's indices to the
// world, as the renderings are given it.
struct VolumePlacement {
    int used;                   // 1 once the volume is built
    int fileN[3];               // voxels of the file along its three axes
    int gridN[3];               // voxels of the float grid
    int stride[3];              // file voxels per grid voxel along each axis
    double tr[12];              // grid index to world
    double inv[12];             // world to grid index
    const unsigned char *bytes; // XRW voxels, x fastest (null when values are kept)
    const float *values;        // an imported file's values after its scaling, x fastest
    const short *shortValues;   // the same when every value is a 16-bit integer
    const Xvol *grid;           // XRW bytes read back from the float grid (b / 255), when it holds them
};

extern VolumePlacement placements[MAX_VOLUMES];

// The crosshair as start-up and the callbacks share it.
struct Crosshair {
    int wanted;       // -at or -ortho: voxel values are kept for the readout
    int atGiven;      // -at X Y Z
    double at[3];     // its point, world millimetres
    double world[3];  // where the crosshair is now
    int ortho;        // -ortho: three slice panels beside the 3-D view
    int neurological; // -neuro: the patient's left on the screen's left
    int linear;       // slices sampled linearly, else nearest voxel
};

extern Crosshair crosshair;

// Records where volume v's voxels lie: its file sizes, the float grid, the
// stride and the grid's index-to-world transform. The voxel values are
// read from values when it holds any, else from the float grid when
// gridHoldsBytes (stride 1, voxels unchanged: each is its byte / 255),
// else from the bytes (x fastest), which must then stay. 0, or -1 when
// the transform cannot be inverted (after a message).
int placeVolume(int v, const Xraw *xraw, const Xvol *xvol, const int stride[3], const float tr[12],
                const FileValues *values, bool gridHoldsBytes);
// Whether the readout reads a volume's bytes: they must not be given back.
bool readoutNeedsBytes(const Xraw *xraw);
// The file voxel (i along the file's first axis) whose cell holds world
// point w; 0, or -1 when w lies outside the volume's box.
int worldToFileVoxel(int v, const double w[3], int ijk[3]);
// The world point of a file voxel's centre (fractional indices allowed).
void fileVoxelToWorld(int v, const double ijk[3], double w[3]);
// The continuous float-grid index of world point w.
void worldToGridIndex(int v, const double w[3], double g[3]);
// The value of file voxel ijk in the file's units.
double fileVoxelValue(int v, const int ijk[3]);
// The file voxel under w in volume v and its value as the readout writes
// it: 0, or -1 with value "-" when w lies outside the volume.
int readVoxel(int v, const double w[3], int ijk[3], char *value, size_t size);
// "crosshair: world X Y Z, voxel I J K, value V" for volume v at w, with
// "volume N: " before it when prefix is set; voxel and value read "-"
// where w lies outside that volume. Returns what snprintf returns.
int formatReadout(int v, const double w[3], int prefix, char *buf, size_t size);
// The readout of every volume at the crosshair on standard output.
void printReadout();
// The crosshair's start: -at's point, else volume 0's centre. 0, or -1
// after one line when -at lies outside volume 0's box.
int startCrosshair();
// Moves the crosshair one voxel of volume 0's grid along the grid axis
// nearest to world axis `axis` (0..2), forwards when sign > 0, to that
// voxel's centre; it stays inside volume 0. 1 when it moved.
int stepCrosshair(int axis, int sign);
// Puts the crosshair at w when w lies inside volume 0's box. 1 when it moved.
int moveCrosshair(const double w[3]);
