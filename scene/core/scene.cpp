// The one scene of the process, the world-to-scene mapping and the cameras.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <time.h>

#include "vec3.h"
#include "panels.h"

namespace vq {

void sceneError(const char *fmt, ...)
{
    char line[512];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    std::fprintf(stderr, "vqscene: %s\n", line);
}

double clockSeconds()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

void PrimList::clear()
{
    planes.clear();
    points.clear();
    lines.clear();
    thickLines.clear();
    facets.clear();
    texPolys.clear();
    volumes.clear();
    lineSets.clear();
}

// The rest of the table starts black.
const Rgb kDefaultColours[16] = {{0, 0, 0},
                                 {1, 1, 1},
                                 {1, 0, 0},
                                 {0, 1, 0},
                                 {0, 0, 1},
                                 {0, 1, 1},
                                 {1, 0, 1},
                                 {1, 1, 0},
                                 {1, 0.5f, 0},
                                 {0.5f, 1, 0},
                                 {0, 1, 0.5f},
                                 {0, 0.5f, 1},
                                 {0.5f, 0, 1},
                                 {1, 0, 0.5f},
                                 {1 / 3.0f, 1 / 3.0f, 1 / 3.0f},
                                 {2 / 3.0f, 2 / 3.0f, 2 / 3.0f}};

namespace {

void initScene(Scene &s)
{
    for (int i = 0; i < 16; i++)
        s.colours[i] = kDefaultColours[i];
    s.panels.push_back(Panel());
    refitCamera(s, 0);
    s.startTime = clockSeconds();
}

} // namespace

Scene &scene()
{
    // Built on first use so calls before vqopend find a default panel.
    static Scene *s = [] {
        Scene *fresh = new Scene();
        initScene(*fresh);
        return fresh;
    }();
    return *s;
}

void resetScene()
{
    Scene &s = scene();
    auto fresh = std::make_unique<Scene>();
    initScene(*fresh);
    s = std::move(*fresh);
}

// ---- Mapping -----------------------------------------------------------

// Scale of one axis from the window to the viewport; a window with no
// extent along an axis puts everything at the viewport's centre.
double mapScale(const Panel &p, int a)
{
    double w = p.window.hi[a] - p.window.lo[a];
    if (w == 0 || !std::isfinite(w))
        return 0;
    return (p.viewport.hi[a] - p.viewport.lo[a]) / w;
}

double mapCoord(const Panel &p, int a, double v)
{
    double sc = mapScale(p, a);
    if (sc == 0)
        return 0.5 * (p.viewport.lo[a] + p.viewport.hi[a]);
    return p.viewport.lo[a] + (v - p.window.lo[a]) * sc;
}

Vec3 mapPoint(const Panel &p, double x, double y, double z)
{
    return {static_cast<float>(mapCoord(p, 0, x)), static_cast<float>(mapCoord(p, 1, y)),
            static_cast<float>(mapCoord(p, 2, z))};
}

Vec3 mapNormal(const Panel &p, double x, double y, double z)
{
    // Normals go through the inverse transpose of the (diagonal) mapping so
    // they stay perpendicular to surfaces under an uneven scale.
    double v[3] = {x, y, z};
    for (int a = 0; a < 3; a++) {
        double sc = mapScale(p, a);
        v[a] = sc != 0 ? v[a] / sc : 0;
    }
    double m = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (m > 0 && std::isfinite(m))
        for (double &c : v)
            c /= m;
    return {static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2])};
}

// ---- Cameras -----------------------------------------------------------

int cameraOwner(const Scene &s, int panel)
{
    int n = static_cast<int>(s.panels.size());
    if (panel < 0 || panel >= n)
        return 0;
    // Links are kept acyclic by xvqlpc; the hop limit guards anyway.
    for (int hops = 0; hops < n; hops++) {
        int next = s.panels[panel].followCamera;
        if (next < 0 || next >= n || next == panel)
            break;
        panel = next;
    }
    return panel;
}

const Camera &panelCamera(const Scene &s, int panel)
{
    return s.panels[cameraOwner(s, panel)].camera;
}

double panelAspect(const Scene &s, int panel)
{
    if (panel < 0 || panel >= static_cast<int>(s.panels.size()))
        return 1;
    const Panel &p = s.panels[panel];
    double w = (p.fx2 - p.fx1) * s.windowWidth, h = (p.fy2 - p.fy1) * s.windowHeight;
    if (!(w > 0) || !(h > 0))
        return 1;
    return w / h;
}

Camera fitCamera(const Box &vp, double aspect)
{
    Camera c;
    double centre[3], r2 = 0;
    for (int a = 0; a < 3; a++) {
        centre[a] = 0.5 * (vp.lo[a] + vp.hi[a]);
        double h = 0.5 * (vp.hi[a] - vp.lo[a]);
        r2 += h * h;
    }
    double r = std::sqrt(r2);
    if (!(r > 0))
        r = 1;
    // The bounding sphere must fit the narrower of the two view angles.
    double half = c.fovy * M_PI / 360.0;
    if (aspect > 0 && aspect < 1)
        half = std::atan(std::tan(half) * aspect);
    double dist = r / std::sin(half);
    for (int a = 0; a < 3; a++) {
        c.target[a] = centre[a];
        c.eye[a] = centre[a];
    }
    c.eye[2] += dist;
    c.up[0] = 0;
    c.up[1] = 1;
    c.up[2] = 0;
    return c;
}

void resetCamera(Scene &s, int panel)
{
    int owner = cameraOwner(s, panel);
    Panel &p = s.panels[owner];
    p.camera = fitCamera(p.viewport, panelAspect(s, owner));
    p.cameraUser = false;
}

namespace {

// Rotate v about the unit axis k by angle (Rodrigues).
void rotate3(double v[3], const double k[3], double angle)
{
    double c = std::cos(angle), sn = std::sin(angle);
    double kxv[3];
    cross3(k, v, kxv);
    double kv = k[0] * v[0] + k[1] * v[1] + k[2] * v[2];
    for (int i = 0; i < 3; i++)
        v[i] = v[i] * c + kxv[i] * sn + k[i] * kv * (1 - c);
}

} // namespace

void orbitCamera(Scene &s, int panel, double dxDeg, double dyDeg)
{
    if (!std::isfinite(dxDeg) || !std::isfinite(dyDeg) || s.panels.empty())
        return;
    int owner = cameraOwner(s, panel);
    Panel &p = s.panels[owner];
    Camera &c = p.camera;
    double centre[3];
    for (int a = 0; a < 3; a++)
        centre[a] = 0.5 * (p.viewport.lo[a] + p.viewport.hi[a]);
    double up[3] = {c.up[0], c.up[1], c.up[2]};
    if (!unit3(up))
        return;
    double eye[3], target[3], dir[3], right[3];
    sub3(c.eye, centre, eye);
    sub3(c.target, centre, target);
    sub3(c.target, c.eye, dir);
    cross3(dir, up, right);
    // Turn about the up axis, then tilt about the (turned) right axis.
    rotate3(eye, up, dxDeg * M_PI / 180);
    rotate3(target, up, dxDeg * M_PI / 180);
    rotate3(right, up, dxDeg * M_PI / 180);
    if (unit3(right) && dyDeg != 0) {
        rotate3(eye, right, dyDeg * M_PI / 180);
        rotate3(target, right, dyDeg * M_PI / 180);
        rotate3(up, right, dyDeg * M_PI / 180);
    }
    for (int a = 0; a < 3; a++) {
        c.eye[a] = eye[a] + centre[a];
        c.target[a] = target[a] + centre[a];
        c.up[a] = up[a];
    }
    p.cameraUser = true;
}

void zoomCamera(Scene &s, int panel, double factor)
{
    // The distance to the target is divided by factor (above 1 comes closer).
    if (!(factor > 0) || !std::isfinite(factor) || s.panels.empty())
        return;
    int owner = cameraOwner(s, panel);
    Camera &c = s.panels[owner].camera;
    for (int a = 0; a < 3; a++)
        c.eye[a] = c.target[a] + (c.eye[a] - c.target[a]) / factor;
    if (c.ortho)
        c.height /= factor;
    s.panels[owner].cameraUser = true;
}

void panCamera(Scene &s, int panel, double dx, double dy)
{
    if (!std::isfinite(dx) || !std::isfinite(dy) || s.panels.empty())
        return;
    int owner = cameraOwner(s, panel);
    Camera &c = s.panels[owner].camera;
    double dir[3], up[3] = {c.up[0], c.up[1], c.up[2]}, right[3];
    sub3(c.target, c.eye, dir);
    cross3(dir, up, right);
    if (!unit3(right) || !unit3(up))
        return;
    // Up made perpendicular to the view so panning stays in the image plane.
    cross3(right, dir, up);
    if (!unit3(up))
        return;
    for (int a = 0; a < 3; a++) {
        double d = dx * right[a] + dy * up[a];
        c.eye[a] += d;
        c.target[a] += d;
    }
    s.panels[owner].cameraUser = true;
}

} // namespace vq
