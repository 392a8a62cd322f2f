// Binary STL reader: every facet carries its own corners, which are merged
// into shared vertices when they lie within 1e-4 of a stored vertex.
#include <cmath>
#include <cstring>
#include <vector>

#include "surface_util.h"

namespace {

const double kMergeDist = 1e-4;
// Cells are much wider than the merge distance, so a point's
// neighbourhood usually lies in one cell per axis and seldom in two.
const double kCell = 2e-3;
const double kInvCell = 1.0 / kCell;
// The neighbourhood searched per axis: a little more than the merge
// distance, to cover rounding in the cell arithmetic.
const double kReach = 1.05e-4;
// A coordinate difference beyond this rules a vertex out before its
// distance is measured.
const double kNear = 2e-4;
// Beyond this magnitude distinct floats are farther apart than the merge
// distance, so such a coordinate only matches an equal one; it is keyed
// by its bits instead of a cell number that could overflow.
const double kHuge = 1e8;

// floor() for values well inside the int64 range.
inline int64_t floorToInt(double v)
{
    int64_t t = (int64_t)v;
    return (double)t > v ? t - 1 : t;
}

inline int64_t axisKey(double c)
{
    if (std::fabs(c) <= kHuge)
        return floorToInt(c * kInvCell);
    uint64_t bits;
    std::memcpy(&bits, &c, sizeof bits);
    int64_t k = (int64_t)(1ull << 61) + (int64_t)((bits & 0x7fffffffffffffffull) >> 2);
    return c < 0 ? -k : k;
}

// Keys of the cells a point within kReach of c can lie in along one axis.
inline int axisRange(double c, int64_t k[2])
{
    if (std::fabs(c) > kHuge) {
        k[0] = axisKey(c);
        return 1;
    }
    k[0] = floorToInt((c - kReach) * kInvCell);
    k[1] = floorToInt((c + kReach) * kInvCell);
    return k[1] == k[0] ? 1 : 2;
}

inline bool finitePoint(const Point3 &p)
{
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

// Spatial hash of the stored vertices. Cells are not stored: a cell's
// vertices are chained (through next[]) from the bucket its key hashes
// to, and cells that share a bucket share its chain. That costs only
// some extra distance checks, since every vertex in the buckets of the
// neighbouring cells is measured.
struct VertexGrid {
    std::vector<int> heads;  // -1: empty bucket
    std::vector<int> next;
    size_t count = 0;        // vertices in the grid
    size_t mask = 0;

    static size_t bucketOf(int64_t x, int64_t y, int64_t z)
    {
        uint64_t h = (uint64_t)x * 0x9E3779B97F4A7C15ull;
        h ^= (uint64_t)y * 0xC2B2AE3D27D4EB4Full;
        h ^= (uint64_t)z * 0x165667B19E3779F9ull;
        h ^= h >> 29;
        h *= 0xBF58476D1CE4E5B9ull;
        return (size_t)(h ^ (h >> 32));
    }
    size_t bucketOf(const Point3 &p) const
    {
        return bucketOf(axisKey(p.x), axisKey(p.y), axisKey(p.z)) & mask;
    }

    void init(size_t expected)
    {
        size_t c = 1024;
        while (c < 2 * expected)
            c *= 2;
        heads.assign(c, -1);
        mask = c - 1;
    }

    // Twice the buckets, with every vertex in the grid chained again.
    void grow(const Point3 *verts, size_t nverts)
    {
        heads.assign(heads.size() * 2, -1);
        mask = heads.size() - 1;
        for (size_t v = 0; v < nverts; v++) {
            if (!finitePoint(verts[v]))
                continue;
            size_t b = bucketOf(verts[v]);
            next[v] = heads[b];
            heads[b] = (int)v;
        }
    }

    void insert(int v, const Point3 &p, const Point3 *verts)
    {
        if ((size_t)v >= next.size())
            next.resize(next.size() * 2 + 1024, -1);
        if (2 * (count + 1) > heads.size())
            grow(verts, (size_t)v);
        count++;
        size_t b = bucketOf(p);
        next[v] = heads[b];
        heads[b] = v;
    }

    // Asks for the memory a later search around p will read first.
    void prefetchBucket(const Point3 &p) const { __builtin_prefetch(&heads[bucketOf(p)]); }
    void prefetchChain(const Point3 &p, const Point3 *verts) const
    {
        int v = heads[bucketOf(p)];
        if (v >= 0)
            __builtin_prefetch(&verts[v]);
    }

    // Moves vertex v from where it was (old) to where it is now (p).
    void move(int v, const Point3 &old, const Point3 &p)
    {
        size_t from = bucketOf(old), to = bucketOf(p);
        if (from == to)
            return;
        for (int *link = &heads[from]; *link >= 0; link = &next[*link]) {
            if (*link == v) {
                *link = next[v];
                break;
            }
        }
        next[v] = heads[to];
        heads[to] = v;
    }

    // The highest-numbered stored vertex within the merge distance of p, as
    // VectorLength measures it, or -1.
    int nearest(const Point3 &p, const Point3 *verts) const
    {
        int64_t kx[2], ky[2], kz[2];
        int nx = axisRange(p.x, kx), ny = axisRange(p.y, ky), nz = axisRange(p.z, kz);
        size_t seen[8];
        int nseen = 0;
        int best = -1;
        for (int a = 0; a < nx; a++)
            for (int b = 0; b < ny; b++)
                for (int c = 0; c < nz; c++) {
                    size_t bucket = bucketOf(kx[a], ky[b], kz[c]) & mask;
                    // Neighbouring cells may share a bucket: scan it once.
                    bool again = false;
                    for (int i = 0; i < nseen; i++)
                        again = again || seen[i] == bucket;
                    if (again)
                        continue;
                    seen[nseen++] = bucket;
                    for (int v = heads[bucket]; v >= 0; v = next[v]) {
                        if (v <= best)
                            continue;
                        const Point3 &q = verts[v];
                        if (std::fabs(q.x - p.x) > kNear || std::fabs(q.y - p.y) > kNear ||
                            std::fabs(q.z - p.z) > kNear)
                            continue;
                        if (VectorLength(q, p) <= kMergeDist)
                            best = v;
                    }
                }
        return best;
    }
};

inline float readFloat(const unsigned char *b)
{
    uint32_t u = (uint32_t)b[0] | (uint32_t)b[1] << 8 | (uint32_t)b[2] << 16 | (uint32_t)b[3] << 24;
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f;
}

}  // namespace

Obj *loadObjFromSTL(const char *fname, const char *label, float r, float g, float b, float a)
{
    FILE *f = fname ? std::fopen(fname, "rb") : nullptr;
    if (!f) {
        fprintf(stderr, "cannot open stl file %s\n", fname ? fname : "(null)");
        return nullptr;
    }
    GrowArray<unsigned char> data;
    bool readOk = readRest(f, &data);
    std::fclose(f);
    if (!readOk) {
        fprintf(stderr, "failed reading stl file %s\n", fname);
        return nullptr;
    }
    if (data.n < 84) {
        fprintf(stderr, "failed reading stl header of %s\n", fname);
        return nullptr;
    }
    const unsigned char *p = data.data + 80;
    uint32_t n = (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
    // The count is checked against what the file holds before anything
    // is built from it; a short file fails where the reading would have.
    size_t body = data.n - 84;
    if ((uint64_t)n > body / 50) {
        bool inAttribute = (uint64_t)n == body / 50 + 1 && body % 50 >= 48;
        fprintf(stderr, inAttribute ? "failed reading unused short\n" : "failed reading facets\n");
        return nullptr;
    }
    if (body > (size_t)n * 50)
        fprintf(stderr, "Not at end of file!\n");
    // Three corners per facet must fit the record's int counts.
    if (n > (uint32_t)(INT32_MAX / 3)) {
        fprintf(stderr, "too many facets in stl file %s\n", fname);
        return nullptr;
    }

    Obj *obj = newObj(label, r, g, b, a);
    int *facets = n ? static_cast<int *>(std::malloc((size_t)n * 3 * sizeof(int))) : nullptr;
    GrowArray<Point3> verts;
    if (!obj || (n && !facets) || !verts.reserve(n ? n : 1)) {
        fprintf(stderr, "out of memory reading stl file %s\n", fname);
        std::free(facets);
        freeObj(obj);
        return nullptr;
    }
    VertexGrid grid;
    // A closed mesh has about half as many vertices as facets.
    grid.init((size_t)n / 2);
    const unsigned char *facets0 = data.data + 84;
    // Corner g of the file, counted over all facets.
    auto corner = [facets0](size_t g) {
        const unsigned char *q = facets0 + 50 * (g / 3) + 12 + 12 * (g % 3);
        return Point3{(double)readFloat(q), (double)readFloat(q + 4), (double)readFloat(q + 8)};
    };
    // The searches are mostly cache misses; the corners ahead are known,
    // so their buckets and chains are asked for a few steps early.
    const size_t ncorners = (size_t)n * 3, kAheadBucket = 16, kAheadChain = 8;
    for (uint32_t i = 0; i < n; i++) {
        for (int c = 0; c < 3; c++) {
            size_t g = 3 * (size_t)i + c;
            if (g + kAheadBucket < ncorners) {
                Point3 ahead = corner(g + kAheadBucket);
                if (finitePoint(ahead))
                    grid.prefetchBucket(ahead);
            }
            if (g + kAheadChain < ncorners) {
                Point3 ahead = corner(g + kAheadChain);
                if (finitePoint(ahead))
                    grid.prefetchChain(ahead, verts.data);
            }
            Point3 pt = corner(g);
            // A point with a non-finite coordinate is at no finite distance
            // from anything, so it is never merged nor found.
            int j = finitePoint(pt) ? grid.nearest(pt, verts.data) : -1;
            if (j >= 0) {
                // The merged vertex moves to its latest occurrence, which
                // may lie in another cell.
                grid.move(j, verts.data[j], pt);
                verts.data[j] = pt;
            } else {
                j = (int)verts.n;
                if (!verts.push(pt)) {
                    fprintf(stderr, "out of memory reading stl file %s\n", fname);
                    std::free(facets);
                    freeObj(obj);
                    return nullptr;
                }
                if (finitePoint(pt))
                    grid.insert(j, pt, verts.data);
            }
            facets[3 * (size_t)i + c] = j + 1;
        }
    }
    obj->nfacets = (int)n;
    obj->facets = facets;
    obj->nverts = (int)verts.n;
    obj->verts = verts.release();
    calcObjMinMaxMean(obj);
    return obj;
}
