// Area-weighted vertex normals and rigid translation of a surface.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "obj.h"

namespace {

// Heron's formula in single precision; a degenerate triangle, whose
// product rounds below zero (or is not a number), has area 0.
float heronArea(Point3 p, Point3 q, Point3 r)
{
    float pq = (float)VectorLength(p, q);
    float qr = (float)VectorLength(q, r);
    float rp = (float)VectorLength(r, p);
    float s = (pq + qr + rp) * 0.5f;
    float prod = (s - pq) * s * (s - qr) * (s - rp);
    if (!(prod >= 0.0f))
        return 0.0f;
    return std::sqrt(prod);
}

}  // namespace

void calcVertexNormals(Obj *obj)
{
    if (!obj)
        return;
    std::free(obj->normals);
    obj->normals = nullptr;
    int nv = obj->nverts > 0 ? obj->nverts : 0;
    Point3 *normals = static_cast<Point3 *>(std::calloc(nv ? (size_t)nv : 1, sizeof(Point3)));
    int *count = static_cast<int *>(std::calloc(nv ? (size_t)nv : 1, sizeof(int)));
    if (!normals || !count) {
        fprintf(stderr, "failed to allocate storage for normals!\n");
        exit(-1);
    }
    // Each triangle is added into each of its distinct corners in facet
    // order: every vertex sees the same additions in the same order as a
    // scan of all triangles per vertex would make.
    for (int t = 0; t < obj->nfacets; t++) {
        const int *f = obj->facets + 3 * (size_t)t;
        int a = f[0], b = f[1], c = f[2];
        // A triangle naming a vertex that does not exist has no shape.
        if (a < 1 || b < 1 || c < 1 || a > nv || b > nv || c > nv)
            continue;
        Point3 p = obj->verts[a - 1], q = obj->verts[b - 1], r = obj->verts[c - 1];
        Point3 n = CalcNormal(p, q, r);
        Point3 w = VectorMul(n, heronArea(p, q, r));
        normals[a - 1] = VectorAdd(normals[a - 1], w);
        count[a - 1]++;
        if (b != a) {
            normals[b - 1] = VectorAdd(normals[b - 1], w);
            count[b - 1]++;
        }
        if (c != a && c != b) {
            normals[c - 1] = VectorAdd(normals[c - 1], w);
            count[c - 1]++;
        }
    }
    for (int i = 0; i < nv; i++)
        if (count[i] > 0)
            Normalise(&normals[i]);
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
