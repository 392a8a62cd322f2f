// Line sets by pixels: drawn from the GPU they cover what thick lines drawn
// one by one cover, take each segment's direction's colour when asked, and
// thin out while the view is dragged.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdlib>
#include <vector>

#include "linesets.h"
#include "model.h"
#include "render.h"
#include "render_fixture.h"
#include "vqscene.h"

namespace {

using rendertest::H;
using rendertest::W;

class LineSetRender : public rendertest::RenderFixture {
  protected:
    void SetUp() override
    {
        RenderFixture::SetUp();
        if (!HasFatalFailure())
            openScene();
    }

    // A fresh scene whose world window is not the viewport box: the set's
    // mapping is the GPU's, the thick lines' the library's.
    static void openScene() { RenderFixture::openScene(10); }

    void draw(bool coarse = false)
    {
        if (coarse)
            drawCoarse(1, 2);
        else
            RenderFixture::draw();
    }

    const uint8_t *at(int x, int y) const { return &pixels[(y * W + x) * 4]; }
    bool isLit(int x, int y) const { return at(x, y)[0] || at(x, y)[1] || at(x, y)[2]; }
    // Lit pixels of column x below (or above) the middle row.
    int litInColumn(int x, bool upper) const
    {
        int n = 0;
        for (int y = upper ? H / 2 + 1 : 0; y < (upper ? H : H / 2); ++y)
            n += isLit(x, y);
        return n;
    }

    // Pixels that are not background.
    int lit() const
    {
        int n = 0;
        for (int i = 0; i < W * H; ++i)
            n += pixels[4 * i] || pixels[4 * i + 1] || pixels[4 * i + 2];
        return n;
    }
};

// Two bent lines in world units of the -10..10 window.
const float kPoints[] = {-8, -6, 0, 0, -2, 1, 7, -5, 0, -7, 5, 2, 6, 6, -1};
const unsigned kFirst[] = {0, 3, 5};
const float kLineColours[] = {1, 0, 0, 0, 1, 1};

TEST_F(LineSetRender, CoversWhatThickLinesDrawnOneByOneCover)
{
    Colour3 c[2] = {{1, 0, 0}, {0, 1, 1}};
    for (int l = 0; l < 2; ++l)
        for (unsigned k = kFirst[l]; k + 1 < kFirst[l + 1]; ++k) {
            const float *a = kPoints + 3 * k, *b = a + 3;
            nvqvthcline({a[0], a[1], a[2]}, {b[0], b[1], b[2]}, c[l], c[l], 3);
        }
    draw();
    std::vector<uint8_t> byOne = pixels;
    ASSERT_GT(lit(), 100);
    openScene();
    int id = vqcls(2, kPoints, kFirst, kLineColours, 1, 3);
    ASSERT_EQ(id, 0);
    vqdls(id);
    draw();
    // Wide GL lines and the thick lines' quads differ only at the ends and
    // joins of segments: the pixels lit agree almost everywhere, in the
    // lines' own colours, through the same world-to-scene mapping.
    int both = 0, either = 0;
    for (int i = 0; i < W * H; ++i) {
        bool a = byOne[4 * i] || byOne[4 * i + 1] || byOne[4 * i + 2];
        bool b = pixels[4 * i] || pixels[4 * i + 1] || pixels[4 * i + 2];
        both += a && b;
        either += a || b;
        if (b) {
            const uint8_t *p = &pixels[4 * i];
            bool red = p[0] == 255 && p[1] == 0 && p[2] == 0, cyan = p[0] == 0 && p[1] == 255 && p[2] == 255;
            EXPECT_TRUE(red || cyan) << "pixel " << i;
        }
    }
    EXPECT_GT(both, 0.85 * either) << both << " of " << either;
}

TEST_F(LineSetRender, ColourByEachSegmentsDirection)
{
    // Along x, then along y, then along z tilted a little in x.
    const float p[] = {-8, -8, 0, 8, -8, 0, 8, 8, 0, 8, 8, 8};
    const unsigned first[] = {0, 4};
    vqdls(vqcls(1, p, first, nullptr, 0, 3));
    draw();
    int yb = 0, xr = W - 1;
    while (yb < H / 2 && !isLit(W / 2, yb))
        ++yb;
    while (xr > W / 2 && !isLit(xr, H / 2))
        --xr;
    ASSERT_LT(yb, H / 2);
    ASSERT_GT(xr, W / 2);
    const uint8_t *bottom = at(W / 2, yb + 1), *right = at(xr - 1, H / 2);
    EXPECT_EQ(bottom[0], 255);
    EXPECT_EQ(bottom[1], 0);
    EXPECT_EQ(right[0], 0);
    EXPECT_EQ(right[1], 255);
    EXPECT_EQ(right[2], 0);
}

TEST_F(LineSetRender, RefusesSetsThatDoNotHold)
{
    const unsigned backwards[] = {0, 3, 2};
    testing::internal::CaptureStderr();
    EXPECT_EQ(vqcls(2, kPoints, backwards, kLineColours, 1, 3), -1);
    EXPECT_EQ(vqcls(2, kPoints, kFirst, nullptr, 1, 3), -1);
    EXPECT_EQ(vqcls(2, kPoints, kFirst, kLineColours, 7, 3), -1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("vqcls: line 1 ends before it starts"), std::string::npos) << err;
    EXPECT_TRUE(vq::scene().lineSets.empty());
}

TEST_F(LineSetRender, DraggedFramesDrawAnEvenlySpreadPart)
{
    EXPECT_EQ(vq::draw::lineSetDragStep(1000, 10), 1);
    EXPECT_EQ(vq::draw::lineSetDragStep(10000000, 100000), 40);
    EXPECT_EQ(vq::draw::lineSetDragStep(10000000, 3), 3);
    // Even lines low, odd lines high, enough segments to thin out by two.
    const long lines = 600, per = 501;
    ASSERT_EQ(vq::draw::lineSetDragStep(lines * (per - 1), lines), 2);
    std::vector<float> p;
    std::vector<unsigned> first{0};
    for (long l = 0; l < lines; ++l) {
        float y = l % 2 ? 5.0f : -5.0f;
        for (long k = 0; k < per; ++k) {
            p.insert(p.end(), {-8 + 16.0f * k / (per - 1), y, 0});
        }
        first.push_back(static_cast<unsigned>(p.size() / 3));
    }
    vqdls(vqcls(static_cast<int>(lines), p.data(), first.data(), nullptr, 0, 2));
    draw();
    EXPECT_GT(litInColumn(W / 2, false), 0);
    EXPECT_GT(litInColumn(W / 2, true), 0);
    draw(true);
    EXPECT_GT(litInColumn(W / 2, false), 0);
    EXPECT_EQ(litInColumn(W / 2, true), 0);
    draw();
    EXPECT_GT(litInColumn(W / 2, true), 0);
}

} // namespace
