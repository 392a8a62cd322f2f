// Orthogonal slice views: three panels with orthographic cameras, each
// showing a slice of every volume through the crosshair (volume 0 opaque,
// the others blended over it), the crosshair and orientation letters.
#include "ortho.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "crosshair.h"
#include "frame.h"
#include "obj.h"
#include "startup.h"
#include "tracks.h"

int orthoGrid[4] = {-1, -1, -1, -1};

namespace {

int panels[3] = {-1, -1, -1};
// Window fractions of the views: axial top left, coronal top right,
// sagittal bottom left (the 3-D view takes the rest).
const float kWhere[3][4] = {{0, 0.5f, 0.5f, 1}, {0.5f, 0.5f, 1, 1}, {0, 0, 0.5f, 0.5f}};
// Zoom (above 1 closer) and the view's centre in the world, per view; the
// centre's coordinate along the view's normal follows the crosshair.
double zoom[3] = {1, 1, 1};
double centre[3][3];
bool centreSet = false;
// The crosshair moved since the pointer went down: its readout is due
// when the pointer is let go.
bool movedSincePress = false;

// Colour indices of the crosshair and the letters.
constexpr int kCrossColour = 990, kLetterColour = 991, kTrackColour = 992;
// The views' text item slots.
enum { kTextLeft, kTextRight, kTextTop, kTextBottom, kTextCorner };

// Volume 0's box (its voxel cells) along world axis a.
void boxSpan(int a, double *lo, double *hi)
{
    const VolumePlacement &p = placements[0];
    *lo = INFINITY, *hi = -INFINITY;
    for (int c = 0; c < 8; c++) {
        double g[3] = {c & 1 ? p.gridN[0] - 0.5 : -0.5, c & 2 ? p.gridN[1] - 0.5 : -0.5,
                       c & 4 ? p.gridN[2] - 0.5 : -0.5};
        double w = p.tr[4 * a] + p.tr[4 * a + 1] * g[0] + p.tr[4 * a + 2] * g[1] + p.tr[4 * a + 3] * g[2];
        *lo = std::fmin(*lo, w);
        *hi = std::fmax(*hi, w);
    }
}

double dot(const double a[3], const double b[3])
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

void startCentres()
{
    for (int v = 0; v < 3; v++)
        for (int a = 0; a < 3; a++) {
            double lo, hi;
            boxSpan(a, &lo, &hi);
            centre[v][a] = 0.5 * (lo + hi);
        }
    centreSet = true;
}

// The view's camera: its centre on the crosshair's slice, the box fitted
// (with a margin) and zoomed.
// Screen right x screen up: the world direction towards the viewer.
void towardViewer(const OrthoLayout &L, double out[3])
{
    out[0] = L.right[1] * L.up[2] - L.right[2] * L.up[1];
    out[1] = L.right[2] * L.up[0] - L.right[0] * L.up[2];
    out[2] = L.right[0] * L.up[1] - L.right[1] * L.up[0];
}

void placeCamera(int view, const OrthoLayout &L, double *height)
{
    if (!centreSet)
        startCentres();
    double *c = centre[view];
    c[L.normal] = crosshair.world[L.normal];
    // One scale in every view: the box's longest side fits, with a margin
    // that keeps the letters off the slices.
    double fit = 0;
    for (int a = 0; a < 3; a++) {
        double lo, hi;
        boxSpan(a, &lo, &hi);
        fit = std::fmax(fit, hi - lo);
    }
    fit *= 1.25;
    *height = fit / zoom[view];
    // The view looks away from the viewer.
    double t[3];
    towardViewer(L, t);
    svqoc(Point3{c[0], c[1], c[2]}, Point3{-t[0], -t[1], -t[2]}, Point3{L.up[0], L.up[1], L.up[2]}, *height);
}

// Where each surface shown crosses the slice at c along world axis n: the
// segments of its triangles that straddle the plane, in its colour.
void drawCutSurfaces(int n, double c, const double lift[3], int *kc)
{
    if (nobjs <= 0 || (kc && (*kc & 1)))
        return;
    // OBJ and STL coordinates count from the lower corner of the world box,
    // as the surface pass draws them: world = vertex - the window's upper
    // corner. Surfaces read in world coordinates need no shift.
    float x1, x2, y1, y2, z1, z2;
    vqqwin(&x1, &x2, &y1, &y2, &z1, &z2);
    const double corner[3] = {x2, y2, z2};
    for (int j = 0; j < nobjs; j++) {
        const Obj *o = objs[j];
        if (!o || !o->verts || !o->facets)
            continue;
        double shift[3], cut = c;
        for (int a = 0; a < 3; a++)
            shift[a] = lift[a] - (o->worldCoords ? 0 : corner[a]);
        if (!o->worldCoords)
            cut += corner[n];
        for (int f = 0; f < o->nfacets; f++) {
            double p[3][3], d[3];
            bool ok = true;
            for (int k = 0; k < 3 && ok; k++) {
                int vi = o->facets[3 * f + k] - 1;
                ok = vi >= 0 && vi < o->nverts;
                if (ok) {
                    const Point3 &q = o->verts[vi];
                    p[k][0] = q.x, p[k][1] = q.y, p[k][2] = q.z;
                    d[k] = p[k][n] - cut;
                }
            }
            if (!ok)
                continue;
            Point3 ends[2];
            int m = 0;
            for (int k = 0; k < 3 && m < 2; k++) {
                int l = (k + 1) % 3;
                if ((d[k] < 0) == (d[l] < 0))
                    continue;
                double t = d[k] / (d[k] - d[l]);
                ends[m++] = Point3{p[k][0] + t * (p[l][0] - p[k][0]) + shift[0],
                                   p[k][1] + t * (p[l][1] - p[k][1]) + shift[1],
                                   p[k][2] + t * (p[l][2] - p[k][2]) + shift[2]};
            }
            if (m == 2)
                nvqvthcline(ends[0], ends[1], o->colour, o->colour, 2.0f);
        }
    }
}

// The points of the tracks shown that lie within `half` of the slice at c
// along world axis n, each track in the colour the 3-D view gives it.
void drawNearTracks(int n, double c, double half, const double lift[3])
{
    if (!start || (numcount[2] & 1) == 0 || ntracks <= 0)
        return;
    constexpr int kChunk = 256;
    float x[kChunk], y[kChunk], z[kChunk];
    for (long t = 0; t < ntracks; t++) {
        int cnt = count[t];
        if (cnt <= 1)
            continue;
        const Point3 *p = start[t];
        Colour3 colour = trackColour(p, cnt);
        vqscr(kTrackColour, static_cast<float>(colour.r), static_cast<float>(colour.g),
              static_cast<float>(colour.b));
        vqsci(kTrackColour);
        int m = 0;
        for (int k = 0; k < cnt; k++) {
            const double w[3] = {p[k].x, p[k].y, p[k].z};
            if (!(std::fabs(w[n] - c) <= half))
                continue;
            x[m] = static_cast<float>(w[0] + lift[0]), y[m] = static_cast<float>(w[1] + lift[1]);
            z[m] = static_cast<float>(w[2] + lift[2]);
            if (++m == kChunk) {
                vqpt(m, x, y, z, 1);
                m = 0;
            }
        }
        if (m)
            vqpt(m, x, y, z, 1);
    }
}

// Half of volume 0's voxel along world axis n: the grid axis that changes
// fastest along it sets the step.
double halfVoxelAlong(int n)
{
    const VolumePlacement &p = placements[0];
    double most = 0;
    for (int g = 0; g < 3; g++)
        most = std::fmax(most, std::fabs(p.inv[4 * g + 1 + n]));
    return most > 0 ? 0.5 / most : 0;
}

int frameKc[3];

void frameAxial(double *, int *kc)
{
    frameKc[ORTHO_AXIAL] = kc ? *kc : 0;
    drawOrthoView(ORTHO_AXIAL);
}

void frameCoronal(double *, int *kc)
{
    frameKc[ORTHO_CORONAL] = kc ? *kc : 0;
    drawOrthoView(ORTHO_CORONAL);
}

void frameSagittal(double *, int *kc)
{
    frameKc[ORTHO_SAGITTAL] = kc ? *kc : 0;
    drawOrthoView(ORTHO_SAGITTAL);
}

int viewOfPanel(int panel)
{
    for (int v = 0; v < 3; v++)
        if (panels[v] >= 0 && panels[v] == panel)
            return v;
    return -1;
}

} // namespace

OrthoLayout orthoLayout(int view, int neurological)
{
    // Radiological: the patient's left (+x) on the screen's right.
    double lr = neurological ? -1 : 1;
    switch (view) {
    case ORTHO_AXIAL:
        return {2, {lr, 0, 0}, {0, -1, 0}, {neurological ? 'L' : 'R', neurological ? 'R' : 'L', 'A', 'P'}};
    case ORTHO_CORONAL:
        return {1, {lr, 0, 0}, {0, 0, 1}, {neurological ? 'L' : 'R', neurological ? 'R' : 'L', 'S', 'I'}};
    default:
        // Sagittal: the front on the left, either way.
        return {0, {0, 1, 0}, {0, 0, 1}, {'A', 'P', 'S', 'I'}};
    }
}

int orthoSlice(int v, int normal, double c, Point3 world[12], Point3 grid[12])
{
    const VolumePlacement &p = placements[v];
    if (!p.used)
        return 0;
    // A square on the plane larger than the box, taken into grid indices
    // and cut there to the voxel cells.
    int a1 = (normal + 1) % 3, a2 = (normal + 2) % 3;
    double span = 0, mid[3] = {0, 0, 0};
    for (int c8 = 0; c8 < 8; c8++) {
        double g[3] = {c8 & 1 ? p.gridN[0] - 0.5 : -0.5, c8 & 2 ? p.gridN[1] - 0.5 : -0.5,
                       c8 & 4 ? p.gridN[2] - 0.5 : -0.5};
        for (int a = 0; a < 3; a++) {
            double w = p.tr[4 * a] + p.tr[4 * a + 1] * g[0] + p.tr[4 * a + 2] * g[1] + p.tr[4 * a + 3] * g[2];
            mid[a] += w / 8;
            span = std::fmax(span, std::fabs(w));
        }
    }
    span = 4 * span + 1;
    double poly[16][3], next[16][3];
    int n = 4;
    for (int k = 0; k < 4; k++) {
        double w[3];
        w[normal] = c;
        w[a1] = mid[a1] + ((k == 1 || k == 2) ? span : -span);
        w[a2] = mid[a2] + (k >= 2 ? span : -span);
        worldToGridIndex(v, w, poly[k]);
    }
    for (int a = 0; a < 3 && n > 0; a++)
        for (int side = 0; side < 2 && n > 0; side++) {
            double limit = side ? p.gridN[a] - 0.5 : -0.5;
            auto inside = [&](const double *q) { return side ? q[a] <= limit : q[a] >= limit; };
            int m = 0;
            for (int e = 0; e < n; e++) {
                const double *q0 = poly[e], *q1 = poly[(e + 1) % n];
                bool in0 = inside(q0), in1 = inside(q1);
                if (in0 && m < 16)
                    std::memcpy(next[m++], q0, sizeof next[0]);
                if (in0 != in1 && m < 16) {
                    double t = (limit - q0[a]) / (q1[a] - q0[a]);
                    for (int b = 0; b < 3; b++)
                        next[m][b] = q0[b] + t * (q1[b] - q0[b]);
                    m++;
                }
            }
            n = m;
            std::memcpy(poly, next, sizeof(double) * 3 * static_cast<size_t>(m));
        }
    if (n < 3)
        return 0;
    n = n > 12 ? 12 : n;
    for (int k = 0; k < n; k++) {
        grid[k] = Point3{poly[k][0], poly[k][1], poly[k][2]};
        double w[3];
        for (int a = 0; a < 3; a++)
            w[a] = p.tr[4 * a] + p.tr[4 * a + 1] * poly[k][0] + p.tr[4 * a + 2] * poly[k][1] +
                   p.tr[4 * a + 3] * poly[k][2];
        world[k] = Point3{w[0], w[1], w[2]};
    }
    return n;
}

int orthoPanel(int view)
{
    return view >= 0 && view < 3 ? panels[view] : -1;
}

int setUpOrthoViews()
{
    const VolumePlacement &p0 = placements[0];
    if (!p0.used || p0.gridN[0] < 1 || p0.gridN[1] < 1 || p0.gridN[2] < 1) {
        std::fprintf(stderr, "-ortho: '%s' has no voxels to slice.\n", settings.volume[0].xrwFileName);
        return -1;
    }
    float *w = settings.window;
    const float *vp = settings.viewport;
    vqscr(kCrossColour, 0.2f, 1.0f, 0.2f);
    vqscr(kLetterColour, 1.0f, 0.85f, 0.3f);
    // The 3-D view takes the lower right quarter.
    xvqmp(0, 0.5f, 0.0f, 1.0f, 0.5f);
    vqFrameFunc funcs[3] = {frameAxial, frameCoronal, frameSagittal};
    for (int v = 0; v < 3; v++) {
        panels[v] = xvqap(kWhere[v][0], kWhere[v][1], kWhere[v][2], kWhere[v][3]);
        if (panels[v] < 0)
            return -1;
        xvqcp(panels[v]);
        vqswin(w[0], w[1], w[2], w[3], w[4], w[5]);
        vqsvp(vp[0], vp[1], vp[2], vp[3], vp[4], vp[5]);
        cvqscb(funcs[v]);
    }
    xvqcp(0);
    cvqspcb(orthoPointer);
    centreSet = false;
    for (double &z : zoom)
        z = 1;
    return 0;
}

void drawOrthoView(int view)
{
    OrthoLayout L = orthoLayout(view, crosshair.neurological);
    double height;
    placeCamera(view, L, &height);
    double toward[3];
    towardViewer(L, toward);
    for (int v = 0; v < NVR; v++) {
        if (orthoGrid[v] < 0)
            continue;
        Point3 wp[12], gp[12];
        int n = orthoSlice(v, L.normal, crosshair.world[L.normal], wp, gp);
        if (n < 3)
            continue;
        int lo = colourBlockStart(v);
        vqscir(lo, lo + 255);
        nvqgplane(orthoGrid[v], n, wp, gp, crosshair.linear, v == 0 ? 1.0f : 0.5f);
    }
    // Crosshair, surfaces and tracks lie a little in front of the slices.
    double lift = 1e-3 * height;
    const double liftBy[3] = {lift * toward[0], lift * toward[1], lift * toward[2]};
    drawCutSurfaces(L.normal, crosshair.world[L.normal], liftBy, &frameKc[view]);
    drawNearTracks(L.normal, crosshair.world[L.normal], halfVoxelAlong(L.normal), liftBy);
    const double *c = centre[view];
    double halfW = 0.5 * height;
    // A panel wider than high shows more across: its right edge says how much.
    Point3 edge;
    const float *f = kWhere[view];
    if (xvqpw(panels[view], f[2], 0.5 * (f[1] + f[3]), &edge) == 0) {
        const double e[3] = {edge.x - c[0], edge.y - c[1], edge.z - c[2]};
        halfW = std::fabs(dot(e, L.right));
    }
    vqsci(kCrossColour);
    vqslw(1);
    for (int line = 0; line < 2; line++) {
        const double *along = line ? L.up : L.right;
        float x[2], y[2], z[2];
        for (int e = 0; e < 2; e++) {
            double p[3];
            for (int a = 0; a < 3; a++) {
                // Through the crosshair, across the whole view.
                double off = along[a] * (dot(c, along) - dot(crosshair.world, along) + (e ? 4 : -4) * halfW);
                p[a] = crosshair.world[a] + off + lift * toward[a];
            }
            x[e] = static_cast<float>(p[0]), y[e] = static_cast<float>(p[1]), z[e] = static_cast<float>(p[2]);
        }
        vqline(2, x, y, z);
    }
    // Letters, convention and readout: text items over the panel, the
    // letters just inside the middle of each edge.
    char letter[4][2] = {{L.letters[0], 0}, {L.letters[1], 0}, {L.letters[2], 0}, {L.letters[3], 0}};
    svqotxi(kTextLeft, 0, 0.5f, 0, 0.5f, kLetterColour, letter[0]);
    svqotxi(kTextRight, 1, 0.5f, 1, 0.5f, kLetterColour, letter[1]);
    svqotxi(kTextTop, 0.5f, 1, 0.5f, 1, kLetterColour, letter[2]);
    svqotxi(kTextBottom, 0.5f, 0, 0.5f, 0, kLetterColour, letter[3]);
    // The convention in the axial view's lower left corner; the readout
    // (the world point, then each volume's voxel and value) in the coronal
    // view's.
    const char *corner = nullptr;
    std::string readout;
    if (view == ORTHO_AXIAL)
        corner = crosshair.neurological ? "NEU" : "RAD";
    if (view == ORTHO_CORONAL) {
        char text[96];
        std::snprintf(text, sizeof text, "%.2f %.2f %.2f", crosshair.world[0], crosshair.world[1],
                      crosshair.world[2]);
        readout = text;
        for (int v = 0; v < NVR; v++) {
            int ijk[3];
            char value[48];
            if (readVoxel(v, crosshair.world, ijk, value, sizeof value) == 0)
                std::snprintf(text, sizeof text, "\n%d: %d %d %d : %s", v, ijk[0], ijk[1], ijk[2], value);
            else
                std::snprintf(text, sizeof text, "\n%d: - - - : -", v);
            readout += text;
        }
        // A blank last line keeps it above the bottom letter.
        readout += "\n";
        corner = readout.c_str();
    }
    svqotxi(kTextCorner, 0, 0, 0, 0, kLetterColour, corner);
}

void drawOrthoOutlines()
{
    for (int view = 0; view < 3; view++) {
        OrthoLayout L = orthoLayout(view, crosshair.neurological);
        Point3 wp[12], gp[12];
        int n = orthoSlice(0, L.normal, crosshair.world[L.normal], wp, gp);
        if (n < 3)
            continue;
        float x[13], y[13], z[13];
        for (int k = 0; k <= n; k++) {
            const Point3 &p = wp[k % n];
            x[k] = static_cast<float>(p.x), y[k] = static_cast<float>(p.y), z[k] = static_cast<float>(p.z);
        }
        vqsci(kCrossColour);
        vqslw(1);
        vqline(n + 1, x, y, z);
    }
}

int orthoPointer(int what, int button, int panel, double fx, double fy)
{
    int view = viewOfPanel(panel);
    if (what >= VQ_KEY_LEFT) {
        // Keys step the crosshair in the view under the pointer (the axial
        // one when the pointer is elsewhere but not over the 3-D view).
        if (view < 0 && panel == 0)
            return 0;
        OrthoLayout L = orthoLayout(view < 0 ? ORTHO_AXIAL : view, crosshair.neurological);
        int axis = -1, sign = 0;
        auto along = [&](const double d[3], int s) {
            for (int a = 0; a < 3; a++)
                if (d[a] != 0) {
                    axis = a;
                    sign = d[a] > 0 ? s : -s;
                }
        };
        switch (what) {
        case VQ_KEY_LEFT:
            along(L.right, -1);
            break;
        case VQ_KEY_RIGHT:
            along(L.right, 1);
            break;
        case VQ_KEY_UP:
            along(L.up, 1);
            break;
        case VQ_KEY_DOWN:
            along(L.up, -1);
            break;
        // Page Up goes up, forwards or to the patient's left.
        case VQ_KEY_PAGE_UP:
            axis = L.normal, sign = L.normal == 1 ? -1 : 1;
            break;
        case VQ_KEY_PAGE_DOWN:
            axis = L.normal, sign = L.normal == 1 ? 1 : -1;
            break;
        default:
            return 0;
        }
        if (axis >= 0 && stepCrosshair(axis, sign))
            printReadout();
        return 1;
    }
    if (view < 0)
        return 0;
    if (what == VQ_POINTER_WHEEL_UP || what == VQ_POINTER_WHEEL_DOWN) {
        // Zoom about the pointer: the point under it stays put.
        Point3 p;
        if (xvqpw(panel, fx, fy, &p) != 0)
            return 1;
        double f = what == VQ_POINTER_WHEEL_UP ? 1.1 : 1 / 1.1;
        zoom[view] *= f;
        const double q[3] = {p.x, p.y, p.z};
        for (int a = 0; a < 3; a++)
            centre[view][a] = q[a] + (centre[view][a] - q[a]) / f;
        return 1;
    }
    if (button != 0)
        return 0;
    if (what == VQ_POINTER_PRESS || what == VQ_POINTER_DRAG) {
        if (what == VQ_POINTER_PRESS)
            movedSincePress = false;
        Point3 p;
        if (xvqpw(panel, fx, fy, &p) == 0) {
            const double w[3] = {p.x, p.y, p.z};
            if (moveCrosshair(w))
                movedSincePress = true;
        }
        return 1;
    }
    if (what == VQ_POINTER_RELEASE) {
        if (movedSincePress)
            printReadout();
        movedSincePress = false;
        return 1;
    }
    return 0;
}
