// The viewer's tractogram as a line set of the scene library: points held
// once, here, and read by the library from this storage.
#include "trackset.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vqscene.h"

namespace {

Tractogram *loaded;
float *lineColours; // 3 a streamline, when coloured by ends
int colourMode = kTrackColourEnds;
int setId = -1;

} // namespace

void endToEndColour(const float *xyz, long n, float rgb[3])
{
    // As the track pass colours a text track: hue from |y|, saturation
    // from |z|, value from |x| of the unit end-to-end direction.
    const float *a = xyz, *b = xyz + 3 * (n - 1);
    Point3 p0{a[0], a[1], a[2]}, p1{b[0], b[1], b[2]};
    Point3 d = VectorSub(p0, p1);
    Normalise(&d);
    double s = std::fabs(d.z) < 1.0 ? std::fabs(d.z) : 1.0;
    double v = std::fabs(d.x) < 1.0 ? std::fabs(d.x) : 1.0;
    Colour3 c = HSV2RGB(std::fabs(d.y) * 360.0, s, v);
    rgb[0] = static_cast<float>(c.r);
    rgb[1] = static_cast<float>(c.g);
    rgb[2] = static_cast<float>(c.b);
}

int loadTrackSet(const char *name)
{
    Tractogram *t = loadTractogram(name);
    if (!t)
        return -1;
    if (colourMode == kTrackColourEnds) {
        lineColours = static_cast<float *>(std::malloc(sizeof(float) * 3 * t->nlines));
        if (!lineColours) {
            std::fprintf(stderr, "%s: no memory for the colours of %ld streamlines\n", name, t->nlines);
            freeTractogram(t);
            return -1;
        }
        for (long l = 0; l < t->nlines; ++l) {
            long n = static_cast<long>(t->first[l + 1]) - t->first[l];
            float *c = lineColours + 3 * l;
            if (n >= 2)
                endToEndColour(t->xyz + 3 * static_cast<long>(t->first[l]), n, c);
            else
                c[0] = c[1] = c[2] = 0;
        }
    }
    loaded = t;
    std::fprintf(stderr, "loaded %ld streamlines of %ld points from %s\n", t->nlines, t->npoints, name);
    return 0;
}

bool haveTrackSet()
{
    return loaded != nullptr;
}

const Tractogram *trackSet()
{
    return loaded;
}

bool setTrackColourName(const char *name)
{
    if (std::strcmp(name, "ends") == 0)
        colourMode = kTrackColourEnds;
    else if (std::strcmp(name, "dir") == 0)
        colourMode = kTrackColourDirection;
    else
        return false;
    return true;
}

void drawTrackSet()
{
    if (!loaded)
        return;
    if (setId < 0) {
        bool ends = colourMode == kTrackColourEnds;
        setId = vqcls(static_cast<int>(loaded->nlines), loaded->xyz, loaded->first,
                      ends ? lineColours : nullptr, ends ? 1 : 0, 2.0f);
        if (setId < 0)
            return;
    }
    vqdls(setId);
}

void resetTrackSet()
{
    freeTractogram(loaded);
    std::free(lineColours);
    loaded = nullptr;
    lineColours = nullptr;
    colourMode = kTrackColourEnds;
    setId = -1;
}
