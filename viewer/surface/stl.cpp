// Binary STL reader: every facet carries its own corners, which are merged
// into shared vertices when they lie within 1e-4 of a stored vertex.
#include <cctype>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
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
    int64_t t = static_cast<int64_t>(v);
    return static_cast<double>(t) > v ? t - 1 : t;
}

inline int64_t axisKey(double c)
{
    if (std::fabs(c) <= kHuge)
        return floorToInt(c * kInvCell);
    uint64_t bits;
    std::memcpy(&bits, &c, sizeof bits);
    int64_t k = static_cast<int64_t>(1ull << 61) + static_cast<int64_t>((bits & 0x7fffffffffffffffull) >> 2);
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
//
// Corners that follow each other in a file lie close together, so the
// buckets are grouped by blocks of cells: all cells of a block hash into
// one group of kGroup adjacent buckets, and a run of corners keeps to a
// few cache lines. The block size follows the mesh's edge length, so a
// block holds a few dozen vertices.
const int kGroupBits = 6;
const size_t kGroup = static_cast<size_t>(1) << kGroupBits;

// What the search for one corner needs, worked out a few corners ahead.
struct CornerPlan {
    Point3 p;
    size_t own = 0;     // bucket of the point's own cell
    size_t buckets[8];  // distinct buckets of the cells within reach
    int nb = 0;         // 0: not finite, never searched nor stored
    unsigned epoch = 0; // table size it was worked out for
};

struct VertexGrid {
    std::vector<int> heads; // -1: empty bucket
    std::vector<int> next;
    std::vector<size_t> where; // bucket each vertex is chained from
    unsigned epoch = 0;
    size_t count = 0; // vertices in the grid
    size_t groupMask = 0;
    int blockShift = 0; // cells per block along an axis: 1 << blockShift

    static uint64_t mix(int64_t x, int64_t y, int64_t z)
    {
        uint64_t h = static_cast<uint64_t>(x) * 0x9E3779B97F4A7C15ull;
        h ^= static_cast<uint64_t>(y) * 0xC2B2AE3D27D4EB4Full;
        h ^= static_cast<uint64_t>(z) * 0x165667B19E3779F9ull;
        h ^= h >> 29;
        h *= 0xBF58476D1CE4E5B9ull;
        return h ^ (h >> 32);
    }
    size_t bucketOf(int64_t x, int64_t y, int64_t z) const
    {
        size_t group =
            static_cast<size_t>(mix(x >> blockShift, y >> blockShift, z >> blockShift)) & groupMask;
        return group << kGroupBits | (static_cast<size_t>(mix(x, y, z)) & (kGroup - 1));
    }
    size_t bucketOf(const Point3 &p) const { return bucketOf(axisKey(p.x), axisKey(p.y), axisKey(p.z)); }

    void init(size_t expected, double edge)
    {
        size_t c = 1024;
        while (c < 2 * expected)
            c *= 2;
        heads.assign(c, -1);
        groupMask = (c >> kGroupBits) - 1;
        // A block about six edges wide holds some 30 vertices of a surface.
        blockShift = 0;
        double cells = 6.0 * edge / kCell;
        while (blockShift < 40 && std::ldexp(1.0, blockShift + 1) <= cells)
            blockShift++;
    }

    // Twice the buckets, with every vertex in the grid chained again.
    void grow(const Point3 *verts, size_t nverts)
    {
        heads.assign(heads.size() * 2, -1);
        groupMask = (heads.size() >> kGroupBits) - 1;
        epoch++;
        for (size_t v = 0; v < nverts; v++) {
            if (!finitePoint(verts[v]))
                continue;
            size_t b = bucketOf(verts[v]);
            next[v] = heads[b];
            heads[b] = static_cast<int>(v);
            where[v] = b;
        }
    }

    // Works out the buckets a search around cp->p reads, and the one its
    // point belongs to.
    void plan(CornerPlan *cp) const
    {
        const Point3 &p = cp->p;
        cp->epoch = epoch;
        cp->nb = 0;
        if (!finitePoint(p))
            return;
        int64_t kx[2], ky[2], kz[2];
        int nx = axisRange(p.x, kx), ny = axisRange(p.y, ky), nz = axisRange(p.z, kz);
        // The point's own cell is one of the cells within reach.
        // (Only an axis with two cells needs its own key worked out.)
        int ox = nx == 1 || axisKey(p.x) == kx[0] ? 0 : 1;
        int oy = ny == 1 || axisKey(p.y) == ky[0] ? 0 : 1;
        int oz = nz == 1 || axisKey(p.z) == kz[0] ? 0 : 1;
        for (int a = 0; a < nx; a++)
            for (int b = 0; b < ny; b++)
                for (int c = 0; c < nz; c++) {
                    size_t bucket = bucketOf(kx[a], ky[b], kz[c]);
                    if (a == ox && b == oy && c == oz)
                        cp->own = bucket;
                    // Neighbouring cells may share a bucket: it is read once.
                    bool again = false;
                    for (int i = 0; i < cp->nb; i++)
                        again = again || cp->buckets[i] == bucket;
                    if (!again)
                        cp->buckets[cp->nb++] = bucket;
                }
    }

    // Asks for the memory a later search will read first.
    void prefetch(const CornerPlan &cp) const
    {
        for (int i = 0; i < cp.nb; i++)
            __builtin_prefetch(&heads[cp.buckets[i]]);
    }
    void prefetchChain(const CornerPlan &cp, const Point3 *verts) const
    {
        if (cp.nb == 0 || cp.epoch != epoch)
            return;
        int v = heads[cp.own];
        if (v >= 0)
            __builtin_prefetch(&verts[v]);
    }

    void insert(int v, const CornerPlan &cp, const Point3 *verts)
    {
        if (static_cast<size_t>(v) >= next.size()) {
            next.resize(next.size() * 2 + 1024, -1);
            where.resize(next.size());
        }
        if (2 * (count + 1) > heads.size())
            grow(verts, static_cast<size_t>(v));
        count++;
        size_t b = cp.epoch == epoch ? cp.own : bucketOf(cp.p);
        next[v] = heads[b];
        heads[b] = v;
        where[v] = b;
    }

    // Moves vertex v to the point of cp, its latest occurrence.
    void move(int v, const CornerPlan &cp)
    {
        size_t from = where[v], to = cp.own;
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
        where[v] = to;
    }

    // The highest-numbered stored vertex within the merge distance of the
    // point, as VectorLength measures it, or -1.
    int nearest(const CornerPlan &cp, const Point3 *verts) const
    {
        const Point3 &p = cp.p;
        int best = -1;
        for (int i = 0; i < cp.nb; i++)
            for (int v = heads[cp.buckets[i]]; v >= 0; v = next[v]) {
                if (v <= best)
                    continue;
                const Point3 &q = verts[v];
                if (std::fabs(q.x - p.x) > kNear || std::fabs(q.y - p.y) > kNear ||
                    std::fabs(q.z - p.z) > kNear)
                    continue;
                // An exact repeat is at distance 0 without measuring.
                if ((q.x == p.x && q.y == p.y && q.z == p.z) || lengthBetween(q, p) <= kMergeDist)
                    best = v;
            }
        return best;
    }
};

inline float readFloat(const unsigned char *b)
{
    uint32_t u = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                 static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f;
}

// The facet records of an STL file, read front to back in chunks from a
// regular file, or from memory for anything else (a pipe, a device).
struct FacetSource {
    static const uint32_t kChunk = 8192; // facets, about 400 KB
    FILE *f = nullptr;
    const unsigned char *mem = nullptr;
    uint32_t n = 0;
    std::vector<unsigned char> buf;
    uint32_t first = 0, count = 0;

    // Record i, 50 bytes; i may not go below the start of the last chunk.
    // Null after a read error.
    const unsigned char *facet(uint32_t i)
    {
        if (mem)
            return mem + 50 * static_cast<size_t>(i);
        if (i >= first + count) {
            first = i;
            count = n - i < kChunk ? n - i : kChunk;
            buf.resize(static_cast<size_t>(kChunk) * 50);
            if (std::fread(buf.data(), 50, count, f) != count) {
                count = 0;
                return nullptr;
            }
        }
        return buf.data() + 50 * static_cast<size_t>(i - first);
    }
};

// Mean edge length of the first facets, for the hash's block size.
double sampleEdge(FacetSource *src, uint32_t n)
{
    double sum = 0;
    int count = 0;
    for (uint32_t i = 0; i < n && i < 1024; i++) {
        const unsigned char *rec = src->facet(i);
        if (!rec)
            return 0.0;
        Point3 c[3];
        for (int k = 0; k < 3; k++) {
            const unsigned char *q = rec + 12 + 12 * k;
            c[k] = {static_cast<double>(readFloat(q)), static_cast<double>(readFloat(q + 4)),
                    static_cast<double>(readFloat(q + 8))};
        }
        for (int k = 0; k < 3; k++) {
            double d = lengthBetween(c[k], c[(k + 1) % 3]);
            if (std::isfinite(d) && d > 0 && d < kHuge) {
                sum += d;
                count++;
            }
        }
    }
    return count ? sum / count : 0.0;
}

bool looksLikeTextStl(const unsigned char *head, size_t got, long long size)
{
    size_t i = 0;
    while (i < got && (head[i] == ' ' || head[i] == '\t' || head[i] == '\r' || head[i] == '\n'))
        i++;
    if (got - i < 5 || std::memcmp(head + i, "solid", 5) != 0)
        return false;
    if (got < 84)
        return true;
    uint32_t n = static_cast<uint32_t>(head[80]) | static_cast<uint32_t>(head[81]) << 8 |
                 static_cast<uint32_t>(head[82]) << 16 | static_cast<uint32_t>(head[83]) << 24;
    return size != 84 + 50 * static_cast<long long>(n);
}

// The facets of a text STL ("facet normal ... outer loop, three vertex
// lines, endloop endfacet") as a binary STL image; false after a message.
bool textStlToBinary(const char *fname, const GrowArray<unsigned char> &text, GrowArray<unsigned char> *out)
{
    std::string s(reinterpret_cast<const char *>(text.data), text.n);
    if (!out->reserve(84 + 50 * (text.n / 256 + 1))) {
        fprintf(stderr, "out of memory reading stl file %s\n", fname);
        return false;
    }
    out->n = 0;
    unsigned char zero[84] = {};
    for (unsigned char c : zero)
        out->push(c);
    uint32_t facets = 0;
    int corners = 0;
    float rec[12] = {};
    size_t at = 0;
    auto word = [&](std::string *w) {
        while (at < s.size() && std::isspace(static_cast<unsigned char>(s[at])))
            at++;
        size_t start = at;
        while (at < s.size() && !std::isspace(static_cast<unsigned char>(s[at])))
            at++;
        *w = s.substr(start, at - start);
        return at > start;
    };
    std::string w;
    bool inFacet = false;
    while (word(&w)) {
        if (w == "facet") {
            if (inFacet) {
                fprintf(stderr, "'%s': text STL facet %u not ended.\n", fname, facets + 1);
                return false;
            }
            inFacet = true;
            corners = 0;
        } else if (w == "vertex") {
            // A fourth corner is read over the first; the facet is refused anyway.
            float *c = rec + 3 + 3 * (corners < 3 ? corners : 0);
            for (int k = 0; k < 3; k++) {
                std::string num;
                char *end = nullptr;
                if (word(&num))
                    c[k] = std::strtof(num.c_str(), &end);
                if (!end || end == num.c_str() || *end) {
                    fprintf(stderr, "'%s': text STL vertex of facet %u is not three numbers.\n", fname,
                            facets + 1);
                    return false;
                }
            }
            corners++;
        } else if (w == "endfacet") {
            if (!inFacet || corners != 3) {
                fprintf(stderr, "'%s': text STL facet %u has %d vertices, not 3.\n", fname, facets + 1,
                        corners);
                return false;
            }
            inFacet = false;
            unsigned char bytes[50] = {};
            std::memcpy(bytes, rec, sizeof rec);
            for (unsigned char c : bytes)
                if (!out->push(c)) {
                    fprintf(stderr, "out of memory reading stl file %s\n", fname);
                    return false;
                }
            if (++facets > static_cast<uint32_t>(INT32_MAX / 3)) {
                fprintf(stderr, "too many facets in stl file %s\n", fname);
                return false;
            }
        }
    }
    if (inFacet) {
        fprintf(stderr, "'%s': text STL ends inside facet %u.\n", fname, facets + 1);
        return false;
    }
    for (int k = 0; k < 4; k++)
        out->data[80 + k] = static_cast<unsigned char>(facets >> (8 * k));
    return true;
}

// The facets' corners merged into vertices where the grid finds them
// again: facets[g] is the 1-based vertex of corner g. False after one line
// on stderr.
bool weldCorners(FacetSource *src, uint32_t n, const char *fname, int *facets, GrowArray<Point3> *verts)
{
    VertexGrid grid;
    // A closed mesh has about half as many vertices as facets.
    grid.init(static_cast<size_t>(n) / 2, sampleEdge(src, n));
    // Corner g of the file, counted over all facets; false after a read
    // error.
    auto corner = [src](size_t g, Point3 *pt) {
        const unsigned char *rec = src->facet(static_cast<uint32_t>(g / 3));
        if (!rec)
            return false;
        const unsigned char *q = rec + 12 + 12 * (g % 3);
        *pt = Point3{static_cast<double>(readFloat(q)), static_cast<double>(readFloat(q + 4)),
                     static_cast<double>(readFloat(q + 8))};
        return true;
    };
    auto readFailed = []() {
        fprintf(stderr, "failed reading facets\n");
        return false;
    };
    // The searches are mostly cache misses; the corners ahead are known,
    // so their buckets and chains are worked out and asked for early.
    const size_t ncorners = static_cast<size_t>(n) * 3, kAhead = 16, kRing = 32;
    CornerPlan ring[kRing];
    for (size_t g = 0; g < kAhead && g < ncorners; g++) {
        if (!corner(g, &ring[g].p))
            return readFailed();
        grid.plan(&ring[g]);
    }
    for (size_t g = 0; g < ncorners; g++) {
        if (g + kAhead < ncorners) {
            CornerPlan &ahead = ring[(g + kAhead) % kRing];
            if (!corner(g + kAhead, &ahead.p))
                return readFailed();
            grid.plan(&ahead);
            grid.prefetch(ahead);
        }
        if (g + kAhead / 2 < ncorners)
            grid.prefetchChain(ring[(g + kAhead / 2) % kRing], verts->data);
        CornerPlan &cp = ring[g % kRing];
        if (cp.epoch != grid.epoch)
            grid.plan(&cp);
        // A point with a non-finite coordinate is at no finite distance
        // from anything, so it is never merged nor found.
        int j = cp.nb ? grid.nearest(cp, verts->data) : -1;
        if (j >= 0) {
            // The merged vertex moves to its latest occurrence, which may
            // lie in another cell.
            grid.move(j, cp);
            verts->data[j] = cp.p;
        } else {
            j = static_cast<int>(verts->n);
            if (!verts->push(cp.p)) {
                fprintf(stderr, "out of memory reading stl file %s\n", fname);
                return false;
            }
            if (cp.nb)
                grid.insert(j, cp, verts->data);
        }
        facets[g] = j + 1;
    }
    return true;
}

} // namespace

Obj *loadObjFromSTL(const char *fname, const char *label, float r, float g, float b, float a)
{
    FILE *f = openSurfaceFile(fname, "rb", "stl file");
    if (!f)
        return nullptr;
    // A regular file is checked against its size and then streamed; any
    // other file is read whole first to learn its size.
    FacetSource src;
    GrowArray<unsigned char> data;
    unsigned char head[84];
    long long size = regularFileSize(f);
    size_t got;
    if (size >= 0) {
        got = std::fread(head, 1, sizeof head, f);
    } else {
        if (!readRest(f, &data)) {
            fprintf(stderr, "failed reading stl file %s\n", fname);
            std::fclose(f);
            return nullptr;
        }
        got = data.n < sizeof head ? data.n : sizeof head;
        std::memcpy(head, data.data, got);
        size = static_cast<long long>(data.n);
    }
    // A text STL starts with "solid" and is not exactly the size a binary
    // file with that facet count would be; it becomes binary records in
    // memory and goes the binary way from there.
    if (looksLikeTextStl(head, got, size)) {
        if (data.data == nullptr && (std::fseek(f, 0, SEEK_SET) != 0 || !readRest(f, &data))) {
            fprintf(stderr, "failed reading stl file %s\n", fname);
            std::fclose(f);
            return nullptr;
        }
        GrowArray<unsigned char> text;
        std::swap(text.data, data.data);
        std::swap(text.n, data.n);
        std::swap(text.cap, data.cap);
        if (!textStlToBinary(fname, text, &data)) {
            std::fclose(f);
            return nullptr;
        }
        std::memcpy(head, data.data, sizeof head);
        got = sizeof head;
        size = static_cast<long long>(data.n);
    }
    if (got < 84) {
        fprintf(stderr, "failed reading stl header of %s\n", fname);
        std::fclose(f);
        return nullptr;
    }
    const unsigned char *p = head + 80;
    uint32_t n = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                 static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
    // The count is checked against what the file holds before anything
    // is built from it; a short file fails where the reading would have.
    uint64_t body = size > 84 ? static_cast<uint64_t>(size) - 84 : 0;
    if (static_cast<uint64_t>(n) > body / 50) {
        // Reading facet after facet, the first one cut short is the one
        // after the last whole record: its corners or its attribute word.
        bool inAttribute = body % 50 >= 48;
        fprintf(stderr, inAttribute ? "failed reading unused short\n" : "failed reading facets\n");
        std::fclose(f);
        return nullptr;
    }
    if (body > static_cast<uint64_t>(n) * 50)
        fprintf(stderr, "Not at end of file!\n");
    src.f = f;
    src.n = n;
    if (data.data)
        src.mem = data.data + 84;
    // Closes the file on every way out from here.
    struct Closer {
        FILE *f;
        ~Closer() { std::fclose(f); }
    } closer{f};
    // Three corners per facet must fit the record's int counts.
    if (n > static_cast<uint32_t>(INT32_MAX / 3)) {
        fprintf(stderr, "too many facets in stl file %s\n", fname);
        return nullptr;
    }

    Obj *obj = newObj(label, r, g, b, a);
    int *facets = n ? static_cast<int *>(std::malloc(static_cast<size_t>(n) * 3 * sizeof(int))) : nullptr;
    GrowArray<Point3> verts;
    if (!obj || (n && !facets) || !verts.reserve(n ? n : 1)) {
        fprintf(stderr, "out of memory reading stl file %s\n", fname);
        std::free(facets);
        freeObj(obj);
        return nullptr;
    }
    if (!weldCorners(&src, n, fname, facets, &verts)) {
        std::free(facets);
        freeObj(obj);
        return nullptr;
    }
    obj->nfacets = static_cast<int>(n);
    obj->facets = facets;
    obj->nverts = static_cast<int>(verts.n);
    obj->verts = verts.release();
    calcObjMinMaxMean(obj);
    return obj;
}
