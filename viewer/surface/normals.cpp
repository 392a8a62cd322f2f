// Area-weighted vertex normals and rigid translation of a surface.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "obj.h"
#include "surface_util.h"

namespace {

// Heron's formula in single precision; a degenerate triangle, whose
// product rounds below zero (or is not a number), has area 0.
float heronArea(Point3 p, Point3 q, Point3 r)
{
    float pq = static_cast<float>(lengthBetween(p, q));
    float qr = static_cast<float>(lengthBetween(q, r));
    float rp = static_cast<float>(lengthBetween(r, p));
    float s = (pq + qr + rp) * 0.5f;
    float prod = (s - pq) * s * (s - qr) * (s - rp);
    if (!(prod >= 0.0f))
        return 0.0f;
    return std::sqrt(prod);
}

} // namespace

void calcVertexNormals(Obj *obj)
{
    if (!obj)
        return;
    std::free(obj->normals);
    obj->normals = nullptr;
    int nv = obj->nverts > 0 ? obj->nverts : 0;
    Point3 *normals = static_cast<Point3 *>(std::calloc(nv ? static_cast<size_t>(nv) : 1, sizeof(Point3)));
    int *count = static_cast<int *>(std::calloc(nv ? static_cast<size_t>(nv) : 1, sizeof(int)));
    if (!normals || !count) {
        fprintf(stderr, "failed to allocate storage for normals!\n");
        exit(-1);
    }
    // Each triangle is added into each of its distinct corners in facet
    // order: every vertex sees the same additions in the same order as a
    // scan of all triangles per vertex would make.
    for (int t = 0; t < obj->nfacets; t++) {
        const int *f = obj->facets + 3 * static_cast<size_t>(t);
        int a = f[0], b = f[1], c = f[2];
        // A triangle naming a vertex that does not exist has no shape.
        if (a < 1 || b < 1 || c < 1 || a > nv || b > nv || c > nv)
            continue;
        Point3 p = obj->verts[a - 1], q = obj->verts[b - 1], r = obj->verts[c - 1];
        // VectorMul and VectorAdd written out: n * area, then S + that.
        Point3 n = triangleNormal(p, q, r);
        double area = heronArea(p, q, r);
        Point3 w = {n.x * area, n.y * area, n.z * area};
        auto add = [&](int v) {
            Point3 &s = normals[v - 1];
            s = {s.x + w.x, s.y + w.y, s.z + w.z};
            count[v - 1]++;
        };
        add(a);
        if (b != a)
            add(b);
        if (c != a && c != b)
            add(c);
    }
    for (int i = 0; i < nv; i++)
        if (count[i] > 0)
            vq::vecNormalise(&normals[i]);
    std::free(count);
    obj->normals = normals;
}

void translateObj(Obj *obj, Point3 t)
{
    if (!obj)
        return;
    for (int i = 0; i < obj->nverts; i++)
        obj->verts[i] = VectorSub(t, obj->verts[i]);
    obj->min = VectorSub(t, obj->min);
    obj->max = VectorSub(t, obj->max);
}
