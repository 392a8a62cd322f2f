// The frame loop: callbacks, key dispatch, panels, options and statistics.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "vqscene_inspect.h"

namespace {

std::vector<std::string> events;
int keyResult = 0;

void frameA(double *, int *kc)
{
    events.push_back("A" + std::to_string(*kc));
    float x[] = {0, 1, 2}, y[] = {0, 0, 0}, z[] = {0, 0, 0};
    vqpt(3, x, y, z, 1);
    vqline(3, x, y, z);
}

void frameB(double *, int *)
{
    events.push_back("B");
    Point3 p[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    nvqvf3(p, Colour3{1, 0, 0});
}

void number(int *n)
{
    events.push_back("n" + std::to_string(*n));
}

int key(unsigned char *k)
{
    events.push_back(std::string("k") + (char)*k);
    return keyResult;
}

class Frames : public ::testing::Test {
  protected:
    void SetUp() override
    {
        events.clear();
        keyResult = 0;
        vqtest::openHeadless();
    }
    void TearDown() override { vqtest::closeScene(); }
};

} // namespace

TEST_F(Frames, FrameListIsClearedEachFrameAndStaticListKept)
{
    float x[] = {5}, y[] = {5}, z[] = {5};
    vqpt(1, x, y, z, 1);
    cvqscb(frameA);
    vqtest::runFrame();
    vqtest::runFrame();
    EXPECT_EQ(vqtest::frameList().points.size(), 1u);
    EXPECT_EQ(vqtest::frameList().lines.size(), 1u);
    EXPECT_EQ(vqtest::staticList().points.size(), 1u);
    EXPECT_EQ(vqtest::scene().stats.points, 3);
    EXPECT_EQ(vqtest::scene().stats.lines, 2);
    EXPECT_EQ(vqtest::scene().frameNo, 2);
    EXPECT_EQ(events, (std::vector<std::string>{"A0", "A0"}));
}

TEST_F(Frames, CallbackDisableEnableToggle)
{
    cvqscb(frameA);
    cvqdcb();
    vqtest::runFrame();
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(vqtest::frameList().points.empty());
    cvqecb();
    vqtest::runFrame();
    cvqtcb();
    vqtest::runFrame();
    cvqtcb();
    vqtest::runFrame();
    EXPECT_EQ(events, (std::vector<std::string>{"A0", "A0"}));
}

TEST_F(Frames, KeyDispatch)
{
    cvqscb(frameA);
    cvqsncb(number);
    cvqskcb(key);
    for (unsigned char k : {'3', ' ', 'x', ' ', '0', '9'})
        vqtest::pressKey(k);
    vqtest::runFrame();
    // Keys before callbacks, in order; spaces only counted.
    EXPECT_EQ(events, (std::vector<std::string>{"n3", "kx", "n0", "n9", "A2"}));
    EXPECT_EQ(vqtest::scene().spaceCount, 2);

    // The program's refusal suppresses the library's own action.
    keyResult = 1;
    vqtest::pressKey('q');
    vqtest::runFrame();
    EXPECT_FALSE(vqtest::scene().quit);
    keyResult = 0;
    vqtest::pressKey('s');
    vqtest::pressKey(27);
    vqtest::runFrame();
    EXPECT_TRUE(vqtest::scene().quit);
    EXPECT_TRUE(vqtest::scene().screenshotRequested);
}

TEST_F(Frames, LibraryKeysWithoutCallbacks)
{
    // Digits with no number callback do nothing; tab moves the current panel.
    int second = xvqap(0.5f, 0, 1, 1);
    ASSERT_EQ(second, 1);
    vqtest::pressKey('5');
    vqtest::pressKey('\t');
    vqtest::runFrame();
    EXPECT_EQ(vqtest::scene().current, 1);
    vqtest::pressKey('\t');
    vqtest::runFrame();
    EXPECT_EQ(vqtest::scene().current, 0);

    // r puts a steered camera back.
    vq::Camera before = vqtest::panel(0).camera;
    vq::orbitCamera(vqtest::scene(), 0, 30, 10);
    EXPECT_NE(vqtest::panel(0).camera.eye[0], before.eye[0]);
    vqtest::pressKey('r');
    vqtest::runFrame();
    EXPECT_DOUBLE_EQ(vqtest::panel(0).camera.eye[0], before.eye[0]);
    EXPECT_DOUBLE_EQ(vqtest::panel(0).camera.eye[2], before.eye[2]);
}

TEST_F(Frames, WriteViewAndExportKeys)
{
    std::remove("vqscene.view");
    std::remove("vqscene.wrl");
    std::remove("vqscene.glb");
    pushVRMLname("my shape");
    Point3 p[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    nvqvf3(p, Colour3{1, 0, 0});
    pushVRMLname("my_shape");
    nvqvthcline(p[0], p[1], Colour3{1, 0, 0}, Colour3{0, 1, 0}, 2);
    static float row[2] = {0, 1};
    static float *rows[2] = {row, row};
    static float **planes[2] = {rows, rows};
    float tr[12] = {0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    pushVRMLname("VRSET1");
    dvqdvrx(nvqcvr(planes, 2, 2, 2, 0, 1, 0, 1, 0, 1, tr, 's', 0, 1, 0, 1), 0, 1, 0, -1);
    pushVRMLname("1st\"{");
    float x[] = {0, 1}, y[] = {0, 1}, z[] = {0, 1};
    vqline(2, x, y, z);
    testing::internal::CaptureStderr();
    vqtest::pressKey('w');
    vqtest::pressKey('P');
    vqtest::pressKey('h');
    vqtest::runFrame();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("vqscene.view"), std::string::npos);
    EXPECT_NE(err.find("vqscene.wrl"), std::string::npos);
    EXPECT_NE(err.find("scene written to vqscene.glb"), std::string::npos) << err;
    EXPECT_NE(err.find("quit"), std::string::npos);
    // P writes the binary glTF beside the VRML file (its content: gltf_test.cpp).
    std::ifstream glb("vqscene.glb", std::ios::binary);
    char magic[4] = {};
    glb.read(magic, 4);
    EXPECT_EQ(std::string(magic, 4), "glTF");
    std::remove("vqscene.glb");
    std::ifstream wrl("vqscene.wrl");
    std::stringstream text;
    text << wrl.rdbuf();
    EXPECT_EQ(text.str().rfind("#VRML V2.0 utf8\n", 0), 0u);
    EXPECT_NE(text.str().find("DEF my_shape Group"), std::string::npos);
    EXPECT_NE(text.str().find("IndexedFaceSet"), std::string::npos);
    // Names are made valid and unique.
    const std::string wrlText = text.str();
    EXPECT_NE(wrlText.find("DEF my_shape_1 Group"), std::string::npos);
    EXPECT_NE(wrlText.find("DEF _1st__ Group"), std::string::npos);
    EXPECT_NE(wrlText.find("DEF VRSET1 Group"), std::string::npos);
    EXPECT_EQ(std::count(wrlText.begin(), wrlText.end(), '{'),
              std::count(wrlText.begin(), wrlText.end(), '}'));
    EXPECT_EQ(ReadViewFile("vqscene.view"), 0);
    std::remove("vqscene.view");
    std::remove("vqscene.wrl");
}

TEST_F(Frames, HiddenPanelsAndTheirCallbacks)
{
    cvqscb(frameA);
    int b = xvqap(0.5f, 0, 1, 0.5f);
    xvqcp(b);
    cvqscb(frameB);
    xvqcp(0);
    vqtest::runFrame();
    EXPECT_EQ(events, (std::vector<std::string>{"A0", "B"}));
    // Each callback drew into its own panel.
    EXPECT_EQ(vqtest::frameList(0).points.size(), 1u);
    EXPECT_EQ(vqtest::frameList(b).facets.size(), 1u);
    EXPECT_TRUE(vqtest::frameList(b).points.empty());
    EXPECT_EQ(vqtest::scene().current, 0);

    events.clear();
    xvqtp(b);
    vqtest::runFrame();
    EXPECT_EQ(events, (std::vector<std::string>{"A0"}));
    EXPECT_TRUE(vqtest::frameList(b).facets.empty());
    EXPECT_EQ(vqtest::scene().stats.facets, 0);
    xvqtp(b);
    vqtest::runFrame();
    EXPECT_EQ(vqtest::frameList(b).facets.size(), 1u);
    xvqtp(42); // no such panel: ignored
}

TEST_F(Frames, LinkedPanelsShareTheCamera)
{
    int b = xvqap(0.5f, 0, 1, 0.5f);
    xvqmp(0, 0, 0.5f, 0.5f, 1);
    EXPECT_DOUBLE_EQ(vqtest::panel(0).fx1, 0);
    EXPECT_DOUBLE_EQ(vqtest::panel(0).fy1, 0.5);
    EXPECT_DOUBLE_EQ(vqtest::panel(b).fx2, 1);
    EXPECT_DOUBLE_EQ(vqtest::panel(b).fy2, 0.5);
    vqtest::setCamera({1, 2, 3}, {0, 0, 0}, {0, 1, 0}, 0);
    vqtest::setCamera({9, 9, 9}, {0, 0, 0}, {0, 1, 0}, b);
    EXPECT_DOUBLE_EQ(vq::panelCamera(vqtest::scene(), b).eye[0], 9);
    xvqlpc(0, b);
    EXPECT_DOUBLE_EQ(vq::panelCamera(vqtest::scene(), b).eye[0], 1);
    // Steering either panel moves the shared camera.
    vq::zoomCamera(vqtest::scene(), b, 2);
    EXPECT_DOUBLE_EQ(vq::panelCamera(vqtest::scene(), 0).eye[2], 1.5);
    // No loops: a link back is refused.
    xvqlpc(b, 0);
    EXPECT_EQ(vqtest::panel(0).followCamera, -1);
    xvqcp(b);
    Point3 eye, up, dir;
    svqqc(&eye, &up, &dir, 0);
    EXPECT_DOUBLE_EQ(eye.y, 1);
}

TEST_F(Frames, CameraQueryInWorldUnits)
{
    vqsvp(-1, 1, -1, 1, -1, 1);
    vqswin(0, 10, 0, 20, 0, 40);
    // Eye at scene (0, 0, 3) looking down -z; scene to world scales z by 20.
    vqtest::setCamera({0, 0, 3}, {0, 0, 0}, {0, 1, 0});
    Point3 eye, up, dir;
    svqqc(&eye, &up, &dir, 1);
    EXPECT_DOUBLE_EQ(eye.x, 5);
    EXPECT_DOUBLE_EQ(eye.y, 10);
    EXPECT_DOUBLE_EQ(eye.z, 80);
    EXPECT_DOUBLE_EQ(dir.z, -1);
    EXPECT_DOUBLE_EQ(up.y, 1);
    // An oblique view comes back as a unit world direction.
    vqtest::setCamera({1, 1, 0}, {0, 0, 0}, {0, 0, 1});
    svqqc(&eye, &up, &dir, 1);
    EXPECT_NEAR(dir.x, -1 / std::sqrt(5.0), 1e-12);
    EXPECT_NEAR(dir.y, -2 / std::sqrt(5.0), 1e-12);
    EXPECT_NEAR(Modulus(dir), 1, 1e-12);
}

TEST_F(Frames, DefaultCameraSeesTheWholeViewport)
{
    vqsvp(-1, 1, -0.5f, 0.5f, -2, 2);
    const vq::Camera &c = vqtest::panel().camera;
    EXPECT_DOUBLE_EQ(c.target[2], 0);
    EXPECT_DOUBLE_EQ(c.eye[0], 0);
    EXPECT_DOUBLE_EQ(c.up[1], 1);
    // Every corner lies inside the view cone.
    double half = c.fovy * M_PI / 360;
    for (int k = 0; k < 8; k++) {
        double p[3] = {k & 1 ? 1.0 : -1.0, k & 2 ? 0.5 : -0.5, k & 4 ? 2.0 : -2.0};
        double d[3] = {p[0] - c.eye[0], p[1] - c.eye[1], p[2] - c.eye[2]};
        double len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        EXPECT_LT(std::acos(-d[2] / len), half) << k;
    }
}

TEST_F(Frames, DefaultCameraFollowsTheWindowShape)
{
    vqtest::runFrame();
    double square = vqtest::panel().camera.eye[2];
    // A window half as wide needs the camera further away.
    vqtest::scene().windowWidth = 400;
    vqtest::runFrame();
    EXPECT_GT(vqtest::panel().camera.eye[2], square * 1.5);
    // A camera set on purpose stays.
    vqtest::setCamera({0, 0, 4}, {0, 0, 0}, {0, 1, 0});
    vqtest::scene().windowWidth = 800;
    vqtest::runFrame();
    EXPECT_EQ(vqtest::panel().camera.eye[2], 4);
}

TEST_F(Frames, SliceSetsShownAndCounted)
{
    static float row[4] = {0, 0, 0, 0};
    static float *rows[3] = {row, row, row};
    static float **planes[2] = {rows, rows};
    float tr[12] = {0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    int id = nvqcvr(planes, 2, 3, 4, 0, 1, 0, 2, 1, 3, tr, 's', 0, 1, 0, 1);
    ASSERT_GE(id, 0);
    const vq::Volume &v = vqtest::scene().volumes[id];
    EXPECT_EQ(vq::sliceCount(v, 1), 2);
    EXPECT_EQ(vq::sliceCount(v, 2), 3);
    EXPECT_EQ(vq::sliceCount(v, 3), 3);
    EXPECT_EQ(vq::sliceCount(v, 0), 0);

    vq::Camera c; // looks along -z
    vq::VolumeDraw d;
    d.vol = id;
    for (int axis = 1; axis <= 3; axis++) {
        d.axis = axis;
        d.prc = 0;
        EXPECT_EQ(vq::sliceSetShown(c, v, d), axis == 3) << axis;
        d.prc = 1;
        EXPECT_TRUE(vq::sliceSetShown(c, v, d));
    }
    c.eye[0] = 10;
    c.eye[2] = 1; // mostly along x now
    d.prc = 0;
    d.axis = 1;
    EXPECT_TRUE(vq::sliceSetShown(c, v, d));

    static int vol;
    vol = id;
    cvqscb([](double *, int *) {
        for (int axis = 1; axis <= 3; axis++)
            dvqdvrx(vol, 0, axis, 0, -1);
    });
    vqtest::runFrame();
    EXPECT_EQ(vqtest::scene().stats.volSlices, 3); // only z, seen from +z
    vqtest::setCamera({10, 0, 1}, {0, 0, 0}, {0, 1, 0});
    vqtest::runFrame();
    EXPECT_EQ(vqtest::scene().stats.volSlices, 2);
    // All-sets mode: every call's set draws.
    cvqscb([](double *, int *) {
        for (int axis = 1; axis <= 3; axis++)
            dvqdvrx(vol, 0, axis, 1, -1);
    });
    vqtest::runFrame();
    EXPECT_EQ(vqtest::scene().stats.volSlices, 2 + 3 + 3);
}

TEST(Options, ParsedAndRefused)
{
    vq::Options o;
    const char *good[] = {"prog",     "-f",     "x.xrw",   "--nodraw",
                          "--frames", "7",      "--keys",  "0:a,3:space,4:esc,5:tab,6::",
                          "--stats",  "--png",  "out.png", "--size",
                          "640x480",  "--spin", "-2.5",    "--other"};
    ASSERT_EQ(vq::parseOptions(16, (char **)good, o), 0);
    EXPECT_TRUE(o.nodraw);
    EXPECT_TRUE(o.stats);
    EXPECT_EQ(o.frames, 7);
    EXPECT_EQ(o.png, "out.png");
    EXPECT_EQ(o.width, 640);
    EXPECT_EQ(o.height, 480);
    EXPECT_DOUBLE_EQ(o.spin, -2.5);
    using K = std::pair<int, unsigned char>;
    EXPECT_EQ(o.keys, (std::vector<K>{{0, 'a'}, {3, ' '}, {4, 27}, {5, '\t'}, {6, ':'}}));

    const std::vector<std::vector<const char *>> bad = {
        {"p", "--frames"},       {"p", "--frames", "-1"}, {"p", "--frames", "3x"},
        {"p", "--keys", "1:ab"}, {"p", "--keys", "x:a"},  {"p", "--keys", "1:a,"},
        {"p", "--size", "0x10"}, {"p", "--size", "100"},  {"p", "--size", "10x99999"},
        {"p", "--spin", "nan"},  {"p", "--spin", "fast"}, {"p", "--png"},
        {"p", "--fps"},          {"p", "--fps", "0"},     {"p", "--fps", "-30"},
        {"p", "--fps", "inf"},   {"p", "--fps", "30x"},   {"p", "--fps", "2e6"},
    };
    for (const auto &args : bad) {
        vq::Options keep;
        keep.frames = 99;
        testing::internal::CaptureStderr();
        EXPECT_EQ(vq::parseOptions((int)args.size(), (char **)args.data(), keep), -1) << args[1];
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.rfind("vqscene: ", 0), 0u) << args[1];
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << args[1];
        EXPECT_EQ(keep.frames, 99);
    }
    testing::internal::CaptureStderr();
    EXPECT_EQ(vqopend("/xwin", 0, nullptr), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "vqscene: unknown display device '/xwin' (use \"/?\" or \"/vqmono\")\n");
    EXPECT_EQ(vqopend("/vqmono", 0, nullptr), 0);
    vq::resetScene();
}

TEST(Options, KeysArriveBeforeTheFrameTheyName)
{
    events.clear();
    vqtest::openHeadless({"--keys", "0:1,2:x,2:space"});
    cvqscb(frameA);
    cvqsncb(number);
    cvqskcb(key);
    for (int i = 0; i < 3; i++)
        vqtest::runFrame();
    EXPECT_EQ(events, (std::vector<std::string>{"n1", "A0", "A0", "kx", "A1"}));
    vqtest::closeScene();
}

std::vector<double> frameTimes;

void recordTime(double *t, int *)
{
    frameTimes.push_back(*t);
}

// Headless, the callbacks' time is the frame number over --fps, whatever
// the frames cost; in a window it stays the clock.
TEST(Options, HeadlessTimeStepsByFrame)
{
    for (const char *fps : {"", "10", "24.5"}) {
        frameTimes.clear();
        std::vector<std::string> args;
        if (*fps)
            args = {"--fps", fps};
        vqtest::openHeadless(args);
        double step = *fps ? 1 / std::atof(fps) : 1 / 30.0;
        EXPECT_DOUBLE_EQ(vqtest::scene().opts.fps, 1 / step) << fps;
        cvqscb(recordTime);
        for (int i = 0; i < 4; i++)
            vqtest::runFrame();
        ASSERT_EQ(frameTimes.size(), 4u);
        for (int i = 0; i < 4; i++)
            EXPECT_DOUBLE_EQ(frameTimes[i], i * step) << fps << " frame " << i;
        vqtest::closeScene();
    }

    vq::Scene s;
    s.opts.png = "x.png";
    s.frameNo = 3;
    s.startTime = 100;
    s.frameStart = 150;
    EXPECT_DOUBLE_EQ(vq::frameTime(s), 0.1);
    s.opts.png.clear();
    EXPECT_DOUBLE_EQ(vq::frameTime(s), 50);
}

// One rule for every platform: --frames, else (headless) as many frames as
// delivering the last --keys entry takes, else (a window) no limit.
TEST(Options, FrameLimitAndLastFrame)
{
    vq::Scene s;
    s.opts.nodraw = true;
    EXPECT_EQ(vq::frameLimit(s), 1);
    EXPECT_TRUE(vq::lastFrame(s));
    EXPECT_FALSE(vq::loopDone(s));
    s.opts.keys = {{4, '9'}, {2, '0'}};
    EXPECT_EQ(vq::frameLimit(s), 5);
    s.frameNo = 3;
    EXPECT_FALSE(vq::lastFrame(s));
    s.frameNo = 4;
    EXPECT_TRUE(vq::lastFrame(s));
    s.frameNo = 5;
    EXPECT_TRUE(vq::loopDone(s));

    s.opts.nodraw = false;
    s.opts.png = "x%03d.png";
    s.frameNo = 0;
    s.opts.frames = 0;
    EXPECT_EQ(vq::frameLimit(s), 0);
    EXPECT_TRUE(vq::loopDone(s));

    s.opts.png.clear();
    s.opts.frames = -1;
    s.frameNo = 1000;
    EXPECT_EQ(vq::frameLimit(s), -1);
    EXPECT_FALSE(vq::loopDone(s));
    EXPECT_FALSE(vq::lastFrame(s));
    s.quit = true;
    EXPECT_TRUE(vq::loopDone(s));
    EXPECT_TRUE(vq::lastFrame(s));
}

float shade = 1;

void shadedFrame(double *, int *)
{
    Point3 p[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    nvqvf3(p, Colour3{shade, 0, 0});
}

// Windows leave frames undrawn whose digest matches the last one drawn: the
// digest must stay for a frame that draws the same and change with
// anything that shows.
TEST(FrameDigest, StaysForTheSameFrameAndChangesWithWhatShows)
{
    vqtest::openHeadless();
    cvqscb(shadedFrame);
    int tex = svqc3dt(2, 2, 2);
    vqtest::runFrame();
    uint64_t first = vq::frameDigest(vqtest::scene());
    vqtest::runFrame();
    EXPECT_EQ(vq::frameDigest(vqtest::scene()), first) << "the same frame again";

    std::vector<uint64_t> seen{first};
    auto changed = [&](const char *what) {
        uint64_t d = vq::frameDigest(vqtest::scene());
        EXPECT_EQ(std::find(seen.begin(), seen.end(), d), seen.end()) << what;
        seen.push_back(d);
    };
    shade = 0.5f;
    vqtest::runFrame();
    changed("a facet's colour");
    vqscr(300, 0.1f, 0.2f, 0.3f);
    changed("the colour table");
    vq::orbitCamera(vqtest::scene(), 0, 10, 0);
    changed("the camera");
    svqpt(tex);
    changed("a texture's texels");
    svqtbm(tex, vq::kBlendMaximum);
    changed("a texture's projection");
    static float voxels[2] = {0, 1};
    static float *rows[2] = {voxels, voxels};
    static float **planes[2] = {rows, rows};
    const float tr[12] = {0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    int vol = nvqcvr(planes, 2, 2, 2, 0, 1, 0, 1, 0, 1, tr, 's', 0, 1, 0, 1);
    changed("a new volume rendering");
    svqvr(vol, 0.2f, 1, 0, 1);
    changed("a volume's data range");
    svqvbm(vol, vq::kBlendMean);
    changed("a volume's projection");
    svqsbc(0.2f, 0.2f, 0.2f);
    changed("the background");
    int second = xvqap(0.5f, 0.5f, 1, 1);
    changed("a new panel");
    xvqtp(second);
    changed("a hidden panel");
    vqtest::scene().windowWidth = 640;
    changed("the window size");
    shade = 1;
    vqtest::closeScene();
}

TEST(Options, SpinTurnsTheCameraFromTheSecondFrame)
{
    vqtest::openHeadless({"--spin", "90"});
    double eye0 = vqtest::panel().camera.eye[2];
    vqtest::runFrame();
    EXPECT_DOUBLE_EQ(vqtest::panel().camera.eye[2], eye0);
    vqtest::runFrame();
    EXPECT_NEAR(vqtest::panel().camera.eye[0], eye0, 1e-9);
    EXPECT_NEAR(vqtest::panel().camera.eye[2], 0, 1e-9);
    vqtest::closeScene();
}

TEST(Stats, LineFormat)
{
    vq::FrameStats st;
    st.points = 20;
    st.lines = 3;
    st.thickLines = 4;
    st.facets = 5;
    st.texPolys = 6;
    st.volSlices = 127;
    st.ms = 1.23456;
    st.uploads = 2;
    EXPECT_EQ(vq::statsLine(12, st), "vqscene: frame=12 points=20 lines=3 thicklines=4 facets=5 texpolys=6 "
                                     "volslices=127 ms=1.235 uploads=2");
}

namespace {

// Run the C program and collect its stderr and exit status.
int runProgram(const std::string &args, std::string &err)
{
    std::string cmd = std::string("env -u DISPLAY ") + C_PROGRAM + " " + args + " 2>&1 >/dev/null";
    FILE *p = popen(cmd.c_str(), "r");
    if (!p)
        return -1;
    char buf[512];
    err.clear();
    while (std::fgets(buf, sizeof buf, p))
        err += buf;
    int st = pclose(p);
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

} // namespace

TEST(Program, HeadlessRunsEndWithStatusAndStats)
{
    std::string err;
    EXPECT_EQ(runProgram("--nodraw --frames 2 --stats", err), 0);
    std::istringstream lines(err);
    std::string l0, l1, rest;
    std::getline(lines, l0);
    std::getline(lines, l1);
    EXPECT_FALSE(std::getline(lines, rest));
    EXPECT_EQ(
        l0.rfind("vqscene: frame=0 points=3 lines=2 thicklines=0 facets=1 texpolys=0 volslices=0 ms=", 0), 0u)
        << l0;
    EXPECT_EQ(l1.rfind("vqscene: frame=1 points=3 ", 0), 0u) << l1;

    EXPECT_EQ(runProgram("--nodraw --frames 0 --stats", err), 0);
    EXPECT_EQ(err, "");
    // A quit key ends the run early.
    EXPECT_EQ(runProgram("--nodraw --frames 10 --keys 1:q --stats", err), 0);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 2);
    // Without --frames: until the last --keys frame.
    EXPECT_EQ(runProgram("--nodraw --keys 3:x --stats", err), 0);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 4);

    EXPECT_EQ(runProgram("", err), 1);
    EXPECT_EQ(err, "vqscene: no display; render offscreen with --png FILE (or --nodraw)\n");
    EXPECT_EQ(runProgram("--frames x", err), 2);
}
