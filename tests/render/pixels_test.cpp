// The renderer by pixels: small scenes built through the public API are
// drawn into an EGL framebuffer and read back.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glext.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "egl.h"
#include "model.h"
#include "render.h"
#include "vqscene.h"

namespace {

constexpr int W = 64, H = 64;

struct Pixel {
    int r, g, b;
};

::testing::AssertionResult near(Pixel p, int r, int g, int b, int tol = 3)
{
    if (std::abs(p.r - r) <= tol && std::abs(p.g - g) <= tol && std::abs(p.b - b) <= tol)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel (" << p.r << "," << p.g << "," << p.b << ") is not near ("
                                         << r << "," << g << "," << b << ")";
}

class Render : public ::testing::Test {
  protected:
    static vq::EglContext egl;
    static GLuint fbo, colour, depth;
    static bool ready;

    static void SetUpTestSuite()
    {
        setenv("EGL_PLATFORM", "surfaceless", 0);
        if (!vq::openEglContext(egl))
            return;
        glGenFramebuffers(1, &fbo);
        glGenRenderbuffers(1, &colour);
        glGenRenderbuffers(1, &depth);
        glBindRenderbuffer(GL_RENDERBUFFER, colour);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, W, H);
        glBindRenderbuffer(GL_RENDERBUFFER, depth);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, W, H);
        glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
        ready = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    }

    static void TearDownTestSuite()
    {
        vq::renderShutdown();
        vq::closeEglContext(egl);
    }

    void SetUp() override
    {
        ASSERT_TRUE(ready) << "no EGL surfaceless context";
        // A fresh renderer per test: the scene is reset, and ids start again.
        vq::renderShutdown();
        ASSERT_TRUE(vq::renderInit());
        vq::resetScene();
        char a0[] = "test", a1[] = "--nodraw";
        char *argv[] = {a0, a1, nullptr};
        ASSERT_EQ(vqopend("/?", 2, argv), 0);
        vq::scene().windowWidth = W;
        vq::scene().windowHeight = H;
        vqswin(-1, 1, -1, 1, -1, 1);
        svqsbc(0, 0, 0);
    }

    // Ambient light only, at full strength: colours show as given.
    static void flatLight()
    {
        Colour3 white{1, 1, 1}, black{0, 0, 0};
        Point3 pos{0, 0, 100};
        svqsl(white, 1, &pos, &black, 1);
    }

    void draw()
    {
        glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        vq::renderFrame(vq::scene(), W, H);
        glFinish();
        pixels.resize(W * H * 4);
        glReadPixels(0, 0, W, H, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    }

    // x from the left, y from the bottom.
    Pixel at(int x, int y) const
    {
        const uint8_t *p = &pixels[(y * W + x) * 4];
        return {p[0], p[1], p[2]};
    }

    int count(int r, int g, int b, int tol = 8) const
    {
        int n = 0;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                if (near(at(x, y), r, g, b, tol))
                    ++n;
        return n;
    }

    std::vector<uint8_t> pixels;
};

vq::EglContext Render::egl;
GLuint Render::fbo, Render::colour, Render::depth;
bool Render::ready;

// A square facing +z at depth z, corners at +-h.
void square(double h, double z, Colour3 c, float alpha = 1)
{
    Point3 a[3] = {{-h, -h, z}, {h, -h, z}, {h, h, z}};
    Point3 b[3] = {{-h, -h, z}, {h, h, z}, {-h, h, z}};
    if (alpha < 1) {
        nvqvf3a(a, 's', c, alpha);
        nvqvf3a(b, 's', c, alpha);
    } else {
        nvqvf3(a, c);
        nvqvf3(b, c);
    }
}

void setCamera(double ex, double ey, double ez)
{
    vq::Panel &p = vq::scene().panels[vq::scene().current];
    p.camera.eye[0] = ex;
    p.camera.eye[1] = ey;
    p.camera.eye[2] = ez;
    p.camera.target[0] = p.camera.target[1] = p.camera.target[2] = 0;
    p.cameraUser = true;
}

TEST_F(Render, BackgroundAndBoxInForeground)
{
    svqsbc(0.2f, 0.4f, 0.6f);
    svqsfc(1, 1, 0);
    vqbox("BCDET", 0, 0, "BCDET", 0, 0, "BCDET", 0, 0);
    draw();
    EXPECT_TRUE(near(at(W / 2, H / 2), 51, 102, 153));
    EXPECT_TRUE(near(at(0, 0), 51, 102, 153));
    // The box's edges: a ring of foreground pixels around the centre.
    EXPECT_GT(count(255, 255, 0, 40), 4 * W / 3);
    int row = H / 2, left = -1, right = -1;
    for (int x = 0; x < W; ++x)
        if (near(at(x, row), 255, 255, 0, 40)) {
            if (left < 0)
                left = x;
            right = x;
        }
    ASSERT_GE(left, 0);
    EXPECT_LT(left, W / 2 - 4);
    EXPECT_GT(right, W / 2 + 4);
}

TEST_F(Render, FacetColourUnderAmbientAndLights)
{
    // Ambient 0.3 and a light of 0.5 straight ahead: 0.8 of the colour.
    Colour3 amb{0.3, 0.3, 0.3}, half{0.5, 0.5, 0.5};
    Point3 pos{0, 0, 1000};
    svqsl(amb, 1, &pos, &half, 1);
    square(0.5, 0, {1, 0.5, 0.25});
    draw();
    EXPECT_TRUE(near(at(W / 2, H / 2), 204, 102, 51));
    EXPECT_TRUE(near(at(2, 2), 0, 0, 0));
}

TEST_F(Render, TiltedFacetLitByCosine)
{
    // The light lies 60 degrees off the facet's normal: 0.2 + 0.5 * 0.5.
    Colour3 amb{0.2, 0.2, 0.2}, half{0.5, 0.5, 0.5};
    Point3 pos{1000 * std::sin(M_PI / 3), 0, 1000 * std::cos(M_PI / 3)};
    svqsl(amb, 1, &pos, &half, 1);
    square(0.5, 0, {1, 1, 1});
    draw();
    EXPECT_TRUE(near(at(W / 2, H / 2), 115, 115, 115));
}

TEST_F(Render, NoLightsMeansHeadLight)
{
    vq::scene().lighting.lights.clear();
    vq::scene().lighting.ambient = {0, 0, 0};
    square(0.5, 0, {0, 1, 0});
    draw();
    EXPECT_TRUE(near(at(W / 2, H / 2), 0, 255, 0));
}

TEST_F(Render, SmoothFacetUsesCornerNormals)
{
    Colour3 amb{0, 0, 0}, white{1, 1, 1};
    Point3 pos{0, 0, 1000};
    svqsl(amb, 1, &pos, &white, 1);
    // Normals at 60 degrees to the light everywhere: half the colour, where a
    // flat facet would be at full strength.
    double s = std::sin(M_PI / 3), c = std::cos(M_PI / 3);
    Point3 p[3] = {{-0.5, -0.5, 0}, {0.5, -0.5, 0}, {0, 0.5, 0}};
    Point3 n[3] = {{s, 0, c}, {s, 0, c}, {s, 0, c}};
    nvqvf3n(p, n, {1, 1, 1});
    draw();
    EXPECT_TRUE(near(at(W / 2, H / 2 - 4), 128, 128, 128));
}

TEST_F(Render, TransparentLayersBlendFarToNear)
{
    flatLight();
    // Drawn near first from +z: the order must come from the sort.
    square(0.5, 0.3, {1, 0, 0}, 0.5f);
    square(0.5, -0.3, {0, 0, 1}, 0.5f);
    draw();
    // From +z red is in front: 0.5 red over (0.5 blue over black).
    EXPECT_TRUE(near(at(W / 2, H / 2), 128, 0, 64));

    setCamera(0, 0, -7);
    draw();
    EXPECT_TRUE(near(at(W / 2, H / 2), 64, 0, 128));
}

TEST_F(Render, OpaqueHidesTransparentBehindIt)
{
    flatLight();
    square(0.5, -0.3, {1, 0, 0}, 0.5f);
    square(0.5, 0.3, {0, 1, 0});
    draw();
    EXPECT_TRUE(near(at(W / 2, H / 2), 0, 255, 0));
}

TEST_F(Render, PanelsSideBySide)
{
    flatLight();
    xvqmp(0, 0, 0, 0.5f, 1);
    square(0.9, 0, {1, 0, 0});
    int right = xvqap(0.5f, 0, 1, 1);
    ASSERT_GE(right, 0);
    xvqcp(right);
    vqswin(-1, 1, -1, 1, -1, 1);
    flatLight();
    square(0.9, 0, {0, 1, 0});
    draw();
    EXPECT_TRUE(near(at(W / 4, H / 2), 255, 0, 0));
    EXPECT_TRUE(near(at(3 * W / 4, H / 2), 0, 255, 0));

    // A hidden panel leaves the background.
    xvqtp(right);
    draw();
    EXPECT_TRUE(near(at(3 * W / 4, H / 2), 0, 0, 0));
    EXPECT_TRUE(near(at(W / 4, H / 2), 255, 0, 0));
}

TEST_F(Render, OutlineModeDrawsEdgesOnly)
{
    flatLight();
    square(0.5, 0, {1, 1, 1});
    svqsrm(0);
    draw();
    EXPECT_TRUE(near(at(W / 2 + 5, H / 2 - 3), 0, 0, 0));
    int lit = count(255, 255, 255, 60);
    EXPECT_GT(lit, 20);
    EXPECT_LT(lit, W * H / 8);

    svqsrm(1);
    draw();
    EXPECT_TRUE(near(at(W / 2 + 5, H / 2 - 3), 255, 255, 255));
}

TEST_F(Render, ThickLineRampsBetweenEndColours)
{
    nvqvthcline({-0.8, 0, 0}, {0.8, 0, 0}, {1, 0, 0}, {0, 0, 1}, 6);
    draw();
    Pixel left = at(W / 2 - 12, H / 2), mid = at(W / 2, H / 2), right = at(W / 2 + 11, H / 2);
    EXPECT_GT(left.r, 180);
    EXPECT_LT(left.b, 80);
    EXPECT_GT(right.b, 180);
    EXPECT_LT(right.r, 80);
    EXPECT_TRUE(near(mid, 128, 0, 128, 20));
    // Six pixels wide: rows 2 above the centre are still on the line.
    EXPECT_GT(at(W / 2, H / 2 + 2).r + at(W / 2, H / 2 + 2).b, 150);
    EXPECT_TRUE(near(at(W / 2, H / 2 + 8), 0, 0, 0));
}

TEST_F(Render, PointsAreRoundOfLineWidthSize)
{
    vqscr(3, 1, 1, 1);
    vqsci(3);
    vqslw(8);
    float x = 0, y = 0, z = 0;
    vqpt(1, &x, &y, &z, 1);
    draw();
    EXPECT_TRUE(near(at(W / 2, H / 2), 255, 255, 255, 20));
    int n = count(255, 255, 255, 60);
    // A disc of diameter 16: about 200 pixels, fewer than its square.
    EXPECT_GT(n, 120);
    EXPECT_LT(n, 240);
}

// ---- Volumes --------------------------------------------------------------

struct Grid {
    int nx, ny, nz;
    std::vector<float> data;
    std::vector<float *> rows;
    std::vector<float **> planes;
    Grid(int x, int y, int z, float v) : nx(x), ny(y), nz(z), data(x * y * z, v), rows(x * y), planes(x)
    {
        for (int i = 0; i < nx; ++i) {
            for (int j = 0; j < ny; ++j)
                rows[i * ny + j] = &data[(i * ny + j) * nz];
            planes[i] = &rows[i * ny];
        }
    }
    float &at(int i, int j, int k) { return data[(i * ny + j) * nz + k]; }
    float ***grid() { return planes.data(); }
};

// A volume filling the world box -0.5..0.5 on each axis.
int addVolume(Grid &g, float dmin, float dmax, float amin, float amax)
{
    float tr[12] = {-0.5f, 1.0f / (g.nx - 1), 0, 0, -0.5f, 0, 1.0f / (g.ny - 1), 0, -0.5f, 0,
                    0,     1.0f / (g.nz - 1)};
    return nvqcvr(g.grid(), g.nx, g.ny, g.nz, 0, g.nx - 1, 0, g.ny - 1, 0, g.nz - 1, tr, 's', dmin, dmax,
                  amin, amax);
}

TEST_F(Render, VolumeColourComesFromItsColourRange)
{
    Grid g(4, 4, 4, 0.5f);
    int id = addVolume(g, 0, 1, 1, 1);
    ASSERT_GE(id, 0);
    // 0.5 of the way through 100..355 is entry 127: green; the rest red.
    for (int ci = 100; ci <= 355; ++ci)
        vqscr(ci, 1, 0, 0);
    vqscr(227, 0, 1, 0);
    vqscir(100, 355);
    for (int axis = 1; axis <= 3; ++axis)
        dvqdvrx(id, 0, axis, 0, 0);
    draw();
    EXPECT_TRUE(near(at(W / 2, H / 2), 0, 255, 0));
    EXPECT_TRUE(near(at(1, 1), 0, 0, 0));
}

TEST_F(Render, VolumeOpacityCompositesSlices)
{
    Grid g(4, 4, 4, 1.0f);
    // Above dmax: the top of the range and amax.
    int id = addVolume(g, 0, 0.5f, 0, 0.25f);
    for (int ci = 0; ci < 256; ++ci)
        vqscr(ci, 0, 0, 0);
    vqscr(255, 1, 1, 1);
    vqscir(0, 255);
    dvqdvrx(id, 0, 3, 0, 0);
    draw();
    // Four slices of opacity 0.25 over black: 1 - 0.75^4 of white.
    int want = static_cast<int>(std::lround(255 * (1 - std::pow(0.75, 4))));
    EXPECT_TRUE(near(at(W / 2, H / 2), want, want, want, 4));
}

TEST_F(Render, VolumeBelowDataMinimumIsTransparent)
{
    Grid g(4, 4, 4, 0.1f);
    // Only voxel column i = 3 (the right side) reaches the range.
    for (int j = 0; j < 4; ++j)
        for (int k = 0; k < 4; ++k)
            g.at(3, j, k) = 0.9f;
    int id = addVolume(g, 0.5f, 1, 1, 1);
    for (int ci = 0; ci < 256; ++ci)
        vqscr(ci, 1, 1, 1);
    vqscir(0, 255);
    svqsbc(0, 0, 0.5f);
    dvqdvrx(id, 0, 3, 0, 0);
    draw();
    EXPECT_TRUE(near(at(W / 2 - 8, H / 2), 0, 0, 128));
    // Between i = 2 and 3 the value crosses 0.5 half way across.
    EXPECT_TRUE(near(at(W / 2 + 8, H / 2), 255, 255, 255));
}

TEST_F(Render, VolumeUploadFollowsVersion)
{
    Grid g(4, 4, 4, 0.9f);
    int id = addVolume(g, 0.5f, 1, 1, 1);
    for (int ci = 0; ci < 256; ++ci)
        vqscr(ci, 1, 1, 1);
    vqscir(0, 255);
    dvqdvrx(id, 0, 3, 0, 0);
    draw();
    EXPECT_TRUE(near(at(W / 2, H / 2), 255, 255, 255));
    // The grid changes under the library: the GPU copy stays until the
    // version says otherwise.
    for (float &v : g.data)
        v = 0;
    draw();
    EXPECT_TRUE(near(at(W / 2, H / 2), 255, 255, 255));
    vq::scene().volumes[id].version++;
    draw();
    EXPECT_TRUE(near(at(W / 2, H / 2), 0, 0, 0));
}

TEST_F(Render, VolumeColourTableChangeRebuildsLookup)
{
    Grid g(4, 4, 4, 0.9f);
    int id = addVolume(g, 0, 1, 1, 1);
    for (int ci = 0; ci < 256; ++ci)
        vqscr(ci, 1, 0, 0);
    vqscir(0, 255);
    dvqdvrx(id, 0, 3, 0, 0);
    draw();
    EXPECT_TRUE(near(at(W / 2, H / 2), 255, 0, 0));
    for (int ci = 0; ci < 256; ++ci)
        vqscr(ci, 0, 0, 1);
    draw();
    EXPECT_TRUE(near(at(W / 2, H / 2), 0, 0, 255));
}

TEST_F(Render, VolumeSlicesBlendWithFacetsInDepthOrder)
{
    flatLight();
    Grid g(4, 4, 4, 0.9f);
    int id = addVolume(g, 0, 1, 0.5f, 0.5f);
    for (int ci = 0; ci < 256; ++ci)
        vqscr(ci, 0, 0, 1);
    vqscir(0, 255);
    dvqdvrx(id, 0, 3, 0, 0);
    // A half-transparent red square in front of the volume.
    square(0.7, 0.8, {1, 0, 0}, 0.5f);
    draw();
    Pixel front = at(W / 2, H / 2);
    // Red on top: half red over the volume's blue (1 - 0.5^4 of it).
    EXPECT_TRUE(near(front, 128, 0, static_cast<int>(std::lround(0.5 * 255 * (1 - std::pow(0.5, 4)))), 4));
}

// Slices trimmed to the strips that can show anything must draw exactly
// what whole slices draw, seen from any side, with either opacity ramp.
TEST_F(Render, TrimmedSlicesMatchWholeSlices)
{
    Grid g(24, 20, 16, 0);
    // Two blobs of smoothly varying values, some of them just around the
    // thresholds, in an empty grid.
    for (int i = 0; i < g.nx; ++i)
        for (int j = 0; j < g.ny; ++j)
            for (int k = 0; k < g.nz; ++k) {
                double d1 = std::hypot(i - 6.0, j - 12.0, k - 5.0),
                       d2 = std::hypot(i - 17.0, j - 6.0, k - 11.0);
                double v = std::max(1.0 - d1 / 5, 0.8 - d2 / 4);
                g.at(i, j, k) = v > 0 ? static_cast<float>(v) : 0.0f;
            }
    for (int ci = 0; ci < 64; ++ci)
        vqscr(ci, ci / 63.0f, 1 - ci / 63.0f, 0.5f);
    vqscir(0, 63);
    const float ramps[2][2] = {{0, 0.6f}, {0.1f, 0.4f}};
    const double eyes[4][3] = {{0, 0, 7}, {6, 2, -3}, {-2, -6, 2}, {4, 4, 4}};
    // Short strips, so that neighbours of different widths meet.
    for (int rows : {3, 4, 0})
        for (const auto &ramp : ramps) {
            int id = addVolume(g, 0.15f, 0.85f, ramp[0], ramp[1]);
            ASSERT_GE(id, 0);
            for (int axis = 1; axis <= 3; ++axis)
                dvqdvrx(id, 0, axis, 0, 0);
            for (const auto &e : eyes) {
                setCamera(e[0], e[1], e[2]);
                vq::renderSetSliceTrimming(false);
                draw();
                std::vector<uint8_t> whole = pixels;
                vq::renderSetSliceTrimming(true, rows);
                draw();
                int differing = 0, drawn = 0;
                for (size_t i = 0; i < pixels.size(); ++i) {
                    differing += std::abs(pixels[i] - whole[i]) > 1;
                    drawn += whole[i] != 0;
                }
                EXPECT_EQ(differing, 0) << "eye " << e[0] << "," << e[1] << "," << e[2] << " amin " << ramp[0]
                                        << " rows " << rows;
                EXPECT_GT(drawn, 100);
            }
            vq::scene().panels[0].staticList.volumes.clear();
        }
    vq::renderSetSliceTrimming(true);
}

// ---- 3-D textures ------------------------------------------------------------

TEST_F(Render, TexturedPolygonSamplesTexelCentres)
{
    int tex = svqc3dt(2, 1, 1);
    ASSERT_GE(tex, 0);
    int w = 0, h = 0, d = 0;
    unsigned char *t = svqg3dt(tex, &w, &h, &d);
    ASSERT_NE(t, nullptr);
    const unsigned char texels[8] = {255, 0, 0, 255, 0, 255, 0, 255};
    std::copy(texels, texels + 8, t);
    svqpt(tex);
    Point3 v[4] = {{-1.5, -0.5, 0}, {1.5, -0.5, 0}, {1.5, 0.5, 0}, {-1.5, 0.5, 0}};
    Point3 tc[4] = {{0, 0, 0}, {1, 0, 0}, {1, 0, 0}, {0, 0, 0}};
    nvqtexpoly3d(v, tc, 4, tex, 's', 1);
    draw();
    // Coordinate 0 is the red texel's centre and 1 the green one's: a
    // quarter of the way along, a quarter green (a plain 0..1 mapping
    // would still be pure red there).
    Pixel l = at(W / 2 - 13, H / 2), m = at(W / 2, H / 2), r = at(W / 2 + 12, H / 2);
    EXPECT_TRUE(near(l, 187, 68, 0, 12));
    EXPECT_TRUE(near(r, 68, 187, 0, 12));
    EXPECT_TRUE(near(m, 128, 128, 0, 10));
    EXPECT_TRUE(near(at(6, H / 2), 255, 0, 0, 20));

    // New texels show only once handed back.
    for (int i = 0; i < 8; i += 4) {
        t[i] = 0;
        t[i + 1] = 0;
        t[i + 2] = 255;
    }
    draw();
    EXPECT_TRUE(near(at(W / 2 - 13, H / 2), 187, 68, 0, 12));
    svqpt(tex);
    draw();
    EXPECT_TRUE(near(at(W / 2, H / 2), 0, 0, 255, 4));
}

TEST_F(Render, TexturedPolygonOpacity)
{
    int tex = svqc3dt(1, 1, 1);
    int w, h, d;
    unsigned char *t = svqg3dt(tex, &w, &h, &d);
    ASSERT_NE(t, nullptr);
    t[0] = 255;
    t[1] = 255;
    t[2] = 255;
    t[3] = 255;
    svqpt(tex);
    Point3 v[3] = {{-0.5, -0.5, 0}, {0.5, -0.5, 0}, {0, 0.5, 0}};
    Point3 tc[3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
    nvqtexpoly3d(v, tc, 3, tex, 's', 0.6f);
    draw();
    EXPECT_TRUE(near(at(W / 2, H / 2 - 4), 153, 153, 153));
}

} // namespace
