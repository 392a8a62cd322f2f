// Line sets: poly-lines whose points the program holds, recorded once and
// drawn each frame from the renderer's GPU copy.
#include <cmath>

#include "panels.h"

using namespace vq;

int vqcls(int n, const float *xyz, const unsigned int *first, const float *rgb, int colour, float width)
{
    Scene &s = scene();
    if (n < 0 || !first || (n > 0 && !xyz)) {
        sceneError("vqcls: no points or line starts for %d lines", n);
        return -1;
    }
    if (colour != kColourByDirection && colour != kColourPerLine && colour != kColourPerPoint) {
        sceneError("vqcls: colour mode %d is not 0, 1 or 2", colour);
        return -1;
    }
    if (colour != kColourByDirection && !rgb) {
        sceneError("vqcls: colour mode %d needs colours", colour);
        return -1;
    }
    if (first[0] != 0) {
        sceneError("vqcls: the first line starts at point %u, not 0", first[0]);
        return -1;
    }
    LineSet l;
    for (int i = 0; i < n; ++i) {
        if (first[i + 1] < first[i]) {
            sceneError("vqcls: line %d ends before it starts", i);
            return -1;
        }
        if (first[i + 1] - first[i] > 1)
            l.segments += first[i + 1] - first[i] - 1;
    }
    l.xyz = xyz;
    l.first = first;
    l.nlines = n;
    l.npoints = first[n];
    l.rgb = rgb;
    l.colour = colour;
    l.width = std::isfinite(width) && width > 0 ? width : 1;
    s.lineSets.push_back(l);
    return static_cast<int>(s.lineSets.size()) - 1;
}

void vqdls(int id)
{
    Scene &s = scene();
    if (id < 0 || id >= static_cast<int>(s.lineSets.size()))
        return;
    Panel &p = currentPanel(s);
    LineSetDraw d;
    d.set = id;
    for (int a = 0; a < 3; ++a) {
        double sc = mapScale(p, a);
        d.scale[a] = static_cast<float>(sc);
        d.offset[a] = static_cast<float>(mapCoord(p, a, 0.0));
    }
    d.name = s.currentName;
    (s.inFrame ? p.frameList : p.staticList).lineSets.push_back(d);
}
