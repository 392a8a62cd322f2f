// The demo programs as their own processes: messages, headless frames
// counted by the library's --stats lines, and their offscreen images.
#include "../support/scratch.h"
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

namespace {

struct ProgramRun {
    int status = -1;
    std::string err;
};

std::string testFile(const std::string &suffix)
{
    const testing::TestInfo *t = testing::UnitTest::GetInstance()->current_test_info();
    return scratchDir() + "/demos_" + t->test_suite_name() + "_" + t->name() + suffix;
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

ProgramRun runProgram(const std::string &program, const std::string &args)
{
    std::string errFile = testFile(".err");
    // A program is named by its file in BIN_DIR, or given as a whole command.
    std::string run = program.find('/') == std::string::npos ? std::string(BIN_DIR) + "/" + program : program;
    std::string cmd = run + " " + args + " >/dev/null 2>" + errFile;
    ProgramRun r;
    int st = std::system(cmd.c_str());
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.err = readFile(errFile);
    return r;
}

// Points counted on each --stats line, in frame order.
std::vector<long> pointsPerFrame(const std::string &err)
{
    std::vector<long> out;
    std::istringstream in(err);
    std::string line;
    while (std::getline(in, line)) {
        long frame = 0, points = 0;
        if (sscanf(line.c_str(), "vqscene: frame=%ld points=%ld", &frame, &points) == 2) {
            EXPECT_EQ(frame, (long)out.size()) << line;
            out.push_back(points);
        }
    }
    return out;
}

struct Image {
    int w = 0, h = 0;
    std::vector<unsigned char> rgb; // row after row from the top
    const unsigned char *at(int x, int y) const { return &rgb[3 * ((size_t)y * w + x)]; }
};

bool loadImage(const std::string &path, Image &img)
{
    int n = 0;
    unsigned char *p = stbi_load(path.c_str(), &img.w, &img.h, &n, 3);
    if (!p)
        return false;
    img.rgb.assign(p, p + (size_t)img.w * img.h * 3);
    stbi_image_free(p);
    return true;
}

// Pixels in [x0, x1) x [y0, y1) (rows from the top) that differ from `bg`.
int litPixels(const Image &img, int x0, int y0, int x1, int y1, const unsigned char *bg)
{
    int lit = 0;
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++) {
            const unsigned char *p = img.at(x, y);
            lit += p[0] != bg[0] || p[1] != bg[1] || p[2] != bg[2];
        }
    return lit;
}

// Lit pixels in each window quarter of a 200x200 image, leaving out a
// band of 3 pixels along the middle lines where panels meet.
struct Quarters {
    int topLeft, topRight, bottomLeft, bottomRight;
};

Quarters quarters(const Image &img)
{
    unsigned char bg[3] = {img.at(0, 199)[0], img.at(0, 199)[1], img.at(0, 199)[2]};
    return {litPixels(img, 0, 0, 97, 97, bg), litPixels(img, 103, 0, 200, 97, bg),
            litPixels(img, 0, 103, 97, 200, bg), litPixels(img, 103, 103, 200, 200, bg)};
}

const char *const kMessages = "Press <tab> to switch between panels\n"
                              "Press <spacebar> to link cameras together - cannot be undone\n"
                              "Futher presses of <spacebar> toggle panel visiblity\n";

} // namespace

TEST(PanelDemoProgram, AnnouncesItsKeysBeforeTheFirstFrame)
{
    ProgramRun r = runProgram("paneldemo", "--nodraw --frames 1");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, kMessages);

    r = runProgram("paneldemo", "--nodraw --frames 2 --stats --keys 0:space,1:space");
    EXPECT_EQ(r.status, 0);
    ASSERT_EQ(r.err.compare(0, std::string(kMessages).size(), kMessages), 0) << r.err;
    EXPECT_EQ(r.err.compare(std::string(kMessages).size(), 16, "vqscene: frame=0"), 0) << r.err;
    // The panel demo's frame callback draws nothing itself.
    EXPECT_EQ(pointsPerFrame(r.err), (std::vector<long>{0, 0}));
}

TEST(PointsDemoProgram, NumberKeysSwitchTheMovingCloud)
{
    // Frame 2: 1 switches the callback off; frame 4: 2 on; frame 6: 5 off.
    ProgramRun r = runProgram("pointsdemo", "--nodraw --stats --frames 8 --keys 2:1,4:2,6:5,7:0");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(pointsPerFrame(r.err), (std::vector<long>{20, 20, 0, 0, 20, 20, 0, 0}));
}

class DemoImages : public ::testing::Test {
  protected:
    // Render a program offscreen; false when it could not.
    bool render(const std::string &program, const std::string &args, Image &img)
    {
        std::string png = testFile(".png");
        std::remove(png.c_str());
        ProgramRun r = runProgram(program, "--png " + png + " --size 200x200 " + args);
        EXPECT_EQ(r.status, 0) << r.err;
        return r.status == 0 && loadImage(png, img) && img.w == 200 && img.h == 200;
    }
};

TEST_F(DemoImages, PanelsFillTheirQuartersOnly)
{
    Image img;
    ASSERT_TRUE(render("paneldemo", "--frames 1", img));
    Quarters q = quarters(img);
    EXPECT_GT(q.topLeft, 0);
    EXPECT_GT(q.bottomRight, 0);
    EXPECT_EQ(q.topRight, 0);
    EXPECT_EQ(q.bottomLeft, 0);

    // One press links the cameras: both panels still drawn.
    ASSERT_TRUE(render("paneldemo", "--frames 1 --keys 0:space", img));
    q = quarters(img);
    EXPECT_GT(q.topLeft, 0);
    EXPECT_GT(q.bottomRight, 0);
}

TEST_F(DemoImages, SecondPanelGoesAfterTwoPresses)
{
    Image img;
    ASSERT_TRUE(render("paneldemo", "--frames 1 --keys 0:space,0:space", img));
    Quarters q = quarters(img);
    EXPECT_GT(q.topLeft, 0);
    EXPECT_EQ(q.bottomRight, 0);
    EXPECT_EQ(q.topRight + q.bottomLeft, 0);

    // One press a frame: linked at frame 0, hidden at 1, shown again at 2.
    ASSERT_TRUE(render("paneldemo", "--frames 2 --keys 0:space,1:space", img));
    EXPECT_EQ(quarters(img).bottomRight, 0);
    ASSERT_TRUE(render("paneldemo", "--frames 3 --keys 0:space,1:space,2:space", img));
    EXPECT_GT(quarters(img).bottomRight, 0);
}

TEST_F(DemoImages, FixedPointsShowInYellow)
{
    Image img;
    ASSERT_TRUE(render("pointsdemo", "--frames 1", img));
    int yellow = 0;
    for (int y = 0; y < img.h; y++)
        for (int x = 0; x < img.w; x++) {
            const unsigned char *p = img.at(x, y);
            yellow += p[0] > 200 && p[1] > 200 && p[2] < 60;
        }
    EXPECT_GT(yellow, 0);

    // With the frame callback off from the start, the moving cloud never
    // appears: fewer lit pixels than with it.
    unsigned char bg[3] = {img.at(0, 0)[0], img.at(0, 0)[1], img.at(0, 0)[2]};
    int withMoving = litPixels(img, 0, 0, 200, 200, bg);
    ASSERT_TRUE(render("pointsdemo", "--frames 1 --keys 0:1", img));
    EXPECT_LT(litPixels(img, 0, 0, 200, 200, bg), withMoving);
}

TEST_F(DemoImages, RunsInTheSameSecondDrawTheSameClouds)
{
    // The clock is held by a preloaded time() (support/fixed_time.c), so
    // the runs share their second however busy the machine is.
    auto at = [](long second) {
        const char *preload = getenv("LD_PRELOAD");
        return "env VQTEST_TIME=" + std::to_string(second) + " LD_PRELOAD=" +
               (preload && *preload ? std::string(preload) + ":" : std::string()) + FIXED_TIME_LIB + " " + BIN_DIR +
               "/pointsdemo";
    };
    Image a, b, c;
    ASSERT_TRUE(render(at(1700000000), "--frames 2", a));
    ASSERT_TRUE(render(at(1700000000), "--frames 2", b));
    EXPECT_TRUE(a.rgb == b.rgb);
    // Another second seeds other clouds.
    ASSERT_TRUE(render(at(1700000001), "--frames 2", c));
    EXPECT_FALSE(a.rgb == c.rgb);
}

TEST(DemoPrograms, DisplayThatCannotOpenEndsWithOneLine)
{
    for (const char *program : {"pointsdemo", "paneldemo"}) {
        ProgramRun r = runProgram(program, "--frames many");
        EXPECT_EQ(r.status, 1) << program;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << program << ": " << r.err;
        EXPECT_EQ(r.err.find("Press"), std::string::npos) << program;
    }
}
