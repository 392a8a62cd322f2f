// Batching without a GL: a panel's lists turned into vertices, sorted
// transparent items, runs and stacks, with the GPU caches' records made up
// here (bricks named 101.., 201.., look-up tables 301..) and read back
// from the recorded batches.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <tuple>
#include <vector>

#include "model.h"
#include "state.h"

namespace {

using namespace vq;
using namespace vq::draw;

// The records the fake caches hand out, and what batching asked of them.
struct FakeGpu {
    std::vector<GpuVolume> volumes;   // by the scene's volume id
    std::vector<GpuTexture> textures; // by texture id
    std::map<std::tuple<int, int, int>, Lut> luts;
    std::vector<float> occupancyAsked; // thresholds of the grid occupancy made
};

FakeGpu fake;

GpuVolume *fakeVolume(const Scene &, int id)
{
    return id >= 0 && id < static_cast<int>(fake.volumes.size()) ? &fake.volumes[id] : nullptr;
}

GpuTexture *fakeTexture(Scene &, int id)
{
    return id >= 0 && id < static_cast<int>(fake.textures.size()) ? &fake.textures[id] : nullptr;
}

Lut *fakeLut(const Scene &s, int vol, int lo, int hi, float amin, float amax, bool labels)
{
    auto key = std::make_tuple(vol, lo, hi);
    bool made = fake.luts.count(key) > 0;
    Lut &l = fake.luts[key];
    if (!made)
        l.tex = 301 + static_cast<GLuint>(fake.luts.size()) - 1;
    l.colours.assign(s.colours + lo, s.colours + hi + 1);
    l.amin = amin;
    l.amax = amax;
    l.labels = labels;
    return &l;
}

// Every cell occupied, in a texture named 401.
void fakeGridOccupancy(GpuVolume &g, float threshold)
{
    fake.occupancyAsked.push_back(threshold);
    g.occSize[0] = (g.nx + kCell - 1) / kCell;
    g.occSize[1] = (g.ny + kCell - 1) / kCell;
    g.occSize[2] = (g.nz + kCell - 1) / kCell;
    g.occupancy.assign(static_cast<size_t>(g.occSize[0]) * g.occSize[1] * g.occSize[2], 255);
    g.occTex = 401;
    g.occThreshold = threshold;
    g.haveOccupancy = true;
}

const BatchResources fakes = {fakeVolume, fakeTexture, fakeLut, fakeGridOccupancy};

// Bricks of at most `texels` a side over nx x ny x nz, named first,
// first + 1, ... in index order.
void nameBricks(Bricking &bk, int nx, int ny, int nz, int texels, GLuint first)
{
    bk.layout(nx, ny, nz, texels, texels);
    for (size_t i = 0; i < bk.bricks.size(); ++i)
        bk.bricks[i].tex = first + static_cast<GLuint>(i);
}

// A grid of n^3 voxels, 1 inside the block lo..hi of every axis, else 0.
struct Grid {
    int n;
    std::vector<float> data;
    std::vector<float *> rows;
    std::vector<float **> planes;
    Grid(int size, int lo, int hi) : n(size), data(static_cast<size_t>(size) * size * size, 0.0f)
    {
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) {
                rows.push_back(&data[(static_cast<size_t>(i) * n + j) * n]);
                for (int k = 0; k < n; ++k)
                    if (i >= lo && i <= hi && j >= lo && j <= hi && k >= lo && k <= hi)
                        rows.back()[k] = 1.0f;
            }
        for (int i = 0; i < n; ++i)
            planes.push_back(&rows[static_cast<size_t>(i) * n]);
    }
};

// Sources of 9 voxels a side, cut into 2 x 2 x 2 bricks of 5.
constexpr int kN = 9, kBrick = 5;

class Batching : public ::testing::Test {
  protected:
    Scene s;
    Panel panel;
    Camera cam;

    void SetUp() override
    {
        fake = FakeGpu{};
        R.planeStride = 1;
        R.verts.clear();
        clearBatchArrays();
        for (int e = 0; e < kColourTableSize; ++e)
            s.colours[e] = Rgb{e / 255.0f, 0.5f, 1 - e / 255.0f};
    }

    // Texture `id` of kN^3 texels in 2 x 2 x 2 bricks named 201 + 8 id ..
    void addTexture(int id, int blend = kBlendComposite)
    {
        if (static_cast<int>(s.textures.size()) <= id) {
            s.textures.resize(id + 1);
            fake.textures.resize(id + 1);
        }
        Texture3D &t = s.textures[id];
        t.nx = t.ny = t.nz = kN;
        t.version = 1;
        t.blend = blend;
        GpuTexture &g = fake.textures[id];
        nameBricks(g.bricking, kN, kN, kN, kBrick, 201 + 8 * id);
        g.occSize[0] = g.occSize[1] = g.occSize[2] = (kN + kCell - 1) / kCell;
        g.occupancy.assign(8, 255);
        g.fill.assign(g.bricking.bricks.size(), 0);
        g.version = 1;
    }

    // A volume of grid g whose index coordinates are its scene coordinates,
    // its bricks named 101...
    // The slices along z of a volume rendering of grid, looked at along z
    // from its middle; the rendering's id.
    int drawSlicesAlongZ(Grid &grid)
    {
        int vol = addVolume(grid);
        VolumeDraw d;
        d.vol = vol;
        d.axis = 3;
        d.lo = 0;
        d.hi = 255;
        panel.staticList.volumes.push_back(d);
        for (int a = 0; a < 2; ++a)
            cam.eye[a] = cam.target[a] = 4;
        cam.eye[2] = 20;
        cam.target[2] = 4;
        return vol;
    }

    int addVolume(Grid &grid)
    {
        Volume v;
        v.grid = grid.planes.data();
        v.nx = v.ny = v.nz = grid.n;
        v.tr[1] = v.tr[6] = v.tr[11] = 1;
        v.dmin = 0;
        v.dmax = 1;
        v.amin = 0;
        v.amax = 1;
        s.volumes.push_back(v);
        GpuVolume g;
        nameBricks(g.bricking, grid.n, grid.n, grid.n, kBrick, 101);
        g.grid = const_cast<const float ***>(v.grid);
        g.nx = g.ny = g.nz = grid.n;
        g.dmin = v.dmin;
        g.dmax = v.dmax;
        g.code = GridCode{TexelKind::Byte, 0, 1};
        fake.volumes.push_back(g);
        return static_cast<int>(s.volumes.size()) - 1;
    }

    PanelVerts batch() { return batchPanel(s, panel, cam, false, fakes); }
};

Vec3 v3(double x, double y, double z)
{
    return Vec3{static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)};
}

// The whole of texture plane z = tz (0..1) as a square over x, y in
// -1..1 at scene height z.
TexPoly zSquare(int tex, double z, double tz, float alpha = 1)
{
    TexPoly tp;
    tp.tex = tex;
    tp.alpha = alpha;
    const double corners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (const auto &c : corners) {
        tp.v.push_back(v3(2 * c[0] - 1, 2 * c[1] - 1, z));
        tp.t.push_back(v3(c[0], c[1], tz));
    }
    return tp;
}

// Planes of texture `tex` at the given voxel indices along z (of kN),
// scene z following index z.
void addPlanes(PrimList &l, int tex, std::initializer_list<int> at, float alpha = 1)
{
    for (int k : at)
        l.texPolys.push_back(zSquare(tex, -1 + 2.0 * k / (kN - 1), k / (kN - 1.0), alpha));
}

// A right triangle at height z with its right angle at x0, y0.
Facet facet(double z, Rgb colour, float alpha, double x0 = 0, double y0 = 0)
{
    Facet f;
    f.p[0] = v3(x0, y0, z);
    f.p[1] = v3(x0 + 1, y0, z);
    f.p[2] = v3(x0, y0 + 1, z);
    f.colour = colour;
    f.alpha = alpha;
    return f;
}

double area(const Vert *q)
{
    double u[3], w[3];
    for (int a = 0; a < 3; ++a) {
        u[a] = q[1].p[a] - q[0].p[a];
        w[a] = q[2].p[a] - q[0].p[a];
    }
    double c[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
    return 0.5 * std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
}

TEST_F(Batching, BoxIsTwelveEdgesBetweenItsCornersWithTicksOnAsked)
{
    BoxSpec box;
    box.enabled = true;
    const double lo[3] = {-1, -2, -3}, hi[3] = {1, 2, 3};
    for (int a = 0; a < 3; ++a) {
        box.viewport.lo[a] = lo[a];
        box.viewport.hi[a] = hi[a];
    }
    Rgb fg{0.25f, 0.5f, 0.75f};
    Batches b;
    addBox(b, box, fg);
    ASSERT_EQ(b.lines.size(), 24u);
    std::set<std::pair<int, int>> edges;
    auto cornerOf = [&](const Vert &v) {
        int c = 0;
        for (int a = 0; a < 3; ++a) {
            EXPECT_TRUE(v.p[a] == static_cast<float>(lo[a]) || v.p[a] == static_cast<float>(hi[a]));
            c |= v.p[a] == static_cast<float>(hi[a]) ? 1 << a : 0;
        }
        EXPECT_EQ(v.c[0], fg.r);
        EXPECT_EQ(v.c[1], fg.g);
        EXPECT_EQ(v.c[2], fg.b);
        EXPECT_EQ(v.c[3], 1.0f);
        return c;
    };
    for (size_t i = 0; i < b.lines.size(); i += 2) {
        int c0 = cornerOf(b.lines[i]), c1 = cornerOf(b.lines[i + 1]);
        // An edge joins corners that differ along one axis.
        int d = c0 ^ c1;
        EXPECT_TRUE(d == 1 || d == 2 || d == 4) << c0 << " " << c1;
        edges.insert({std::min(c0, c1), std::max(c0, c1)});
    }
    EXPECT_EQ(edges.size(), 12u);

    // Major ticks every 5 of the window 0..10 along x: at 0, 5 and 10 on
    // each of the axis's four edges, pointing into the box.
    box.opt[0] = "T";
    box.tick[0] = 5;
    box.window.lo[0] = 0;
    box.window.hi[0] = 10;
    Batches ticked;
    addBox(ticked, box, fg);
    ASSERT_EQ(ticked.lines.size(), 24u + 3 * 4 * 2);
    std::multiset<float> at;
    for (size_t i = 24; i < ticked.lines.size(); i += 2) {
        const Vert &a = ticked.lines[i], &t = ticked.lines[i + 1];
        EXPECT_EQ(a.p[0], t.p[0]);
        at.insert(a.p[0]);
        // 3% of the box's largest side, along y towards its middle.
        EXPECT_NEAR(std::fabs(t.p[1] - a.p[1]), 0.03 * 6, 1e-6);
        EXPECT_LT(std::fabs(t.p[1]), std::fabs(a.p[1]));
        EXPECT_EQ(a.p[2], t.p[2]);
    }
    EXPECT_EQ(at, (std::multiset<float>{-1, -1, -1, -1, 0, 0, 0, 0, 1, 1, 1, 1}));
}

TEST_F(Batching, OpaquePrimitivesLandInTheirArraysWithTheirColours)
{
    PrimList l;
    PointSet ps;
    ps.p = {v3(1, 2, 3), v3(4, 5, 6)};
    ps.colour = Rgb{1, 0, 0};
    ps.size = 3;
    l.points.push_back(ps);
    Polyline pl;
    pl.p = {v3(0, 0, 0), v3(1, 0, 0), v3(1, 1, 0)};
    pl.colour = Rgb{0, 1, 0};
    pl.width = 2;
    l.lines.push_back(pl);
    ThickLine tl;
    tl.a = v3(0, 0, 1);
    tl.b = v3(0, 0, 2);
    tl.ca = Rgb{0, 0, 1};
    tl.cb = Rgb{1, 1, 0};
    tl.width = 4;
    l.thickLines.push_back(tl);
    l.facets.push_back(facet(0, Rgb{0.5f, 0.5f, 0}, 1));
    l.facets.push_back(facet(1, Rgb{0, 0.5f, 0.5f}, 0.5f)); // transparent: not here

    Batches b;
    addOpaque(b, l);
    ASSERT_EQ(b.points.size(), 2u);
    EXPECT_EQ(b.points[1].p[0], 4.0f);
    EXPECT_EQ(b.points[1].c[0], 1.0f);
    EXPECT_EQ(b.points[1].c[1], 0.0f);
    EXPECT_EQ(b.points[0].w, 6.0f) << "points are twice their size across";

    // Two segments of the polyline, then the thick line with a colour at each end.
    ASSERT_EQ(b.lines.size(), 6u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(b.lines[i].c[1], 1.0f);
        EXPECT_EQ(b.lines[i].w, 2.0f);
    }
    EXPECT_EQ(b.lines[1].p[0], b.lines[2].p[0]);
    EXPECT_EQ(b.lines[3].p[1], 1.0f);
    EXPECT_EQ(b.lines[4].c[2], 1.0f);
    EXPECT_EQ(b.lines[5].c[0], 1.0f);
    EXPECT_EQ(b.lines[5].c[2], 0.0f);
    EXPECT_EQ(b.lines[5].w, 4.0f);

    ASSERT_EQ(b.tris.size(), 3u);
    for (const Vert &v : b.tris) {
        EXPECT_EQ(v.p[2], 0.0f);
        EXPECT_EQ(v.c[0], 0.5f);
        EXPECT_EQ(v.c[3], 1.0f);
        // The flat normal of a triangle in z = 0, anticlockwise from +z.
        EXPECT_EQ(v.n[2], 1.0f);
    }
}

TEST_F(Batching, TransparentFacetsAreDrawnFarToNearFromTheEye)
{
    const float heights[3] = {0, 1, -2};
    for (int i = 0; i < 3; ++i)
        panel.staticList.facets.push_back(facet(heights[i], Rgb{0.1f * (i + 1), 0, 0}, 0.25f + 0.25f * i));
    panel.frameList.facets.push_back(facet(0.5, Rgb{0, 1, 0}, 1));

    auto zOrder = [&](const PanelVerts &pv) {
        std::vector<float> z;
        EXPECT_EQ(R.verts.size() - pv.transFirst, 9u);
        for (size_t i = pv.transFirst; i < R.verts.size(); i += 3) {
            EXPECT_EQ(R.verts[i].p[2], R.verts[i + 2].p[2]);
            z.push_back(R.verts[i].p[2]);
        }
        return z;
    };
    cam.eye[2] = 5;
    PanelVerts pv = batch();
    // The opaque facet alone among the triangles.
    EXPECT_EQ(pv.triCount, 3u);
    EXPECT_EQ(R.verts[0].p[2], 0.5f);
    EXPECT_EQ(zOrder(pv), (std::vector<float>{-2, 0, 1}));
    // One run: one program, no texture.
    ASSERT_EQ(R.runs.size(), 1u);
    EXPECT_EQ(R.runs[0].program, kSurface);
    EXPECT_EQ(R.runs[0].first, static_cast<int>(pv.transFirst));
    EXPECT_EQ(R.runs[0].count, 9);
    // Each keeps its colour and opacity: the farthest was the third.
    EXPECT_FLOAT_EQ(R.verts[pv.transFirst].c[0], 0.3f);
    EXPECT_FLOAT_EQ(R.verts[pv.transFirst].c[3], 0.75f);

    cam.eye[2] = -5;
    pv = batch();
    EXPECT_EQ(zOrder(pv), (std::vector<float>{1, 0, -2}));
}

TEST_F(Batching, TexturedPolygonIsCutIntoBrickPiecesInRunsOfTheirBricks)
{
    addTexture(0);
    // Voxel plane z = 2 of 9: the first brick along z; across x and y it
    // crosses the bricks' shared plane 4.
    panel.staticList.texPolys.push_back(zSquare(0, 0, 2.0 / 8));
    PanelVerts pv = batch();
    EXPECT_TRUE(R.stacks.empty());
    const Bricking &bk = fake.textures[0].bricking;
    std::set<int> keys;
    double total = 0;
    ASSERT_EQ(R.runs.size(), 4u);
    int next = static_cast<int>(pv.transFirst);
    for (const draw::Run &run : R.runs) {
        EXPECT_EQ(run.program, kTex);
        EXPECT_EQ(run.first, next);
        EXPECT_EQ(run.count, 6) << "a square piece: two triangles";
        next += run.count;
        keys.insert(run.key);
        // The brick whose texture the run binds.
        auto b = std::find_if(bk.bricks.begin(), bk.bricks.end(),
                              [&](const GpuBrick &g) { return static_cast<int>(g.tex) == run.key; });
        ASSERT_NE(b, bk.bricks.end());
        EXPECT_EQ(b->o[2], 0);
        for (int i = run.first; i < run.first + run.count; ++i) {
            const Vert &v = R.verts[i];
            for (int a = 0; a < 3; ++a) {
                // Where the piece lies in the brick: voxel index x = 4 (p + 1)
                // in the brick's own texels, from its first texel's centre.
                double x = a < 2 ? 4.0 * (v.p[a] + 1) : 2.0;
                EXPECT_NEAR(v.t[a], (x - b->o[a] + 0.5) / b->n[a], 1e-5);
                EXPECT_GE(x, b->o[a] - 1e-6);
                EXPECT_LE(x, b->o[a] + b->n[a] - 1 + 1e-6);
            }
        }
        for (int i = run.first; i < run.first + run.count; i += 3)
            total += area(&R.verts[i]);
    }
    EXPECT_EQ(next, static_cast<int>(R.verts.size()));
    EXPECT_EQ(keys, (std::set<int>{201, 203, 205, 207})) << "the bricks of z index 0";
    EXPECT_NEAR(total, 4.0, 1e-5) << "the pieces cover the square once";

    // A brick with nothing to show is left out.
    fake.textures[0].bricking.at(1, 1, 0).tex = 0;
    batch();
    ASSERT_EQ(R.runs.size(), 3u);
    for (const draw::Run &run : R.runs)
        EXPECT_NE(run.key, 207);
}

TEST_F(Batching, EvenlySpacedPlanesCoveringTheTextureMakeOneStack)
{
    addTexture(0);
    cam.eye[0] = 0.7;
    cam.eye[1] = -0.4;
    cam.eye[2] = 5;
    addPlanes(panel.staticList, 0, {0, 2, 4, 6, 8});
    PanelVerts pv = batch();
    ASSERT_EQ(R.stacks.size(), 1u);
    const Stack &st = R.stacks[0];
    EXPECT_EQ(st.planes, 5);
    EXPECT_EQ(st.firstItem, 0);
    EXPECT_EQ(st.itemCount, static_cast<int>(R.items.size()));
    EXPECT_EQ(st.tex, 0);
    EXPECT_EQ(st.set, -1);
    // Far to near: from index z 0 up to 8, two voxels apart.
    EXPECT_NEAR(std::fabs(st.normal[2]), 1.0, 1e-9);
    EXPECT_NEAR(st.d0 * st.normal[2], 0.0, 1e-6);
    EXPECT_NEAR(st.step * st.normal[2], 2.0, 1e-6);
    // Scene to index: x = 4 (p + 1) on every axis.
    double centre[3] = {0, 0, 0}, x[3];
    for (int r = 0; r < 3; ++r)
        x[r] = st.toIndex[r * 4] + st.toIndex[r * 4 + 1] * centre[0] + st.toIndex[r * 4 + 2] * centre[1] +
               st.toIndex[r * 4 + 3] * centre[2];
    for (int a = 0; a < 3; ++a)
        EXPECT_NEAR(x[a], 4.0, 1e-6);
    // The stack's bricks stand for the polygons' pieces: no polygon run is left.
    EXPECT_EQ(R.runs.size(), 8u);
    EXPECT_EQ(R.stackDraws.size(), 8u);
    for (const draw::Run &run : R.runs)
        EXPECT_EQ(run.program, kStackPlain);
    EXPECT_EQ(R.runs.front().first, static_cast<int>(pv.transFirst));
    // Shaded, and projected: the programs for them.
    s.textures[0].shade = true;
    batch();
    for (const draw::Run &run : R.runs)
        EXPECT_EQ(run.program, kStackShaded);
    s.textures[0].blend = kBlendMaximum;
    batch();
    for (const draw::Run &run : R.runs)
        EXPECT_EQ(run.program, kStack);
}

TEST_F(Batching, UnevenSpacingOrAnotherTextureOrAlphaBetweenMakeNoStack)
{
    addTexture(0);
    addTexture(1);
    cam.eye[2] = 5;
    // Steps of 1, 2, 3 and 2 voxels: no three planes evenly spaced.
    addPlanes(panel.staticList, 0, {0, 1, 3, 6, 8});
    batch();
    EXPECT_TRUE(R.stacks.empty());
    for (const draw::Run &run : R.runs)
        EXPECT_EQ(run.program, kTex);
    EXPECT_FALSE(R.runs.empty());

    // Evenly spaced, but the middle plane another texture's.
    panel.staticList.texPolys.clear();
    addPlanes(panel.staticList, 0, {0, 2});
    addPlanes(panel.staticList, 1, {4});
    addPlanes(panel.staticList, 0, {6, 8});
    batch();
    EXPECT_TRUE(R.stacks.empty());

    // ... or of another opacity.
    panel.staticList.texPolys.clear();
    addPlanes(panel.staticList, 0, {0, 2});
    addPlanes(panel.staticList, 0, {4}, 0.5f);
    addPlanes(panel.staticList, 0, {6, 8});
    batch();
    EXPECT_TRUE(R.stacks.empty());

    // Uninterrupted, the same planes are one stack.
    panel.staticList.texPolys.clear();
    addPlanes(panel.staticList, 0, {0, 2, 4, 6, 8});
    batch();
    EXPECT_EQ(R.stacks.size(), 1u);
}

TEST_F(Batching, StackBricksAreDrawnFarFirstWithoutTheEmptyOnes)
{
    addTexture(0);
    // Off every axis, so that each neighbour pair has a far one.
    cam.eye[0] = 3;
    cam.eye[1] = 0.2;
    cam.eye[2] = 5;
    fake.textures[0].bricking.at(0, 1, 1).tex = 0;
    addPlanes(panel.staticList, 0, {0, 2, 4, 6, 8});
    batch();
    ASSERT_EQ(R.stacks.size(), 1u);
    ASSERT_EQ(R.stackDraws.size(), 7u) << "the brick with no texture is left out";
    const Stack &st = R.stacks[0];
    double e[3];
    for (int r = 0; r < 3; ++r)
        e[r] = st.toIndex[r * 4] + st.toIndex[r * 4 + 1] * cam.eye[0] + st.toIndex[r * 4 + 2] * cam.eye[1] +
               st.toIndex[r * 4 + 3] * cam.eye[2];
    for (size_t i = 0; i < R.stackDraws.size(); ++i) {
        const StackDraw &a = R.stackDraws[i];
        EXPECT_NE(a.tex, 0u);
        EXPECT_EQ(R.runs[i].key, static_cast<int>(i));
        // The faces that do not face the eye, two triangles each: one
        // across each axis, both where the eye lies between them.
        int faces = 0;
        for (int ax = 0; ax < 3; ++ax)
            faces += a.lo[ax] < e[ax] && e[ax] < a.hi[ax] ? 2 : 1;
        EXPECT_EQ(R.runs[i].count, 6 * faces);
        for (size_t j = i + 1; j < R.stackDraws.size(); ++j) {
            const StackDraw &b = R.stackDraws[j];
            // Neighbours share a face: the one drawn later lies on the eye's side.
            for (int ax = 0; ax < 3; ++ax) {
                bool others = true;
                for (int o = 0; o < 3; ++o)
                    others = others && (o == ax || a.origin[o] == b.origin[o]);
                if (!others || a.origin[ax] == b.origin[ax])
                    continue;
                double shared = a.origin[ax] < b.origin[ax] ? b.origin[ax] : a.origin[ax];
                bool laterNear = b.origin[ax] > a.origin[ax] ? e[ax] > shared : e[ax] < shared;
                EXPECT_TRUE(laterNear) << "draw " << j << " behind draw " << i << " along axis " << ax;
            }
        }
    }

    // The mean takes every sample: the empty brick too, as its one texel.
    s.textures[0].blend = kBlendMean;
    fake.textures[0].fill[&fake.textures[0].bricking.at(0, 1, 1) - fake.textures[0].bricking.bricks.data()] =
        0x00000080;
    batch();
    ASSERT_EQ(R.stackDraws.size(), 8u);
    int empty = 0;
    for (const StackDraw &d : R.stackDraws)
        if (d.tex == 0) {
            ++empty;
            EXPECT_FLOAT_EQ(d.fill[0], 128 / 255.0f);
            EXPECT_EQ(d.fill[3], 0.0f);
        }
    EXPECT_EQ(empty, 1);
    for (const draw::Run &run : R.runs)
        EXPECT_EQ(run.program, kStack);
}

TEST_F(Batching, SliceSetIsCutIntoStripsAndDrawnAsOneSliceStack)
{
    // Voxels 2..5 of every axis show; the slices along z there are drawn
    // over the rows and columns 1..6 that can show them.
    Grid grid(kN, 2, 5);
    int vol = drawSlicesAlongZ(grid);

    // One by one first, as outlines draw them.
    batchPanel(s, panel, cam, true, fakes);
    EXPECT_TRUE(R.stacks.empty());
    const GpuVolume &g = fake.volumes[vol];
    ASSERT_TRUE(g.haveStrips);
    EXPECT_FLOAT_EQ(g.threshold, visibleThreshold(s.volumes[vol], 256));
    ASSERT_EQ(R.sliceSets.size(), 1u);
    EXPECT_EQ(R.sliceSets[0].axis, 2);
    std::vector<int> slices;
    for (const Transparent &t : R.items) {
        EXPECT_EQ(t.program, kVolume);
        ASSERT_GE(t.slice, 0);
        int k = R.sliceRefs[t.slice].k;
        if (slices.empty() || slices.back() != k)
            slices.push_back(k);
        const VolumeBinding &vb = R.bindings[t.key];
        EXPECT_EQ(vb.lut, 301u);
        EXPECT_EQ(vb.lutSize, 256);
        EXPECT_GE(vb.grid, 101u);
        EXPECT_LE(vb.grid, 108u);
        for (int i = t.first; i < t.first + t.count; ++i) {
            const Vert &v = R.scratch[i];
            EXPECT_EQ(v.p[2], static_cast<float>(k));
            for (int a = 0; a < 2; ++a) {
                EXPECT_GE(v.p[a], 1.0f);
                EXPECT_LE(v.p[a], 6.0f);
            }
        }
    }
    // Far to near, only the slices with something to show.
    EXPECT_EQ(slices, (std::vector<int>{2, 3, 4, 5}));
    for (const draw::Run &run : R.runs)
        EXPECT_EQ(run.program, kVolume);
    EXPECT_TRUE(fake.occupancyAsked.empty());

    // Filled, the four slices are one stack drawn brick by brick.
    batch();
    ASSERT_EQ(R.stacks.size(), 1u);
    const Stack &st = R.stacks[0];
    EXPECT_EQ(st.set, 0);
    EXPECT_EQ(st.planes, 4);
    EXPECT_EQ(st.d0, 2.0);
    EXPECT_EQ(st.step, 1.0);
    EXPECT_EQ(st.itemCount, static_cast<int>(R.items.size()));
    ASSERT_EQ(fake.occupancyAsked.size(), 1u);
    EXPECT_EQ(fake.occupancyAsked[0], g.threshold);
    EXPECT_EQ(R.stackDraws.size(), 8u);
    for (const draw::Run &run : R.runs)
        EXPECT_EQ(run.program, kStackGrid);
    // Made once: the next frame finds the occupancy there.
    batch();
    EXPECT_EQ(fake.occupancyAsked.size(), 1u);
    // Shaded slices are one stack too, lit.
    s.volumes[vol].shade = true;
    batch();
    ASSERT_EQ(R.stacks.size(), 1u);
    for (const draw::Run &run : R.runs)
        EXPECT_EQ(run.program, kStackGridShaded);
}

TEST_F(Batching, SlicesOutOfStepMakeNoSliceStack)
{
    Grid grid(kN, 2, 5);
    drawSlicesAlongZ(grid);
    // A transparent facet between slices 3 and 4, its centre on the
    // slices' axis, splits the run in two.
    panel.staticList.facets.push_back(facet(3.5, Rgb{1, 1, 1}, 0.5f, 11 / 3.0, 11 / 3.0));
    batch();
    EXPECT_TRUE(R.stacks.empty());
    panel.staticList.facets.clear();
    batch();
    EXPECT_EQ(R.stacks.size(), 1u);
}

TEST_F(Batching, TextureDrawnFromValuesBindsTheGridAndItsColourRange)
{
    Grid grid(kN, 2, 5);
    int vol = addVolume(grid);
    addTexture(0);
    s.textures[0].values = vol;
    s.textures[0].valueLo = 10;
    s.textures[0].valueHi = 109;
    cam.eye[2] = 5;
    addPlanes(panel.staticList, 0, {0, 2, 4, 6, 8});
    batch();
    ASSERT_EQ(R.stacks.size(), 1u);
    const Stack &st = R.stacks[0];
    EXPECT_EQ(st.grid, vol);
    ASSERT_GE(st.binding, 0);
    const VolumeBinding &vb = R.bindings[st.binding];
    EXPECT_EQ(vb.lut, 301u);
    EXPECT_EQ(vb.lutSize, 100);
    ASSERT_EQ(fake.luts.size(), 1u);
    EXPECT_EQ(fake.luts.begin()->first, std::make_tuple(vol, 10, 109));
    // The rays skip what the range's ramp hides.
    ASSERT_EQ(fake.occupancyAsked.size(), 1u);
    EXPECT_EQ(fake.occupancyAsked[0], visibleThreshold(s.volumes[vol], 100));
    ASSERT_EQ(R.stackDraws.size(), 8u);
    for (size_t i = 0; i < R.runs.size(); ++i) {
        // Composited and unshaded: the plain program.
        EXPECT_EQ(R.runs[i].program, kStackValuesPlain);
        // The grid's bricks, not the texture's.
        EXPECT_GE(R.stackDraws[i].tex, 101u);
        EXPECT_LE(R.stackDraws[i].tex, 108u);
    }

    // The largest value along a ray gathers from the data minimum.
    s.textures[0].blend = kBlendMaximum;
    batch();
    ASSERT_EQ(fake.occupancyAsked.size(), 2u);
    EXPECT_EQ(fake.occupancyAsked[1], s.volumes[vol].dmin);
    for (size_t i = 0; i < R.runs.size(); ++i)
        EXPECT_EQ(R.runs[i].program, kStackValues);
}

} // namespace
