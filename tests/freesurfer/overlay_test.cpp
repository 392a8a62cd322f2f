// Per-vertex overlays as nibabel writes them: morphometry, MGH, GIfTI data
// and annotations, mapped to known colours; counts that do not fit refused.
#include <cmath>
#include <fstream>

#include "fixtures.h"
#include "obj.h"
#include "overlay.h"

namespace {

template <typename F> std::string captureStderr(F f)
{
    testing::internal::CaptureStderr();
    f();
    return testing::internal::GetCapturedStderr();
}

struct Sphere {
    Obj *obj = nullptr;
    Sphere()
    {
        captureStderr([&] {
            obj = loadObjFromFreeSurfer(fst::fixture("lh.sphere_scanner").c_str(), "s", 0.1f, 0.2f, 0.3f, 1);
        });
    }
    ~Sphere() { freeObj(obj); }
};

void expectColour(const Colour3 &c, double r, double g, double b, const std::string &what)
{
    EXPECT_NEAR(c.r, r, 1e-6) << what;
    EXPECT_NEAR(c.g, g, 1e-6) << what;
    EXPECT_NEAR(c.b, b, 1e-6) << what;
}

int apply(Obj *o, const std::string &name, const float *range, int map, std::string *err = nullptr)
{
    int rc = 0;
    std::string e = captureStderr([&] { rc = applyOverlay(o, fst::fixture(name).c_str(), range, map); });
    if (err)
        *err = e;
    return rc;
}

TEST(Overlay, ColourMapsAtTheirEnds)
{
    Colour3 c;
    ASSERT_TRUE(overlayColour(OVERLAY_HEAT, 2, 2, 4, &c));
    expectColour(c, 1, 0, 0, "heat lo");
    ASSERT_TRUE(overlayColour(OVERLAY_HEAT, 9, 2, 4, &c));
    expectColour(c, 1, 1, 0, "heat above hi");
    EXPECT_FALSE(overlayColour(OVERLAY_HEAT, 1.9f, 2, 4, &c));
    EXPECT_FALSE(overlayColour(OVERLAY_HEAT, NAN, 2, 4, &c));
    ASSERT_TRUE(overlayColour(OVERLAY_TWOSIDED, -3, 2, 4, &c));
    expectColour(c, 0, 0.5, 1, "twosided -3");
    EXPECT_FALSE(overlayColour(OVERLAY_TWOSIDED, -1.5f, 2, 4, &c));
    EXPECT_FALSE(overlayColour(OVERLAY_TWOSIDED, 1.5f, 2, 4, &c));
    // A heat map does not mirror negative values.
    EXPECT_FALSE(overlayColour(OVERLAY_HEAT, -3, 2, 4, &c));
    // Equal ends: at or above lo is the top colour.
    ASSERT_TRUE(overlayColour(OVERLAY_HEAT, 2, 2, 2, &c));
    expectColour(c, 1, 1, 0, "lo = hi");
    EXPECT_EQ(overlayMapByName("heat"), OVERLAY_HEAT);
    EXPECT_EQ(overlayMapByName("twosided"), OVERLAY_TWOSIDED);
    EXPECT_EQ(overlayMapByName("jet"), -1);
}

TEST(Overlay, EveryValueFormatGivesTheSameKnownColours)
{
    REQUIRE_FIXTURES();
    const float heat[2] = {0, 10}, signedRange[2] = {1, 9};
    // Uniform 5.0 on 0..10: half way up the heat map.
    for (const char *name : {"lh.thickness", "uniform.mgh", "uniform.func.gii"}) {
        Sphere s;
        ASSERT_NE(s.obj, nullptr);
        std::string err;
        ASSERT_EQ(apply(s.obj, name, heat, OVERLAY_HEAT, &err), 0) << name << ": " << err;
        ASSERT_NE(s.obj->vertexColours, nullptr);
        for (int i = 0; i < s.obj->nverts; i++)
            expectColour(s.obj->vertexColours[i], 1, 0.5, 0, name);
        EXPECT_EQ(currentOverlay.present, 1);
        EXPECT_EQ(currentOverlay.map, OVERLAY_HEAT);
        EXPECT_EQ(currentOverlay.hi, 10);
    }
    // +5 on the right half, -5 on the left: both sides of the two-sided map.
    for (const char *name : {"lh.curv", "signed.mgz", "signed.shape.gii"}) {
        Sphere s;
        ASSERT_EQ(apply(s.obj, name, signedRange, OVERLAY_TWOSIDED), 0) << name;
        int right = 0;
        for (int i = 0; i < s.obj->nverts; i++) {
            // LPS x below the centre's -2 is RAS right of it.
            bool isRight = s.obj->verts[i].x < -2;
            right += isRight;
            if (isRight)
                expectColour(s.obj->vertexColours[i], 1, 0.5, 0, name);
            else
                expectColour(s.obj->vertexColours[i], 0, 0.5, 1, name);
        }
        EXPECT_GT(right, 100);
        EXPECT_LT(right, s.obj->nverts - 100);
        // |v| below lo keeps the surface's colour.
        const float high[2] = {6, 9};
        ASSERT_EQ(apply(s.obj, name, high, OVERLAY_TWOSIDED), 0);
        for (int i = 0; i < s.obj->nverts; i++)
            expectColour(s.obj->vertexColours[i], 0.1f, 0.2f, 0.3f, name);
    }
}

TEST(Overlay, DefaultRangeIsTheDataOwn)
{
    REQUIRE_FIXTURES();
    Sphere s;
    ASSERT_EQ(apply(s.obj, "lh.ramp", nullptr, OVERLAY_HEAT), 0);
    int n = s.obj->nverts;
    EXPECT_EQ(currentOverlay.lo, 0);
    EXPECT_EQ(currentOverlay.hi, n - 1);
    for (int i : {0, n / 3, n - 1})
        expectColour(s.obj->vertexColours[i], 1, static_cast<double>(i) / (n - 1), 0, "ramp");
    ASSERT_EQ(apply(s.obj, "lh.curv", nullptr, OVERLAY_TWOSIDED), 0);
    EXPECT_EQ(currentOverlay.lo, 0);
    EXPECT_EQ(currentOverlay.hi, 5);
}

TEST(Overlay, AnnotationsGiveTheirTableColours)
{
    REQUIRE_FIXTURES();
    for (const char *name : {"lh.halves.annot", "halves.label.gii"}) {
        Sphere s;
        std::string err;
        ASSERT_EQ(apply(s.obj, name, nullptr, OVERLAY_HEAT, &err), 0) << err;
        EXPECT_EQ(currentOverlay.map, OVERLAY_LABELS);
        // Vertex 0 has no label of the table: the surface's colour.
        expectColour(s.obj->vertexColours[0], 0.1f, 0.2f, 0.3f, name);
        for (int i = 1; i < s.obj->nverts; i++) {
            if (s.obj->verts[i].x < -2)
                expectColour(s.obj->vertexColours[i], 200 / 255.0, 30 / 255.0, 40 / 255.0, name);
            else
                expectColour(s.obj->vertexColours[i], 30 / 255.0, 180 / 255.0, 60 / 255.0, name);
        }
    }
}

TEST(Overlay, CountsThatDoNotFitAndBadFilesAreOneLine)
{
    REQUIRE_FIXTURES();
    Sphere s;
    std::string err;
    EXPECT_EQ(apply(s.obj, "lh.short", nullptr, OVERLAY_HEAT, &err), -1);
    EXPECT_NE(err.find("641 values"), std::string::npos) << err;
    EXPECT_NE(err.find("642 vertices"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(s.obj->vertexColours, nullptr);
    // Another surface's data: the ball volume has 40^3 values.
    EXPECT_EQ(apply(s.obj, "ball.mgz", nullptr, OVERLAY_HEAT, &err), -1);
    EXPECT_NE(err.find("64000 values"), std::string::npos) << err;
    std::string annot = readWholeFile(fst::fixture("lh.halves.annot"));
    std::string curv = readWholeFile(fst::fixture("lh.curv"));
    for (const auto &b :
         std::vector<std::pair<std::string, std::string>>{{"annotcut", annot.substr(0, annot.size() - 30)},
                                                          {"annottable", annot.substr(0, 4 + 8 * 642 + 2)},
                                                          {"curvcut", curv.substr(0, curv.size() - 1)},
                                                          {"unknown", "hello\n"}}) {
        std::string path = scratchDir() + "/" + b.first;
        std::ofstream(path, std::ios::binary) << b.second;
        err = captureStderr(
            [&] { EXPECT_EQ(applyOverlay(s.obj, path.c_str(), nullptr, OVERLAY_HEAT), -1) << b.first; });
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << b.first << ": " << err;
        EXPECT_NE(err.find(path), std::string::npos) << b.first << ": " << err;
    }
}

} // namespace
