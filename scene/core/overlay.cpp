// The panels' overlays: the calls that set them and the layout decisions
// that need no GL (which label goes to which edge, how long a scale bar).
#include <cmath>
#include <string>

#include "model.h"
#include "panels.h"

namespace vq {

void edgeLabels(const Panel &p, const Camera &c, std::string out[4])
{
    for (int e = 0; e < 4; ++e)
        out[e].clear();
    if (p.overlay.axisLabels.size() != 6)
        return;
    double f[3] = {c.target[0] - c.eye[0], c.target[1] - c.eye[1], c.target[2] - c.eye[2]};
    double side[3] = {f[1] * c.up[2] - f[2] * c.up[1], f[2] * c.up[0] - f[0] * c.up[2],
                      f[0] * c.up[1] - f[1] * c.up[0]};
    double up[3] = {side[1] * f[2] - side[2] * f[1], side[2] * f[0] - side[0] * f[2],
                    side[0] * f[1] - side[1] * f[0]};
    const double *dir[4] = {side, side, up, up};
    const double sign[4] = {1, -1, 1, -1};
    for (int e = 0; e < 4; ++e) {
        int best = -1;
        double most = 0;
        for (int a = 0; a < 3; ++a) {
            // World axis a runs along scene axis a, reversed where the
            // world window is.
            double s = mapScale(p, a) < 0 ? -1 : 1;
            double d = sign[e] * s * dir[e][a];
            if (std::fabs(d) > most) {
                most = std::fabs(d);
                best = 2 * a + (d > 0 ? 0 : 1);
            }
        }
        if (best >= 0)
            out[e] = p.overlay.axisLabels[best];
    }
}

double scaleBarMm(double pixelsPerMm, double maxPixels)
{
    if (!(pixelsPerMm > 0) || !std::isfinite(pixelsPerMm))
        return 0;
    double most = maxPixels / pixelsPerMm;
    double p = std::pow(10.0, std::floor(std::log10(most > 0 ? most : 1e-300)));
    double best = p;
    for (double m : {1.0, 2.0, 5.0})
        if (m * p <= most)
            best = m * p;
    return best;
}

} // namespace vq

using namespace vq;

extern "C" {

void svqocb(int lo, int hi, float amin, float amax, int nticks, const float *at, const char *const *text)
{
    Overlay &o = currentPanel(scene()).overlay;
    o.tickAt.clear();
    o.tickText.clear();
    if (lo > hi || lo < 0 || hi >= kColourTableSize) {
        o.barLo = 0, o.barHi = -1;
        return;
    }
    o.barLo = lo, o.barHi = hi;
    o.barAmin = std::isfinite(amin) ? amin : 0;
    o.barAmax = std::isfinite(amax) ? amax : 0;
    for (int i = 0; i < nticks && at && text && i < 16; ++i) {
        if (!text[i] || !std::isfinite(at[i]))
            continue;
        o.tickAt.push_back(at[i]);
        o.tickText.push_back(std::string(text[i]).substr(0, 40));
    }
}

void svqoor(const char *const *labels)
{
    Overlay &o = currentPanel(scene()).overlay;
    o.axisLabels.clear();
    if (!labels)
        return;
    for (int i = 0; i < 6; ++i)
        o.axisLabels.push_back(labels[i] ? std::string(labels[i]).substr(0, 8) : std::string());
}

void svqosb(float mmPerUnit)
{
    currentPanel(scene()).overlay.mmPerUnit = std::isfinite(mmPerUnit) && mmPerUnit > 0 ? mmPerUnit : 0;
}

void svqotx(const char *text)
{
    currentPanel(scene()).overlay.line = text ? std::string(text).substr(0, 200) : std::string();
}

void svqotxi(int slot, float fx, float fy, float ax, float ay, int colour, const char *text)
{
    if (slot < 0 || slot >= Overlay::kTexts) {
        sceneError("svqotxi: text slot %d is not 0..%d", slot, Overlay::kTexts - 1);
        return;
    }
    Overlay::Text &t = currentPanel(scene()).overlay.texts[slot];
    auto finite = [](float v) { return std::isfinite(v) ? v : 0.0f; };
    t.fx = finite(fx), t.fy = finite(fy), t.ax = finite(ax), t.ay = finite(ay);
    t.colour = colour >= 0 && colour < kColourTableSize ? colour : -1;
    t.text = text ? std::string(text).substr(0, 400) : std::string();
}

} // extern "C"
