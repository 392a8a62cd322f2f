// The makedense sample tool, run as a program: a body with a value above
// the minimum in every voxel, grain like a scan's, nothing inside at 0.
#include "volume_test_util.h"

#include <sys/wait.h>

#include <cmath>

namespace {

int runDense(const std::string &args)
{
    std::string cmd = std::string(BIN_DIR) + "/makedense " + args + " 2>/dev/null";
    int status = system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(MakeDense, EveryVoxelOfTheBodyIsTissueWithGrain)
{
    const int nx = 40, ny = 32, nz = 36;
    std::string a = tmpPath("dense_a.xrw"), b = tmpPath("dense_b.xrw");
    ASSERT_EQ(runDense(a + " 40 32 36"), 0) << "is makedense built?";
    ASSERT_EQ(runDense(b + " 40 32 36"), 0);
    EXPECT_EQ(readFile(a), readFile(b));
    Xraw *x = loadXraw(a.c_str());
    ASSERT_NE(x, nullptr);
    ASSERT_EQ(x->nx, nx);
    ASSERT_EQ(x->ny, ny);
    ASSERT_EQ(x->nz, nz);
    auto at = [&](int i, int j, int k) { return x->data[i + nx * (j + ny * k)]; };
    // Inside the body (its inner half along every axis from the centre),
    // never below 20; outside the ellipsoid, at the corners, 0.
    int inside = 0, low = 0, bright = 0, steps = 0, filled = 0;
    for (int k = 0; k < nz; k++)
        for (int j = 0; j < ny; j++)
            for (int i = 0; i < nx; i++) {
                float u = (2.0f * i + 1) / nx - 1, v = (2.0f * j + 1) / ny - 1, w = (2.0f * k + 1) / nz - 1;
                filled += at(i, j, k) != 0;
                if (u * u + v * v + w * w < 0.5f * 0.5f) {
                    ++inside;
                    low += at(i, j, k) < 20;
                }
                bright += at(i, j, k) >= 200;
                if (i > 0 && at(i, j, k) != 0 && at(i - 1, j, k) != 0)
                    steps += std::abs(at(i, j, k) - at(i - 1, j, k)) >= 2;
            }
    EXPECT_GT(inside, 1000);
    EXPECT_EQ(low, 0);
    EXPECT_EQ(at(0, 0, 0), 0);
    EXPECT_EQ(at(nx - 1, ny - 1, nz - 1), 0);
    // Most of an inscribed ellipsoid's 52% of the cube is filled.
    EXPECT_GT(filled, nx * ny * nz * 2 / 5);
    EXPECT_LT(filled, nx * ny * nz * 11 / 20);
    // The shell and the blob are bright; the tissue has grain.
    EXPECT_GT(bright, nx * ny * nz / 50);
    EXPECT_GT(steps, filled / 3);
    for (int c = 0; c < 256; c++)
        ASSERT_TRUE(x->cmap_r[c] == c && x->cmap_g[c] == c && x->cmap_b[c] == c);
    freeXraw(x);
}

TEST(MakeDense, RefusesBadArguments)
{
    std::string path = tmpPath("dense_bad.xrw");
    EXPECT_EQ(runDense(path), 1);
    EXPECT_EQ(runDense(path + " 0"), 1);
    EXPECT_EQ(runDense(path + " 4 4"), 1);
    EXPECT_EQ(runDense(path + " 5000"), 1);
    EXPECT_EQ(runDense(tmpPath("missing_dir") + "/d.xrw 4"), 1);
}

} // namespace
