// The colour table: indices, ranges and named or file colour maps.
#include <cmath>
#include <cstring>
#include <strings.h>

#include "files.h"

using namespace vq;

namespace {

// A control point of a perceptual map: position 0..1 and 8-bit sRGB.
struct MapStop {
    float t;
    unsigned char r, g, b;
};

namespace {

// Control points of the perceptual maps, sampled from the published
// tables at t = j/9, j/7 and j/4 (cividis at j/9 and j/4).
const MapStop kViridis[] = {
    {0.000000f, 0x44, 0x01, 0x54}, {0.111111f, 0x48, 0x28, 0x78}, {0.142857f, 0x46, 0x33, 0x7e},
    {0.222222f, 0x3e, 0x49, 0x89}, {0.250000f, 0x3b, 0x52, 0x8b}, {0.285714f, 0x36, 0x5c, 0x8d},
    {0.333333f, 0x31, 0x68, 0x8e}, {0.428571f, 0x27, 0x7f, 0x8e}, {0.444444f, 0x26, 0x82, 0x8e},
    {0.500000f, 0x21, 0x91, 0x8c}, {0.555556f, 0x1f, 0x9e, 0x89}, {0.571429f, 0x1f, 0xa1, 0x87},
    {0.666667f, 0x35, 0xb7, 0x79}, {0.714286f, 0x4a, 0xc1, 0x6d}, {0.750000f, 0x5e, 0xc9, 0x62},
    {0.777778f, 0x6e, 0xce, 0x58}, {0.857143f, 0x9f, 0xda, 0x3a}, {0.888889f, 0xb5, 0xde, 0x2b},
    {1.000000f, 0xfd, 0xe7, 0x25},
};
const MapStop kMagma[] = {
    {0.000000f, 0x00, 0x00, 0x04}, {0.111111f, 0x18, 0x0f, 0x3d}, {0.142857f, 0x22, 0x11, 0x50},
    {0.222222f, 0x44, 0x0f, 0x76}, {0.250000f, 0x51, 0x12, 0x7c}, {0.285714f, 0x5f, 0x18, 0x7f},
    {0.333333f, 0x72, 0x1f, 0x81}, {0.428571f, 0x98, 0x2d, 0x80}, {0.444444f, 0x9e, 0x2f, 0x7f},
    {0.500000f, 0xb7, 0x37, 0x79}, {0.555556f, 0xcd, 0x40, 0x71}, {0.571429f, 0xd3, 0x43, 0x6e},
    {0.666667f, 0xf1, 0x60, 0x5d}, {0.714286f, 0xf8, 0x76, 0x5c}, {0.750000f, 0xfc, 0x89, 0x61},
    {0.777778f, 0xfd, 0x96, 0x68}, {0.857143f, 0xfe, 0xbb, 0x81}, {0.888889f, 0xfe, 0xca, 0x8d},
    {1.000000f, 0xfc, 0xfd, 0xbf},
};
const MapStop kInferno[] = {
    {0.000000f, 0x00, 0x00, 0x04}, {0.111111f, 0x1b, 0x0c, 0x41}, {0.142857f, 0x28, 0x0b, 0x54},
    {0.222222f, 0x4a, 0x0c, 0x6b}, {0.250000f, 0x56, 0x10, 0x6e}, {0.285714f, 0x65, 0x15, 0x6e},
    {0.333333f, 0x78, 0x1c, 0x6d}, {0.428571f, 0x9f, 0x2a, 0x63}, {0.444444f, 0xa5, 0x2c, 0x60},
    {0.500000f, 0xbb, 0x37, 0x54}, {0.555556f, 0xcf, 0x44, 0x46}, {0.571429f, 0xd4, 0x48, 0x42},
    {0.666667f, 0xed, 0x69, 0x25}, {0.714286f, 0xf5, 0x7d, 0x15}, {0.750000f, 0xf9, 0x8e, 0x09},
    {0.777778f, 0xfb, 0x9b, 0x06}, {0.857143f, 0xfa, 0xc1, 0x27}, {0.888889f, 0xf7, 0xd1, 0x3d},
    {1.000000f, 0xfc, 0xff, 0xa4},
};
const MapStop kPlasma[] = {
    {0.000000f, 0x0d, 0x08, 0x87}, {0.111111f, 0x47, 0x03, 0x9f}, {0.142857f, 0x54, 0x02, 0xa3},
    {0.222222f, 0x73, 0x01, 0xa8}, {0.250000f, 0x7e, 0x03, 0xa8}, {0.285714f, 0x8b, 0x0a, 0xa5},
    {0.333333f, 0x9c, 0x17, 0x9e}, {0.428571f, 0xb9, 0x32, 0x89}, {0.444444f, 0xbd, 0x37, 0x86},
    {0.500000f, 0xcc, 0x47, 0x78}, {0.555556f, 0xd8, 0x57, 0x6b}, {0.571429f, 0xdb, 0x5c, 0x68},
    {0.666667f, 0xed, 0x79, 0x53}, {0.714286f, 0xf4, 0x88, 0x49}, {0.750000f, 0xf8, 0x95, 0x40},
    {0.777778f, 0xfb, 0x9f, 0x3a}, {0.857143f, 0xfe, 0xbc, 0x2a}, {0.888889f, 0xfd, 0xca, 0x26},
    {1.000000f, 0xf0, 0xf9, 0x21},
};
const MapStop kCividis[] = {
    {0.000000f, 0x00, 0x20, 0x4d}, {0.111111f, 0x00, 0x33, 0x6f}, {0.222222f, 0x39, 0x48, 0x6b},
    {0.250000f, 0x41, 0x4d, 0x6b}, {0.333333f, 0x57, 0x5c, 0x6d}, {0.444444f, 0x70, 0x71, 0x73},
    {0.500000f, 0x7c, 0x7b, 0x78}, {0.555556f, 0x8a, 0x87, 0x79}, {0.666667f, 0xa6, 0x9d, 0x75},
    {0.750000f, 0xbc, 0xaf, 0x6f}, {0.777778f, 0xc4, 0xb5, 0x6c}, {0.888889f, 0xe4, 0xcf, 0x5b},
    {1.000000f, 0xff, 0xea, 0x46},
};

} // namespace

struct NamedMap {
    const char *name;
    const MapStop *stops;
    int n;
};

const NamedMap kPerceptual[] = {
    {"viridis", kViridis, static_cast<int>(sizeof kViridis / sizeof kViridis[0])},
    {"magma", kMagma, static_cast<int>(sizeof kMagma / sizeof kMagma[0])},
    {"inferno", kInferno, static_cast<int>(sizeof kInferno / sizeof kInferno[0])},
    {"plasma", kPlasma, static_cast<int>(sizeof kPlasma / sizeof kPlasma[0])},
    {"cividis", kCividis, static_cast<int>(sizeof kCividis / sizeof kCividis[0])},
};

float clamp01(float v)
{
    return v < 0 ? 0 : v > 1 ? 1 : v;
}

Rgb stopsAt(const MapStop *st, int n, double t)
{
    int i = 0;
    while (i < n - 2 && t > st[i + 1].t)
        i++;
    double span = st[i + 1].t - st[i].t;
    double f = span > 0 ? (t - st[i].t) / span : 0;
    f = f < 0 ? 0 : f > 1 ? 1 : f;
    auto mix = [f](unsigned char a, unsigned char b) {
        return static_cast<float>(((1 - f) * a + f * b) / 255.0);
    };
    return {mix(st[i].r, st[i + 1].r), mix(st[i].g, st[i + 1].g), mix(st[i].b, st[i + 1].b)};
}

// Linear interpolation through a ramp of evenly spaced colours.
Rgb rampAt(const std::vector<Rgb> &ramp, double t)
{
    if (ramp.size() == 1)
        return ramp[0];
    double x = t * (ramp.size() - 1);
    size_t i = static_cast<size_t>(x);
    if (i >= ramp.size() - 1)
        return ramp.back();
    float f = static_cast<float>(x - i);
    const Rgb &a = ramp[i], &b = ramp[i + 1];
    return {a.r + f * (b.r - a.r), a.g + f * (b.g - a.g), a.b + f * (b.b - a.b)};
}

// Colour of a built-in map at t in 0..1; false if the name is not one.
bool builtinMap(const char *name, double t, Rgb *out)
{
    if (!strcasecmp(name, "grey") || !strcasecmp(name, "gray")) {
        *out = {static_cast<float>(t), static_cast<float>(t), static_cast<float>(t)};
        return true;
    }
    if (!strcasecmp(name, "rainbow")) {
        // Blue at the bottom through green and yellow to red at the top.
        Colour3 c = HSV2RGB(240.0 * (1 - t), 1, 1);
        *out = {static_cast<float>(c.r), static_cast<float>(c.g), static_cast<float>(c.b)};
        return true;
    }
    if (!strcasecmp(name, "hot")) {
        // Black-red-yellow-white with the usual break points.
        const double r1 = 0.365079, g1 = 0.746032;
        double r = t < r1 ? 0.0416 + (1 - 0.0416) * t / r1 : 1;
        double g = t < r1 ? 0 : t < g1 ? (t - r1) / (g1 - r1) : 1;
        double b = t < g1 ? 0 : (t - g1) / (1 - g1);
        *out = {clamp01(static_cast<float>(r)), clamp01(static_cast<float>(g)),
                clamp01(static_cast<float>(b))};
        return true;
    }
    if (!strcasecmp(name, "cool")) {
        *out = {static_cast<float>(t), static_cast<float>(1 - t), 1};
        return true;
    }
    for (const NamedMap &m : kPerceptual)
        if (!strcasecmp(name, m.name)) {
            *out = stopsAt(m.stops, m.n, t);
            return true;
        }
    return false;
}

bool validIndex(int ci)
{
    return ci >= 0 && ci < kColourTableSize;
}

// Install colour(t) over lo..hi, writing only indices inside the table.
template <typename F> void installRange(int lo, int hi, F colour)
{
    Scene &s = scene();
    long n = static_cast<long>(hi) - lo + 1;
    long first = lo < 0 ? -static_cast<long>(lo) : 0;
    long last =
        static_cast<long>(hi) >= kColourTableSize ? static_cast<long>(kColourTableSize) - 1 - lo : n - 1;
    for (long i = first; i <= last; i++) {
        double t = n > 1 ? static_cast<double>(i) / static_cast<double>(n - 1) : 0;
        s.colours[lo + i] = colour(t);
    }
}

} // namespace

extern "C" {

void vqscir(int lo, int hi)
{
    Scene &s = scene();
    // Kept inside the table so volume lookups never leave it.
    auto clampCi = [](int c) { return c < 0 ? 0 : c >= kColourTableSize ? kColourTableSize - 1 : c; };
    if (lo > hi) {
        sceneError("vqscir: range %d..%d is empty; range unchanged", lo, hi);
        return;
    }
    s.ciLo = clampCi(lo);
    s.ciHi = clampCi(hi);
}

void vqqcir(int *lo, int *hi)
{
    Scene &s = scene();
    if (lo)
        *lo = s.ciLo;
    if (hi)
        *hi = s.ciHi;
}

void vqscr(int ci, float r, float g, float b)
{
    if (!validIndex(ci)) {
        sceneError("vqscr: colour index %d outside 0..%d", ci, kColourTableSize - 1);
        return;
    }
    if (!std::isfinite(r) || !std::isfinite(g) || !std::isfinite(b)) {
        sceneError("vqscr: colour %d must be finite; unchanged", ci);
        return;
    }
    scene().colours[ci] = {clamp01(r), clamp01(g), clamp01(b)};
}

void vqqcr(int ci, float *r, float *g, float *b)
{
    Rgb c;
    if (validIndex(ci))
        c = scene().colours[ci];
    else
        sceneError("vqqcr: colour index %d outside 0..%d", ci, kColourTableSize - 1);
    if (r)
        *r = c.r;
    if (g)
        *g = c.g;
    if (b)
        *b = c.b;
}

void vqicm(const char *name, int lo, int hi)
{
    if (!name) {
        sceneError("vqicm: no colour map name; colours unchanged");
        return;
    }
    if (lo > hi) {
        sceneError("vqicm: index range %d..%d is empty; colours unchanged", lo, hi);
        return;
    }
    Rgb probe;
    if (builtinMap(name, 0, &probe)) {
        installRange(lo, hi, [name](double t) {
            Rgb c;
            builtinMap(name, t, &c);
            return c;
        });
        return;
    }
    std::vector<Rgb> ramp;
    FILE *f = std::fopen(name, "r");
    if (!f) {
        sceneError("unknown colour map '%s'; colours unchanged", name);
        return;
    }
    std::fclose(f);
    if (!kFileActions.readColourMap(name, ramp))
        return;
    installRange(lo, hi, [&ramp](double t) { return rampAt(ramp, t); });
}

void vqsci(int ci)
{
    if (!validIndex(ci)) {
        sceneError("vqsci: colour index %d outside 0..%d; unchanged", ci, kColourTableSize - 1);
        return;
    }
    scene().ci = ci;
}

void vqslw(float width)
{
    if (!std::isfinite(width) || width <= 0) {
        sceneError("vqslw: line width must be above 0; unchanged");
        return;
    }
    scene().lineWidth = width;
}

} // extern "C"
