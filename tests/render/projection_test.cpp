// Projections by pixels: the largest, smallest and mean value along each
// ray, in slice sets and in one-pass stacks, against references worked out
// here from the voxels; and data ranges that change without sending the
// voxels again.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
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

class Projection : public rendertest::RenderFixture {
  protected:
    void SetUp() override
    {
        RenderFixture::SetUp();
        if (HasFatalFailure())
            return;
        vqtest::renderSetBricks(0);
        // Entry e of the colour range 0..255 is (e, 255 - e, 40) in bytes.
        for (int e = 0; e < 256; ++e)
            vqscr(e, e / 255.0f, (255 - e) / 255.0f, 40 / 255.0f);
        vqscir(0, 255);
    }

    void TearDown() override { vqtest::renderSetBricks(0); }

    // A new renderer with bricks of at most `bricks` texels a side (0: the
    // shipped size) over a fresh scene.
    void freshRenderer(int bricks)
    {
        vq::renderShutdown();
        ASSERT_TRUE(vq::renderInit());
        vqtest::renderSetBricks(bricks);
        openScene();
    }
};

// The colour of range entry e, in bytes.
::testing::AssertionResult isEntry(Pixel p, int e, int tol = 3)
{
    return near(p, e, 255 - e, 40, tol);
}

// The entry a value 0..1 picks on the range 0..1, as the slices pick it.
int entryOf(double value)
{
    return std::min(255, static_cast<int>(value * 255));
}

void drawSets(int id)
{
    for (int axis = 1; axis <= 3; ++axis)
        dvqdvrx(id, 0, axis, 0, 0);
}

// Two balls of different values along the view axis: the brighter one's
// colour shows at full strength however faint the opacity ramp.
TEST_F(Projection, MaximumShowsTheBrighterSlabAtFullStrength)
{
    Grid g(8, 8, 16, 0);
    g.slab(2, 4, 0.8f);   // far
    g.slab(11, 13, 0.4f); // near
    int id = addVolume(g, 0, 1, 0, 0.05f);
    drawSets(id);
    draw();
    Pixel composite = at(W / 2, H / 2);
    EXPECT_LT(composite.r, 100) << "a faint ramp composites to a dim picture";
    svqvbm(id, vq::kBlendMaximum);
    draw();
    EXPECT_TRUE(isEntry(at(W / 2, H / 2), entryOf(0.8)));
    // Outside the box nothing.
    EXPECT_TRUE(near(at(1, 1), 0, 0, 0));
    // The order along the ray does not matter.
    g.slab(2, 4, 0.4f);
    g.slab(11, 13, 0.8f);
    vq::scene().volumes[id].version++;
    draw();
    EXPECT_TRUE(isEntry(at(W / 2, H / 2), entryOf(0.8)));
}

TEST_F(Projection, MaximumBelowTheDataMinimumShowsNothing)
{
    Grid g(8, 8, 16, 0.1f);
    for (int i = 4; i < 8; ++i)
        for (int j = 0; j < 8; ++j)
            for (int k = 0; k < 16; ++k)
                g.at(i, j, k) = 0.9f;
    int id = addVolume(g, 0.5f, 1, 0, 0.05f);
    svqvbm(id, vq::kBlendMaximum);
    svqsbc(0, 0, 0.5f);
    drawSets(id);
    draw();
    EXPECT_TRUE(near(at(W / 2 - 5, H / 2), 0, 0, 128));
    // (0.9 - 0.5) / 0.5 of the way along the range.
    EXPECT_TRUE(isEntry(at(W / 2 + 5, H / 2), entryOf(0.8), 4));
}

TEST_F(Projection, MinimumIsTheSmallestAlongTheRay)
{
    Grid g(8, 8, 16, 0.6f);
    g.slab(3, 5, 0.3f);
    // The left half has a lower slab nearer.
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 8; ++j)
            for (int k = 10; k <= 12; ++k)
                g.at(i, j, k) = 0.1f;
    int id = addVolume(g, 0, 1, 0, 0.05f);
    svqvbm(id, vq::kBlendMinimum);
    drawSets(id);
    draw();
    EXPECT_TRUE(isEntry(at(W / 2 + 5, H / 2), entryOf(0.3)));
    EXPECT_TRUE(isEntry(at(W / 2 - 5, H / 2), entryOf(0.1)));
}

TEST_F(Projection, MeanIsTheAverageOfTheSlicesAlongTheRay)
{
    Grid g(8, 8, 16, 0);
    // A column of rising values: each slice along z samples one plane.
    double sum = 0;
    for (int k = 0; k < 16; ++k) {
        float v = static_cast<float>(k * k) / 300.0f;
        g.slab(k, k, v);
        sum += v;
    }
    int id = addVolume(g, 0, 1, 0, 0.05f);
    svqvbm(id, vq::kBlendMean);
    drawSets(id);
    draw();
    EXPECT_TRUE(isEntry(at(W / 2, H / 2), entryOf(sum / 16), 4));
}

TEST_F(Projection, MinimumAndMeanCountVoxelsBelowTheRangeAsItsBottom)
{
    // With dmin above the background the bricks of background are left
    // out; their samples still count as the range's bottom.
    vqtest::renderSetBricks(4);
    Grid g(8, 8, 16, 0.1f);
    g.slab(0, 7, 0.9f);
    int id = addVolume(g, 0.5f, 1, 0, 0.05f);
    svqvbm(id, vq::kBlendMinimum);
    drawSets(id);
    draw();
    EXPECT_TRUE(isEntry(at(W / 2, H / 2), 0));
    svqvbm(id, vq::kBlendMean);
    draw();
    // Half the slices at 0.9 (0.8 of the range), half at the bottom; the
    // shared plane between the halves lies at 0.5 of the way.
    double mean = (8 * 0.8 + 0) / 16;
    EXPECT_TRUE(isEntry(at(W / 2, H / 2), entryOf(mean), 10));
}

TEST_F(Projection, OpaqueSurfacesStopTheRays)
{
    Grid g(8, 8, 16, 0);
    g.slab(2, 4, 0.8f);   // far: behind the facet on the left
    g.slab(11, 13, 0.4f); // near
    int id = addVolume(g, 0, 1, 0, 0.05f);
    svqvbm(id, vq::kBlendMaximum);
    drawSets(id);
    // An opaque white facet across the left half, between the slabs.
    Point3 a[3] = {{-0.9, -0.9, 0}, {0, -0.9, 0}, {0, 0.9, 0}};
    Point3 b[3] = {{-0.9, -0.9, 0}, {0, 0.9, 0}, {-0.9, 0.9, 0}};
    nvqvf3(a, {1, 1, 1});
    nvqvf3(b, {1, 1, 1});
    draw();
    EXPECT_TRUE(isEntry(at(W / 2 - 8, H / 2), entryOf(0.4)));
    EXPECT_TRUE(isEntry(at(W / 2 + 8, H / 2), entryOf(0.8)));
}

TEST_F(Projection, CompositeIsTheDefaultPicture)
{
    Grid g(8, 8, 16, 0);
    g.slab(2, 4, 0.8f);
    g.slab(11, 13, 0.4f);
    int id = addVolume(g, 0, 1, 0, 0.3f);
    drawSets(id);
    draw();
    std::vector<uint8_t> before = pixels;
    svqvbm(id, vq::kBlendMaximum);
    draw();
    EXPECT_NE(before, pixels);
    svqvbm(id, vq::kBlendComposite);
    draw();
    EXPECT_EQ(before, pixels);
}

TEST_F(Projection, RangesChangeWithoutSendingTheVoxelsAgain)
{
    Grid g(8, 8, 16, 0);
    g.slab(2, 13, 0.6f);
    int id = addVolume(g, 0.05f, 1, 1, 1);
    drawSets(id);
    draw();
    long sent = vq::scene().voxelUploads;
    EXPECT_EQ(sent, 1);
    EXPECT_TRUE(isEntry(at(W / 2, H / 2), entryOf((0.6 - 0.05) / 0.95)));
    // A narrower window: 0.6 is half way from 0.5 to 0.7.
    svqvr(id, 0.5f, 0.7f, 1, 1);
    draw();
    EXPECT_TRUE(isEntry(at(W / 2, H / 2), entryOf(0.5), 4));
    EXPECT_EQ(vq::scene().voxelUploads, sent);
    // Opacity and projection are uniforms and the lookup too.
    svqvr(id, 0.5f, 0.7f, 0, 0.02f);
    svqvbm(id, vq::kBlendMaximum);
    draw();
    EXPECT_TRUE(isEntry(at(W / 2, H / 2), entryOf(0.5), 4));
    EXPECT_EQ(vq::scene().voxelUploads, sent);
    // Above everything: nothing shows, still nothing sent.
    svqvr(id, 0.8f, 0.9f, 1, 1);
    svqvbm(id, vq::kBlendComposite);
    draw();
    EXPECT_TRUE(near(at(W / 2, H / 2), 0, 0, 0));
    EXPECT_EQ(vq::scene().voxelUploads, sent);
    // Below the range the bricks were sent for: the left-out ones now show.
    svqvr(id, -0.1f, 1, 1, 1);
    draw();
    EXPECT_GT(vq::scene().voxelUploads, sent);
}

// ---- Stacks of a 3-D texture --------------------------------------------

// Texels along z with the value of plane k from value(k): colour range
// entry round(255 v), opacity rising with it (0.25 v).
template <class F> int slabTexture(int n, int nz, F value)
{
    int tex = svqc3dt(n, n, nz);
    int w, h, d;
    unsigned char *t = svqg3dt(tex, &w, &h, &d);
    for (int k = 0; k < nz; ++k)
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                unsigned char *p = t + 4 * (i + static_cast<size_t>(n) * (j + static_cast<size_t>(n) * k));
                double v = value(i, k);
                int e = static_cast<int>(std::lround(255 * v));
                p[0] = static_cast<unsigned char>(e);
                p[1] = static_cast<unsigned char>(255 - e);
                p[2] = 40;
                p[3] = static_cast<unsigned char>(std::lround(255 * 0.25 * v));
            }
    svqpt(tex);
    return tex;
}

// Planes across z through the box -0.5..0.5, far to near, one per texel
// plane, as the viewer's slicing draws a view along z.
void zStack(int tex, int nz)
{
    for (int k = 0; k < nz; ++k) {
        double tz = static_cast<double>(k) / (nz - 1), z = tz - 0.5;
        Point3 v[4] = {{-0.5, -0.5, z}, {0.5, -0.5, z}, {0.5, 0.5, z}, {-0.5, 0.5, z}};
        Point3 t[4] = {{0, 0, tz}, {1, 0, tz}, {1, 1, tz}, {0, 1, tz}};
        nvqtexpoly3d(v, t, 4, tex, 's', 0.6f);
    }
}

// Values of a 16 x 16 x 24 volume at (i, k): left half 0.3 near, 0.9 far;
// right half 0.5 throughout a thick slab.
double twoSlabs(int i, int k)
{
    if (i < 8)
        return k >= 3 && k <= 6 ? 0.9 : k >= 16 && k <= 19 ? 0.3 : 0.0;
    return k >= 8 && k <= 15 ? 0.5 : 0.0;
}

TEST_F(Projection, StacksProjectTheirTexelsInOneBrickOrMany)
{
    const int n = 16, nz = 24;
    const auto value = twoSlabs;
    for (int bricks : {0, 9}) {
        SCOPED_TRACE(bricks);
        freshRenderer(bricks);
        if (HasFatalFailure())
            return;
        int tex = slabTexture(n, nz, value);
        zStack(tex, nz);
        svqtbm(tex, vq::kBlendMaximum);
        draw();
        ASSERT_EQ(vqtest::renderStacksDrawn(), 1);
        EXPECT_TRUE(isEntry(at(W / 2 - 4, H / 2), 230));
        EXPECT_TRUE(isEntry(at(W / 2 + 4, H / 2), 128));
        svqtbm(tex, vq::kBlendMinimum);
        draw();
        // Each ray crosses the empty planes too.
        EXPECT_TRUE(isEntry(at(W / 2 - 4, H / 2), 0));
        EXPECT_TRUE(isEntry(at(W / 2 + 4, H / 2), 0));
        svqtbm(tex, vq::kBlendMean);
        draw();
        // The mean of the planes' colours: left 4 x 230 + 4 x 77 of 24.
        int left = static_cast<int>(std::lround((4 * 230 + 4 * 77) / 24.0));
        int right = static_cast<int>(std::lround(8 * 128 / 24.0));
        EXPECT_TRUE(near(at(W / 2 - 4, H / 2), left, 255 - left, 40, 6));
        EXPECT_TRUE(near(at(W / 2 + 4, H / 2), right, 255 - right, 40, 6));
        EXPECT_EQ(vq::scene().voxelUploads, 1) << "blend changes send nothing";
    }
}

TEST_F(Projection, StacksDrawnFromValuesFollowRangeAndColoursWithNoNewTexels)
{
    const int n = 16, nz = 24;
    const auto value = twoSlabs;
    Grid g(n, n, nz, 0);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            for (int k = 0; k < nz; ++k)
                g.at(i, j, k) = static_cast<float>(value(i, k));
    // The same ramp as the texels': opacity 0.25 at the range's top.
    int vol = addVolume(g, 0, 1, 0, 0.25f);
    int tex = slabTexture(n, nz, value);
    zStack(tex, nz);
    draw();
    std::vector<uint8_t> fromTexels = pixels;
    Pixel left = at(W / 2 - 4, H / 2), right = at(W / 2 + 4, H / 2);
    ASSERT_GT(left.r + right.r, 0);

    svqtvr(tex, vol, 0, 255);
    draw();
    ASSERT_EQ(vqtest::renderStacksDrawn(), 1);
    // The values through the colour range make the picture the texels do.
    EXPECT_TRUE(near(at(W / 2 - 4, H / 2), left.r, left.g, left.b, 6));
    EXPECT_TRUE(near(at(W / 2 + 4, H / 2), right.r, right.g, right.b, 6));
    int sent = vq::scene().voxelUploads;

    svqtbm(tex, vq::kBlendMaximum);
    draw();
    EXPECT_TRUE(isEntry(at(W / 2 - 4, H / 2), entryOf(0.9)));
    EXPECT_TRUE(isEntry(at(W / 2 + 4, H / 2), entryOf(0.5)));
    // A narrower window: 0.5 now three quarters up, 0.9 past the top.
    svqvr(vol, 0.2f, 0.6f, 0, 0.25f);
    draw();
    EXPECT_TRUE(isEntry(at(W / 2 - 4, H / 2), 255));
    EXPECT_TRUE(isEntry(at(W / 2 + 4, H / 2), entryOf(0.75)));
    // Above both: nothing shows.
    svqvr(vol, 0.95f, 1, 0, 0.25f);
    draw();
    EXPECT_TRUE(near(at(W / 2 - 4, H / 2), 0, 0, 0));
    EXPECT_TRUE(near(at(W / 2 + 4, H / 2), 0, 0, 0));
    // A new colour map shows at once.
    svqvr(vol, 0, 1, 0, 0.25f);
    for (int e = 0; e < 256; ++e)
        vqscr(e, 1, 1, 1);
    draw();
    EXPECT_TRUE(near(at(W / 2 + 4, H / 2), 255, 255, 255));
    EXPECT_EQ(vq::scene().voxelUploads, sent) << "ranges and colours send no voxels";

    // Back to the texels: their picture, pixel for pixel.
    svqtbm(tex, vq::kBlendComposite);
    svqtvr(tex, -1, 0, 0);
    draw();
    EXPECT_EQ(pixels, fromTexels);
}

TEST_F(Projection, StacksRefuseValuesOfAnotherSize)
{
    Grid g(8, 8, 8, 0.5f);
    int vol = addVolume(g, 0, 1, 0, 0.25f);
    int tex = svqc3dt(8, 8, 9);
    svqtvr(tex, vol, 0, 255);
    EXPECT_EQ(vq::scene().textures[tex].values, -1);
    svqtvr(tex, vol + 5, 0, 255);
    svqtvr(tex, vol, 10, 5);
    EXPECT_EQ(vq::scene().textures[tex].values, -1);
    int same = svqc3dt(8, 8, 8);
    svqtvr(same, vol, 0, 255);
    EXPECT_EQ(vq::scene().textures[same].values, vol);
}

} // namespace

namespace {

// A soft ball of value 1 fading out over three voxels, in white.
void whiteBall(Grid &g)
{
    double c = (g.nx - 1) / 2.0;
    for (int i = 0; i < g.nx; ++i)
        for (int j = 0; j < g.ny; ++j)
            for (int k = 0; k < g.nz; ++k) {
                double r = std::sqrt((i - c) * (i - c) + (j - c) * (j - c) + (k - c) * (k - c));
                g.at(i, j, k) = static_cast<float>(std::clamp((11 - r) / 3, 0.0, 1.0));
            }
    for (int e = 0; e < 256; ++e)
        vqscr(e, 1, 1, 1);
}

// One light far off to the right (+x).
void lightFromTheRight()
{
    Colour3 ambient{0.2, 0.2, 0.2}, white{1, 1, 1};
    Point3 pos{50, 0, 0};
    svqsl(ambient, 1, &pos, &white, 1);
}

int level(Pixel p)
{
    return p.r + p.g + p.b;
}

TEST_F(Projection, ShadingLightsTheSideOfABallFacingTheLight)
{
    Grid g(28, 28, 28, 0);
    whiteBall(g);
    lightFromTheRight();
    int id = addVolume(g, 0, 1, 0, 0.6f);
    drawSets(id);
    draw();
    int left = level(at(26, H / 2)), right = level(at(37, H / 2));
    EXPECT_NEAR(left, right, 6) << "unshaded, the ball is the same on both sides";
    std::vector<uint8_t> unshaded = pixels;
    svqvsh(id, 1);
    draw();
    int litLeft = level(at(26, H / 2)), litRight = level(at(37, H / 2));
    // Facing the light: diffuse in full; facing away: the ambient third.
    EXPECT_GT(litRight, litLeft + 150) << litLeft << " " << litRight;
    // The rim seen from the front faces the light most along x; the top
    // and bottom rims face it less.
    EXPECT_GT(litRight, level(at(W / 2, 37)));
    svqvsh(id, 0);
    draw();
    EXPECT_EQ(pixels, unshaded) << "off again, the picture is the unshaded one";
}

TEST_F(Projection, ShadedStacksLightTheSideFacingTheLight)
{
    const int n = 28;
    double c = (n - 1) / 2.0;
    int tex = svqc3dt(n, n, n);
    int w, h, d;
    unsigned char *t = svqg3dt(tex, &w, &h, &d);
    for (int k = 0; k < n; ++k)
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                double r = std::sqrt((i - c) * (i - c) + (j - c) * (j - c) + (k - c) * (k - c));
                unsigned char *p = t + 4 * (i + static_cast<size_t>(n) * (j + static_cast<size_t>(n) * k));
                p[0] = p[1] = p[2] = 255;
                p[3] = static_cast<unsigned char>(150 * std::clamp((11 - r) / 3, 0.0, 1.0));
            }
    svqpt(tex);
    lightFromTheRight();
    zStack(tex, n);
    draw();
    ASSERT_EQ(vqtest::renderStacksDrawn(), 1);
    EXPECT_NEAR(level(at(26, H / 2)), level(at(37, H / 2)), 6);
    svqtsh(tex, 1);
    draw();
    int litLeft = level(at(26, H / 2)), litRight = level(at(37, H / 2));
    EXPECT_GT(litRight, litLeft + 150) << litLeft << " " << litRight;
}

TEST_F(Projection, ShadedStacksFromValuesLightTheSideFacingTheLight)
{
    const int n = 28;
    Grid g(n, n, n, 0);
    for (int bricks : {0, 9}) {
        SCOPED_TRACE(bricks);
        freshRenderer(bricks);
        if (HasFatalFailure())
            return;
        whiteBall(g);
        int vol = addVolume(g, 0, 1, 0, 0.6f);
        // Texels all transparent, so every brick of them is left out:
        // whatever shows comes from the values.
        int tex = svqc3dt(n, n, n);
        svqpt(tex);
        svqtvr(tex, vol, 0, 255);
        lightFromTheRight();
        zStack(tex, n);
        draw();
        ASSERT_EQ(vqtest::renderStacksDrawn(), 1);
        int left = level(at(26, H / 2)), right = level(at(37, H / 2));
        EXPECT_GT(left, 150) << "the ball shows from its values";
        EXPECT_NEAR(left, right, 6);
        svqtsh(tex, 1);
        draw();
        int litLeft = level(at(26, H / 2)), litRight = level(at(37, H / 2));
        EXPECT_GT(litRight, litLeft + 150) << litLeft << " " << litRight;
    }
}

// Overlays over an empty scene, counting their lit pixels.
class Overlays : public Projection {
  public:
    int lit(int x0, int x1, int y0 = 16, int y1 = 47) const
    {
        int n = 0;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) {
                Pixel p = at(x, y);
                n += p.r > 128 && p.g > 128 && p.b > 128;
            }
        return n;
    }
};

TEST_F(Overlays, ArePresentOnlyWhenAsked)
{
    draw();
    std::vector<uint8_t> empty = pixels;
    for (int x = 0; x < W; ++x)
        ASSERT_TRUE(near(at(x, H / 2), 0, 0, 0));
    // Entries 0..255 of the test's range run from green to red up the bar.
    const float at01[2] = {0, 1};
    const char *const text[2] = {"0", "1"};
    svqocb(0, 255, 0, 1, 2, at01, text);
    draw();
    EXPECT_TRUE(isEntry(at(W - 15, static_cast<int>(0.2 * H) + 1), 0, 8));
    EXPECT_TRUE(isEntry(at(W - 15, static_cast<int>(0.8 * H) - 1), 255, 8));
    EXPECT_GT(lit(0, W - 24, 0, H - 1), 0) << "tick labels and the ramp";
    svqocb(0, -1, 0, 0, 0, nullptr, nullptr);
    draw();
    EXPECT_EQ(pixels, empty);
    svqosb(1);
    draw();
    EXPECT_GT(lit(0, W / 2, 0, 30), 0) << "a scale bar at the bottom left";
    svqosb(0);
    svqotx("ab");
    draw();
    EXPECT_GT(lit(0, W / 2, H / 2, H - 1), 0) << "a line at the top left";
    svqotx(nullptr);
    draw();
    EXPECT_EQ(pixels, empty);
}

TEST_F(Overlays, OrientationLabelsSwapSidesWhenTheCameraTurns)
{
    // +x (the right from the front) is the wide label.
    const char *const labels[6] = {"WW", "I", "", "", "", ""};
    svqoor(labels);
    vq::Panel &p = vq::scene().panels[vq::scene().current];
    p.camera.eye[0] = 0, p.camera.eye[1] = 0, p.camera.eye[2] = 5;
    p.cameraUser = true;
    draw();
    int left = lit(0, 20), right = lit(43, 63);
    EXPECT_GT(right, left + 20) << left << " " << right;
    p.camera.eye[2] = -5;
    draw();
    int left2 = lit(0, 20), right2 = lit(43, 63);
    EXPECT_GT(left2, right2 + 20) << left2 << " " << right2;
    EXPECT_NEAR(left2, right, 4);
}

TEST_F(Overlays, RightLabelKeepsClearOfTheColourBar)
{
    const float at01[2] = {0, 1};
    const char *const text[2] = {"0", "1"};
    svqocb(0, 255, 0, 1, 2, at01, text);
    vq::Panel &p = vq::scene().panels[vq::scene().current];
    p.camera.eye[0] = 0, p.camera.eye[1] = 0, p.camera.eye[2] = 5;
    p.cameraUser = true;
    draw();
    int middle = lit(0, W - 1, 16, 44), top = lit(30, W - 1, 45, H - 1);
    const char *const labels[6] = {"WW", "", "", "", "", ""};
    svqoor(labels);
    draw();
    // The label goes over the bar's top, not among its tick labels.
    EXPECT_EQ(lit(0, W - 1, 16, 44), middle);
    EXPECT_GT(lit(30, W - 1, 45, H - 1), top + 10);
}

// Lit rows of the pixels in columns x0..x1 between the first and last.
int rowSpan(const Overlays &o, int x0, int x1)
{
    int lo = H, hi = -1;
    for (int y = 0; y < H; ++y)
        if (o.lit(x0, x1, y, y) > 0)
            lo = std::min(lo, y), hi = std::max(hi, y);
    return hi >= lo ? hi - lo + 1 : 0;
}

TEST_F(Overlays, TextItemsSitWhereTheirAnchorsSay)
{
    draw();
    std::vector<uint8_t> empty = pixels;
    svqotxi(0, 0, 0.5f, 0, 0.5f, -1, "W");
    draw();
    EXPECT_GT(lit(0, 20), 10);
    EXPECT_EQ(lit(43, 63), 0);
    EXPECT_EQ(lit(0, 63, 0, 15) + lit(0, 63, 48, 63), 0) << "centred on the left edge";
    // The same slot again replaces it: now on the right.
    svqotxi(0, 1, 0.5f, 1, 0.5f, -1, "W");
    draw();
    EXPECT_EQ(lit(0, 20), 0);
    EXPECT_GT(lit(43, 63), 10);
    svqotxi(0, 0.5f, 1, 0.5f, 1, -1, "W");
    draw();
    EXPECT_GT(lit(20, 43, 48, 63), 10) << "at the top";
    EXPECT_EQ(lit(0, 63, 0, 40), 0);
    // Lines run downwards from the first.
    svqotxi(0, 0, 0, 0, 0, -1, "W");
    draw();
    int one = rowSpan(*this, 0, 30);
    svqotxi(0, 0, 0, 0, 0, -1, "W\nW");
    draw();
    int two = rowSpan(*this, 0, 30);
    EXPECT_GT(one, 5);
    EXPECT_GT(two, 2 * one) << one << " " << two;
    // In the colour asked for.
    vqscr(5000, 1, 0, 0);
    svqotxi(0, 0, 0.5f, 0, 0.5f, 5000, "W");
    draw();
    int red = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            red += at(x, y).r > 150 && at(x, y).g < 60 && at(x, y).b < 60;
    EXPECT_GT(red, 10);
    // A slot outside 0..15 draws nothing; null clears.
    svqotxi(0, 0, 0, 0, 0, -1, nullptr);
    svqotxi(16, 0.5f, 0.5f, 0.5f, 0.5f, -1, "W");
    svqotxi(-1, 0.5f, 0.5f, 0.5f, 0.5f, -1, "W");
    draw();
    EXPECT_EQ(pixels, empty);
}

} // namespace
