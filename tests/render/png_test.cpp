// PNG writing, the --png file patterns and whole offscreen runs of the
// render_scenes program, checked by the images they leave.
#include "../support/scratch.h"
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <string>
#include <vector>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include "stb_image.h"
#pragma GCC diagnostic pop

#include "png.h"

namespace {

struct Image {
    int w = 0, h = 0;
    std::vector<unsigned char> rgb;
    // x from the left, y from the top, as the file stores rows.
    const unsigned char *at(int x, int y) const { return &rgb[(y * w + x) * 3]; }
};

bool readPng(const std::string &path, Image &img)
{
    int n = 0;
    unsigned char *data = stbi_load(path.c_str(), &img.w, &img.h, &n, 3);
    if (data == nullptr)
        return false;
    img.rgb.assign(data, data + img.w * img.h * 3);
    stbi_image_free(data);
    return true;
}

bool exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// Files in dir whose names start with prefix.
std::vector<std::string> filesLike(const std::string &dir, const std::string &prefix)
{
    std::vector<std::string> out;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d))
            if (std::string(e->d_name).rfind(prefix, 0) == 0)
                out.push_back(e->d_name);
        closedir(d);
    }
    return out;
}

// A fresh directory under the test folder for one test.
std::string freshDir(const char *name)
{
    std::string dir = scratchDir() + "/render_" + name;
    std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str());
    return dir;
}

struct RunResult {
    int status = -1;
    std::string err;
};

// render_scenes in dir with the arguments given; stderr captured.
RunResult runScenes(const std::string &dir, const std::string &args)
{
    std::string cmd = "cd '" + dir + "' && EGL_PLATFORM=surfaceless " + BIN_DIR + "/render_scenes " + args +
                      " 2>&1 >/dev/null";
    RunResult r;
    FILE *p = popen(cmd.c_str(), "r");
    if (p == nullptr)
        return r;
    char buf[512];
    while (std::fgets(buf, sizeof buf, p))
        r.err += buf;
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

TEST(PngWrite, FlipsRowsAndDropsAlpha)
{
    std::string dir = freshDir("flip");
    // Three columns, two rows; row 0 is the bottom one, as GL reads it.
    const uint8_t px[2 * 3 * 4] = {255, 0,  0,  9, 0,  255, 0,  9, 0,  0,  255, 9,
                                   10,  20, 30, 0, 40, 50,  60, 0, 70, 80, 90,  0};
    std::string path = dir + "/a.png";
    ASSERT_EQ(vq::writePng(path.c_str(), px, 3, 2), 0);
    Image img;
    ASSERT_TRUE(readPng(path, img));
    ASSERT_EQ(img.w, 3);
    ASSERT_EQ(img.h, 2);
    EXPECT_EQ(img.at(0, 0)[0], 10);
    EXPECT_EQ(img.at(2, 0)[2], 90);
    EXPECT_EQ(img.at(0, 1)[0], 255);
    EXPECT_EQ(img.at(1, 1)[1], 255);
    EXPECT_EQ(img.at(2, 1)[2], 255);
    EXPECT_EQ(filesLike(dir, "a.png.").size(), 0u);
}

TEST(PngWrite, FailureKeepsWhatWasThere)
{
    std::string dir = freshDir("fail");
    const uint8_t px[4] = {1, 2, 3, 4};
    // The target is a directory: the rename fails and nothing is left over.
    std::string target = dir + "/taken.png";
    ASSERT_EQ(mkdir(target.c_str(), 0755), 0);
    EXPECT_EQ(vq::writePng(target.c_str(), px, 1, 1), -1);
    struct stat st;
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(filesLike(dir, "taken.png.").size(), 0u);

    // No such folder, and no image at all.
    EXPECT_EQ(vq::writePng((dir + "/none/x.png").c_str(), px, 1, 1), -1);
    std::string old = dir + "/old.png";
    ASSERT_EQ(vq::writePng(old.c_str(), px, 1, 1), 0);
    EXPECT_EQ(vq::writePng(old.c_str(), px, 0, 1), -1);
    Image img;
    ASSERT_TRUE(readPng(old, img));
    EXPECT_EQ(img.at(0, 0)[2], 3);
}

TEST(PngPattern, AcceptsOneIntegerConversion)
{
    bool numbered = true;
    EXPECT_TRUE(vq::checkPngPattern("a.png", &numbered));
    EXPECT_FALSE(numbered);
    EXPECT_TRUE(vq::checkPngPattern("out%04d.png", &numbered));
    EXPECT_TRUE(numbered);
    EXPECT_TRUE(vq::checkPngPattern("f%-3i_%%.png", &numbered));
    EXPECT_TRUE(numbered);
    EXPECT_TRUE(vq::checkPngPattern("100%%.png", &numbered));
    EXPECT_FALSE(numbered);
    EXPECT_TRUE(vq::checkPngPattern("%u", &numbered));

    EXPECT_FALSE(vq::checkPngPattern("%d%d.png", &numbered));
    EXPECT_FALSE(vq::checkPngPattern("%s.png", &numbered));
    EXPECT_FALSE(vq::checkPngPattern("%n.png", &numbered));
    EXPECT_FALSE(vq::checkPngPattern("%ld.png", &numbered));
    EXPECT_FALSE(vq::checkPngPattern("%.3d.png", &numbered));
    EXPECT_FALSE(vq::checkPngPattern("%999d.png", &numbered));
    EXPECT_FALSE(vq::checkPngPattern("end%", &numbered));

    EXPECT_EQ(vq::pngFrameName("out%04d.png", 7), "out0007.png");
    EXPECT_EQ(vq::pngFrameName("p%%%d", 12), "p%12");
    EXPECT_EQ(vq::pngFrameName("still.png", 3), "still.png");
}

TEST(Offscreen, WritesTheLastFrameAtItsSize)
{
    std::string dir = freshDir("single");
    RunResult r = runScenes(dir, "facet --png one.png --size 40x30");
    ASSERT_EQ(r.status, 0) << r.err;
    Image img;
    ASSERT_TRUE(readPng(dir + "/one.png", img));
    ASSERT_EQ(img.w, 40);
    ASSERT_EQ(img.h, 30);
    // Red square in the middle, blue background at the corners.
    const unsigned char *c = img.at(20, 15), *k = img.at(0, 0);
    EXPECT_GT(c[0], 250);
    EXPECT_LT(c[2], 5);
    EXPECT_LT(k[0], 5);
    EXPECT_GT(k[2], 250);
    EXPECT_EQ(filesLike(dir, "one.png.").size(), 0u);
}

TEST(Offscreen, PatternWritesEveryFrame)
{
    std::string dir = freshDir("pattern");
    RunResult r = runScenes(dir, "frames --png 'seq%02d.png' --frames 3 --size 24x24 --stats");
    ASSERT_EQ(r.status, 0) << r.err;
    for (int f = 0; f < 3; ++f) {
        char name[32];
        std::snprintf(name, sizeof name, "/seq%02d.png", f);
        Image img;
        ASSERT_TRUE(readPng(dir + name, img)) << name;
        // Frame f draws grey (f + 1) / 4.
        EXPECT_NEAR(img.at(12, 12)[1], 255 * (f + 1) / 4.0, 3) << name;
    }
    EXPECT_FALSE(exists(dir + "/seq03.png"));
    // One stats line per frame.
    size_t lines = 0;
    for (size_t p = r.err.find("frame="); p != std::string::npos; p = r.err.find("frame=", p + 1))
        ++lines;
    EXPECT_EQ(lines, 3u);
}

TEST(Offscreen, WithoutPatternOnlyLastFrame)
{
    std::string dir = freshDir("last");
    RunResult r = runScenes(dir, "frames --png last.png --frames 2 --size 16x16");
    ASSERT_EQ(r.status, 0) << r.err;
    Image img;
    ASSERT_TRUE(readPng(dir + "/last.png", img));
    EXPECT_NEAR(img.at(8, 8)[0], 128, 3);
}

TEST(Offscreen, BadPatternIsRefused)
{
    std::string dir = freshDir("bad");
    RunResult r = runScenes(dir, "facet --png 'x%s.png'");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("--png"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    EXPECT_TRUE(filesLike(dir, "x").empty());
}

TEST(Offscreen, FailedWriteReportsAndKeepsTarget)
{
    std::string dir = freshDir("blocked");
    ASSERT_EQ(mkdir((dir + "/img.png").c_str(), 0755), 0);
    RunResult r = runScenes(dir, "facet --png img.png --size 8x8");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("img.png"), std::string::npos) << r.err;
    struct stat st;
    ASSERT_EQ(stat((dir + "/img.png").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
}

TEST(Offscreen, ScreenshotKeyWritesNumberedImage)
{
    std::string dir = freshDir("shot");
    RunResult r = runScenes(dir, "facet --png main.png --size 20x20 --keys 1:s --frames 3");
    ASSERT_EQ(r.status, 0) << r.err;
    Image img;
    ASSERT_TRUE(readPng(dir + "/vqscene-0000.png", img));
    EXPECT_EQ(img.w, 20);
    EXPECT_GT(img.at(10, 10)[0], 250);
    // A second run numbers on from the existing screenshot.
    r = runScenes(dir, "facet --png main.png --size 20x20 --keys 0:s");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(exists(dir + "/vqscene-0001.png"));
}

TEST(Offscreen, QuitKeyEndsTheRun)
{
    std::string dir = freshDir("quit");
    RunResult r = runScenes(dir, "frames --png 'q%d.png' --frames 10 --keys 2:q --size 8x8");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(exists(dir + "/q2.png"));
    EXPECT_FALSE(exists(dir + "/q3.png"));
}

} // namespace
