// pointsdemo in-process: its main with the loop stubbed out, and its
// callbacks driven through the library's headless frame loop.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <vector>

#include "demo_spy.h"
#include "vqscene.h"
#include "vqscene_inspect.h"

// Two copies of the demo, each with its own statics: `fresh` meets its
// first frame in one test only, so that its moving cloud can be predicted.
namespace points {
#include "../../demos/pointsdemo.cpp"
}
namespace fresh {
#include "../../demos/pointsdemo.cpp"
}

namespace {

struct MainRun {
    int rc = 0;
    time_t before = 0, after = 0;
    std::vector<vq::Vec3> fixed; // the static points, as recorded
};

MainRun runPointsMain()
{
    vqtest::closeScene();
    resetDemoSpy();
    char a0[] = "pointsdemo", a1[] = "--nodraw";
    char *argv[] = {a0, a1, nullptr};
    MainRun r;
    r.before = time(nullptr);
    r.rc = points::main(2, argv);
    r.after = time(nullptr);
    const vq::PrimList &list = vqtest::staticList(0);
    if (list.points.size() == 1)
        r.fixed = list.points[0].p;
    return r;
}

// A run whose seed second is known: it began and ended within one second.
MainRun runPointsMainInOneSecond()
{
    MainRun r;
    for (int tries = 0; tries < 5; tries++) {
        r = runPointsMain();
        if (r.before == r.after)
            break;
    }
    return r;
}

void expectSamePoints(const std::vector<vq::Vec3> &got, const std::vector<vq::Vec3> &want)
{
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); i++) {
        EXPECT_NEAR(got[i].x, want[i].x, 1e-6) << "point " << i;
        EXPECT_NEAR(got[i].y, want[i].y, 1e-6) << "point " << i;
        EXPECT_NEAR(got[i].z, want[i].z, 1e-6) << "point " << i;
    }
}

// World points through the current panel's window and viewport.
std::vector<vq::Vec3> mapped(const float *x, const float *y, const float *z, int n)
{
    std::vector<vq::Vec3> out;
    for (int i = 0; i < n; i++)
        out.push_back(vq::mapPoint(vqtest::panel(), x[i], y[i], z[i]));
    return out;
}

} // namespace

TEST(PointsDemoMain, FixedCloudComesFromTheSecondsClock)
{
    MainRun r = runPointsMainInOneSecond();
    ASSERT_EQ(r.before, r.after) << "no run fitted in one second";
    EXPECT_EQ(r.rc, 1);
    EXPECT_EQ(demoSpy().device, "/?");
    EXPECT_EQ(demoSpy().shows, 1);

    // The same seed, drawn in the same order: x, y, z of each point in turn.
    srand48(r.before);
    float x[20], y[20], z[20];
    for (int i = 0; i < 20; i++) {
        x[i] = drand48() * 4 - 2;
        y[i] = drand48() * 4 - 2;
        z[i] = drand48() * 4 - 2;
    }
    expectSamePoints(r.fixed, mapped(x, y, z, 20));

    const vq::PointSet &set = vqtest::staticList(0).points.at(0);
    EXPECT_EQ(set.symbol, 1);
    EXPECT_FLOAT_EQ(set.size, 4);
    const vq::Rgb &want = vqtest::scene().colours[7];
    EXPECT_FLOAT_EQ(set.colour.r, want.r);
    EXPECT_FLOAT_EQ(set.colour.g, want.g);
    EXPECT_FLOAT_EQ(set.colour.b, want.b);
    // The line width is put back for whatever the frames draw.
    EXPECT_FLOAT_EQ(vqtest::scene().lineWidth, 1);
}

TEST(PointsDemoMain, SetsUpWindowBoxAndCallbacks)
{
    MainRun r = runPointsMain();
    ASSERT_EQ(r.rc, 1);
    const vq::Panel &p = vqtest::panel(0);
    for (int a = 0; a < 3; a++) {
        EXPECT_DOUBLE_EQ(p.window.lo[a], -2);
        EXPECT_DOUBLE_EQ(p.window.hi[a], 2);
        EXPECT_EQ(p.box.opt[a], "BCDET");
        EXPECT_FLOAT_EQ(p.box.tick[a], 0);
        EXPECT_EQ(p.box.nsub[a], 0);
    }
    EXPECT_TRUE(p.box.enabled);
    EXPECT_EQ(p.frameFunc, &points::cb);
    EXPECT_EQ(vqtest::scene().numberFunc, &points::ncb);
    // Nothing of the moving cloud exists before the first frame.
    EXPECT_TRUE(p.frameList.points.empty());
}

TEST(PointsDemoMain, SameSecondSameCloudsOtherSecondOtherClouds)
{
    MainRun a, b;
    for (int tries = 0; tries < 5; tries++) {
        a = runPointsMain();
        b = runPointsMain();
        if (a.before == b.after)
            break;
    }
    ASSERT_EQ(a.before, b.after) << "no two runs fitted in one second";
    expectSamePoints(a.fixed, b.fixed);

    // Wait for the clock to move on to the next second.
    while (time(nullptr) == b.after) {
        struct timespec pause = {0, 20 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
    MainRun c = runPointsMain();
    ASSERT_EQ(c.fixed.size(), a.fixed.size());
    int same = 0;
    for (size_t i = 0; i < a.fixed.size(); i++)
        same += a.fixed[i].x == c.fixed[i].x && a.fixed[i].y == c.fixed[i].y && a.fixed[i].z == c.fixed[i].z;
    EXPECT_LT(same, 20);
}

class PointsDemoFrames : public ::testing::Test {
  protected:
    void SetUp() override
    {
        vqtest::openHeadless();
        // Distinct colours, so that a drawn colour names its index.
        for (int ci = 0; ci < 10; ci++)
            vqscr(ci, ci / 10.0f, 1 - ci / 10.0f, 0.5f);
        points::colour = 1;
        cvqscb(points::cb);
        cvqsncb(points::ncb);
    }
    void TearDown() override { vqtest::closeScene(); }

    // Colour index of the last points in a list; -1: none drawn.
    static int drawnIndex(const vq::PrimList &list = vqtest::frameList())
    {
        if (list.points.empty())
            return -1;
        const vq::Rgb &c = list.points.back().colour;
        for (int ci = 0; ci < 10; ci++) {
            const vq::Rgb &t = vqtest::scene().colours[ci];
            if (t.r == c.r && t.g == c.g && t.b == c.b)
                return ci;
        }
        return -2;
    }
    static int frameAfter(const char *keys)
    {
        for (const char *k = keys; *k; k++)
            vqtest::pressKey(*k);
        vqtest::runFrame();
        return drawnIndex();
    }
};

TEST_F(PointsDemoFrames, ColourFollowsNumberKeysAndSpaceBar)
{
    // Before any number key: 1 or 2 by the space bar.
    EXPECT_EQ(frameAfter(""), 1);
    EXPECT_EQ(frameAfter(" "), 2);
    EXPECT_EQ(frameAfter(" "), 1);
    // Number 4 and an odd count (3).
    EXPECT_EQ(frameAfter("4 "), 6);
    EXPECT_EQ(frameAfter(""), 6);
    // Number 3 and an even count (4).
    EXPECT_EQ(frameAfter("3 "), 3);
    EXPECT_EQ(frameAfter(" "), 4);

    const vq::PointSet &set = vqtest::frameList().points.back();
    EXPECT_EQ(set.p.size(), 20u);
    EXPECT_EQ(set.symbol, 1);
    EXPECT_FLOAT_EQ(set.size, 3);
}

TEST_F(PointsDemoFrames, NegativeCountKeepsItsSignInTheRemainder)
{
    points::colour = 5;
    double t = 0;
    int count = -1;
    // Outside a frame the points land in the static list.
    points::cb(&t, &count);
    EXPECT_EQ(drawnIndex(vqtest::staticList()), 4);
}

TEST_F(PointsDemoFrames, NumberKeysSwitchTheFrameCallback)
{
    EXPECT_EQ(frameAfter(""), 1);
    EXPECT_EQ(frameAfter("1"), -1);
    EXPECT_FALSE(vqtest::panel().frameEnabled);
    EXPECT_EQ(frameAfter(""), -1);
    EXPECT_EQ(frameAfter("2"), 1);
    EXPECT_TRUE(vqtest::panel().frameEnabled);
    EXPECT_EQ(frameAfter("5"), -1);
    EXPECT_EQ(frameAfter("5"), 1);

    // Other numbers change neither the callback nor the colour.
    for (const char *k : {"0", "6", "7", "8", "9"}) {
        EXPECT_EQ(frameAfter(k), 1) << "key " << k;
        EXPECT_TRUE(vqtest::panel().frameEnabled) << "key " << k;
    }
    int n = -1;
    points::ncb(&n);
    EXPECT_EQ(points::colour, 1);
    EXPECT_EQ(frameAfter(""), 1);
    points::ncb(nullptr);
    EXPECT_EQ(frameAfter(""), 1);
}

TEST_F(PointsDemoFrames, MovingCloudStartsOnFirstFrameAndResumesWhereItStopped)
{
    cvqscb(fresh::cb);
    srand48(12345);
    vqtest::runFrame();

    srand48(12345);
    float x[20], y[20], z[20];
    for (int i = 0; i < 20; i++) {
        x[i] = 2 * drand48() - 1;
        y[i] = 2 * drand48() - 1;
        z[i] = 2 * drand48() - 1;
    }
    auto step = [&]() {
        for (int i = 0; i < 20; i++) {
            x[i] = x[i] + (drand48() * 0.1 - 0.05);
            y[i] = y[i] + (drand48() * 0.1 - 0.05);
            z[i] = z[i] + (drand48() * 0.1 - 0.05);
        }
    };
    step();
    ASSERT_EQ(vqtest::frameList().points.size(), 1u);
    expectSamePoints(vqtest::frameList().points[0].p, mapped(x, y, z, 20));

    // Switched off, nothing moves; switched on, the points go on from there.
    cvqdcb();
    vqtest::runFrame();
    EXPECT_TRUE(vqtest::frameList().points.empty());
    cvqecb();
    srand48(777);
    vqtest::runFrame();
    srand48(777);
    step();
    ASSERT_EQ(vqtest::frameList().points.size(), 1u);
    expectSamePoints(vqtest::frameList().points[0].p, mapped(x, y, z, 20));
}
