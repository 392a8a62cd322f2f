// The renderer's GPU caches: grids and 3-D textures as bricks, colour
// lookups, slice strips; sent again only when their source changes.
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <new>
#include <vector>

#include "hooks.h"
#include "render.h"
#include "state.h"
#include "two_cores.h"

namespace vq::draw {

// ---- Uploads -----------------------------------------------------------------

int brickTexels()
{
    int want = renderSettings.brickTexels > 0 ? renderSettings.brickTexels : kBrickTexels;
    return std::max(2, std::min(want, static_cast<int>(R.max3d)));
}

// A GL texture allocation that failed for want of memory ends the run:
// the picture would miss what it was asked to show.
bool glOutOfMemory(const char *what, int nx, int ny, int nz)
{
    GLenum e = glGetError();
    bool oom = e == GL_OUT_OF_MEMORY;
    while (e != GL_NO_ERROR)
        e = glGetError();
    if (oom && !R.outOfMemory) {
        sceneError("the GL has no memory for the textures of a %d x %d x %d %s", nx, ny, nz, what);
        R.outOfMemory = true;
    }
    return oom;
}

void brickParameters()
{
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MAX_LEVEL, 0);
}

// Send a grid to the GPU as bricks of single-channel texels in the
// narrowest kind that keeps its values, k fastest as the grid's own rows
// run, each brick converted straight from the rows. Bricks with no voxel
// at or above the data minimum show nothing and are not sent.
bool uploadVolume(GpuVolume &g, const Volume &v)
{
    g.bricking.release();
    g.failed = true;
    g.haveStrips = false;
    g.haveOccupancy = false;
    g.version = v.version;
    if (v.grid == nullptr || v.nx <= 0 || v.ny <= 0 || v.nz <= 0)
        return false;
    const float *const *const *grid = v.grid;
    // Without a kind set by a test, bytes are tried first while the bricks
    // are filled: volumes made from bytes then take one pass over the grid.
    // The first value that is not a byte's sends everything again in the
    // kind a whole scan picks.
    bool guess = renderSettings.gridKind < 0;
    g.code = guess ? GridCode{TexelKind::Byte, 0, 1}
                   : GridCode{static_cast<TexelKind>(renderSettings.gridKind), 0, 1};
    if (g.code.kind == TexelKind::Short) {
        GridCode range = chooseGridCode(grid, v.nx, v.ny, v.nz);
        if (range.kind == TexelKind::Short)
            g.code = range;
    }
    g.bricking.layout(v.nx, v.ny, v.nz, brickTexels(), brickTexels());
    // Bricks are sent a few planes of i at a time through one small buffer.
    const int chunk = 16;
    size_t most = static_cast<size_t>(chunk) * g.bricking.axes[1].size(0) * g.bricking.axes[2].size(0);
    std::vector<uint8_t> texels;
    try {
        texels.resize(most * 4);
    } catch (const std::bad_alloc &) {
        sceneError("no memory to upload a volume of %d x %d x %d", v.nx, v.ny, v.nz);
        R.outOfMemory = true;
        return false;
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glGetError();
    // 1: a value was not a byte's; -1: the GL had no memory.
    auto send = [&]() {
        GLenum internal = GL_R32F, type = GL_FLOAT;
        if (g.code.kind == TexelKind::Byte)
            internal = GL_R8, type = GL_UNSIGNED_BYTE;
        else if (g.code.kind == TexelKind::Short)
            internal = GL_R16, type = GL_UNSIGNED_SHORT;
        bool exact = true;
        bool *check = guess && g.code.kind == TexelKind::Byte ? &exact : nullptr;
        for (GpuBrick &b : g.bricking.bricks) {
            for (int i = b.o[0]; i < b.o[0] + b.n[0]; i += chunk) {
                int o[3] = {i, b.o[1], b.o[2]}, n[3] = {std::min(chunk, b.o[0] + b.n[0] - i), b.n[1], b.n[2]};
                bool shows = fillGridChunk(grid, g.code, o, n, v.dmin, texels.data(), check);
                if (!exact)
                    return 1;
                if (!b.tex && !shows)
                    continue;
                if (!b.tex) {
                    glGenTextures(1, &b.tex);
                    glBindTexture(GL_TEXTURE_3D, b.tex);
                    // Parameters first: a texture made without mipmaps is
                    // allocated with one level only.
                    brickParameters();
                    glTexImage3D(GL_TEXTURE_3D, 0, internal, b.n[2], b.n[1], b.n[0], 0, GL_RED, type,
                                 nullptr);
                    // Planes before this one showed nothing; they are sent now.
                    for (int e = b.o[0]; e < i; e += chunk) {
                        int eo[3] = {e, b.o[1], b.o[2]}, en[3] = {std::min(chunk, i - e), b.n[1], b.n[2]};
                        std::vector<uint8_t> early(static_cast<size_t>(en[0]) * en[1] * en[2] *
                                                   g.code.bytes());
                        fillGridChunk(grid, g.code, eo, en, v.dmin, early.data(), nullptr);
                        glTexSubImage3D(GL_TEXTURE_3D, 0, 0, 0, e - b.o[0], b.n[2], b.n[1], en[0], GL_RED,
                                        type, early.data());
                    }
                }
                glTexSubImage3D(GL_TEXTURE_3D, 0, 0, 0, i - b.o[0], b.n[2], b.n[1], n[0], GL_RED, type,
                                texels.data());
                if (glOutOfMemory("volume", v.nx, v.ny, v.nz))
                    return -1;
            }
        }
        return 0;
    };
    int sent = send();
    if (sent == 1) {
        g.bricking.release();
        g.bricking.layout(v.nx, v.ny, v.nz, brickTexels(), brickTexels());
        g.code = chooseGridCode(grid, v.nx, v.ny, v.nz);
        sent = send();
    }
    if (sent != 0) {
        g.bricking.release();
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        return false;
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    g.grid = const_cast<const float ***>(v.grid);
    g.nx = v.nx;
    g.ny = v.ny;
    g.nz = v.nz;
    g.dmin = v.dmin;
    g.dmax = v.dmax;
    g.failed = false;
    return true;
}

// Slices of one axis: per row of each slice, the first and last column
// holding a voxel at or above the threshold.
struct RowExtents {
    int rows = 0, cols = 0;
    std::vector<int> lo, hi; // [slice * rows + row]; lo > hi: empty
    void reset(int slices, int r, int c)
    {
        rows = r;
        cols = c;
        lo.assign(static_cast<size_t>(slices) * r, 1 << 30);
        hi.assign(static_cast<size_t>(slices) * r, -1);
    }
    void add(int slice, int row, int col)
    {
        size_t at = static_cast<size_t>(slice) * rows + row;
        lo[at] = std::min(lo[at], col);
        hi[at] = std::max(hi[at], col);
    }
};

// Strips of every slice of one axis. A fragment between voxel centres
// interpolates its four in-plane neighbours (slices lie on voxel planes),
// so each non-empty row is widened by one row and one column each way.
void buildStrips(const RowExtents &e, int slices, std::vector<Strip> &strips, std::vector<int> &start)
{
    strips.clear();
    start.assign(slices + 1, 0);
    std::vector<int> wlo(e.rows), whi(e.rows);
    for (int k = 0; k < slices; ++k) {
        start[k] = static_cast<int>(strips.size());
        const int *lo = &e.lo[static_cast<size_t>(k) * e.rows], *hi = &e.hi[static_cast<size_t>(k) * e.rows];
        for (int r = 0; r < e.rows; ++r) {
            wlo[r] = 1 << 30;
            whi[r] = -1;
            for (int q = std::max(0, r - 1); q <= std::min(e.rows - 1, r + 1); ++q)
                if (lo[q] <= hi[q]) {
                    wlo[r] = std::min(wlo[r], std::max(0, lo[q] - 1));
                    whi[r] = std::max(whi[r], std::min(e.cols - 1, hi[q] + 1));
                }
        }
        // Strips span the row intervals [s * kStripRows, (s + 1) * kStripRows]
        // between row centres; neighbours share their boundary row.
        for (int r0 = 0; r0 < e.rows - 1; r0 += renderSettings.stripRows) {
            int r1 = std::min(r0 + renderSettings.stripRows, e.rows - 1);
            Strip st{1 << 30, -1, 1 << 30, -1};
            for (int r = r0; r <= r1; ++r)
                if (wlo[r] <= whi[r]) {
                    st.u0 = std::min(st.u0, r);
                    st.u1 = std::max(st.u1, r);
                    st.w0 = std::min(st.w0, wlo[r]);
                    st.w1 = std::max(st.w1, whi[r]);
                }
            if (st.u0 < st.u1 && st.w0 < st.w1)
                strips.push_back(st);
        }
    }
    start[slices] = static_cast<int>(strips.size());
}

// One pass over the grid in its own order finds the strips of all three
// axes; done again only when the threshold or the grid changes.
void computeStrips(GpuVolume &g, float threshold)
{
    RowExtents e[3];
    e[0].reset(g.nx, g.ny, g.nz); // slice i: rows j, columns k
    e[1].reset(g.ny, g.nx, g.nz); // slice j: rows i, columns k
    e[2].reset(g.nz, g.nx, g.ny); // slice k: rows i, columns j
    // Each entry belongs to one i (its slice along x, its row otherwise),
    // so the two halves of the planes fill theirs on two cores.
    // Per row only its first and last shown voxel count along x and y; along
    // z each shown voxel's column j, the first of them (j ascends) and the last.
    const bool all = threshold == -INFINITY;
    auto planes = [&](int i0, int i1) {
        std::vector<int> zlo(g.nz), zhi(g.nz);
        for (int i = i0; i < i1; ++i) {
            std::fill(zlo.begin(), zlo.end(), 1 << 30);
            std::fill(zhi.begin(), zhi.end(), -1);
            for (int j = 0; j < g.ny; ++j) {
                const float *row = g.grid[i][j];
                int first = g.nz, last = -1;
                if (all) {
                    first = 0;
                    last = g.nz - 1;
                    for (int k = 0; k < g.nz; ++k) {
                        zlo[k] = std::min(zlo[k], j);
                        zhi[k] = j;
                    }
                } else {
                    markShownRow(row, g.nz, threshold, j, zlo.data(), zhi.data(), &first, &last);
                }
                if (last < 0)
                    continue;
                for (int k : {first, last}) {
                    e[0].add(i, j, k);
                    e[1].add(j, i, k);
                }
            }
            for (int k = 0; k < g.nz; ++k)
                if (zhi[k] >= 0) {
                    e[2].add(k, i, zlo[k]);
                    e[2].add(k, i, zhi[k]);
                }
        }
    };
    runOnTwoCores(static_cast<size_t>(g.nx) * g.ny * g.nz >= (size_t(1) << 22), g.nx, g.nx / 2,
                  [&](int i0, int i1, int) { planes(i0, i1); });
    buildStrips(e[0], g.nx, g.strips[0], g.stripStart[0]);
    buildStrips(e[1], g.ny, g.strips[1], g.stripStart[1]);
    buildStrips(e[2], g.nz, g.strips[2], g.stripStart[2]);
    g.threshold = threshold;
    g.stripRows = renderSettings.stripRows;
    g.haveStrips = true;
}

void computeGridOccupancy(GpuVolume &g, float threshold)
{
    const int cell = kCell;
    int *cells = g.occSize;
    cells[0] = (g.nx + cell - 1) / cell;
    cells[1] = (g.ny + cell - 1) / cell;
    cells[2] = (g.nz + cell - 1) / cell;
    const int cx = cells[0], cy = cells[1], cz = cells[2];
    g.occupancy.assign(static_cast<size_t>(cx) * cy * cz, 0);
    // A sample between voxels reads its neighbours: cell c holds voxels
    // cell*c up to cell*(c+1) inclusive along each axis, so a voxel on a
    // cell's first plane counts for the cell before too. Per row of k the
    // cells it touches (each scan stops at its first shown voxel), then
    // those are marked in the row's one or two cells along i and j.
    const bool all = threshold == -INFINITY;
    auto scan = [&](int i0, int i1, uint8_t *out) {
        std::vector<uint8_t> touched(cz);
        for (int i = i0; i < i1; ++i)
            for (int j = 0; j < g.ny; ++j) {
                const float *row = g.grid[i][j];
                bool any = false;
                for (int c = 0; c < cz; ++c) {
                    int k1 = std::min(cell * (c + 1), g.nz - 1);
                    bool hit = all;
                    for (int k = cell * c; k <= k1 && !hit; ++k)
                        hit = row[k] >= threshold;
                    touched[c] = hit ? 255 : 0;
                    any = any || hit;
                }
                if (!any)
                    continue;
                int bi[2] = {i / cell, i % cell == 0 ? i / cell - 1 : -1};
                int bj[2] = {j / cell, j % cell == 0 ? j / cell - 1 : -1};
                for (int ci : bi)
                    for (int cj : bj) {
                        if (ci < 0 || cj < 0)
                            continue;
                        for (int c = 0; c < cz; ++c)
                            if (touched[c])
                                out[(static_cast<size_t>(c) * cy + cj) * cx + ci] = 255;
                    }
            }
    };
    bool large = static_cast<size_t>(g.nx) * g.ny * g.nz >= (size_t(1) << 20);
    std::vector<uint8_t> other(large ? g.occupancy.size() : 0, 0);
    runOnTwoCores(large, g.nx, g.nx / 2,
                  [&](int i0, int i1, int half) { scan(i0, i1, half ? other.data() : g.occupancy.data()); });
    for (size_t i = 0; i < other.size(); ++i)
        g.occupancy[i] |= other[i];
    if (!g.occTex)
        glGenTextures(1, &g.occTex);
    glBindTexture(GL_TEXTURE_3D, g.occTex);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MAX_LEVEL, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage3D(GL_TEXTURE_3D, 0, GL_R8, cx, cy, cz, 0, GL_RED, GL_UNSIGNED_BYTE, g.occupancy.data());
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    g.occThreshold = threshold;
    g.haveOccupancy = true;
}

// Lowest value a draw can show: below the data minimum nothing shows, and
// while the opacity ramp starts at 0 its first entries show nothing
// either. Kept a little low so that rounding never hides a voxel.
float visibleThreshold(const Volume &v, int lutSize)
{
    float thr = v.dmin;
    if (v.amin > 0 || !(v.amax > v.amin) || !(v.dmax > v.dmin) || lutSize < 2)
        return thr;
    // First entry whose opacity is above zero.
    double first = std::ceil(-v.amin / (v.amax - v.amin) * (lutSize - 1) + 1e-9);
    if (first <= 0)
        return thr;
    double f = (first - 0.5) / (lutSize - 1);
    return static_cast<float>(v.dmin + f * (v.dmax - v.dmin));
}

// Renderings of one grid share its bricks: the viewer makes three slice
// sets of each volume, which differ in their opacity only.
int sameGrid(const Scene &s, int id)
{
    const Volume &v = s.volumes[id];
    for (int o = 0; o < id; ++o) {
        const Volume &w = s.volumes[o];
        if (w.grid == v.grid && w.nx == v.nx && w.ny == v.ny && w.nz == v.nz && w.dmin == v.dmin &&
            w.dmax == v.dmax && w.version == v.version)
            return o;
    }
    return id;
}

GpuVolume *gpuVolume(const Scene &s, int id)
{
    if (id < 0 || id >= static_cast<int>(s.volumes.size()))
        return nullptr;
    id = sameGrid(s, id);
    if (static_cast<int>(R.volumes.size()) <= id)
        R.volumes.resize(id + 1);
    GpuVolume &g = R.volumes[id];
    const Volume &v = s.volumes[id];
    // The bricks hold the values themselves: a new data range needs them
    // again only where it reaches below the range they were sent for (the
    // bricks with nothing at or above that were left out).
    if (g.version != v.version || g.grid != const_cast<const float ***>(v.grid) || g.nx != v.nx ||
        g.ny != v.ny || g.nz != v.nz || v.dmin < g.dmin || g.bricking.texels != brickTexels()) {
        uploadVolume(g, v);
        s.voxelUploads++;
    }
    return g.failed ? nullptr : &g;
}

// Whether every texel of a brick of RGBA storage is the same transparent
// one; that texel in *fill.
bool uniformTransparent(const Texture3D &t, const GpuBrick &b, uint32_t *fill)
{
    const uint8_t *base = t.texels.data();
    uint32_t first;
    std::memcpy(
        &first,
        base + 4 * (b.o[0] + static_cast<size_t>(t.nx) * (b.o[1] + static_cast<size_t>(t.ny) * b.o[2])), 4);
    if (reinterpret_cast<const uint8_t *>(&first)[3] != 0)
        return false;
    for (int k = b.o[2]; k < b.o[2] + b.n[2]; ++k)
        for (int j = b.o[1]; j < b.o[1] + b.n[1]; ++j) {
            const uint8_t *row =
                base + 4 * (b.o[0] + static_cast<size_t>(t.nx) * (j + static_cast<size_t>(t.ny) * k));
            for (int i = 0; i < b.n[0]; ++i)
                if (std::memcmp(row + 4 * i, &first, 4) != 0)
                    return false;
        }
    *fill = first;
    return true;
}

// Send a 3-D texture's storage to the GPU as bricks, x fastest as it is
// stored, read in place. Layer after layer of bricks along z, a few planes
// at a time; large storage gives back to the system the pages of every
// plane that no later brick needs, so the texels are not held twice.
// Which cells of kCell^3 texels can show anything, scanned while the
// storage is all there.
void computeOccupancy(GpuTexture &g, const Texture3D &t)
{
    g.occupancy = occupancyCells(t.texels.data(), t.nx, t.ny, t.nz, kCell, g.occSize);
}

bool uploadTexture(GpuTexture &g, Texture3D &t)
{
    g.bricking.release();
    if (g.occTex) {
        glDeleteTextures(1, &g.occTex);
        g.occTex = 0;
    }
    computeOccupancy(g, t);
    g.failed = true;
    g.version = t.version;
    Bricking &bk = g.bricking;
    const size_t plane = 4 * static_cast<size_t>(t.nx) * t.ny;
    const size_t layer = std::max<size_t>(kTextureLayerTexels, kTextureLayerBytes / std::max<size_t>(plane, 1));
    bk.layout(t.nx, t.ny, t.nz, brickTexels(), static_cast<int>(std::min<size_t>(layer, 1 << 20)));
    g.fill.assign(bk.bricks.size(), 0);
    const bool release = texelPagesReleasable(t);
    size_t released = 0;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, t.nx);
    glPixelStorei(GL_UNPACK_IMAGE_HEIGHT, t.ny);
    glGetError();
    bool ok = true;
    for (int lz = 0; lz < bk.axes[2].count && ok; ++lz) {
        for (int ly = 0; ly < bk.axes[1].count && ok; ++ly)
            for (int lx = 0; lx < bk.axes[0].count && ok; ++lx) {
                GpuBrick &b = bk.at(lx, ly, lz);
                size_t index = &b - bk.bricks.data();
                if (uniformTransparent(t, b, &g.fill[index]))
                    continue;
                glGenTextures(1, &b.tex);
                glBindTexture(GL_TEXTURE_3D, b.tex);
                brickParameters();
                const uint8_t *src =
                    t.texels.data() + 4 * (b.o[0] + static_cast<size_t>(t.nx) * b.o[1]) + plane * b.o[2];
                glTexImage3D(GL_TEXTURE_3D, 0, GL_RGBA8, b.n[0], b.n[1], b.n[2], 0, GL_RGBA, GL_UNSIGNED_BYTE,
                             src);
                ok = !glOutOfMemory("texture", t.nx, t.ny, t.nz);
            }
        // Planes from the next layer's first on are still needed.
        int keep = lz + 1 < bk.axes[2].count ? bk.axes[2].start(lz + 1) : t.nz;
        size_t done = plane * static_cast<size_t>(keep);
        if (release && ok && done > released) {
            releaseTexelPages(t, released, done);
            released = done;
        }
    }
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_IMAGE_HEIGHT, 0);
    if (!ok) {
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        bk.release();
        return false;
    }
    glGenTextures(1, &g.occTex);
    glBindTexture(GL_TEXTURE_3D, g.occTex);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage3D(GL_TEXTURE_3D, 0, GL_R8, g.occSize[0], g.occSize[1], g.occSize[2], 0, GL_RED,
                 GL_UNSIGNED_BYTE, g.occupancy.data());
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    if (glOutOfMemory("texture", t.nx, t.ny, t.nz)) {
        bk.release();
        return false;
    }
    g.failed = false;
    return true;
}

GpuTexture *gpuTexture(Scene &s, int id)
{
    if (id < 0 || id >= static_cast<int>(s.textures.size()))
        return nullptr;
    Texture3D &t = s.textures[id];
    if (t.version <= 0 || t.nx <= 0 || t.ny <= 0 || t.nz <= 0 ||
        t.texels.size() < static_cast<size_t>(t.nx) * t.ny * t.nz * 4)
        return nullptr;
    if (static_cast<int>(R.textures.size()) <= id)
        R.textures.resize(id + 1);
    GpuTexture &g = R.textures[id];
    if (g.version != t.version || g.bricking.texels != brickTexels()) {
        uploadTexture(g, t);
        s.voxelUploads++;
    }
    return g.failed ? nullptr : &g;
}

// The colour range lo..hi of a draw with the volume's opacity ramp, as a
// 1-D lookup texture; rebuilt only when the colours or the ramp changed.
Lut *lutFor(const Scene &s, int vol, int lo, int hi, float amin, float amax, bool labels)
{
    lo = std::clamp(lo, 0, kColourTableSize - 1);
    hi = std::clamp(hi, 0, kColourTableSize - 1);
    if (hi < lo)
        std::swap(lo, hi);
    Lut &l = R.luts[{vol, lo, hi}];
    int n = hi - lo + 1;
    bool same = l.tex != 0 && l.amin == amin && l.amax == amax && l.labels == labels &&
                static_cast<int>(l.colours.size()) == n;
    for (int i = 0; same && i < n; ++i) {
        const Rgb &a = l.colours[i], &b = s.colours[lo + i];
        same = a.r == b.r && a.g == b.g && a.b == b.b;
    }
    if (same)
        return &l;
    l.colours.assign(s.colours + lo, s.colours + hi + 1);
    l.amin = amin;
    l.amax = amax;
    l.labels = labels;
    std::vector<float> texels(static_cast<size_t>(n) * 4);
    for (int i = 0; i < n; ++i) {
        float f = n > 1 ? static_cast<float>(i) / (n - 1) : 1.0f;
        texels[4 * i] = l.colours[i].r;
        texels[4 * i + 1] = l.colours[i].g;
        texels[4 * i + 2] = l.colours[i].b;
        float a = labels ? (i == 0 ? 0.0f : amax) : amin + (amax - amin) * f;
        texels[4 * i + 3] = std::clamp(a, 0.0f, 1.0f);
    }
    if (l.tex == 0)
        glGenTextures(1, &l.tex);
    glBindTexture(GL_TEXTURE_1D, l.tex);
    glTexImage1D(GL_TEXTURE_1D, 0, GL_RGBA32F, n, 0, GL_RGBA, GL_FLOAT, texels.data());
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MAX_LEVEL, 0);
    return &l;
}

} // namespace vq::draw

namespace vq {

using namespace draw;

bool renderRestoreTexels(int id, Texture3D &t)
{
    if (!R.ready || id < 0 || id >= static_cast<int>(R.textures.size()))
        return false;
    GpuTexture &g = R.textures[id];
    if (g.failed || g.bricking.bricks.empty())
        return false;
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, t.nx);
    glPixelStorei(GL_PACK_IMAGE_HEIGHT, t.ny);
    for (size_t i = 0; i < g.bricking.bricks.size(); ++i) {
        const GpuBrick &b = g.bricking.bricks[i];
        uint8_t *dst = t.texels.data() + 4 * (b.o[0] + static_cast<size_t>(t.nx) *
                                                           (b.o[1] + static_cast<size_t>(t.ny) * b.o[2]));
        if (b.tex) {
            glBindTexture(GL_TEXTURE_3D, b.tex);
            glGetTexImage(GL_TEXTURE_3D, 0, GL_RGBA, GL_UNSIGNED_BYTE, dst);
            continue;
        }
        for (int k = 0; k < b.n[2]; ++k)
            for (int j = 0; j < b.n[1]; ++j) {
                uint8_t *row = dst + 4 * static_cast<size_t>(t.nx) * (j + static_cast<size_t>(t.ny) * k);
                for (int x = 0; x < b.n[0]; ++x)
                    std::memcpy(row + 4 * x, &g.fill[i], 4);
            }
    }
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_IMAGE_HEIGHT, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    t.released = false;
    return true;
}

const RendererHooks kRendererHooks = {renderRestoreTexels};

} // namespace vq
