// The OpenGL renderer. Each panel's lists are turned into one vertex array
// per frame (batches.cpp): opaque primitives are drawn first with depth
// writes, then every transparent one (facets, textured polygons, volume
// slices) sorted far to near and blended. Grids and textures stay on the
// GPU (uploads.cpp) and are sent again only when their version changes.
// This part compiles the programs and submits the draws.
#include "panels.h"
#include "render.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "linesets.h"
#include "shaders.h"
#include "state.h"

namespace vq::draw {

Renderer R;
RenderSettings renderSettings;
// Batching's resources: the GPU caches, sent and made as they are asked for.
const BatchResources glBatchResources = {gpuVolume, gpuTexture, lutFor, computeGridOccupancy};

// ---- Small matrix helpers (column-major, as GL wants them) ---------------

struct Mat4 {
    float m[16];
};

Mat4 multiply(const Mat4 &a, const Mat4 &b)
{
    Mat4 r{};
    for (int c = 0; c < 4; ++c)
        for (int row = 0; row < 4; ++row) {
            float s = 0;
            for (int k = 0; k < 4; ++k)
                s += a.m[k * 4 + row] * b.m[c * 4 + k];
            r.m[c * 4 + row] = s;
        }
    return r;
}

Mat4 lookAt(const Camera &c)
{
    double s[3], u[3], f[3];
    cameraBasis(c, s, u, f);
    Mat4 m{};
    for (int i = 0; i < 3; ++i) {
        m.m[i * 4 + 0] = static_cast<float>(s[i]);
        m.m[i * 4 + 1] = static_cast<float>(u[i]);
        m.m[i * 4 + 2] = static_cast<float>(-f[i]);
    }
    m.m[12] = static_cast<float>(-(s[0] * c.eye[0] + s[1] * c.eye[1] + s[2] * c.eye[2]));
    m.m[13] = static_cast<float>(-(u[0] * c.eye[0] + u[1] * c.eye[1] + u[2] * c.eye[2]));
    m.m[14] = static_cast<float>(f[0] * c.eye[0] + f[1] * c.eye[1] + f[2] * c.eye[2]);
    m.m[15] = 1;
    return m;
}

// Parallel projection showing height units from bottom to top.
Mat4 orthographic(double height, double aspect, double zn, double zf)
{
    double h = height > 0 ? height : 2;
    Mat4 m{};
    m.m[0] = static_cast<float>(2 / (h * aspect));
    m.m[5] = static_cast<float>(2 / h);
    m.m[10] = static_cast<float>(-2 / (zf - zn));
    m.m[14] = static_cast<float>(-(zf + zn) / (zf - zn));
    m.m[15] = 1;
    return m;
}

Mat4 perspective(double fovyDeg, double aspect, double zn, double zf)
{
    double fovy = fovyDeg > 0 && fovyDeg < 179 ? fovyDeg : 30;
    double t = 1.0 / std::tan(fovy * M_PI / 360.0);
    Mat4 m{};
    m.m[0] = static_cast<float>(t / aspect);
    m.m[5] = static_cast<float>(t);
    m.m[10] = static_cast<float>((zf + zn) / (zn - zf));
    m.m[11] = -1;
    m.m[14] = static_cast<float>(2 * zf * zn / (zn - zf));
    return m;
}

// The rays of a stack's pass in the map m's space (rows of 3 x 4, from
// scene coordinates): the eye, and the 3 x 3 matrix (column-major) that
// takes a pixel's (ndc x, ndc y, 1) to the direction whose eye-space depth
// grows by one per unit. Built from the camera's axes rather than by
// inverting the projection, which near planes close to the eye make
// imprecise in floats.
void stackRays(const Mat4 &view, const Mat4 &proj, const double eye[3], const double m[12], float outEye[3],
               float outRay[9])
{
    double axes[3][3];
    for (int i = 0; i < 3; ++i) {
        axes[0][i] = view.m[i * 4 + 0] / proj.m[0];
        axes[1][i] = view.m[i * 4 + 1] / proj.m[5];
        axes[2][i] = -view.m[i * 4 + 2];
    }
    for (int r = 0; r < 3; ++r) {
        outEye[r] = static_cast<float>(m[r * 4] + m[r * 4 + 1] * eye[0] + m[r * 4 + 2] * eye[1] +
                                       m[r * 4 + 3] * eye[2]);
        for (int c = 0; c < 3; ++c)
            outRay[c * 3 + r] = static_cast<float>(m[r * 4 + 1] * axes[c][0] + m[r * 4 + 2] * axes[c][1] +
                                                   m[r * 4 + 3] * axes[c][2]);
    }
}

// ---- GL objects ------------------------------------------------------------

// Whether a shader compiled or a program linked; if not, its log in one line.
bool builtOrSaid(GLuint object, bool program)
{
    GLint ok = 0;
    if (program)
        glGetProgramiv(object, GL_LINK_STATUS, &ok);
    else
        glGetShaderiv(object, GL_COMPILE_STATUS, &ok);
    if (ok)
        return true;
    char log[1024] = "";
    if (program)
        glGetProgramInfoLog(object, sizeof log, nullptr, log);
    else
        glGetShaderInfoLog(object, sizeof log, nullptr, log);
    for (char *p = log; *p; ++p)
        if (*p == '\n')
            *p = ' ';
    sceneError(program ? "shader program does not link: %s" : "shader does not compile: %s", log);
    return false;
}

GLuint compileShader(GLenum kind, const char *src)
{
    GLuint sh = glCreateShader(kind);
    glShaderSource(sh, 1, &src, nullptr);
    glCompileShader(sh);
    if (!builtOrSaid(sh, false)) {
        glDeleteShader(sh);
        return 0;
    }
    return sh;
}

namespace {

// The uniforms a program may have, each kept in its field of ProgramInfo
// (-1 where the program has none).
struct UniformName {
    GLint ProgramInfo::*field;
    const char *name;
};

const UniformName kUniformNames[] = {
    {&ProgramInfo::mvp, "uMvp"},
    {&ProgramInfo::viewport, "uViewport"},
    {&ProgramInfo::pixelScale, "uPixelScale"},
    {&ProgramInfo::stride, "uStride"},
    {&ProgramInfo::ambient, "uAmbient"},
    {&ProgramInfo::lightCount, "uLightCount"},
    {&ProgramInfo::lightPos, "uLightPos"},
    {&ProgramInfo::lightColour, "uLightColour"},
    {&ProgramInfo::decode, "uDecode"},
    {&ProgramInfo::range, "uRange"},
    {&ProgramInfo::ramp, "uRamp"},
    {&ProgramInfo::lutSize, "uLutSize"},
    {&ProgramInfo::eye, "uEye"},
    {&ProgramInfo::ray, "uRay"},
    {&ProgramInfo::depth, "uDepth"},
    {&ProgramInfo::window, "uWindow"},
    {&ProgramInfo::plane, "uPlane"},
    {&ProgramInfo::planes, "uPlanes"},
    {&ProgramInfo::alpha, "uAlpha"},
    {&ProgramInfo::lo, "uLo"},
    {&ProgramInfo::hi, "uHi"},
    {&ProgramInfo::origin, "uOrigin"},
    {&ProgramInfo::size, "uSize"},
    {&ProgramInfo::nearFirst, "uNearFirst"},
    {&ProgramInfo::stop, "uStop"},
    {&ProgramInfo::blend, "uBlend"},
    {&ProgramInfo::partial, "uPartial"},
    {&ProgramInfo::empty, "uEmpty"},
    {&ProgramInfo::fill, "uFill"},
    {&ProgramInfo::shade, "uShade"},
    {&ProgramInfo::gradToScene, "uGradToScene"},
    {&ProgramInfo::eyePos, "uEyePos"},
    {&ProgramInfo::indexToScene, "uIndexToScene"},
    {&ProgramInfo::sampleCount, "uSampleCount"},
    {&ProgramInfo::depthLimit, "uDepthLimit"},
};

// The texture unit each sampler of the programs reads: a brick's texels
// (uTexels, or uGrid for grids) 0, the look-up table 1, the opaque depth 2
// (uDepthSamples 4 where multisampled), the occupancy 3, what a stack
// drawn nearest first finds in front of it 5, a shaded stack's lighting 6.
struct SamplerUnit {
    const char *name;
    int unit;
};

const SamplerUnit kSamplerUnits[] = {{"uTexels", 0},      {"uGrid", 0},      {"uLut", 1},
                                     {"uDepthBuffer", 2}, {"uOccupancy", 3}, {"uDepthSamples", 4},
                                     {"uFront", 5},       {"uShadeTable", 6}};

} // namespace

bool linkProgram(ProgramInfo &info, const char *vs, const char *gs, const char *fs)
{
    GLuint v = compileShader(GL_VERTEX_SHADER, vs);
    GLuint g = gs ? compileShader(GL_GEOMETRY_SHADER, gs) : 0;
    GLuint f = compileShader(GL_FRAGMENT_SHADER, fs);
    if (!v || !f || (gs && !g)) {
        glDeleteShader(v);
        glDeleteShader(g);
        glDeleteShader(f);
        return false;
    }
    GLuint p = glCreateProgram();
    glAttachShader(p, v);
    if (g)
        glAttachShader(p, g);
    glAttachShader(p, f);
    glLinkProgram(p);
    glDeleteShader(v);
    glDeleteShader(g);
    glDeleteShader(f);
    if (!builtOrSaid(p, true)) {
        glDeleteProgram(p);
        return false;
    }
    info.id = p;
    for (const UniformName &u : kUniformNames)
        info.*u.field = glGetUniformLocation(p, u.name);
    glUseProgram(p);
    for (const SamplerUnit &u : kSamplerUnits) {
        GLint at = glGetUniformLocation(p, u.name);
        if (at >= 0)
            glUniform1i(at, u.unit);
    }
    glUseProgram(0);
    return true;
}

// ---- Drawing ----------------------------------------------------------------------

void setLights(const ProgramInfo &p, const Scene &s, const Camera &cam)
{
    const Lighting &L = s.lighting;
    glUniform3f(p.ambient, L.ambient.r, L.ambient.g, L.ambient.b);
    float pos[8 * 3], col[8 * 3];
    int n = 0;
    if (L.lights.empty()) {
        // No lights set: one white light at the eye.
        for (int i = 0; i < 3; ++i) {
            pos[i] = static_cast<float>(cam.eye[i]);
            col[i] = 1;
        }
        n = 1;
    } else {
        for (const Light &l : L.lights) {
            if (n == 8)
                break;
            pos[3 * n] = l.pos.x;
            pos[3 * n + 1] = l.pos.y;
            pos[3 * n + 2] = l.pos.z;
            col[3 * n] = l.colour.r;
            col[3 * n + 1] = l.colour.g;
            col[3 * n + 2] = l.colour.b;
            ++n;
        }
    }
    glUniform1i(p.lightCount, n);
    glUniform3fv(p.lightPos, n, pos);
    glUniform3fv(p.lightColour, n, col);
}

void useProgram(Program which, const Mat4 &mvp, int vw, int vh)
{
    const ProgramInfo &p = R.programs[which];
    glUseProgram(p.id);
    glUniformMatrix4fv(p.mvp, 1, GL_FALSE, mvp.m);
    if (p.viewport >= 0)
        glUniform2f(p.viewport, static_cast<float>(vw) / R.pixelScale, static_cast<float>(vh) / R.pixelScale);
    if (p.pixelScale >= 0)
        glUniform1f(p.pixelScale, R.pixelScale);
    if (p.stride >= 0)
        glUniform1i(p.stride, R.planeStride);
}

void uploadVerts()
{
    size_t bytes = R.verts.size() * sizeof(Vert);
    glBindBuffer(GL_ARRAY_BUFFER, R.vbo);
    if (bytes > R.vboBytes) {
        R.vboBytes = std::max(bytes, R.vboBytes * 2);
        glBufferData(GL_ARRAY_BUFFER, R.vboBytes, nullptr, GL_STREAM_DRAW);
    } else {
        // Orphan the old store so the driver need not wait for last frame's draws.
        glBufferData(GL_ARRAY_BUFFER, R.vboBytes, nullptr, GL_STREAM_DRAW);
    }
    if (bytes > 0)
        glBufferSubData(GL_ARRAY_BUFFER, 0, bytes, R.verts.data());
}

// A target whose attachments were just made at w x h: its size, and
// whether the GL can draw into it.
template <class Target> void finishTarget(Target &t, int w, int h)
{
    t.w = w;
    t.h = h;
    t.ok = glCheckFramebufferStatus(GL_DRAW_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}

// Binds a made target for drawing; false when the GL could not make it.
template <class Target> bool drawInto(const Target &t)
{
    if (!t.ok)
        return false;
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, t.fbo);
    return true;
}

// Binds a panel-sized target of one texture (made again when the panel's
// size or the sample count changed; samples > 1: a multisampled texture)
// with its viewport; false when the GL offers none.
bool bindPanelTarget(PanelTarget &t, GLenum internal, GLenum format, GLenum attachment, int vw, int vh,
                     int samples = 0)
{
    if (t.w != vw || t.h != vh || t.samples != samples) {
        if (!t.fbo)
            glGenFramebuffers(1, &t.fbo);
        // A texture cannot change between plain and multisampled: a fresh one.
        if (t.tex)
            glDeleteTextures(1, &t.tex);
        glGenTextures(1, &t.tex);
        GLenum target = samples > 1 ? GL_TEXTURE_2D_MULTISAMPLE : GL_TEXTURE_2D;
        glBindTexture(target, t.tex);
        if (samples > 1) {
            glTexImage2DMultisample(target, samples, internal, vw, vh, GL_TRUE);
        } else {
            glTexImage2D(target, 0, internal, vw, vh, 0, format, GL_FLOAT, nullptr);
            glTexParameteri(target, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
            glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        }
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, t.fbo);
        glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, attachment, target, t.tex, 0);
        if (attachment == GL_DEPTH_ATTACHMENT)
            glDrawBuffer(GL_NONE);
        t.samples = samples;
        finishTarget(t, vw, vh);
    }
    if (!drawInto(t))
        return false;
    glViewport(0, 0, vw, vh);
    glScissor(0, 0, vw, vh);
    return true;
}

// The float target a stack's bricks are composited in, bound and cleared.
bool beginAccumulation(int vw, int vh)
{
    if (!bindPanelTarget(R.accum, GL_RGBA16F, GL_RGBA, GL_COLOR_ATTACHMENT0, vw, vh))
        return false;
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    R.accumulating = true;
    return true;
}

// The depth-only target for the opaque depth a stack's rays stop at,
// bound and cleared: with as many samples as the frame it stands for, so
// that an edge covers the same samples in both.
bool beginDepthCopy(int vw, int vh, int samples)
{
    if (!bindPanelTarget(R.depth, GL_DEPTH_COMPONENT32F, GL_DEPTH_COMPONENT, GL_DEPTH_ATTACHMENT, vw, vh,
                         samples > 1 ? samples : 0))
        return false;
    glDepthMask(GL_TRUE);
    glClear(GL_DEPTH_BUFFER_BIT);
    return true;
}

// Back to the panel of the outer framebuffer, drawing with a program
// that reads a panel-sized target: its window and blend set.
const ProgramInfo &resolveInto(GLuint outer, int x0, int y0, int vw, int vh, Program program, int blend)
{
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, outer);
    glViewport(x0, y0, vw, vh);
    glScissor(x0, y0, vw, vh);
    const ProgramInfo &p = R.programs[program];
    glUseProgram(p.id);
    glUniform4f(p.window, static_cast<float>(x0), static_cast<float>(y0), static_cast<float>(vw),
                static_cast<float>(vh));
    glUniform1i(p.blend, blend);
    return p;
}

// Blends the float target once into the panel of the outer framebuffer.
void endAccumulation(GLuint outer, int x0, int y0, int vw, int vh, int blend)
{
    R.accumulating = false;
    resolveInto(outer, x0, y0, vw, vh, kComposite, blend);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, R.accum.tex);
    glDisable(GL_DEPTH_TEST);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    glEnable(GL_DEPTH_TEST);
}

// The slice sets of projections (R.projectRuns), one grid at a time:
// each run's fragments gather by the blend equation in the float target
// R.project, which then goes through the grid's colours onto the panel.
void drawProjections(int x0, int y0, int vw, int vh, const Mat4 &mvp, bool depthLimit, int samples)
{
    GLint outer = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &outer);
    std::vector<int> groups;
    for (const Run &run : R.projectRuns) {
        int g = R.bindings[run.key].group;
        if (std::find(groups.begin(), groups.end(), g) == groups.end())
            groups.push_back(g);
    }
    glDepthMask(GL_FALSE);
    glDisable(GL_MULTISAMPLE);
    for (int group : groups) {
        if (!bindPanelTarget(R.project, GL_RG32F, GL_RG, GL_COLOR_ATTACHMENT0, vw, vh))
            break;
        int blend = kBlendMaximum;
        const VolumeBinding *last = nullptr;
        for (const Run &run : R.projectRuns)
            if (R.bindings[run.key].group == group)
                last = &R.bindings[run.key];
        blend = last->blend;
        float start = blend == kBlendMaximum ? -1e30f : blend == kBlendMinimum ? 1e30f : 0.0f;
        glClearColor(start, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        glDisable(GL_DEPTH_TEST);
        glEnable(GL_BLEND);
        glBlendEquation(blend == kBlendMaximum ? GL_MAX : blend == kBlendMinimum ? GL_MIN : GL_FUNC_ADD);
        glBlendFunc(GL_ONE, GL_ONE);
        const ProgramInfo &p = R.programs[kProject];
        glUseProgram(p.id);
        glUniformMatrix4fv(p.mvp, 1, GL_FALSE, mvp.m);
        glUniform1i(p.blend, blend);
        glUniform1i(p.depthLimit, depthLimit ? 1 : 0);
        glUniform1i(p.sampleCount, depthLimit && samples > 1 ? samples : 0);
        if (depthLimit) {
            glActiveTexture(samples > 1 ? GL_TEXTURE4 : GL_TEXTURE2);
            glBindTexture(samples > 1 ? GL_TEXTURE_2D_MULTISAMPLE : GL_TEXTURE_2D, R.depth.tex);
        }
        for (const Run &run : R.projectRuns) {
            const VolumeBinding &vb = R.bindings[run.key];
            if (vb.group != group)
                continue;
            glActiveTexture(GL_TEXTURE0);
            glBindTexture(GL_TEXTURE_3D, vb.grid);
            glUniform1i(p.empty, vb.grid == 0 ? 1 : 0);
            glUniform1i(p.ramp, vb.ramp ? 1 : 0);
            glUniform2f(p.decode, vb.lo, vb.span);
            glUniform2f(p.range, vb.dmin, vb.scale);
            glDrawArrays(GL_TRIANGLES, run.first, run.count);
        }
        glBlendEquation(GL_FUNC_ADD);
        const ProgramInfo &r =
            resolveInto(static_cast<GLuint>(outer), x0, y0, vw, vh, kProjectResolve, blend);
        glUniform1i(r.lutSize, last->lutSize);
        glActiveTexture(GL_TEXTURE1);
        glBindTexture(GL_TEXTURE_1D, last->lut);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, R.project.tex);
        glDisable(GL_BLEND);
        glDrawArrays(GL_TRIANGLES, 0, 3);
        glEnable(GL_DEPTH_TEST);
    }
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(outer));
    glViewport(x0, y0, vw, vh);
    glScissor(x0, y0, vw, vh);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_MULTISAMPLE);
    glDisable(GL_BLEND);
    glDepthMask(GL_TRUE);
}

namespace {

// Where a panel lands and how it is seen: its pixels, camera, depth range
// and matrices, and whether the opaque depth was copied for the passes
// that limit their rays by it.
struct PanelView {
    const Camera *cam = nullptr;
    int x0 = 0, y0 = 0, vw = 0, vh = 0;
    double zn = 0, zf = 0;
    Mat4 view{}, proj{}, mvp{};
    bool outlines = false;
    bool depthLimit = false;
    GLint samples = 0;
};

// The panel's pixels cleared and its matrices made; false when the panel
// covers no pixels.
bool setUpPanelView(Scene &s, int index, int width, int height, PanelView &pv)
{
    const Panel &panel = s.panels[index];
    int rect[4];
    panelRect(panel, width, height, rect);
    pv.x0 = rect[0];
    pv.y0 = rect[1];
    pv.vw = rect[2];
    pv.vh = rect[3];
    if (pv.vw <= 0 || pv.vh <= 0)
        return false;
    glViewport(pv.x0, pv.y0, pv.vw, pv.vh);
    glScissor(pv.x0, pv.y0, pv.vw, pv.vh);
    glClearColor(s.background.r, s.background.g, s.background.b, 1);
    glDepthMask(GL_TRUE);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    const Camera &cam = panelCamera(s, index);
    pv.cam = &cam;
    // Near and far planes around the panel's viewport box, with room for
    // what lies a little outside it.
    double c[3], r = 0;
    for (int a = 0; a < 3; ++a) {
        c[a] = 0.5 * (panel.viewport.lo[a] + panel.viewport.hi[a]);
        double h = 0.5 * (panel.viewport.hi[a] - panel.viewport.lo[a]);
        r += h * h;
    }
    r = std::max(std::sqrt(r), 1e-6);
    double dx = cam.eye[0] - c[0], dy = cam.eye[1] - c[1], dz = cam.eye[2] - c[2];
    double dist = std::sqrt(dx * dx + dy * dy + dz * dz);
    pv.zf = dist + 4 * r;
    pv.zn = std::max(dist - 4 * r, pv.zf * 1e-4);
    double aspect = static_cast<double>(pv.vw) / pv.vh;
    pv.view = lookAt(cam);
    pv.proj = cam.ortho ? orthographic(cam.height, aspect, pv.zn, pv.zf)
                        : perspective(cam.fovy, aspect, pv.zn, pv.zf);
    pv.mvp = multiply(pv.proj, pv.view);
    pv.outlines = s.renderMode == 0;
    return true;
}

// The panel's lists turned into one vertex array and sent.
PanelVerts buildPanelVerts(Scene &s, const Panel &panel, const PanelView &pv)
{
    PanelVerts verts = batchPanel(s, panel, *pv.cam, pv.outlines, glBatchResources);
    R.stacksDrawn += static_cast<int>(R.stacks.size());
    uploadVerts();
    return verts;
}

// Opaque triangles, lines, line sets and points, with depth writes.
void drawOpaquePass(Scene &s, const Panel &panel, const PanelView &pv, const PanelVerts &v)
{
    if (v.triCount > 0) {
        useProgram(kSurface, pv.mvp, pv.vw, pv.vh);
        setLights(R.programs[kSurface], s, *pv.cam);
        glPolygonMode(GL_FRONT_AND_BACK, pv.outlines ? GL_LINE : GL_FILL);
        glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(v.triCount));
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    }
    if (v.pointFirst > v.lineFirst) {
        useProgram(kLine, pv.mvp, pv.vw, pv.vh);
        glDrawArrays(GL_LINES, static_cast<GLint>(v.lineFirst),
                     static_cast<GLsizei>(v.pointFirst - v.lineFirst));
    }
    drawLineSets(s, panel, pv.mvp.m, pv.vw, pv.vh);
    if (v.transFirst > v.pointFirst) {
        useProgram(kPoint, pv.mvp, pv.vw, pv.vh);
        glDrawArrays(GL_POINTS, static_cast<GLint>(v.pointFirst),
                     static_cast<GLsizei>(v.transFirst - v.pointFirst));
    }
}

// What is opaque hides the parts of a stack's rays behind it: its depth at
// each pixel's centre, drawn once more into a texture the pass reads.
void copyOpaqueDepth(Scene &s, const Panel &panel, PanelView &pv, const PanelVerts &v)
{
    if ((R.stacks.empty() && R.projectRuns.empty()) || v.transFirst == 0)
        return;
    GLint outer = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &outer);
    glGetIntegerv(GL_SAMPLES, &pv.samples);
    pv.samples = std::min<GLint>(pv.samples, 8);
    if (beginDepthCopy(pv.vw, pv.vh, pv.samples)) {
        drawOpaquePass(s, panel, pv, v);
        pv.depthLimit = true;
    }
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(outer));
    glViewport(pv.x0, pv.y0, pv.vw, pv.vh);
    glScissor(pv.x0, pv.y0, pv.vw, pv.vh);
}

// A grid's look-up table and its decoding: the uniforms every program
// that samples a volume binding shares.
void setGridColours(const ProgramInfo &p, const VolumeBinding &vb)
{
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_1D, vb.lut);
    glActiveTexture(GL_TEXTURE0);
    glUniform1i(p.ramp, vb.ramp ? 1 : 0);
    glUniform1i(p.lutSize, vb.lutSize);
    glUniform2f(p.decode, vb.lo, vb.span);
    glUniform2f(p.range, vb.dmin, vb.scale);
}

// Side of the shade table: normals on an octahedral map of this many
// cells square.
constexpr int kShadeTableSide = 64;

// The unit normal at octahedral map coordinates u, v in -1..1.
void octahedralNormal(double u, double v, double n[3])
{
    n[0] = u;
    n[1] = v;
    n[2] = 1 - std::fabs(u) - std::fabs(v);
    if (n[2] < 0) {
        double x = n[0], y = n[1];
        n[0] = (1 - std::fabs(y)) * (x >= 0 ? 1 : -1);
        n[1] = (1 - std::fabs(x)) * (y >= 0 ? 1 : -1);
    }
    double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    for (int a = 0; a < 3; ++a)
        n[a] /= len;
}

// A shaded stack's lighting at scene point pos, bound to unit 6: for each
// normal, on an octahedral map, the light that falls on a sample facing it
// (an ambient 0.3 and 0.7 of each light's diffuse, rgb) and its specular
// highlight (0.2 of each light's, grey, a), as the scene's lights and the
// eye lie from pos. Each sample then looks its lighting up instead of
// working it out.
void makeShadeTable(const Scene &s, const Camera &cam, const double pos[3])
{
    struct Lit {
        double dir[3], half[3];
        float r, g, b, grey;
    };
    std::vector<Lit> lights;
    auto unit = [](double v[3]) {
        double len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        for (int a = 0; a < 3; ++a)
            v[a] = len > 0 ? v[a] / len : 0;
    };
    double eye[3] = {cam.eye[0] - pos[0], cam.eye[1] - pos[1], cam.eye[2] - pos[2]};
    unit(eye);
    auto add = [&](double x, double y, double z, const Rgb &c) {
        Lit l;
        l.dir[0] = x - pos[0];
        l.dir[1] = y - pos[1];
        l.dir[2] = z - pos[2];
        unit(l.dir);
        for (int a = 0; a < 3; ++a)
            l.half[a] = l.dir[a] + eye[a];
        unit(l.half);
        l.r = c.r;
        l.g = c.g;
        l.b = c.b;
        l.grey = (c.r + c.g + c.b) / 3;
        lights.push_back(l);
    };
    if (s.lighting.lights.empty())
        add(cam.eye[0], cam.eye[1], cam.eye[2], Rgb{1, 1, 1});
    for (const Light &l : s.lighting.lights)
        if (lights.size() < 8)
            add(l.pos.x, l.pos.y, l.pos.z, l.colour);
    const int side = kShadeTableSide;
    std::vector<float> table(static_cast<size_t>(side) * side * 4);
    for (int j = 0; j < side; ++j)
        for (int i = 0; i < side; ++i) {
            double n[3];
            octahedralNormal((i + 0.5) / side * 2 - 1, (j + 0.5) / side * 2 - 1, n);
            float *t = &table[(static_cast<size_t>(j) * side + i) * 4];
            t[0] = t[1] = t[2] = 0.3f;
            t[3] = 0;
            for (const Lit &l : lights) {
                double d = std::max(0.0, n[0] * l.dir[0] + n[1] * l.dir[1] + n[2] * l.dir[2]);
                double h = std::max(0.0, n[0] * l.half[0] + n[1] * l.half[1] + n[2] * l.half[2]);
                h *= h;
                h *= h;
                h *= h;
                h *= h;
                t[0] += static_cast<float>(0.7 * l.r * d);
                t[1] += static_cast<float>(0.7 * l.g * d);
                t[2] += static_cast<float>(0.7 * l.b * d);
                t[3] += static_cast<float>(0.2 * l.grey * h);
            }
        }
    glActiveTexture(GL_TEXTURE6);
    if (!R.shadeTable) {
        glGenTextures(1, &R.shadeTable);
        glBindTexture(GL_TEXTURE_2D, R.shadeTable);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    }
    glBindTexture(GL_TEXTURE_2D, R.shadeTable);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA16F, side, side, 0, GL_RGBA, GL_FLOAT, table.data());
    glActiveTexture(GL_TEXTURE0);
}

// A stack brick's textures and uniforms: its rays, planes, colours, the
// opaque depth and, nearest first, what the target holds in front.
void bindStackRun(const Scene &s, const ProgramInfo &p, const Run &run, const PanelView &pv, bool nearFirst)
{
    const StackDraw &d = R.stackDraws[run.key];
    const Stack &st = R.stacks[d.stack];
    float eye[3], ray[9];
    stackRays(pv.view, pv.proj, pv.cam->eye, st.toIndex, eye, ray);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_3D, d.tex);
    glUniform3fv(p.eye, 1, eye);
    glUniformMatrix3fv(p.ray, 1, GL_FALSE, ray);
    glUniform2f(p.depth, static_cast<float>(pv.zn), static_cast<float>(pv.zf));
    float wx = R.accumulating ? 0.0f : static_cast<float>(pv.x0),
          wy = R.accumulating ? 0.0f : static_cast<float>(pv.y0);
    glUniform4f(p.window, wx, wy, static_cast<float>(pv.vw), static_cast<float>(pv.vh));
    glUniform4f(p.plane, static_cast<float>(st.normal[0]), static_cast<float>(st.normal[1]),
                static_cast<float>(st.normal[2]), static_cast<float>(st.d0));
    glUniform2f(p.planes, static_cast<float>(st.step), static_cast<float>(st.planes));
    glUniform1f(p.alpha, st.alpha);
    glUniform1i(p.depthLimit, pv.depthLimit ? 1 : 0);
    glUniform1i(p.sampleCount, pv.depthLimit && pv.samples > 1 ? pv.samples : 0);
    if (st.set >= 0)
        setGridColours(p, R.bindings[R.sliceSets[st.set].binding]);
    else if (st.binding >= 0)
        setGridColours(p, R.bindings[st.binding]);
    glActiveTexture(GL_TEXTURE3);
    glBindTexture(GL_TEXTURE_3D, st.set >= 0    ? R.volumes[R.sliceSets[st.set].grid].occTex
                                 : st.grid >= 0 ? R.volumes[st.grid].occTex
                                                : R.textures[st.tex].occTex);
    if (pv.depthLimit) {
        glActiveTexture(pv.samples > 1 ? GL_TEXTURE4 : GL_TEXTURE2);
        glBindTexture(pv.samples > 1 ? GL_TEXTURE_2D_MULTISAMPLE : GL_TEXTURE_2D, R.depth.tex);
        glActiveTexture(GL_TEXTURE0);
    }
    glUniform3fv(p.lo, 1, d.lo);
    glUniform3fv(p.hi, 1, d.hi);
    glUniform3fv(p.origin, 1, d.origin);
    glUniform3fv(p.size, 1, d.size);
    glUniform1i(p.nearFirst, nearFirst ? 1 : 0);
    glUniform1f(p.stop, renderSettings.rayStop);
    glUniform1i(p.blend, st.blend);
    glUniform1i(p.shade, st.shade ? 1 : 0);
    if (st.shade) {
        static const int straight[3] = {0, 1, 2};
        float g[9], m[16] = {};
        gradientToScene(st.fromIndex, straight, g);
        glUniformMatrix3fv(p.gradToScene, 1, GL_FALSE, g);
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c)
                m[c * 4 + r] = static_cast<float>(st.fromIndex[r * 4 + 1 + c]);
            m[12 + r] = static_cast<float>(st.fromIndex[r * 4]);
        }
        m[15] = 1;
        glUniformMatrix4fv(p.indexToScene, 1, GL_FALSE, m);
        // Lit as seen from the middle of the brick's share.
        double at[3];
        for (int r = 0; r < 3; ++r) {
            at[r] = st.fromIndex[r * 4];
            for (int c = 0; c < 3; ++c)
                at[r] += st.fromIndex[r * 4 + 1 + c] * 0.5 * (d.lo[c] + d.hi[c]);
        }
        makeShadeTable(s, *pv.cam, at);
    }
    glUniform1i(p.empty, d.tex == 0 ? 1 : 0);
    glUniform4fv(p.fill, 1, d.fill);
    glUniform1i(p.partial, R.accumulating ? 1 : 0);
    if (nearFirst) {
        glActiveTexture(GL_TEXTURE5);
        glBindTexture(GL_TEXTURE_2D, R.accum.tex);
        glActiveTexture(GL_TEXTURE0);
    }
}

// What the transparent pass keeps from one run to the next: the program in
// use and whether multisampling is on.
struct RunState {
    int current = -1;
    bool multisample = true;
};

// One run's textures, uniforms, state and draw.
void drawRun(Scene &s, const PanelView &pv, const Run &run, bool nearFirst, RunState &rs)
{
    if (run.program != rs.current) {
        useProgram(run.program, pv.mvp, pv.vw, pv.vh);
        // Stacks light their samples through a table of their own
        // (makeShadeTable); facets and slices take the lights here.
        if (run.program == kSurface || run.program == kVolume)
            setLights(R.programs[run.program], s, *pv.cam);
        if (run.program == kVolume)
            glUniform3f(R.programs[run.program].eyePos, static_cast<float>(pv.cam->eye[0]),
                        static_cast<float>(pv.cam->eye[1]), static_cast<float>(pv.cam->eye[2]));
        rs.current = run.program;
    }
    const ProgramInfo &p = R.programs[run.program];
    if (run.program == kTex) {
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_3D, static_cast<GLuint>(run.key));
    } else if (isStackProgram(run.program)) {
        bindStackRun(s, p, run, pv, nearFirst);
    } else if (run.program == kPlane) {
        const PlaneBinding &pb = R.planeBindings[run.key];
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_3D, pb.vb.grid);
        glBindSampler(0, pb.linear ? 0 : R.nearestSampler);
        setGridColours(p, pb.vb);
        glUniform1f(p.alpha, pb.alpha);
    } else if (run.program == kVolume) {
        const VolumeBinding &vb = R.bindings[run.key];
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_3D, vb.grid);
        // Labels are never blended with their neighbours.
        if (vb.labels)
            glBindSampler(0, R.nearestSampler);
        setGridColours(p, vb);
        glUniform1i(p.shade, vb.shade ? 1 : 0);
        if (vb.shade)
            glUniformMatrix3fv(p.gradToScene, 1, GL_FALSE, vb.gradToScene);
    }
    // Slices and textured polygons show no edges worth smoothing
    // (they come in stacks whose rims are transparent or covered by
    // their neighbours), and blending them into every sample costs.
    // The state changes only between kinds of runs: a volume cut
    // into bricks draws many runs in a row.
    // Grid planes keep multisampling: lines drawn just in front of
    // them (a crosshair) hold their edge samples by depth.
    bool smooth = !(run.program == kVolume || run.program == kTex || isStackProgram(run.program));
    if (smooth != rs.multisample) {
        (smooth ? glEnable : glDisable)(GL_MULTISAMPLE);
        rs.multisample = smooth;
    }
    // A stack's pass composites its planes itself: its colour comes
    // premultiplied.
    // Its box's faces lie behind the ray's samples: the pass limits
    // the ray by the opaque depth itself.
    // Nearest first, each brick's rays carry on from what the target
    // holds and replace it: the next brick may read it only after a
    // barrier.
    if (isStackProgram(run.program)) {
        glBlendFuncSeparate(GL_ONE, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
        glDisable(GL_DEPTH_TEST);
        if (nearFirst)
            glDisable(GL_BLEND);
    }
    glDrawArrays(GL_TRIANGLES, run.first, run.count);
    if (run.program == kPlane || (run.program == kVolume && R.bindings[run.key].labels))
        glBindSampler(0, 0);
    if (isStackProgram(run.program)) {
        glEnable(GL_DEPTH_TEST);
        if (nearFirst) {
            glTextureBarrier();
            glEnable(GL_BLEND);
        }
    }
}

// The stack a run draws a brick of, or -1.
int stackOfRun(size_t i)
{
    return isStackProgram(R.runs[i].program) ? R.stackDraws[R.runs[i].key].stack : -1;
}

// Every transparent run, far to near, blended over what is drawn.
void drawTransparentPass(Scene &s, const PanelView &pv)
{
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDepthMask(GL_FALSE);
    glPolygonMode(GL_FRONT_AND_BACK, pv.outlines ? GL_LINE : GL_FILL);
    RunState rs;
    for (size_t ri = 0; ri < R.runs.size();) {
        // One run, or the runs of one stack's bricks: those add up in a
        // float target, so that the framebuffer's bytes round once per
        // stack, not once per brick.
        size_t end = ri + 1;
        if (stackOfRun(ri) >= 0)
            while (end < R.runs.size() && stackOfRun(end) == stackOfRun(ri))
                ++end;
        GLint outer = 0;
        bool accumulate = false;
        if (end - ri > 1) {
            glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &outer);
            accumulate = beginAccumulation(pv.vw, pv.vh);
            if (!accumulate)
                glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(outer));
        }
        // Where the GL lets a pass read its own target, the bricks go
        // nearest first, and a ray stops once what lies in front of it
        // hides the rest; else farthest first, each blended over.
        const bool nearFirst = accumulate && R.textureBarrier && renderSettings.nearFirstStacks;
        for (size_t n = ri; n < end; ++n)
            drawRun(s, pv, R.runs[nearFirst ? end - 1 - (n - ri) : n], nearFirst, rs);
        if (accumulate) {
            endAccumulation(static_cast<GLuint>(outer), pv.x0, pv.y0, pv.vw, pv.vh,
                            stackOfRun(ri) >= 0 ? R.stacks[stackOfRun(ri)].blend : 0);
            rs.current = -1;
        }
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        ri = end;
    }
    glEnable(GL_MULTISAMPLE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glDepthMask(GL_TRUE);
    glDisable(GL_BLEND);
}

} // namespace

void drawPanel(Scene &s, int index, int width, int height)
{
    PanelView pv;
    if (!setUpPanelView(s, index, width, height, pv))
        return;
    const Panel &panel = s.panels[index];
    PanelVerts v = buildPanelVerts(s, panel, pv);
    glBindVertexArray(R.vao);

    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glDisable(GL_BLEND);
    drawOpaquePass(s, panel, pv, v);
    copyOpaqueDepth(s, panel, pv, v);
    // Projections of slice sets, grid by grid: gathered in a float target,
    // then through their colours onto the panel, before what is blended.
    if (!R.projectRuns.empty())
        drawProjections(pv.x0, pv.y0, pv.vw, pv.vh, pv.mvp, pv.depthLimit, pv.samples);
    if (!R.runs.empty())
        drawTransparentPass(s, pv);
    glBindVertexArray(0);
    // The overlays, in the panel's pixels over everything.
    glViewport(pv.x0, pv.y0, pv.vw, pv.vh);
    glScissor(pv.x0, pv.y0, pv.vw, pv.vh);
    drawOverlay(s, panel, *pv.cam, pv.vw, pv.vh);
}

} // namespace vq::draw

namespace vq {

using namespace draw;

// Whether glTextureBarrier is there: GL 4.5, or the extension.
bool hasTextureBarrier()
{
    GLint major = 0, minor = 0;
    glGetIntegerv(GL_MAJOR_VERSION, &major);
    glGetIntegerv(GL_MINOR_VERSION, &minor);
    if (major > 4 || (major == 4 && minor >= 5))
        return true;
    GLint n = 0;
    glGetIntegerv(GL_NUM_EXTENSIONS, &n);
    for (GLint i = 0; i < n; ++i) {
        const char *e = reinterpret_cast<const char *>(glGetStringi(GL_EXTENSIONS, static_cast<GLuint>(i)));
        if (e && std::strcmp(e, "GL_ARB_texture_barrier") == 0)
            return true;
    }
    return false;
}

// A shader's source with a macro defined after its version line.
std::string withDefine(const char *src, const char *name)
{
    std::string s = src;
    size_t line = s.find('\n');
    return s.insert(line == std::string::npos ? s.size() : line + 1, std::string("#define ") + name + "\n");
}

bool renderInit()
{
    if (R.ready)
        return true;
    bool ok = linkProgram(R.programs[kSurface], kSceneVs, nullptr, kSurfaceFs) &&
              linkProgram(R.programs[kLine], kLineVs, kLineGs, kColourFs) &&
              linkProgram(R.programs[kPoint], kPointVs, nullptr, kPointFs) &&
              linkProgram(R.programs[kTex], kSceneVs, nullptr, kTexFs) &&
              linkProgram(R.programs[kVolume], kSceneVs, nullptr, kVolumeFs) &&
              linkProgram(R.programs[kStack], kSceneVs, nullptr, kStackFs) &&
              linkProgram(R.programs[kStackGrid], kSceneVs, nullptr, withDefine(kStackFs, "GRID").c_str()) &&
              linkProgram(R.programs[kStackPlain], kSceneVs, nullptr, withDefine(kStackFs, "PLAIN").c_str()) &&
              linkProgram(R.programs[kStackValues], kSceneVs, nullptr, withDefine(kStackFs, "VALUES").c_str()) &&
              linkProgram(R.programs[kStackValuesPlain], kSceneVs, nullptr,
                          withDefine(withDefine(kStackFs, "VALUES").c_str(), "PLAIN").c_str()) &&
              linkProgram(R.programs[kStackShaded], kSceneVs, nullptr, withDefine(kStackFs, "SHADED").c_str()) &&
              linkProgram(R.programs[kStackGridShaded], kSceneVs, nullptr,
                          withDefine(withDefine(kStackFs, "GRID").c_str(), "SHADED").c_str()) &&
              linkProgram(R.programs[kStackValuesShaded], kSceneVs, nullptr,
                          withDefine(withDefine(kStackFs, "VALUES").c_str(), "SHADED").c_str()) &&
              linkProgram(R.programs[kComposite], kCompositeVs, nullptr, kCompositeFs) &&
              linkProgram(R.programs[kUpscale], kCompositeVs, nullptr, kUpscaleFs) &&
              linkProgram(R.programs[kResolve], kCompositeVs, nullptr, kResolveFs) &&
              linkProgram(R.programs[kPlane], kSceneVs, nullptr, kPlaneFs) &&
              linkProgram(R.programs[kProject], kSceneVs, nullptr, kProjectFs) &&
              linkProgram(R.programs[kProjectResolve], kCompositeVs, nullptr, kProjectResolveFs) &&
              linkProgram(R.programs[kOverlay], kOverlayVs, nullptr, kOverlayFs);
    if (!ok) {
        renderShutdown();
        return false;
    }
    glGenVertexArrays(1, &R.vao);
    glGenBuffers(1, &R.vbo);
    glBindVertexArray(R.vao);
    glBindBuffer(GL_ARRAY_BUFFER, R.vbo);
    const GLsizei stride = sizeof(Vert);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void *>(offsetof(Vert, p)));
    glVertexAttribPointer(1, 4, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void *>(offsetof(Vert, c)));
    glVertexAttribPointer(2, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void *>(offsetof(Vert, n)));
    glVertexAttribPointer(3, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void *>(offsetof(Vert, t)));
    glVertexAttribPointer(4, 1, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void *>(offsetof(Vert, w)));
    for (GLuint i = 0; i < 5; ++i)
        glEnableVertexAttribArray(i);
    glBindVertexArray(0);
    glGetIntegerv(GL_MAX_3D_TEXTURE_SIZE, &R.max3d);
    glGenSamplers(1, &R.nearestSampler);
    glSamplerParameteri(R.nearestSampler, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glSamplerParameteri(R.nearestSampler, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    for (GLenum wrap : {GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T, GL_TEXTURE_WRAP_R})
        glSamplerParameteri(R.nearestSampler, wrap, GL_CLAMP_TO_EDGE);
    glEnable(GL_PROGRAM_POINT_SIZE);
    R.textureBarrier = hasTextureBarrier();
    R.ready = true;
    return true;
}

void renderFrame(Scene &s, int width, int height)
{
    if (!R.ready || width <= 0 || height <= 0)
        return;
    R.outOfMemory = false;
    R.stacksDrawn = 0;
    glEnable(GL_SCISSOR_TEST);
    glEnable(GL_MULTISAMPLE);
    glDisable(GL_CULL_FACE);
    // Outside every panel the window shows the background.
    glScissor(0, 0, width, height);
    glViewport(0, 0, width, height);
    glClearColor(s.background.r, s.background.g, s.background.b, 1);
    glDepthMask(GL_TRUE);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    // Vertex arrays and slice strips grow with the volumes; memory refused
    // for them ends the run like memory the GL refuses.
    try {
        for (size_t i = 0; i < s.panels.size(); ++i)
            if (s.panels[i].visible)
                drawPanel(s, static_cast<int>(i), width, height);
    } catch (const std::bad_alloc &) {
        sceneError("no memory to draw the frame");
        R.outOfMemory = true;
    }
    glDisable(GL_SCISSOR_TEST);
    if (R.outOfMemory)
        s.drawFailed = true;
}

namespace {

// The reduced frame's framebuffer at rw x rh, made again when the size
// changes; false when the GL offers none.
bool bindReducedTarget(int rw, int rh)
{
    ReducedTarget &t = R.reduced;
    if (t.w != rw || t.h != rh) {
        if (!t.fbo) {
            glGenFramebuffers(1, &t.fbo);
            glGenTextures(1, &t.tex);
            glGenRenderbuffers(1, &t.depth);
        }
        glBindTexture(GL_TEXTURE_2D, t.tex);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, rw, rh, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glBindRenderbuffer(GL_RENDERBUFFER, t.depth);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, rw, rh);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, t.fbo);
        glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, t.tex, 0);
        glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, t.depth);
        finishTarget(t, rw, rh);
    }
    return drawInto(t);
}

} // namespace

void renderFrameReduced(Scene &s, int width, int height, double factor, int stride)
{
    factor = factor > 1 && factor < 64 ? factor : 1;
    int rw = static_cast<int>(std::lround(width / factor)),
        rh = static_cast<int>(std::lround(height / factor));
    R.planeStride = std::clamp(stride, 1, 16);
    if (!R.ready || rw < 1 || rh < 1 || (rw == width && rh == height)) {
        renderFrame(s, width, height);
        R.planeStride = 1;
        return;
    }
    GLint outer = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &outer);
    if (!bindReducedTarget(rw, rh)) {
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(outer));
        renderFrame(s, width, height);
        return;
    }
    R.pixelScale = static_cast<float>(rw) / static_cast<float>(width);
    renderFrame(s, rw, rh);
    R.pixelScale = 1;
    R.planeStride = 1;
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(outer));
    glViewport(0, 0, width, height);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    const ProgramInfo &p = R.programs[kUpscale];
    glUseProgram(p.id);
    glUniform4f(p.window, 0, 0, static_cast<float>(width), static_cast<float>(height));
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, R.reduced.tex);
    glBindVertexArray(R.vao);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    glBindVertexArray(0);
    glUseProgram(0);
}

void renderShutdown()
{
    for (auto &p : R.programs)
        if (p.id)
            glDeleteProgram(p.id);
    for (auto &v : R.volumes) {
        v.bricking.release();
        if (v.occTex)
            glDeleteTextures(1, &v.occTex);
    }
    for (auto &t : R.textures)
        t.bricking.release();
    for (auto &t : R.textures)
        if (t.occTex)
            glDeleteTextures(1, &t.occTex);
    for (auto &l : R.luts)
        if (l.second.tex)
            glDeleteTextures(1, &l.second.tex);
    if (R.vbo)
        glDeleteBuffers(1, &R.vbo);
    for (PanelTarget *t : {&R.depth, &R.accum, &R.project})
        if (t->fbo) {
            glDeleteFramebuffers(1, &t->fbo);
            glDeleteTextures(1, &t->tex);
        }
    if (R.reduced.fbo) {
        glDeleteFramebuffers(1, &R.reduced.fbo);
        glDeleteTextures(1, &R.reduced.tex);
        glDeleteRenderbuffers(1, &R.reduced.depth);
    }
    if (R.vao)
        glDeleteVertexArrays(1, &R.vao);
    releaseLineSets();
    if (R.nearestSampler)
        glDeleteSamplers(1, &R.nearestSampler);
    if (R.shadeTable)
        glDeleteTextures(1, &R.shadeTable);
    releaseOverlay();
    R = Renderer();
}

bool renderResolve(unsigned frame, int width, int height)
{
    if (!R.ready)
        return false;
    // The GL may have given the texture more samples than were asked for.
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, frame);
    GLint samples = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D_MULTISAMPLE, 0, GL_TEXTURE_SAMPLES, &samples);
    if (samples < 1) {
        glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, 0);
        return false;
    }
    const ProgramInfo &p = R.programs[kResolve];
    glUseProgram(p.id);
    glUniform1i(p.sampleCount, samples);
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_MULTISAMPLE);
    glViewport(0, 0, width, height);
    glBindVertexArray(R.vao);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    glBindVertexArray(0);
    glEnable(GL_MULTISAMPLE);
    glEnable(GL_DEPTH_TEST);
    glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, 0);
    glUseProgram(0);
    return true;
}

} // namespace vq
