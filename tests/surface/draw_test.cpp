// Surface drawing, read back from what the scene library recorded.
#include <cmath>

#include "state.h"
#include "surface_test_util.h"
#include "vqscene_inspect.h"

namespace {

class SurfaceDraw : public testing::Test {
  protected:
    void SetUp() override
    {
        captureStderr([] { vqtest::openHeadless(); });
        vqswin(-4, 4, -6, 6, -8, 8);
    }
    void TearDown() override
    {
        resetViewerState();
        vqtest::closeScene();
    }
    const std::vector<vq::Facet> &facets() { return vqtest::staticList().facets; }
    std::string currentName() { return vqtest::nameOf(vqtest::scene().currentName); }
};

Obj *triangles(float alpha = 1.0f)
{
    return makeObj({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {1, 2, 3, 4, 3, 2}, alpha);
}

void expectAt(const vq::Vec3 &got, double x, double y, double z)
{
    vq::Vec3 want = vq::mapPoint(vqtest::panel(), x, y, z);
    EXPECT_NEAR(got.x, want.x, 1e-5);
    EXPECT_NEAR(got.y, want.y, 1e-5);
    EXPECT_NEAR(got.z, want.z, 1e-5);
}

TEST_F(SurfaceDraw, OpaqueWithoutNormalsIsFlatInCornerOrder)
{
    Obj *o = triangles(0.999f);
    drawObj(o);
    ASSERT_EQ(facets().size(), 2u);
    const vq::Facet &f = facets()[1];
    EXPECT_FALSE(f.smooth);
    EXPECT_FALSE(f.transparent);
    EXPECT_EQ(f.kind, 0);
    expectAt(f.p[0], 0, 0, 1);
    expectAt(f.p[1], 0, 1, 0);
    expectAt(f.p[2], 1, 0, 0);
    EXPECT_FLOAT_EQ(f.colour.g, 0.25f);
    EXPECT_EQ(vqtest::nameOf(f.name), "test");
    EXPECT_EQ(currentName(), "ANON");
    freeObj(o);
}

TEST_F(SurfaceDraw, NormalsMakeItSmoothTransparencyWins)
{
    Obj *o = triangles(1.0f);
    calcVertexNormals(o);
    drawObj(o);
    ASSERT_EQ(facets().size(), 2u);
    EXPECT_TRUE(facets()[0].smooth);
    EXPECT_FALSE(facets()[0].transparent);

    o->alpha = 0.998f;
    drawObj(o);
    ASSERT_EQ(facets().size(), 4u);
    const vq::Facet &t = facets()[2];
    EXPECT_TRUE(t.transparent);
    EXPECT_FALSE(t.smooth);
    EXPECT_EQ(t.kind, 's');
    EXPECT_FLOAT_EQ(t.alpha, 0.998f);

    // Not a number counts as opaque: smooth, not the transparent call.
    o->alpha = std::nanf("");
    drawObj(o);
    ASSERT_EQ(facets().size(), 6u);
    EXPECT_TRUE(facets()[4].smooth);
    EXPECT_EQ(facets()[4].kind, 0);
    freeObj(o);
}

TEST_F(SurfaceDraw, NoTrianglesAndBadFacetsDrawNothing)
{
    Obj *o = makeObj({{0, 0, 0}}, {});
    drawObj(o);
    EXPECT_TRUE(facets().empty());
    EXPECT_EQ(currentName(), "ANON");
    freeObj(o);
    // A record built by hand with a number beyond its vertices.
    o = makeObj({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {1, 2, 4, 1, 2, 3, 0, 1, 2});
    drawObj(o);
    EXPECT_EQ(facets().size(), 1u);
    freeObj(o);
}

class WeightDraw : public SurfaceDraw {
  protected:
    void SetUp() override
    {
        SurfaceDraw::SetUp();
        vqscir(10, 20);
        vqscr(10, 0.1f, 0.2f, 0.3f);
        vqscr(15, 0.4f, 0.4f, 0.4f);
        vqscr(20, 0.3f, 0.2f, 0.1f);
        vqscr(5, 0.9f, 0.8f, 0.7f);
    }
    ObjWgt list(std::vector<int> &v, std::vector<float> &w, float wmin, float wmax)
    {
        return ObjWgt{(int)v.size(), v.data(), w.data(), wmin, wmax};
    }
};

// The colour of a corner sum as drawing forms it.
float shade(double sum)
{
    double v = sum * 0.3333;
    return (float)(v > 1.0 ? 1.0 : v);
}

TEST_F(WeightDraw, EmptyListGivesTheSurfaceColourJustUnder)
{
    Obj *o = triangles();
    ObjWgt none = {0, nullptr, nullptr, INFINITY, -INFINITY};
    drawObjWgts(o, &none, 0, -1);
    ASSERT_EQ(facets().size(), 2u);
    EXPECT_FLOAT_EQ(facets()[0].colour.r, shade(3 * 0.5));
    EXPECT_FLOAT_EQ(facets()[0].colour.b, shade(3 * 0.75));
    EXPECT_EQ(vqtest::nameOf(facets()[0].name), "test");
    EXPECT_EQ(currentName(), "ANON");
    drawObjWgts(o, &none, 1, -1);
    EXPECT_EQ(facets().size(), 2u);
    freeObj(o);
}

TEST_F(WeightDraw, WeightsMapOverTheColourRange)
{
    Obj *o = triangles();
    // Vertex 0 (number 1) at wmin, vertex 1 at wmax, vertex 2 in the middle;
    // the second entry for vertex 0 is never used.
    std::vector<int> v = {0, 1, 0, 2};
    std::vector<float> w = {0.0f, 1.0f, 1.0f, 0.5f};
    ObjWgt l = list(v, w, 0.0f, 1.0f);
    drawObjWgts(o, &l, 1, -1);
    ASSERT_EQ(facets().size(), 2u);
    // Triangle (1, 2, 3): lo, hi and the middle index 15.
    const vq::Rgb &c = facets()[0].colour;
    EXPECT_FLOAT_EQ(c.r, shade((double)(2 * 0.1f) + (double)(2 * 0.3f) + (double)(2 * 0.4f)));
    EXPECT_FLOAT_EQ(c.b, shade((double)(2 * 0.3f) + (double)(2 * 0.1f) + (double)(2 * 0.4f)));
    // Triangle (4, 3, 2): vertex 4 unweighted.
    const vq::Rgb &d = facets()[1].colour;
    EXPECT_FLOAT_EQ(d.g, shade(0.25 + (double)(2 * 0.4f) + (double)(2 * 0.2f)));
    freeObj(o);
}

TEST_F(WeightDraw, EqualWeightsOnlyWeightedReplacementAndClamp)
{
    Obj *o = triangles(0.5f);
    std::vector<int> v = {3};
    std::vector<float> w = {7.0f};
    // A single weight: wmin = wmax, mapped to lo.
    ObjWgt l = list(v, w, 7.0f, 7.0f);
    drawObjWgts(o, &l, 1, -1);
    ASSERT_EQ(facets().size(), 1u);
    EXPECT_TRUE(facets()[0].transparent);
    EXPECT_FLOAT_EQ(facets()[0].colour.r, shade((double)(2 * 0.1f) + 0.5 + 0.5));
    // The replacement colour does not make unweighted triangles drawn.
    drawObjWgts(o, &l, 1, 5);
    ASSERT_EQ(facets().size(), 2u);
    EXPECT_FLOAT_EQ(facets()[1].colour.r, 0.9f);
    // Weights beyond wmax clamp to hi; bright colours cap at 1.
    l.wmax = 8.0f;
    l.wmin = 7.5f;
    vqscr(10, 1, 1, 1);
    o->colour = {1, 1, 1};
    w[0] = 100.0f;
    drawObjWgts(o, &l, 0, -1);
    ASSERT_EQ(facets().size(), 4u);
    EXPECT_FLOAT_EQ(facets()[2].colour.r, shade(3.0));
    EXPECT_FLOAT_EQ(facets()[3].colour.r, shade((double)(2 * 0.3f) + 2.0));
    EXPECT_FLOAT_EQ(facets()[3].colour.b, shade((double)(2 * 0.1f) + 2.0));
    // Below wmin clamps to lo.
    w[0] = -100.0f;
    drawObjWgts(o, &l, 1, -1);
    EXPECT_FLOAT_EQ(facets()[4].colour.r, 1.0f);
    freeObj(o);
}

TEST_F(SurfaceDraw, PassShiftsTheWindowForObjAndPutsTheWindowBack)
{
    vqswin(-1, 4, -2, 6, -3, 8);
    Obj *o = triangles();
    // The viewer's state owns its array (resetViewerState releases it).
    objs = static_cast<Obj **>(std::malloc(sizeof(Obj *)));
    objs[0] = o;
    nobjs = 1;
    int kc = 2;
    std::string err = captureStderr([&] { surfacePass(&kc); });
    EXPECT_EQ(err, "WARNING: OBJS NO LONGER LIKELY TO HAVE CORRECT WCS!!!\n");
    ASSERT_EQ(facets().size(), 2u);
    // The window in force before is in force after, asymmetric as it is,
    // so what is drawn next (tracks) stays where it belongs.
    float w[6];
    vqqwin(&w[0], &w[1], &w[2], &w[3], &w[4], &w[5]);
    const float want[6] = {-1, 4, -2, 6, -3, 8};
    for (int i = 0; i < 6; i++)
        EXPECT_EQ(w[i], want[i]) << i;
    // OBJ coordinates were drawn under the shifted window (0, 2 x2, ...).
    vqswin(0, 8, 0, 12, 0, 16);
    expectAt(facets()[0].p[1], 1, 0, 0);

    // An odd space-bar count hides the surfaces and the warning.
    vqswin(-1, 4, -2, 6, -3, 8);
    kc = 3;
    err = captureStderr([&] { surfacePass(&kc); });
    EXPECT_EQ(err, "");
    EXPECT_EQ(facets().size(), 2u);
    vqqwin(&w[0], &w[1], &w[2], &w[3], &w[4], &w[5]);
    EXPECT_EQ(w[0], -1);

    nobjs = 0;
    kc = 0;
    err = captureStderr([&] { surfacePass(&kc); });
    EXPECT_EQ(err, "");
    freeObj(o);
}

TEST_F(SurfaceDraw, WorldSurfacesLandWhereTheirCoordinatesAre)
{
    vqswin(-1, 4, -2, 6, -3, 8);
    Obj *world = triangles();
    world->worldCoords = 1;
    Obj *box = triangles();
    objs = static_cast<Obj **>(std::malloc(2 * sizeof(Obj *)));
    objs[0] = box;
    objs[1] = world;
    nobjs = 1;
    objs[0] = world;
    int kc = 0;
    // A world surface alone: drawn under the window in force, no warning.
    std::string err = captureStderr([&] { surfacePass(&kc); });
    EXPECT_EQ(err, "");
    ASSERT_EQ(facets().size(), 2u);
    expectAt(facets()[0].p[1], 1, 0, 0);
    float w[6];
    vqqwin(&w[0], &w[1], &w[2], &w[3], &w[4], &w[5]);
    EXPECT_EQ(w[0], -1);
    EXPECT_EQ(w[5], 8);
    // Beside an OBJ surface each keeps its own placement.
    objs[0] = box;
    nobjs = 2;
    err = captureStderr([&] { surfacePass(&kc); });
    EXPECT_EQ(err, "WARNING: OBJS NO LONGER LIKELY TO HAVE CORRECT WCS!!!\n");
    ASSERT_EQ(facets().size(), 6u);
    expectAt(facets()[2].p[1], 1, 0, 0);
    vqqwin(&w[0], &w[1], &w[2], &w[3], &w[4], &w[5]);
    EXPECT_EQ(w[0], -1);
    vqswin(0, 8, 0, 12, 0, 16);
    expectAt(facets()[4].p[1], 1, 0, 0);
    nobjs = 0;
    freeObj(world);
    freeObj(box);
}

TEST_F(SurfaceDraw, VertexColoursGiveEachTriangleTheMeanOfItsCorners)
{
    Obj *o = triangles();
    o->vertexColours = static_cast<Colour3 *>(std::malloc(4 * sizeof(Colour3)));
    o->vertexColours[0] = {0.9, 0.0, 0.3};
    o->vertexColours[1] = {0.0, 0.6, 0.3};
    o->vertexColours[2] = {0.3, 0.3, 0.3};
    o->vertexColours[3] = {0.0, 0.0, 0.0};
    drawObj(o);
    calcVertexNormals(o);
    drawObj(o);
    ASSERT_EQ(facets().size(), 4u);
    for (int k : {0, 2}) {
        EXPECT_NEAR(facets()[k].colour.r, 0.4, 1e-6);
        EXPECT_NEAR(facets()[k].colour.g, 0.3, 1e-6);
        EXPECT_NEAR(facets()[k].colour.b, 0.3, 1e-6);
        EXPECT_NEAR(facets()[k + 1].colour.r, 0.1, 1e-6);
        EXPECT_NEAR(facets()[k + 1].colour.g, 0.3, 1e-6);
        EXPECT_NEAR(facets()[k + 1].colour.b, 0.2, 1e-6);
    }
    EXPECT_TRUE(facets()[2].smooth);
    freeObj(o);
}

} // namespace
