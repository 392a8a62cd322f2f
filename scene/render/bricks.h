// Volume data as bricks: how a grid or a 3-D texture is cut into GL
// textures of bounded size, and how grid values become compact texels.
// Nothing here calls GL, so all of it can be checked without pixels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vq {

// Bricks along one axis of n voxels. Brick b holds voxels start(b) ..
// start(b) + size(b) - 1; neighbours share one plane, so that linear
// filtering between any two voxels happens inside one brick and the
// bricks join without seams.
struct BrickAxis {
    int n = 1, core = 1, count = 1;
    int start(int b) const { return b * core; }
    int size(int b) const
    {
        int s = n - b * core;
        return s < core + 1 ? s : core + 1;
    }
    // The brick that draws voxel plane p: each brick draws the planes it
    // does not share with the next one, the last brick also its last plane.
    int brickOf(int p) const
    {
        int b = p / core;
        return b < count - 1 ? b : count - 1;
    }
};

// Bricks of at most maxTexels voxels (at least 2) along an axis of n,
// as even as the shared planes allow.
BrickAxis brickAxis(int n, int maxTexels);

// Texel kinds of a grid: 8-bit for values that are all b/255 of a byte b
// (what volumes made from bytes hold), 16-bit normalised over the grid's
// value range otherwise, 32-bit floats when some value is not finite.
enum class TexelKind { Byte, Short, Float };

struct GridCode {
    TexelKind kind = TexelKind::Float;
    // A normalised texel t stands for lo + t * (hi - lo); Byte and Float
    // texels need no mapping (lo 0, hi 1).
    float lo = 0, hi = 1;
    int bytes() const { return kind == TexelKind::Byte ? 1 : kind == TexelKind::Short ? 2 : 4; }
};

// Texel kind for the grid's values: one pass, stopping early only for Float.
GridCode chooseGridCode(const float *const *const *grid, int nx, int ny, int nz);

// The texel kinds' encodings and the values they stand for, as the GL
// reads them back (normalised texel times the range, plus lo).
uint8_t byteTexel(float v);
uint16_t shortTexel(const GridCode &c, float v);
float byteValue(uint8_t t);
float shortValue(const GridCode &c, uint16_t t);

// Texels of the brick of voxels i0.., j0.., k0.. of sizes ni, nj, nk, k
// fastest and i slowest (the grid rows' own order), into out. Returns
// whether any voxel is at or above `visible`; a brick with none shows
// nothing and need not be sent. With exact, Byte texels also say whether
// every value was a byte's (*exact is cleared otherwise, never set).
bool fillGridBrick(const float *const *const *grid, const GridCode &c, const int o[3], const int n[3],
                   float visible, void *out, bool *exact = nullptr);
// The same over a run of planes of i, large runs split between two cores.
bool fillGridChunk(const float *const *const *grid, const GridCode &c, const int o[3], const int n[3],
                   float visible, void *out, bool *exact = nullptr);

// One row of n values of the strip scan: for each k with row[k] at or above
// threshold (NaN never is), first and last take k in (the lowest and the
// highest), zlo[k] the lower of itself and j, and zhi[k] becomes j.
void markShownRow(const float *row, int n, float threshold, int j, int *zlo, int *zhi, int *first, int *last);

// Which cells of cell^3 texels of an RGBA texture (x fastest) hold a texel
// with any opacity (255) or none (0), x fastest; a cell counts the texels up
// to the next cell's first plane too, which filtering between them reads.
// cells gets the grid's size. Scanned on both cores.
std::vector<uint8_t> occupancyCells(const uint8_t *rgba, int nx, int ny, int nz, int cell, int cells[3]);

// Shrinks the box lo..hi (voxel indices, half-open) to the bounds of the
// occupied cells of a grid from occupancyCells that it overlaps: nothing
// outside them can show. Returns false, the box unchanged, when none is.
bool shrinkToOccupied(const uint8_t *occ, const int cells[3], int cell, double lo[3], double hi[3]);

// A vertex being clipped: voxel-index coordinates and the scene position.
struct ClipVertex {
    double x[3];
    double p[3];
};

// Cuts the convex polygon v[0..n-1] down to lo[a] <= x[a] <= hi[a] for
// every axis a (bounds may be infinite); out needs room for n + 6
// vertices. Returns the new vertex count (0 when nothing is left).
int clipToBox(const ClipVertex *v, int n, const double lo[3], const double hi[3], ClipVertex *out);

} // namespace vq
