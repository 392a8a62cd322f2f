// The renderer by pixels: small scenes built through the public API are
// drawn into an EGL framebuffer and read back.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glext.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "model.h"
#include "render.h"
#include "render_fixture.h"
#include "vqscene.h"
#include "vqscene_inspect.h"

namespace {

using rendertest::addVolume;
using rendertest::Grid;
using rendertest::H;
using rendertest::near;
using rendertest::Pixel;
using rendertest::W;

class Render : public rendertest::RenderFixture {
  protected:
    // Ambient light only, at full strength: colours show as given.
    static void flatLight()
    {
        Colour3 white{1, 1, 1}, black{0, 0, 0};
        Point3 pos{0, 0, 100};
        svqsl(white, 1, &pos, &black, 1);
    }

    // The frame polygon by polygon, returned, then in one pass (in pixels),
    // with the stacks each found.
    std::vector<uint8_t> drawEachThenOnePass(int *eachStacks = nullptr, int *onePassStacks = nullptr)
    {
        vqtest::renderSetOnePass(false);
        draw();
        if (eachStacks)
            *eachStacks = vqtest::renderStacksDrawn();
        std::vector<uint8_t> each = pixels;
        vqtest::renderSetOnePass(true);
        draw();
        if (onePassStacks)
            *onePassStacks = vqtest::renderStacksDrawn();
        return each;
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

  public:
    static GLuint framebuffer() { return fbo; }
    const std::vector<uint8_t> &image() const { return pixels; }
};

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
                vqtest::renderSetSliceTrimming(false);
                draw();
                std::vector<uint8_t> whole = pixels;
                vqtest::renderSetSliceTrimming(true, rows);
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
    vqtest::renderSetSliceTrimming(true);
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

// ---- Bricks ----------------------------------------------------------------------

namespace {

// Pixels of two images that differ by more than 1/255 in some channel,
// the largest difference, and how many pixels are drawn in the first.
struct Compare {
    int off = 0, worst = 0, drawn = 0;
};

Compare compareImages(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b)
{
    Compare c;
    for (size_t i = 0; i < a.size(); i += 4) {
        int d = 0;
        for (int ch = 0; ch < 3; ++ch)
            d = std::max(d, std::abs(a[i + ch] - b[i + ch]));
        c.worst = std::max(c.worst, d);
        c.off += d > 1;
        c.drawn += a[i] || a[i + 1] || a[i + 2];
    }
    return c;
}

// Bricks cut polygons where their outlines cross brick faces; the cut
// points round a little differently from the whole outline, so a pixel
// whose centre lies on an outline may come out otherwise. A seam would be
// a row of pixels along a brick face; isolated outline pixels are all
// that may differ.
::testing::AssertionResult seamless(const Compare &c)
{
    if (c.off <= 1 + c.drawn / 400)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << c.off << " of " << c.drawn << " drawn pixels differ, by up to "
                                         << c.worst;
}

// A colour for each of 256 entries that tells them all apart.
void distinctColours(int lo)
{
    for (int c = 0; c < 256; ++c)
        vqscr(lo + c, c / 255.0f, ((c * 37) % 256) / 255.0f, ((c * 101) % 256) / 255.0f);
    vqscir(lo, lo + 255);
}

} // namespace

TEST_F(Render, BrickedSliceSetsJoinWithoutSeams)
{
    // Values ramping across every brick face, once as bytes and once as
    // averages (16-bit texels), drawn in one brick and in bricks of 4 and 5.
    Grid grids[2] = {Grid(23, 19, 17, 0), Grid(23, 19, 17, 0)};
    for (bool bytes : {true, false}) {
        Grid &g = grids[bytes];
        for (int i = 0; i < g.nx; ++i)
            for (int j = 0; j < g.ny; ++j)
                for (int k = 0; k < g.nz; ++k) {
                    double f = (i * 11 + j * 5 + k * 3) / 380.0;
                    g.at(i, j, k) = bytes ? static_cast<float>(std::lround(f * 255) / 255.0) : static_cast<float>(f);
                }
        // A smooth colour ramp: one entry more or less changes little.
        for (int c = 0; c < 256; ++c)
            vqscr(c, c / 255.0f, 1 - c / 255.0f, 0.5f);
        vqscir(0, 255);
        int id = addVolume(g, 0.1f, 0.9f, 0.05f, 0.5f);
        ASSERT_GE(id, 0);
        vq::scene().panels[0].staticList.volumes.clear();
        for (int axis = 1; axis <= 3; ++axis)
            dvqdvrx(id, 0, axis, 1, 0);
        for (const auto &e : {std::array<double, 3>{0.3, 0.2, 2.2}, {1.6, 0.9, -1.2}, {-1.1, -1.5, 1.0}}) {
            setCamera(e[0], e[1], e[2]);
            vqtest::renderSetBricks(0);
            draw();
            std::vector<uint8_t> one = pixels;
            for (int texels : {4, 5}) {
                vqtest::renderSetBricks(texels);
                draw();
                Compare c = compareImages(one, pixels);
                EXPECT_TRUE(seamless(c)) << "bricks of " << texels << (bytes ? " bytes" : " shorts");
                EXPECT_GT(c.drawn, 1000);
            }
        }
    }
    vqtest::renderSetBricks(0);
}

TEST_F(Render, ByteTexelsDrawEveryByteValueAsFloatsDo)
{
    // Blocks of 4 x 4 voxels, one byte value each, 64 values a draw, in
    // one slice facing the camera, opaque: inside a block every pixel shows
    // the colour entry of its value, which must be the same entry from
    // byte texels as from float texels.
    setCamera(0, 0, 1.9);
    distinctColours(0);
    int found = 0;
    std::vector<Grid> grids;
    grids.reserve(4);
    for (int n = 0; n < 4; ++n)
        grids.emplace_back(32, 32, 1, 0.0f);
    for (int first = 0; first < 256; first += 64) {
        Grid &g = grids[first / 64];
        for (int i = 0; i < 32; ++i)
            for (int j = 0; j < 32; ++j)
                g.at(i, j, 0) = static_cast<float>((first + i / 4 + 8 * (j / 4)) / 255.0);
        float tr[12] = {-0.5f, 1.0f / 31, 0, 0, -0.5f, 0, 1.0f / 31, 0, 0, 0, 0, 1};
        int id = nvqcvr(g.grid(), 32, 32, 1, 0, 31, 0, 31, 0, 0, tr, 's', 0, 1, 1, 1);
        ASSERT_GE(id, 0);
        vq::scene().panels[0].staticList.volumes.clear();
        dvqdvrx(id, 0, 3, 1, 0);
        vqtest::renderSetBricks(0, 2);
        draw();
        std::vector<uint8_t> floats = pixels;
        vqtest::renderSetBricks(0, 0);
        draw();
        for (int y = 1; y + 1 < H; ++y)
            for (int x = 1; x + 1 < W; ++x) {
                const uint8_t *p = &floats[(y * W + x) * 4];
                bool inside = true;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        inside &= std::memcmp(p, &floats[((y + dy) * W + x + dx) * 4], 3) == 0;
                if (!inside || (p[0] | p[1] | p[2]) == 0)
                    continue;
                ++found;
                EXPECT_EQ(std::memcmp(p, &pixels[(y * W + x) * 4], 3), 0)
                    << "pixel " << x << "," << y << " of values from " << first;
            }
    }
    // Most blocks have an inside at this size.
    EXPECT_GT(found, 400);
    vqtest::renderSetBricks(0);
}

namespace {

// RGBA storage of a texture of n texels, from f(i, j, k, rgba).
template <class F> int makeTexture(int nx, int ny, int nz, F f)
{
    int tex = svqc3dt(nx, ny, nz);
    int w, h, d;
    unsigned char *t = svqg3dt(tex, &w, &h, &d);
    if (t == nullptr)
        return -1;
    for (int k = 0; k < nz; ++k)
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i)
                f(i, j, k, t + 4 * (i + static_cast<size_t>(nx) * (j + static_cast<size_t>(ny) * k)));
    svqpt(tex);
    return tex;
}

// A quad of the unit texture cube's plane z = z0 + slope * x, drawn in
// the box -0.5..0.5.
void obliqueQuad(int tex, double z0, double slope, float alpha)
{
    Point3 t[4] = {{0, 0, z0}, {1, 0, z0 + slope}, {1, 1, z0 + slope}, {0, 1, z0}};
    Point3 v[4];
    for (int c = 0; c < 4; ++c)
        v[c] = {t[c].x - 0.5, t[c].y - 0.5, t[c].z - 0.5};
    nvqtexpoly3d(v, t, 4, tex, 's', alpha);
}

} // namespace

TEST_F(Render, BrickedTexturesJoinWithoutSeams)
{
    int tex = makeTexture(23, 19, 17, [](int i, int j, int k, unsigned char *t) {
        t[0] = static_cast<unsigned char>(i * 11);
        t[1] = static_cast<unsigned char>(j * 13);
        t[2] = static_cast<unsigned char>(k * 15);
        t[3] = static_cast<unsigned char>(60 + (i + j + k) * 2);
    });
    ASSERT_GE(tex, 0);
    for (int s = 0; s < 12; ++s)
        obliqueQuad(tex, 0.05 + s * 0.06, 0.2, 0.6f);
    for (const auto &e : {std::array<double, 3>{0.2, 0.3, 2.3}, {1.5, -0.8, 1.2}}) {
        setCamera(e[0], e[1], e[2]);
        vqtest::renderSetBricks(0);
        draw();
        std::vector<uint8_t> one = pixels;
        for (int texels : {3, 4, 7}) {
            vqtest::renderSetBricks(texels);
            draw();
            Compare c = compareImages(one, pixels);
            EXPECT_TRUE(seamless(c)) << "bricks of " << texels;
            EXPECT_GT(c.drawn, 1000);
        }
    }
    vqtest::renderSetBricks(0);
}

TEST_F(Render, LongVolumesDrawInBothModes)
{
    // 4096 voxels along x, longer than any one 3-D texture may be: a bar
    // across the view, lit from end to end.
    setCamera(0, 0, 2.1);
    Grid g(4096, 16, 16, 0.8f);
    float tr[12] = {-0.5f, 1.0f / 4095, 0, 0, -0.08f, 0, 0.16f / 15, 0, -0.08f, 0, 0, 0.16f / 15};
    int id = nvqcvr(g.grid(), 4096, 16, 16, 0, 4095, 0, 15, 0, 15, tr, 's', 0, 1, 1, 1);
    ASSERT_GE(id, 0);
    for (int c = 0; c < 256; ++c)
        vqscr(c, 1, 1, 1);
    vqscir(0, 255);
    dvqdvrx(id, 0, 3, 1, 0);
    draw();
    EXPECT_TRUE(near(at(W / 2 - 26, H / 2), 255, 255, 255, 8));
    EXPECT_TRUE(near(at(W / 2 + 26, H / 2), 255, 255, 255, 8));
    EXPECT_TRUE(near(at(W / 2, H / 2 + 12), 0, 0, 0));

    vq::scene().panels[0].staticList.volumes.clear();
    int tex = makeTexture(4096, 16, 16, [](int i, int, int, unsigned char *t) {
        t[0] = 255;
        t[1] = static_cast<unsigned char>(i / 16);
        t[2] = 0;
        t[3] = 255;
    });
    ASSERT_GE(tex, 0);
    Point3 v[4] = {{-0.5, -0.08, 0}, {0.5, -0.08, 0}, {0.5, 0.08, 0}, {-0.5, 0.08, 0}};
    Point3 t[4] = {{0, 0, 0.5}, {1, 0, 0.5}, {1, 1, 0.5}, {0, 1, 0.5}};
    nvqtexpoly3d(v, t, 4, tex, 's', 1);
    draw();
    // Green runs up from the far left to the far right.
    Pixel l = at(W / 2 - 26, H / 2), m = at(W / 2, H / 2), r = at(W / 2 + 26, H / 2);
    EXPECT_EQ(l.r, 255);
    EXPECT_LT(l.g, 40);
    EXPECT_TRUE(near(m, 255, 128, 0, 10));
    EXPECT_GT(r.g, 215);
}

TEST_F(Render, EmptyBricksAreNeitherSentNorDrawn)
{
    // One corner of the grid holds values; with bricks of 4 most of the
    // grid is below the data minimum, and the image stays the same.
    Grid g(16, 16, 16, -1.0f);
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 5; ++j)
            for (int k = 0; k < 5; ++k)
                g.at(i, j, k) = 0.6f;
    for (int c = 0; c < 256; ++c)
        vqscr(c, c / 255.0f, 1 - c / 255.0f, 0.5f);
    vqscir(0, 255);
    int id = addVolume(g, 0, 1, 0.3f, 0.3f);
    dvqdvrx(id, 0, 3, 1, 0);
    setCamera(0.4, 0.3, 2.2);
    vqtest::renderSetBricks(0);
    draw();
    std::vector<uint8_t> one = pixels;
    vqtest::renderSetBricks(4);
    draw();
    Compare c = compareImages(one, pixels);
    EXPECT_TRUE(seamless(c));
    EXPECT_GT(c.drawn, 50);
    EXPECT_EQ(vqtest::renderSentBricks(id), 8); // bricks touching voxels 0..4 on each axis: 2 x 2 x 2
    vqtest::renderSetBricks(0);
}

TEST_F(Render, TexelsGivenBackReturnFromTheGpu)
{
    // 8 MiB of texels and more: their pages are given back once sent.
    int tex = makeTexture(128, 128, 130, [](int i, int j, int k, unsigned char *t) {
        t[0] = static_cast<unsigned char>(i);
        t[1] = static_cast<unsigned char>(j);
        t[2] = static_cast<unsigned char>(k);
        t[3] = i < 64 ? 0 : 200;
    });
    ASSERT_GE(tex, 0);
    obliqueQuad(tex, 0.5, 0, 1);
    vqtest::renderSetBricks(32);
    draw();
    EXPECT_TRUE(vq::scene().textures[tex].released);
    int w, h, d;
    unsigned char *t = svqg3dt(tex, &w, &h, &d);
    ASSERT_NE(t, nullptr);
    int wrong = 0;
    for (int k = 0; k < d; ++k)
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i) {
                const unsigned char *p = t + 4 * (i + 128 * (j + 128 * static_cast<size_t>(k)));
                wrong += p[0] != i || p[1] != j || p[2] != (k & 255) || p[3] != (i < 64 ? 0 : 200);
            }
    EXPECT_EQ(wrong, 0);
    EXPECT_FALSE(vq::scene().textures[tex].released);
    vqtest::renderSetBricks(0);
}

TEST_F(Render, VolumeTheGlCannotHoldFailsTheFrame)
{
    // One brick of 2048 x 2048 x 256 floats is 4 GiB, more than llvmpipe
    // gives one texture: every row of the grid is the same one, so the
    // grid itself costs little.
    std::vector<float> row(256, 0.5f);
    std::vector<float *> rows(size_t(2048) * 2048, row.data());
    std::vector<float **> planes(2048);
    for (int i = 0; i < 2048; ++i)
        planes[i] = &rows[size_t(i) * 2048];
    float tr[12] = {-0.5f, 1 / 2047.0f, 0, 0, -0.5f, 0, 1 / 2047.0f, 0, -0.5f, 0, 0, 1 / 255.0f};
    int id = nvqcvr(planes.data(), 2048, 2048, 256, 0, 2047, 0, 2047, 0, 255, tr, 's', 0, 1, 0, 1);
    ASSERT_GE(id, 0);
    dvqdvrx(id, 0, 3, 1, 0);
    vqtest::renderSetBricks(4096, 2);
    testing::internal::CaptureStderr();
    draw();
    std::string err = testing::internal::GetCapturedStderr();
    vqtest::renderSetBricks(0);
    EXPECT_TRUE(vq::scene().drawFailed);
    EXPECT_EQ(err, "vqscene: the GL has no memory for the textures of a 2048 x 2048 x 256 volume\n");
    EXPECT_EQ(vqtest::renderSentBricks(id), 0);
}

namespace {

// A view-aligned stack through the texture's box -0.5..0.5 (texture
// coordinates 0..1), as the viewer's -3d slicing draws it: planes across
// the direction from eye to the centre, far to near, each the whole cut of
// its plane through the box. With reveal > 0 the nearest `reveal` planes
// are left out and the front one drawn once more at alpha 1 first.
void viewStack(int tex, int planes, const std::array<double, 3> &eye, float alpha, int reveal = 0,
               double shift = 0)
{
    double d[3] = {-eye[0], -eye[1], -eye[2]};
    double l = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    for (double &c : d)
        c /= l;
    double lo = 1e30, hi = -1e30;
    for (int c = 0; c < 8; ++c) {
        double p = d[0] * ((c & 1) - 0.5) + d[1] * ((c >> 1 & 1) - 0.5) + d[2] * ((c >> 2 & 1) - 0.5);
        lo = std::min(lo, p);
        hi = std::max(hi, p);
    }
    // An in-plane basis for ordering the cut points.
    double u[3] = {d[1], -d[0], 0};
    if (std::fabs(d[2]) > 0.9)
        u[0] = 1, u[1] = 0, u[2] = 0;
    double w[3] = {d[1] * u[2] - d[2] * u[1], d[2] * u[0] - d[0] * u[2], d[0] * u[1] - d[1] * u[0]};
    static const int edges[12][2] = {{0, 1}, {2, 3}, {4, 5}, {6, 7}, {0, 2}, {1, 3},
                                     {4, 6}, {5, 7}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
    int stop = planes - reveal;
    for (int s = 0; s < stop; ++s) {
        double off = hi - (s + 0.5) / planes * (hi - lo);
        std::vector<std::pair<double, Point3>> cut;
        for (const auto &e : edges) {
            double a[3], b[3];
            for (int k = 0; k < 3; ++k) {
                a[k] = (e[0] >> k & 1) - 0.5;
                b[k] = (e[1] >> k & 1) - 0.5;
            }
            double da = d[0] * a[0] + d[1] * a[1] + d[2] * a[2] - off;
            double db = d[0] * b[0] + d[1] * b[1] + d[2] * b[2] - off;
            if ((da > 0) == (db > 0))
                continue;
            double t = da / (da - db);
            Point3 p{a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1]), a[2] + t * (b[2] - a[2])};
            cut.push_back({0, p});
        }
        if (cut.size() < 3)
            continue;
        // Around the cut's own centre, which lies inside it.
        Point3 m{0, 0, 0};
        for (const auto &c : cut)
            m = {m.x + c.second.x / cut.size(), m.y + c.second.y / cut.size(), m.z + c.second.z / cut.size()};
        for (auto &c : cut) {
            Point3 q{c.second.x - m.x, c.second.y - m.y, c.second.z - m.z};
            c.first = std::atan2(q.x * w[0] + q.y * w[1] + q.z * w[2], q.x * u[0] + q.y * u[1] + q.z * u[2]);
        }
        std::sort(cut.begin(), cut.end(), [](const auto &x, const auto &y) { return x.first < y.first; });
        Point3 v[6], t[6];
        int n = static_cast<int>(cut.size());
        for (int k = 0; k < n; ++k) {
            t[k] = {cut[k].second.x + 0.5, cut[k].second.y + 0.5, cut[k].second.z + 0.5};
            v[k] = {cut[k].second.x + shift, cut[k].second.y, cut[k].second.z};
        }
        if (reveal > 0 && s == stop - 1)
            nvqtexpoly3d(v, t, static_cast<float>(n), tex, 's', 1.0f);
        nvqtexpoly3d(v, t, static_cast<float>(n), tex, 's', alpha);
    }
}

// Texels of a phantom: nested shells of rising value and opacity, faint
// outside, in the viewer's grey ramp; and uniform random texels.
int phantomTexture(int n)
{
    return makeTexture(n, n, n, [n](int i, int j, int k, unsigned char *t) {
        double x = (i - (n - 1) / 2.0) / n, y = (j - (n - 1) / 2.0) / n, z = (k - (n - 1) / 2.0) / n;
        double r = std::sqrt(x * x + y * y + 0.6 * z * z);
        int v = r > 0.45 ? 0 : r > 0.38 ? 60 : r > 0.25 ? 120 + static_cast<int>(200 * x) : 230;
        v = std::clamp(v, 0, 255);
        t[0] = static_cast<unsigned char>(v);
        t[1] = static_cast<unsigned char>(std::clamp(v + 20, 0, 255));
        t[2] = static_cast<unsigned char>(255 - v);
        t[3] = static_cast<unsigned char>(v / 4);
    });
}

// Random texels inside a transparent rim (at the texture's faces the
// rasteriser's rounding of polygon outlines would otherwise decide which
// texels an outline pixel shows).
int randomTexture(int n, unsigned seed)
{
    return makeTexture(n, n, n, [&seed, n](int i, int j, int k, unsigned char *t) {
        for (int c = 0; c < 4; ++c) {
            seed = seed * 1103515245u + 12345u;
            t[c] = static_cast<unsigned char>(seed >> 16);
        }
        bool rim = i == 0 || j == 0 || k == 0 || i == n - 1 || j == n - 1 || k == n - 1;
        t[3] = rim ? 0 : t[3] / 3;
    });
}

} // namespace

namespace {

// The polygons one by one blended in floats: a framebuffer of float
// colours beside the test's own, read back rounded to bytes. The 8-bit
// framebuffer rounds at every blend, which hundreds of faint layers turn
// into bands; this is the image without them.
std::vector<uint8_t> floatReference()
{
    GLuint fb, col, dep;
    std::vector<uint8_t> out;
    if (Render::makeFramebuffer(GL_RGBA32F, fb, col, dep)) {
        vqtest::renderSetOnePass(false);
        vq::renderFrame(vq::scene(), W, H);
        vqtest::renderSetOnePass(true);
        glFinish();
        std::vector<float> f(W * H * 4);
        glReadPixels(0, 0, W, H, GL_RGBA, GL_FLOAT, f.data());
        out.resize(f.size());
        for (size_t i = 0; i < f.size(); ++i)
            out[i] = static_cast<uint8_t>(std::lround(std::clamp(f[i], 0.0f, 1.0f) * 255));
    }
    glDeleteFramebuffers(1, &fb);
    glDeleteRenderbuffers(1, &col);
    glDeleteRenderbuffers(1, &dep);
    return out;
}

// The one pass against the polygons one by one: within 2/255 of the
// float-blended polygons, or no farther than the 8-bit polygons are, but
// for isolated pixels; the 8-bit polygons differ from both
// by their banding alone (which `banding` collects, the larger of their
// distances to the float image, for the report).
::testing::AssertionResult sameAsPolygons(Render &t, const std::vector<uint8_t> &each, int *banding = nullptr)
{
    int stacks = vqtest::renderStacksDrawn();
    std::vector<uint8_t> reference = floatReference();
    if (reference.empty())
        return ::testing::AssertionFailure() << "no float framebuffer";
    glBindFramebuffer(GL_FRAMEBUFFER, t.framebuffer());
    Compare one = compareImages(reference, t.image());
    Compare eight = compareImages(reference, each);
    if (banding)
        *banding = std::max(*banding, eight.worst);
    // The pass finds each sample from the pixel's ray, the polygons
    // interpolate it from their corners: the last bits differ, which the
    // GL's 8-bit filter weights can turn into a few levels where texels
    // step sharply, at isolated pixels.
    // Off by more than 2 and more than the 8-bit polygons are there.
    int far = 0;
    for (size_t i = 0; i < reference.size(); i += 4)
        for (int c = 0; c < 3; ++c) {
            int d = std::abs(reference[i + c] - t.image()[i + c]), banded = std::abs(reference[i + c] - each[i + c]);
            if (d > std::max(2, banded)) {
                ++far;
                break;
            }
        }
    // Without a stack the frame is the polygons one by one.
    if (stacks == 0 && each != t.image())
        return ::testing::AssertionFailure() << "no stack drawn, yet the image changed";
    if (far <= 1 + one.drawn / 400 && one.worst <= std::max(8, eight.worst) && one.drawn > 200)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "one pass off the float image by up to " << one.worst << " ("
                                         << far << " of " << one.drawn << " pixels by more than 2 and the 8-bit polygons); 8-bit "
                                         << "polygons by up to " << eight.worst;
}

} // namespace

// The one pass gives the image the polygons give one by one, composited
// in floats, on a phantom and random texels, views from several sides,
// one brick and bricks of 5 texels, these nearest first (rays carrying on
// from the bricks in front) and farthest first (blended over).
TEST_F(Render, OnePassStacksMatchPolygonByPolygon)
{
    int phantom = phantomTexture(24), noise = randomTexture(13, 7);
    ASSERT_GE(phantom, 0);
    ASSERT_GE(noise, 0);
    const std::array<double, 3> eyes[] = {{0.4, 0.7, 2.2}, {-1.6, 0.3, -1.1}, {0.0, 0.0, 2.5}};
    int banding = 0;
    for (int tex : {phantom, noise})
        for (const auto &e : eyes)
            for (auto [texels, nearFirst] : {std::pair{0, true}, std::pair{5, true}, std::pair{5, false}}) {
                vqtest::renderSetNearFirstStacks(nearFirst);
                vqtest::renderSetBricks(texels);
                vq::scene().panels[0].staticList.texPolys.clear();
                viewStack(tex, 60, e, 0.6f);
                setCamera(e[0], e[1], e[2]);
                int eachStacks = -1, onePassStacks = -1;
                std::vector<uint8_t> each = drawEachThenOnePass(&eachStacks, &onePassStacks);
                EXPECT_EQ(eachStacks, 0);
                EXPECT_EQ(onePassStacks, 1);
                EXPECT_TRUE(sameAsPolygons(*this, each, &banding))
                    << "texture " << tex << " bricks " << texels << (nearFirst ? " near" : " far") << " first, eye "
                    << e[0];
            }
    std::printf("8-bit polygons off the float image by up to %d/255\n", banding);
    vqtest::renderSetBricks(0);
    vqtest::renderSetNearFirstStacks(true);
}

// Rays step over empty cells to the first plane past them, and no
// farther: thin walls of texels just inside the cells behind empty ones,
// and single texels in otherwise empty cells, show as the polygons show
// them, from oblique views (edge-on, a wall's rim is a line of pixels that
// sampling and rasterising round apart), one brick and bricks of 12.
TEST_F(Render, OnePassStacksSkipOnlyEmptyCells)
{
    // Opacity across a wall whose first texel is the first that samples in
    // its cell read (those of the cell before read up to its first texel).
    auto wall = [](int x, int first) {
        static const int profile[3] = {50, 70, 30};
        return x >= first && x < first + 3 ? profile[x - first] : 0;
    };
    int walls = makeTexture(33, 33, 33, [&wall](int i, int j, int k, unsigned char *t) {
        int a = std::max({wall(i, 9), wall(i, 17), wall(j, 25), wall(k, 17)});
        bool dot = (i == 4 && j == 4 && k == 28) || (i == 28 && j == 12 && k == 3);
        t[0] = static_cast<unsigned char>(40 + 6 * i);
        t[1] = static_cast<unsigned char>(250 - 7 * j);
        t[2] = static_cast<unsigned char>(30 + 6 * k);
        t[3] = static_cast<unsigned char>(dot ? 60 : a);
    });
    ASSERT_GE(walls, 0);
    const std::array<double, 3> eyes[] = {{2.3, 0.2, 0.1}, {-1.3, 1.1, -1.4}, {0.9, -1.7, 1.2}};
    for (const auto &e : eyes)
        for (int texels : {0, 12}) {
            vqtest::renderSetBricks(texels);
            vq::scene().panels[0].staticList.texPolys.clear();
            viewStack(walls, 97, e, 0.8f);
            setCamera(e[0], e[1], e[2]);
            int stacks = 0;
            std::vector<uint8_t> each = drawEachThenOnePass(nullptr, &stacks);
            EXPECT_GE(stacks, 1);
            EXPECT_TRUE(sameAsPolygons(*this, each)) << "bricks " << texels << ", eye " << e[0] << " " << e[1];
        }
    vqtest::renderSetBricks(0);
}

// The renderer's own resolve of a multisampled frame gives the GL's blit
// bit for bit, on antialiased lines over a volume, with 2, 4 and 8 samples
// asked for (the GL may give more).
TEST_F(Render, OwnResolveIsTheBlitsResolve)
{
    int tex = randomTexture(9, 3);
    ASSERT_GE(tex, 0);
    const std::array<double, 3> eye{0.9, 0.7, 2.1};
    viewStack(tex, 40, eye, 0.6f);
    vqscr(5, 1, 0.5f, 0.2f);
    vqsci(5);
    for (int k = 0; k < 7; ++k) {
        float xs[2] = {-0.47f, 0.43f}, ys[2] = {-0.41f + 0.13f * k, -0.2f + 0.11f * k}, zs[2] = {0.3f, -0.2f};
        vqline(2, xs, ys, zs);
    }
    setCamera(eye[0], eye[1], eye[2]);
    GLint most = 0;
    glGetIntegerv(GL_MAX_SAMPLES, &most);
    for (int samples : {2, 4, 8}) {
        if (samples > most)
            continue;
        GLuint ms = 0, frame = 0, depth = 0;
        glGenFramebuffers(1, &ms);
        glGenTextures(1, &frame);
        glGenRenderbuffers(1, &depth);
        glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, frame);
        glTexImage2DMultisample(GL_TEXTURE_2D_MULTISAMPLE, samples, GL_RGBA8, W, H, GL_TRUE);
        glBindRenderbuffer(GL_RENDERBUFFER, depth);
        glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_DEPTH_COMPONENT24, W, H);
        glBindFramebuffer(GL_FRAMEBUFFER, ms);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D_MULTISAMPLE, frame, 0);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
        ASSERT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE));
        vq::renderFrame(vq::scene(), W, H);
        auto read = [&]() {
            glBindFramebuffer(GL_FRAMEBUFFER, fbo);
            glFinish();
            std::vector<uint8_t> out(W * H * 4);
            glReadPixels(0, 0, W, H, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
            return out;
        };
        glBindFramebuffer(GL_READ_FRAMEBUFFER, ms);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, fbo);
        glBlitFramebuffer(0, 0, W, H, 0, 0, W, H, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        std::vector<uint8_t> blit = read();
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, fbo);
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
        ASSERT_TRUE(vq::renderResolve(frame, W, H));
        std::vector<uint8_t> own = read();
        // Edges must have given some pixels a mean of unlike samples.
        int mixed = 0;
        for (size_t i = 0; i < blit.size(); i += 4)
            mixed += blit[i] != 0 && blit[i] != 255 && blit[i + 1] != blit[i];
        EXPECT_GT(mixed, 50) << samples;
        EXPECT_TRUE(own == blit) << samples << " samples";
        glDeleteFramebuffers(1, &ms);
        glDeleteTextures(1, &frame);
        glDeleteRenderbuffers(1, &depth);
    }
}

// In a multisampled frame an opaque edge covers some of a pixel's samples:
// each sample's ray must stop at its own depth. Lines on the stack's front
// face (as the box's edges lie on a volume's faces) would be covered by the
// whole volume wherever a ray missed their depth; compared here with the
// polygons one by one, whose depth test is per sample.
TEST_F(Render, OnePassStacksStopAtEachSamplesDepth)
{
    GLuint ms = 0, msColour = 0, msDepth = 0;
    glGenFramebuffers(1, &ms);
    glGenRenderbuffers(1, &msColour);
    glGenRenderbuffers(1, &msDepth);
    glBindRenderbuffer(GL_RENDERBUFFER, msColour);
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, 4, GL_RGBA8, W, H);
    glBindRenderbuffer(GL_RENDERBUFFER, msDepth);
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, 4, GL_DEPTH_COMPONENT24, W, H);
    glBindFramebuffer(GL_FRAMEBUFFER, ms);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, msColour);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, msDepth);
    ASSERT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE));
    auto drawResolved = [&]() {
        glBindFramebuffer(GL_FRAMEBUFFER, ms);
        vq::renderFrame(vq::scene(), W, H);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, ms);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, fbo);
        glBlitFramebuffer(0, 0, W, H, 0, 0, W, H, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        glFinish();
        std::vector<uint8_t> out(W * H * 4);
        glReadPixels(0, 0, W, H, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
        return out;
    };
    // A dense blue volume and white lines just inside its front: where a
    // ray ran past a line's samples, the line would turn blue.
    int tex = svqc3dt(8, 8, 8);
    int w = 0, h = 0, d = 0;
    unsigned char *t = svqg3dt(tex, &w, &h, &d);
    ASSERT_NE(t, nullptr);
    for (int i = 0; i < 8 * 8 * 8; ++i)
        t[4 * i] = 0, t[4 * i + 1] = 40, t[4 * i + 2] = 220, t[4 * i + 3] = 160;
    svqpt(tex);
    const std::array<double, 3> eye{0.9, 0.7, 2.1};
    viewStack(tex, 60, eye, 0.6f);
    vqscr(5, 1, 1, 1);
    vqsci(5);
    for (int k = 0; k < 5; ++k) {
        float xs[2] = {-0.45f, 0.45f}, ys[2] = {-0.4f + 0.17f * k, -0.3f + 0.19f * k}, zs[2] = {0.499f, 0.499f};
        vqline(2, xs, ys, zs);
    }
    setCamera(eye[0], eye[1], eye[2]);
    vqtest::renderSetOnePass(false);
    std::vector<uint8_t> each = drawResolved();
    vqtest::renderSetOnePass(true);
    std::vector<uint8_t> one = drawResolved();
    EXPECT_EQ(vqtest::renderStacksDrawn(), 1);
    // Red comes from the lines alone. A pixel where they show clearly one
    // by one must not lose most of its red in the one pass.
    int lines = 0, lost = 0;
    for (size_t i = 0; i < one.size(); i += 4)
        if (each[i] >= 96) {
            ++lines;
            lost += 2 * one[i] < each[i] ? 1 : 0;
        }
    EXPECT_GT(lines, 100);
    EXPECT_EQ(lost, 0) << "of " << lines << " line pixels";
    glDeleteRenderbuffers(1, &msColour);
    glDeleteRenderbuffers(1, &msDepth);
    glDeleteFramebuffers(1, &ms);
}

// Whatever breaks a stack draws the polygons around it as before: a
// transparent facet between the planes (two stacks, one each side), the
// reveal's front polygon at alpha 1, two textures whose polygons
// interleave, polygons that cover only part of their planes (no stack);
// and opaque things inside and around a stack hide what lies behind them.
TEST_F(Render, OnePassStacksBreakWhereTheDrawingDoes)
{
    int phantom = phantomTexture(20), noise = randomTexture(11, 3);
    ASSERT_GE(phantom, 0);
    ASSERT_GE(noise, 0);
    const std::array<double, 3> eye{0.5, 0.6, 2.3};
    struct Case {
        const char *what;
        int stacks;
        void (*build)(int, int, const std::array<double, 3> &);
    };
    const Case cases[] = {
        {"facet inside", 2,
         [](int a, int, const std::array<double, 3> &e) {
             viewStack(a, 40, e, 0.6f);
             square(0.2, 0.05, {1, 0.2, 0.1}, 0.5f);
         }},
        {"reveal", 1, [](int a, int, const std::array<double, 3> &e) { viewStack(a, 40, e, 0.6f, 12); }},
        {"two textures", -1,
         [](int a, int b, const std::array<double, 3> &e) {
             viewStack(a, 30, e, 0.6f, 0, -0.3);
             viewStack(b, 30, e, 0.6f, 0, 0.3);
         }},
        {"opaque inside, box around", 1,
         [](int a, int, const std::array<double, 3> &e) {
             viewStack(a, 40, e, 0.6f);
             square(0.15, 0.0, {0.2, 1, 0.2});
             vqbox("BCDET", 0, 0, "BCDET", 0, 0, "BCDET", 0, 0);
         }},
        {"part of the planes", 0,
         [](int a, int, const std::array<double, 3> &) {
             for (int s = 0; s < 12; ++s) {
                 double z = 0.05 + s * 0.07;
                 Point3 t[4] = {{0, 0, z}, {0.5, 0, z}, {0.5, 1, z}, {0, 1, z}};
                 Point3 v[4];
                 for (int c = 0; c < 4; ++c)
                     v[c] = {t[c].x - 0.5, t[c].y - 0.5, t[c].z - 0.5};
                 nvqtexpoly3d(v, t, 4, a, 's', 0.6f);
             }
         }},
    };
    flatLight();
    for (const Case &c : cases)
        for (int texels : {0, 6}) {
            vqtest::renderSetBricks(texels);
            vq::PrimList &l = vq::scene().panels[0].staticList;
            l.texPolys.clear();
            l.facets.clear();
            c.build(phantom, noise, eye);
            setCamera(eye[0], eye[1], eye[2]);
            int stacks = 0;
            std::vector<uint8_t> each = drawEachThenOnePass(nullptr, &stacks);
            if (c.stacks >= 0) {
                EXPECT_EQ(stacks, c.stacks) << c.what;
            }
            EXPECT_TRUE(sameAsPolygons(*this, each)) << c.what << ", bricks of " << texels;
        }
    vqtest::renderSetBricks(0);
}

// ---- Coarse frames (the window's level of detail while dragging) ----------

// A frame drawn at half the pixels and spread over the window keeps lines
// and points at their widths in the window's pixels.
TEST_F(Render, CoarseFramesKeepLineAndPointWidths)
{
    nvqvthcline({-0.8, 0.3, 0}, {0.8, 0.3, 0}, {1, 0, 0}, {1, 0, 0}, 6);
    vqscr(3, 1, 1, 1);
    vqsci(3);
    vqslw(8);
    float x = 0, y = -0.4f, z = 0;
    vqpt(1, &x, &y, &z, 1);
    auto lineRows = [this]() {
        int rows = 0;
        for (int yy = 0; yy < H; ++yy)
            rows += at(W / 2, yy).r > 100 && at(W / 2, yy).g < 100;
        return rows;
    };
    draw();
    int fullRows = lineRows(), fullDisc = count(255, 255, 255, 60);
    for (double factor : {2.0, 4.0}) {
        drawCoarse(factor, 1);
        // Scaled up with bilinear filtering, an edge may gain a pixel on
        // each side; drawn at the reduced size's own widths, the line would
        // be `factor` times as wide and the disc factor^2 times as large.
        EXPECT_NEAR(lineRows(), fullRows, 2 + factor / 2) << factor;
        int disc = count(255, 255, 255, 100);
        EXPECT_GT(disc, fullDisc / 2) << factor;
        EXPECT_LT(disc, fullDisc * 2) << factor;
    }
}

// Sampling every stride-th slice or plane, each sample's opacity stands
// for the planes it skips: a uniform volume composites to the same colour
// as with every plane, in slice sets and in one-pass stacks.
TEST_F(Render, CoarseStrideStandsForThePlanesItSkips)
{
    Grid g(8, 8, 16, 1.0f);
    int id = addVolume(g, 0, 0.5f, 0, 0.1f);
    for (int ci = 0; ci < 256; ++ci)
        vqscr(ci, 0, 0, 0);
    vqscr(255, 1, 1, 1);
    vqscir(0, 255);
    setCamera(0, 0, 2.5);
    dvqdvrx(id, 0, 3, 0, 0);
    draw();
    Pixel full = at(W / 2, H / 2);
    // Sixteen slices of opacity 0.1 over black.
    int want = static_cast<int>(std::lround(255 * (1 - std::pow(0.9, 16))));
    EXPECT_TRUE(near(full, want, want, want, 4));
    for (int stride : {2, 4}) {
        drawCoarse(1, stride);
        EXPECT_TRUE(near(at(W / 2, H / 2), full.r, full.g, full.b, 3)) << "slices, stride " << stride;
    }

    openScene();
    int tex = makeTexture(8, 8, 8, [](int, int, int, unsigned char *t) {
        t[0] = 255, t[1] = 128, t[2] = 0, t[3] = 255;
    });
    ASSERT_GE(tex, 0);
    for (int s = 0; s < 40; ++s)
        obliqueQuad(tex, 0.0125 + s * 0.0244, 0.0, 0.05f);
    setCamera(0, 0, 2.5);
    draw();
    ASSERT_EQ(vqtest::renderStacksDrawn(), 1);
    full = at(W / 2, H / 2);
    EXPECT_GT(full.r, 100);
    for (int stride : {2, 4}) {
        drawCoarse(1, stride);
        EXPECT_EQ(vqtest::renderStacksDrawn(), 1);
        EXPECT_TRUE(near(at(W / 2, H / 2), full.r, full.g, full.b, 3)) << "stack, stride " << stride;
    }
}

// ---- Slice sets in one pass --------------------------------------------------

namespace {

// A grid of n^3 values from f(i, j, k), as a volume over the world box
// -0.5..0.5 with a colour range 0..255 of hue rising with the value.
struct SliceVolume {
    Grid g;
    int id = -1;
    template <class F> SliceVolume(int n, float amin, float amax, F f) : g(n, n, n, 0)
    {
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j)
                for (int k = 0; k < n; ++k)
                    g.at(i, j, k) = f(i, j, k);
        id = addVolume(g, 0.05f, 0.95f, amin, amax);
        for (int ci = 0; ci < 256; ++ci)
            vqscr(ci, ci / 255.0f, 0.3f + 0.5f * std::sin(ci / 40.0f) * std::sin(ci / 40.0f),
                  1 - ci / 255.0f);
        vqscir(0, 255);
    }
    // The slice set along the axis the eye looks most along.
    void show(const std::array<double, 3> &eye)
    {
        vq::scene().panels[0].staticList.volumes.clear();
        int axis = 1;
        for (int a = 1; a < 3; ++a)
            if (std::fabs(eye[a]) > std::fabs(eye[axis - 1]))
                axis = a + 1;
        dvqdvrx(id, 0, axis, 0, 0);
    }
};

// Nested shells whose values step over about a voxel (where values step
// sharply from one voxel to the next, a ray's sample and a slice's
// interpolated one, a bit apart, differ by much at isolated pixels).
float phantomValue(int n, int i, int j, int k)
{
    double x = (i - (n - 1) / 2.0) / n, y = (j - (n - 1) / 2.0) / n, z = (k - (n - 1) / 2.0) / n;
    double r = std::sqrt(x * x + y * y + 0.6 * z * z);
    auto step = [n, r](double at) { return std::clamp((at - r) * n + 0.5, 0.0, 1.0); };
    double v = 0.3 * step(0.45) + (0.2 + 0.8 * x) * step(0.38) + (0.4 - 0.8 * x) * step(0.25);
    return static_cast<float>(v);
}

float randomValue(unsigned &seed)
{
    seed = seed * 1103515245u + 12345u;
    return static_cast<float>((seed >> 16) & 0xffff) / 65535.0f;
}

} // namespace

// A slice set drawn in one pass gives the image its slices give one by
// one, composited in floats: a phantom, random values, and a dense body
// whose rays turn opaque within a few slices (and stop there), from three
// sides, one brick and bricks of 5 voxels, nearest and farthest first.
TEST_F(Render, SliceSetsInOnePassMatchSliceBySlice)
{
    const int n = 20;
    unsigned seed = 11;
    const std::array<double, 3> eyes[] = {{0.4, 0.7, 2.2}, {-2.0, 0.3, -1.1}, {0.3, -2.4, 0.5}};
    int banding = 0;
    for (int kind = 0; kind < 3; ++kind) {
        openScene();
        auto value = [&](int i, int j, int k) {
            // Inside a rim of empty voxels (at the box's faces the
            // rasteriser's rounding of slice outlines decides what an
            // outline pixel shows).
            bool rim = i == 0 || j == 0 || k == 0 || i == n - 1 || j == n - 1 || k == n - 1;
            if (kind == 0)
                return rim ? 0.0f : phantomValue(n, i, j, k);
            if (kind == 1)
                return rim ? 0.0f : randomValue(seed);
            // Dense: everything in a ball is 0.3 .. 0.9, opaque in a few slices.
            double x = i - (n - 1) / 2.0, y = j - (n - 1) / 2.0, z = k - (n - 1) / 2.0;
            return x * x + y * y + z * z > 0.2 * n * n ? 0.0f : 0.3f + 0.6f * randomValue(seed);
        };
        SliceVolume vol(n, 0, kind == 2 ? 0.9f : 0.3f, value);
        ASSERT_GE(vol.id, 0);
        for (const auto &e : eyes)
            for (auto [texels, nearFirst] : {std::pair{0, true}, std::pair{5, true}, std::pair{5, false}}) {
                vqtest::renderSetNearFirstStacks(nearFirst);
                vqtest::renderSetBricks(texels);
                vol.show(e);
                setCamera(e[0], e[1], e[2]);
                int eachStacks = -1, onePassStacks = -1;
                std::vector<uint8_t> each = drawEachThenOnePass(&eachStacks, &onePassStacks);
                EXPECT_EQ(eachStacks, 0);
                EXPECT_EQ(onePassStacks, 1);
                EXPECT_TRUE(sameAsPolygons(*this, each, &banding))
                    << "kind " << kind << " bricks " << texels << (nearFirst ? " near" : " far")
                    << " first, eye " << e[0] << "," << e[1] << "," << e[2];
            }
    }
    std::printf("8-bit slices off the float image by up to %d/255\n", banding);
    vqtest::renderSetBricks(0);
    vqtest::renderSetNearFirstStacks(true);
}

// Rays stop only once nothing behind can show: the near half of a volume
// is faint and nearly opaque only as a whole, the far half bright red; a
// ray stopped early would lose the red that shines through.
TEST_F(Render, SliceSetRaysDoNotStopBeforeTheFarHalf)
{
    const int n = 24;
    for (int c = 0; c < 255; ++c)
        vqscr(c, 0.1f, 0.1f, 0.2f);
    vqscr(255, 1, 0, 0);
    vqscir(0, 255);
    // Along z: near half (k high, eye on +z) 0.5, far half above dmax.
    Grid g(n, n, n, 0);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            for (int k = 0; k < n; ++k)
                g.at(i, j, k) = k >= n / 2 ? 0.5f : 1.0f;
    int id = addVolume(g, 0, 0.9f, 0.3f, 0.3f);
    ASSERT_GE(id, 0);
    dvqdvrx(id, 0, 3, 0, 0);
    setCamera(0.1, 0.2, 2.4);
    int stacks = 0;
    std::vector<uint8_t> each = drawEachThenOnePass(nullptr, &stacks);
    EXPECT_EQ(stacks, 1);
    EXPECT_TRUE(sameAsPolygons(*this, each));
    // Twelve near slices of 0.3 leave 0.7^12 = 1.4% for the far half's red:
    // 3 to 4 levels, which a ray stopped at the near half would not show.
    Pixel p = at(W / 2, H / 2);
    int redFromBehind = static_cast<int>(std::lround(255 * std::pow(0.7, 12)));
    EXPECT_GE(redFromBehind, 3);
    double nearPart = 0.1 * 255 * (1 - std::pow(0.7, 12));
    EXPECT_NEAR(p.r, nearPart + redFromBehind, 1.5);
    EXPECT_GT(p.r - p.g, redFromBehind - 2);
}

// Transparent facets inside a volume keep their place among its slices:
// the pass stops at them and carries on behind, as slice by slice; opaque
// lines and facets inside end the rays at their depth; key B's three
// slice sets at once (all-slice-sets mode) draw as before.
TEST_F(Render, SliceSetsInOnePassKeepFacetsInOrder)
{
    flatLight();
    const int n = 16;
    unsigned seed = 5;
    SliceVolume vol(n, 0, 0.4f, [&](int i, int j, int k) {
        bool rim = i == 0 || j == 0 || k == 0 || i == n - 1 || j == n - 1 || k == n - 1;
        return rim ? 0.0f : 0.2f + 0.7f * randomValue(seed);
    });
    ASSERT_GE(vol.id, 0);
    const std::array<double, 3> eye{0.3, 0.4, 2.3};
    vol.show(eye);
    square(0.3, 0.1, {1, 0, 0}, 0.5f);
    square(0.2, -0.2, {0, 1, 0}, 0.6f);
    setCamera(eye[0], eye[1], eye[2]);
    int stacks = 0;
    std::vector<uint8_t> each = drawEachThenOnePass(nullptr, &stacks);
    EXPECT_GE(stacks, 2);
    EXPECT_TRUE(sameAsPolygons(*this, each));
    // Opaque things inside hide what lies behind them: a track's thick
    // line across the volume and an opaque facet half inside it.
    nvqvthcline({-0.4, -0.1, 0.05}, {0.4, 0.2, -0.3}, {1, 1, 0}, {0, 1, 1}, 3);
    Point3 tri[3] = {{-0.45, 0.45, 0.3}, {-0.1, 0.45, -0.3}, {-0.45, 0.1, -0.1}};
    nvqvf3(tri, {0.2, 0.4, 1});
    each = drawEachThenOnePass(nullptr, &stacks);
    EXPECT_GE(stacks, 2);
    EXPECT_TRUE(sameAsPolygons(*this, each));
    // All three sets: their slices interleave, and what the pass cannot
    // take stays slice by slice.
    dvqdvrx(vol.id, 0, 1, 1, 0);
    dvqdvrx(vol.id, 0, 2, 1, 0);
    each = drawEachThenOnePass(nullptr, &stacks);
    EXPECT_TRUE(sameAsPolygons(*this, each));
}

// Rays stop once nothing behind can change their pixel by more than 1/255:
// dense volumes whose rays turn opaque early, as slice sets and as -3d
// stacks, one brick and bricks of 6, nearest and farthest first, differ
// from rays that never stop by at most one level in any channel.
TEST_F(Render, RaysStopWithinOneLevel)
{
    const int n = 24;
    unsigned seed = 3;
    auto dense = [&](int i, int j, int k) {
        double x = i - (n - 1) / 2.0, y = j - (n - 1) / 2.0, z = k - (n - 1) / 2.0;
        return x * x + y * y + z * z > 0.22 * n * n ? 0.0f : 0.45f + 0.5f * randomValue(seed);
    };
    SliceVolume vol(n, 0, 0.5f, dense);
    ASSERT_GE(vol.id, 0);
    int tex = makeTexture(n, n, n, [&](int i, int j, int k, unsigned char *t) {
        float v = dense(i, j, k);
        t[0] = static_cast<unsigned char>(255 * v);
        t[1] = static_cast<unsigned char>(255 * (1 - v));
        t[2] = 200;
        t[3] = static_cast<unsigned char>(120 * v);
    });
    ASSERT_GE(tex, 0);
    const std::array<double, 3> eyes[] = {{0.4, 0.7, 2.2}, {-2.0, 0.3, -1.1}};
    int worst = 0;
    for (int mode = 0; mode < 2; ++mode)
        for (const auto &e : eyes)
            for (auto [texels, nearFirst] : {std::pair{0, true}, std::pair{6, true}, std::pair{6, false}}) {
                vqtest::renderSetNearFirstStacks(nearFirst);
                vqtest::renderSetBricks(texels);
                vq::scene().panels[0].staticList.texPolys.clear();
                vq::scene().panels[0].staticList.volumes.clear();
                if (mode == 0)
                    vol.show(e);
                else
                    viewStack(tex, 50, e, 0.6f);
                setCamera(e[0], e[1], e[2]);
                vqtest::renderSetRayStop(2.0f);
                draw();
                ASSERT_EQ(vqtest::renderStacksDrawn(), 1);
                std::vector<uint8_t> whole = pixels;
                vqtest::renderSetRayStop(1.0f - 1.0f / 255.0f);
                draw();
                Compare c = compareImages(whole, pixels);
                EXPECT_LE(c.worst, 1) << (mode ? "-3d" : "slices") << " bricks " << texels << " eye " << e[0];
                EXPECT_GT(c.drawn, 500);
                worst = std::max(worst, c.worst);
            }
    std::printf("rays stopped at 1 - 1/255 differ from whole rays by up to %d/255\n", worst);
    vqtest::renderSetBricks(0);
    vqtest::renderSetNearFirstStacks(true);
}
