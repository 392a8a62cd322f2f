// Helpers shared by the surface readers: record creation, growable arrays,
// number scanning, opening and reading files, affine points.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "obj.h"
#include "vec3.h"

// The scene library's VectorLength and CalcNormal from the shared vector
// formulas, inline in the readers' loops; the results are the same bits
// (the tests compare them against the library's).
inline double lengthBetween(const Point3 &a, const Point3 &b)
{
    return vq::vecLength(vq::vecDiff(b, a));
}

inline Point3 triangleNormal(const Point3 &p1, const Point3 &p2, const Point3 &p3)
{
    Point3 n = vq::vecCross(vq::vecDiff(p2, p1), vq::vecDiff(p3, p1));
    vq::vecNormalise(&n);
    return n;
}

// A new record with label, colour and opacity set and no geometry.
Obj *newObj(const char *label, float r, float g, float b, float a);
// A new record with room for nv vertices and nf triangles (counts the
// caller has checked against its file), to be filled by the reader; null
// after "'fname': out of memory for the KIND surface.".
Obj *newSizedObj(const char *fname, const char *kind, const char *label, float r, float g, float b, float a,
                 long long nv, long long nf);

// Array of T on the system allocator that grows geometrically, so the
// record's arrays can be handed over (and freed with free()) as they are.
template <typename T> struct GrowArray {
    T *data = nullptr;
    size_t n = 0, cap = 0;

    ~GrowArray() { std::free(data); }
    bool reserve(size_t want)
    {
        if (want <= cap)
            return true;
        size_t c = cap ? cap : 16;
        while (c < want)
            c *= 2;
        T *p = static_cast<T *>(std::realloc(data, c * sizeof(T)));
        if (!p)
            return false;
        data = p;
        cap = c;
        return true;
    }
    bool push(const T &v)
    {
        if (n == cap && !reserve(n + 1))
            return false;
        data[n++] = v;
        return true;
    }
    // Hands the array over, trimmed to its length (null when empty).
    T *release()
    {
        T *p = data;
        if (n == 0) {
            std::free(p);
            p = nullptr;
        } else if (n < cap) {
            T *q = static_cast<T *>(std::realloc(p, n * sizeof(T)));
            if (q)
                p = q;
        }
        data = nullptr;
        n = cap = 0;
        return p;
    }
};

// Parses line as sscanf(line, "%c %f %f %f", cmd, &v[0], &v[1], &v[2])
// would and returns the same count; plain decimal numbers take a fast
// path, anything else goes through sscanf itself.
int scanObjLine(const char *line, char *cmd, float v[3]);

// Reads one decimal integer as "%d" would (white space, sign, digits),
// advancing *p past it. Values beyond the int range are clamped instead
// of overflowing. Returns 0 when no integer is there.
int scanInt(const char **p, int *out);

// Size of an open file when it is a regular file, else -1.
long long regularFileSize(FILE *f);

// The rest of an open file from its current position.
bool readRest(FILE *f, GrowArray<unsigned char> *buf);

// fname (null allowed) opened with fopen's mode; null after "cannot open
// WHAT FNAME", what being the kind of file ("obj file").
FILE *openSurfaceFile(const char *fname, const char *mode, const char *what);

// The whole of fname; false after "cannot open WHAT FNAME" or "'FNAME':
// cannot read the WHAT.".
bool readSurfaceFile(const char *fname, const char *what, GrowArray<unsigned char> *buf);

// Up to cap bytes from the start of fname (null allowed) into head, for
// telling formats apart: the count read, 0 when it cannot be opened. With
// size, also the file's regularFileSize (-1 when it cannot be opened).
size_t readFileHead(const char *fname, unsigned char *head, size_t cap, long long *size = nullptr);

// The point (x, y, z) through the first three rows of an affine matrix.
inline Point3 affinePoint(const double (*m)[4], double x, double y, double z)
{
    return Point3{m[0][0] * x + m[0][1] * y + m[0][2] * z + m[0][3],
                  m[1][0] * x + m[1][1] * y + m[1][2] * z + m[1][3],
                  m[2][0] * x + m[2][1] * y + m[2][2] * z + m[2][3]};
}
