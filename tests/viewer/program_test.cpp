// The xrwview program run headless: exact output, messages and exit statuses.
#include <cstdint>
#include <cstring>

#include <gtest/gtest.h>

#include "viewer_test_util.h"

namespace {

const std::string kProg = std::string(BIN_DIR) + "/xrwview";

std::string smallVolume()
{
    static std::string path = vt::writeVolume("prog.xrw", 4, 3, 2, 0.5f, 1.0f, 2.0f,
                                              [](int x, int y, int z) { return (x + y + z) % 2 ? 255 : 0; });
    return path;
}

// The listing of smallVolume as start-up prints it.
std::string listing()
{
    std::string p = smallVolume();
    return "XRW file: '" + p +
           "'\n"
           "volume dimensions:      4      3      2\n"
           "      voxel sizes:  0.500  1.000  2.000\n"
           "total volume size:    2.0    3.0    4.0\n"
           "- - - - - - - - - - - - - - - - - - - - - - - - -\n"
           "Parsed data (from '" +
           p +
           "'):\n"
           "volume dimensions:      4      3      2\n"
           "      voxel sizes:  0.500  1.000  2.000\n"
           "total volume size:    2.0    3.0    4.0\n"
           "    min, mean(stddev), max: 0.0000 0.5000(0.5000) 1.0000\n";
}

TEST(Program, UsageCases)
{
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"-f"},
        {"-x", "-i"},
        {"-f", "a.xrw", "-d", "0"},
        {"-d", "0", "1", "-f", "a.xrw"},
        {"-f", "a.xrw", "-Sp", "0"},
        {"-f", "a.xrw", "-Ts", "0"},
        {"-f", "a.xrw", "-Tf", "none"},
    };
    int n = 0;
    for (const auto &args : cases) {
        vt::RunResult r = vt::runViewer(args, "usage" + std::to_string(n++));
        EXPECT_EQ(r.status, 255) << testing::PrintToString(args);
        EXPECT_EQ(r.err, vt::usageText(kProg)) << testing::PrintToString(args);
        EXPECT_EQ(r.out, "");
    }
}

TEST(Program, CommandLineFailures)
{
    vt::RunResult r = vt::runViewer({"-f", "a", "-f", "b", "-f", "c", "-f", "d", "-f", "e"}, "five");
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "Too many volumes!\n");
    r = vt::runViewer({"-f", "a.xrw", "-s", "2", "2", "0"}, "stride");
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "stride must be at least 1 in each direction!\n");
    r = vt::runViewer({"-f", "a.xrw", "-o", "head.STL", "h", "1", "1", "1", "1"}, "format");
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "unknown input surface format: head.STL\n");
}

TEST(Program, MissingVolumeFile)
{
    std::string missing = vt::tmpPath("nothere.xrw");
    vt::RunResult r = vt::runViewer({"-c", "x"}, "cbefore");
    EXPECT_EQ(r.status, 255);
    r = vt::runViewer({"-f", missing, "-c", "hot", "--nodraw", "--frames", "1"}, "missing");
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "cmapname = hot\nFailed to open file '" + missing + "'.\nFailed to open or read '" +
                         missing + "'.\n");
}

TEST(Program, HeadlessRunListsTheVolume)
{
    vt::RunResult r = vt::runViewer({"-f", smallVolume(), "--nodraw", "--frames", "2"}, "run");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, listing());
    EXPECT_EQ(r.err, "vqswin(-1.000000,1.000000,-1.500000,1.500000,-2.000000,2.000000)\n"
                     "BLOW APART might not work due to multivolume support!\n");
}

TEST(Program, HeadlessTextureRun)
{
    vt::RunResult r = vt::runViewer(
        {"-f", smallVolume(), "-3d", "-Sp", "2", "--nodraw", "--frames", "3", "--stats", "--keys", "1:9"},
        "run3d");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, listing());
    EXPECT_EQ(r.err.substr(0, 18), "speed-up factor 2\n");
    EXPECT_NE(r.err.find("3d texture IS 4 x 3 x 2\n"), std::string::npos);
    EXPECT_NE(r.err.find("minaf = 0.000000, maxaf = 51.000000\n"), std::string::npos);
}

// Number of images in a binary glTF file (its JSON chunk names each one's type).
int gltfImages(const std::string &path)
{
    std::string glb = vt::readFile(path);
    if (glb.size() < 20)
        return -1;
    uint32_t length = 0;
    std::memcpy(&length, glb.data() + 12, 4);
    std::string json = glb.substr(20, length);
    int n = 0;
    for (size_t at = json.find("image/png"); at != std::string::npos; at = json.find("image/png", at + 1))
        n++;
    return n;
}

TEST(Program, ExportAfterDrawingKeepsTheTextures)
{
    // 8 MB of texels: large enough that the renderer gives the storage back
    // once it is on the GPU; the export must still see every texel.
    std::string vol = vt::writeVolume("export3d.xrw", 128, 128, 128, 1, 1, 1,
                                      [](int x, int y, int z) { return (x + 2 * y + 3 * z) % 256; });
    std::string drawn = vt::tmpPath("export3d_drawn.glb"), plain = vt::tmpPath("export3d_plain.glb");
    vt::RunResult r = vt::runViewer({"-f", vol, "-3d", "-Sp", "8", "--png", vt::tmpPath("export3d.png"), "--size",
                                     "64x64", "--export", drawn},
                                    "export3d");
    ASSERT_EQ(r.status, 0) << r.err;
    r = vt::runViewer({"-f", vol, "-3d", "-Sp", "8", "--nodraw", "--frames", "1", "--export", plain}, "export3dn");
    ASSERT_EQ(r.status, 0) << r.err;
    int images = gltfImages(plain);
    EXPECT_GT(images, 0);
    EXPECT_EQ(gltfImages(drawn), images);
    EXPECT_EQ(vt::readFile(drawn).size(), vt::readFile(plain).size());
}

TEST(Program, HeadlessTrackRun)
{
    std::string dir = vt::tmpPath("progtracks");
    std::string cmd = "rm -rf '" + dir + "' && mkdir -p '" + dir + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::ofstream(dir + "/t0.txt") << "0 0 0\n1 1 1\n";
    std::ofstream(dir + "/t1000.txt") << "0 0 0\n";
    vt::RunResult r = vt::runViewer(
        {"-Tf", dir + "/t%d.txt", "-f", smallVolume(), "--nodraw", "--frames", "2", "--keys", "0:2"},
        "tracks");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.substr(0, 51), "loaded 2 track files, lengths are:\n      2       1 ");
}

} // namespace
