// FreeSurfer binary triangle surfaces, recognising surface files by their
// content, and the move from RAS to the scene's LPS.
#include <cmath>
#include <cstring>
#include <string>

#include "surface_util.h"

namespace {

uint32_t be32(const unsigned char *p)
{
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | static_cast<uint32_t>(p[3]);
}

float beFloat(const unsigned char *p)
{
    uint32_t u = be32(p);
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f;
}

// The volume geometry FreeSurfer appends after the triangles: "key = value"
// lines after a three-int tag. False when there is none or it is not valid.
struct VolumeGeometry {
    int valid = 0;
    double dims[3] = {0, 0, 0};
    double size[3] = {1, 1, 1};
    double axes[3][3] = {{-1, 0, 0}, {0, 0, -1}, {0, 1, 0}}; // xras, yras, zras
    double cras[3] = {0, 0, 0};
    bool haveCras = false;
};

bool readVolumeGeometry(const unsigned char *p, size_t n, VolumeGeometry *g)
{
    // Tag 2, then 0 or 1, then 20; older files carry 20 alone.
    size_t at;
    if (n >= 12 && be32(p) == 2 && be32(p + 4) <= 1 && be32(p + 8) == 20)
        at = 12;
    else if (n >= 4 && be32(p) == 20)
        at = 4;
    else
        return false;
    std::string text(reinterpret_cast<const char *>(p + at), n - at);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        std::string line = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        pos = end == std::string::npos ? text.size() : end + 1;
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string key = line.substr(0, eq);
        key.erase(0, key.find_first_not_of(" \t"));
        key.erase(key.find_last_not_of(" \t") + 1);
        const char *val = line.c_str() + eq + 1;
        double v[3];
        int got = std::sscanf(val, "%lf %lf %lf", &v[0], &v[1], &v[2]);
        if (key == "valid" && got >= 1)
            g->valid = v[0] == 1;
        else if (got == 3 && key == "volume")
            std::memcpy(g->dims, v, sizeof v);
        else if (got == 3 && key == "voxelsize")
            std::memcpy(g->size, v, sizeof v);
        else if (got == 3 && (key == "xras" || key == "yras" || key == "zras"))
            std::memcpy(g->axes[key[0] - 'x'], v, sizeof v);
        else if (got == 3 && key == "cras") {
            std::memcpy(g->cras, v, sizeof v);
            g->haveCras = true;
        }
    }
    return g->valid && g->haveCras;
}

// Solves the 3x3 system m x = b by Cramer's rule; false when m is singular.
bool solve3(const double m[3][3], const double b[3], double x[3])
{
    auto det = [](const double a[3][3]) {
        return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
               a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
               a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    };
    double d = det(m);
    if (!(std::fabs(d) > 1e-12))
        return false;
    for (int c = 0; c < 3; c++) {
        double t[3][3];
        std::memcpy(t, m, sizeof t);
        for (int r = 0; r < 3; r++)
            t[r][c] = b[r];
        x[c] = det(t) / d;
    }
    return true;
}

// tkregister RAS to scanner RAS through the volume, as a 3x4 matrix: the
// voxel that tkregister's fixed LIA geometry puts at a point, placed by the
// volume's own geometry. For a conformed (LIA) volume this is + c_ras.
void tkrToScannerMatrix(const VolumeGeometry &g, double out[3][4])
{
    const double tkr[3][3] = {{-1, 0, 0}, {0, 0, -1}, {0, 1, 0}};
    double mt[3][3], mv[3][3];
    for (int r = 0; r < 3; r++)
        for (int a = 0; a < 3; a++) {
            mt[r][a] = tkr[a][r] * g.size[a];
            mv[r][a] = g.axes[a][r] * g.size[a];
        }
    for (int c = 0; c < 3; c++) {
        double e[3] = {0, 0, 0}, v[3];
        e[c] = 1;
        bool ok = solve3(mt, e, v);
        for (int r = 0; r < 3; r++)
            out[r][c] = ok ? mv[r][0] * v[0] + mv[r][1] * v[1] + mv[r][2] * v[2] : (r == c ? 1.0 : 0.0);
    }
    for (int r = 0; r < 3; r++)
        out[r][3] = g.cras[r];
}

} // namespace

int recogniseSurfaceFile(const char *fname)
{
    unsigned char head[512];
    size_t n = readFileHead(fname, head, sizeof head);
    if (n >= 3 && head[0] == 0xff && head[1] == 0xff && head[2] >= 0xfd)
        return SURFACE_FREESURFER;
    std::string text(reinterpret_cast<const char *>(head), n);
    size_t start = text.find_first_not_of(" \t\r\n\xef\xbb\xbf");
    if (start != std::string::npos && text.compare(start, 5, "<?xml") == 0 &&
        text.find("<GIFTI") != std::string::npos)
        return SURFACE_GIFTI;
    if (start != std::string::npos && text.compare(start, 6, "<GIFTI") == 0)
        return SURFACE_GIFTI;
    return SURFACE_UNKNOWN;
}

void rasToLpsObj(Obj *obj)
{
    for (int i = 0; i < obj->nverts; i++) {
        obj->verts[i].x = -obj->verts[i].x;
        obj->verts[i].y = -obj->verts[i].y;
    }
    if (obj->normals)
        for (int i = 0; i < obj->nverts; i++) {
            obj->normals[i].x = -obj->normals[i].x;
            obj->normals[i].y = -obj->normals[i].y;
        }
    calcObjMinMaxMean(obj);
    obj->worldCoords = 1;
}

Obj *loadObjFromFreeSurfer(const char *fname, const char *label, float r, float g, float b, float a)
{
    GrowArray<unsigned char> file;
    if (!readSurfaceFile(fname, "FreeSurfer surface", &file))
        return nullptr;
    const unsigned char *p = file.data;
    size_t n = file.n;
    if (n < 3 || p[0] != 0xff || p[1] != 0xff || p[2] < 0xfd) {
        fprintf(stderr, "'%s': not a FreeSurfer surface (no magic number).\n", fname);
        return nullptr;
    }
    if (p[2] != 0xfe) {
        fprintf(stderr, "'%s': FreeSurfer quadrangle surface; only triangle surfaces are read.\n", fname);
        return nullptr;
    }
    // Two text lines (creator and date, then an empty one).
    size_t at = 3;
    for (int line = 0; line < 2; line++) {
        while (at < n && p[at] != '\n')
            at++;
        at++;
    }
    if (at + 8 > n) {
        fprintf(stderr, "'%s': FreeSurfer surface cut short in its header.\n", fname);
        return nullptr;
    }
    long long nv = static_cast<int32_t>(be32(p + at)), nf = static_cast<int32_t>(be32(p + at + 4));
    at += 8;
    // Twelve bytes a vertex and a triangle, checked before anything is made.
    if (nv < 0 || nf < 0 || nf > INT32_MAX / 3 || static_cast<unsigned long long>(nv + nf) * 12 > n - at) {
        fprintf(
            stderr,
            "'%s': FreeSurfer surface counts %lld vertices and %lld triangles; the file holds %zu bytes.\n",
            fname, nv, nf, n);
        return nullptr;
    }
    Obj *obj = newSizedObj(fname, "FreeSurfer", label, r, g, b, a, nv, nf);
    if (!obj)
        return nullptr;
    Point3 *verts = obj->verts;
    int *facets = obj->facets;
    for (long long i = 0; i < nv; i++, at += 12)
        verts[i] = Point3{beFloat(p + at), beFloat(p + at + 4), beFloat(p + at + 8)};
    for (long long i = 0; i < 3 * nf; i++, at += 4) {
        int32_t v = static_cast<int32_t>(be32(p + at));
        if (v < 0 || v >= nv) {
            fprintf(stderr, "'%s': triangle %lld names vertex %d of %lld.\n", fname, i / 3, v, nv);
            freeObj(obj);
            return nullptr;
        }
        facets[i] = v + 1;
    }
    VolumeGeometry geom;
    if (readVolumeGeometry(p + at, n - at, &geom)) {
        double m[3][4];
        tkrToScannerMatrix(geom, m);
        for (int i = 0; i < obj->nverts; i++)
            verts[i] = affinePoint(m, verts[i].x, verts[i].y, verts[i].z);
        fprintf(stderr, "'%s': tkregister coordinates moved to scanner RAS (c_ras %g %g %g)\n", fname,
                geom.cras[0], geom.cras[1], geom.cras[2]);
    }
    rasToLpsObj(obj);
    return obj;
}
