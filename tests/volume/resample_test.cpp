// Float volume resampling: power-of-two trilinear resampling and rebinning.
#include "volume_test_util.h"

namespace {

TEST(MakePow2Xvol, SixToFourAveragesNeighbours)
{
    // Along z: 6 inputs sampled at 0, 1.5, 3 and 4.5.
    const float in[6] = {1, 3, 5, 9, 20, 40};
    Xvol *v = makeXvol(1, 1, 6, [&](int, int, int k) { return in[k]; });
    Xvol *p = makePow2Xvol(v);
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(p->nz, 4);
    EXPECT_EQ(p->data[0][0][0], 1.0f);
    EXPECT_EQ(p->data[0][0][1], 4.0f);
    EXPECT_EQ(p->data[0][0][2], 9.0f);
    EXPECT_EQ(p->data[0][0][3], 30.0f);
    EXPECT_EQ(p->dz, 1.5f);
    freeXvol(p);
    freeXvol(v);
}

TEST(MakePow2Xvol, FiveToFourWeightsByDistance)
{
    // Along y: the second output sits at 1.25.
    const float in[5] = {0, 4, 8, 16, 32};
    Xvol *v = makeXvol(1, 5, 1, [&](int, int j, int) { return in[j]; });
    Xvol *p = makePow2Xvol(v);
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(p->ny, 4);
    EXPECT_EQ(p->data[0][1][0], 0.75f * 4 + 0.25f * 8);
    EXPECT_EQ(p->data[0][2][0], 0.5f * 8 + 0.5f * 16);
    EXPECT_EQ(p->data[0][3][0], 0.25f * 16 + 0.75f * 32);
    EXPECT_EQ(p->dy, 1.25f);
    freeXvol(p);
    freeXvol(v);
}

TEST(MakePow2Xvol, PowerOfTwoAxesAreCopiedExactly)
{
    auto value = [](int i, int j, int) { return (float)(j * 3 + 1) / 7.0f + (float)i; };
    Xvol *v = makeXvol(100, 64, 1, value);
    v->dx = 1.0f;
    Xvol *p = makePow2Xvol(v);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->nx, 64);
    EXPECT_EQ(p->ny, 64);
    EXPECT_EQ(p->nz, 1);
    EXPECT_EQ(p->dx, 100.0f / 64.0f);
    EXPECT_EQ(p->dy, 1.0f);
    EXPECT_EQ(p->dz, 1.0f);
    EXPECT_STREQ(p->filename, v->filename);
    EXPECT_EQ(memcmp(p->cmap_g, v->cmap_g, sizeof v->cmap_g), 0);
    // Output x = 16 sits on input x = 25 exactly; each row is a copy.
    for (int j = 0; j < 64; j++)
        EXPECT_TRUE(sameBits(p->data[16][j][0], v->data[25][j][0])) << j;
    freeXvol(p);
    freeXvol(v);
}

TEST(MakePow2Xvol, RefusesEmptyAndMissingVolumes)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(makePow2Xvol(nullptr), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Invalid data given to makePow2Xraw.\n");
    Xvol *v = makeXvol(3, 0, 2, [](int, int, int) { return 0.0f; });
    testing::internal::CaptureStderr();
    EXPECT_EQ(makePow2Xvol(v), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Invalid volume dimensions 3 x 0 x 2 given to makePow2Xraw.\n");
    freeXvol(v);
}

TEST(RebinXvol, StrideOneCopiesAndStrideTwoDropsTheRemainder)
{
    auto value = [](int i, int j, int k) { return (float)(i * 100 + j * 10 + k) / 3.0f; };
    Xvol *v = makeXvol(5, 3, 4, value);
    int one[3] = {1, 1, 1};
    Xvol *c = rebinXvol(v, one);
    ASSERT_NE(c, nullptr);
    ASSERT_EQ(c->nx, 5);
    for (int i = 0; i < 5; i++)
        for (int j = 0; j < 3; j++)
            for (int k = 0; k < 4; k++)
                EXPECT_TRUE(sameBits(c->data[i][j][k], v->data[i][j][k]));
    freeXvol(c);

    int s[3] = {2, 1, 2};
    Xvol *r = rebinXvol(v, s);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->nx, 2);
    EXPECT_EQ(r->ny, 3);
    EXPECT_EQ(r->nz, 2);
    EXPECT_EQ(r->dx, 2.0f);
    EXPECT_EQ(r->dz, 2.0f);
    // No axis reversal: output [1][2][1] averages x 2..3, y 2, z 2..3.
    float sum = v->data[2][2][2];
    sum += v->data[2][2][3];
    sum += v->data[3][2][2];
    sum += v->data[3][2][3];
    EXPECT_TRUE(sameBits(r->data[1][2][1], sum / 4.0f));
    freeXvol(r);

    int bad[3] = {0, 1, 1};
    testing::internal::CaptureStderr();
    EXPECT_EQ(rebinXvol(v, bad), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Invalid averaging stride given to rebinXvol.\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(rebinXvol(nullptr, one), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Invalid data given to parseXraw.\n");
    freeXvol(v);
}

} // namespace
