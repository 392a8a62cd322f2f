// The surface record, its bounds and mean, and the OBJ text reader.
#include "obj.h"

#include <climits>
#include <cmath>
#include <cstring>

#include "surface_util.h"

Obj *newObj(const char *label, float r, float g, float b, float a)
{
    Obj *obj = static_cast<Obj *>(std::calloc(1, sizeof(Obj)));
    if (!obj)
        return nullptr;
    std::strncpy(obj->label, label ? label : "", OBJ_LABEL_LEN - 1);
    obj->label[OBJ_LABEL_LEN - 1] = '\0';
    obj->colour = {r, g, b};
    obj->alpha = a;
    return obj;
}

Obj *newSizedObj(const char *fname, const char *kind, const char *label, float r, float g, float b, float a,
                 long long nv, long long nf)
{
    Obj *obj = newObj(label, r, g, b, a);
    Point3 *verts =
        nv ? static_cast<Point3 *>(std::malloc(static_cast<size_t>(nv) * sizeof(Point3))) : nullptr;
    int *facets = nf ? static_cast<int *>(std::malloc(static_cast<size_t>(nf) * 3 * sizeof(int))) : nullptr;
    if (!obj || (nv && !verts) || (nf && !facets)) {
        fprintf(stderr, "'%s': out of memory for the %s surface.\n", fname, kind);
        std::free(verts);
        std::free(facets);
        freeObj(obj);
        return nullptr;
    }
    obj->verts = verts;
    obj->facets = facets;
    obj->nverts = static_cast<int>(nv);
    obj->nfacets = static_cast<int>(nf);
    return obj;
}

void freeObj(Obj *obj)
{
    if (!obj)
        return;
    std::free(obj->verts);
    std::free(obj->facets);
    std::free(obj->normals);
    std::free(obj->vertexColours);
    std::free(obj);
}

void freeObjWgt(ObjWgt *wgt)
{
    if (!wgt)
        return;
    std::free(wgt->vert);
    std::free(wgt->wgt);
    std::free(wgt);
}

void calcObjMinMaxMean(Obj *obj)
{
    Point3 mn = {9e99, 9e99, 9e99}, mx = {-9e99, -9e99, -9e99};
    double sx = 0, sy = 0, sz = 0;
    for (int i = 0; i < obj->nverts; i++) {
        const Point3 &p = obj->verts[i];
        if (p.x < mn.x)
            mn.x = p.x;
        if (p.y < mn.y)
            mn.y = p.y;
        if (p.z < mn.z)
            mn.z = p.z;
        if (p.x > mx.x)
            mx.x = p.x;
        if (p.y > mx.y)
            mx.y = p.y;
        if (p.z > mx.z)
            mx.z = p.z;
        sx += p.x;
        sy += p.y;
        sz += p.z;
    }
    double n = static_cast<double>(static_cast<float>(obj->nverts));
    obj->min = mn;
    obj->max = mx;
    obj->mean = {sx / n, sy / n, sz / n};
    fprintf(stderr, "Coordinate range is (%f,%f,%f) - (%f,%f,%f) [avg = (%f,%f,%f)]\n", mn.x, mn.y, mn.z,
            mx.x, mx.y, mx.z, obj->mean.x, obj->mean.y, obj->mean.z);
}

namespace {

// A facet number as the reader forms it: the float plus 0.5, cut toward
// zero. Values that no int can hold become 0, which no vertex carries.
int facetNumber(float f)
{
    double v = static_cast<double>(f) + 0.5;
    if (!(v > static_cast<double>(INT_MIN) - 1.0 && v < static_cast<double>(INT_MAX) + 1.0))
        return 0;
    return static_cast<int>(v);
}

// A facet whose numbers could not be checked when it was read.
struct PendingFacet {
    int facet;
    int line;
};

} // namespace

Obj *loadObj(const char *fname, const char *label, float r, float g, float b, float a)
{
    FILE *f = openSurfaceFile(fname, "r", "obj file");
    if (!f)
        return nullptr;
    Obj *obj = newObj(label, r, g, b, a);
    GrowArray<Point3> verts;
    GrowArray<int> facets;
    GrowArray<PendingFacet> pending;
    char line[400];
    int lineno = 0;
    bool ok = obj != nullptr;
    while (ok && std::fgets(line, sizeof line, f)) {
        lineno++;
        char cmd;
        float v[3];
        if (scanObjLine(line, &cmd, v) < 4) {
            fprintf(stderr, "Could not parse obj file at line %d, ignoring.\n", lineno);
            continue;
        }
        if (cmd == 'v') {
            // The file's third number is x, its first y, its second z.
            ok =
                verts.push({static_cast<double>(v[2]), static_cast<double>(v[0]), static_cast<double>(v[1])});
        } else if (cmd == 'f') {
            int n[3] = {facetNumber(v[0]), facetNumber(v[1]), facetNumber(v[2])};
            // A facet may name vertices that come later in the file, so
            // numbers above the count so far are checked at the end.
            int hi = static_cast<int>(verts.n);
            if (n[0] < 1 || n[1] < 1 || n[2] < 1 || n[0] > hi || n[1] > hi || n[2] > hi)
                ok = pending.push({static_cast<int>(facets.n / 3), lineno});
            ok = ok && facets.reserve(facets.n + 3);
            if (ok) {
                facets.push(n[0]);
                facets.push(n[1]);
                facets.push(n[2]);
            }
        } else {
            fprintf(stderr, "Unknown obj file cmd '%c' at line %d, ignoring.\n", cmd, lineno);
        }
    }
    std::fclose(f);
    if (!ok) {
        fprintf(stderr, "out of memory reading obj file %s\n", fname);
        freeObj(obj);
        return nullptr;
    }
    // Drop the facets that name vertices the file does not have.
    if (pending.n > 0) {
        int nv = static_cast<int>(verts.n);
        size_t out = 0, k = 0;
        size_t nf = facets.n / 3;
        for (size_t i = 0; i < nf; i++) {
            const int *t = facets.data + 3 * i;
            if (k < pending.n && pending.data[k].facet == static_cast<int>(i)) {
                int line = pending.data[k++].line;
                if (t[0] < 1 || t[1] < 1 || t[2] < 1 || t[0] > nv || t[1] > nv || t[2] > nv) {
                    fprintf(stderr, "Facet at line %d names a vertex outside 1..%d, ignoring.\n", line, nv);
                    continue;
                }
            }
            if (out != i)
                std::memmove(facets.data + 3 * out, t, 3 * sizeof(int));
            out++;
        }
        facets.n = 3 * out;
    }
    obj->nverts = static_cast<int>(verts.n);
    obj->verts = verts.release();
    obj->nfacets = static_cast<int>(facets.n / 3);
    obj->facets = facets.release();
    fprintf(stderr, "Read %d lines (%d facets) from obj file.\n", lineno, obj->nfacets);
    calcObjMinMaxMean(obj);
    return obj;
}
