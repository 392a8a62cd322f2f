// A digest of everything a frame shows, so that a window can leave a frame
// that shows nothing new undrawn. Fields are hashed one by one (never whole
// records, whose padding holds anything); arrays of plain floats in bulk.
#include <cstring>

#include "model.h"

namespace vq {

namespace {

struct Digest {
    uint64_t h = 0x9e3779b97f4a7c15ull;

    void mix(uint64_t v)
    {
        h ^= v + 0x9e3779b97f4a7c15ull + (h << 6) + (h >> 2);
        h *= 0xff51afd7ed558ccdull;
        h ^= h >> 33;
    }
    void bytes(const void *p, size_t n)
    {
        const auto *b = static_cast<const unsigned char *>(p);
        mix(n);
        for (; n >= 8; n -= 8, b += 8) {
            uint64_t v;
            std::memcpy(&v, b, 8);
            mix(v);
        }
        uint64_t tail = 0;
        std::memcpy(&tail, b, n);
        mix(tail);
    }
    void f(float v) { bytes(&v, sizeof v); }
    void d(double v) { bytes(&v, sizeof v); }
    void i(long v) { mix(static_cast<uint64_t>(v)); }
    void v3(const Vec3 &v) { f(v.x), f(v.y), f(v.z); }
    void rgb(const Rgb &c) { f(c.r), f(c.g), f(c.b); }
    void v3s(const std::vector<Vec3> &v)
    {
        static_assert(sizeof(Vec3) == 3 * sizeof(float), "Vec3 holds three floats and nothing else");
        bytes(v.data(), v.size() * sizeof(Vec3));
    }
    void box(const Box &b) { bytes(b.lo, sizeof b.lo), bytes(b.hi, sizeof b.hi); }
};

void digestList(Digest &g, const PrimList &l)
{
    g.i(static_cast<long>(l.planes.size()));
    for (const GridPlane &p : l.planes)
        g.i(p.vol), g.v3s(p.v), g.v3s(p.t), g.i(p.lo), g.i(p.hi), g.i(p.linear), g.f(p.alpha);
    g.i(static_cast<long>(l.points.size()));
    for (const PointSet &p : l.points)
        g.v3s(p.p), g.rgb(p.colour), g.f(p.size), g.i(p.symbol);
    g.i(static_cast<long>(l.lines.size()));
    for (const Polyline &p : l.lines)
        g.v3s(p.p), g.rgb(p.colour), g.f(p.width);
    g.i(static_cast<long>(l.thickLines.size()));
    for (const ThickLine &t : l.thickLines)
        g.v3(t.a), g.v3(t.b), g.rgb(t.ca), g.rgb(t.cb), g.f(t.width);
    g.i(static_cast<long>(l.facets.size()));
    for (const Facet &t : l.facets) {
        for (int k = 0; k < 3; k++)
            g.v3(t.p[k]), g.v3(t.n[k]);
        g.rgb(t.colour), g.f(t.alpha), g.i(t.smooth), g.i(t.transparent), g.i(t.kind);
    }
    g.i(static_cast<long>(l.texPolys.size()));
    for (const TexPoly &t : l.texPolys)
        g.v3s(t.v), g.v3s(t.t), g.i(t.tex), g.i(t.mode), g.f(t.alpha);
    g.i(static_cast<long>(l.volumes.size()));
    for (const VolumeDraw &v : l.volumes)
        g.i(v.vol), g.i(v.axis), g.i(v.lo), g.i(v.hi), g.i(v.glow), g.i(v.prc), g.f(v.glowPeriod);
    g.i(static_cast<long>(l.lineSets.size()));
    for (const LineSetDraw &d : l.lineSets)
        g.i(d.set), g.f(d.scale[0]), g.f(d.scale[1]), g.f(d.scale[2]), g.f(d.offset[0]), g.f(d.offset[1]),
            g.f(d.offset[2]);
}

} // namespace

uint64_t frameDigest(const Scene &s)
{
    Digest g;
    g.i(s.windowWidth), g.i(s.windowHeight), g.i(s.current), g.i(s.renderMode);
    g.rgb(s.background), g.rgb(s.foreground), g.rgb(s.lighting.ambient);
    for (const Light &l : s.lighting.lights)
        g.v3(l.pos), g.rgb(l.colour);
    static_assert(sizeof(Rgb) == 3 * sizeof(float), "Rgb holds three floats and nothing else");
    g.bytes(s.colours, sizeof s.colours);
    for (const Volume &v : s.volumes) {
        g.bytes(&v.grid, sizeof v.grid);
        g.i(v.version), g.i(v.nx), g.i(v.ny), g.i(v.nz), g.i(v.i1), g.i(v.i2), g.i(v.j1), g.i(v.j2);
        g.i(v.k1), g.i(v.k2), g.i(v.mode);
        g.bytes(v.tr, sizeof v.tr);
        g.f(v.dmin), g.f(v.dmax), g.f(v.amin), g.f(v.amax), g.i(v.blend), g.i(v.shade), g.i(v.labels);
    }
    for (const Texture3D &t : s.textures)
        g.i(t.version), g.i(t.nx), g.i(t.ny), g.i(t.nz), g.i(t.blend), g.i(t.shade);
    for (const LineSet &l : s.lineSets)
        g.i(l.version), g.i(l.nlines), g.i(l.npoints), g.i(l.colour), g.f(l.width);
    for (int p = 0; p < static_cast<int>(s.panels.size()); p++) {
        const Panel &q = s.panels[p];
        g.i(q.visible);
        if (!q.visible)
            continue;
        const Overlay &o = q.overlay;
        g.i(o.barLo), g.i(o.barHi), g.f(o.barAmin), g.f(o.barAmax), g.d(o.mmPerUnit);
        for (size_t t = 0; t < o.tickAt.size(); t++)
            g.f(o.tickAt[t]), g.bytes(o.tickText[t].data(), o.tickText[t].size());
        for (const std::string &l : o.axisLabels)
            g.bytes(l.data(), l.size()), g.i(0);
        g.bytes(o.line.data(), o.line.size()), g.i(0);
        for (const Overlay::Text &t : o.texts)
            if (!t.text.empty())
                g.f(t.fx), g.f(t.fy), g.f(t.ax), g.f(t.ay), g.i(t.colour),
                    g.bytes(t.text.data(), t.text.size()), g.i(0);
        g.d(q.fx1), g.d(q.fy1), g.d(q.fx2), g.d(q.fy2);
        g.box(q.viewport);
        const Camera &c = panelCamera(s, p);
        g.bytes(c.eye, sizeof c.eye), g.bytes(c.target, sizeof c.target), g.bytes(c.up, sizeof c.up);
        g.d(c.fovy), g.i(c.ortho), g.d(c.height);
        const BoxSpec &b = q.box;
        g.i(b.enabled);
        if (b.enabled) {
            for (int a = 0; a < 3; a++)
                g.bytes(b.opt[a].data(), b.opt[a].size()), g.f(b.tick[a]), g.i(b.nsub[a]);
            g.box(b.window), g.box(b.viewport);
        }
        digestList(g, q.staticList);
        digestList(g, q.frameList);
    }
    return g.h;
}

} // namespace vq
