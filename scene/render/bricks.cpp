// Brick layouts, compact grid texels and polygon clipping for bricks.
#include "bricks.h"
#include "two_cores.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vq {

BrickAxis brickAxis(int n, int maxTexels)
{
    BrickAxis a;
    a.n = n < 1 ? 1 : n;
    int maxCore = (maxTexels < 2 ? 2 : maxTexels) - 1;
    if (a.n <= maxCore + 1) {
        a.core = a.n > 1 ? a.n - 1 : 1;
        a.count = 1;
        return a;
    }
    a.count = (a.n - 1 + maxCore - 1) / maxCore;
    a.core = (a.n - 1 + a.count - 1) / a.count;
    // Even cores can leave the last brick without a plane of its own.
    a.count = (a.n - 1 + a.core - 1) / a.core;
    return a;
}

namespace {

float byteFloat(int b)
{
    return static_cast<float>(b / 255.0);
}

} // namespace

namespace {

// The values b/255 of every byte b, as volumes made from bytes hold them.
struct ByteValues {
    float v[256];
    ByteValues()
    {
        for (int b = 0; b < 256; ++b)
            v[b] = byteFloat(b);
    }
};
const ByteValues kByteValues;

// Nearest byte of 255 v, within 0..255 (0 for NaN).
inline uint8_t nearestByte(float v)
{
    float s = v * 255.0f + 0.5f;
    return static_cast<uint8_t>(s > 0 ? (s < 255 ? s : 255) : 0);
}

// Whether v is the value of byte b, b / 255 rounded to float: the single
// precision quotient is the same float for every byte.
inline bool byteHolds(uint8_t b, float v)
{
    return static_cast<float>(b) / 255.0f == v;
}

float shortScale(const GridCode &c)
{
    return c.hi > c.lo ? static_cast<float>(65535.0 / (static_cast<double>(c.hi) - c.lo)) : 0;
}

// Nearest step of 16-bit texels over lo .. lo + 65535 / scale.
inline uint16_t nearestShort(float v, float lo, float scale)
{
    float t = (v - lo) * scale + 0.5f;
    return static_cast<uint16_t>(t > 0 ? (t < 65535 ? t : 65535) : 0);
}

} // namespace

namespace {

// Whether every value is a byte's, whether all are finite, and their range.
struct GridScan {
    bool bytes = true, finite = true;
    float lo = INFINITY, hi = -INFINITY;
};

GridScan scanPlanes(const float *const *const *grid, int nx, int ny, int nz)
{
    GridScan g;
    for (int i = 0; i < nx; ++i)
        for (int j = 0; j < ny; ++j) {
            const float *row = grid[i][j];
            float lo = g.lo, hi = g.hi;
            bool all = g.bytes, finite = true;
            for (int k = 0; k < nz; ++k) {
                float v = row[k];
                lo = v < lo ? v : lo;
                hi = v > hi ? v : hi;
            }
            if (all)
                for (int k = 0; k < nz; ++k)
                    all &= byteHolds(nearestByte(row[k]), row[k]);
            // Byte values are all finite; other rows are checked.
            if (!all)
                for (int k = 0; k < nz; ++k)
                    finite &= std::isfinite(row[k]);
            g.bytes = all;
            g.lo = lo;
            g.hi = hi;
            if (!finite) {
                g.finite = false;
                return g;
            }
        }
    return g;
}

GridCode codeOf(const GridScan &g)
{
    GridCode c;
    if (!g.finite)
        return c;
    if (g.bytes) {
        c.kind = TexelKind::Byte;
        return c;
    }
    c.kind = TexelKind::Short;
    c.lo = g.lo;
    c.hi = g.hi;
    return c;
}

} // namespace

GridCode chooseGridCode(const float *const *const *grid, int nx, int ny, int nz)
{
    if (static_cast<size_t>(nx) * ny * nz < (size_t(1) << 22) || nx < 2)
        return codeOf(scanPlanes(grid, nx, ny, nz));
    // Two halves of the planes on two cores.
    int half = nx / 2;
    GridScan second;
    std::thread other([&] { second = scanPlanes(grid + half, nx - half, ny, nz); });
    GridScan first = scanPlanes(grid, half, ny, nz);
    other.join();
    first.bytes = first.bytes && second.bytes;
    first.finite = first.finite && second.finite;
    first.lo = std::min(first.lo, second.lo);
    first.hi = std::max(first.hi, second.hi);
    return codeOf(first);
}

uint8_t byteTexel(float v)
{
    return nearestByte(v);
}

uint16_t shortTexel(const GridCode &c, float v)
{
    return nearestShort(v, c.lo, shortScale(c));
}

float byteValue(uint8_t t)
{
    return byteFloat(t);
}

float shortValue(const GridCode &c, uint16_t t)
{
    return c.lo + (static_cast<float>(t) / 65535.0f) * (c.hi - c.lo);
}

namespace {

// One row of Byte texels: whether any value is at or above visible; clears
// *bytes when a value is not its byte's. Four values at a time where SSE2
// is at hand, with the same single-precision steps as the scalar tail.
bool byteRow(const float *row, int n, float visible, uint8_t *dst, bool *bytes)
{
    int k = 0, shown = 0, all = 1;
#if defined(__SSE2__)
    const __m128 scale = _mm_set1_ps(255.0f), half = _mm_set1_ps(0.5f), zero = _mm_setzero_ps();
    const __m128 top = _mm_set1_ps(255.0f), vis = _mm_set1_ps(visible);
    __m128 seen = _mm_setzero_ps(), held = _mm_castsi128_ps(_mm_set1_epi32(-1));
    for (; k + 16 <= n; k += 16) {
        __m128i b[4];
        for (int q = 0; q < 4; ++q) {
            __m128 v = _mm_loadu_ps(row + k + 4 * q);
            // max(NaN, 0) is 0, as the scalar conversion gives.
            __m128 t = _mm_min_ps(_mm_max_ps(_mm_add_ps(_mm_mul_ps(v, scale), half), zero), top);
            b[q] = _mm_cvttps_epi32(t);
            held = _mm_and_ps(held, _mm_cmpeq_ps(_mm_div_ps(_mm_cvtepi32_ps(b[q]), scale), v));
            seen = _mm_or_ps(seen, _mm_cmpge_ps(v, vis));
        }
        __m128i w = _mm_packus_epi16(_mm_packs_epi32(b[0], b[1]), _mm_packs_epi32(b[2], b[3]));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + k), w);
    }
    shown = _mm_movemask_ps(seen) != 0;
    all = _mm_movemask_ps(held) == 0xF;
#endif
    for (; k < n; ++k) {
        float v = row[k];
        uint8_t b = nearestByte(v);
        dst[k] = b;
        shown |= v >= visible;
        all &= byteHolds(b, v);
    }
    if (!all)
        *bytes = false;
    return shown != 0;
}

// One row of Short texels over the code's range.
bool shortRow(const float *row, int n, const GridCode &c, float visible, uint16_t *dst)
{
    const float lo = c.lo, scale = shortScale(c);
    int k = 0, shown = 0;
#if defined(__SSE2__)
    const __m128 vlo = _mm_set1_ps(lo), vscale = _mm_set1_ps(scale), half = _mm_set1_ps(0.5f);
    const __m128 zero = _mm_setzero_ps(), top = _mm_set1_ps(65535.0f), vis = _mm_set1_ps(visible);
    const __m128i bias = _mm_set1_epi32(32768);
    const __m128i flip = _mm_set1_epi16(static_cast<short>(0x8000));
    __m128 seen = _mm_setzero_ps();
    for (; k + 8 <= n; k += 8) {
        __m128i t[2];
        for (int q = 0; q < 2; ++q) {
            __m128 v = _mm_loadu_ps(row + k + 4 * q);
            __m128 x = _mm_add_ps(_mm_mul_ps(_mm_sub_ps(v, vlo), vscale), half);
            x = _mm_min_ps(_mm_max_ps(x, zero), top);
            // Signed packing of value - 32768, then the sign bit back.
            t[q] = _mm_sub_epi32(_mm_cvttps_epi32(x), bias);
            seen = _mm_or_ps(seen, _mm_cmpge_ps(v, vis));
        }
        __m128i w = _mm_xor_si128(_mm_packs_epi32(t[0], t[1]), flip);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + k), w);
    }
    shown = _mm_movemask_ps(seen) != 0;
#endif
    for (; k < n; ++k) {
        dst[k] = nearestShort(row[k], lo, scale);
        shown |= row[k] >= visible;
    }
    return shown != 0;
}

} // namespace

bool fillGridBrick(const float *const *const *grid, const GridCode &c, const int o[3], const int n[3],
                   float visible, void *out, bool *exact)
{
    bool shows = false, bytes = true;
    const int nk = n[2];
    size_t at = 0;
    for (int i = o[0]; i < o[0] + n[0]; ++i)
        for (int j = o[1]; j < o[1] + n[1]; ++j) {
            const float *row = grid[i][j] + o[2];
            bool any = false;
            switch (c.kind) {
            case TexelKind::Byte:
                any = byteRow(row, nk, visible, static_cast<uint8_t *>(out) + at, &bytes);
                break;
            case TexelKind::Short:
                any = shortRow(row, nk, c, visible, static_cast<uint16_t *>(out) + at);
                break;
            case TexelKind::Float: {
                float *dst = static_cast<float *>(out) + at;
                std::memcpy(dst, row, sizeof(float) * nk);
                for (int k = 0; k < nk; ++k)
                    any |= row[k] >= visible;
                break;
            }
            }
            shows |= any;
            at += nk;
        }
    if (exact && !bytes)
        *exact = false;
    return shows;
}

// fillGridBrick over a run of planes of i; large runs are split between
// the two cores, each half written to its own part of out.
bool fillGridChunk(const float *const *const *grid, const GridCode &c, const int o[3], const int n[3],
                   float visible, void *out, bool *exact)
{
    size_t voxels = static_cast<size_t>(n[0]) * n[1] * n[2];
    if (voxels < (size_t(1) << 20) || n[0] < 2)
        return fillGridBrick(grid, c, o, n, visible, out, exact);
    int half = n[0] / 2;
    int o2[3] = {o[0] + half, o[1], o[2]}, n1[3] = {half, n[1], n[2]}, n2[3] = {n[0] - half, n[1], n[2]};
    void *out2 = static_cast<uint8_t *>(out) + static_cast<size_t>(half) * n[1] * n[2] * c.bytes();
    bool exact2 = true, shows2 = false;
    std::thread other(
        [&] { shows2 = fillGridBrick(grid, c, o2, n2, visible, out2, exact ? &exact2 : nullptr); });
    bool shows = fillGridBrick(grid, c, o, n1, visible, out, exact);
    other.join();
    if (exact && !exact2)
        *exact = false;
    return shows || shows2;
}

void markShownRow(const float *row, int n, float threshold, int j, int *zlo, int *zhi, int *first, int *last)
{
    int k = 0;
#if defined(__SSE2__)
    // Rows are mostly empty or mostly shown: four values at a time, blocks
    // with nothing shown skipped at once.
    const __m128 t = _mm_set1_ps(threshold);
    const __m128i jv = _mm_set1_epi32(j);
    for (; k + 4 <= n; k += 4) {
        __m128i m = _mm_castps_si128(_mm_cmpge_ps(_mm_loadu_ps(row + k), t));
        int bits = _mm_movemask_ps(_mm_castsi128_ps(m));
        if (!bits)
            continue;
        *first = std::min(*first, k + __builtin_ctz(bits));
        *last = std::max(*last, k + 31 - __builtin_clz(bits));
        __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i *>(zlo + k));
        __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i *>(zhi + k));
        __m128i lower = _mm_and_si128(m, _mm_cmpgt_epi32(lo, jv));
        lo = _mm_or_si128(_mm_and_si128(lower, jv), _mm_andnot_si128(lower, lo));
        hi = _mm_or_si128(_mm_and_si128(m, jv), _mm_andnot_si128(m, hi));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(zlo + k), lo);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(zhi + k), hi);
    }
#endif
    for (; k < n; ++k) {
        if (!(row[k] >= threshold))
            continue;
        *first = std::min(*first, k);
        *last = std::max(*last, k);
        zlo[k] = std::min(zlo[k], j);
        zhi[k] = j;
    }
}

std::vector<uint8_t> occupancyCells(const uint8_t *rgba, int nx, int ny, int nz, int cell, int cells[3])
{
    cells[0] = (nx + cell - 1) / cell;
    cells[1] = (ny + cell - 1) / cell;
    cells[2] = (nz + cell - 1) / cell;
    const int cx = cells[0], cy = cells[1], cz = cells[2];
    std::vector<uint8_t> occ(static_cast<size_t>(cx) * cy * cz, 0);
    // Per row, first which cells along x it touches (texels cell*c up to
    // cell*(c+1)), then those are marked in the row's one or two cells
    // along y and z.
    auto scan = [&](int z0, int z1, uint8_t *out) {
        std::vector<uint8_t> touched(cx);
        for (int z = z0; z < z1; ++z)
            for (int y = 0; y < ny; ++y) {
                const uint8_t *row = rgba + 4 * static_cast<size_t>(nx) * (y + static_cast<size_t>(ny) * z);
                uint8_t any = 0;
                int c = 0;
#if defined(__SSE2__)
                // Cells of 8 texels with their next cell's first texel: the
                // opacity bytes of two 16-byte loads, then the one after.
                if (cell == 8) {
                    const __m128i opacity = _mm_set1_epi32(static_cast<int>(0xff000000u));
                    for (; 8 * c + 8 <= nx - 1; ++c) {
                        const uint8_t *t = row + 32 * static_cast<size_t>(c);
                        __m128i v = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i *>(t)),
                                                 _mm_loadu_si128(reinterpret_cast<const __m128i *>(t + 16)));
                        v = _mm_and_si128(v, opacity);
                        uint8_t a = (_mm_movemask_epi8(_mm_cmpeq_epi32(v, _mm_setzero_si128())) != 0xffff) | t[35];
                        touched[c] = a;
                        any |= a;
                    }
                }
#endif
                for (; c < cx; ++c) {
                    int x1 = std::min(cell * (c + 1), nx - 1);
                    uint8_t a = 0;
                    for (int x = cell * c; x <= x1; ++x)
                        a |= row[4 * x + 3];
                    touched[c] = a;
                    any |= a;
                }
                if (!any)
                    continue;
                int by[2] = {y / cell, y % cell == 0 ? y / cell - 1 : -1};
                int bz[2] = {z / cell, z % cell == 0 ? z / cell - 1 : -1};
                for (int j : by)
                    for (int k : bz) {
                        if (j < 0 || k < 0)
                            continue;
                        uint8_t *dst = out + (static_cast<size_t>(k) * cy + j) * cx;
                        for (int c = 0; c < cx; ++c)
                            if (touched[c])
                                dst[c] = 255;
                    }
            }
    };
    // The second half marks its own grid, merged afterwards.
    bool large = static_cast<size_t>(nx) * ny * nz >= (size_t(1) << 20);
    std::vector<uint8_t> other(large ? occ.size() : 0, 0);
    runOnTwoCores(large, nz, nz / 2,
                  [&](int z0, int z1, int half) { scan(z0, z1, half ? other.data() : occ.data()); });
    for (size_t i = 0; i < other.size(); ++i)
        occ[i] |= other[i];
    return occ;
}

bool shrinkToOccupied(const uint8_t *occ, const int cells[3], int cell, double lo[3], double hi[3])
{
    int c0[3], c1[3];
    for (int a = 0; a < 3; ++a) {
        c0[a] = std::max(0, static_cast<int>(std::floor(lo[a] / cell)));
        c1[a] = std::min(cells[a] - 1, static_cast<int>(std::ceil(hi[a] / cell)) - 1);
        if (c0[a] > c1[a])
            return false;
    }
    int m0[3] = {c1[0] + 1, c1[1] + 1, c1[2] + 1}, m1[3] = {c0[0] - 1, c0[1] - 1, c0[2] - 1};
    for (int z = c0[2]; z <= c1[2]; ++z)
        for (int y = c0[1]; y <= c1[1]; ++y) {
            const uint8_t *row = occ + (static_cast<size_t>(z) * cells[1] + y) * cells[0];
            int x0 = c0[0];
            while (x0 <= c1[0] && !row[x0])
                ++x0;
            if (x0 > c1[0])
                continue;
            int x1 = c1[0];
            while (!row[x1])
                --x1;
            m0[0] = std::min(m0[0], x0);
            m1[0] = std::max(m1[0], x1);
            m0[1] = std::min(m0[1], y);
            m1[1] = std::max(m1[1], y);
            m0[2] = std::min(m0[2], z);
            m1[2] = std::max(m1[2], z);
        }
    if (m0[0] > m1[0])
        return false;
    for (int a = 0; a < 3; ++a) {
        lo[a] = std::max(lo[a], static_cast<double>(m0[a]) * cell);
        hi[a] = std::min(hi[a], static_cast<double>(m1[a] + 1) * cell);
    }
    return true;
}

int clipToBox(const ClipVertex *v, int n, const double lo[3], const double hi[3], ClipVertex *out)
{
    ClipVertex buf[2][80];
    if (n > 64)
        n = 64;
    std::memcpy(buf[0], v, sizeof(ClipVertex) * n);
    int cur = 0;
    for (int plane = 0; plane < 6 && n > 0; ++plane) {
        int a = plane / 2;
        bool low = plane % 2 == 0;
        double bound = low ? lo[a] : hi[a];
        if (!std::isfinite(bound))
            continue;
        const ClipVertex *in = buf[cur];
        ClipVertex *res = buf[1 - cur];
        int m = 0;
        for (int e = 0; e < n; ++e) {
            const ClipVertex &p = in[e], &q = in[(e + 1) % n];
            double dp = low ? p.x[a] - bound : bound - p.x[a];
            double dq = low ? q.x[a] - bound : bound - q.x[a];
            if (m >= 78)
                break;
            if (dp >= 0)
                res[m++] = p;
            if ((dp >= 0) != (dq >= 0)) {
                double t = dp / (dp - dq);
                ClipVertex &r = res[m++];
                for (int c = 0; c < 3; ++c) {
                    r.x[c] = p.x[c] + t * (q.x[c] - p.x[c]);
                    r.p[c] = p.p[c] + t * (q.p[c] - p.p[c]);
                }
                r.x[a] = bound;
            }
        }
        n = m;
        cur = 1 - cur;
    }
    if (n < 3)
        return 0;
    std::memcpy(out, buf[cur], sizeof(ClipVertex) * n);
    return n;
}

} // namespace vq
