// Per-vertex overlays of a surface: FreeSurfer morphometry (curv,
// thickness), MGH/MGZ per-vertex data, GIfTI functional, shape and label
// data, and .annot parcellations, turned into per-vertex colours.
#pragma once

#include <vector>

#include "obj.h"

enum OverlayMap { OVERLAY_HEAT = 0, OVERLAY_TWOSIDED = 1, OVERLAY_LABELS = 2 };

// What the overlay most recently applied shows, for whoever draws a colour
// bar: its map and range (labels have no range).
struct OverlayLook {
    int present;
    int map;
    float lo, hi;
};
extern OverlayLook currentOverlay;

// The map named on the command line ("heat", "twosided"), or -1.
int overlayMapByName(const char *name);

// Colour of value v under the map over lo..hi, or false where the vertex
// keeps the surface's own colour (below lo, |v| below lo, not a number).
// heat: red (lo) to yellow (hi); twosided: the same above lo, blue (-lo)
// to cyan (-hi) below -lo.
bool overlayColour(int map, float v, float lo, float hi, Colour3 *out);

// The readers: 0, or -1 after one line on stderr naming the file.
int readMorphData(const char *fname, std::vector<float> *values);
// Per-vertex RGB of an annotation, colour tables of version 1 and 2; known
// is 0 for vertices whose label is not in the file's table.
int readAnnot(const char *fname, std::vector<Colour3> *colours, std::vector<char> *known);
// The first per-vertex array of a GIfTI file; a label array with a
// coloured table gives colours (and known, as readAnnot) instead of values.
int readGiftiValues(const char *fname, std::vector<float> *values, std::vector<Colour3> *colours,
                    std::vector<char> *known);

// Reads fname (recognised by content), checks its vertex count against
// the surface's and fills obj->vertexColours. range is lo, hi or null
// (then the data's own range), map one of OverlayMap (ignored for an
// annotation). 0, or -1 after one line on stderr.
int applyOverlay(Obj *obj, const char *fname, const float *range, int map);
