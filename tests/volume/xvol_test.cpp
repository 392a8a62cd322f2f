// Float volumes: conversion from and to bytes, statistics and normalisation.
#include "volume_test_util.h"
#include "volume_util.h"

#include <cmath>

namespace {

// The box mean exactly as the format's definition spells it out: x, y, z
// loops with a single-precision running sum of double-precision b/255 terms.
float referenceBoxMean(const Xraw *x, const int *s, int i, int j, int k)
{
    float sum = 0.0f;
    for (int a = 0; a < s[0]; a++)
        for (int b = 0; b < s[1]; b++)
            for (int c = 0; c < s[2]; c++) {
                int px = s[0] * i + a, py = s[1] * j + b, pz = s[2] * k + c;
                unsigned char v = x->data[px + (size_t)x->nx * py + (size_t)x->nx * x->ny * pz];
                double next = (double)sum + v / 255.0;
                sum = (float)next;
            }
    return sum / (float)(s[0] * s[1] * s[2]);
}

void expectMatchesReference(int nx, int ny, int nz, const int *stride)
{
    Xraw *x = makeXraw(nx, ny, nz, 1234);
    Xvol *v = Xraw2Xvol(x, stride);
    ASSERT_NE(v, nullptr);
    ASSERT_EQ(v->nx, nx / stride[0]);
    ASSERT_EQ(v->ny, ny / stride[1]);
    ASSERT_EQ(v->nz, nz / stride[2]);
    int mismatches = 0;
    for (int i = 0; i < v->nx; i++)
        for (int j = 0; j < v->ny; j++)
            for (int k = 0; k < v->nz; k++)
                if (!sameBits(v->data[i][v->ny - 1 - j][v->nz - 1 - k], referenceBoxMean(x, stride, i, j, k)))
                    mismatches++;
    EXPECT_EQ(mismatches, 0);
    freeXvol(v);
    freeXraw(x);
}

TEST(Xraw2Xvol, StrideOneMatchesReferenceBitForBit)
{
    // Sizes that leave partial tiles on every axis.
    int one[3] = {1, 1, 1};
    expectMatchesReference(300, 7, 70, one);
    expectMatchesReference(1, 1, 1, one);
    // Large enough for rows in one mapping, with rows longer than a tile and
    // not a multiple of four floats.
    expectMatchesReference(70, 33, 1103, one);
    expectMatchesReference(65, 20, 256, one);
    // Large enough to be converted on two threads, with an odd row count.
    expectMatchesReference(131, 31, 1033, one);
}

TEST(Xraw2Xvol, AveragingMatchesReferenceBitForBit)
{
    int s[3] = {2, 3, 2};
    expectMatchesReference(9, 10, 7, s);
    int t[3] = {1, 1, 4};
    expectMatchesReference(3, 2, 17, t);
}

TEST(Xraw2Xvol, RunsSecondAndThirdAxesBackwards)
{
    Xraw *x = makeXraw(5, 4, 3, 77);
    int one[3] = {1, 1, 1};
    Xvol *v = Xraw2Xvol(x, one);
    ASSERT_NE(v, nullptr);
    for (int i = 0; i < 5; i++)
        for (int j = 0; j < 4; j++)
            for (int k = 0; k < 3; k++) {
                unsigned char b = x->data[i + 5 * (3 - j) + 20 * (2 - k)];
                EXPECT_TRUE(sameBits(v->data[i][j][k], (float)(b / 255.0))) << i << " " << j << " " << k;
            }
    EXPECT_STREQ(v->filename, "made.xrw");
    EXPECT_FLOAT_EQ(v->dx, 0.5f);
    EXPECT_FLOAT_EQ(v->dz, 2.0f);
    EXPECT_EQ(v->cmap_g[17], (float)x->cmap_g[17] / 255.0f);
    freeXvol(v);
    freeXraw(x);
}

TEST(Xraw2Xvol, StrideBoxesDropTheHighRemainder)
{
    Xraw *x = makeXraw(5, 4, 3, 5);
    int s[3] = {2, 2, 2};
    Xvol *v = Xraw2Xvol(x, s);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->nx, 2);
    EXPECT_EQ(v->ny, 2);
    EXPECT_EQ(v->nz, 1);
    EXPECT_EQ(v->dx, 1.0f);
    EXPECT_EQ(v->dy, 2.5f);
    EXPECT_EQ(v->dz, 4.0f);
    float before[2][2];
    for (int i = 0; i < 2; i++)
        for (int j = 0; j < 2; j++)
            before[i][j] = v->data[i][j][0];
    freeXvol(v);
    // Voxels at x = 4 or z = 2 lie outside every box.
    for (int z = 0; z < 3; z++)
        for (int y = 0; y < 4; y++)
            for (int xx = 0; xx < 5; xx++)
                if (xx == 4 || z == 2)
                    x->data[xx + 5 * y + 20 * z] ^= 0xff;
    v = Xraw2Xvol(x, s);
    ASSERT_NE(v, nullptr);
    for (int i = 0; i < 2; i++)
        for (int j = 0; j < 2; j++)
            EXPECT_TRUE(sameBits(v->data[i][j][0], before[i][j]));
    // Box (0, 0, 0) lands in row ny'-1 = 1.
    float mean = 0;
    for (int a = 0; a < 2; a++)
        for (int b = 0; b < 2; b++)
            for (int c = 0; c < 2; c++)
                mean += x->data[a + 5 * b + 20 * c] / 255.0f;
    EXPECT_NEAR(v->data[0][1][0], mean / 8, 1e-6);
    freeXvol(v);
    freeXraw(x);
}

TEST(Xraw2Xvol, AxisShorterThanStrideGivesEmptyVolume)
{
    Xraw *x = makeXraw(5, 1, 3, 5);
    int s[3] = {1, 2, 1};
    Xvol *v = Xraw2Xvol(x, s);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->ny, 0);
    EXPECT_NE(v->data, nullptr);
    testing::internal::CaptureStdout();
    showXvol(v);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("volume dimensions:      5      0      3\n"), std::string::npos);
    EXPECT_NE(out.find("    min, mean(stddev), max: no voxels\n"), std::string::npos);
    freeXvol(v);
    freeXraw(x);
}

TEST(Xraw2Xvol, RefusesMissingDataAndBadStride)
{
    int one[3] = {1, 1, 1};
    testing::internal::CaptureStderr();
    EXPECT_EQ(Xraw2Xvol(nullptr, one), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Invalid data given to parseXraw.\n");
    Xraw *x = makeXraw(2, 2, 2, 1);
    int zero[3] = {1, 0, 1};
    testing::internal::CaptureStderr();
    EXPECT_EQ(Xraw2Xvol(x, zero), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Invalid averaging stride given to parseXraw.\n");
    x->ny = -3;
    testing::internal::CaptureStderr();
    EXPECT_EQ(Xraw2Xvol(x, one), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Invalid volume dimensions 2 x -3 x 2.\n");
    freeXraw(x);
}

TEST(Xvol2Xraw, InvertsStrideOneConversion)
{
    // Every byte value occurs, in voxels and colours.
    Xraw *x = makeXraw(16, 8, 4, 3);
    for (int b = 0; b < 256; b++)
        x->data[b * 2] = (unsigned char)b;
    for (int c = 0; c < 256; c++)
        x->cmap_r[c] = (unsigned char)c;
    int one[3] = {1, 1, 1};
    Xvol *v = Xraw2Xvol(x, one);
    ASSERT_NE(v, nullptr);
    Xraw *y = Xvol2Xraw(v);
    ASSERT_NE(y, nullptr);
    EXPECT_EQ(memcmp(y->data, x->data, 16 * 8 * 4), 0);
    EXPECT_EQ(memcmp(y->cmap_r, x->cmap_r, 256), 0);
    EXPECT_EQ(memcmp(y->cmap_g, x->cmap_g, 256), 0);
    EXPECT_EQ(memcmp(y->cmap_b, x->cmap_b, 256), 0);
    EXPECT_EQ(y->nx, 16);
    EXPECT_EQ(y->dy, x->dy);
    EXPECT_STREQ(y->filename, x->filename);
    freeXraw(y);
    freeXvol(v);
    freeXraw(x);
}

TEST(Xvol2Xraw, ClampsVoxelsButWrapsColours)
{
    const float values[] = {-1.0f, 0.0f, 0.5f, 0.999f, 1.0f, 7.0f, NAN, -INFINITY, INFINITY};
    const unsigned char bytes[] = {0, 0, 128, 255, 255, 255, 0, 0, 255};
    const int n = sizeof values / sizeof values[0];
    Xvol *v = makeXvol(1, 1, n, [&](int, int, int k) { return values[n - 1 - k]; });
    v->cmap_r[0] = 1.0f;
    v->cmap_r[1] = 2.0f;
    v->cmap_r[2] = -0.5f;
    v->cmap_r[3] = NAN;
    v->cmap_r[4] = 1e30f;
    Xraw *x = Xvol2Xraw(v);
    ASSERT_NE(x, nullptr);
    for (int k = 0; k < n; k++)
        EXPECT_EQ(x->data[k], bytes[k]) << values[k];
    EXPECT_EQ(x->cmap_r[0], 255);
    EXPECT_EQ(x->cmap_r[1], (int)floorf(2.0f * 255.999f) & 0xff);
    EXPECT_EQ(x->cmap_r[2], 128);
    EXPECT_EQ(x->cmap_r[3], 0);
    freeXraw(x);
    freeXvol(v);

    testing::internal::CaptureStderr();
    EXPECT_EQ(Xvol2Xraw(nullptr), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Invalid data given to parseXraw.\n");
}

TEST(ShowXvol, PrintsHeaderAndStatistics)
{
    Xvol *v = makeXvol(3, 4, 5, [](int, int, int) { return 0.25f; });
    v->dx = 0.5f;
    testing::internal::CaptureStdout();
    showXvol(v);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Parsed data (from 'made.vol'):\n"
              "volume dimensions:      3      4      5\n"
              "      voxel sizes:  0.500  1.000  1.000\n"
              "total volume size:    1.5    4.0    5.0\n"
              "    min, mean(stddev), max: 0.2500 0.2500(0.0000) 0.2500\n");
    freeXvol(v);
}

TEST(ShowXvol, StatisticsFollowTheSinglePrecisionOrder)
{
    // Values whose single-precision sums depend on the order of addition.
    Xvol *v = makeXvol(7, 9, 11,
                       [](int i, int j, int k) { return (float)((i * 131 + j * 17 + k * 7) % 97) / 7.0f; });
    float mn = v->data[0][0][0], mx = mn, sum = 0, sq = 0;
    for (int i = 0; i < 7; i++)
        for (int j = 0; j < 9; j++)
            for (int k = 0; k < 11; k++) {
                float x = v->data[i][j][k];
                sum += x;
                float xx = x * x;
                sq += xx;
                if (x < mn)
                    mn = x;
                if (x > mx)
                    mx = x;
            }
    float n = 7 * 9 * 11, mean = sum / n, m2 = mean * mean, var = sq / n - m2;
    char line[200];
    snprintf(line, sizeof line, "    min, mean(stddev), max: %6.4f %6.4f(%6.4f) %6.4f\n", mn, mean,
             sqrtf(var), mx);
    testing::internal::CaptureStdout();
    showXvol(v);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.substr(out.rfind("    min")), line);
    freeXvol(v);
}

// The statistics loop as listed: every voxel visited, nothing skipped.
void referenceStats(const Xvol *v, float out[4])
{
    float mn = v->data[0][0][0], mx = mn, sum = 0, sq = 0;
    for (int i = 0; i < v->nx; i++)
        for (int j = 0; j < v->ny; j++)
            for (int k = 0; k < v->nz; k++) {
                float x = v->data[i][j][k];
                sum += x;
                float xx = x * x;
                sq += xx;
                if (x < mn)
                    mn = x;
                if (x > mx)
                    mx = x;
            }
    float n = (float)(v->nx * v->ny * v->nz), mean = sum / n, m2 = mean * mean, var = sq / n - m2;
    out[0] = mn;
    out[1] = mean;
    out[2] = sqrtf(var);
    out[3] = mx;
}

TEST(ShowXvol, SkippingZeroRunsGivesTheSameBits)
{
    // Runs of +0 and -0 of various lengths and phases, between values of both
    // signs; the first voxel positive so that the sign of a zero minimum shows.
    auto value = [](int i, int j, int k) {
        int h = (i * 7919 + j * 104729 + k * 31) % 23;
        if (i == 0 && j == 0 && k == 0)
            return 0.75f;
        if (h < 14)
            return (h & 1) ? -0.0f : 0.0f;
        return (float)(h - 17) / 3.0f;
    };
    for (int nz : {1, 7, 8, 9, 64, 100}) {
        SCOPED_TRACE(nz);
        Xvol *v = makeXvol(5, 6, nz, value);
        float got[4], want[4];
        ASSERT_EQ(statsXvol(v, got), 0);
        referenceStats(v, want);
        for (int s = 0; s < 4; s++)
            EXPECT_TRUE(sameBits(got[s], want[s])) << s << ": " << got[s] << " vs " << want[s];
        freeXvol(v);
    }
    // Positive values then only negative zeros: the minimum becomes -0.
    Xvol *z = makeXvol(1, 1, 24, [](int, int, int k) { return k < 3 ? 0.5f : -0.0f; });
    float got[4], want[4];
    ASSERT_EQ(statsXvol(z, got), 0);
    referenceStats(z, want);
    EXPECT_TRUE(std::signbit(got[0]));
    EXPECT_TRUE(sameBits(got[0], want[0]) && sameBits(got[1], want[1]) && sameBits(got[2], want[2]));
    freeXvol(z);
    // A not-a-number voxel is never mistaken for a zero.
    Xvol *q = makeXvol(1, 2, 16, [](int, int j, int k) { return j == 1 && k == 9 ? NAN : 0.0f; });
    ASSERT_EQ(statsXvol(q, got), 0);
    EXPECT_TRUE(std::isnan(got[1]));
    freeXvol(q);
}

// The statistics read from the bytes are those of the converted floats, bit
// for bit: odd sizes (runs of columns and of 16 not filled), runs of zero
// bytes of every phase, a volume gathered on two cores, and one whose
// planes are too large for 64 columns at a time. The unfilled volume has
// the converted one's shape and colours, and reads as zero.
TEST(ShowXvol, StatisticsFromTheBytesAreTheFloatsOnes)
{
    const int sizes[][3] = {{1, 1, 1}, {3, 5, 7}, {17, 9, 33}, {70, 130, 130}, {2, 1100, 1000}};
    for (const auto &n : sizes) {
        for (int sparse : {1, 3, 40}) {
            SCOPED_TRACE(testing::Message() << n[0] << "x" << n[1] << "x" << n[2] << " sparse " << sparse);
            Xraw *x = makeXraw(n[0], n[1], n[2], 99 + sparse);
            size_t count = (size_t)n[0] * n[1] * n[2];
            for (size_t t = 0; t < count; t++)
                if ((t / 5 + t % 7) % sparse != 0)
                    x->data[t] = 0;
            const int one[3] = {1, 1, 1};
            Xvol *v = Xraw2Xvol(x, one);
            ASSERT_NE(v, nullptr);
            float want[4], got[4];
            ASSERT_EQ(statsXvol(v, want), 0);
            ASSERT_EQ(statsXrawVoxels(x, got), 0);
            for (int s = 0; s < 4; s++)
                EXPECT_TRUE(sameBits(got[s], want[s])) << s << ": " << got[s] << " vs " << want[s];
            Xvol *u = Xraw2XvolUnfilled(x);
            ASSERT_NE(u, nullptr);
            EXPECT_EQ(u->nx, v->nx);
            EXPECT_EQ(u->ny, v->ny);
            EXPECT_EQ(u->nz, v->nz);
            EXPECT_EQ(u->dx, v->dx);
            EXPECT_EQ(u->dz, v->dz);
            EXPECT_EQ(memcmp(u->cmap_g, v->cmap_g, sizeof u->cmap_g), 0);
            EXPECT_EQ(u->data[n[0] - 1][n[1] - 1][n[2] - 1], 0.0f);
            freeXvol(u);
            freeXvol(v);
            freeXraw(x);
        }
    }
    Xraw *empty = makeXraw(4, 0, 3, 1);
    float st[4];
    EXPECT_EQ(statsXrawVoxels(empty, st), -1);
    freeXraw(empty);
}

TEST(NormaliseXvol, StretchesToUnitRange)
{
    Xvol *v = makeXvol(1, 1, 3, [](int, int, int k) { return 2.0f + 2.0f * k; });
    normaliseXvol(v);
    EXPECT_EQ(v->data[0][0][0], 0.0f);
    EXPECT_EQ(v->data[0][0][1], 0.5f);
    EXPECT_EQ(v->data[0][0][2], 1.0f);
    freeXvol(v);

    Xvol *flat = makeXvol(2, 2, 2, [](int, int, int) { return 3.0f; });
    normaliseXvol(flat);
    EXPECT_TRUE(std::isnan(flat->data[1][1][1]));
    freeXvol(flat);
}

} // namespace
