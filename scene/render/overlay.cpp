// The overlay pass: colour bar, orientation labels, scale bar and a line
// of text over a panel, in its pixels, after its scene. Text comes from
// the one font atlas (font.h).
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "font.h"
#include "panels.h"
#include "render.h"
#include "state.h"

namespace vq::draw {

namespace {

// Pixels high of the overlays' text.
constexpr int kTextPixels = 13;

struct OVert {
    float x, y, u, v;
    float c[4];
};

FontAtlas atlas;

struct Painter {
    std::vector<OVert> v;
    float k = 1; // drawn pixels per window pixel (below 1 in reduced frames)

    void quad(float x0, float y0, float x1, float y1, const Rgb &c, float a = 1, float u0 = -1, float v0 = 0,
              float u1 = -1, float v1 = 0)
    {
        OVert q[4] = {{x0 * k, y0 * k, u0, v0, {c.r, c.g, c.b, a}},
                      {x1 * k, y0 * k, u1, v0, {c.r, c.g, c.b, a}},
                      {x1 * k, y1 * k, u1, v1, {c.r, c.g, c.b, a}},
                      {x0 * k, y1 * k, u0, v1, {c.r, c.g, c.b, a}}};
        for (int i : {0, 1, 2, 0, 2, 3})
            v.push_back(q[i]);
    }
    // Text with its baseline's left end at x, y; a shadow in `under` one
    // pixel down and right keeps it legible over anything.
    void text(float x, float y, const std::string &t, const Rgb &c, const Rgb &under)
    {
        if (!atlas.ok)
            return;
        for (int pass = 0; pass < 2; ++pass) {
            float pen = x + (pass == 0 ? 1 : 0), base = y - (pass == 0 ? 1 : 0);
            const Rgb &col = pass == 0 ? under : c;
            for (char ch : t) {
                const Glyph &g = glyphOf(atlas, ch);
                if (g.w > 0 && g.h > 0) {
                    float u0 = static_cast<float>(g.x) / atlas.width,
                          u1 = static_cast<float>(g.x + g.w) / atlas.width;
                    float vt = static_cast<float>(g.y) / atlas.height,
                          vb = static_cast<float>(g.y + g.h) / atlas.height;
                    quad(pen + g.left, base + g.top - g.h, pen + g.left + g.w, base + g.top, col, 1, u0, vb,
                         u1, vt);
                }
                pen += g.advance;
            }
        }
    }
};

bool haveAtlas()
{
    if (!R.atlasTried) {
        R.atlasTried = true;
        atlas = makeFontAtlas(kOverlayFontFile, kTextPixels);
        if (atlas.ok) {
            glGenTextures(1, &R.atlasTex);
            glBindTexture(GL_TEXTURE_2D, R.atlasTex);
            glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_R8, atlas.width, atlas.height, 0, GL_RED, GL_UNSIGNED_BYTE,
                         atlas.pixels.data());
            glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        }
        glGenVertexArrays(1, &R.overlayVao);
        glGenBuffers(1, &R.overlayVbo);
        glBindVertexArray(R.overlayVao);
        glBindBuffer(GL_ARRAY_BUFFER, R.overlayVbo);
        const GLsizei stride = sizeof(OVert);
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void *>(offsetof(OVert, x)));
        glVertexAttribPointer(1, 4, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void *>(offsetof(OVert, c)));
        glVertexAttribPointer(3, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void *>(offsetof(OVert, u)));
        for (GLuint i : {0u, 1u, 3u})
            glEnableVertexAttribArray(i);
        glBindVertexArray(0);
    }
    return R.overlayVao != 0;
}

// Pixels per millimetre at the panel's centre, as the camera shows it.
double pixelsPerMm(const Panel &p, const Camera &cam, int vh)
{
    double centre[3], f[3], depth = 0, fl = 0;
    for (int a = 0; a < 3; ++a) {
        centre[a] = 0.5 * (p.viewport.lo[a] + p.viewport.hi[a]);
        f[a] = cam.target[a] - cam.eye[a];
        fl += f[a] * f[a];
    }
    fl = std::sqrt(fl);
    for (int a = 0; a < 3; ++a)
        depth += (centre[a] - cam.eye[a]) * f[a] / (fl > 0 ? fl : 1);
    double fovy = cam.fovy > 0 && cam.fovy < 179 ? cam.fovy : 30;
    double scenePerPixel = 2 * depth * std::tan(fovy * M_PI / 360) / (vh > 0 ? vh : 1);
    double scenePerWorld = std::fabs(mapScale(p, 0));
    if (!(scenePerPixel > 0) || !(p.overlay.mmPerUnit > 0))
        return 0;
    return scenePerWorld / p.overlay.mmPerUnit / scenePerPixel;
}

} // namespace

void drawOverlay(const Scene &s, const Panel &p, const Camera &cam, int vw, int vh)
{
    const Overlay &o = p.overlay;
    bool bar = o.barHi >= o.barLo && o.barLo >= 0 && o.barHi < kColourTableSize;
    bool texts = false;
    for (const Overlay::Text &t : o.texts)
        texts = texts || !t.text.empty();
    if (!bar && o.axisLabels.empty() && !(o.mmPerUnit > 0) && o.line.empty() && !texts)
        return;
    if (!haveAtlas())
        return;
    Painter pt;
    pt.k = R.pixelScale;
    // Sizes in window pixels.
    const float W = vw / pt.k, H = vh / pt.k;
    const Rgb fg = s.foreground, bg = s.background;
    const float ascent = atlas.ok ? static_cast<float>(atlas.ascent) : kTextPixels;
    if (bar) {
        float x0 = W - 22, x1 = W - 8, y0 = 0.2f * H, y1 = 0.8f * H;
        int n = o.barHi - o.barLo + 1;
        for (int i = 0; i < n; ++i) {
            float a = y0 + (y1 - y0) * i / n, b = y0 + (y1 - y0) * (i + 1) / n;
            pt.quad(x0, a, x1, b, s.colours[o.barLo + i]);
        }
        // The opacity ramp: a line rising to the left of the bar, its
        // distance from the bar the opacity (a bar's width for 1).
        for (int i = 0; i < n; ++i) {
            float f = n > 1 ? static_cast<float>(i) / (n - 1) : 1;
            float a = std::clamp(o.barAmin + (o.barAmax - o.barAmin) * f, 0.0f, 1.0f);
            float y = y0 + (y1 - y0) * (i + 0.5f) / n;
            float x = x0 - 3 - 14 * a;
            pt.quad(x - 1, y - 1, x + 1, y + 1, fg);
        }
        for (size_t t = 0; t < o.tickAt.size(); ++t) {
            float y = y0 + (y1 - y0) * std::clamp(o.tickAt[t], 0.0f, 1.0f);
            pt.quad(x0 - 22, y - 0.5f, x0, y + 0.5f, fg, 0.6f);
            float w = atlas.ok ? static_cast<float>(textWidth(atlas, o.tickText[t])) : 0;
            pt.text(x0 - 24 - w, y - 0.35f * ascent, o.tickText[t], fg, bg);
        }
    }
    if (o.axisLabels.size() == 6) {
        std::string e[4];
        edgeLabels(p, cam, e);
        float m = 5;
        auto width = [&](const std::string &t) {
            return atlas.ok ? static_cast<float>(textWidth(atlas, t)) : 0;
        };
        // Over the colour bar's top label when there is a bar, clear of its
        // ticks and of the view's middle.
        float rightY = 0.5f * H - 0.35f * ascent;
        if (bar)
            rightY = std::min(0.8f * H + 0.65f * ascent + m + 1, H - m - ascent);
        pt.text(W - m - width(e[0]), rightY, e[0], fg, bg);
        pt.text(m, 0.5f * H - 0.35f * ascent, e[1], fg, bg);
        pt.text(0.5f * W - 0.5f * width(e[2]), H - m - ascent, e[2], fg, bg);
        pt.text(0.5f * W - 0.5f * width(e[3]), m + 2, e[3], fg, bg);
    }
    if (o.mmPerUnit > 0) {
        double ppmm = pixelsPerMm(p, cam, static_cast<int>(H));
        double mm = scaleBarMm(ppmm, 0.3 * W);
        if (mm > 0) {
            float len = static_cast<float>(mm * ppmm), x = 12, y = 12;
            pt.quad(x, y, x + len, y + 3, fg);
            pt.quad(x, y, x + 1, y + 8, fg);
            pt.quad(x + len - 1, y, x + len, y + 8, fg);
            char label[32];
            std::snprintf(label, sizeof label, "%g mm", mm);
            pt.text(x, y + 8, label, fg, bg);
        }
    }
    if (!o.line.empty())
        pt.text(8, H - 8 - ascent, o.line, fg, bg);
    // Text items: their box placed by its anchor, pushed in from the edge
    // it leans on.
    const float lineHeight = atlas.ok ? static_cast<float>(atlas.lineHeight) : kTextPixels;
    for (const Overlay::Text &t : o.texts) {
        if (t.text.empty() || !atlas.ok)
            continue;
        std::vector<std::string> lines;
        for (size_t at = 0;;) {
            size_t nl = t.text.find('\n', at);
            lines.push_back(t.text.substr(at, nl == std::string::npos ? std::string::npos : nl - at));
            if (nl == std::string::npos)
                break;
            at = nl + 1;
        }
        float w = 0;
        for (const std::string &l : lines)
            w = std::max(w, static_cast<float>(textWidth(atlas, l)));
        // The box runs from the last line's baseline to the first's ascent.
        float h = lineHeight * (lines.size() - 1) + ascent, m = 5;
        float x = t.fx * W - t.ax * w + m * (1 - 2 * t.ax), y = t.fy * H - t.ay * h + m * (1 - 2 * t.ay);
        const Rgb &c = t.colour >= 0 ? s.colours[t.colour] : fg;
        for (size_t i = 0; i < lines.size(); ++i)
            pt.text(std::round(x), std::round(y + h - ascent - lineHeight * i), lines[i], c, bg);
    }
    if (pt.v.empty())
        return;
    glBindVertexArray(R.overlayVao);
    glBindBuffer(GL_ARRAY_BUFFER, R.overlayVbo);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(pt.v.size() * sizeof(OVert)), pt.v.data(),
                 GL_STREAM_DRAW);
    const ProgramInfo &prog = R.programs[kOverlay];
    glUseProgram(prog.id);
    glUniform2f(prog.viewport, static_cast<float>(vw), static_cast<float>(vh));
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, R.atlasTex);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(pt.v.size()));
    glDisable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_DEPTH_TEST);
    glBindVertexArray(0);
}

void releaseOverlay()
{
    if (R.atlasTex)
        glDeleteTextures(1, &R.atlasTex);
    if (R.overlayVbo)
        glDeleteBuffers(1, &R.overlayVbo);
    if (R.overlayVao)
        glDeleteVertexArrays(1, &R.overlayVao);
}

} // namespace vq::draw
