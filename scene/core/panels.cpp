// Panels of the window and the program's callbacks.
#include <cmath>

#include "panels.h"

using namespace vq;

namespace {

bool validPanel(const Scene &s, int id, const char *call)
{
    if (id >= 0 && id < static_cast<int>(s.panels.size()))
        return true;
    sceneError("%s: no panel %d", call, id);
    return false;
}

// Window fractions: finite, inside 0..1 and in order.
bool fractions(const char *call, float x1, float y1, float x2, float y2, double out[4])
{
    float v[4] = {x1, y1, x2, y2};
    for (float f : v)
        if (!std::isfinite(f)) {
            sceneError("%s: window fractions must be finite", call);
            return false;
        }
    auto c = [](double f) { return f < 0 ? 0.0 : f > 1 ? 1.0 : f; };
    out[0] = c(std::fmin(x1, x2));
    out[1] = c(std::fmin(y1, y2));
    out[2] = c(std::fmax(x1, x2));
    out[3] = c(std::fmax(y1, y2));
    if (out[2] <= out[0] || out[3] <= out[1]) {
        sceneError("%s: panel %g,%g to %g,%g has no area", call, x1, y1, x2, y2);
        return false;
    }
    return true;
}

void placePanel(Scene &s, int id, const double f[4])
{
    Panel &p = s.panels[id];
    p.fx1 = f[0], p.fy1 = f[1], p.fx2 = f[2], p.fy2 = f[3];
    refitCamera(s, id);
}

} // namespace

Panel &vq::currentPanel(Scene &s)
{
    if (s.current < 0 || s.current >= static_cast<int>(s.panels.size()))
        s.current = 0;
    return s.panels[s.current];
}

void vq::refitCamera(Scene &s, int panel)
{
    Panel &p = s.panels[panel];
    if (!p.cameraUser)
        p.camera = fitCamera(p.viewport, panelAspect(s, panel));
}

void vq::refitCameras(Scene &s)
{
    for (int i = 0; i < static_cast<int>(s.panels.size()); i++)
        refitCamera(s, i);
}

void vq::panelRect(const Panel &p, int w, int h, int r[4])
{
    auto clamp01 = [](double v) { return v < 0 ? 0.0 : v > 1 ? 1.0 : v; };
    double fx1 = std::fmin(p.fx1, p.fx2), fx2 = std::fmax(p.fx1, p.fx2);
    double fy1 = std::fmin(p.fy1, p.fy2), fy2 = std::fmax(p.fy1, p.fy2);
    r[0] = static_cast<int>(std::lround(clamp01(fx1) * w));
    r[1] = static_cast<int>(std::lround(clamp01(fy1) * h));
    r[2] = static_cast<int>(std::lround(clamp01(fx2) * w)) - r[0];
    r[3] = static_cast<int>(std::lround(clamp01(fy2) * h)) - r[1];
}

extern "C" {

void xvqmp(int id, float x1, float y1, float x2, float y2)
{
    Scene &s = scene();
    double f[4];
    if (!validPanel(s, id, "xvqmp") || !fractions("xvqmp", x1, y1, x2, y2, f))
        return;
    placePanel(s, id, f);
}

int xvqap(float x1, float y1, float x2, float y2)
{
    Scene &s = scene();
    double f[4];
    if (!fractions("xvqap", x1, y1, x2, y2, f))
        return -1;
    Panel p;
    p.id = static_cast<int>(s.panels.size());
    s.panels.push_back(p);
    placePanel(s, p.id, f);
    return p.id;
}

void xvqcp(int id)
{
    Scene &s = scene();
    if (validPanel(s, id, "xvqcp"))
        s.current = id;
}

void xvqlpc(int a, int b)
{
    Scene &s = scene();
    if (!validPanel(s, a, "xvqlpc") || !validPanel(s, b, "xvqlpc") || a == b)
        return;
    // A link back into b's own followers would make a loop of cameras.
    if (cameraOwner(s, a) == b) {
        sceneError("xvqlpc: panel %d already follows panel %d", a, b);
        return;
    }
    s.panels[b].followCamera = a;
}

void xvqtp(int id)
{
    Scene &s = scene();
    if (validPanel(s, id, "xvqtp"))
        s.panels[id].visible = !s.panels[id].visible;
}

void cvqscb(vqFrameFunc f)
{
    currentPanel(scene()).frameFunc = f;
}

void cvqsncb(vqNumberFunc f)
{
    scene().numberFunc = f;
}

void cvqskcb(vqKeyFunc f)
{
    scene().keyFunc = f;
}

void cvqsdcb(vqDragFunc f)
{
    scene().dragFunc = f;
}

void cvqdcb(void)
{
    currentPanel(scene()).frameEnabled = false;
}

void cvqecb(void)
{
    currentPanel(scene()).frameEnabled = true;
}

void cvqtcb(void)
{
    Panel &p = currentPanel(scene());
    p.frameEnabled = !p.frameEnabled;
}

} // extern "C"
