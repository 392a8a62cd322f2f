// Track files: the numbered series, the shared point array, the track pass.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>

#include "tracks.h"
#include "viewer_test_util.h"

namespace {

// A fresh folder for one test's track files.
std::string trackDir(const std::string &name)
{
    std::string dir = vt::tmpPath("tracks_" + name);
    std::string cmd = "rm -rf '" + dir + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    mkdir(dir.c_str(), 0755);
    return dir;
}

std::string points(int n, double x0 = 0, double dx = 1)
{
    std::string s;
    for (int p = 0; p < n; p++)
        s += std::to_string(x0 + dx * p) + " " + std::to_string(2.0 * p) + " " + std::to_string(-p) + "\n";
    return s;
}

int read(const std::string &pattern, int skip, std::string *err = nullptr)
{
    vt::freshViewer();
    testing::internal::CaptureStderr();
    int rc = readTracks(pattern.c_str(), skip);
    std::string e = testing::internal::GetCapturedStderr();
    if (err)
        *err = e;
    return rc;
}

TEST(Tracks, SeriesInStepsUntilTheFirstMissingFile)
{
    std::string dir = trackDir("steps");
    std::ofstream(dir + "/t0.txt") << points(5);
    std::ofstream(dir + "/t1000.txt") << "";
    std::ofstream(dir + "/t2000.txt") << points(7, 100);
    std::ofstream(dir + "/t4000.txt") << points(3);
    std::ofstream(dir + "/t1.txt") << points(3);
    std::string err;
    ASSERT_EQ(read(dir + "/t%d.txt", 1000, &err), 0);
    ASSERT_EQ(ntracks, 3);
    EXPECT_EQ(count[0], 5);
    EXPECT_EQ(count[1], 0);
    EXPECT_EQ(count[2], 7);
    EXPECT_EQ(start[2], start[0] + 5);
    EXPECT_EQ(start[2][0].x, 100.0);
    EXPECT_EQ(start[0][4].y, 8.0);
    EXPECT_EQ(err, "loaded 3 track files, lengths are:\n      5       0       7 ");

    // A step of 1 reads t0, t1, then stops at t2.
    ASSERT_EQ(read(dir + "/t%d.txt", 1), 0);
    EXPECT_EQ(ntracks, 2);
    EXPECT_EQ(count[1], 3);
}

TEST(Tracks, NoFirstFileGivesNoTracks)
{
    std::string dir = trackDir("none");
    std::string err;
    ASSERT_EQ(read(dir + "/t%d.txt", 1000, &err), 0);
    EXPECT_EQ(ntracks, 0);
    EXPECT_NE(start, nullptr);
    EXPECT_EQ(err, "loaded 0 track files, lengths are:\n");
}

TEST(Tracks, FilesEndAtTextThatIsNoTriple)
{
    std::string dir = trackDir("short");
    std::ofstream(dir + "/a0.txt") << "1 2 3\n4\t5\n6 7 8 9\n10 11\n";
    std::ofstream(dir + "/a5.txt") << "1 2 3\n4 five 6\n7 8 9\n";
    std::ofstream(dir + "/a10.txt") << "1 2 3\n4 nan 6\n7 8 9\n";
    std::ofstream(dir + "/a15.txt") << "1 2 3\ninf 5 6\n";
    ASSERT_EQ(read(dir + "/a%d.txt", 5), 0);
    ASSERT_EQ(ntracks, 4);
    // Spread over lines: (1,2,3), (4,5,6), (7,8,9); "10 11" dropped.
    EXPECT_EQ(count[0], 3);
    EXPECT_EQ(start[0][1].z, 6.0);
    EXPECT_EQ(start[0][2].x, 7.0);
    EXPECT_EQ(count[1], 1);
    EXPECT_EQ(count[2], 1);
    EXPECT_EQ(count[3], 1);
}

TEST(Tracks, GrowthKeepsEveryPointInOrder)
{
    std::string dir = trackDir("growth");
    std::ofstream(dir + "/t0.txt") << points(2500, 0, 0.5);
    // More files than one chunk of counts.
    for (int n = 1; n <= 150; n++)
        std::ofstream(dir + "/t" + std::to_string(n) + ".txt") << points(n % 3);
    ASSERT_EQ(read(dir + "/t%d.txt", 1), 0);
    ASSERT_EQ(ntracks, 151);
    ASSERT_EQ(count[0], 2500);
    for (int p = 0; p < 2500; p++)
        ASSERT_EQ(start[0][p].x, 0.5 * p) << p;
    long offset = 2500;
    for (int t = 1; t <= 150; t++) {
        EXPECT_EQ(count[t], t % 3);
        EXPECT_EQ(start[t], start[0] + offset);
        offset += t % 3;
    }
}

TEST(Tracks, OverlongNameIsRefused)
{
    std::string err;
    EXPECT_EQ(read(std::string(399, 'x') + "%d", 1000, &err), -1);
    EXPECT_FALSE(err.empty());
}

// Track pass outside a frame: its lines go to the static list.
void pass()
{
    vqtest::openHeadless();
    trackPass();
}

TEST(TrackPass, ColoursFromTheEndToEndDirection)
{
    std::string dir = trackDir("colours");
    std::ofstream(dir + "/t0.txt") << "0 0 0\n0.1 0.05 0\n0.5 0 0\n"; // along x
    std::ofstream(dir + "/t1.txt") << "0 0 0.5\n0 0 -0.5\n";          // along z, backwards
    std::ofstream(dir + "/t2.txt") << "0.2 0.2 0.2\n";                // one point
    std::ofstream(dir + "/t3.txt") << "";                             // none
    std::ofstream(dir + "/t4.txt") << "0 0 0\n0.3 0.3 0.3\n0 0.1 0.2\n0.4 0.4 0.4\n";
    ASSERT_EQ(read(dir + "/t%d.txt", 1), 0);
    ASSERT_EQ(ntracks, 5);

    // Hidden until key 2 is pressed an odd number of times.
    pass();
    EXPECT_TRUE(vqtest::staticList().thickLines.empty());
    numcount[2] = 2;
    pass();
    EXPECT_TRUE(vqtest::staticList().thickLines.empty());

    numcount[2] = 1;
    pass();
    const auto &lines = vqtest::staticList().thickLines;
    ASSERT_EQ(lines.size(), 2u + 1u + 3u);
    for (int n = 0; n < 2; n++) {
        EXPECT_FLOAT_EQ(lines[n].ca.r, 1.0f);
        EXPECT_FLOAT_EQ(lines[n].ca.g, 1.0f);
        EXPECT_FLOAT_EQ(lines[n].ca.b, 1.0f);
        EXPECT_FLOAT_EQ(lines[n].width, 2.0f);
    }
    EXPECT_FLOAT_EQ(lines[1].a.x, 0.1f);
    EXPECT_FLOAT_EQ(lines[1].b.x, 0.5f);
    EXPECT_FLOAT_EQ(lines[2].ca.r, 0.0f);
    EXPECT_FLOAT_EQ(lines[2].ca.g, 0.0f);
    EXPECT_FLOAT_EQ(lines[2].ca.b, 0.0f);
    double c = 1 / std::sqrt(3.0);
    Colour3 want = HSV2RGB(c * 360.0, c, c);
    for (int n = 3; n < 6; n++) {
        EXPECT_FLOAT_EQ(lines[n].ca.r, static_cast<float>(want.r));
        EXPECT_FLOAT_EQ(lines[n].ca.g, static_cast<float>(want.g));
        EXPECT_FLOAT_EQ(lines[n].cb.b, static_cast<float>(want.b));
    }
    EXPECT_FLOAT_EQ(lines[4].b.y, 0.1f);
}

TEST(TrackPass, NothingWithoutTracks)
{
    vt::freshViewer();
    numcount[2] = 1;
    pass();
    EXPECT_TRUE(vqtest::staticList().thickLines.empty());
}

} // namespace
