// Brick layouts, compact grid texels and polygon clipping for bricks.
#include "bricks.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>

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

bool fillGridBrick(const float *const *const *grid, const GridCode &c, const int o[3], const int n[3],
                   float visible, void *out, bool *exact)
{
    bool shows = false;
    size_t at = 0;
    for (int i = o[0]; i < o[0] + n[0]; ++i)
        for (int j = o[1]; j < o[1] + n[1]; ++j) {
            const float *row = grid[i][j] + o[2];
            bool any = false;
            switch (c.kind) {
            case TexelKind::Byte: {
                uint8_t *dst = static_cast<uint8_t *>(out) + at;
                int bytes = 1, shown = 0;
                for (int k = 0; k < n[2]; ++k) {
                    float v = row[k];
                    uint8_t b = nearestByte(v);
                    dst[k] = b;
                    shown |= v >= visible;
                    bytes &= byteHolds(b, v);
                }
                any = shown != 0;
                if (exact && !bytes)
                    *exact = false;
                break;
            }
            case TexelKind::Short: {
                uint16_t *dst = static_cast<uint16_t *>(out) + at;
                float scale = shortScale(c);
                for (int k = 0; k < n[2]; ++k) {
                    dst[k] = nearestShort(row[k], c.lo, scale);
                    any |= row[k] >= visible;
                }
                break;
            }
            case TexelKind::Float: {
                float *dst = static_cast<float *>(out) + at;
                std::memcpy(dst, row, sizeof(float) * n[2]);
                for (int k = 0; k < n[2]; ++k)
                    any |= row[k] >= visible;
                break;
            }
            }
            shows |= any;
            at += n[2];
        }
    return shows;
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
