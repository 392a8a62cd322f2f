// Live changes of a volume's look. Slice sets take new ranges from the
// scene library's volume renderings (the voxels stay on the GPU). 3-D
// textures carry the start-up look in their texels; in a window a changed
// look is drawn from the float voxels through the colour block instead
// (lookGrid); headless runs without keys let go of the float voxels.
#include "look.h"
#include "ortho.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "state.h"
#include "vqscene.h"

int blendMode[4];
int lookGrid[4] = {-1, -1, -1, -1};
int shadeOn[4];
int overlayColourBar, overlayOrientation, overlayScaleBar;

namespace {

const char *const kModeNames[kLookModes] = {"composite", "mip", "minip", "average"};
// The named maps the colour key steps through; after them the file's own.
const char *const kMapNames[] = {"grey", "rainbow", "hot", "cool"};
constexpr int kMapCount = sizeof kMapNames / sizeof kMapNames[0];

struct Look {
    bool known = false;
    float dmin = 0, dmax = 1, amin = 0, amax = 0.2f;
    int blend = 0;
    int shade = 0;
    int map = -1;             // index into kMapNames, kMapCount for the file's own, -1 as started
    float start[256][3] = {}; // the colour block as start-up left it
    float file[256][3] = {};  // the file's own map, brightened as start-up does
};

Look looks[4];
int current; // the volume the keys change
double unitLo[4] = {0, 0, 0, 0}, unitHi[4] = {1, 1, 1, 1};
int patientAxes[4];
bool overlaysOn = true; // the overlay key's switch
bool dragging;          // a look drag that changes ranges is under way

void installMap(int v)
{
    int lo = colourBlockStart(v);
    const Look &l = looks[v];
    if (l.map < 0 || l.map >= kMapCount) {
        const float(*c)[3] = l.map < 0 ? l.start : l.file;
        for (int k = 0; k < 256; k++)
            vqscr(lo + k, c[k][0], c[k][1], c[k][2]);
        return;
    }
    vqicm(kMapNames[l.map], lo, lo + 255);
    for (int ci = lo; ci <= lo + 255; ci++) {
        float r, g, b;
        vqqcr(ci, &r, &g, &b);
        vqscr(ci, std::pow(r, 0.2f), std::pow(g, 0.2f), std::pow(b, 0.2f));
    }
}

const char *mapName(int v)
{
    const Look &l = looks[v];
    if (l.map < 0)
        return "as started";
    return l.map < kMapCount ? kMapNames[l.map] : "file";
}

void sayLook(int v)
{
    std::fprintf(stderr, "volume %d: range %g .. %g, opacity %g .. %g, map %s, projection %s, shading %s\n",
                 v, lookFileValue(v, dmin[v]), lookFileValue(v, dmax[v]), amin[v], amax[v], mapName(v),
                 blendModeName(blendMode[v]), shadeOn[v] ? "on" : "off");
}

// Whether volume v's ranges and colours can change while the viewer runs.
bool liveRanges(int v)
{
    if (!do_3d_render || lookGrid[v] >= 0)
        return true;
    // The slice views draw from the grid, which follows the range.
    if (orthoGrid[v] >= 0) {
        std::fprintf(stderr, "with -3d the range changes the slice views only\n");
        return true;
    }
    std::fprintf(stderr, "with -3d only the projection changes while the viewer runs\n");
    return false;
}

// Volume v's texture from its texels while its look is the start-up one
// (they are exact for it), from the float voxels once it has changed.
void drawTextureFrom(int v)
{
    if (lookGrid[v] < 0)
        return;
    const Look &l = looks[v];
    bool changed = !l.known || l.map >= 0 || dmin[v] != l.dmin || dmax[v] != l.dmax || amin[v] != l.amin ||
                   amax[v] != l.amax;
    if (!changed) {
        svqtvr(tex3d[v], -1, 0, 0);
        return;
    }
    fillLookVoxels(v);
    svqvr(lookGrid[v], dmin[v], dmax[v], amin[v], amax[v]);
    int lo = colourBlockStart(v);
    svqtvr(tex3d[v], lookGrid[v], lo, lo + 255);
}

} // namespace

int blendModeNamed(const char *text)
{
    for (int m = 0; m < kLookModes; m++)
        if (text && std::strcmp(text, kModeNames[m]) == 0)
            return m;
    return -1;
}

const char *blendModeName(int mode)
{
    return mode >= 0 && mode < kLookModes ? kModeNames[mode] : "?";
}

void rememberLook(int v, const float *fileRed, const float *fileGreen, const float *fileBlue)
{
    if (v < 0 || v >= 4)
        return;
    Look &l = looks[v];
    l.known = true;
    l.dmin = dmin[v];
    l.dmax = dmax[v];
    l.amin = amin[v];
    l.amax = amax[v];
    l.blend = blendMode[v];
    l.shade = shadeOn[v];
    l.map = -1;
    int lo = colourBlockStart(v);
    for (int k = 0; k < 256; k++) {
        vqqcr(lo + k, &l.start[k][0], &l.start[k][1], &l.start[k][2]);
        l.file[k][0] = fileRed ? std::pow(fileRed[k], 0.2f) : l.start[k][0];
        l.file[k][1] = fileGreen ? std::pow(fileGreen[k], 0.2f) : l.start[k][1];
        l.file[k][2] = fileBlue ? std::pow(fileBlue[k], 0.2f) : l.start[k][2];
    }
    applyLook(v);
}

void applyLook(int v)
{
    if (v < 0 || v >= NVR)
        return;
    // The slice views show every value from the data range up, at full opacity.
    if (orthoGrid[v] >= 0)
        svqvr(orthoGrid[v], dmin[v], dmax[v], 1.0f, 1.0f);
    if (do_3d_render) {
        if (tex3d[v] >= 0) {
            svqtbm(tex3d[v], blendMode[v]);
            svqtsh(tex3d[v], shadeOn[v]);
            drawTextureFrom(v);
        }
        return;
    }
    int ids[3] = {vidx[v], vidy[v], vidz[v]};
    for (int a = 0; a < 3; a++) {
        if (ids[a] < 0)
            continue;
        svqvr(ids[a], dmin[v], dmax[v], dscale[v][a] * amin[v], dscale[v][a] * amax[v]);
        svqvbm(ids[a], blendMode[v]);
        svqvsh(ids[a], shadeOn[v]);
    }
}

void setLookUnits(int v, double lo, double hi)
{
    if (v < 0 || v >= 4)
        return;
    unitLo[v] = lo;
    unitHi[v] = hi;
}

double lookFileValue(int v, double value)
{
    if (v < 0 || v >= 4)
        return value;
    double span = unitHi[v] - unitLo[v], x = unitLo[v] + value * span;
    // Float ranges leave crumbs: a millionth of the file's span is zero.
    return std::fabs(x) < 1e-6 * std::fabs(span) ? 0.0 : x;
}

void setLookPatientAxes(int v, int lps)
{
    if (v >= 0 && v < 4)
        patientAxes[v] = lps;
}

void lookOverlays()
{
    if (NVR <= 0)
        return;
    int v = current < NVR ? current : 0;
    bool any = overlayColourBar || overlayOrientation || overlayScaleBar;
    // The key brings all three when the command line asked for none.
    bool bar = overlaysOn ? overlayColourBar : !any, labels = overlaysOn ? overlayOrientation : !any,
         scale = overlaysOn ? overlayScaleBar : !any;
    if (bar) {
        int lo = colourBlockStart(v);
        float at[5];
        char text[5][32];
        const char *texts[5];
        for (int t = 0; t < 5; t++) {
            at[t] = t / 4.0f;
            std::snprintf(text[t], sizeof text[t], "%.4g",
                          lookFileValue(v, dmin[v] + at[t] * (dmax[v] - dmin[v])));
            texts[t] = text[t];
        }
        svqocb(lo, lo + 255, amin[v], amax[v], 5, at, texts);
    } else {
        svqocb(0, -1, 0, 0, 0, nullptr, nullptr);
    }
    static const char *const lps[6] = {"L", "R", "P", "A", "S", "I"};
    static const char *const plain[6] = {"+x", "-x", "+y", "-y", "+z", "-z"};
    svqoor(labels ? (patientAxes[v] ? lps : plain) : nullptr);
    // World units are millimetres.
    svqosb(scale ? 1.0f : 0.0f);
    if (dragging) {
        char line[96];
        std::snprintf(line, sizeof line, "window %.4g .. %.4g", lookFileValue(v, dmin[v]),
                      lookFileValue(v, dmax[v]));
        svqotx(line);
    } else {
        svqotx(nullptr);
    }
}

void lookDrag(int *phase, float *dx, float *dy)
{
    if (NVR <= 0 || !phase)
        return;
    if (current >= NVR)
        current = 0;
    int v = current;
    if (*phase == 0) {
        dragging = liveRanges(v);
        return;
    }
    if (!dragging)
        return;
    if (*phase == 2) {
        dragging = false;
        std::fprintf(stderr, "volume %d window: %g .. %g\n", v, lookFileValue(v, dmin[v]),
                     lookFileValue(v, dmax[v]));
        return;
    }
    if (!dx || !dy || !std::isfinite(*dx) || !std::isfinite(*dy))
        return;
    // Voxel values run from 0 to 1 (bytes over 255): a whole panel across
    // is the whole of that.
    double width = dmax[v] - dmin[v], centre = 0.5 * (dmin[v] + dmax[v]);
    width = std::fmax(width + *dx, 1e-3);
    centre += *dy;
    dmin[v] = static_cast<float>(centre - 0.5 * width);
    dmax[v] = static_cast<float>(centre + 0.5 * width);
    applyLook(v);
}

int lookKey(unsigned char key)
{
    if (NVR <= 0)
        return 0;
    if (current >= NVR)
        current = 0;
    int v = current;
    Look &l = looks[v];
    switch (key) {
    case 'V':
        current = (current + 1) % NVR;
        std::fprintf(stderr, "keys now change volume %d\n", current);
        return 1;
    case 'm':
        blendMode[v] = (blendMode[v] + 1) % kLookModes;
        break;
    case 'L':
        shadeOn[v] = !shadeOn[v];
        break;
    case 'O':
        overlaysOn = !overlaysOn;
        return 1;
    case ']':
    case '[':
        if (!liveRanges(v))
            return 1;
        {
            float f = key == ']' ? 1.25f : 0.8f;
            amin[v] *= f;
            amax[v] *= f;
        }
        break;
    case 'c':
        if (!liveRanges(v))
            return 1;
        l.map = l.map < 0 ? 0 : (l.map + 1) % (kMapCount + 1);
        installMap(v);
        break;
    case 'R':
        if (!l.known)
            return 1;
        blendMode[v] = l.blend;
        shadeOn[v] = l.shade;
        overlaysOn = true;
        if (!do_3d_render || orthoGrid[v] >= 0 || lookGrid[v] >= 0) {
            dmin[v] = l.dmin;
            dmax[v] = l.dmax;
            amin[v] = l.amin;
            amax[v] = l.amax;
            l.map = -1;
            installMap(v);
        }
        break;
    default:
        return 0;
    }
    applyLook(v);
    sayLook(v);
    return 1;
}

void printLookKeys()
{
    std::fprintf(stderr, "xrwview keys:\n"
                         "  B        all slice sets on/off\n"
                         "  m        next projection: composite, mip, minip, average\n"
                         "  L        gradient shading on/off\n"
                         "  O        colour bar, orientation labels and scale bar on/off\n"
                         "  ] [      opacity up, down (the -a ramp times 1.25, 0.8)\n"
                         "  c        next colour map: grey, rainbow, hot, cool, the file's own\n"
                         "  R        the volume's look as the command line set it\n"
                         "  V        keys change the next volume\n"
                         "  Ctrl + left drag  window (across) and level (up and down) of that volume\n"
                         "  0 9      slice reveal (-3d); 1 slice sets, 2 tracks on/off\n");
}

void resetLook()
{
    for (int v = 0; v < 4; v++) {
        blendMode[v] = 0;
        shadeOn[v] = 0;
        looks[v] = Look();
    }
    current = 0;
    dragging = false;
    for (int &g : lookGrid)
        g = -1;
    overlaysOn = true;
    overlayColourBar = overlayOrientation = overlayScaleBar = 0;
    for (int v = 0; v < 4; v++)
        unitLo[v] = 0, unitHi[v] = 1, patientAxes[v] = 0;
}
