// Turning a panel's lists into vertices: opaque batches, and transparent
// items (facets, textured polygon pieces, slice pieces) with their sort
// distances and bindings. No GL calls of its own; the GPU caches are asked
// for the bricks to cut into.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "state.h"

namespace vq::draw {

// ---- Building the vertex arrays ------------------------------------------------

Vert vert(const Vec3 &p, const Rgb &c, float a = 1, float w = 1)
{
    Vert v{};
    v.p[0] = p.x;
    v.p[1] = p.y;
    v.p[2] = p.z;
    v.c[0] = c.r;
    v.c[1] = c.g;
    v.c[2] = c.b;
    v.c[3] = a;
    v.w = w;
    return v;
}

Vert vertAt(double x, double y, double z)
{
    Vert v{};
    v.p[0] = static_cast<float>(x);
    v.p[1] = static_cast<float>(y);
    v.p[2] = static_cast<float>(z);
    v.c[3] = 1;
    return v;
}

Vec3 sub(const Vec3 &a, const Vec3 &b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

void setNormal(Vert &v, const Vec3 &n)
{
    v.n[0] = n.x;
    v.n[1] = n.y;
    v.n[2] = n.z;
}

Vec3 facetNormal(const Facet &f)
{
    Vec3 a = sub(f.p[1], f.p[0]), b = sub(f.p[2], f.p[0]);
    Vec3 n{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
    float l = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
    if (l > 0)
        n = {n.x / l, n.y / l, n.z / l};
    return n;
}

void addFacet(std::vector<Vert> &out, const Facet &f, float alpha)
{
    Vec3 flat = facetNormal(f);
    for (int i = 0; i < 3; ++i) {
        Vert v = vert(f.p[i], f.colour, alpha);
        setNormal(v, f.smooth ? f.n[i] : flat);
        out.push_back(v);
    }
}

float distance(const double eye[3], float x, float y, float z)
{
    double dx = x - eye[0], dy = y - eye[1], dz = z - eye[2];
    return static_cast<float>(std::sqrt(dx * dx + dy * dy + dz * dz));
}


void addSegment(std::vector<Vert> &lines, const Vert &a, const Vert &b)
{
    lines.push_back(a);
    lines.push_back(b);
}

// The 12 edges of the box, with ticks along the axes whose options ask
// for them (T major, S minor).
void addBox(Batches &b, const BoxSpec &box, const Rgb &fg)
{
    const double *lo = box.viewport.lo, *hi = box.viewport.hi;
    auto corner = [&](int c) {
        Vert v = vertAt(c & 1 ? hi[0] : lo[0], c & 2 ? hi[1] : lo[1], c & 4 ? hi[2] : lo[2]);
        v.c[0] = fg.r;
        v.c[1] = fg.g;
        v.c[2] = fg.b;
        v.w = 1;
        return v;
    };
    static const int edges[12][2] = {{0, 1}, {2, 3}, {4, 5}, {6, 7}, {0, 2}, {1, 3},
                                     {4, 6}, {5, 7}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
    for (const auto &e : edges)
        addSegment(b.lines, corner(e[0]), corner(e[1]));
    double size = 0;
    for (int a = 0; a < 3; ++a)
        size = std::max(size, hi[a] - lo[a]);
    for (int a = 0; a < 3; ++a) {
        const std::string &opt = box.opt[a];
        bool major = opt.find_first_of("Tt") != std::string::npos;
        bool minor = opt.find_first_of("Ss") != std::string::npos;
        if (!major && !minor)
            continue;
        double w0 = box.window.lo[a], w1 = box.window.hi[a];
        double range = std::fabs(w1 - w0);
        if (!(range > 0) || !std::isfinite(range))
            continue;
        double step = box.tick[a];
        if (!(step > 0) || range / step > 200) {
            // Automatic spacing: 1, 2 or 5 times a power of ten, about five ticks.
            double raw = range / 5, p = std::pow(10.0, std::floor(std::log10(raw)));
            step = raw / p < 2 ? p : raw / p < 5 ? 2 * p : 5 * p;
        }
        int nsub = box.nsub[a] > 0 ? std::min(box.nsub[a], 20) : (minor ? 5 : 1);
        double wlo = std::min(w0, w1), whi = std::max(w0, w1);
        double substep = step / nsub;
        long first = static_cast<long>(std::ceil(wlo / substep - 1e-9));
        for (long t = first; t * substep <= whi + 1e-9 * range; ++t) {
            bool isMajor = t % nsub == 0;
            if ((isMajor && !major) || (!isMajor && !minor))
                continue;
            double f = (t * substep - w0) / (w1 - w0);
            double pos = lo[a] + f * (hi[a] - lo[a]);
            double len = size * (isMajor ? 0.03 : 0.015);
            // Ticks on the axis's four edges, pointing into the box.
            int b1 = (a + 1) % 3, b2 = (a + 2) % 3;
            for (int e = 0; e < 4; ++e) {
                double p[3];
                p[a] = pos;
                p[b1] = e & 1 ? hi[b1] : lo[b1];
                p[b2] = e & 2 ? hi[b2] : lo[b2];
                double q[3] = {p[0], p[1], p[2]};
                q[b1] += e & 1 ? -len : len;
                Vert va = vertAt(p[0], p[1], p[2]), vb = vertAt(q[0], q[1], q[2]);
                for (Vert *v : {&va, &vb}) {
                    v->c[0] = fg.r;
                    v->c[1] = fg.g;
                    v->c[2] = fg.b;
                    v->w = 1;
                }
                addSegment(b.lines, va, vb);
            }
        }
    }
}

void addOpaque(Batches &b, const PrimList &l)
{
    for (const PointSet &ps : l.points)
        for (const Vec3 &p : ps.p)
            b.points.push_back(vert(p, ps.colour, 1, 2 * ps.size));
    for (const Polyline &pl : l.lines)
        for (size_t i = 0; i + 1 < pl.p.size(); ++i)
            addSegment(b.lines, vert(pl.p[i], pl.colour, 1, pl.width),
                       vert(pl.p[i + 1], pl.colour, 1, pl.width));
    for (const ThickLine &t : l.thickLines)
        addSegment(b.lines, vert(t.a, t.ca, 1, t.width), vert(t.b, t.cb, 1, t.width));
    for (const Facet &f : l.facets)
        if (!(f.alpha < 1))
            addFacet(b.tris, f, 1);
}

void pushTransparent(Program program, int key, float dist, size_t first)
{
    int count = static_cast<int>(R.scratch.size() - first);
    if (count > 0)
        R.items.push_back({dist, program, key, static_cast<int>(first), count});
}

void addTransparentFacets(const PrimList &l, const double eye[3])
{
    for (const Facet &f : l.facets) {
        if (!(f.alpha < 1))
            continue;
        size_t first = R.scratch.size();
        addFacet(R.scratch, f, std::max(0.0f, f.alpha));
        float cx = (f.p[0].x + f.p[1].x + f.p[2].x) / 3, cy = (f.p[0].y + f.p[1].y + f.p[2].y) / 3,
              cz = (f.p[0].z + f.p[1].z + f.p[2].z) / 3;
        pushTransparent(kSurface, 0, distance(eye, cx, cy, cz), first);
    }
}

// One clipped piece of a polygon as a fan of triangles, with coordinates
// into the brick's own texture; index axis a of the source runs along
// texture axis swizzle[a].
void addPiece(const ClipVertex *v, int n, const GpuBrick &b, const int swizzle[3])
{
    Vert q[80];
    for (int e = 0; e < n; ++e) {
        q[e] = vertAt(v[e].p[0], v[e].p[1], v[e].p[2]);
        for (int a = 0; a < 3; ++a)
            q[e].t[swizzle[a]] = static_cast<float>((v[e].x[a] - b.o[a] + 0.5) / b.n[a]);
    }
    for (int e = 1; e + 1 < n; ++e) {
        R.scratch.push_back(q[0]);
        R.scratch.push_back(q[e]);
        R.scratch.push_back(q[e + 1]);
    }
}

// The bricks whose box a polygon of voxel-index coordinates touches, and
// their cut pieces, all sorted at the polygon's own distance so that a
// stack of polygons keeps its order. Outside the source the outermost
// bricks stretch on, as one clamped texture would.
template <class Bind>
void addBrickPieces(Bricking &bk, const ClipVertex *v, int n, float dist, Program program, float alpha,
                    const int swizzle[3], Bind bind)
{
    int first[3], last[3];
    for (int a = 0; a < 3; ++a) {
        double lo = v[0].x[a], hi = v[0].x[a];
        for (int e = 1; e < n; ++e) {
            lo = std::min(lo, v[e].x[a]);
            hi = std::max(hi, v[e].x[a]);
        }
        const BrickAxis &ax = bk.axes[a];
        first[a] = ax.brickOf(std::clamp(static_cast<int>(std::floor(lo)), 0, ax.n - 1));
        last[a] = ax.brickOf(std::clamp(static_cast<int>(std::ceil(hi)), 0, ax.n - 1));
        // A polygon on a shared plane belongs to the brick that draws it.
        if (hi == lo)
            first[a] = last[a] = ax.brickOf(std::clamp(static_cast<int>(std::lround(lo)), 0, ax.n - 1));
    }
    ClipVertex piece[80];
    for (int b0 = first[0]; b0 <= last[0]; ++b0)
        for (int b1 = first[1]; b1 <= last[1]; ++b1)
            for (int b2 = first[2]; b2 <= last[2]; ++b2) {
                GpuBrick &b = bk.at(b0, b1, b2);
                if (!b.tex)
                    continue;
                int idx[3] = {b0, b1, b2};
                double lo[3], hi[3];
                for (int a = 0; a < 3; ++a) {
                    const BrickAxis &ax = bk.axes[a];
                    bool flat = first[a] == last[a];
                    lo[a] = idx[a] == 0 || flat ? -INFINITY : ax.start(idx[a]);
                    hi[a] = idx[a] == ax.count - 1 || flat ? INFINITY : ax.start(idx[a]) + ax.core;
                }
                int m = clipToBox(v, n, lo, hi, piece);
                if (m < 3)
                    continue;
                size_t start = R.scratch.size();
                addPiece(piece, m, b, swizzle);
                for (size_t i = start; i < R.scratch.size(); ++i)
                    R.scratch[i].c[3] = alpha;
                pushTransparent(program, bind(b), dist, start);
            }
}

void addTexPolys(Scene &s, const PrimList &l, const double eye[3])
{
    static const int straight[3] = {0, 1, 2};
    for (const TexPoly &tp : l.texPolys) {
        if (tp.v.size() < 3 || tp.t.size() < tp.v.size())
            continue;
        GpuTexture *g = gpuTexture(s, tp.tex);
        if (g == nullptr)
            continue;
        const Texture3D &t = s.textures[tp.tex];
        float cx = 0, cy = 0, cz = 0;
        ClipVertex v[64];
        int n = static_cast<int>(std::min<size_t>(tp.v.size(), 64));
        for (int e = 0; e < n; ++e) {
            const Vec3 &p = tp.v[e], &c = tp.t[e];
            cx += p.x;
            cy += p.y;
            cz += p.z;
            // Coordinate 0 is the first texel's centre and 1 the last's.
            v[e] = ClipVertex{{c.x * (t.nx - 1.0), c.y * (t.ny - 1.0), c.z * (t.nz - 1.0)}, {p.x, p.y, p.z}};
        }
        float dist = distance(eye, cx / n, cy / n, cz / n);
        addBrickPieces(g->bricking, v, n, dist, kTex, std::clamp(tp.alpha, 0.0f, 1.0f), straight,
                       [](const GpuBrick &b) { return static_cast<int>(b.tex); });
    }
}

// Point of the volume at fractional voxel indices, in scene coordinates.
void indexToScene(const double tr[12], double i, double j, double k, double out[3])
{
    out[0] = tr[0] + tr[1] * i + tr[2] * j + tr[3] * k;
    out[1] = tr[4] + tr[5] * i + tr[6] * j + tr[7] * k;
    out[2] = tr[8] + tr[9] * i + tr[10] * j + tr[11] * k;
}

void clampRange(int &a, int &b, int n)
{
    if (b < a) {
        a = 0;
        b = n - 1;
    }
    a = std::clamp(a, 0, n - 1);
    b = std::clamp(b, 0, n - 1);
}

// The slices of one slice set: slice k lies at voxel index k along the
// set's axis; each covers the part of its plane that can show anything.
void addVolumeDraw(const Scene &s, const Camera &cam, const VolumeDraw &d)
{
    if (d.vol < 0 || d.vol >= static_cast<int>(s.volumes.size()) || d.axis < 1 || d.axis > 3)
        return;
    const Volume &v = s.volumes[d.vol];
    if (!sliceSetShown(cam, v, d))
        return;
    if (!(v.amax > 0) && !(v.amin > 0))
        return;
    GpuVolume *g = gpuVolume(s, d.vol);
    if (g == nullptr)
        return;
    Lut *lut = lutFor(s, d.vol, d.lo, d.hi, v.amin, v.amax);
    int lutSize = static_cast<int>(lut->colours.size());
    // One binding per brick this draw uses, made when first needed.
    R.brickBinding.assign(g->bricking.bricks.size(), -1);
    float scale = v.dmax > v.dmin ? 1.0f / (v.dmax - v.dmin) : 1.0f;
    VolumeBinding proto{0, lut->tex, v.dmax > v.dmin, lutSize, g->code.lo, g->code.hi - g->code.lo, v.dmin, scale};
    const GpuBrick *firstBrick = g->bricking.bricks.data();
    auto bind = [&](const GpuBrick &b) {
        int &key = R.brickBinding[&b - firstBrick];
        if (key < 0) {
            key = static_cast<int>(R.bindings.size());
            R.bindings.push_back(proto);
            R.bindings.back().grid = b.tex;
        }
        return key;
    };
    static const int swizzle[3] = {2, 1, 0}; // bricks hold k fastest, i slowest

    int n[3] = {v.nx, v.ny, v.nz};
    int lo[3] = {v.i1, v.j1, v.k1}, hi[3] = {v.i2, v.j2, v.k2};
    for (int a = 0; a < 3; ++a)
        clampRange(lo[a], hi[a], n[a]);
    // Untrimmed: every voxel counts as showing, so each slice is one strip
    // over its whole plane.
    float thr = R.trimSlices ? visibleThreshold(v, lutSize) : -INFINITY;
    if (!g->haveStrips || !(g->threshold == thr) || g->stripRows != R.stripRows)
        computeStrips(*g, thr);
    int a = d.axis - 1, b1 = a == 0 ? 1 : 0, b2 = a == 2 ? 1 : 2;
    for (int k = lo[a]; k <= hi[a]; ++k) {
        int s0 = g->stripStart[a][k], s1 = g->stripStart[a][k + 1];
        if (s0 == s1)
            continue;
        // Sorted by the centre of the whole slice so that the slices of a
        // set keep their order whatever their strips.
        double idx[3], centre[3];
        idx[a] = k;
        idx[b1] = 0.5 * (lo[b1] + hi[b1]);
        idx[b2] = 0.5 * (lo[b2] + hi[b2]);
        indexToScene(v.tr, idx[0], idx[1], idx[2], centre);
        float dist = distance(cam.eye, static_cast<float>(centre[0]), static_cast<float>(centre[1]),
                              static_cast<float>(centre[2]));
        R.slice.clear();
        for (int si = s0; si < s1; ++si) {
            const Strip &st = g->strips[a][si];
            Strip c{std::max(st.u0, lo[b1]), std::min(st.u1, hi[b1]), std::max(st.w0, lo[b2]),
                    std::min(st.w1, hi[b2])};
            if (c.u0 < c.u1 && c.w0 < c.w1)
                R.slice.push_back(c);
        }
        for (size_t si = 0; si < R.slice.size(); ++si) {
            const Strip &c = R.slice[si];
            // Where a neighbouring strip shares this one's row boundary,
            // its corners are put on that edge too, so that both sides
            // meet vertex to vertex and no pixel is blended twice or missed.
            int bottom[2], top[2], nb = 0, nt = 0;
            if (si > 0 && R.slice[si - 1].u1 == c.u0)
                for (int w : {R.slice[si - 1].w0, R.slice[si - 1].w1})
                    if (w > c.w0 && w < c.w1)
                        bottom[nb++] = w;
            if (si + 1 < R.slice.size() && R.slice[si + 1].u0 == c.u1)
                for (int w : {R.slice[si + 1].w1, R.slice[si + 1].w0})
                    if (w > c.w0 && w < c.w1)
                        top[nt++] = w;
            // The outline, anticlockwise in (u, w).
            int uu[8], ww[8], m = 0;
            uu[m] = c.u0, ww[m++] = c.w0;
            for (int i = 0; i < nb; ++i)
                uu[m] = c.u0, ww[m++] = bottom[i];
            uu[m] = c.u0, ww[m++] = c.w1;
            uu[m] = c.u1, ww[m++] = c.w1;
            for (int i = 0; i < nt; ++i)
                uu[m] = c.u1, ww[m++] = top[i];
            uu[m] = c.u1, ww[m++] = c.w0;
            ClipVertex q[8];
            for (int e = 0; e < m; ++e) {
                q[e].x[a] = k;
                q[e].x[b1] = uu[e];
                q[e].x[b2] = ww[e];
                indexToScene(v.tr, q[e].x[0], q[e].x[1], q[e].x[2], q[e].p);
            }
            addBrickPieces(g->bricking, q, m, dist, kVolume, 1.0f, swizzle, bind);
        }
    }
}

} // namespace vq::draw
