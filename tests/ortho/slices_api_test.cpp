// The library's slice-view calls without pixels: an orthographic camera
// and the world point under a window position agree, grid planes are
// recorded mapped and with the colour range in force, and pointer events
// reach the program with the panel under the pointer.
#include <gtest/gtest.h>

#include <cmath>

#include "vqscene.h"
#include "vqscene_inspect.h"

namespace {

// A panel whose world window is not its viewport box: 20 world units to 2.
struct OrthoPanel : ::testing::Test {
    int id = -1;
    void SetUp() override
    {
        vqtest::openHeadless({"--size", "400x200"});
        vqswin(-10, 10, -10, 10, -10, 10);
        vqsvp(-1, 1, -1, 1, -1, 1);
        id = xvqap(0.5f, 0.0f, 1.0f, 1.0f); // 200 x 200 pixels on the right
        xvqcp(id);
        vqswin(-10, 10, -10, 10, -10, 10);
        vqsvp(-1, 1, -1, 1, -1, 1);
    }
    void TearDown() override { vqtest::closeScene(); }
};

TEST_F(OrthoPanel, WindowPositionsGiveTheWorldPointsTheCameraShows)
{
    // Looking along +z with -y up: +x runs to the screen's right.
    svqoc(Point3{3, 4, 5}, Point3{0, 0, 1}, Point3{0, -1, 0}, 8);
    const vq::Camera &c = vqtest::panel(id).camera;
    EXPECT_TRUE(c.ortho);
    EXPECT_NEAR(c.height, 0.8, 1e-5); // 8 world units of 10 to 1
    Point3 p;
    ASSERT_EQ(xvqpw(id, 0.75, 0.5, &p), 0);
    EXPECT_NEAR(p.x, 3, 1e-5);
    EXPECT_NEAR(p.y, 4, 1e-5);
    EXPECT_NEAR(p.z, 5, 1e-5);
    // The panel's top edge is 4 units up (towards -y), its right edge 4 to +x.
    ASSERT_EQ(xvqpw(id, 0.75, 1.0, &p), 0);
    EXPECT_NEAR(p.y, 0, 1e-5);
    EXPECT_NEAR(p.x, 3, 1e-5);
    ASSERT_EQ(xvqpw(id, 1.0, 0.25, &p), 0);
    EXPECT_NEAR(p.x, 7, 1e-5);
    EXPECT_NEAR(p.y, 6, 1e-5);
    EXPECT_NEAR(p.z, 5, 1e-5);
    // Outside the panel, and in a panel with a perspective camera: none.
    EXPECT_EQ(xvqpw(id, 0.25, 0.5, &p), -1);
    EXPECT_EQ(xvqpw(0, 0.25, 0.5, &p), -1);
    EXPECT_EQ(xvqpw(99, 0.75, 0.5, &p), -1);
}

TEST_F(OrthoPanel, CameraRefusesDegenerateValuesAndZoomsByItsHeight)
{
    svqoc(Point3{0, 0, 0}, Point3{1, 0, 0}, Point3{0, 0, 1}, 10);
    vq::Camera before = vqtest::panel(id).camera;
    testing::internal::CaptureStderr();
    svqoc(Point3{0, 0, 0}, Point3{0, 0, 1}, Point3{0, 0, 2}, 10); // up along the view
    svqoc(Point3{0, 0, 0}, Point3{0, 0, 1}, Point3{0, 1, 0}, 0);
    svqoc(Point3{NAN, 0, 0}, Point3{0, 0, 1}, Point3{0, 1, 0}, 1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("up direction"), std::string::npos) << err;
    const vq::Camera &c = vqtest::panel(id).camera;
    for (int a = 0; a < 3; a++)
        EXPECT_EQ(c.eye[a], before.eye[a]);
    EXPECT_EQ(c.height, before.height);
    vq::zoomCamera(vqtest::scene(), id, 2);
    EXPECT_NEAR(vqtest::panel(id).camera.height, before.height / 2, 1e-12);
}

int framePlanes = 0;
void planeFrame(double *, int *)
{
    Point3 v[4] = {{-5, -5, 1}, {5, -5, 1}, {5, 5, 1}, {-5, 5, 1}};
    Point3 t[4] = {{0, 0, 2}, {3, 0, 2}, {3, 3, 2}, {0, 3, 2}};
    vqscir(1000, 1255);
    nvqgplane(0, 4, v, t, 1, 0.5f);
    framePlanes++;
}

TEST_F(OrthoPanel, GridPlanesAreRecordedMappedWithTheirColourRange)
{
    static float data[4 * 4 * 4];
    static float *rows[4 * 4];
    static float **planes[4];
    for (int i = 0; i < 4; i++) {
        planes[i] = rows + 4 * i;
        for (int j = 0; j < 4; j++)
            rows[4 * i + j] = data + 16 * i + 4 * j;
    }
    const float tr[12] = {0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    int vol = nvqcvr(planes, 4, 4, 4, 0, 3, 0, 3, 0, 3, tr, 's', 0, 1, 0, 1);
    ASSERT_EQ(vol, 0);
    cvqscb(planeFrame);
    testing::internal::CaptureStderr();
    Point3 v[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    nvqgplane(7, 3, v, v, 0, 1);   // no such rendering
    nvqgplane(vol, 2, v, v, 0, 1); // too few corners
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("no volume rendering 7"), std::string::npos) << err;
    EXPECT_TRUE(vqtest::staticList(id).planes.empty());
    vqtest::runFrame();
    ASSERT_EQ(framePlanes, 1);
    const auto &planesDrawn = vqtest::frameList(id).planes;
    ASSERT_EQ(planesDrawn.size(), 1u);
    const vq::GridPlane &g = planesDrawn[0];
    EXPECT_EQ(g.vol, vol);
    EXPECT_EQ(g.lo, 1000);
    EXPECT_EQ(g.hi, 1255);
    EXPECT_TRUE(g.linear);
    EXPECT_FLOAT_EQ(g.alpha, 0.5f);
    ASSERT_EQ(g.v.size(), 4u);
    EXPECT_FLOAT_EQ(g.v[2].x, 0.5f); // world 5 in a window of +-10 on +-1
    EXPECT_FLOAT_EQ(g.v[2].z, 0.1f);
    EXPECT_FLOAT_EQ(g.t[1].x, 3.0f);
    // A changed plane is a changed frame.
    uint64_t d = vq::frameDigest(vqtest::scene());
    vqtest::scene().panels[id].frameList.planes[0].t[0].x = 1;
    EXPECT_NE(vq::frameDigest(vqtest::scene()), d);
}

int lastWhat = 0, lastPanel = -2;
double lastFx = -1, lastFy = -1;
int pointer(int what, int, int panel, double fx, double fy)
{
    lastWhat = what, lastPanel = panel, lastFx = fx, lastFy = fy;
    return panel == 1;
}

TEST_F(OrthoPanel, PointerEventsNameThePanelUnderThePointer)
{
    vq::Scene &s = vqtest::scene();
    EXPECT_FALSE(vq::offerPointer(s, VQ_POINTER_PRESS, 0, 0.75, 0.5)); // no callback yet
    cvqspcb(pointer);
    EXPECT_TRUE(vq::offerPointer(s, VQ_POINTER_PRESS, 0, 0.75, 0.5));
    EXPECT_EQ(lastPanel, id);
    EXPECT_EQ(lastWhat, VQ_POINTER_PRESS);
    EXPECT_FALSE(vq::offerPointer(s, VQ_KEY_PAGE_UP, 0, 0.25, 0.5));
    EXPECT_EQ(lastPanel, 0);
    EXPECT_EQ(lastWhat, VQ_KEY_PAGE_UP);
    // A hidden panel is not under the pointer: the one beneath it is.
    xvqtp(id);
    EXPECT_FALSE(vq::offerPointer(s, VQ_POINTER_DRAG, 0, 0.75, 0.5));
    EXPECT_EQ(lastPanel, 0);
    EXPECT_DOUBLE_EQ(lastFx, 0.75);
}

} // namespace
