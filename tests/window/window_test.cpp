// The window platform under a private Xvfb server: frames counted by
// --frames, keys from --keys and from xdotool, screenshots read back, and
// a clean refusal when no display can be opened.
#include "../support/scratch.h"
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include "stb_image.h"
#pragma GCC diagnostic pop

#include "../support/png_difference.h"

namespace {

bool exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

struct Output {
    int status = -1;
    std::string text;
};

Output shell(const std::string &cmd)
{
    Output o;
    FILE *p = popen((cmd + " 2>&1").c_str(), "r");
    if (p == nullptr)
        return o;
    char buf[512];
    while (std::fgets(buf, sizeof buf, p))
        o.text += buf;
    int st = pclose(p);
    o.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return o;
}

std::string freshDir(const char *name)
{
    std::string dir = scratchDir() + "/window_" + name;
    std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str());
    return dir;
}

// One Xvfb server for the whole suite, on a display number nobody uses.
class Window : public ::testing::Test {
  protected:
    static pid_t server;
    static std::string display;

    static void SetUpTestSuite()
    {
        if (!exists("/usr/bin/Xvfb"))
            return;
        for (int n = 40 + getpid() % 200; n < 400; ++n) {
            std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
            std::string sock = "/tmp/.X11-unix/X" + std::to_string(n);
            if (exists(lock) || exists(sock))
                continue;
            std::string name = ":" + std::to_string(n);
            pid_t pid = fork();
            if (pid == 0) {
                int null = open("/dev/null", O_WRONLY);
                dup2(null, 1);
                dup2(null, 2);
                execl("/usr/bin/Xvfb", "Xvfb", name.c_str(), "-screen", "0", "320x240x24", "-nolisten", "tcp",
                      "-noreset", static_cast<char *>(nullptr));
                _exit(127);
            }
            // Ready once its socket appears; gone if another server won the number.
            for (int i = 0; i < 100 && !exists(sock); ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                int st;
                if (waitpid(pid, &st, WNOHANG) == pid) {
                    pid = -1;
                    break;
                }
            }
            if (pid > 0 && exists(sock)) {
                server = pid;
                display = name;
                return;
            }
            if (pid > 0) {
                kill(pid, SIGTERM);
                waitpid(pid, nullptr, 0);
            }
        }
    }

    static void TearDownTestSuite()
    {
        if (server > 0) {
            kill(server, SIGTERM);
            waitpid(server, nullptr, 0);
        }
        server = -1;
    }

    void SetUp() override
    {
        if (!exists("/usr/bin/Xvfb"))
            GTEST_SKIP() << "Xvfb is not installed";
        ASSERT_GT(server, 0) << "Xvfb did not start";
    }

    std::string program(const std::string &dir, const std::string &args) const
    {
        return "cd '" + dir + "' && DISPLAY=" + display + " timeout 30 " + BIN_DIR + "/render_scenes " + args;
    }
};

pid_t Window::server = -1;
std::string Window::display;

// Centre pixel of a PNG file, or all -1.
void centre(const std::string &path, int rgb[3], int *w = nullptr)
{
    rgb[0] = rgb[1] = rgb[2] = -1;
    int iw, ih, n;
    unsigned char *d = stbi_load(path.c_str(), &iw, &ih, &n, 3);
    if (d == nullptr)
        return;
    const unsigned char *p = d + ((ih / 2) * iw + iw / 2) * 3;
    for (int i = 0; i < 3; ++i)
        rgb[i] = p[i];
    if (w)
        *w = iw;
    stbi_image_free(d);
}

TEST_F(Window, FramesOptionClosesTheWindow)
{
    std::string dir = freshDir("frames");
    Output o = shell(program(dir, "facet --frames 4 --size 48x48 --stats"));
    EXPECT_EQ(o.status, 0) << o.text;
    size_t lines = 0;
    for (size_t p = o.text.find("frame="); p != std::string::npos; p = o.text.find("frame=", p + 1))
        ++lines;
    EXPECT_EQ(lines, 4u) << o.text;
}

// Frame times handed to the callbacks, from the clock scene's lines.
std::vector<double> frameTimes(const std::string &text)
{
    std::vector<double> t;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        double v = 0;
        if (std::sscanf(line.c_str(), "t=%lf", &v) == 1)
            t.push_back(v);
    }
    return t;
}

TEST_F(Window, FramesArePacedAndKeepTheClock)
{
    std::string dir = freshDir("paced");
    Output o = shell(program(dir, "clock --frames 12 --size 32x32"));
    ASSERT_EQ(o.status, 0) << o.text;
    std::vector<double> t = frameTimes(o.text);
    ASSERT_EQ(t.size(), 12u) << o.text;
    // At most 60 frames a second: never two frames in one slot (a little
    // slack for the clock's grain), however fast the machine draws.
    for (size_t i = 1; i < t.size(); i++)
        EXPECT_GT(t[i] - t[i - 1], 1 / 60.0 - 0.002) << "frame " << i << "\n" << o.text;

    // Offscreen the same program gets frame / --fps.
    o = shell("cd '" + dir + "' && env -u DISPLAY EGL_PLATFORM=surfaceless " + BIN_DIR +
              "/render_scenes clock --png p.png --frames 3 --fps 4 --size 8x8");
    ASSERT_EQ(o.status, 0) << o.text;
    EXPECT_EQ(frameTimes(o.text), (std::vector<double>{0, 0.25, 0.5}));
}

TEST_F(Window, ScreenshotFromKeysOption)
{
    std::string dir = freshDir("keys");
    Output o = shell(program(dir, "facet --frames 3 --size 48x40 --keys 1:s"));
    ASSERT_EQ(o.status, 0) << o.text;
    int rgb[3], w = 0;
    centre(dir + "/vqscene-0000.png", rgb, &w);
    EXPECT_EQ(w, 48);
    // The red square on the blue background.
    EXPECT_GT(rgb[0], 250);
    EXPECT_LT(rgb[2], 5);
}

TEST_F(Window, KeysFromTheWindowSystem)
{
    if (!exists("/usr/bin/xdotool"))
        GTEST_SKIP() << "xdotool is not installed";
    std::string dir = freshDir("xdotool");
    // The program runs until q; xdotool types s, then q, into its window
    // once it is mapped (focus on a window not yet viewable is refused).
    std::string run =
        program(dir, "facet --size 40x40") + " >'" + dir + "/log' 2>&1; echo $? >'" + dir + "/status'";
    std::string keys =
        "export DISPLAY=" + display +
        "; w=$(timeout 20 xdotool search --sync --onlyvisible --name '^vqscene$' | head -1) && "
        "xdotool windowfocus --sync $w && xdotool key s && sleep 0.3 && xdotool key q";
    Output o = shell("(" + run + ") & " + keys + "; wait");
    EXPECT_EQ(o.status, 0) << o.text;
    Output st = shell("cat '" + dir + "/status' '" + dir + "/log'");
    EXPECT_EQ(st.text.substr(0, 2), "0\n") << st.text;
    int rgb[3];
    centre(dir + "/vqscene-0000.png", rgb);
    EXPECT_GT(rgb[0], 250) << st.text;
}

// Mean of all channels of a PNG file, or -1.
double meanLevel(const std::string &path)
{
    int iw, ih, n;
    unsigned char *d = stbi_load(path.c_str(), &iw, &ih, &n, 3);
    if (d == nullptr)
        return -1;
    double sum = 0;
    for (int i = 0; i < iw * ih * 3; ++i)
        sum += d[i];
    stbi_image_free(d);
    return sum / (iw * ih * 3);
}

TEST_F(Window, ViewerLookChangesByDragAndKeysWithoutSendingVoxels)
{
    if (!exists("/usr/bin/xdotool"))
        GTEST_SKIP() << "xdotool is not installed";
    for (bool threeD : {false, true}) {
        SCOPED_TRACE(threeD ? "-3d" : "slices");
        std::string dir = freshDir(threeD ? "look3d" : "look");
        ASSERT_EQ(shell(std::string(BIN_DIR) + "/makephantom '" + dir + "/ph.xrw' 48").status, 0);
        // xrwview runs until q; its window is found by its title. Screenshots
        // before and after a Ctrl drag that narrows the data range (to the
        // left), then m switches the projection and c the colour map, each
        // before one more.
        std::string run = "cd '" + dir + "' && DISPLAY=" + display + " timeout 40 " + BIN_DIR +
                          "/xrwview -f ph.xrw --size 160x160 --stats " + (threeD ? "-3d " : "") + ">'" + dir +
                          "/out' 2>'" + dir + "/log'; echo $? >'" + dir + "/status'";
        std::string input =
            "export DISPLAY=" + display +
            "; w=$(timeout 20 xdotool search --sync --onlyvisible --name '^xrwview: ph.xrw$' | head -1) "
            "&& xdotool windowfocus --sync $w && sleep 0.3 && xdotool key s && sleep 0.3 && "
            "xdotool mousemove --window $w 120 80 keydown ctrl mousedown 1 && sleep 0.1 && "
            "xdotool mousemove_relative -- -40 0 && sleep 0.1 && xdotool mousemove_relative -- -40 0 "
            "&& sleep 0.1 && xdotool mouseup 1 keyup ctrl && sleep 0.5 && xdotool key s && "
            "sleep 0.3 && xdotool key m && sleep 0.5 && xdotool key s && sleep 0.3 && xdotool key c c && "
            "sleep 0.5 && xdotool key s && sleep 0.3 && xdotool key q";
        Output o = shell("(" + run + ") & " + input + "; wait");
        EXPECT_EQ(o.status, 0) << o.text;
        Output st = shell("cat '" + dir + "/status' '" + dir + "/log'");
        ASSERT_EQ(st.text.substr(0, 2), "0\n") << st.text;
        // Half a window to the left: the range 0 .. 1 narrows to 0.25 .. 0.75.
        EXPECT_NE(st.text.find("volume 0 window: 0.25 .. 0.75"), std::string::npos) << st.text;
        EXPECT_NE(st.text.find("projection mip"), std::string::npos) << st.text;
        double before = meanLevel(dir + "/vqscene-0000.png"), narrowed = meanLevel(dir + "/vqscene-0001.png"),
               mip = meanLevel(dir + "/vqscene-0002.png");
        ASSERT_GE(before, 0);
        // The phantom's faint rim falls below the new data minimum.
        EXPECT_GT(pngFileMeanDifference(dir + "/vqscene-0000.png", dir + "/vqscene-0001.png"), 1)
            << "the range changes the picture";
        EXPECT_GT(mip, narrowed + 1) << "its maximum at full opacity brighter still";
        // The named maps after the file's own: grey (the phantom's own is a
        // grey ramp too), then rainbow.
        EXPECT_NE(st.text.find("map rainbow, projection mip"), std::string::npos) << st.text;
        double grey = meanLevel(dir + "/vqscene-0003.png");
        EXPECT_GT(std::fabs(grey - mip), 1) << "another map, another picture";
        // One upload, at the first frame, whatever changed after; a 3-D
        // texture sends the voxels' values once more, at the first change.
        size_t last = st.text.rfind("uploads=");
        ASSERT_NE(last, std::string::npos) << st.text;
        EXPECT_EQ(std::stol(st.text.substr(last + 8)), threeD ? 2 : 1) << st.text;
        EXPECT_EQ(st.text.find("only the projection changes"), std::string::npos) << st.text;
    }
}

TEST_F(Window, BoxDrawnInForeground)
{
    std::string dir = freshDir("box");
    Output o = shell(program(dir, "box --frames 2 --size 64x64 --keys 0:s"));
    ASSERT_EQ(o.status, 0) << o.text;
    int iw, ih, n;
    unsigned char *d = stbi_load((dir + "/vqscene-0000.png").c_str(), &iw, &ih, &n, 3);
    ASSERT_NE(d, nullptr);
    int yellow = 0;
    for (int i = 0; i < iw * ih; ++i)
        yellow += d[3 * i] > 150 && d[3 * i + 1] > 150 && d[3 * i + 2] < 100;
    stbi_image_free(d);
    EXPECT_GT(yellow, 60);
}

TEST_F(Window, NoDisplayIsRefusedInOneLine)
{
    std::string dir = freshDir("nodisplay");
    // A display number with no server behind it.
    Output o = shell("cd '" + dir + "' && DISPLAY=:399 timeout 30 " + BIN_DIR + "/render_scenes facet");
    EXPECT_NE(o.status, 0);
    EXPECT_NE(o.status, 124);
    EXPECT_NE(o.text.find("display"), std::string::npos) << o.text;
    EXPECT_EQ(o.text.find('\n'), o.text.size() - 1) << o.text;
}

// The last crosshair line of a run's output.
std::string lastCrosshair(const std::string &text)
{
    size_t at = text.rfind("crosshair: ");
    return at == std::string::npos ? "" : text.substr(at, text.find('\n', at) - at);
}

TEST_F(Window, ClickInASliceViewMovesTheCrosshair)
{
    if (!exists("/usr/bin/xdotool"))
        GTEST_SKIP() << "xdotool is not installed";
    std::string dir = freshDir("ortho");
    // 20^3 voxels of 1 mm: grid voxel i at world -10 + i, the drawn grid's
    // y running against the file's (file j = 19 - grid j).
    Output made = shell(std::string(BIN_DIR) + "/makephantom -v 1 1 1 '" + dir + "/v.xrw' 20");
    ASSERT_EQ(made.status, 0) << made.text;
    std::string run = "cd '" + dir + "' && DISPLAY=" + display + " timeout 30 " + BIN_DIR +
                      "/xrwview -f v.xrw -ortho --size 240x240 >'" + dir + "/log' 2>'" + dir +
                      "/err'; echo $? >'" + dir + "/status'";
    // The axial view is the top left 120 x 120 pixels: 25 mm (the box's
    // 20 mm and its margin) about the box's centre (-0.5, -0.5), x to the
    // right, -y up. A click at pixel (90, 30) outside the box first, then
    // one inside it at (90, 30) after a click on the margin at (2, 2).
    std::string clicks =
        "export DISPLAY=" + display +
        "; w=$(timeout 20 xdotool search --sync --onlyvisible --name '^xrwview: v.xrw$' | head -1) && "
        "sleep 0.5 && xdotool mousemove --window $w 2 2 click 1 && sleep 0.3 && "
        "xdotool mousemove --window $w 90 30 click 1 && sleep 0.5 && "
        "xdotool windowfocus --sync $w && xdotool key q";
    Output o = shell("(" + run + ") & " + clicks + "; wait");
    EXPECT_EQ(o.status, 0) << o.text;
    Output st = shell("cat '" + dir + "/status' '" + dir + "/log'");
    EXPECT_EQ(st.text.substr(0, 2), "0\n") << st.text;
    // Pixel (90, 30): its centre at window fractions 90.5 / 240 and
    // 1 - 30.5 / 240, so 0.2542 and 0.2458 of the view right of and above
    // its centre: world x = -0.5 + 0.2542 * 25 = 5.85, y = -0.5 - 0.2458 * 25
    // = -6.65; grid voxel (16, 3), file voxel (16, 16); z stays on the
    // centre voxel, file k 10.
    std::string last = lastCrosshair(st.text);
    EXPECT_NE(last.find("voxel 16 16 10,"), std::string::npos) << st.text;
    EXPECT_NE(last.find("world 5.85 -6.65 "), std::string::npos) << st.text;
    // The click on the margin (outside the box) printed nothing: the start
    // line and the one click's line.
    size_t lines = 0;
    for (size_t p = st.text.find("crosshair: "); p != std::string::npos;
         p = st.text.find("crosshair: ", p + 1))
        ++lines;
    EXPECT_EQ(lines, 2u) << st.text;
}

// Amber letter pixels (the slice views' letters) in x0..x1, y0..y1 (from
// the top) of a PNG, or -1.
int amberIn(const std::string &path, int x0, int x1, int y0, int y1)
{
    int iw, ih, n;
    unsigned char *d = stbi_load(path.c_str(), &iw, &ih, &n, 3);
    if (d == nullptr)
        return -1;
    int count = 0;
    for (int y = std::max(y0, 0); y <= y1 && y < ih; ++y)
        for (int x = std::max(x0, 0); x <= x1 && x < iw; ++x) {
            const unsigned char *p = d + 3 * (static_cast<size_t>(y) * iw + x);
            count += p[0] > 90 && p[1] > 0.7 * p[0] && p[1] < 0.95 * p[0] && p[2] < 0.5 * p[0];
        }
    stbi_image_free(d);
    return count;
}

TEST_F(Window, SliceViewLettersShowInTheWindow)
{
    std::string dir = freshDir("orthotext");
    Output made = shell(std::string(BIN_DIR) + "/makephantom -v 1 1 1 '" + dir + "/v.xrw' 20");
    ASSERT_EQ(made.status, 0) << made.text;
    Output o = shell("cd '" + dir + "' && DISPLAY=" + display + " timeout 30 " + BIN_DIR +
                     "/xrwview -f v.xrw -ortho --size 240x240 --frames 3 --keys 1:s 2>&1");
    ASSERT_EQ(o.status, 0) << o.text;
    // The axial view, the top left 120 x 120 pixels: a letter in the middle
    // of its left and right edges, none in its upper right corner.
    std::string shot = dir + "/vqscene-0000.png";
    EXPECT_GT(amberIn(shot, 0, 16, 48, 72), 8);
    EXPECT_GT(amberIn(shot, 103, 119, 48, 72), 8);
    EXPECT_EQ(amberIn(shot, 100, 119, 0, 15), 0);
}

} // namespace
