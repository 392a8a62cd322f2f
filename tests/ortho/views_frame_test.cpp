// xrwview -ortho without pixels: what each slice view records in a frame
// (slices, surfaces cut by the slice, tracks near it), and how pointer
// presses, the wheel and the keys move the crosshair and the views.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "crosshair.h"
#include "obj.h"
#include "ortho.h"
#include "viewer_test_util.h"

namespace {

// 20^3 voxels of 1 mm; the crosshair starts on file voxel (10, 10, 10),
// world (0, -1, -1).
std::string plainVolume()
{
    static std::string p =
        vt::writeVolume("plain.xrw", 20, 20, 20, 1, 1, 1, [](int, int, int) { return 60; });
    return p;
}

struct OrthoFrames : ::testing::Test {
    void start(std::vector<std::string> extra = {})
    {
        std::vector<std::string> words = {"-f", plainVolume(), "-ortho"};
        words.insert(words.end(), extra.begin(), extra.end());
        std::string err;
        ASSERT_EQ(vt::startQuietly(words, &err), 0) << err;
        ASSERT_EQ(startCrosshair(), 0);
        ASSERT_EQ(setUpOrthoViews(), 0);
        testing::internal::CaptureStderr();
        vqtest::runFrame();
        testing::internal::GetCapturedStderr();
    }
    void TearDown() override { vt::freshViewer(); }
    static void frame()
    {
        testing::internal::CaptureStderr();
        vqtest::runFrame();
        testing::internal::GetCapturedStderr();
    }
};

TEST_F(OrthoFrames, EachViewDrawsItsSliceThroughTheCrosshair)
{
    start();
    for (int view = 0; view < 3; view++) {
        int panel = orthoPanel(view);
        ASSERT_GT(panel, 0);
        const vq::PrimList &l = vqtest::frameList(panel);
        ASSERT_EQ(l.planes.size(), 1u) << view;
        const vq::GridPlane &g = l.planes[0];
        EXPECT_EQ(g.lo, 1000);
        EXPECT_FALSE(g.linear);
        // The whole slice: the grid's cells from -0.5 to 19.5 on both
        // in-plane axes, on the crosshair's grid plane along the third.
        OrthoLayout L = orthoLayout(view, 0);
        double lo[3] = {1e9, 1e9, 1e9}, hi[3] = {-1e9, -1e9, -1e9};
        for (const vq::Vec3 &t : g.t) {
            const double v[3] = {t.x, t.y, t.z};
            for (int a = 0; a < 3; a++)
                lo[a] = std::fmin(lo[a], v[a]), hi[a] = std::fmax(hi[a], v[a]);
        }
        for (int a = 0; a < 3; a++) {
            if (a == L.normal) {
                EXPECT_NEAR(lo[a], a == 0 ? 10 : 9, 1e-4);
                EXPECT_NEAR(hi[a], lo[a], 1e-4);
            } else {
                EXPECT_NEAR(lo[a], -0.5, 1e-4) << view << " " << a;
                EXPECT_NEAR(hi[a], 19.5, 1e-4) << view << " " << a;
            }
        }
        EXPECT_TRUE(vqtest::panel(panel).camera.ortho);
    }
    // The 3-D view outlines the three slices.
    EXPECT_GE(vqtest::frameList(0).lines.size(), 3u);
    // I switches the slices to trilinear sampling.
    unsigned char key = 'I';
    EXPECT_EQ(kcb(&key), 1);
    frame();
    EXPECT_TRUE(vqtest::frameList(orthoPanel(ORTHO_AXIAL)).planes[0].linear);
}

TEST_F(OrthoFrames, LaterVolumesAreDrawnOverTheFirstInTheirOwnColours)
{
    // A second volume half the size, moved 4 mm along x by its matrix: the
    // axial slice shows it over part of the first.
    std::string small = vt::writeVolume("small.xrw", 10, 10, 10, 1, 1, 1, [](int, int, int) { return 200; });
    std::string m = vt::writeText("small.mat", "1 0 0 -1\n0 1 0 -5\n0 0 1 -5\n0 0 0 1\n");
    start({"-f", small, "-M", m, "-c", "hot"});
    const vq::PrimList &l = vqtest::frameList(orthoPanel(ORTHO_AXIAL));
    ASSERT_EQ(l.planes.size(), 2u);
    EXPECT_EQ(l.planes[0].lo, 1000);
    EXPECT_FLOAT_EQ(l.planes[0].alpha, 1);
    EXPECT_EQ(l.planes[1].lo, 1256);
    EXPECT_EQ(l.planes[1].hi, 1511);
    EXPECT_FLOAT_EQ(l.planes[1].alpha, 0.5f);
    EXPECT_NE(l.planes[1].vol, l.planes[0].vol);
    // Cut to the second volume's own cells: x from -1.5 to 8.5 (scene
    // coordinates are the world's over 10).
    float lo = 1e9f, hi = -1e9f;
    for (const vq::Vec3 &v : l.planes[1].v)
        lo = std::fmin(lo, v.x), hi = std::fmax(hi, v.x);
    EXPECT_NEAR(lo, -0.15, 1e-5);
    EXPECT_NEAR(hi, 0.85, 1e-5);
}

TEST_F(OrthoFrames, SurfacesCutByTheSliceAndTracksNearIt)
{
    // Surface coordinates count from the box's lower corner (world + 10):
    // this triangle crosses the axial slice (world z = -1) but not the
    // coronal one (world y = -1): (10, 10, 5), (12, 10, 13), (10, 12, 13),
    // written y z x as OBJ files give them.
    std::string obj = vt::writeText("cut.obj", "v 10 5 10\nv 10 13 12\nv 12 13 10\nf 1 2 3\n");
    // Two points within half a voxel of the axial slice, two not.
    std::string dir = vt::tmpPath("ortho_tracks");
    mkdir(dir.c_str(), 0755);
    vt::writeText("ortho_tracks/t0.txt", "0 0 -1\n0 0 -1.4\n0 0 -1.6\n3 3 5\n");
    start({"-o", obj, "cut", "1", "0", "0", "1", "-Tf", dir + "/t%d.txt", "-Ts", "1"});
    const vq::PrimList &axial = vqtest::frameList(orthoPanel(ORTHO_AXIAL));
    ASSERT_EQ(nobjs, 1);
    ASSERT_EQ(axial.thickLines.size(), 1u);
    const vq::ThickLine &cut = axial.thickLines[0];
    EXPECT_FLOAT_EQ(cut.ca.r, 1);
    EXPECT_FLOAT_EQ(cut.ca.g, 0);
    EXPECT_EQ(vqtest::frameList(orthoPanel(ORTHO_CORONAL)).thickLines.size(), 0u);
    // Tracks show once key 2 shows them in the 3-D view.
    EXPECT_TRUE(axial.points.empty());
    int two = 2;
    numcb(&two);
    frame();
    size_t points = 0;
    for (const vq::PointSet &p : vqtest::frameList(orthoPanel(ORTHO_AXIAL)).points)
        points += p.p.size();
    EXPECT_EQ(points, 2u);
    // The space bar hides surfaces here as in the 3-D view.
    vqtest::pressKey(' ');
    frame();
    EXPECT_EQ(vqtest::frameList(orthoPanel(ORTHO_AXIAL)).thickLines.size(), 0u);
}

// A FreeSurfer binary triangle file (big-endian) of one triangle, RAS.
std::string freeSurferTriangle(const std::string &name, const float v[3][3])
{
    std::string b = "\xff\xff\xfe" "one triangle\n\n";
    auto word = [&](uint32_t w) {
        for (int s = 24; s >= 0; s -= 8)
            b += static_cast<char>(w >> s & 0xff);
    };
    word(3);
    word(1);
    for (int k = 0; k < 3; k++)
        for (int a = 0; a < 3; a++) {
            uint32_t u;
            std::memcpy(&u, &v[k][a], 4);
            word(u);
        }
    for (uint32_t k = 0; k < 3; k++)
        word(k);
    return vt::writeText(name, b);
}

TEST_F(OrthoFrames, SurfacesInWorldCoordinatesAreCutWhereTheyLie)
{
    // RAS (0, 0, -5), (2, 0, 3), (0, 2, 3): LPS (0, 0, -5), (-2, 0, 3),
    // (0, -2, 3), crossing the axial slice at world z = -1.
    const float ras[3][3] = {{0, 0, -5}, {2, 0, 3}, {0, 2, 3}};
    std::string surf = freeSurferTriangle("tri.white", ras);
    start({"-o", surf, "tri", "0", "0", "1", "1"});
    const vq::PrimList &axial = vqtest::frameList(orthoPanel(ORTHO_AXIAL));
    ASSERT_EQ(axial.thickLines.size(), 1u);
    const vq::ThickLine &cut = axial.thickLines[0];
    // Scene coordinates are the world's over 10; the cut lies a thousandth
    // of the view's 25 mm in front of the slice (towards -z, where the axial
    // view is seen from). At z = -1 the edges from (0, 0, -5) are half way.
    EXPECT_NEAR(cut.a.z, -0.1025, 1e-5);
    EXPECT_NEAR(cut.b.z, -0.1025, 1e-5);
    float xs[2] = {cut.a.x, cut.b.x}, ys[2] = {cut.a.y, cut.b.y};
    EXPECT_NEAR(std::fmin(xs[0], xs[1]), -0.1, 1e-4);
    EXPECT_NEAR(std::fmin(ys[0], ys[1]), -0.1, 1e-4);
    EXPECT_FLOAT_EQ(cut.ca.b, 1);
}

TEST_F(OrthoFrames, KeysStepOneVoxelAndPrintTheReadout)
{
    start();
    int axial = orthoPanel(ORTHO_AXIAL), coronal = orthoPanel(ORTHO_CORONAL);
    testing::internal::CaptureStdout();
    // Radiological: the screen's right is the patient's left, +x.
    EXPECT_EQ(orthoPointer(VQ_KEY_RIGHT, 0, axial, 0.25, 0.75), 1);
    EXPECT_DOUBLE_EQ(crosshair.world[0], 1);
    // Up in the axial view is to the front, -y.
    EXPECT_EQ(orthoPointer(VQ_KEY_UP, 0, axial, 0.25, 0.75), 1);
    EXPECT_DOUBLE_EQ(crosshair.world[1], -2);
    // Page Up: up the body in the axial view, to the front in the coronal one.
    EXPECT_EQ(orthoPointer(VQ_KEY_PAGE_UP, 0, axial, 0.25, 0.75), 1);
    EXPECT_DOUBLE_EQ(crosshair.world[2], 0);
    EXPECT_EQ(orthoPointer(VQ_KEY_PAGE_UP, 0, coronal, 0.75, 0.75), 1);
    EXPECT_DOUBLE_EQ(crosshair.world[1], -3);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("crosshair: world 1.00 -3.00 0.00, voxel 11 12 9, value 60\n"), std::string::npos)
        << out;
    // Over the 3-D view the keys are the library's.
    EXPECT_EQ(orthoPointer(VQ_KEY_LEFT, 0, 0, 0.75, 0.25), 0);
}

TEST_F(OrthoFrames, PressesMoveTheCrosshairAndTheWheelZoomsAboutThePointer)
{
    start();
    int axial = orthoPanel(ORTHO_AXIAL);
    Point3 before;
    ASSERT_EQ(xvqpw(axial, 0.3, 0.6, &before), 0);
    double height = vqtest::panel(axial).camera.height;
    EXPECT_EQ(orthoPointer(VQ_POINTER_WHEEL_UP, 3, axial, 0.3, 0.6), 1);
    frame();
    Point3 after;
    ASSERT_EQ(xvqpw(axial, 0.3, 0.6, &after), 0);
    EXPECT_NEAR(after.x, before.x, 1e-4);
    EXPECT_NEAR(after.y, before.y, 1e-4);
    EXPECT_NEAR(vqtest::panel(axial).camera.height, height / 1.1, 1e-6);

    testing::internal::CaptureStdout();
    Point3 target;
    ASSERT_EQ(xvqpw(axial, 0.2, 0.8, &target), 0);
    EXPECT_EQ(orthoPointer(VQ_POINTER_PRESS, 0, axial, 0.2, 0.8), 1);
    EXPECT_NEAR(crosshair.world[0], target.x, 1e-9);
    EXPECT_NEAR(crosshair.world[1], target.y, 1e-9);
    EXPECT_NEAR(crosshair.world[2], -1, 1e-5);
    // A drag off the box leaves it where it was.
    EXPECT_EQ(orthoPointer(VQ_POINTER_DRAG, 0, axial, 0.001, 0.999), 1);
    EXPECT_NEAR(crosshair.world[0], target.x, 1e-9);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    testing::internal::CaptureStdout();
    EXPECT_EQ(orthoPointer(VQ_POINTER_RELEASE, 0, axial, 0.001, 0.999), 1);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
    // Other buttons and the 3-D view stay the library's.
    EXPECT_EQ(orthoPointer(VQ_POINTER_PRESS, 2, axial, 0.2, 0.8), 0);
    EXPECT_EQ(orthoPointer(VQ_POINTER_PRESS, 0, 0, 0.75, 0.25), 0);
}

} // namespace
