// Helpers shared by the volume sources: dimension checks and building and
// releasing the three-level float array of an Xvol.
#pragma once

#include "xrw.h"

#include <cstddef>
#include <cstdio>

// Whether the file starts with gzip's magic bytes.
inline bool isGzipFile(const char *path)
{
    FILE *f = std::fopen(path, "rb");
    if (!f)
        return false;
    unsigned char b[2] = {0, 0};
    bool gz = std::fread(b, 1, 2, f) == 2 && b[0] == 0x1f && b[1] == 0x8b;
    std::fclose(f);
    return gz;
}

// A file's own voxel values (x fastest, malloc'd): as 16-bit integers when
// every value is one, which halves what they take, else as floats; both
// null when none are kept.
struct FileValues {
    float *floats;
    short *shorts;
};

// Voxel count of nx*ny*nz, or -1 (after one line on stderr) when a dimension
// is negative or the product does not fit a signed 32-bit int.
long long countVoxels(int nx, int ny, int nz);

// A new record with every field zero; null after "Failed to create parsed
// volume container." on stderr.
Xvol *newXvol();

// Allocates the plane table, row tables and rows of xvol for its nx, ny, nz,
// one allocation each. On failure prints the matching one-line message,
// releases what was built and returns -1; 0 on success.
int allocXvolData(Xvol *xvol);

// Copies a zero-terminated path into a 400-byte field; -1 (after one line on
// stderr) when it does not fit.
int copyVolumeName(char *field, const char *path);

// Sets voxel sizes to 1 and the colour table to a grey ramp.
void setUnitGreyXvol(Xvol *xvol);

// Min, mean, standard deviation and max of the voxels as showXvol lists them;
// -1 for a volume without voxels.
int statsXvol(const Xvol *xvol, float stats[4]);

// statsXvol of Xraw2Xvol(xraw) at stride 1, bit for bit, from the bytes
// themselves: the same floats added in the same order.
int statsXrawVoxels(const Xraw *xraw, float stats[4]);

// An Xvol of xraw's shape at stride 1 whose voxels are not filled in: they
// read as zero, and their pages are touched only when written. For a
// caller that takes what it needs from the bytes.
Xvol *Xraw2XvolUnfilled(const Xraw *xraw);
// The voxels of such an Xvol filled in after all, as Xraw2Xvol fills them.
void fillXvolFromBytes(const Xraw *xraw, Xvol *xvol);

// showXvol's lines, with the statistics given (null: none, for a volume
// without voxels).
void showXvolStats(const Xvol *xvol, const float *stats);
