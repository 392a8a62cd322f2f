// What 2-D slice views need: an orthographic camera for a panel, flat
// polygons textured from a volume rendering's grid, the world point under
// a window position, and the pointer callback through which a program
// hears of clicks, drags, the wheel and the special keys.
#include <cmath>

#include "panels.h"

using namespace vq;

namespace {

void normalise(double v[3])
{
    double l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (l > 0)
        for (int a = 0; a < 3; a++)
            v[a] /= l;
}

void cross(const double a[3], const double b[3], double r[3])
{
    r[0] = a[1] * b[2] - a[2] * b[1];
    r[1] = a[2] * b[0] - a[0] * b[2];
    r[2] = a[0] * b[1] - a[1] * b[0];
}

bool finite3(const Point3 &p)
{
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

// A world direction mapped into the panel's scene coordinates.
void mapDirection(const Panel &p, const Point3 &d, double out[3])
{
    const double w[3] = {d.x, d.y, d.z};
    for (int a = 0; a < 3; a++)
        out[a] = w[a] * mapScale(p, a);
}

// Scene point back to the panel's world window.
double unmapCoord(const Panel &p, int a, double v)
{
    double sc = mapScale(p, a);
    if (sc == 0)
        return 0.5 * (p.window.lo[a] + p.window.hi[a]);
    return p.window.lo[a] + (v - p.viewport.lo[a]) / sc;
}

} // namespace

int vq::panelAt(const Scene &s, double fx, double fy)
{
    for (int i = static_cast<int>(s.panels.size()) - 1; i >= 0; i--) {
        const Panel &p = s.panels[i];
        if (p.visible && fx >= std::fmin(p.fx1, p.fx2) && fx < std::fmax(p.fx1, p.fx2) &&
            fy >= std::fmin(p.fy1, p.fy2) && fy < std::fmax(p.fy1, p.fy2))
            return i;
    }
    return -1;
}

bool vq::offerPointer(Scene &s, int what, int button, double fx, double fy)
{
    if (!s.pointerFunc)
        return false;
    return s.pointerFunc(what, button, panelAt(s, fx, fy), fx, fy) != 0;
}

extern "C" {

void cvqspcb(vqPointerFunc f)
{
    scene().pointerFunc = f;
}

void svqoc(Point3 centre, Point3 dir, Point3 up, double height)
{
    Scene &s = scene();
    Panel &p = currentPanel(s);
    if (!finite3(centre) || !finite3(dir) || !finite3(up) || !(height > 0) || !std::isfinite(height)) {
        sceneError("svqoc: camera values must be finite and the height above 0");
        return;
    }
    double d[3], u[3], side[3];
    mapDirection(p, dir, d);
    mapDirection(p, up, u);
    normalise(d);
    cross(d, u, side);
    if (!(side[0] * side[0] + side[1] * side[1] + side[2] * side[2] > 1e-24)) {
        sceneError("svqoc: the up direction runs along the view direction");
        return;
    }
    // The height in scene units: the world's up vector of that length, mapped.
    double upLen = std::sqrt(up.x * up.x + up.y * up.y + up.z * up.z);
    double uScene[3];
    Point3 upUnit = {up.x / upLen, up.y / upLen, up.z / upLen};
    mapDirection(p, upUnit, uScene);
    double scale = std::sqrt(uScene[0] * uScene[0] + uScene[1] * uScene[1] + uScene[2] * uScene[2]);
    Vec3 c = mapPoint(p, centre.x, centre.y, centre.z);
    Camera &cam = p.camera;
    cam.target[0] = c.x, cam.target[1] = c.y, cam.target[2] = c.z;
    // The eye stands back along the view direction, far enough for the
    // renderer's near plane to leave the viewport box whole.
    double box = 0;
    for (int a = 0; a < 3; a++)
        box += (p.viewport.hi[a] - p.viewport.lo[a]) * (p.viewport.hi[a] - p.viewport.lo[a]);
    double back = 2 * std::sqrt(box) + 1;
    for (int a = 0; a < 3; a++) {
        cam.eye[a] = cam.target[a] - back * d[a];
        cam.up[a] = u[a];
    }
    cam.ortho = true;
    cam.height = height * scale;
    p.cameraUser = true;
    p.followCamera = -1;
}

void nvqgplane(int id, int n, const Point3 *v, const Point3 *t, int linear, float alpha)
{
    Scene &s = scene();
    if (id < 0 || id >= static_cast<int>(s.volumes.size())) {
        sceneError("nvqgplane: no volume rendering %d", id);
        return;
    }
    if (n < 3 || n > 64 || !v || !t) {
        sceneError("nvqgplane: a plane needs 3 to 64 vertices and their voxel indices");
        return;
    }
    Panel &p = currentPanel(s);
    GridPlane g;
    for (int i = 0; i < n; i++) {
        if (!finite3(v[i]) || !finite3(t[i])) {
            sceneError("nvqgplane: vertex %d is not finite; plane dropped", i);
            return;
        }
        g.v.push_back(mapPoint(p, v[i].x, v[i].y, v[i].z));
        g.t.push_back({static_cast<float>(t[i].x), static_cast<float>(t[i].y), static_cast<float>(t[i].z)});
    }
    g.vol = id;
    g.lo = s.ciLo;
    g.hi = s.ciHi;
    g.linear = linear != 0;
    g.alpha = std::isfinite(alpha) ? (alpha < 0 ? 0 : alpha > 1 ? 1 : alpha) : 1;
    g.name = s.currentName;
    (s.inFrame ? p.frameList : p.staticList).planes.push_back(std::move(g));
}

int xvqpw(int id, double fx, double fy, Point3 *world)
{
    Scene &s = scene();
    if (id < 0 || id >= static_cast<int>(s.panels.size()) || !world)
        return -1;
    const Panel &p = s.panels[id];
    const Camera &c = panelCamera(s, id);
    double x1 = std::fmin(p.fx1, p.fx2), x2 = std::fmax(p.fx1, p.fx2);
    double y1 = std::fmin(p.fy1, p.fy2), y2 = std::fmax(p.fy1, p.fy2);
    if (!c.ortho || !(fx >= x1 && fx <= x2 && fy >= y1 && fy <= y2))
        return -1;
    double u = (fx - x1) / (x2 - x1) - 0.5, w = (fy - y1) / (y2 - y1) - 0.5;
    double d[3] = {c.target[0] - c.eye[0], c.target[1] - c.eye[1], c.target[2] - c.eye[2]},
           up[3] = {c.up[0], c.up[1], c.up[2]};
    double side[3], top[3];
    normalise(d);
    cross(d, up, side);
    normalise(side);
    cross(side, d, top);
    double aspect = panelAspect(s, id);
    double q[3];
    for (int a = 0; a < 3; a++)
        q[a] = c.target[a] + side[a] * u * c.height * aspect + top[a] * w * c.height;
    world->x = unmapCoord(p, 0, q[0]);
    world->y = unmapCoord(p, 1, q[1]);
    world->z = unmapCoord(p, 2, q[2]);
    return 0;
}

} // extern "C"
