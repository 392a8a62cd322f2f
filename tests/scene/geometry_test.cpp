// Vector geometry of the public header, and the camera frame.
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

#include "vqscene.h"
#include "../../scene/core/model.h"

TEST(Geometry, VectorBasics)
{
    Point3 a{1, 2, 3}, b{4, 6, 3};
    Point3 d = VectorSub(a, b); // b - a
    EXPECT_EQ(d.x, 3);
    EXPECT_EQ(d.y, 4);
    EXPECT_EQ(d.z, 0);
    EXPECT_EQ(VectorLength(a, b), 5);
    EXPECT_EQ(Modulus(d), 5);
    Point3 s = VectorAdd(a, VectorMul(b, -1));
    EXPECT_EQ(s.x, -3);
    EXPECT_EQ(DotProduct(a, b), 4 + 12 + 9);
    Point3 c = CrossProduct({1, 0, 0}, {0, 1, 0});
    EXPECT_EQ(c.z, 1);
    EXPECT_EQ(c.x, 0);
}

TEST(Geometry, NormaliseAndNormals)
{
    Point3 z{0, 0, 0};
    Normalise(&z);
    EXPECT_EQ(z.x, 0);
    EXPECT_EQ(z.y, 0);
    EXPECT_EQ(z.z, 0);
    Point3 v{0, 3, 4};
    Normalise(&v);
    EXPECT_DOUBLE_EQ(v.y, 0.6);
    EXPECT_DOUBLE_EQ(v.z, 0.8);
    Normalise(nullptr);
    // Counter-clockwise corners seen from +z give +z.
    Point3 n = CalcNormal({0, 0, 0}, {2, 0, 0}, {0, 5, 0});
    EXPECT_DOUBLE_EQ(n.z, 1);
    n = CalcNormal({0, 0, 0}, {0, 5, 0}, {2, 0, 0});
    EXPECT_DOUBLE_EQ(n.z, -1);
    n = CalcNormal({1, 1, 1}, {1, 1, 1}, {1, 1, 1});
    EXPECT_EQ(Modulus(n), 0);
}

TEST(Geometry, LinePlane)
{
    double mu = -7;
    Point3 p{9, 9, 9};
    Plane4 zIs2{0, 0, 1, -2};
    EXPECT_NE(LinePlane(&mu, &p, {1, 1, 0}, {1, 1, 4}, zIs2), 0);
    EXPECT_DOUBLE_EQ(mu, 0.5);
    EXPECT_DOUBLE_EQ(p.z, 2);
    EXPECT_DOUBLE_EQ(p.x, 1);
    // Beyond the segment mu leaves 0..1 but the point is still given.
    EXPECT_NE(LinePlane(&mu, &p, {0, 0, 3}, {0, 0, 4}, zIs2), 0);
    EXPECT_DOUBLE_EQ(mu, -1);
    // Parallel: no meeting, outputs untouched.
    mu = 42;
    p = {9, 9, 9};
    EXPECT_EQ(LinePlane(&mu, &p, {0, 0, 0}, {1, 1, 0}, zIs2), 0);
    EXPECT_EQ(mu, 42);
    EXPECT_EQ(p.x, 9);
    // A very short segment across the plane still meets it; a point does not.
    EXPECT_NE(LinePlane(&mu, &p, {0, 0, 2 - 1e-9}, {0, 0, 2 + 1e-9}, zIs2), 0);
    EXPECT_NEAR(mu, 0.5, 1e-6);
    EXPECT_EQ(LinePlane(&mu, &p, {0, 0, 1}, {0, 0, 1}, zIs2), 0);
    EXPECT_EQ(LinePlane(&mu, &p, {0, 0, 1}, {0, 0, 3}, Plane4{0, 0, NAN, 0}), 0);
}

TEST(Geometry, HsvPrimaries)
{
    struct Case {
        double h;
        Colour3 want;
    } cases[] = {{0, {1, 0, 0}},   {120, {0, 1, 0}}, {240, {0, 0, 1}}, {60, {1, 1, 0}},
                 {180, {0, 1, 1}}, {300, {1, 0, 1}}, {360, {1, 0, 0}}, {-120, {0, 0, 1}}};
    for (const Case &c : cases) {
        Colour3 got = HSV2RGB(c.h, 1, 1);
        EXPECT_NEAR(got.r, c.want.r, 1e-12) << c.h;
        EXPECT_NEAR(got.g, c.want.g, 1e-12) << c.h;
        EXPECT_NEAR(got.b, c.want.b, 1e-12) << c.h;
    }
    Colour3 grey = HSV2RGB(77, 0, 0.4);
    EXPECT_EQ(grey.r, 0.4);
    EXPECT_EQ(grey.b, 0.4);
    Colour3 dark = HSV2RGB(0, 1, 0);
    EXPECT_EQ(dark.r + dark.g + dark.b, 0);
    Colour3 nanHue = HSV2RGB(NAN, 1, 1);
    EXPECT_EQ(nanHue.r, 1);
}

// The one camera frame the renderer and the scene export share: unit,
// mutually perpendicular, right-handed, for ordinary and degenerate cameras.
TEST(CameraBasis, OrthonormalRightHandedEvenWhenDegenerate)
{
    struct Case {
        vq::Camera c;
        double side[3];
        double forward[3];
    };
    Case cases[4];
    cases[0].c = vq::Camera{}; // from +z looking at the origin, y up
    cases[0].side[0] = 1, cases[0].side[1] = 0, cases[0].side[2] = 0;
    cases[0].forward[0] = 0, cases[0].forward[1] = 0, cases[0].forward[2] = -1;
    // Up along the view: the world's y stands in, so the side is x again.
    cases[1].c = vq::Camera{};
    cases[1].c.up[0] = 0, cases[1].c.up[1] = 0, cases[1].c.up[2] = 3;
    std::copy(cases[0].side, cases[0].side + 3, cases[1].side);
    std::copy(cases[0].forward, cases[0].forward + 3, cases[1].forward);
    // Looking down y with y up: x stands in; side = forward x (1, 0, 0).
    cases[2].c.eye[0] = 0, cases[2].c.eye[1] = 4, cases[2].c.eye[2] = 0;
    cases[2].side[0] = 0, cases[2].side[1] = 0, cases[2].side[2] = 1;
    cases[2].forward[0] = 0, cases[2].forward[1] = -1, cases[2].forward[2] = 0;
    // Eye on the target: looks down -z.
    cases[3].c.eye[2] = 0;
    std::copy(cases[0].side, cases[0].side + 3, cases[3].side);
    std::copy(cases[0].forward, cases[0].forward + 3, cases[3].forward);
    for (int n = 0; n < 4; n++) {
        double s[3], u[3], f[3];
        vq::cameraBasis(cases[n].c, s, u, f);
        for (int i = 0; i < 3; i++) {
            EXPECT_NEAR(s[i], cases[n].side[i], 1e-12) << n;
            EXPECT_NEAR(f[i], cases[n].forward[i], 1e-12) << n;
        }
        EXPECT_NEAR(s[0] * u[0] + s[1] * u[1] + s[2] * u[2], 0, 1e-12) << n;
        EXPECT_NEAR(f[0] * u[0] + f[1] * u[1] + f[2] * u[2], 0, 1e-12) << n;
        EXPECT_NEAR(u[0] * u[0] + u[1] * u[1] + u[2] * u[2], 1, 1e-12) << n;
        // Right-handed: side x up = -forward.
        double c[3] = {s[1] * u[2] - s[2] * u[1], s[2] * u[0] - s[0] * u[2], s[0] * u[1] - s[1] * u[0]};
        for (int i = 0; i < 3; i++)
            EXPECT_NEAR(c[i], -f[i], 1e-12) << n;
    }
}
