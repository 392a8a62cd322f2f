// Drawing primitives: each call maps its points at once and appends to the
// current panel's static list, or to its frame list inside a frame callback.
#include <cmath>
#include <cstring>

#include "panels.h"

using namespace vq;

namespace {

PrimList &currentList(Scene &s)
{
    Panel &p = currentPanel(s);
    return s.inFrame ? p.frameList : p.staticList;
}

Rgb rgbOf(Colour3 c)
{
    auto f = [](double v) { return std::isfinite(v) ? static_cast<float>(v < 0 ? 0 : v > 1 ? 1 : v) : 0.0f; };
    return {f(c.r), f(c.g), f(c.b)};
}

Vec3 mapP(const Panel &p, const Point3 &q)
{
    return mapPoint(p, q.x, q.y, q.z);
}

// Opacity in 0..1; a value that is not a number counts as opaque.
float alphaOf(float a)
{
    if (std::isnan(a))
        return 1;
    return a < 0 ? 0 : a > 1 ? 1 : a;
}

// A polygon passed to nvqtexpoly3d larger than this is refused: a plane
// cuts a box in at most six points, so this leaves plenty of room.
const int kMaxPolyVertices = 64;

// The n world points of three coordinate arrays, mapped into the panel.
std::vector<Vec3> mapPoints(const Panel &p, int n, const float *x, const float *y, const float *z)
{
    std::vector<Vec3> out;
    out.reserve(n);
    for (int i = 0; i < n; i++)
        out.push_back(mapPoint(p, x[i], y[i], z[i]));
    return out;
}

// A point set or polyline of the current panel: its n points mapped into
// the panel, in the current colour, under the current name.
template <typename Shape> Shape mappedShape(Scene &s, int n, const float *x, const float *y, const float *z)
{
    Shape shape;
    shape.p = mapPoints(currentPanel(s), n, x, y, z);
    shape.colour = s.colours[s.ci];
    shape.name = s.currentName;
    return shape;
}

// All three coordinate arrays are there; otherwise says so for `call`.
bool haveCoordinates(const char *call, const float *x, const float *y, const float *z)
{
    if (x && y && z)
        return true;
    sceneError("%s: missing coordinate array", call);
    return false;
}

// A facet of the current panel: its corners pts mapped into the panel, in
// colour col, under the current name.
Facet mappedFacet(Scene &s, const Point3 *pts, Colour3 col)
{
    const Panel &p = currentPanel(s);
    Facet f;
    for (int i = 0; i < 3; i++)
        f.p[i] = mapP(p, pts[i]);
    f.colour = rgbOf(col);
    f.name = s.currentName;
    return f;
}

} // namespace

extern "C" {

void pushVRMLname(const char *name)
{
    Scene &s = scene();
    std::string n = name ? name : "ANON";
    auto it = s.nameIndex.find(n);
    if (it != s.nameIndex.end()) {
        s.currentName = it->second;
        return;
    }
    s.names.push_back(n);
    s.currentName = static_cast<int>(s.names.size()) - 1;
    s.nameIndex.emplace(n, s.currentName);
}

void vqpt(int n, const float *x, const float *y, const float *z, int symbol)
{
    if (n < 1 || !haveCoordinates("vqpt", x, y, z))
        return;
    Scene &s = scene();
    PointSet ps = mappedShape<PointSet>(s, n, x, y, z);
    ps.size = s.lineWidth;
    ps.symbol = symbol;
    currentList(s).points.push_back(std::move(ps));
}

void vqline(int n, const float *x, const float *y, const float *z)
{
    if (n < 2 || !haveCoordinates("vqline", x, y, z))
        return;
    Scene &s = scene();
    Polyline pl = mappedShape<Polyline>(s, n, x, y, z);
    pl.width = s.lineWidth;
    currentList(s).lines.push_back(std::move(pl));
}

void nvqvthcline(Point3 p1, Point3 p2, Colour3 c1, Colour3 c2, float width)
{
    Scene &s = scene();
    const Panel &p = currentPanel(s);
    ThickLine t;
    t.a = mapP(p, p1);
    t.b = mapP(p, p2);
    t.ca = rgbOf(c1);
    t.cb = rgbOf(c2);
    t.width = std::isfinite(width) && width > 0 ? width : 1;
    t.name = s.currentName;
    currentList(s).thickLines.push_back(t);
}

void nvqvf3(const Point3 *pts, Colour3 col)
{
    if (!pts) {
        sceneError("nvqvf3: missing corner array");
        return;
    }
    Scene &s = scene();
    currentList(s).facets.push_back(mappedFacet(s, pts, col));
}

void nvqvf3n(const Point3 *pts, const Point3 *nrm, Colour3 col)
{
    if (!pts || !nrm) {
        sceneError("nvqvf3n: missing corner or normal array");
        return;
    }
    Scene &s = scene();
    Facet f = mappedFacet(s, pts, col);
    const Panel &p = currentPanel(s);
    for (int i = 0; i < 3; i++)
        f.n[i] = mapNormal(p, nrm[i].x, nrm[i].y, nrm[i].z);
    f.smooth = true;
    currentList(s).facets.push_back(f);
}

void nvqvf3a(const Point3 *pts, char kind, Colour3 col, float alpha)
{
    if (!pts) {
        sceneError("nvqvf3a: missing corner array");
        return;
    }
    Scene &s = scene();
    Facet f = mappedFacet(s, pts, col);
    f.alpha = alphaOf(alpha);
    f.transparent = f.alpha < 1;
    f.kind = kind;
    currentList(s).facets.push_back(f);
}

void nvqtexpoly3d(const Point3 *v, const Point3 *t, float n, int texid, char mode, float alpha)
{
    if (!std::isfinite(n))
        return;
    long k = std::lround(n);
    if (k < 1)
        return;
    if (k > kMaxPolyVertices) {
        sceneError("nvqtexpoly3d: %ld vertices is more than %d; polygon dropped", k, kMaxPolyVertices);
        return;
    }
    if (!v || !t) {
        sceneError("nvqtexpoly3d: missing vertex or texture coordinate array");
        return;
    }
    Scene &s = scene();
    if (texid < 0 || texid >= static_cast<int>(s.textures.size())) {
        sceneError("nvqtexpoly3d: no 3-d texture %d", texid);
        return;
    }
    const Panel &p = currentPanel(s);
    TexPoly tp;
    for (long i = 0; i < k; i++) {
        tp.v.push_back(mapP(p, v[i]));
        tp.t.push_back({static_cast<float>(t[i].x), static_cast<float>(t[i].y), static_cast<float>(t[i].z)});
    }
    tp.tex = texid;
    tp.mode = mode;
    tp.alpha = alphaOf(alpha);
    tp.name = s.currentName;
    currentList(s).texPolys.push_back(std::move(tp));
}

} // extern "C"
