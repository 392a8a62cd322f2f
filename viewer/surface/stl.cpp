// Binary STL reader: every facet carries its own corners, which are merged
// into shared vertices when they lie within 1e-4 of a stored vertex.
#include <cmath>
#include <cstring>
#include <vector>

#include "surface_util.h"

namespace {

const double kMergeDist = 1e-4;
// Cells are wider than the merge distance, so a point's neighbourhood
// spans one or two cells per axis.
const double kCell = 2.5e-4;
// The neighbourhood searched per axis: a little more than the merge
// distance, to cover rounding in the cell arithmetic.
const double kReach = 1.05e-4;
// Beyond this magnitude distinct floats are farther apart than the merge
// distance, so such a coordinate only matches an equal one; it is keyed
// by its bits instead of a cell number that could overflow.
const double kHuge = 1e8;

inline int64_t axisKey(double c)
{
    if (std::fabs(c) <= kHuge)
        return (int64_t)std::floor(c / kCell);
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
    int64_t lo = (int64_t)std::floor((c - kReach) / kCell);
    int64_t hi = (int64_t)std::floor((c + kReach) / kCell);
    k[0] = lo;
    k[1] = hi;
    return hi == lo ? 1 : 2;
}

inline bool finitePoint(const Point3 &p)
{
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

// Spatial hash of the stored vertices: open addressing over cells, each
// cell heading a chain of vertex numbers linked through next[].
struct VertexGrid {
    struct Cell {
        int64_t kx, ky, kz;
        int head;  // -1: empty chain; cells are never removed
        bool used;
    };
    std::vector<Cell> cells;
    size_t ncells = 0;
    std::vector<int> next;

    static size_t hashKey(int64_t x, int64_t y, int64_t z)
    {
        uint64_t h = (uint64_t)x * 0x9E3779B97F4A7C15ull;
        h ^= (uint64_t)y * 0xC2B2AE3D27D4EB4Full + (h >> 29);
        h ^= (uint64_t)z * 0x165667B19E3779F9ull + (h >> 32);
        return (size_t)(h ^ (h >> 31));
    }

    void init(size_t expected)
    {
        size_t c = 1024;
        while (c < 2 * expected)
            c *= 2;
        cells.assign(c, Cell{0, 0, 0, -1, false});
        ncells = 0;
    }

    Cell *find(int64_t x, int64_t y, int64_t z)
    {
        size_t mask = cells.size() - 1;
        for (size_t i = hashKey(x, y, z) & mask;; i = (i + 1) & mask) {
            Cell &c = cells[i];
            if (!c.used)
                return nullptr;
            if (c.kx == x && c.ky == y && c.kz == z)
                return &c;
        }
    }

    Cell *findOrAdd(int64_t x, int64_t y, int64_t z)
    {
        if (2 * (ncells + 1) > cells.size())
            grow();
        size_t mask = cells.size() - 1;
        for (size_t i = hashKey(x, y, z) & mask;; i = (i + 1) & mask) {
            Cell &c = cells[i];
            if (!c.used) {
                c = Cell{x, y, z, -1, true};
                ncells++;
                return &c;
            }
            if (c.kx == x && c.ky == y && c.kz == z)
                return &c;
        }
    }

    void grow()
    {
        std::vector<Cell> old;
        old.swap(cells);
        cells.assign(old.size() * 2, Cell{0, 0, 0, -1, false});
        size_t mask = cells.size() - 1;
        for (const Cell &c : old) {
            if (!c.used)
                continue;
            size_t i = hashKey(c.kx, c.ky, c.kz) & mask;
            while (cells[i].used)
                i = (i + 1) & mask;
            cells[i] = c;
        }
    }

    void insert(int v, const Point3 &p)
    {
        if ((size_t)v >= next.size())
            next.resize(next.size() * 2 + 1024, -1);
        Cell *c = findOrAdd(axisKey(p.x), axisKey(p.y), axisKey(p.z));
        next[v] = c->head;
        c->head = v;
    }

    void remove(int v, const Point3 &p)
    {
        Cell *c = find(axisKey(p.x), axisKey(p.y), axisKey(p.z));
        if (!c)
            return;
        for (int *link = &c->head; *link >= 0; link = &next[*link]) {
            if (*link == v) {
                *link = next[v];
                return;
            }
        }
    }

    // The highest-numbered stored vertex within the merge distance of p, as
    // VectorLength measures it, or -1.
    int nearest(const Point3 &p, const Point3 *verts)
    {
        int64_t kx[2], ky[2], kz[2];
        int nx = axisRange(p.x, kx), ny = axisRange(p.y, ky), nz = axisRange(p.z, kz);
        int best = -1;
        for (int a = 0; a < nx; a++)
            for (int b = 0; b < ny; b++)
                for (int c = 0; c < nz; c++) {
                    Cell *cell = find(kx[a], ky[b], kz[c]);
                    if (!cell)
                        continue;
                    for (int v = cell->head; v >= 0; v = next[v]) {
                        if (v > best && VectorLength(verts[v], p) <= kMergeDist)
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
    grid.init((size_t)n);
    const unsigned char *facet = data.data + 84;
    for (uint32_t i = 0; i < n; i++, facet += 50) {
        for (int c = 0; c < 3; c++) {
            const unsigned char *q = facet + 12 + 12 * c;
            Point3 pt = {(double)readFloat(q), (double)readFloat(q + 4), (double)readFloat(q + 8)};
            // A point with a non-finite coordinate is at no finite distance
            // from anything, so it is never merged nor found.
            int j = finitePoint(pt) ? grid.nearest(pt, verts.data) : -1;
            if (j >= 0) {
                // The merged vertex moves to its latest occurrence, which
                // may lie in another cell.
                const Point3 old = verts.data[j];
                if (axisKey(old.x) != axisKey(pt.x) || axisKey(old.y) != axisKey(pt.y) ||
                    axisKey(old.z) != axisKey(pt.z)) {
                    grid.remove(j, old);
                    grid.insert(j, pt);
                }
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
                    grid.insert(j, pt);
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
