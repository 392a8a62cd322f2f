// Vertex normals, translation and the blow-apart arithmetic.
#include <cmath>
#include <random>

#include "surface_test_util.h"

namespace {

// The normals exactly as described: for every vertex a pass over all
// triangles in order, summing area-weighted triangle normals.
std::vector<Point3> referenceNormals(const Obj *o)
{
    std::vector<Point3> out(o->nverts);
    for (int i = 0; i < o->nverts; i++) {
        if (o->nfacets < 1) {
            out[i] = {0, 0, 0};
            continue;
        }
        Point3 s = {0, 0, 0};
        int count = 0;
        for (int t = 0; t < o->nfacets; t++) {
            const int *f = o->facets + 3 * t;
            if (f[0] != i + 1 && f[1] != i + 1 && f[2] != i + 1)
                continue;
            count++;
            Point3 p = o->verts[f[0] - 1], q = o->verts[f[1] - 1], r = o->verts[f[2] - 1];
            Point3 n = CalcNormal(p, q, r);
            float pq = (float)VectorLength(p, q), qr = (float)VectorLength(q, r),
                  rp = (float)VectorLength(r, p);
            float sp = (pq + qr + rp) * 0.5f;
            float prod = (sp - pq) * sp * (sp - qr) * (sp - rp);
            float area = prod >= 0 ? std::sqrt(prod) : 0.0f;
            s = VectorAdd(s, VectorMul(n, area));
        }
        out[i] = s;
        if (count > 0)
            Normalise(&out[i]);
    }
    return out;
}

TEST(VertexNormals, SingleTriangleGivesItsNormalEverywhere)
{
    Obj *o = makeObj({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 5, 5}}, {1, 2, 3});
    calcVertexNormals(o);
    ASSERT_NE(o->normals, nullptr);
    for (int i = 0; i < 3; i++) {
        EXPECT_DOUBLE_EQ(o->normals[i].z, 1.0) << i;
        EXPECT_DOUBLE_EQ(o->normals[i].x, 0.0) << i;
    }
    // A vertex no triangle uses keeps zero.
    EXPECT_EQ(o->normals[3].x, 0);
    EXPECT_EQ(o->normals[3].z, 0);
    freeObj(o);
}

TEST(VertexNormals, AreasWeighTheSum)
{
    // Triangle A of area 1 in the z = 0 plane, triangle B of area 3 in the
    // x = 0 plane, both using vertex 1.
    Obj *o = makeObj({{0, 0, 0}, {2, 0, 0}, {0, 1, 0}, {0, 3, 0}, {0, 0, 2}}, {1, 2, 3, 1, 4, 5});
    calcVertexNormals(o);
    Point3 n = o->normals[0];
    // Unit normals (0, 0, 1) and (1, 0, 0) in the ratio 1 : 3.
    EXPECT_NEAR(n.x / n.z, 3.0, 1e-5);
    EXPECT_NEAR(n.x * n.x + n.z * n.z, 1.0, 1e-12);
    EXPECT_DOUBLE_EQ(o->normals[1].z, 1.0);
    EXPECT_DOUBLE_EQ(o->normals[3].x, 1.0);
    freeObj(o);
}

TEST(VertexNormals, NoTrianglesRepeatedCallsAndDegenerates)
{
    Obj *o = makeObj({{0, 0, 0}, {1, 2, 3}}, {});
    calcVertexNormals(o);
    ASSERT_NE(o->normals, nullptr);
    EXPECT_EQ(o->normals[1].y, 0);
    freeObj(o);

    // A flat triangle (all corners on a line) has area 0 and adds nothing;
    // a triangle naming a vertex twice counts once for it.
    o = makeObj({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 1, 0}}, {1, 2, 3, 1, 2, 4, 1, 1, 4});
    calcVertexNormals(o);
    std::vector<Point3> first(o->normals, o->normals + 4);
    calcVertexNormals(o);
    std::vector<Point3> ref = referenceNormals(o);
    for (int i = 0; i < 4; i++) {
        EXPECT_TRUE(sameBits(o->normals[i], first[i])) << i;
        EXPECT_TRUE(sameBits(o->normals[i], ref[i])) << i;
        EXPECT_FALSE(std::isnan(o->normals[i].x)) << i;
    }
    EXPECT_DOUBLE_EQ(o->normals[2].x, 0.0);
    freeObj(o);
}

TEST(VertexNormals, AccumulationMatchesThePerVertexScan)
{
    std::mt19937 rng(11);
    for (int round = 0; round < 5; round++) {
        int nv = 300 + 100 * round;
        std::uniform_real_distribution<double> u(-10, 10);
        std::uniform_int_distribution<int> vi(1, nv), pick(0, 19);
        std::vector<Point3> v(nv);
        for (Point3 &p : v)
            p = {(double)(float)u(rng), (double)(float)u(rng), (double)(float)u(rng)};
        std::vector<int> f;
        for (int t = 0; t < 4 * nv; t++) {
            int a = vi(rng), b = vi(rng), c = vi(rng);
            // Some triangles repeat a corner or are slivers.
            if (pick(rng) == 0)
                b = a;
            if (pick(rng) == 1)
                v[c - 1] = VectorAdd(v[a - 1], VectorMul(VectorSub(v[a - 1], v[b - 1]), 0.5));
            f.insert(f.end(), {a, b, c});
        }
        Obj *o = makeObj(v, f);
        calcVertexNormals(o);
        std::vector<Point3> ref = referenceNormals(o);
        for (int i = 0; i < nv; i++)
            ASSERT_TRUE(sameBits(o->normals[i], ref[i])) << "round " << round << " vertex " << i;
        freeObj(o);
    }
}

TEST(Translate, MovesVerticesAndBoundsButNotMean)
{
    Obj *o = makeObj({{1, 1, 1}, {3, 4, 5}}, {});
    o->min = {1, 1, 1};
    o->max = {3, 4, 5};
    o->mean = {2, 2.5, 3};
    translateObj(o, {1, 2, 3});
    EXPECT_EQ(o->verts[0].x, 0);
    EXPECT_EQ(o->verts[0].y, -1);
    EXPECT_EQ(o->verts[1].z, 2);
    EXPECT_EQ(o->min.y, -1);
    EXPECT_EQ(o->max.x, 2);
    EXPECT_EQ(o->mean.x, 2);
    EXPECT_EQ(o->mean.z, 3);
    freeObj(o);
}

// Blow-apart as start-up applies it: t = d - d*r with d = c - mean.
void blowApart(Obj *o, Point3 c, double r)
{
    Point3 d = VectorSub(o->mean, c);
    Point3 e = VectorMul(d, r);
    translateObj(o, VectorSub(d, e));
}

TEST(Translate, BlowApartFactors)
{
    Point3 c = {10, 20, 30};
    for (double r : {0.0, 1.0, 2.0}) {
        Obj *o = makeObj({{11, 20, 30}, {13, 22, 30}}, {});
        o->mean = {12, 21, 30};
        blowApart(o, c, r);
        // The mean point moves to c + r (m - c); the shape stays.
        double mx = (o->verts[0].x + o->verts[1].x) / 2, my = (o->verts[0].y + o->verts[1].y) / 2;
        EXPECT_DOUBLE_EQ(mx, 10 + 2 * r) << r;
        EXPECT_DOUBLE_EQ(my, 20 + r) << r;
        EXPECT_DOUBLE_EQ(o->verts[1].x - o->verts[0].x, 2) << r;
        EXPECT_EQ(o->mean.x, 12) << r;
        if (r == 1.0) {
            EXPECT_EQ(o->verts[0].x, 11);
            EXPECT_EQ(o->verts[1].y, 22);
        }
        freeObj(o);
    }
}

} // namespace
