// The crosshair's readout: -at at known voxels of an XRW volume, the file's
// own voxel order, several volumes, points outside the box.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "crosshair.h"
#include "viewer_test_util.h"

namespace {

// 5 x 4 x 3 voxels of sizes 0.5, 1.5, 2, each a value of its own.
const int kN[3] = {5, 4, 3};
const float kD[3] = {0.5f, 1.5f, 2.0f};

int valueAt(int x, int y, int z)
{
    return 3 + x + 5 * y + 20 * z;
}

std::string distinctVolume()
{
    static std::string p =
        vt::writeVolume("cross.xrw", kN[0], kN[1], kN[2], kD[0], kD[1], kD[2],
                        [](int x, int y, int z) { return static_cast<unsigned char>(valueAt(x, y, z)); });
    return p;
}

// Where file voxel (i, j, k) lies without -M: the box is centred on the
// origin and the drawn grid runs the file's y and z backwards.
void expectedWorld(int i, int j, int k, double w[3])
{
    w[0] = -kN[0] * kD[0] / 2 + kD[0] * i;
    w[1] = -kN[1] * kD[1] / 2 + kD[1] * (kN[1] - 1 - j);
    w[2] = -kN[2] * kD[2] / 2 + kD[2] * (kN[2] - 1 - k);
}

std::string line(const double w[3], int i, int j, int k, const std::string &value)
{
    char b[200];
    std::snprintf(b, sizeof b, "crosshair: world %.2f %.2f %.2f, voxel %d %d %d, value %s", w[0], w[1], w[2],
                  i, j, k, value.c_str());
    return b;
}

std::vector<std::string> worldArgs(const double w[3])
{
    char b[3][40];
    for (int a = 0; a < 3; a++)
        std::snprintf(b[a], sizeof b[a], "%.6f", w[a]);
    return {b[0], b[1], b[2]};
}

std::string lastLine(const std::string &text)
{
    std::string t = text;
    while (!t.empty() && t.back() == '\n')
        t.pop_back();
    size_t nl = t.rfind('\n');
    return nl == std::string::npos ? t : t.substr(nl + 1);
}

TEST(Crosshair, FirstAndLastVoxelAlongEachAxisInTheFilesOrder)
{
    std::string vol = distinctVolume();
    // The corners and the middle of each edge through voxel (0, 0, 0).
    std::vector<std::vector<int>> voxels = {{0, 0, 0}, {4, 0, 0}, {0, 3, 0}, {0, 0, 2}, {4, 3, 2}, {2, 1, 1}};
    int n = 0;
    for (const auto &v : voxels) {
        double w[3];
        expectedWorld(v[0], v[1], v[2], w);
        std::vector<std::string> args = {"-f", vol, "-at"};
        for (const std::string &s : worldArgs(w))
            args.push_back(s);
        args.insert(args.end(), {"--nodraw", "--frames", "1"});
        vt::RunResult r = vt::runViewer(args, "at" + std::to_string(n++));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(lastLine(r.out), line(w, v[0], v[1], v[2], std::to_string(valueAt(v[0], v[1], v[2]))));
    }
}

TEST(Crosshair, ValuesAreTheFilesWhateverTheDrawnVoxelsBecome)
{
    // Slice sets read the byte back from the float voxels; -3d without
    // slice views, clipping (-DX) and zeroed planes (-BX) change or drop
    // those, and the bytes are kept instead.
    std::string vol = distinctVolume();
    const std::vector<std::vector<std::string>> modes = {
        {}, {"-3d"}, {"-3d", "-ortho"}, {"-DX", "-d", "0.5", "0.6"}, {"-BX", "1"}};
    int n = 0;
    for (const auto &mode : modes) {
        for (const auto &v : std::vector<std::vector<int>>{{0, 0, 0}, {4, 3, 2}, {2, 1, 1}}) {
            double w[3];
            expectedWorld(v[0], v[1], v[2], w);
            std::vector<std::string> args = {"-f", vol, "-at"};
            for (const std::string &s : worldArgs(w))
                args.push_back(s);
            args.insert(args.end(), mode.begin(), mode.end());
            args.insert(args.end(), {"--nodraw", "--frames", "1"});
            vt::RunResult r = vt::runViewer(args, "mode" + std::to_string(n++));
            ASSERT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(lastLine(r.out), line(w, v[0], v[1], v[2], std::to_string(valueAt(v[0], v[1], v[2]))))
                << testing::PrintToString(mode);
        }
    }
}

TEST(Crosshair, LargeVolumesKeepTheBytesTheReadoutReads)
{
    // 2 MB of voxels: large enough that start-up gives back the pages of
    // bytes nothing reads. With -3d alone the float voxels are never
    // filled, so the readout reads the bytes; with slice sets the floats.
    std::string vol = vt::writeVolume("large.xrw", 128, 128, 128, 1, 1, 1, [](int x, int y, int z) {
        return static_cast<unsigned char>((x + 3 * y + 7 * z) % 251);
    });
    // File voxel (100, 20, 90): world (-64 + 100, -64 + 127 - 20, -64 + 127 - 90).
    for (const char *mode : {"-3d", "-x"}) {
        vt::RunResult r =
            vt::runViewer({"-f", vol, "-at", "36", "43", "-27", mode, "--nodraw", "--frames", "1"},
                          std::string("large") + mode);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(lastLine(r.out), "crosshair: world 36.00 43.00 -27.00, voxel 100 20 90, value " +
                                       std::to_string((100 + 3 * 20 + 7 * 90) % 251))
            << mode;
    }
}

TEST(Crosshair, PointsWithinHalfAVoxelNameThatVoxel)
{
    std::string err;
    ASSERT_EQ(vt::startQuietly({"-f", distinctVolume(), "-at", "0", "0", "0"}, &err), 0) << err;
    for (int i = 0; i < kN[0]; i++)
        for (int j = 0; j < kN[1]; j++)
            for (int k = 0; k < kN[2]; k++) {
                double c[3];
                expectedWorld(i, j, k, c);
                for (double f : {-0.49, 0.0, 0.49}) {
                    double w[3] = {c[0] + f * kD[0], c[1] + f * kD[1], c[2] - f * kD[2]};
                    int got[3] = {-1, -1, -1};
                    ASSERT_EQ(worldToFileVoxel(0, w, got), 0);
                    EXPECT_EQ(got[0], i);
                    EXPECT_EQ(got[1], j);
                    EXPECT_EQ(got[2], k);
                    EXPECT_EQ(fileVoxelValue(0, got), valueAt(i, j, k));
                }
                // And back: the voxel's centre.
                double ijk[3] = {double(i), double(j), double(k)}, back[3];
                fileVoxelToWorld(0, ijk, back);
                for (int a = 0; a < 3; a++)
                    EXPECT_NEAR(back[a], c[a], 1e-5);
            }
    // Just beyond the outer cells' faces lies outside.
    double lo[3], hi[3];
    expectedWorld(0, kN[1] - 1, kN[2] - 1, lo);
    expectedWorld(kN[0] - 1, 0, 0, hi);
    for (int a = 0; a < 3; a++) {
        double w[3] = {0, 0, 0};
        int got[3];
        w[a] = lo[a] - 0.51 * kD[a];
        EXPECT_EQ(worldToFileVoxel(0, w, got), -1) << a;
        w[a] = hi[a] + 0.51 * kD[a];
        EXPECT_EQ(worldToFileVoxel(0, w, got), -1) << a;
    }
}

TEST(Crosshair, OutsideTheBoxEndsWithOneLineAndStatus255)
{
    vt::RunResult r =
        vt::runViewer({"-f", distinctVolume(), "-at", "0", "0", "40", "--nodraw", "--frames", "1"}, "atout");
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out.find("crosshair:"), std::string::npos);
    EXPECT_NE(lastLine(r.err).find("-at 0 0 40"), std::string::npos) << r.err;
    EXPECT_NE(lastLine(r.err).find(distinctVolume()), std::string::npos) << r.err;
    // Not three numbers.
    r = vt::runViewer({"-f", distinctVolume(), "-at", "0", "x", "1", "--nodraw"}, "atbad");
    EXPECT_EQ(r.status, 255);
    EXPECT_NE(r.err.find("-at needs three finite numbers"), std::string::npos) << r.err;
}

TEST(Crosshair, SliceViewsOfAVolumeWithNoVoxelsEndTheRun)
{
    // A stride longer than the x axis leaves no voxels.
    vt::RunResult r = vt::runViewer(
        {"-f", distinctVolume(), "-s", "8", "1", "1", "-ortho", "--nodraw", "--frames", "1"}, "emptyortho");
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(lastLine(r.err), "-ortho: '" + distinctVolume() + "' has no voxels to slice.") << r.err;
}

TEST(Crosshair, StartsAtTheCentreVoxelAndReadsEveryVolume)
{
    // The second volume is the first shifted: a matrix moves it by 2 voxels along x.
    std::string m = vt::writeText("cross.mat", "0.5 0 0 -0.25\n0 1.5 0 -3\n0 0 2 -3\n0 0 0 1\n");
    vt::RunResult r = vt::runViewer(
        {"-f", distinctVolume(), "-f", distinctVolume(), "-M", m, "--nodraw", "--frames", "1"}, "two");
    ASSERT_EQ(r.status, 0) << r.err;
    // Without -at or -ortho nothing is printed.
    EXPECT_EQ(r.out.find("crosshair:"), std::string::npos);
    r = vt::runViewer(
        {"-f", distinctVolume(), "-f", distinctVolume(), "-M", m, "-ortho", "--nodraw", "--frames", "3"},
        "twoortho");
    ASSERT_EQ(r.status, 0) << r.err;
    double w[3];
    expectedWorld(2, 2, 1, w);
    std::string first = "volume 0: " + line(w, 2, 2, 1, std::to_string(valueAt(2, 2, 1)));
    // The matrix maps the file's voxels: (i, j, k) to (0.5 i - 0.25, 1.5 j - 3, 2 k - 3).
    int i1 = static_cast<int>(std::lround((w[0] + 0.25) / 0.5)),
        j1 = static_cast<int>(std::lround((w[1] + 3) / 1.5)),
        k1 = static_cast<int>(std::lround((w[2] + 3) / 2));
    std::string second = "volume 1: " + line(w, i1, j1, k1, std::to_string(valueAt(i1, j1, k1)));
    EXPECT_NE(r.out.find(first + "\n" + second + "\n"), std::string::npos) << r.out;
    // Once in a headless run, however many frames.
    EXPECT_EQ(r.out.find("volume 0:"), r.out.rfind("volume 0:"));
}

TEST(Crosshair, StepsOneVoxelAndStaysInside)
{
    std::string err;
    ASSERT_EQ(vt::startQuietly({"-f", distinctVolume(), "-ortho"}, &err), 0) << err;
    ASSERT_EQ(startCrosshair(), 0);
    int ijk[3];
    ASSERT_EQ(worldToFileVoxel(0, crosshair.world, ijk), 0);
    EXPECT_EQ(ijk[0], 2);
    // World +y runs along the file's -y.
    ASSERT_EQ(stepCrosshair(1, +1), 1);
    int after[3];
    ASSERT_EQ(worldToFileVoxel(0, crosshair.world, after), 0);
    EXPECT_EQ(after[1], ijk[1] - 1);
    EXPECT_EQ(after[0], ijk[0]);
    EXPECT_EQ(after[2], ijk[2]);
    // Along x to the last voxel, then no further.
    int moved = 0;
    while (stepCrosshair(0, +1))
        moved++;
    EXPECT_EQ(moved, kN[0] - 1 - ijk[0]);
    ASSERT_EQ(worldToFileVoxel(0, crosshair.world, after), 0);
    EXPECT_EQ(after[0], kN[0] - 1);
    // A point outside leaves the crosshair where it was.
    double before[3] = {crosshair.world[0], crosshair.world[1], crosshair.world[2]};
    double far[3] = {100, 0, 0};
    EXPECT_EQ(moveCrosshair(far), 0);
    for (int a = 0; a < 3; a++)
        EXPECT_EQ(crosshair.world[a], before[a]);
}

} // namespace
