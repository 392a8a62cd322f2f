// FS text meshes (0-based indexed triangles) and FS per-vertex weight lists.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "surface_util.h"

namespace {

struct FileCloser {
    void operator()(FILE *f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// Bytes left in a regular file after the current position; -1 when the
// size is unknown (a pipe or device).
long long bytesLeft(FILE *f)
{
    long long size = regularFileSize(f);
    long pos = std::ftell(f);
    if (size < 0 || pos < 0)
        return -1;
    return size > pos ? size - pos : 0;
}

// Fails a mesh read: releases what was built and returns null.
Obj *failObj(Obj *obj)
{
    freeObj(obj);
    return nullptr;
}

} // namespace

Obj *readObjFromFS(const char *fname, const char *label, float r, float g, float b, float a)
{
    Obj *obj = newObj(label, r, g, b, a);
    if (!obj) {
        fprintf(stderr, "out of memory reading FS file\n");
        return nullptr;
    }
    File f(openSurfaceFile(fname, "r", "FS file"));
    if (!f)
        return failObj(obj);
    char line[400];
    if (!std::fgets(line, sizeof line, f.get())) {
        fprintf(stderr, "failure reading FS file header\n");
        return failObj(obj);
    }
    fprintf(stderr, "read comment: %s", line);
    if (!std::fgets(line, sizeof line, f.get())) {
        fprintf(stderr, "failure reading FS file header\n");
        return failObj(obj);
    }
    int nv = 0, nf = 0;
    const char *p = line;
    if (scanInt(&p, &nv))
        scanInt(&p, &nf);
    fprintf(stderr, "nverts = %d, nfacets = %d\n", nv, nf);
    if (nv < 0 || nf < 0) {
        fprintf(stderr, "negative counts in FS file %s\n", fname);
        return failObj(obj);
    }
    // Every vertex and facet takes at least one byte of the file.
    long long left = bytesLeft(f.get());
    if (left >= 0 && static_cast<long long>(nv) + nf > left) {
        fprintf(stderr, "counts larger than FS file %s holds\n", fname);
        return failObj(obj);
    }
    GrowArray<Point3> verts;
    GrowArray<int> facets;
    // Without a known size the arrays grow as lines arrive.
    size_t cap = left >= 0 ? 0 : 65536;
    if (!verts.reserve(cap ? std::min<size_t>(cap, nv) : nv) ||
        !facets.reserve(3 * (cap ? std::min<size_t>(cap, nf) : nf))) {
        fprintf(stderr, "out of memory reading FS file %s\n", fname);
        return failObj(obj);
    }
    for (int i = 0; i < nv; i++) {
        if (!std::fgets(line, sizeof line, f.get())) {
            fprintf(stderr, "failure reading file at vertex %d\n", i);
            return failObj(obj);
        }
        float x, y, z;
        int n = 0, patch;
        const char *q = line;
        if (sscanf(line, "%f%f%f%n", &x, &y, &z, &n) < 3 || !(q += n, scanInt(&q, &patch))) {
            fprintf(stderr, "failure parsing file at vertex %d\n", i);
            return failObj(obj);
        }
        if (patch != 0) {
            fprintf(stderr, "patch != 0\n");
            return failObj(obj);
        }
        if (i % 100 == 0)
            fprintf(stderr, "x = %f\n", x);
        if (!verts.push({static_cast<double>(x), static_cast<double>(y), static_cast<double>(z)})) {
            fprintf(stderr, "out of memory reading FS file %s\n", fname);
            return failObj(obj);
        }
    }
    for (int i = 0; i < nf; i++) {
        if (!std::fgets(line, sizeof line, f.get())) {
            fprintf(stderr, "failure reading file at facet %d\n", i);
            return failObj(obj);
        }
        int t[3], patch;
        const char *q = line;
        if (!scanInt(&q, &t[0]) || !scanInt(&q, &t[1]) || !scanInt(&q, &t[2]) || !scanInt(&q, &patch)) {
            fprintf(stderr, "failure parsing file at facet %d\n", i);
            return failObj(obj);
        }
        if (patch != 0) {
            fprintf(stderr, "patch != 0\n");
            return failObj(obj);
        }
        // A facet naming a vertex the file does not have is left out.
        if (t[0] < 0 || t[1] < 0 || t[2] < 0 || t[0] >= nv || t[1] >= nv || t[2] >= nv) {
            fprintf(stderr, "facet %d names a vertex outside 0..%d, ignoring it\n", i, nv - 1);
            continue;
        }
        if (!facets.reserve(facets.n + 3)) {
            fprintf(stderr, "out of memory reading FS file %s\n", fname);
            return failObj(obj);
        }
        facets.push(t[0] + 1);
        facets.push(t[1] + 1);
        facets.push(t[2] + 1);
    }
    obj->nverts = static_cast<int>(verts.n);
    obj->verts = verts.release();
    obj->nfacets = static_cast<int>(facets.n / 3);
    obj->facets = facets.release();
    fprintf(stderr, "Read %d vertices (%d facets) from obj file.\n", obj->nverts, obj->nfacets);
    calcObjMinMaxMean(obj);
    return obj;
}

Obj *loadObjFromFS(const char *fname, const char *label, float r, float g, float b, float a)
{
    Obj *obj = readObjFromFS(fname, label, r, g, b, a);
    if (!obj)
        exit(-1);
    return obj;
}

ObjWgt *loadObjWgtFromFS(const char *fname)
{
    File f(openSurfaceFile(fname, "r", "FS wgts file"));
    if (!f)
        return nullptr;
    char line[400];
    int n = 0;
    const char *p = line;
    if (!std::fgets(line, sizeof line, f.get()) || !std::fgets(line, sizeof line, f.get())) {
        fprintf(stderr, "Failed reading FS wgts file...\n");
        return nullptr;
    }
    scanInt(&p, &n);
    fprintf(stderr, "nverts = %d\n", n);
    long long left = bytesLeft(f.get());
    if (n < 0 || (left >= 0 && n > left)) {
        fprintf(stderr, "bad entry count %d in FS wgts file %s\n", n, fname);
        return nullptr;
    }
    GrowArray<int> vert;
    GrowArray<float> wgt;
    size_t first = left >= 0 ? static_cast<size_t>(n) : std::min<size_t>(n, 65536);
    if (!vert.reserve(first) || !wgt.reserve(first)) {
        fprintf(stderr, "out of memory reading FS wgts file %s\n", fname);
        return nullptr;
    }
    float wmin = INFINITY, wmax = -INFINITY;
    for (int i = 0; i < n; i++) {
        if (!std::fgets(line, sizeof line, f.get())) {
            fprintf(stderr, "FS wgts file ends before entry %d of %d\n", i, n);
            return nullptr;
        }
        int v;
        float w;
        const char *q = line;
        if (!scanInt(&q, &v) || sscanf(q, "%f", &w) < 1) {
            fprintf(stderr, "Failed reading FS wgts file...\n");
            return nullptr;
        }
        if (!vert.push(v) || !wgt.push(w)) {
            fprintf(stderr, "out of memory reading FS wgts file %s\n", fname);
            return nullptr;
        }
        if (w < wmin)
            wmin = w;
        if (w > wmax)
            wmax = w;
    }
    ObjWgt *list = static_cast<ObjWgt *>(std::calloc(1, sizeof(ObjWgt)));
    if (!list) {
        fprintf(stderr, "out of memory reading FS wgts file %s\n", fname);
        return nullptr;
    }
    list->nverts = static_cast<int>(vert.n);
    list->vert = vert.release();
    list->wgt = wgt.release();
    list->wmin = wmin;
    list->wmax = wmax;
    return list;
}
