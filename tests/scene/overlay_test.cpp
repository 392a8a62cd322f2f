// Overlay layout without pixels: which orientation label goes to which
// edge of the view, and how long a scale bar is.
#include <gtest/gtest.h>

#include <string>

#include "model.h"
#include "vqscene.h"
#include "vqscene_inspect.h"

namespace {

const char *const kLps[6] = {"L", "R", "P", "A", "S", "I"};

void look(vq::Camera &c, double ex, double ey, double ez, double ux, double uy, double uz)
{
    c.eye[0] = ex, c.eye[1] = ey, c.eye[2] = ez;
    c.target[0] = c.target[1] = c.target[2] = 0;
    c.up[0] = ux, c.up[1] = uy, c.up[2] = uz;
}

TEST(Overlay, OrientationLabelsFollowTheCamera)
{
    vqtest::openHeadless();
    vqswin(-1, 1, -1, 1, -1, 1);
    svqoor(kLps);
    vq::Panel &p = vqtest::panel();
    vq::Camera c;
    std::string e[4];
    // From the front (+z looking down -z, y up): x to the right is L.
    look(c, 0, 0, 5, 0, 1, 0);
    vq::edgeLabels(p, c, e);
    EXPECT_EQ(e[0], "L");
    EXPECT_EQ(e[1], "R");
    EXPECT_EQ(e[2], "P");
    EXPECT_EQ(e[3], "A");
    // Turned 180 degrees about the up axis: right and left swap.
    look(c, 0, 0, -5, 0, 1, 0);
    vq::edgeLabels(p, c, e);
    EXPECT_EQ(e[0], "R");
    EXPECT_EQ(e[1], "L");
    EXPECT_EQ(e[2], "P");
    // From the front of a patient (-y) with z up: S at the top.
    look(c, 0, -5, 0, 0, 0, 1);
    vq::edgeLabels(p, c, e);
    EXPECT_EQ(e[2], "S");
    EXPECT_EQ(e[3], "I");
    EXPECT_EQ(e[0], "L");
    // A reversed world window turns its axis round.
    vqswin(1, -1, -1, 1, -1, 1);
    look(c, 0, 0, 5, 0, 1, 0);
    vq::edgeLabels(p, c, e);
    EXPECT_EQ(e[0], "R");
    // Without labels nothing.
    svqoor(nullptr);
    vq::edgeLabels(p, c, e);
    EXPECT_EQ(e[0], "");
    vqtest::closeScene();
}

TEST(Overlay, ScaleBarsAreRoundLengthsThatFit)
{
    EXPECT_DOUBLE_EQ(vq::scaleBarMm(3, 100), 20); // 33.3 mm fit
    EXPECT_DOUBLE_EQ(vq::scaleBarMm(1, 100), 100);
    EXPECT_DOUBLE_EQ(vq::scaleBarMm(1, 99), 50);
    EXPECT_DOUBLE_EQ(vq::scaleBarMm(10, 25), 2);      // 2.5 mm fit
    EXPECT_DOUBLE_EQ(vq::scaleBarMm(1000, 120), 0.1); // 0.12 mm fit
    EXPECT_DOUBLE_EQ(vq::scaleBarMm(0, 100), 0);
    EXPECT_DOUBLE_EQ(vq::scaleBarMm(-1, 100), 0);
}

TEST(Overlay, CallsSetTheCurrentPanelsRecord)
{
    vqtest::openHeadless();
    const float at[2] = {0, 1};
    const char *const text[2] = {"-1000", "3000"};
    svqocb(10, 265, 0, 0.2f, 2, at, text);
    const vq::Overlay &o = vqtest::panel().overlay;
    EXPECT_EQ(o.barLo, 10);
    EXPECT_EQ(o.barHi, 265);
    ASSERT_EQ(o.tickText.size(), 2u);
    EXPECT_EQ(o.tickText[1], "3000");
    svqocb(5, 4, 0, 0, 0, nullptr, nullptr);
    EXPECT_LT(o.barHi, o.barLo);
    EXPECT_TRUE(o.tickText.empty());
    svqosb(2.5f);
    EXPECT_DOUBLE_EQ(o.mmPerUnit, 2.5);
    svqosb(-1);
    EXPECT_DOUBLE_EQ(o.mmPerUnit, 0);
    svqotx("window 0 .. 1");
    EXPECT_EQ(o.line, "window 0 .. 1");
    svqotx(nullptr);
    EXPECT_EQ(o.line, "");
    vqtest::closeScene();
}

} // namespace
