// Turning a panel's lists into vertices: opaque batches, and transparent
// items (facets, textured polygon pieces, slice pieces) with their sort
// distances and bindings, in runs. No GL calls: the bricks to cut into,
// the colour lookups and the occupancy come through BatchResources.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "vec3.h"
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
                    const int swizzle[3], Bind bind, bool leftOut = false)
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
        // A polygon on a shared plane belongs to the brick that draws it;
        // one between two voxel planes to the brick that holds both.
        if (hi == lo)
            first[a] = last[a] = ax.brickOf(std::clamp(static_cast<int>(std::floor(lo)), 0, ax.n - 1));
    }
    ClipVertex piece[80];
    for (int b0 = first[0]; b0 <= last[0]; ++b0)
        for (int b1 = first[1]; b1 <= last[1]; ++b1)
            for (int b2 = first[2]; b2 <= last[2]; ++b2) {
                GpuBrick &b = bk.at(b0, b1, b2);
                // Bricks left out hold nothing that shows, unless asked for.
                if (!b.tex && !leftOut)
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

void addTexPolys(Scene &s, const PrimList &l, const double eye[3], const BatchResources &res)
{
    static const int straight[3] = {0, 1, 2};
    for (const TexPoly &tp : l.texPolys) {
        if (tp.v.size() < 3 || tp.t.size() < tp.v.size())
            continue;
        GpuTexture *g = res.texture(s, tp.tex);
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
        float alpha = std::clamp(tp.alpha, 0.0f, 1.0f);
        size_t firstItem = R.items.size();
        // Drawn from values, the bricks whose texels show nothing may show.
        addBrickPieces(g->bricking, v, n, dist, kTex, alpha, straight,
                       [](const GpuBrick &b) { return static_cast<int>(b.tex); }, t.values >= 0);
        if (R.items.size() == firstItem)
            continue;
        // Remembered for finding stacks (mode 's' is the only one drawn).
        int poly = static_cast<int>(R.polys.size());
        R.polys.push_back({tp.tex, alpha, static_cast<int>(R.polyVerts.size()), n});
        R.polyVerts.insert(R.polyVerts.end(), v, v + n);
        for (size_t i = firstItem; i < R.items.size(); ++i)
            R.items[i].poly = poly;
    }
}

// ---- Stacks of textured polygons ------------------------------------------------

namespace {

// Newell's normal of a polygon's index coordinates: its length is twice
// the polygon's area.
void newell(const ClipVertex *v, int n, double out[3])
{
    out[0] = out[1] = out[2] = 0;
    for (int e = 0; e < n; ++e) {
        const double *a = v[e].x, *b = v[(e + 1) % n].x;
        out[0] += (a[1] - b[1]) * (a[2] + b[2]);
        out[1] += (a[2] - b[2]) * (a[0] + b[0]);
        out[2] += (a[0] - b[0]) * (a[1] + b[1]);
    }
}

// Whether the polygon is the whole of its plane inside the texture's box
// 0..size-1 of index space: convex, inside the box, and of the same area
// as the plane's cut through it. Then a ray meets the polygon wherever it
// meets the plane inside the box.
bool coversPlane(const ClipVertex *v, int n, const int size[3], const double normal[3])
{
    const double eps = 1e-3;
    for (int e = 0; e < n; ++e)
        for (int a = 0; a < 3; ++a)
            if (!(v[e].x[a] >= -eps && v[e].x[a] <= size[a] - 1 + eps))
                return false;
    for (int e = 0; e < n; ++e) {
        const double *a = v[e].x, *b = v[(e + 1) % n].x, *c = v[(e + 2) % n].x;
        double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]}, w[3] = {c[0] - b[0], c[1] - b[1], c[2] - b[2]};
        double turn[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
        // Cut points close together turn by noise; the area check below
        // still has the last word.
        if (dot3(turn, normal) < -1e-4 * std::sqrt(dot3(u, u) * dot3(w, w)))
            return false;
    }
    double nn[3];
    newell(v, n, nn);
    double area = 0.5 * std::sqrt(dot3(nn, nn));
    // The plane's cut: a large square in the plane clipped to the box.
    double centre[3] = {0, 0, 0};
    for (int e = 0; e < n; ++e)
        for (int a = 0; a < 3; ++a)
            centre[a] += v[e].x[a] / n;
    int least = 0;
    for (int a = 1; a < 3; ++a)
        if (std::fabs(normal[a]) < std::fabs(normal[least]))
            least = a;
    double axis[3] = {0, 0, 0};
    axis[least] = 1;
    double u[3] = {normal[1] * axis[2] - normal[2] * axis[1], normal[2] * axis[0] - normal[0] * axis[2],
                   normal[0] * axis[1] - normal[1] * axis[0]};
    double ul = std::sqrt(dot3(u, u));
    double w[3] = {normal[1] * u[2] - normal[2] * u[1], normal[2] * u[0] - normal[0] * u[2],
                   normal[0] * u[1] - normal[1] * u[0]};
    double wl = std::sqrt(dot3(w, w));
    double reach = 4.0 * (size[0] + size[1] + size[2]);
    ClipVertex square[4], cut[80];
    for (int c = 0; c < 4; ++c) {
        double su = (c == 0 || c == 3) ? -reach : reach, sw = c < 2 ? -reach : reach;
        for (int a = 0; a < 3; ++a)
            square[c].x[a] = square[c].p[a] = centre[a] + su * u[a] / ul + sw * w[a] / wl;
    }
    double lo[3] = {0, 0, 0}, hi[3] = {size[0] - 1.0, size[1] - 1.0, size[2] - 1.0};
    int m = clipToBox(square, 4, lo, hi, cut);
    if (m < 3)
        return false;
    newell(cut, m, nn);
    double full = 0.5 * std::sqrt(dot3(nn, nn));
    return std::fabs(area - full) <= 1e-3 * full + 1e-6;
}

// Solves the affine map taking scene positions onto index coordinates
// from four points that span space; rows of a 3 x 4 matrix.
bool fitAffine(const ClipVertex *pts[4], double out[12])
{
    double m[4][7];
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 3; ++c) {
            m[r][c] = pts[r]->p[c];
            m[r][4 + c] = pts[r]->x[c];
        }
        m[r][3] = 1;
    }
    for (int c = 0; c < 4; ++c) {
        int pivot = c;
        for (int r = c + 1; r < 4; ++r)
            if (std::fabs(m[r][c]) > std::fabs(m[pivot][c]))
                pivot = r;
        if (!(std::fabs(m[pivot][c]) > 1e-12))
            return false;
        for (int k = 0; k < 7; ++k)
            std::swap(m[c][k], m[pivot][k]);
        for (int r = 0; r < 4; ++r) {
            if (r == c)
                continue;
            double f = m[r][c] / m[c][c];
            for (int k = 0; k < 7; ++k)
                m[r][k] -= f * m[c][k];
        }
    }
    // Row c now says m[c][c] * coefficient c = right-hand side.
    for (int out3 = 0; out3 < 3; ++out3) {
        for (int c = 0; c < 3; ++c)
            out[out3 * 4 + 1 + c] = m[c][4 + out3] / m[c][c];
        out[out3 * 4] = m[3][4 + out3] / m[3][3];
    }
    return true;
}

// The inverse of an affine map in the same layout.
bool invertAffine(const double m[12], double out[12])
{
    const double a = m[1], b = m[2], c = m[3], d = m[5], e = m[6], f = m[7], g = m[9], h = m[10], i = m[11];
    double det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
    if (!(std::fabs(det) > 1e-300))
        return false;
    double inv[9] = {(e * i - f * h) / det, (c * h - b * i) / det, (b * f - c * e) / det,
                     (f * g - d * i) / det, (a * i - c * g) / det, (c * d - a * f) / det,
                     (d * h - e * g) / det, (b * g - a * h) / det, (a * e - b * d) / det};
    for (int r = 0; r < 3; ++r) {
        out[r * 4 + 1] = inv[r * 3];
        out[r * 4 + 2] = inv[r * 3 + 1];
        out[r * 4 + 3] = inv[r * 3 + 2];
        out[r * 4] = -(inv[r * 3] * m[0] + inv[r * 3 + 1] * m[4] + inv[r * 3 + 2] * m[8]);
    }
    return true;
}

void applyAffine(const double m[12], const double p[3], double out[3])
{
    for (int r = 0; r < 3; ++r)
        out[r] = m[r * 4] + m[r * 4 + 1] * p[0] + m[r * 4 + 2] * p[1] + m[r * 4 + 3] * p[2];
}

// One past the last item of the polygon whose items start at i.
size_t polyEnd(size_t i)
{
    size_t j = i + 1;
    while (j < R.items.size() && R.items[j].poly == R.items[i].poly && R.items[j].program == kTex)
        ++j;
    return j;
}

} // namespace

void findStacks(const Scene &s, const double eye[3], int minPlanes)
{
    R.stacks.clear();
    const std::vector<Transparent> &items = R.items;
    size_t i = 0;
    while (i < items.size()) {
        if (items[i].program != kTex || items[i].poly < 0) {
            ++i;
            continue;
        }
        const PolyInfo &first = R.polys[items[i].poly];
        const Texture3D &t = s.textures[first.tex];
        int size[3] = {t.nx, t.ny, t.nz};
        const ClipVertex *v0 = &R.polyVerts[first.first];
        Stack st{};
        newell(v0, first.count, st.normal);
        double len = std::sqrt(dot3(st.normal, st.normal));
        size_t next = polyEnd(i);
        if (!(len > 0) || size[0] < 2 || size[1] < 2 || size[2] < 2 ||
            !coversPlane(v0, first.count, size, st.normal)) {
            i = next;
            continue;
        }
        for (double &c : st.normal)
            c /= len;
        st.firstItem = static_cast<int>(i);
        st.tex = first.tex;
        st.alpha = first.alpha;
        st.blend = s.textures[first.tex].blend;
        st.shade = s.textures[first.tex].shade;
        st.d0 = dot3(st.normal, v0[0].x);
        st.planes = 1;
        const double tol = 1e-3;
        int lastPoly = items[i].poly;
        size_t j = next;
        while (j < items.size() && items[j].program == kTex && items[j].poly >= 0) {
            const PolyInfo &p = R.polys[items[j].poly];
            if (p.tex != st.tex || p.alpha != st.alpha)
                break;
            const ClipVertex *v = &R.polyVerts[p.first];
            double d = dot3(st.normal, v[0].x);
            if (st.planes == 1) {
                st.step = d - st.d0;
                if (!(std::fabs(st.step) > 1e-6))
                    break;
            }
            double want = st.d0 + st.planes * st.step;
            bool on = std::fabs(d - want) <= tol * std::fabs(st.step);
            for (int e = 1; e < p.count && on; ++e)
                on = std::fabs(dot3(st.normal, v[e].x) - want) <= tol * std::fabs(st.step) + 1e-6;
            if (!on || !coversPlane(v, p.count, size, st.normal))
                break;
            lastPoly = items[j].poly;
            ++st.planes;
            // The spacing from the farthest planes apart: corners come in
            // floats, so the first two alone would drift along a long stack.
            st.step = (d - st.d0) / (st.planes - 1);
            j = polyEnd(j);
        }
        if (st.planes < minPlanes) {
            i = next;
            continue;
        }
        st.itemCount = static_cast<int>(j - i);
        i = j;
        // One affine map from scene to index space must give every corner.
        const PolyInfo &last = R.polys[lastPoly];
        const ClipVertex *vl = &R.polyVerts[last.first];
        int far1 = 1, far2 = 2;
        double best = 0;
        for (int e = 1; e < first.count; ++e) {
            double d[3] = {v0[e].x[0] - v0[0].x[0], v0[e].x[1] - v0[0].x[1], v0[e].x[2] - v0[0].x[2]};
            if (dot3(d, d) > best)
                best = dot3(d, d), far1 = e;
        }
        best = 0;
        for (int e = 1; e < first.count; ++e) {
            double u[3], w[3], c[3];
            for (int a = 0; a < 3; ++a) {
                u[a] = v0[far1].x[a] - v0[0].x[a];
                w[a] = v0[e].x[a] - v0[0].x[a];
            }
            c[0] = u[1] * w[2] - u[2] * w[1];
            c[1] = u[2] * w[0] - u[0] * w[2];
            c[2] = u[0] * w[1] - u[1] * w[0];
            if (dot3(c, c) > best)
                best = dot3(c, c), far2 = e;
        }
        const ClipVertex *pts[4] = {&v0[0], &v0[far1], &v0[far2], &vl[0]};
        if (!fitAffine(pts, st.toIndex) || !invertAffine(st.toIndex, st.fromIndex))
            continue;
        bool fits = true;
        for (int k = st.firstItem; k < st.firstItem + st.itemCount && fits; k = static_cast<int>(polyEnd(k))) {
            const PolyInfo &p = R.polys[items[k].poly];
            for (int e = 0; e < p.count && fits; ++e) {
                const ClipVertex &c = R.polyVerts[p.first + e];
                double x[3];
                applyAffine(st.toIndex, c.p, x);
                for (int a = 0; a < 3; ++a)
                    fits = fits && std::fabs(x[a] - c.x[a]) <= 5e-3 * (1 + size[a] * 1e-3);
            }
        }
        if (!fits)
            continue;
        // Every ray must meet the planes in the order they are drawn: the
        // eye lies beyond the nearest plane, on the far planes' other side.
        double e[3];
        applyAffine(st.toIndex, eye, e);
        double sFar = st.d0 - dot3(st.normal, e), sNear = st.d0 + (st.planes - 1) * st.step - dot3(st.normal, e);
        if (!((sFar > 0) == (sNear > 0) && sNear != 0 && std::fabs(sNear) < std::fabs(sFar)))
            continue;
        R.stacks.push_back(st);
    }
}

void findSliceStacks(const Scene &s, const double eye[3], int minPlanes)
{
    (void)s;
    const std::vector<Transparent> &items = R.items;
    size_t before = R.stacks.size();
    size_t i = 0;
    while (i < items.size()) {
        if (items[i].program != kVolume || items[i].slice < 0) {
            ++i;
            continue;
        }
        const SliceRef first = R.sliceRefs[items[i].slice];
        const SliceSet &set = R.sliceSets[first.set];
        // The slices that follow in one direction along the axis, a slice
        // being all its consecutive items (strips, bricks).
        int planes = 1, step = 0, last = first.k;
        size_t j = i + 1;
        while (j < items.size() && items[j].program == kVolume && items[j].slice >= 0) {
            const SliceRef &r = R.sliceRefs[items[j].slice];
            if (r.set != first.set)
                break;
            if (r.k != last) {
                int d = r.k - last;
                if (step == 0)
                    step = d > 0 ? R.planeStride : -R.planeStride;
                if ((d > 0) != (step > 0) || d % step != 0)
                    break;
                planes += d / step;
                last = r.k;
            }
            ++j;
        }
        size_t next = j;
        if (planes < minPlanes || step == 0) {
            i = next;
            continue;
        }
        Stack st{};
        st.firstItem = static_cast<int>(i);
        st.itemCount = static_cast<int>(j - i);
        st.tex = -1;
        st.set = first.set;
        st.shade = R.bindings[set.binding].shade;
        st.alpha = 1.0f;
        st.planes = planes;
        for (int a = 0; a < 3; ++a)
            st.normal[a] = a == set.axis ? 1.0 : 0.0;
        st.d0 = first.k;
        st.step = step;
        std::copy(set.tr, set.tr + 12, st.fromIndex);
        i = next;
        if (!invertAffine(st.fromIndex, st.toIndex))
            continue;
        // The eye beyond the nearest slice, on the far slices' other side.
        double e[3];
        applyAffine(st.toIndex, eye, e);
        double sFar = st.d0 - e[set.axis], sNear = st.d0 + (st.planes - 1) * st.step - e[set.axis];
        if (!((sFar > 0) == (sNear > 0) && sNear != 0 && std::fabs(sNear) < std::fabs(sFar)))
            continue;
        R.stacks.push_back(st);
    }
    if (R.stacks.size() > before)
        std::inplace_merge(R.stacks.begin(), R.stacks.begin() + static_cast<std::ptrdiff_t>(before),
                           R.stacks.end(),
                           [](const Stack &a, const Stack &b) { return a.firstItem < b.firstItem; });
}

// The program that draws a stack: composited ones take a variant without
// the projections' uniforms, shaded or not.
Program stackProgram(const Stack &st)
{
    const bool composite = st.blend == kBlendComposite;
    if (st.set >= 0)
        return st.shade ? kStackGridShaded : kStackGrid;
    if (st.binding >= 0)
        return !composite ? kStackValues : st.shade ? kStackValuesShaded : kStackValuesPlain;
    return !composite ? kStack : st.shade ? kStackShaded : kStackPlain;
}

// The bricks of a stack in an order that draws each ray's far bricks
// first: along a ray the brick index moves away from the eye's on every
// axis, so the sum of those distances only grows.
void addStackDraws(int stack, const Bricking &bk, const std::vector<uint8_t> &occupancy, const int occSize[3],
                   const std::vector<uint32_t> *fills, const int size[3], const double eye[3],
                   std::vector<Vert> &out)
{
    const Stack &st = R.stacks[stack];
    const SliceSet *set = st.set >= 0 ? &R.sliceSets[st.set] : nullptr;
    double e[3];
    applyAffine(st.toIndex, eye, e);
    int cell[3];
    for (int a = 0; a < 3; ++a) {
        const BrickAxis &ax = bk.axes[a];
        cell[a] = e[a] < 0 ? -1 : e[a] >= size[a] - 1 ? ax.count : ax.brickOf(static_cast<int>(std::floor(e[a])));
    }
    struct Entry {
        int order;
        int b[3];
    };
    std::vector<Entry> order;
    // The minimum and the mean take every sample of the box: the bricks
    // left out as all one transparent texel too, and the empty cells.
    const bool whole = st.blend == kBlendMinimum || st.blend == kBlendMean;
    for (int b0 = 0; b0 < bk.axes[0].count; ++b0)
        for (int b1 = 0; b1 < bk.axes[1].count; ++b1)
            for (int b2 = 0; b2 < bk.axes[2].count; ++b2)
                if (bk.at(b0, b1, b2).tex || whole)
                    order.push_back({std::abs(b0 - cell[0]) + std::abs(b1 - cell[1]) + std::abs(b2 - cell[2]),
                                     {b0, b1, b2}});
    std::stable_sort(order.begin(), order.end(), [](const Entry &a, const Entry &b) { return a.order > b.order; });
    for (const Entry &en : order) {
        const GpuBrick &b = bk.at(en.b[0], en.b[1], en.b[2]);
        StackDraw d{};
        d.stack = stack;
        d.tex = b.tex;
        uint32_t fill = fills ? (*fills)[&b - bk.bricks.data()] : 0;
        for (int c = 0; c < 4; ++c)
            d.fill[c] = static_cast<float>((fill >> (8 * c)) & 0xff) / 255.0f;
        double lo[3], hi[3];
        for (int a = 0; a < 3; ++a) {
            const BrickAxis &ax = bk.axes[a];
            // Half-open shares, the outermost ones a little beyond the
            // texture so that its faces belong to them.
            lo[a] = en.b[a] == 0 ? -1e-3 : ax.start(en.b[a]);
            hi[a] = en.b[a] == ax.count - 1 ? size[a] - 1 + 1e-3 : ax.start(en.b[a]) + ax.core;
            // A slice set covers its index ranges only.
            if (set) {
                lo[a] = std::max(lo[a], set->lo[a] - 1e-3);
                hi[a] = std::min(hi[a], set->hi[a] + 1e-3);
            }
            d.origin[a] = static_cast<float>(b.o[a]);
            d.size[a] = static_cast<float>(b.n[a]);
        }
        if (set && !(lo[0] < hi[0] && lo[1] < hi[1] && lo[2] < hi[2]))
            continue;
        // Only the part with visible cells is drawn: the rays outside it,
        // and the parts of rays outside it, would step over empty cells.
        if (!whole && !shrinkToOccupied(occupancy.data(), occSize, kCell, lo, hi))
            continue;
        for (int a = 0; a < 3; ++a) {
            d.lo[a] = static_cast<float>(lo[a]);
            d.hi[a] = static_cast<float>(hi[a]);
        }
        int key = static_cast<int>(R.stackDraws.size());
        R.stackDraws.push_back(d);
        // The faces the eye sees from inside: together they cover the box's
        // outline once.
        size_t start = out.size();
        for (int a = 0; a < 3; ++a)
            for (int side = 0; side < 2; ++side) {
                double plane = side ? hi[a] : lo[a];
                bool back = side ? e[a] < plane : e[a] > plane;
                if (!back)
                    continue;
                int b1 = (a + 1) % 3, b2 = (a + 2) % 3;
                Vert q[4];
                for (int c = 0; c < 4; ++c) {
                    double x[3], p[3];
                    x[a] = plane;
                    x[b1] = (c == 1 || c == 2) ? hi[b1] : lo[b1];
                    x[b2] = c >= 2 ? hi[b2] : lo[b2];
                    applyAffine(st.fromIndex, x, p);
                    q[c] = vertAt(p[0], p[1], p[2]);
                }
                for (int c : {0, 1, 2, 0, 2, 3})
                    out.push_back(q[c]);
            }
        int count = static_cast<int>(out.size() - start);
        Program program = stackProgram(st);
        R.runs.push_back({program, key, static_cast<int>(start), count});
    }
}

// A grid's colour range as its draws bind it: the look-up table, and the
// mapping of the grid's texels onto v's data range; no brick yet.
VolumeBinding rangeBinding(const Volume &v, const GpuVolume &g, const Lut &lut)
{
    float scale = v.dmax > v.dmin ? 1.0f / (v.dmax - v.dmin) : 1.0f;
    int entries = static_cast<int>(lut.colours.size());
    return {0, lut.tex, v.dmax > v.dmin, entries, g.code.lo, g.code.hi - g.code.lo, v.dmin, scale};
}

GpuVolume *textureValues(const Scene &s, Stack &st, const BatchResources &res)
{
    const Texture3D &t = s.textures[st.tex];
    if (t.values < 0 || t.values >= static_cast<int>(s.volumes.size()))
        return nullptr;
    const Volume &v = s.volumes[t.values];
    if (v.nx != t.nx || v.ny != t.ny || v.nz != t.nz)
        return nullptr;
    GpuVolume *g = res.volume(s, t.values);
    if (g == nullptr)
        return nullptr;
    Lut *lut = res.lut(s, t.values, t.valueLo, t.valueHi, v.amin, v.amax, false);
    int lutSize = static_cast<int>(lut->colours.size());
    st.binding = static_cast<int>(R.bindings.size());
    R.bindings.push_back(rangeBinding(v, *g, *lut));
    st.grid = sameGrid(s, t.values);
    // The rays step over the cells that cannot change what they gather:
    // all below the range for the maximum, all that shows nothing else.
    float thr = st.blend == kBlendMaximum ? v.dmin : visibleThreshold(v, lutSize);
    if (!g->haveOccupancy || !(g->occThreshold == thr))
        res.gridOccupancy(*g, thr);
    return g;
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

void gradientToScene(const double m[12], const int textureAxis[3], float out[9])
{
    // The linear part's inverse transpose takes index gradients to scene
    // ones; a gradient's component along texture axis textureAxis[a] is
    // the one along index axis a.
    double a[3][3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            a[r][c] = m[r * 4 + 1 + c];
    double cof[3][3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            int r1 = (r + 1) % 3, r2 = (r + 2) % 3, c1 = (c + 1) % 3, c2 = (c + 2) % 3;
            cof[r][c] = a[r1][c1] * a[r2][c2] - a[r1][c2] * a[r2][c1];
        }
    double det = a[0][0] * cof[0][0] + a[0][1] * cof[0][1] + a[0][2] * cof[0][2];
    for (int i = 0; i < 9; ++i)
        out[i] = 0;
    if (!(std::fabs(det) > 0))
        return;
    // inverse transpose = cofactors / det; row r, index column c.
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            out[textureAxis[c] * 3 + r] = static_cast<float>(cof[r][c] / det);
}

// The slices of one slice set: slice k lies at voxel index k along the
// set's axis; each covers the part of its plane that can show anything.
void addVolumeDraw(const Scene &s, const Camera &cam, const VolumeDraw &d, const BatchResources &res)
{
    if (d.vol < 0 || d.vol >= static_cast<int>(s.volumes.size()) || d.axis < 1 || d.axis > 3)
        return;
    const Volume &v = s.volumes[d.vol];
    if (!sliceSetShown(cam, v, d))
        return;
    // A projection shows its values at full opacity, whatever the ramp; in
    // outlines it is drawn as the slices are.
    const int blend = s.renderMode == 0 ? kBlendComposite : v.blend;
    if (blend == kBlendComposite && !(v.amax > 0) && !(v.amin > 0))
        return;
    GpuVolume *g = res.volume(s, d.vol);
    if (g == nullptr)
        return;
    const bool labels = v.labels && blend == kBlendComposite;
    Lut *lut = res.lut(s, d.vol, d.lo, d.hi, v.amin, v.amax, labels);
    int lutSize = static_cast<int>(lut->colours.size());
    // One binding per brick this draw uses, made when first needed.
    R.brickBinding.assign(g->bricking.bricks.size(), -1);
    VolumeBinding proto = rangeBinding(v, *g, *lut);
    proto.blend = blend;
    proto.group = sameGrid(s, d.vol);
    proto.shade = v.shade && blend == kBlendComposite && !labels;
    proto.labels = labels;
    if (proto.shade) {
        static const int textureAxis[3] = {2, 1, 0};
        gradientToScene(v.tr, textureAxis, proto.gradToScene);
    }
    const Program program = blend == kBlendComposite ? kVolume : kProject;
    // The minimum and the mean take every sample of the box, the bricks
    // left out too; the maximum, like compositing, what reaches dmin.
    const bool whole = blend == kBlendMinimum || blend == kBlendMean;
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
    // The set, for drawing runs of its slices in one pass (composited and
    // shaded or not: projections and labels keep their slices).
    int set = program == kVolume && !labels ? static_cast<int>(R.sliceSets.size()) : -1;
    if (set >= 0) {
        SliceSet ss{};
        ss.grid = sameGrid(s, d.vol);
        ss.binding = static_cast<int>(R.bindings.size());
        R.bindings.push_back(proto);
        ss.axis = d.axis - 1;
        for (int a = 0; a < 3; ++a) {
            ss.lo[a] = lo[a];
            ss.hi[a] = hi[a];
        }
        for (int e = 0; e < 12; ++e)
            ss.tr[e] = v.tr[e];
        R.sliceSets.push_back(ss);
    }
    // Untrimmed: every voxel counts as showing, so each slice is one strip
    // over its whole plane.
    float thr = !renderSettings.trimSlices || whole ? -INFINITY
                : blend == kBlendMaximum            ? v.dmin
                                                    : visibleThreshold(v, lutSize);
    if (!g->haveStrips || !(g->threshold == thr) || g->stripRows != renderSettings.stripRows)
        computeStrips(*g, thr);
    int a = d.axis - 1, b1 = a == 0 ? 1 : 0, b2 = a == 2 ? 1 : 2;
    for (int k = lo[a]; k <= hi[a]; k += R.planeStride) {
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
        int ref = set >= 0 ? static_cast<int>(R.sliceRefs.size()) : -1;
        if (set >= 0)
            R.sliceRefs.push_back({set, k});
        size_t firstItem = R.items.size();
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
            addBrickPieces(g->bricking, q, m, dist, program, 1.0f, swizzle, bind, whole);
        }
        for (size_t i = firstItem; i < R.items.size(); ++i)
            R.items[i].slice = ref;
    }
}

// Planes through a grid, each cut into the pieces of the bricks it
// crosses and sorted with the other transparent items at its centre's
// distance; planes of equal distance keep the order they were drawn in.
void addGridPlanes(const Scene &s, const PrimList &l, const double eye[3], const BatchResources &res)
{
    static const int swizzle[3] = {2, 1, 0}; // bricks hold k fastest, i slowest
    for (const GridPlane &gp : l.planes) {
        if (gp.vol < 0 || gp.vol >= static_cast<int>(s.volumes.size()) || gp.v.size() < 3 ||
            gp.t.size() < gp.v.size())
            continue;
        const Volume &v = s.volumes[gp.vol];
        GpuVolume *g = res.volume(s, gp.vol);
        if (g == nullptr)
            continue;
        Lut *lut = res.lut(s, gp.vol, gp.lo, gp.hi, v.amin, v.amax, false);
        PlaneBinding proto{rangeBinding(v, *g, *lut), gp.alpha, gp.linear};
        ClipVertex c[64];
        int n = static_cast<int>(std::min<size_t>(gp.v.size(), 64));
        float cx = 0, cy = 0, cz = 0;
        for (int e = 0; e < n; ++e) {
            const Vec3 &p = gp.v[e], &t = gp.t[e];
            cx += p.x, cy += p.y, cz += p.z;
            c[e] = ClipVertex{{t.x, t.y, t.z}, {p.x, p.y, p.z}};
        }
        float dist = distance(eye, cx / n, cy / n, cz / n);
        addBrickPieces(g->bricking, c, n, dist, kPlane, gp.alpha, swizzle, [&](const GpuBrick &b) {
            R.planeBindings.push_back(proto);
            R.planeBindings.back().vb.grid = b.tex;
            return static_cast<int>(R.planeBindings.size()) - 1;
        });
    }
}

// The brick draws of stack `stack`, from its slice set's grid, the grid
// its texture takes its values from, or the texture's own bricks.
void addStack(Scene &s, int stack, const double eye[3], std::vector<Vert> &all, const BatchResources &res)
{
    Stack &st = R.stacks[stack];
    if (st.set >= 0) {
        GpuVolume *g = res.volume(s, R.sliceSets[st.set].grid);
        if (g == nullptr)
            return;
        if (!g->haveOccupancy || !(g->occThreshold == g->threshold))
            res.gridOccupancy(*g, g->threshold);
        int size[3] = {g->nx, g->ny, g->nz};
        addStackDraws(stack, g->bricking, g->occupancy, g->occSize, nullptr, size, eye, all);
    } else if (GpuVolume *values = textureValues(s, st, res)) {
        int size[3] = {values->nx, values->ny, values->nz};
        addStackDraws(stack, values->bricking, values->occupancy, values->occSize, nullptr, size, eye, all);
    } else if (const GpuTexture *g = res.texture(s, st.tex)) {
        const Texture3D &t = s.textures[st.tex];
        int size[3] = {t.nx, t.ny, t.nz};
        addStackDraws(stack, g->bricking, g->occupancy, g->occSize, &g->fill, size, eye, all);
    }
}

void clearBatchArrays()
{
    R.scratch.clear();
    R.items.clear();
    R.bindings.clear();
    R.planeBindings.clear();
    R.polys.clear();
    R.polyVerts.clear();
    R.stacks.clear();
    R.stackDraws.clear();
    R.sliceRefs.clear();
    R.sliceSets.clear();
    R.runs.clear();
    R.projectRuns.clear();
}

PanelVerts batchPanel(Scene &s, const Panel &panel, const Camera &cam, bool outlines, const BatchResources &res)
{
    Batches b;
    b.tris.swap(R.verts); // reuse capacity
    b.tris.clear();
    if (panel.box.enabled)
        addBox(b, panel.box, s.foreground);
    addOpaque(b, panel.staticList);
    addOpaque(b, panel.frameList);

    clearBatchArrays();
    for (const PrimList *l : {&panel.staticList, &panel.frameList}) {
        addTransparentFacets(*l, cam.eye);
        addTexPolys(s, *l, cam.eye, res);
        addGridPlanes(s, *l, cam.eye, res);
        for (const VolumeDraw &d : l->volumes)
            addVolumeDraw(s, cam, d, res);
    }
    std::stable_sort(R.items.begin(), R.items.end(),
                     [](const Transparent &a, const Transparent &b) { return a.dist > b.dist; });

    std::vector<Vert> &all = b.tris;
    PanelVerts verts;
    verts.triCount = all.size();
    verts.lineFirst = all.size();
    all.insert(all.end(), b.lines.begin(), b.lines.end());
    verts.pointFirst = all.size();
    all.insert(all.end(), b.points.begin(), b.points.end());
    verts.transFirst = all.size();
    // Stacks of textured polygons are drawn in one pass where nothing
    // opaque is there to hide part of a ray and the polygons are filled.
    if (renderSettings.onePass && !outlines) {
        findStacks(s, cam.eye, 3);
        findSliceStacks(s, cam.eye, 3);
    }
    size_t nextStack = 0;
    for (size_t i = 0; i < R.items.size(); ++i) {
        if (nextStack < R.stacks.size() && R.stacks[nextStack].firstItem == static_cast<int>(i)) {
            addStack(s, static_cast<int>(nextStack), cam.eye, all, res);
            i += R.stacks[nextStack].itemCount - 1;
            ++nextStack;
            continue;
        }
        const Transparent &t = R.items[i];
        int first = static_cast<int>(all.size());
        all.insert(all.end(), R.scratch.begin() + t.first, R.scratch.begin() + t.first + t.count);
        std::vector<Run> &runs = t.program == kProject ? R.projectRuns : R.runs;
        if (!runs.empty() && runs.back().program == t.program && runs.back().key == t.key)
            runs.back().count += t.count;
        else
            runs.push_back({t.program, t.key, first, t.count});
    }
    R.verts.swap(all);
    return verts;
}

} // namespace vq::draw
