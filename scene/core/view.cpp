// World window, viewport, box, colours of the scene, lights and camera queries.
#include <cmath>

#include "panels.h"
#include "vec3.h"

using namespace vq;

namespace {

bool allFinite(std::initializer_list<double> v)
{
    for (double d : v)
        if (!std::isfinite(d))
            return false;
    return true;
}

float clamp01(float v)
{
    return v < 0 ? 0 : v > 1 ? 1 : v;
}

} // namespace

extern "C" {

void vqswin(float x1, float x2, float y1, float y2, float z1, float z2)
{
    if (!allFinite({x1, x2, y1, y2, z1, z2})) {
        sceneError("vqswin: window values must be finite; window unchanged");
        return;
    }
    Box &w = currentPanel(scene()).window;
    w.lo[0] = x1, w.hi[0] = x2;
    w.lo[1] = y1, w.hi[1] = y2;
    w.lo[2] = z1, w.hi[2] = z2;
}

void vqqwin(float *x1, float *x2, float *y1, float *y2, float *z1, float *z2)
{
    const Box &w = currentPanel(scene()).window;
    // The window holds the floats as set, so these come back exactly.
    if (x1)
        *x1 = static_cast<float>(w.lo[0]);
    if (x2)
        *x2 = static_cast<float>(w.hi[0]);
    if (y1)
        *y1 = static_cast<float>(w.lo[1]);
    if (y2)
        *y2 = static_cast<float>(w.hi[1]);
    if (z1)
        *z1 = static_cast<float>(w.lo[2]);
    if (z2)
        *z2 = static_cast<float>(w.hi[2]);
}

void vqsvp(float x1, float x2, float y1, float y2, float z1, float z2)
{
    if (!allFinite({x1, x2, y1, y2, z1, z2})) {
        sceneError("vqsvp: viewport values must be finite; viewport unchanged");
        return;
    }
    Scene &s = scene();
    Panel &p = currentPanel(scene());
    Box &v = p.viewport;
    v.lo[0] = x1, v.hi[0] = x2;
    v.lo[1] = y1, v.hi[1] = y2;
    v.lo[2] = z1, v.hi[2] = z2;
    refitCamera(s, s.current);
}

void vqbox(const char *xopt, float xtick, int nxsub, const char *yopt, float ytick, int nysub,
           const char *zopt, float ztick, int nzsub)
{
    Panel &p = currentPanel(scene());
    BoxSpec &b = p.box;
    b.enabled = true;
    const char *opts[3] = {xopt, yopt, zopt};
    float ticks[3] = {xtick, ytick, ztick};
    int subs[3] = {nxsub, nysub, nzsub};
    for (int a = 0; a < 3; a++) {
        b.opt[a] = opts[a] ? opts[a] : "";
        b.tick[a] = std::isfinite(ticks[a]) && ticks[a] > 0 ? ticks[a] : 0;
        b.nsub[a] = subs[a] > 0 ? subs[a] : 0;
    }
    b.window = p.window;
    b.viewport = p.viewport;
}

void svqstt(const char *title)
{
    if (!title || !*title) {
        sceneError("svqstt: no window title; unchanged");
        return;
    }
    // Window managers show a line; a title is no place for a file's worth.
    scene().title = std::string(title).substr(0, 400);
}

int vqqin(void)
{
    const Scene &s = scene();
    return s.open && (!headlessRun(s.opts) || !s.opts.keys.empty()) ? 1 : 0;
}

void svqsbc(float r, float g, float b)
{
    if (!allFinite({r, g, b})) {
        sceneError("svqsbc: colour must be finite");
        return;
    }
    scene().background = {clamp01(r), clamp01(g), clamp01(b)};
}

void svqsfc(float r, float g, float b)
{
    if (!allFinite({r, g, b})) {
        sceneError("svqsfc: colour must be finite");
        return;
    }
    scene().foreground = {clamp01(r), clamp01(g), clamp01(b)};
}

void svqsl(Colour3 ambient, int n, const Point3 *pos, const Colour3 *col, int world)
{
    // The fixed pipeline offers eight lights; more are dropped with a note.
    const int kMaxLights = 8;
    if (n < 0 || (n > 0 && (!pos || !col))) {
        sceneError("svqsl: bad light list (n = %d); lights unchanged", n);
        return;
    }
    if (n > kMaxLights) {
        sceneError("svqsl: %d lights asked for, using the first %d", n, kMaxLights);
        n = kMaxLights;
    }
    if (!allFinite({ambient.r, ambient.g, ambient.b})) {
        sceneError("svqsl: ambient colour must be finite; lights unchanged");
        return;
    }
    Lighting l;
    l.ambient = {clamp01(static_cast<float>(ambient.r)), clamp01(static_cast<float>(ambient.g)),
                 clamp01(static_cast<float>(ambient.b))};
    const Panel &p = currentPanel(scene());
    for (int i = 0; i < n; i++) {
        if (!allFinite({pos[i].x, pos[i].y, pos[i].z, col[i].r, col[i].g, col[i].b})) {
            sceneError("svqsl: light %d is not finite; lights unchanged", i);
            return;
        }
        Light li;
        if (world == 1)
            li.pos = mapPoint(p, pos[i].x, pos[i].y, pos[i].z);
        else
            li.pos = {static_cast<float>(pos[i].x), static_cast<float>(pos[i].y),
                      static_cast<float>(pos[i].z)};
        li.colour = {clamp01(static_cast<float>(col[i].r)), clamp01(static_cast<float>(col[i].g)),
                     clamp01(static_cast<float>(col[i].b))};
        l.lights.push_back(li);
    }
    scene().lighting = l;
}

void svqqc(Point3 *eye, Point3 *up, Point3 *dir, int world)
{
    Scene &s = scene();
    const Panel &p = currentPanel(scene());
    const Camera &c = panelCamera(s, s.current);
    double e[3], u[3], d[3];
    for (int a = 0; a < 3; a++) {
        e[a] = c.eye[a];
        u[a] = c.up[a];
        d[a] = c.target[a] - c.eye[a];
    }
    if (world == 1) {
        // Points back through the window mapping; directions through the
        // inverse of its linear part.
        for (int a = 0; a < 3; a++) {
            double vw = p.viewport.hi[a] - p.viewport.lo[a];
            double ww = p.window.hi[a] - p.window.lo[a];
            if (vw != 0 && std::isfinite(ww)) {
                double inv = ww / vw;
                e[a] = p.window.lo[a] + (e[a] - p.viewport.lo[a]) * inv;
                u[a] *= inv;
                d[a] *= inv;
            } else {
                e[a] = 0.5 * (p.window.lo[a] + p.window.hi[a]);
            }
        }
    }
    Point3 pe{e[0], e[1], e[2]}, pu{u[0], u[1], u[2]}, pd{d[0], d[1], d[2]};
    Normalise(&pu);
    Normalise(&pd);
    if (eye)
        *eye = pe;
    if (up)
        *up = pu;
    if (dir)
        *dir = pd;
}

void svqsrm(int mode)
{
    scene().renderMode = mode;
}

int svqqrm(void)
{
    return scene().renderMode;
}

} // extern "C"

namespace vq {

void cameraBasis(const Camera &c, double side[3], double up[3], double forward[3])
{
    sub3(c.target, c.eye, forward);
    if (!unit3(forward)) {
        forward[0] = 0;
        forward[1] = 0;
        forward[2] = -1;
    }
    cross3(forward, c.up, side);
    if (dot3(side, side) < 1e-20) {
        double alt[3] = {std::fabs(forward[1]) < 0.9 ? 0.0 : 1.0, std::fabs(forward[1]) < 0.9 ? 1.0 : 0.0, 0};
        cross3(forward, alt, side);
    }
    unit3(side);
    cross3(side, forward, up);
}

} // namespace vq
