// Vector arithmetic on any record with x, y and z (Point3, the model's Vec3):
// one definition of each formula. Each is a fixed sequence of operations, so
// a caller gets the same bits as the library's VectorSub, CrossProduct and
// Normalise, which are written with these.
#pragma once

#include <cmath>

namespace vq {

template <class V> V vecAdd(const V &a, const V &b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}

// a - b.
template <class V> V vecDiff(const V &a, const V &b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

template <class V, class S> V vecScale(const V &a, S s)
{
    return {a.x * s, a.y * s, a.z * s};
}

template <class V> auto vecDot(const V &a, const V &b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

template <class V> V vecCross(const V &a, const V &b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

template <class V> auto vecLength(const V &a)
{
    return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
}

// A zero (or non-finite) vector has no direction; it stays as it is.
template <class V> void vecNormalise(V *a)
{
    auto m = vecLength(*a);
    if (m > 0 && std::isfinite(m)) {
        a->x /= m;
        a->y /= m;
        a->z /= m;
    }
}

// The same formulas on plain double[3] arrays.
inline void sub3(const double a[3], const double b[3], double out[3])
{
    for (int i = 0; i < 3; i++)
        out[i] = a[i] - b[i];
}

inline double dot3(const double a[3], const double b[3])
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

inline void cross3(const double a[3], const double b[3], double out[3])
{
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

// Unit length; false (v unchanged) for a zero or non-finite vector.
inline bool unit3(double v[3])
{
    double m = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (!(m > 0) || !std::isfinite(m))
        return false;
    for (int i = 0; i < 3; i++)
        v[i] /= m;
    return true;
}

} // namespace vq
