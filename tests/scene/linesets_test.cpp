// Line sets in the model: what vqcls keeps, what a frame counts, where
// vqdls maps them, and that an export writes their segments as it writes
// thick lines.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "io.h"
#include "../support/scratch.h"
#include "vqscene_inspect.h"

namespace {

const float kPoints[] = {0, 0, 0, 1, 0, 0, 1, 2, 0, 5, 5, 5, 6, 5, 5};
const unsigned kFirst[] = {0, 3, 3, 4, 5}; // 3 points, none, 1 point, 1 point
const float kColours[] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 1, 0};

void drawSet(double *, int *)
{
    vqdls(0);
}

std::string readAll(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TEST(LineSets, KeptAsGivenAndCountedAsThickLineSegments)
{
    vqtest::openHeadless({"--stats"});
    ASSERT_EQ(vqcls(4, kPoints, kFirst, kColours, 1, 2), 0);
    const vq::LineSet &set = vqtest::scene().lineSets[0];
    EXPECT_EQ(set.xyz, kPoints); // the program's array, not a copy
    EXPECT_EQ(set.npoints, 5);
    EXPECT_EQ(set.segments, 2);
    cvqscb(drawSet);
    testing::internal::CaptureStderr();
    vqtest::runFrame();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(vqtest::frameList().lineSets.size(), 1u);
    EXPECT_EQ(vqtest::scene().stats.thickLines, 2);
    EXPECT_NE(err.find("thicklines=2 "), std::string::npos) << err;
    vqtest::closeScene();
}

TEST(LineSets, DrawKeepsTheWorldWindowOfItsCall)
{
    vqtest::openHeadless();
    vqswin(0, 10, 0, 10, 0, 10);
    int id = vqcls(4, kPoints, kFirst, nullptr, 0, 1);
    vqdls(id);
    const vq::LineSetDraw &d = vqtest::staticList().lineSets.at(0);
    const vq::Panel &p = vqtest::panel();
    for (int a = 0; a < 3; ++a) {
        vq::Vec3 m = vq::mapPoint(p, 2, 2, 2);
        float mapped = a == 0 ? m.x : a == 1 ? m.y : m.z;
        EXPECT_FLOAT_EQ(2 * d.scale[a] + d.offset[a], mapped);
    }
    vqdls(7); // no such set: ignored
    EXPECT_EQ(vqtest::staticList().lineSets.size(), 1u);
    vqtest::closeScene();
}

TEST(LineSets, ExportedAsTheSameSegmentsAsThickLines)
{
    std::string dir = scratchDir();
    vqtest::openHeadless();
    vqswin(-10, 10, -10, 10, -10, 10);
    Colour3 c[4] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}};
    for (int l = 0; l < 4; ++l)
        for (unsigned k = kFirst[l]; k + 1 < kFirst[l + 1]; ++k) {
            const float *a = kPoints + 3 * k, *b = a + 3;
            nvqvthcline({a[0], a[1], a[2]}, {b[0], b[1], b[2]}, c[l], c[l], 2);
        }
    ASSERT_EQ(vq::exportVRML(vqtest::scene(), (dir + "/thick.wrl").c_str()), 0);
    vqtest::closeScene();
    vqtest::openHeadless();
    vqswin(-10, 10, -10, 10, -10, 10);
    vqdls(vqcls(4, kPoints, kFirst, kColours, 1, 2));
    ASSERT_EQ(vq::exportVRML(vqtest::scene(), (dir + "/set.wrl").c_str()), 0);
    vqtest::closeScene();
    std::string thick = readAll(dir + "/thick.wrl"), set = readAll(dir + "/set.wrl");
    EXPECT_NE(thick.find("IndexedLineSet"), std::string::npos);
    EXPECT_EQ(set, thick);
}

} // namespace
