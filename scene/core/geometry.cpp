// Vector geometry on the library's value types.
#include <cmath>

#include "vec3.h"
#include "vqscene.h"

using namespace vq;

extern "C" {

Point3 VectorAdd(Point3 a, Point3 b)
{
    return vecAdd(a, b);
}

// Note the order: the result points from a to b.
Point3 VectorSub(Point3 a, Point3 b)
{
    return vecDiff(b, a);
}

Point3 VectorMul(Point3 a, double s)
{
    return vecScale(a, s);
}

double VectorLength(Point3 a, Point3 b)
{
    return Modulus(VectorSub(a, b));
}

double Modulus(Point3 a)
{
    return vecLength(a);
}

double DotProduct(Point3 a, Point3 b)
{
    return vecDot(a, b);
}

Point3 CrossProduct(Point3 a, Point3 b)
{
    return vecCross(a, b);
}

void Normalise(Point3 *a)
{
    if (!a)
        return;
    vecNormalise(a);
}

Point3 CalcNormal(Point3 p1, Point3 p2, Point3 p3)
{
    Point3 n = CrossProduct(VectorSub(p1, p2), VectorSub(p1, p3));
    Normalise(&n);
    return n;
}

int LinePlane(double *mu, Point3 *p, Point3 p1, Point3 p2, Plane4 plane)
{
    Point3 d = VectorSub(p1, p2);
    double denom = plane.a * d.x + plane.b * d.y + plane.c * d.z;
    // Parallel relative to the sizes involved, so that short segments and
    // small plane normals are judged alike.
    double nlen = std::sqrt(plane.a * plane.a + plane.b * plane.b + plane.c * plane.c);
    if (!(std::fabs(denom) > 1e-12 * nlen * Modulus(d)))
        return 0;
    double m = -(plane.a * p1.x + plane.b * p1.y + plane.c * p1.z + plane.d) / denom;
    if (!std::isfinite(m))
        return 0;
    if (mu)
        *mu = m;
    if (p)
        *p = {p1.x + m * d.x, p1.y + m * d.y, p1.z + m * d.z};
    return 1;
}

Colour3 HSV2RGB(double h, double s, double v)
{
    if (!std::isfinite(h))
        h = 0;
    if (s <= 0)
        return {v, v, v};
    h = std::fmod(h, 360.0);
    if (h < 0)
        h += 360.0;
    h /= 60.0;
    int sector = static_cast<int>(h);
    if (sector > 5)
        sector = 5;
    double f = h - sector;
    double p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    switch (sector) {
    case 0:
        return {v, t, p};
    case 1:
        return {q, v, p};
    case 2:
        return {p, v, t};
    case 3:
        return {p, q, v};
    case 4:
        return {t, p, v};
    default:
        return {v, p, q};
    }
}

} // extern "C"
