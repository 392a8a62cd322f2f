// The frame callback, the key handlers and the texture slicing, driven
// through the headless library frame by frame.
#include <gtest/gtest.h>

#include <cmath>

#include "frame.h"
#include "look.h"
#include "viewer_test_util.h"

namespace {

int start(std::vector<std::string> words, std::string *err = nullptr)
{
    return vt::startQuietly(std::move(words), err);
}

unsigned char half(int, int, int)
{
    return 128;
}

std::string cube64()
{
    static std::string path = vt::writeVolume("cube64.xrw", 64, 64, 64, 1, 1, 1, half);
    return path;
}

// One frame; its stderr into *err.
void frame(std::string *err = nullptr)
{
    testing::internal::CaptureStderr();
    vqtest::runFrame();
    std::string e = testing::internal::GetCapturedStderr();
    if (err)
        *err = e;
}

// Camera looking from eye at the origin, in scene coordinates.
void look(double x, double y, double z, Point3 up = {0, 1, 0})
{
    vqtest::setCamera(Point3{x, y, z}, Point3{0, 0, 0}, up);
}

// Whether the vertices run round a convex polygon, each turn the same way.
bool convexInOrder(const std::vector<vq::Vec3> &v)
{
    size_t n = v.size();
    double ref[3] = {0, 0, 0};
    for (size_t i = 0; i < n; i++) {
        const vq::Vec3 &a = v[i], &b = v[(i + 1) % n], &c = v[(i + 2) % n];
        double u[3] = {b.x - a.x, b.y - a.y, b.z - a.z}, w[3] = {c.x - b.x, c.y - b.y, c.z - b.z};
        double x[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
        if (i == 0)
            std::copy(x, x + 3, ref);
        else if (x[0] * ref[0] + x[1] * ref[1] + x[2] * ref[2] < -1e-12)
            return false;
    }
    return true;
}

const std::vector<vq::TexPoly> &polys()
{
    return vqtest::frameList().texPolys;
}

TEST(FrameCallback, SliceSetsInTheirColourBlocks)
{
    std::string a = vt::writeVolume("fa.xrw", 4, 4, 4, 1, 1, 1, half);
    std::string b = vt::writeVolume("fb.xrw", 4, 4, 4, 1, 1, 1, half);
    ASSERT_EQ(start({"-f", a, "-f", b}), 0);
    frame();
    const auto &vols = vqtest::frameList().volumes;
    ASSERT_EQ(vols.size(), 6u);
    for (int n = 0; n < 6; n++) {
        int v = n / 3;
        EXPECT_EQ(vols[n].axis, n % 3 + 1);
        int ids[3] = {vidx[v], vidy[v], vidz[v]};
        EXPECT_EQ(vols[n].vol, ids[n % 3]);
        EXPECT_EQ(vols[n].lo, 1000 + 256 * v);
        EXPECT_EQ(vols[n].hi, 1255 + 256 * v);
        EXPECT_EQ(vols[n].glow, 0);
        EXPECT_EQ(vols[n].prc, 0);
        EXPECT_EQ(vols[n].glowPeriod, -1.0f);
    }
    EXPECT_EQ(vqtest::nameOf(vols[0].name), "VRSET1");
    EXPECT_EQ(vqtest::nameOf(vols[5].name), "VRSET3");

    // Key B: all slice sets from the next frame on.
    vqtest::pressKey('B');
    frame();
    EXPECT_EQ(vqtest::frameList().volumes[0].prc, 1);
    EXPECT_EQ(doPRC, 1);

    // Key 1 hides them, but the blocks are still selected.
    vqtest::pressKey('1');
    frame();
    EXPECT_TRUE(vqtest::frameList().volumes.empty());
    int lo, hi;
    vqqcir(&lo, &hi);
    EXPECT_EQ(lo, 1256);
    EXPECT_EQ(hi, 1511);
    vqtest::pressKey('1');
    frame();
    EXPECT_EQ(vqtest::frameList().volumes.size(), 6u);
    vqtest::pressKey('1');
    frame();
    EXPECT_TRUE(vqtest::frameList().volumes.empty());
}

TEST(FrameCallback, SuppressedSliceSetsAndTheFrameClock)
{
    std::string a = vt::writeVolume("fs.xrw", 4, 4, 4, 1, 1, 1, half);
    ASSERT_EQ(start({"-f", a, "-SV"}), 0);
    std::string err;
    frame(&err);
    EXPECT_TRUE(vqtest::frameList().volumes.empty());
    EXPECT_EQ(err, "");
    EXPECT_EQ(frameCount(), 0);
    frame();
    frame();
    EXPECT_EQ(frameCount(), 2);
}

TEST(FrameCallback, ViewFileOnTheFirstFrameOnly)
{
    std::string a = vt::writeVolume("fv.xrw", 4, 4, 4, 1, 1, 1, half);
    std::string view = vt::tmpPath("absent.view");
    ASSERT_EQ(start({"-f", a, "-Vf", view}), 0);
    std::string err;
    frame(&err);
    EXPECT_NE(err.find("reading view file " + view + "\n"), std::string::npos);
    EXPECT_NE(err.find("normal white-on-black\n"), std::string::npos);
    frame(&err);
    EXPECT_EQ(err.find("reading view file"), std::string::npos);

    ASSERT_EQ(start({"-f", a, "-Vf", view, "-i"}), 0);
    frame(&err);
    EXPECT_NE(err.find("reading view file"), std::string::npos);
    EXPECT_EQ(err.find("normal white-on-black"), std::string::npos);
    EXPECT_FLOAT_EQ(vqtest::scene().background.r, 1.0f);
}

TEST(Keys, NumberKeysAndTheirParities)
{
    vt::freshViewer();
    int d = 2;
    numcb(&d);
    EXPECT_EQ(numcount[2], 1);
    d = 9;
    numcb(&d);
    EXPECT_EQ(do_slice_reveal, 1);
    d = 0;
    numcb(&d);
    EXPECT_EQ(do_slice_reveal, -1);
    EXPECT_EQ(numcount[0], 1);
    EXPECT_EQ(numcount[9], 1);
    for (int bad : {10, -1, 1000}) {
        numcb(&bad);
    }
    int total = 0;
    for (int n : numcount)
        total += n;
    EXPECT_EQ(total, 3);
    EXPECT_EQ(do_slice_reveal, -1);
    d = 5;
    numcb(&d);
    EXPECT_EQ(numcount[5], 1);
    EXPECT_EQ(do_slice_reveal, -1);
}

TEST(Keys, BTogglesAndPIsRefusedOutsideAllSliceSets)
{
    vt::freshViewer();
    unsigned char P = 'P', B = 'B', p = 'p', b = 'b';
    testing::internal::CaptureStderr();
    EXPECT_EQ(kcb(&P), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "TOGGLE VR MODE TO ALL SLICE SETS WITH 'B' THEN TRY AGAIN!!!\n");
    EXPECT_EQ(kcb(&B), 0);
    EXPECT_EQ(doPRC, 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(kcb(&P), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(kcb(&B), 0);
    EXPECT_EQ(doPRC, 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(kcb(&P), 1);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(kcb(&p), 0);
    EXPECT_EQ(kcb(&b), 0);
    EXPECT_EQ(doPRC, 0);
}

TEST(Slicing, AxisViewOfA64Cube)
{
    ASSERT_EQ(start({"-f", cube64(), "-3d"}), 0);
    look(0, 0, 5);
    frame();
    ASSERT_EQ(polys().size(), 127u);
    for (const vq::TexPoly &p : polys()) {
        EXPECT_EQ(p.v.size(), 4u);
        EXPECT_EQ(p.tex, tex3d[0]);
        EXPECT_FLOAT_EQ(p.alpha, 0.6f);
        EXPECT_EQ(p.mode, 's');
        // Along z the texture's third coordinate is constant on a slice.
        for (const vq::Vec3 &t : p.t)
            EXPECT_FLOAT_EQ(t.z, p.t[0].z);
    }
    // Far to near: the camera sits at +z, so z grows.
    EXPECT_LT(polys().front().v[0].z, polys().back().v[0].z);
    // The far end is the volume's first plane along k.
    EXPECT_LT(polys().front().t[0].z, polys().back().t[0].z);
    EXPECT_NEAR(polys().front().t[0].z, 1.0 / 128 * 1, 0.02);

    ASSERT_EQ(start({"-f", cube64(), "-3d", "-Sp", "2"}), 0);
    look(5, 0, 0);
    frame();
    EXPECT_EQ(polys().size(), 63u);
}

TEST(Slicing, ObliqueViewsGiveThreeToSixVertices)
{
    ASSERT_EQ(start({"-f", cube64(), "-3d"}), 0);
    const Point3 eyes[] = {{3, 2, 1}, {1, 1, 1}, {-1, 2, -3}, {0, 1, 1}};
    for (const Point3 &e : eyes) {
        look(e.x, e.y, e.z, Point3{0, 0, 1});
        frame();
        ASSERT_FALSE(polys().empty());
        bool sawMore = false;
        for (const vq::TexPoly &p : polys()) {
            EXPECT_GE(p.v.size(), 3u);
            EXPECT_LE(p.v.size(), 6u);
            sawMore = sawMore || p.v.size() > 4;
            EXPECT_TRUE(convexInOrder(p.v));
        }
        if (e.x == 1 && e.y == 1) {
            EXPECT_TRUE(sawMore);
        }
    }
}

// State for slicing a hand-made box, window = viewport so world = scene.
void boxVolume(int nx, int ny, int nz)
{
    vt::freshViewer();
    vqtest::openHeadless();
    NVR = 1;
    _nx[0] = nx;
    _ny[0] = ny;
    _nz[0] = nz;
    const float tr[12] = {0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    std::memcpy(_tr[0], tr, sizeof tr);
    tex3d[0] = svqc3dt(nx, ny, nz);
    registerCallbacks();
    svqsrm(1);
}

TEST(Slicing, PlanesThroughCornersAreMerged)
{
    // Box 0..2 x 0..2 x 0..1 seen along (1, 1, 0): one plane, x + y = 2,
    // through four corners met by eight edges.
    boxVolume(3, 3, 2);
    do_3d_render = 1;
    _3d_speed_up = 8;
    look(-5, -5, 0, Point3{0, 0, 1});
    frame();
    ASSERT_EQ(polys().size(), 1u);
    EXPECT_EQ(polys()[0].v.size(), 4u);
    for (const vq::Vec3 &v : polys()[0].v)
        EXPECT_NEAR(v.x + v.y, 2.0, 1e-6);

    // Along the diagonal the planes come within rounding of three corners.
    boxVolume(3, 3, 3);
    do_3d_render = 1;
    for (int sp = 1; sp <= 10; sp++) {
        _3d_speed_up = sp;
        look(-5, -5, -5, Point3{0, 0, 1});
        frame();
        for (const vq::TexPoly &p : polys()) {
            EXPECT_GE(p.v.size(), 3u);
            EXPECT_LE(p.v.size(), 6u);
        }
    }
}

TEST(Slicing, OutlinesPerVolumeColour)
{
    std::string a = vt::writeVolume("oa.xrw", 8, 8, 8, 1, 1, 1, half);
    std::string b = vt::writeVolume("ob.xrw", 8, 8, 8, 1, 1, 1, half);
    ASSERT_EQ(start({"-f", a, "-f", b, "-3d"}), 0);
    look(0, 0, 5);
    svqsrm(0);
    frame();
    const auto &lines = vqtest::frameList().lines;
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(polys().empty());
    const vq::Scene &s = vqtest::scene();
    for (size_t n = 0; n < lines.size(); n++) {
        const vq::Polyline &l = lines[n];
        ASSERT_EQ(l.p.size(), 5u);
        EXPECT_EQ(l.p.front().x, l.p.back().x);
        EXPECT_EQ(l.p.front().y, l.p.back().y);
        const vq::Rgb &want = s.colours[2 + n % 2];
        EXPECT_EQ(l.colour.r, want.r);
        EXPECT_EQ(l.colour.g, want.g);
        EXPECT_EQ(l.colour.b, want.b);
    }
}

TEST(Slicing, TwoVolumesInterleaveFarToNear)
{
    std::string a = vt::writeVolume("ia.xrw", 8, 8, 8, 1, 1, 1, half);
    ASSERT_EQ(start({"-f", a, "-f", a, "-3d"}), 0);
    look(0, 0, 5);
    frame();
    const auto &p = polys();
    ASSERT_EQ(p.size() % 2, 0u);
    int N = static_cast<int>(p.size() / 2);
    EXPECT_EQ(N, 15);
    for (int n = 0; n + 1 < static_cast<int>(p.size()); n++) {
        EXPECT_EQ(p[n].tex, tex3d[n % 2]);
        // Each polygon a little nearer (larger z) than the one before.
        EXPECT_LT(p[n].v[0].z, p[n + 1].v[0].z);
    }
    // Volume 1 sits half a spacing nearer than volume 0.
    double step = p[2].v[0].z - p[0].v[0].z;
    EXPECT_NEAR(p[1].v[0].z - p[0].v[0].z, step / 2, 1e-5);
}

TEST(Slicing, RevealWithKeyNine)
{
    ASSERT_EQ(start({"-f", cube64(), "-3d"}), 0);
    look(0, 0, 5);
    frame();
    frame();
    vqtest::pressKey('9');
    frame();
    int base = frameCount();
    EXPECT_EQ(frameBase(), base);
    EXPECT_EQ(do_slice_reveal, 2);
    EXPECT_TRUE(polys().empty());
    int last = 0;
    for (int e = 1; e <= 450; e++) {
        frame();
        int f = static_cast<int>(static_cast<float>(e) / 450.0f * 127.0f);
        if (f >= 127)
            f = 126;
        int drawn = static_cast<int>(polys().size());
        // f slices plus the front one drawn opaque first.
        ASSERT_EQ(drawn, f == 0 ? 0 : f + 1) << e;
        ASSERT_GE(drawn, last);
        last = drawn;
        if (drawn > 0) {
            EXPECT_FLOAT_EQ(polys()[drawn - 2].alpha, 1.0f);
            EXPECT_FLOAT_EQ(polys()[drawn - 1].alpha, 0.6f);
        }
    }
    EXPECT_EQ(polys().size(), 127u);
    frame();
    EXPECT_EQ(do_slice_reveal, 0);
    EXPECT_EQ(polys().size(), 127u);
    for (const vq::TexPoly &p : polys())
        EXPECT_FLOAT_EQ(p.alpha, 0.6f);
}

TEST(Slicing, RevealWithKeyZero)
{
    ASSERT_EQ(start({"-f", cube64(), "-3d"}), 0);
    look(0, 0, 5);
    frame();
    vqtest::pressKey('0');
    frame();
    EXPECT_EQ(do_slice_reveal, -2);
    ASSERT_EQ(polys().size(), 128u);
    EXPECT_FLOAT_EQ(polys()[126].alpha, 1.0f);
    EXPECT_FLOAT_EQ(polys()[127].alpha, 0.6f);
    for (int e = 1; e <= 450; e++)
        frame();
    // Only the farthest slice, drawn twice.
    ASSERT_EQ(polys().size(), 2u);
    frame();
    EXPECT_EQ(polys().size(), 127u);
    EXPECT_EQ(do_slice_reveal, 0);

    // A new press during a reveal starts again.
    vqtest::pressKey('0');
    frame();
    for (int e = 0; e < 100; e++)
        frame();
    vqtest::pressKey('9');
    frame();
    EXPECT_TRUE(polys().empty());
    EXPECT_EQ(do_slice_reveal, 2);
}

TEST(Slicing, NineAndZeroDoNothingWithoutTextures)
{
    std::string a = vt::writeVolume("nt.xrw", 4, 4, 4, 1, 1, 1, half);
    ASSERT_EQ(start({"-f", a}), 0);
    vqtest::pressKey('9');
    frame();
    frame();
    EXPECT_EQ(do_slice_reveal, 1);
    EXPECT_EQ(vqtest::frameList().volumes.size(), 3u);
}

TEST(Slicing, NothingForAFlatBox)
{
    boxVolume(1, 1, 1);
    do_3d_render = 1;
    look(0, 0, 5);
    frame();
    EXPECT_TRUE(polys().empty());
}

} // namespace

namespace {

// The slicing as first written: every edge through LinePlane, every vector
// operation through the library. The viewer's own must draw the same.
void referenceSlices(double *, int *)
{
    static const Point3 U[8] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0},
                                {0, 0, 1}, {1, 0, 1}, {0, 1, 1}, {1, 1, 1}};
    static const int E[12][2] = {{0, 1}, {0, 2}, {1, 3}, {2, 3}, {4, 5}, {4, 6},
                                 {5, 7}, {6, 7}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
    Point3 eye, up, dir;
    svqqc(&eye, &up, &dir, 1);
    Normalise(&dir);
    Point3 right = CrossProduct(dir, up);
    Point3 W[MAX_VOLUMES][8];
    for (int v = 0; v < NVR; v++)
        for (int c = 0; c < 8; c++) {
            const float *t = _tr[v];
            double ci = U[c].x * (_nx[v] - 1), cj = U[c].y * (_ny[v] - 1), ck = U[c].z * (_nz[v] - 1);
            W[v][c] = {t[0] + t[1] * ci + t[2] * cj + t[3] * ck, t[4] + t[5] * ci + t[6] * cj + t[7] * ck,
                       t[8] + t[9] * ci + t[10] * cj + t[11] * ck};
        }
    int nearC = 0, farC = 0;
    float lo = 9.0e30f, hi = -9.0e30f;
    for (int c = 0; c < 8; c++) {
        float depth = static_cast<float>(DotProduct(VectorSub(eye, W[0][c]), dir));
        if (depth < lo) {
            lo = depth;
            nearC = c;
        }
        if (depth > hi) {
            hi = depth;
            farC = c;
        }
    }
    double extent = DotProduct(VectorSub(W[0][nearC], W[0][farC]), dir);
    double diag = Modulus(VectorSub(W[0][0], W[0][7]));
    float q = static_cast<float>(static_cast<float>(extent) / diag);
    int N = static_cast<int>(
        2.0 * q * std::sqrt(static_cast<double>(_nx[0] * _nx[0] + _ny[0] * _ny[0] + _nz[0] * _nz[0])));
    N /= _3d_speed_up;
    for (int s = N; s >= 1; s--)
        for (int v = 0; v < NVR; v++) {
            float frac = (static_cast<float>(s) - static_cast<float>(v) / NVR) / static_cast<float>(N + 1);
            Point3 Q = VectorAdd(W[0][nearC], VectorMul(VectorSub(W[0][nearC], W[0][farC]), frac));
            Plane4 plane = {dir.x, dir.y, dir.z, -DotProduct(dir, Q)};
            double mu;
            Point3 Q0, P;
            LinePlane(&mu, &Q0, eye, VectorAdd(eye, dir), plane);
            double eps = 1e-9 * Modulus(VectorSub(W[v][0], W[v][7]));
            struct Cut {
                int edge;
                float mu, angle;
                Point3 p;
            } list[12];
            int k = 0;
            for (int e = 0; e < 12; e++) {
                if (!LinePlane(&mu, &P, W[v][E[e][0]], W[v][E[e][1]], plane) || mu < 0.0 || mu > 1.0)
                    continue;
                bool repeated = false;
                for (int j = 0; j < k; j++)
                    repeated = repeated || VectorLength(list[j].p, P) <= eps;
                if (repeated)
                    continue;
                Point3 u = VectorSub(Q0, P);
                Normalise(&u);
                float angle = static_cast<float>(std::atan2(DotProduct(u, up), DotProduct(u, right)));
                int at = 0;
                while (at < k && list[at].angle < angle)
                    at++;
                for (int j = k; j > at; j--)
                    list[j] = list[j - 1];
                list[at] = {e, static_cast<float>(mu), angle, P};
                k++;
            }
            if (k < 3)
                continue;
            Point3 V[12], T[12];
            for (int j = 0; j < k; j++) {
                int a = E[list[j].edge][0], b = E[list[j].edge][1];
                V[j] = VectorAdd(W[v][a], VectorMul(VectorSub(W[v][a], W[v][b]), list[j].mu));
                T[j] = VectorAdd(U[a], VectorMul(VectorSub(U[a], U[b]), list[j].mu));
            }
            nvqtexpoly3d(V, T, static_cast<float>(k), tex3d[v], 's', 0.6f);
        }
}

bool sameVec(const vq::Vec3 &a, const vq::Vec3 &b)
{
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

TEST(Slicing, SameAsTheStraightforwardSlicing)
{
    std::string a = vt::writeVolume("refa.xrw", 20, 12, 9, 1.0f, 1.5f, 2.0f, half);
    std::string m = vt::writeText("refm.txt", "1 0.2 0 -10\n0.1 1.5 0 -9\n0 0.3 2 -9\n0 0 0 1\n");
    ASSERT_EQ(start({"-f", a, "-f", a, "-M", m, "-3d"}), 0);
    const Point3 eyes[] = {{3, 2, 1}, {1, 1, 1},      {-1, 2, -3}, {0, 1, 1},
                           {0, 0, 4}, {0.3, -2, 0.1}, {-4, -4, -4}};
    for (const Point3 &e : eyes) {
        look(e.x, e.y, e.z, Point3{0, 0.8, 0.6});
        cvqscb(referenceSlices);
        frame();
        std::vector<vq::TexPoly> want = polys();
        cvqscb(cb);
        frame();
        const std::vector<vq::TexPoly> &got = polys();
        ASSERT_EQ(got.size(), want.size());
        ASSERT_FALSE(got.empty());
        for (size_t n = 0; n < got.size(); n++) {
            ASSERT_EQ(got[n].v.size(), want[n].v.size()) << n;
            EXPECT_EQ(got[n].tex, want[n].tex);
            for (size_t j = 0; j < got[n].v.size(); j++) {
                EXPECT_TRUE(sameVec(got[n].v[j], want[n].v[j])) << n << " " << j;
                EXPECT_TRUE(sameVec(got[n].t[j], want[n].t[j])) << n << " " << j;
            }
        }
    }
}

} // namespace

namespace {

TEST(LookOverlays, TickLabelsFollowTheWindowInTheFilesUnits)
{
    ASSERT_EQ(start({"-f", cube64(), "-d", "0.2", "0.6", "-colourbar", "-orientation", "-scalebar"}), 0);
    frame();
    const vq::Overlay &o = vqtest::panel().overlay;
    EXPECT_EQ(o.tickText, (std::vector<std::string>{"0.2", "0.3", "0.4", "0.5", "0.6"}));
    EXPECT_EQ(o.barLo, colourBlockStart(0));
    EXPECT_EQ(o.barHi, colourBlockStart(0) + 255);
    // An XRW file's axes have no anatomical names.
    EXPECT_EQ(o.axisLabels, (std::vector<std::string>{"+x", "-x", "+y", "-y", "+z", "-z"}));
    EXPECT_DOUBLE_EQ(o.mmPerUnit, 1);
    EXPECT_EQ(o.line, "");
    // A drag moves the ticks with the window, and says the window meanwhile.
    int phase = 0;
    float dx = 0.4f, dy = 0;
    lookDrag(&phase, &dx, &dy);
    phase = 1;
    lookDrag(&phase, &dx, &dy);
    frame();
    EXPECT_EQ(o.tickText, (std::vector<std::string>{"0", "0.2", "0.4", "0.6", "0.8"}));
    EXPECT_EQ(o.line, "window 0 .. 0.8");
    phase = 2;
    lookDrag(&phase, &dx, &dy);
    // An imported file's byte window stands for its values; its axes are LPS.
    setLookUnits(0, -1000, 3000);
    setLookPatientAxes(0, 1);
    frame();
    EXPECT_EQ(o.tickText.front(), "-1000");
    EXPECT_EQ(o.tickText.back(), "2200");
    EXPECT_EQ(o.axisLabels, (std::vector<std::string>{"L", "R", "P", "A", "S", "I"}));
    EXPECT_EQ(o.line, "");
    // The overlay key hides what was asked for.
    unsigned char key = 'O';
    kcb(&key);
    frame();
    EXPECT_LT(o.barHi, o.barLo);
    EXPECT_TRUE(o.axisLabels.empty());
    EXPECT_DOUBLE_EQ(o.mmPerUnit, 0);
}

TEST(LookOverlays, NoneUnlessAskedAndTheKeyBringsAll)
{
    ASSERT_EQ(start({"-f", cube64()}), 0);
    frame();
    const vq::Overlay &o = vqtest::panel().overlay;
    EXPECT_LT(o.barHi, o.barLo);
    EXPECT_TRUE(o.axisLabels.empty());
    EXPECT_DOUBLE_EQ(o.mmPerUnit, 0);
    unsigned char key = 'O';
    kcb(&key);
    frame();
    EXPECT_GE(o.barHi, o.barLo);
    EXPECT_EQ(o.axisLabels.size(), 6u);
    EXPECT_DOUBLE_EQ(o.mmPerUnit, 1);
}

} // namespace
