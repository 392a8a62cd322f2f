// The crosshair's world point, the file voxel under it in each volume and
// the readout line.
#include "crosshair.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "startup.h"
#include "xrw.h"

VolumePlacement placements[MAX_VOLUMES];
Crosshair crosshair;

namespace {

// Inverse of the affine map m (rows of 3 x 4: offset, then the three
// columns); false when it is singular.
bool invertPlacement(const double m[12], double out[12])
{
    double a[3][3] = {{m[1], m[2], m[3]}, {m[5], m[6], m[7]}, {m[9], m[10], m[11]}};
    double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                 a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                 a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    if (!(std::fabs(det) > 1e-30) || !std::isfinite(det))
        return false;
    double b[3][3];
    b[0][0] = (a[1][1] * a[2][2] - a[1][2] * a[2][1]) / det;
    b[0][1] = (a[0][2] * a[2][1] - a[0][1] * a[2][2]) / det;
    b[0][2] = (a[0][1] * a[1][2] - a[0][2] * a[1][1]) / det;
    b[1][0] = (a[1][2] * a[2][0] - a[1][0] * a[2][2]) / det;
    b[1][1] = (a[0][0] * a[2][2] - a[0][2] * a[2][0]) / det;
    b[1][2] = (a[0][2] * a[1][0] - a[0][0] * a[1][2]) / det;
    b[2][0] = (a[1][0] * a[2][1] - a[1][1] * a[2][0]) / det;
    b[2][1] = (a[0][1] * a[2][0] - a[0][0] * a[2][1]) / det;
    b[2][2] = (a[0][0] * a[1][1] - a[0][1] * a[1][0]) / det;
    double t[3] = {m[0], m[4], m[8]};
    for (int r = 0; r < 3; r++) {
        out[4 * r] = -(b[r][0] * t[0] + b[r][1] * t[1] + b[r][2] * t[2]);
        for (int c = 0; c < 3; c++)
            out[4 * r + 1 + c] = b[r][c];
    }
    return true;
}

void applyPlacement(const double m[12], const double p[3], double out[3])
{
    for (int r = 0; r < 3; r++)
        out[r] = m[4 * r] + m[4 * r + 1] * p[0] + m[4 * r + 2] * p[1] + m[4 * r + 3] * p[2];
}

// Grid index along axis a to the file's index along it: the grid's second
// and third axes run backwards, and a grid voxel's centre is the centre of
// the stride file voxels it averages.
double gridToFile(const VolumePlacement &p, int a, double g)
{
    double box = a == 0 ? g : p.gridN[a] - 1 - g;
    return (box + 0.5) * p.stride[a] - 0.5;
}

double fileToGrid(const VolumePlacement &p, int a, double f)
{
    double box = (f + 0.5) / p.stride[a] - 0.5;
    return a == 0 ? box : p.gridN[a] - 1 - box;
}

} // namespace

int placeVolume(int v, const Xraw *xraw, const Xvol *xvol, const int stride[3], const float tr[12],
                const FileValues *values, bool gridHoldsBytes)
{
    VolumePlacement &p = placements[v];
    std::memset(&p, 0, sizeof p);
    int fileN[3] = {xraw->nx, xraw->ny, xraw->nz}, gridN[3] = {xvol->nx, xvol->ny, xvol->nz};
    for (int a = 0; a < 3; a++) {
        p.fileN[a] = fileN[a];
        p.gridN[a] = gridN[a];
        p.stride[a] = stride[a];
    }
    for (int i = 0; i < 12; i++)
        p.tr[i] = tr[i];
    if (!invertPlacement(p.tr, p.inv)) {
        std::fprintf(stderr, "'%s': its index-to-world transform cannot be inverted.\n", xraw->filename);
        return -1;
    }
    p.values = values ? values->floats : nullptr;
    p.shortValues = values ? values->shorts : nullptr;
    bool kept = p.values || p.shortValues;
    p.grid = !kept && gridHoldsBytes ? xvol : nullptr;
    p.bytes = kept || p.grid ? nullptr : xraw->data;
    p.used = 1;
    return 0;
}

bool readoutNeedsBytes(const Xraw *xraw)
{
    for (const VolumePlacement &p : placements)
        if (p.used && xraw && p.bytes && p.bytes == xraw->data)
            return true;
    return false;
}

void worldToGridIndex(int v, const double w[3], double g[3])
{
    applyPlacement(placements[v].inv, w, g);
}

int worldToFileVoxel(int v, const double w[3], int ijk[3])
{
    const VolumePlacement &p = placements[v];
    if (!p.used)
        return -1;
    double g[3];
    worldToGridIndex(v, w, g);
    for (int a = 0; a < 3; a++) {
        // The grid's voxel cells reach half a voxel beyond the first and last centres.
        if (!(g[a] >= -0.5 && g[a] < p.gridN[a] - 0.5))
            return -1;
        long f = std::lround(std::floor(gridToFile(p, a, g[a]) + 0.5));
        ijk[a] = static_cast<int>(f < 0 ? 0 : f >= p.fileN[a] ? p.fileN[a] - 1 : f);
    }
    return 0;
}

void fileVoxelToWorld(int v, const double ijk[3], double w[3])
{
    const VolumePlacement &p = placements[v];
    double g[3];
    for (int a = 0; a < 3; a++)
        g[a] = fileToGrid(p, a, ijk[a]);
    applyPlacement(p.tr, g, w);
}

double fileVoxelValue(int v, const int ijk[3])
{
    const VolumePlacement &p = placements[v];
    size_t at = static_cast<size_t>(ijk[0]) +
                static_cast<size_t>(p.fileN[0]) *
                    (static_cast<size_t>(ijk[1]) + static_cast<size_t>(p.fileN[1]) * ijk[2]);
    if (p.values)
        return p.values[at];
    if (p.shortValues)
        return p.shortValues[at];
    if (p.grid)
        return std::lround(p.grid->data[ijk[0]][p.gridN[1] - 1 - ijk[1]][p.gridN[2] - 1 - ijk[2]] * 255.0);
    return p.bytes ? p.bytes[at] : 0.0;
}

int readVoxel(int v, const double w[3], int ijk[3], char *value, size_t size)
{
    if (worldToFileVoxel(v, w, ijk) != 0) {
        std::snprintf(value, size, "-");
        return -1;
    }
    double x = fileVoxelValue(v, ijk);
    if (placements[v].values || placements[v].shortValues)
        std::snprintf(value, size, "%.7g", x);
    else
        std::snprintf(value, size, "%d", static_cast<int>(x));
    return 0;
}

int formatReadout(int v, const double w[3], int prefix, char *buf, size_t size)
{
    char head[32] = "";
    if (prefix)
        std::snprintf(head, sizeof head, "volume %d: ", v);
    int ijk[3];
    char value[48];
    if (readVoxel(v, w, ijk, value, sizeof value) != 0)
        return std::snprintf(buf, size, "%scrosshair: world %.2f %.2f %.2f, voxel - - -, value -", head, w[0],
                             w[1], w[2]);
    return std::snprintf(buf, size, "%scrosshair: world %.2f %.2f %.2f, voxel %d %d %d, value %s", head, w[0],
                         w[1], w[2], ijk[0], ijk[1], ijk[2], value);
}

void printReadout()
{
    char line[256];
    for (int v = 0; v < NVR; v++) {
        formatReadout(v, crosshair.world, NVR > 1, line, sizeof line);
        std::printf("%s\n", line);
    }
    std::fflush(stdout);
}

int startCrosshair()
{
    const VolumePlacement &p = placements[0];
    if (crosshair.atGiven) {
        int ijk[3];
        if (worldToFileVoxel(0, crosshair.at, ijk) != 0) {
            std::fprintf(stderr, "-at %g %g %g lies outside the box of '%s'.\n", crosshair.at[0],
                         crosshair.at[1], crosshair.at[2], settings.volume[0].xrwFileName);
            return -1;
        }
        std::memcpy(crosshair.world, crosshair.at, sizeof crosshair.world);
        return 0;
    }
    // The centre voxel, so that the readout names one voxel and no edge.
    double c[3];
    for (int a = 0; a < 3; a++)
        c[a] = p.fileN[a] / 2;
    fileVoxelToWorld(0, c, crosshair.world);
    return 0;
}

int moveCrosshair(const double w[3])
{
    int ijk[3];
    if (worldToFileVoxel(0, w, ijk) != 0)
        return 0;
    std::memcpy(crosshair.world, w, sizeof crosshair.world);
    return 1;
}

int stepCrosshair(int axis, int sign)
{
    const VolumePlacement &p = placements[0];
    if (!p.used || axis < 0 || axis > 2)
        return 0;
    // The grid axis that world axis `axis` runs most nearly along.
    int best = 0;
    double bestLen = -1, along = 0;
    for (int r = 0; r < 3; r++) {
        double c = p.inv[4 * r + 1 + axis];
        if (std::fabs(c) > bestLen) {
            bestLen = std::fabs(c);
            best = r;
            along = c;
        }
    }
    double g[3];
    worldToGridIndex(0, crosshair.world, g);
    for (double &x : g)
        x = std::floor(x + 0.5);
    g[best] += (along > 0) == (sign > 0) ? 1 : -1;
    if (g[best] < 0 || g[best] > p.gridN[best] - 1)
        return 0;
    applyPlacement(p.tr, g, crosshair.world);
    return 1;
}
