// The scene model through the C API: mapping, colours, primitives, volumes.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>

#include "vqscene_inspect.h"

namespace {

class Model : public ::testing::Test {
  protected:
    void SetUp() override { vqtest::openHeadless(); }
    void TearDown() override { vqtest::closeScene(); }
};

} // namespace

TEST(DefaultScene, CallsBeforeOpeningWork)
{
    vq::resetScene();
    float x[] = {1}, y[] = {1}, z[] = {1};
    vqpt(1, x, y, z, 1);
    vqscr(20, 0.5f, 0.5f, 0.5f);
    ASSERT_EQ(vq::scene().panels.size(), 1u);
    EXPECT_EQ(vq::scene().panels[0].staticList.points.size(), 1u);
    EXPECT_FALSE(vq::scene().open);
    vq::resetScene();
    EXPECT_TRUE(vq::scene().panels[0].staticList.points.empty());
    EXPECT_EQ(vq::scene().colours[20].r, 0);
}

TEST_F(Model, PointsMapFromTheWindowInForceAtTheCall)
{
    vqsvp(-1, 1, -0.5f, 0.5f, -2, 2);
    vqswin(0, 10, 0, 10, 0, 10);
    float x[] = {0, 10, 5}, y[] = {0, 10, 2.5f}, z[] = {0, 10, 7.5f};
    vqpt(3, x, y, z, 1);
    // A later window moves what is drawn after it only.
    vqswin(-10, 10, -10, 10, -10, 10);
    vqpt(3, x, y, z, 1);
    const vq::PrimList &l = vqtest::staticList();
    ASSERT_EQ(l.points.size(), 2u);
    const auto &a = l.points[0].p, &b = l.points[1].p;
    EXPECT_FLOAT_EQ(a[0].x, -1);
    EXPECT_FLOAT_EQ(a[0].y, -0.5f);
    EXPECT_FLOAT_EQ(a[0].z, -2);
    EXPECT_FLOAT_EQ(a[1].x, 1);
    EXPECT_FLOAT_EQ(a[1].y, 0.5f);
    EXPECT_FLOAT_EQ(a[1].z, 2);
    EXPECT_FLOAT_EQ(a[2].x, 0);
    EXPECT_FLOAT_EQ(a[2].y, -0.25f);
    EXPECT_FLOAT_EQ(a[2].z, 1);
    EXPECT_FLOAT_EQ(b[2].x, 0.5f);
    EXPECT_FLOAT_EQ(b[2].z, 1.5f);
}

TEST_F(Model, WindowQueryGivesBackExactlyWhatWasSet)
{
    vqswin(-0.1f, 3.3f, 1e-7f, 7.7f, -123.456f, 1e6f);
    float v[6];
    vqqwin(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
    EXPECT_EQ(v[0], -0.1f);
    EXPECT_EQ(v[1], 3.3f);
    EXPECT_EQ(v[2], 1e-7f);
    EXPECT_EQ(v[3], 7.7f);
    EXPECT_EQ(v[4], -123.456f);
    EXPECT_EQ(v[5], 1e6f);
    // A window that is not finite is refused and the last one stays.
    vqswin(NAN, 1, 0, 1, 0, 1);
    vqqwin(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
    EXPECT_EQ(v[1], 3.3f);
}

TEST_F(Model, FlatWindowAxisMapsToTheViewportCentre)
{
    vqsvp(-1, 1, -1, 1, 2, 4);
    vqswin(0, 1, 0, 1, 5, 5);
    float x[] = {0.5f}, y[] = {0.5f}, z[] = {5};
    vqpt(1, x, y, z, 1);
    const vq::Vec3 &p = vqtest::staticList().points[0].p[0];
    EXPECT_FLOAT_EQ(p.z, 3);
    EXPECT_TRUE(std::isfinite(p.x));
}

TEST_F(Model, NormalsFollowTheInverseTransposeAndStayUnit)
{
    // Stretch x by 2 (window 0..1 onto -1..1) and keep y: a face on the
    // plane x + y = 1 has normal (1,1,0)/sqrt2 in world units and lies on
    // x/2 + y = 1 in the scene, whose normal is (1,2,0)/sqrt5.
    vqsvp(-1, 1, 0, 1, 0, 1);
    vqswin(0, 1, 0, 1, 0, 1);
    Point3 p[3] = {{1, 0, 0}, {0, 1, 0}, {0, 1, 1}};
    double r = 1 / std::sqrt(2.0);
    Point3 n[3] = {{r, r, 0}, {r, r, 0}, {r, r, 0}};
    nvqvf3n(p, n, Colour3{1, 1, 1});
    const vq::Facet &f = vqtest::staticList().facets.at(0);
    EXPECT_TRUE(f.smooth);
    EXPECT_NEAR(f.n[0].x, 1 / std::sqrt(5.0), 1e-6);
    EXPECT_NEAR(f.n[0].y, 2 / std::sqrt(5.0), 1e-6);
    // Perpendicular to a scene edge of the face.
    vq::Vec3 e{f.p[1].x - f.p[0].x, f.p[1].y - f.p[0].y, f.p[1].z - f.p[0].z};
    EXPECT_NEAR(e.x * f.n[0].x + e.y * f.n[0].y + e.z * f.n[0].z, 0, 1e-6);
}

TEST_F(Model, PrimitivesCarryColourWidthAndName)
{
    vqsci(4);
    vqslw(3);
    pushVRMLname("cloud");
    float x[] = {0, 1}, y[] = {0, 1}, z[] = {0, 1};
    vqpt(2, x, y, z, 7);
    vqline(2, x, y, z);
    pushVRMLname("ANON");
    vqline(1, x, y, z); // one point: no segment, nothing recorded
    Point3 tri[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    nvqvf3a(tri, 's', Colour3{0, 1, 0}, 0.25f);
    nvqvf3a(tri, 's', Colour3{0, 1, 0}, NAN);
    const vq::PrimList &l = vqtest::staticList();
    ASSERT_EQ(l.points.size(), 1u);
    EXPECT_EQ(l.points[0].symbol, 7);
    EXPECT_EQ(l.points[0].size, 3);
    EXPECT_EQ(l.points[0].colour.b, 1);
    EXPECT_EQ(l.points[0].colour.r, 0);
    EXPECT_EQ(vqtest::nameOf(l.points[0].name), "cloud");
    ASSERT_EQ(l.lines.size(), 1u);
    EXPECT_EQ(vqtest::nameOf(l.lines[0].name), "cloud");
    ASSERT_EQ(l.facets.size(), 2u);
    EXPECT_TRUE(l.facets[0].transparent);
    EXPECT_FLOAT_EQ(l.facets[0].alpha, 0.25f);
    EXPECT_EQ(vqtest::nameOf(l.facets[0].name), "ANON");
    // A name pushed again reuses its entry.
    EXPECT_EQ(l.facets[0].name, 0);
    pushVRMLname("cloud");
    EXPECT_EQ(vqtest::scene().currentName, l.points[0].name);
    EXPECT_EQ(vqtest::scene().names.size(), 2u);
    // Not a number counts as opaque.
    EXPECT_FALSE(l.facets[1].transparent);
    EXPECT_EQ(vqtest::nameOf(12345), "");
}

TEST_F(Model, TexturedPolygonsRoundTheirCountAndCheckTheTexture)
{
    int tex = svqc3dt(2, 2, 2);
    ASSERT_GE(tex, 0);
    Point3 v[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    Point3 t[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    nvqtexpoly3d(v, t, 3.6f, tex, 's', 0.6f);
    nvqtexpoly3d(v, t, 0.4f, tex, 's', 0.6f);
    nvqtexpoly3d(v, t, NAN, tex, 's', 0.6f);
    nvqtexpoly3d(v, t, 1e9f, tex, 's', 0.6f);
    nvqtexpoly3d(v, t, 4, tex + 1, 's', 0.6f);
    const vq::PrimList &l = vqtest::staticList();
    ASSERT_EQ(l.texPolys.size(), 1u);
    EXPECT_EQ(l.texPolys[0].v.size(), 4u);
    EXPECT_EQ(l.texPolys[0].tex, tex);
    EXPECT_FLOAT_EQ(l.texPolys[0].alpha, 0.6f);
}

TEST(Colours, DefaultsRoundTripsAndBounds)
{
    vqtest::openHeadless();
    float r, g, b;
    // Every standard colour as the library's table holds it, a few of
    // them by their components.
    for (int i = 0; i < 16; i++) {
        vqqcr(i, &r, &g, &b);
        EXPECT_EQ(r, vq::kDefaultColours[i].r) << i;
        EXPECT_EQ(g, vq::kDefaultColours[i].g) << i;
        EXPECT_EQ(b, vq::kDefaultColours[i].b) << i;
    }
    const struct {
        int index;
        float r, g, b;
    } named[] = {{0, 0, 0, 0}, {1, 1, 1, 1}, {2, 1, 0, 0}, {8, 1, 0.5f, 0}, {14, 1 / 3.f, 1 / 3.f, 1 / 3.f}};
    for (const auto &c : named) {
        vqqcr(c.index, &r, &g, &b);
        EXPECT_NEAR(r, c.r, 1e-6) << c.index;
        EXPECT_NEAR(g, c.g, 1e-6) << c.index;
        EXPECT_NEAR(b, c.b, 1e-6) << c.index;
    }
    vqqcr(16, &r, &g, &b);
    EXPECT_EQ(r + g + b, 0);
    vqqcr(16383, &r, &g, &b);
    EXPECT_EQ(r + g + b, 0);

    vqscr(1234, 0.1f, 0.123456789f, 0.9999999f);
    vqqcr(1234, &r, &g, &b);
    EXPECT_EQ(r, 0.1f);
    EXPECT_EQ(g, 0.123456789f);
    EXPECT_EQ(b, 0.9999999f);

    // Out of range indices are refused without touching the table.
    vq::Scene &s = vqtest::scene();
    vq::Rgb last = s.colours[vq::kColourTableSize - 1];
    vqscr(vq::kColourTableSize, 1, 1, 1);
    vqscr(-1, 1, 1, 1);
    EXPECT_EQ(s.colours[vq::kColourTableSize - 1].r, last.r);
    r = g = b = 7;
    vqqcr(-5, &r, &g, &b);
    EXPECT_EQ(r, 0);
    vqsci(99999);
    EXPECT_EQ(s.ci, 1);

    int lo = 0, hi = 0;
    vqscir(1000, 1255);
    vqqcir(&lo, &hi);
    EXPECT_EQ(lo, 1000);
    EXPECT_EQ(hi, 1255);
    vqtest::closeScene();
}

TEST(Colours, NamedMapsFillTheirRangeOnly)
{
    vqtest::openHeadless();
    float r, g, b;
    vqicm("grey", 100, 110);
    vqqcr(100, &r, &g, &b);
    EXPECT_EQ(r, 0);
    vqqcr(110, &r, &g, &b);
    EXPECT_EQ(r, 1);
    vqqcr(105, &r, &g, &b);
    EXPECT_FLOAT_EQ(g, 0.5f);
    vqqcr(111, &r, &g, &b);
    EXPECT_EQ(r + g + b, 0);

    // Endpoints of the perceptual maps (published values, 8-bit).
    vqicm("viridis", 200, 455);
    vqqcr(200, &r, &g, &b);
    EXPECT_NEAR(r, 0x44 / 255.0, 1e-6);
    EXPECT_NEAR(b, 0x54 / 255.0, 1e-6);
    vqqcr(455, &r, &g, &b);
    EXPECT_NEAR(r, 0xfd / 255.0, 1e-6);
    EXPECT_NEAR(g, 0xe7 / 255.0, 1e-6);
    // Half way: #21918c.
    vqicm("viridis", 500, 502);
    vqqcr(501, &r, &g, &b);
    EXPECT_NEAR(g, 0x91 / 255.0, 1e-6);
    vqicm("magma", 600, 601);
    vqqcr(601, &r, &g, &b);
    EXPECT_NEAR(b, 0xbf / 255.0, 1e-6);

    vqicm("rainbow", 700, 702);
    vqqcr(700, &r, &g, &b);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(r, 0);
    vqqcr(702, &r, &g, &b);
    EXPECT_EQ(r, 1);
    EXPECT_EQ(b, 0);
    vqicm("hot", 800, 900);
    vqqcr(900, &r, &g, &b);
    EXPECT_EQ(r + g + b, 3);
    vqicm("cool", 900, 901);
    vqqcr(900, &r, &g, &b);
    EXPECT_EQ(g, 1);

    // A range that runs off the table writes only the part inside it.
    vqicm("grey", 16380, 16390);
    vqqcr(16383, &r, &g, &b);
    EXPECT_NEAR(r, 0.3, 1e-6);
    vqicm("grey", -4, 0);
    vqqcr(0, &r, &g, &b);
    EXPECT_EQ(r, 1);
    vqtest::closeScene();
}

TEST(Colours, MapFileAndUnknownNames)
{
    vqtest::openHeadless();
    {
        std::ofstream f("cmap_test.txt");
        f << "# two colours\n0 0 1\n\n1 0 0\n";
    }
    vqicm("cmap_test.txt", 10, 14);
    float r, g, b;
    vqqcr(10, &r, &g, &b);
    EXPECT_EQ(b, 1);
    vqqcr(12, &r, &g, &b);
    EXPECT_FLOAT_EQ(r, 0.5f);
    EXPECT_FLOAT_EQ(b, 0.5f);
    vqqcr(14, &r, &g, &b);
    EXPECT_EQ(r, 1);

    {
        std::ofstream f("cmap_bad.txt");
        f << "0 0 1\n1 0 2\n";
    }
    {
        std::ofstream f("cmap_long.txt");
        f << "0 0 1\n0.5 0.5 0.5" << std::string(600, ' ') << "1\n";
    }
    vqtest::scene().colours[20] = {0.25f, 0.25f, 0.25f};
    testing::internal::CaptureStderr();
    vqicm("cmap_bad.txt", 20, 30);
    vqicm("cmap_long.txt", 20, 30);
    vqicm("no-such-map", 20, 30);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("cmap_bad.txt"), std::string::npos);
    EXPECT_NE(err.find("cmap_long.txt"), std::string::npos);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 3);
    EXPECT_NE(err.find("vqscene: unknown colour map 'no-such-map'; colours unchanged\n"), std::string::npos);
    vqqcr(20, &r, &g, &b);
    EXPECT_EQ(r, 0.25f);
    std::remove("cmap_test.txt");
    std::remove("cmap_bad.txt");
    std::remove("cmap_long.txt");
    vqtest::closeScene();
}

TEST_F(Model, VolumeRefusalsAndTransform)
{
    static float row[2] = {0, 1};
    static float *rows[2] = {row, row};
    static float **planes[2] = {rows, rows};
    float tr[12] = {-1, 1, 0, 0, -1, 0, 1, 0, -1, 0, 0, 1};
    EXPECT_EQ(nvqcvr(nullptr, 2, 2, 2, 0, 1, 0, 1, 0, 1, tr, 's', 0, 1, 0, 1), -1);
    EXPECT_EQ(nvqcvr(planes, 0, 2, 2, 0, 1, 0, 1, 0, 1, tr, 's', 0, 1, 0, 1), -1);
    EXPECT_EQ(nvqcvr(planes, 2, 2, 2, 5, 9, 0, 1, 0, 1, tr, 's', 0, 1, 0, 1), -1);
    EXPECT_EQ(nvqcvr(planes, 2, 2, 2, 0, 1, 0, 1, 0, 1, nullptr, 's', 0, 1, 0, 1), -1);
    float *holes[2] = {row, nullptr};
    float **bad[2] = {rows, holes};
    EXPECT_EQ(nvqcvr(bad, 2, 2, 2, 0, 1, 0, 1, 0, 1, tr, 's', 0, 1, 0, 1), -1);

    vqsvp(-2, 2, -2, 2, -2, 2);
    vqswin(-1, 1, -1, 1, -1, 1);
    int id = nvqcvr(planes, 2, 2, 2, -3, 7, 0, 1, 0, 1, tr, 's', 0, 1, 0, 1);
    ASSERT_EQ(id, 0);
    const vq::Volume &v = vqtest::scene().volumes[id];
    EXPECT_EQ(v.i1, 0);
    EXPECT_EQ(v.i2, 1);
    // Index to scene: world doubled.
    EXPECT_DOUBLE_EQ(v.tr[0], -2);
    EXPECT_DOUBLE_EQ(v.tr[1], 2);
    EXPECT_DOUBLE_EQ(v.tr[11], 2);
    EXPECT_EQ(v.worldTr[1], 1);

    vqscir(1000, 1255);
    dvqdvrx(id, 0, 2, 0, -1);
    dvqdvrx(id + 1, 0, 1, 0, -1);
    dvqdvrx(id, 0, 4, 0, -1);
    ASSERT_EQ(vqtest::staticList().volumes.size(), 1u);
    EXPECT_EQ(vqtest::staticList().volumes[0].lo, 1000);
    EXPECT_EQ(vqtest::staticList().volumes[0].hi, 1255);
    EXPECT_EQ(vqtest::staticList().volumes[0].axis, 2);
}

TEST_F(Model, TexturesRefuseBadSizesAndCountVersions)
{
    EXPECT_EQ(svqc3dt(0, 4, 4), -1);
    EXPECT_EQ(svqc3dt(4, -1, 4), -1);
    EXPECT_EQ(svqc3dt(4096, 4096, 512), -1);  // 32 GiB
    int id = svqc3dt(3, 4, 5);
    ASSERT_GE(id, 0);
    int w, h, d;
    unsigned char *t = svqg3dt(id, &w, &h, &d);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(w, 3);
    EXPECT_EQ(h, 4);
    EXPECT_EQ(d, 5);
    EXPECT_EQ(vqtest::scene().textures[id].texels.size(), 3u * 4 * 5 * 4);
    t[4 * (2 + 3 * 3 + 12 * 4) + 3] = 200; // last texel, alpha
    EXPECT_EQ(vqtest::scene().textures[id].texels.back(), 200);
    EXPECT_EQ(vqtest::scene().textures[id].version, 0);
    svqpt(id);
    svqpt(id);
    EXPECT_EQ(vqtest::scene().textures[id].version, 2);
    EXPECT_EQ(svqg3dt(id + 1, &w, &h, &d), nullptr);
    EXPECT_EQ(w, 0);
    svqpt(-1);

    // Large textures come from a mapping of their own: still zero, writable
    // to the last byte, and each its own storage.
    int big = svqc3dt(257, 129, 65), big2 = svqc3dt(257, 129, 65);
    ASSERT_GE(big, 0);
    ASSERT_GE(big2, 0);
    unsigned char *b = svqg3dt(big, &w, &h, &d);
    size_t n = 4u * 257 * 129 * 65;
    size_t nonzero = 0;
    for (size_t i = 0; i < n; i += 4093)
        nonzero += b[i] != 0;
    EXPECT_EQ(nonzero, 0u);
    EXPECT_EQ(b[n - 1], 0);
    b[0] = b[n - 1] = 9;
    unsigned char *b2 = svqg3dt(big2, &w, &h, &d);
    EXPECT_EQ(b2[0], 0);
    EXPECT_EQ(b2[n - 1], 0);
    EXPECT_EQ(vqtest::scene().textures[big].texels.back(), 9);
}
