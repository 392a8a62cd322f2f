// Slice-image stacks read through the scene library's TGA reader.
#include "volume_test_util.h"

#include <functional>

namespace {

struct Rgb {
    unsigned char r, g, b;
};

// An uncompressed 32-bit TGA with its origin at the top left.
void writeTga(const std::string &path, int w, int h, const std::function<Rgb(int, int)> &pixel)
{
    std::string s(18, '\0');
    s[2] = 2;
    s[12] = (char)(w & 0xff);
    s[13] = (char)(w >> 8);
    s[14] = (char)(h & 0xff);
    s[15] = (char)(h >> 8);
    s[16] = 32;
    s[17] = 0x28;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            Rgb c = pixel(x, y);
            s += (char)c.b;
            s += (char)c.g;
            s += (char)c.r;
            s += (char)0x7f;
        }
    writeFile(path, s, false);
}

// Slice n of a stack: 3 x 2 pixels whose colour bytes sum to n + x + 10*y.
std::string makeStack(const std::string &stem, int count)
{
    for (int n = 0; n < count; n++) {
        char name[64];
        snprintf(name, sizeof name, "_%03d.tga", n);
        writeTga(tmpPath(stem + name), 3, 2, [n](int x, int y) {
            return Rgb{(unsigned char)(n + x), (unsigned char)(10 * y), 0};
        });
    }
    return tmpPath(stem + "_%03d.tga");
}

Xvol *loadQuietly(const std::string &pattern, int first, int last, int step, std::string *err)
{
    testing::internal::CaptureStderr();
    Xvol *v = loadTifStack(pattern.c_str(), first, last, step);
    *err = testing::internal::GetCapturedStderr();
    return v;
}

TEST(LoadTifStack, SumsColourBytesAndFlipsRows)
{
    std::string path = tmpPath("quad_000.tga");
    const Rgb px[2][2] = {{{10, 20, 30}, {1, 1, 1}}, {{0, 0, 0}, {255, 255, 255}}};
    writeTga(path, 2, 2, [&](int x, int y) { return px[y][x]; });
    std::string err;
    Xvol *v = loadQuietly(tmpPath("quad_%03d.tga"), 0, 0, 1, &err);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(err, "reading file " + path + "...\nSlices are 2 x 2\n");
    EXPECT_EQ(v->nx, 1);
    EXPECT_EQ(v->ny, 2);
    EXPECT_EQ(v->nz, 2);
    EXPECT_EQ(v->data[0][0][0], 0.0f);
    EXPECT_EQ(v->data[0][0][1], 60.0f);
    EXPECT_EQ(v->data[0][1][0], 765.0f);
    EXPECT_EQ(v->data[0][1][1], 3.0f);
    EXPECT_EQ(v->dx, 1.0f);
    EXPECT_EQ(v->cmap_r[51], 51.0f / 255.0f);
    EXPECT_EQ(std::string(v->filename), "from_TIF_stack_" + tmpPath("quad_%03d.tga"));
    freeXvol(v);
}

TEST(LoadTifStack, StepsThroughTheNumberedSlices)
{
    std::string pattern = makeStack("stack", 11);
    std::string err;
    Xvol *v = loadQuietly(pattern, 0, 10, 2, &err);
    ASSERT_NE(v, nullptr);
    ASSERT_EQ(v->nx, 6);
    EXPECT_EQ(v->ny, 3);
    EXPECT_EQ(v->nz, 2);
    // Plane i is slice 2i; pixel (x, y) sits at [x][1 - y].
    for (int i = 0; i < 6; i++)
        for (int x = 0; x < 3; x++)
            for (int y = 0; y < 2; y++)
                EXPECT_EQ(v->data[i][x][1 - y], (float)(2 * i + x + 10 * y)) << i << x << y;
    EXPECT_NE(err.find("_010.tga...\n"), std::string::npos);
    EXPECT_EQ(err.find("_001.tga"), std::string::npos);
    freeXvol(v);

    v = loadQuietly(pattern, 1, 4, 1, &err);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->nx, 4);
    EXPECT_EQ(v->data[0][0][1], 1.0f);
    freeXvol(v);

    v = loadQuietly(pattern, 7, 7, 3, &err);
    ASSERT_NE(v, nullptr);
    EXPECT_NE(err.find("stack_007.tga"), std::string::npos);
    freeXvol(v);
}

TEST(LoadTifStack, RefusesBadRangesPatternsAndNames)
{
    std::string pattern = makeStack("refuse", 2);
    std::string err;
    EXPECT_EQ(loadQuietly(pattern, 3, 2, 1, &err), nullptr);
    EXPECT_EQ(err, "No slices to read: last slice 2 is below first slice 3.\n");
    EXPECT_EQ(loadQuietly(pattern, 0, 1, 0, &err), nullptr);
    EXPECT_EQ(err, "Slice step 0 is below 1.\n");
    for (const char *bad :
         {"slice_%s.tga", "slice.tga", "slice_%d_%d.tga", "slice_%*d.tga", "slice_%ld.tga"}) {
        EXPECT_EQ(loadQuietly(bad, 0, 1, 1, &err), nullptr) << bad;
        EXPECT_EQ(err, std::string("Slice name pattern '") + bad +
                           "' must hold exactly one integer conversion.\n");
    }
    EXPECT_EQ(loadQuietly("%0300d", 0, 1, 1, &err), nullptr);
    EXPECT_EQ(err, "Slice name from pattern '%0300d' is longer than 254 characters.\n");
}

TEST(LoadTifStack, RefusesSlicesOfAnotherSize)
{
    std::string pattern = makeStack("sizes", 3);
    writeTga(tmpPath("sizes_002.tga"), 2, 2, [](int, int) { return Rgb{1, 2, 3}; });
    std::string err;
    EXPECT_EQ(loadQuietly(pattern, 0, 2, 1, &err), nullptr);
    EXPECT_NE(err.find("Slice " + tmpPath("sizes_002.tga") + " is 2 x 2, unlike the first slice of 3 x 2.\n"),
              std::string::npos);
}

TEST(LoadTifStackDeathTest, UnreadableSliceEndsTheProgram)
{
    std::string pattern = makeStack("gap", 2);
    EXPECT_EXIT(loadTifStack(pattern.c_str(), 0, 2, 1), testing::ExitedWithCode(255),
                "Failed to read image .*gap_002.tga");
}

} // namespace
