// The makephantom sample tool, run as a program.
#include "volume_test_util.h"

#include <sys/wait.h>

namespace {

int runPhantom(const std::string &args)
{
    std::string cmd = std::string(BIN_DIR) + "/makephantom " + args + " 2>/dev/null";
    int status = system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(MakePhantom, WritesADeterministicColouredVolume)
{
    std::string a = tmpPath("phantom_a.xrw"), b = tmpPath("phantom_b.xrw");
    ASSERT_EQ(runPhantom(a + " 24 16 8"), 0) << "is makephantom built?";
    ASSERT_EQ(runPhantom(b + " 24 16 8"), 0);
    EXPECT_EQ(readFile(a), readFile(b));

    Xraw *x = loadXraw(a.c_str());
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(x->nx, 24);
    EXPECT_EQ(x->ny, 16);
    EXPECT_EQ(x->nz, 8);
    EXPECT_EQ(x->dx, 1.0f);
    EXPECT_EQ(x->dz, 1.0f);
    // Empty at the corners, something inside, and a colour table that is not grey.
    EXPECT_EQ(x->data[0], 0);
    EXPECT_EQ(x->data[24 * 16 * 8 - 1], 0);
    EXPECT_NE(x->data[12 + 24 * 8 + 24 * 16 * 4], 0);
    int zeros = 0, coloured = 0;
    for (int i = 0; i < 24 * 16 * 8; i++)
        zeros += x->data[i] == 0;
    for (int c = 0; c < 256; c++)
        coloured += x->cmap_r[c] != x->cmap_g[c] || x->cmap_g[c] != x->cmap_b[c];
    EXPECT_GT(zeros, 24 * 16 * 8 / 4);
    EXPECT_LT(zeros, 24 * 16 * 8);
    EXPECT_GT(coloured, 200);
    freeXraw(x);
}

TEST(MakePhantom, TakesVoxelSizesAndRefusesBadArguments)
{
    std::string path = tmpPath("phantom_v.xrw");
    ASSERT_EQ(runPhantom("-v 0.5 1 2.5 " + path + " 6"), 0);
    Xraw *x = loadXraw(path.c_str());
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(x->nz, 6);
    EXPECT_EQ(x->dx, 0.5f);
    EXPECT_EQ(x->dz, 2.5f);
    freeXraw(x);
    EXPECT_EQ(runPhantom(path), 1);
    EXPECT_EQ(runPhantom(path + " 0"), 1);
    EXPECT_EQ(runPhantom(path + " 4 4"), 1);
    EXPECT_EQ(runPhantom("-v 1 nan 1 " + path + " 4"), 1);
    EXPECT_EQ(runPhantom(tmpPath("missing_dir") + "/p.xrw 4"), 1);
}

} // namespace
