// Surface drawing: one facet call per triangle, in the surface's colour or
// coloured by a per-vertex weight list, and the viewer's per-frame pass.
#include <cmath>
#include <cstdio>
#include <vector>

#include "obj.h"
#include "state.h"

namespace {

// Gathers the corners of triangle t; false when it names a vertex the
// surface does not have.
inline bool triangleCorners(const Obj *obj, int t, int idx[3], Point3 p[3])
{
    const int *f = obj->facets + 3 * static_cast<size_t>(t);
    for (int c = 0; c < 3; c++) {
        int n = f[c];
        if (n < 1 || n > obj->nverts)
            return false;
        idx[c] = n - 1;
        p[c] = obj->verts[n - 1];
    }
    return true;
}

// Calls draw(idx, p) with the corners of each triangle that names only
// vertices the surface has.
template <typename Draw> void forEachTriangle(const Obj *obj, Draw draw)
{
    for (int t = 0; t < obj->nfacets; t++) {
        int idx[3];
        Point3 p[3];
        if (triangleCorners(obj, t, idx, p))
            draw(idx, p);
    }
}

// One triangle of the surface in colour col: blended under the surface's
// opacity when that is below 0.999, else lit by the corners' normals when
// normals is given.
void drawTriangle(const Obj *obj, const Point3 p[3], const int idx[3], Colour3 col, const Point3 *normals)
{
    // NaN compares false, so a NaN opacity counts as opaque.
    if (static_cast<double>(obj->alpha) < 0.999) {
        nvqvf3a(p, 's', col, obj->alpha);
    } else if (!normals) {
        nvqvf3(p, col);
    } else {
        Point3 n[3] = {normals[idx[0]], normals[idx[1]], normals[idx[2]]};
        nvqvf3n(p, n, col);
    }
}

// Colour index of a weight over lo..hi; equal extremes (or weights that
// are not numbers) map to lo.
int weightIndex(float w, float wmin, float wmax, int lo, int hi)
{
    float t = (w - wmin) / (wmax - wmin);
    double k;
    if (!std::isfinite(t)) {
        k = lo;
    } else {
        double v = static_cast<double>(static_cast<float>(static_cast<long long>(hi) - lo) * t) + 0.5;
        k = static_cast<double>(lo) + std::trunc(v);
    }
    if (!(k >= lo))
        k = lo;
    if (k > hi)
        k = hi;
    return static_cast<int>(k);
}

// A triangle's colour from its corners' overlay colours: their mean.
inline Colour3 cornerMean(const Colour3 *c, const int idx[3])
{
    const Colour3 &a = c[idx[0]], &b = c[idx[1]], &d = c[idx[2]];
    return Colour3{(a.r + b.r + d.r) / 3, (a.g + b.g + d.g) / 3, (a.b + b.b + d.b) / 3};
}

} // namespace

void drawObj(const Obj *obj)
{
    if (!obj)
        return;
    pushVRMLname(obj->label);
    forEachTriangle(obj, [&](const int idx[3], const Point3 p[3]) {
        Colour3 col = obj->vertexColours ? cornerMean(obj->vertexColours, idx) : obj->colour;
        drawTriangle(obj, p, idx, col, obj->normals);
    });
    pushVRMLname("ANON");
}

void drawObjWgts(const Obj *obj, const ObjWgt *wgt, int onlyWeighted, int ci)
{
    if (!obj)
        return;
    pushVRMLname(obj->label);
    int lo = 0, hi = 0;
    vqqcir(&lo, &hi);
    // The first entry of each vertex, found once instead of by a linear
    // search per corner; entries naming no vertex of the surface can never
    // be found and are left out.
    std::vector<int> first(obj->nverts > 0 ? static_cast<size_t>(obj->nverts) : 0, -1);
    int nw = wgt && wgt->vert && wgt->wgt ? wgt->nverts : 0;
    for (int j = nw - 1; j >= 0; j--) {
        int v = wgt->vert[j];
        if (v >= 0 && v < obj->nverts)
            first[v] = j;
    }
    forEachTriangle(obj, [&](const int idx[3], const Point3 p[3]) {
        double sum[3] = {0, 0, 0};
        bool weighted = false;
        for (int c = 0; c < 3; c++) {
            int j = first[idx[c]];
            if (j < 0) {
                sum[0] += obj->colour.r;
                sum[1] += obj->colour.g;
                sum[2] += obj->colour.b;
                continue;
            }
            weighted = true;
            int k = weightIndex(wgt->wgt[j], wgt->wmin, wgt->wmax, lo, hi);
            float r, g, b;
            vqqcr(k, &r, &g, &b);
            sum[0] += static_cast<double>(2.0f * r);
            sum[1] += static_cast<double>(2.0f * g);
            sum[2] += static_cast<double>(2.0f * b);
        }
        Colour3 col;
        double *out[3] = {&col.r, &col.g, &col.b};
        for (int c = 0; c < 3; c++) {
            double v = sum[c] * 0.3333;
            *out[c] = v > 1.0 ? 1.0 : v;
        }
        if (ci >= 0) {
            float r, g, b;
            vqqcr(ci, &r, &g, &b);
            col = {r, g, b};
        }
        if (weighted || !onlyWeighted)
            drawTriangle(obj, p, idx, col, nullptr);
    });
    pushVRMLname("ANON");
}

void surfacePass(int *kc)
{
    float x1, x2, y1, y2, z1, z2;
    vqqwin(&x1, &x2, &y1, &y2, &z1, &z2);
    if (nobjs <= 0 || !objs || (kc && *kc % 2 != 0))
        return;
    // World-coordinate surfaces are drawn under the window in force, where
    // the volumes and tracks are. OBJ and STL coordinates count from the
    // lower corner of the box: they are drawn under the shifted window.
    // The window in force is put back afterwards, so that what is drawn
    // next (tracks) is placed as it would be without surfaces.
    bool boxRelative = false;
    for (int j = 0; j < nobjs; j++) {
        if (objs[j] && objs[j]->worldCoords)
            drawObj(objs[j]);
        else
            boxRelative = true;
    }
    if (!boxRelative)
        return;
    fprintf(stderr, "WARNING: OBJS NO LONGER LIKELY TO HAVE CORRECT WCS!!!\n");
    vqswin(0, 2 * x2, 0, 2 * y2, 0, 2 * z2);
    for (int j = 0; j < nobjs; j++)
        if (!objs[j] || !objs[j]->worldCoords)
            drawObj(objs[j]);
    vqswin(x1, x2, y1, y2, z1, z2);
}
