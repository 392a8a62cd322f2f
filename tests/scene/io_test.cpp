// Readers and writers: TGA images, view files.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "vqscene_inspect.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes tgaHeader(int type, int w, int h, int bits, bool topFirst, int alphaBits = 0)
{
    Bytes b(18, 0);
    b[2] = (unsigned char)type;
    b[12] = w & 255, b[13] = w >> 8;
    b[14] = h & 255, b[15] = h >> 8;
    b[16] = (unsigned char)bits;
    b[17] = (unsigned char)((topFirst ? 0x20 : 0) | alphaBits);
    return b;
}

void writeFile(const char *name, const Bytes &b)
{
    std::ofstream f(name, std::ios::binary);
    f.write((const char *)b.data(), (std::streamsize)b.size());
}

std::vector<unsigned char> readTga(const Bytes &b, int *w, int *h, std::string *err = nullptr)
{
    writeFile("image_test.tga", b);
    testing::internal::CaptureStderr();
    unsigned char *p = ReadTGATexture("image_test.tga", w, h);
    std::string e = testing::internal::GetCapturedStderr();
    if (err)
        *err = e;
    std::remove("image_test.tga");
    if (!p)
        return {};
    std::vector<unsigned char> out(p, p + 4 * (size_t)*w * *h);
    std::free(p);
    return out;
}

// A 2x2 image: top row red, green; bottom row blue, white (BGR on disk).
const unsigned char kTop[2][3] = {{0, 0, 255}, {0, 255, 0}};
const unsigned char kBottom[2][3] = {{255, 0, 0}, {255, 255, 255}};
const unsigned char kRgbaTopFirst[16] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};

} // namespace

TEST(Tga, RawTrueColourBothOrigins)
{
    for (bool topFirst : {true, false}) {
        Bytes b = tgaHeader(2, 2, 2, 24, topFirst);
        const unsigned char(*first)[3] = topFirst ? kTop : kBottom;
        const unsigned char(*second)[3] = topFirst ? kBottom : kTop;
        for (auto rows : {first, second})
            for (int x = 0; x < 2; x++)
                b.insert(b.end(), rows[x], rows[x] + 3);
        int w = 0, h = 0;
        std::vector<unsigned char> px = readTga(b, &w, &h);
        ASSERT_EQ(px.size(), 16u) << topFirst;
        EXPECT_EQ(w, 2);
        EXPECT_EQ(h, 2);
        EXPECT_EQ(0, std::memcmp(px.data(), kRgbaTopFirst, 16)) << topFirst;
    }
}

TEST(Tga, ThirtyTwoBitKeepsAlphaAndGreyWorks)
{
    Bytes b = tgaHeader(2, 1, 1, 32, true, 8);
    b.insert(b.end(), {10, 20, 30, 40});
    int w, h;
    std::vector<unsigned char> px = readTga(b, &w, &h);
    ASSERT_EQ(px.size(), 4u);
    EXPECT_EQ(px, (std::vector<unsigned char>{30, 20, 10, 40}));

    Bytes g = tgaHeader(3, 2, 1, 8, true);
    g.insert(g.end(), {7, 200});
    px = readTga(g, &w, &h);
    ASSERT_EQ(px.size(), 8u);
    EXPECT_EQ(px, (std::vector<unsigned char>{7, 7, 7, 255, 200, 200, 200, 255}));
}

TEST(Tga, RunLengthPackets)
{
    // 4x1, 24 bit: a run of three blue pixels, then one raw red pixel.
    Bytes b = tgaHeader(10, 4, 1, 24, true);
    b.insert(b.end(), {0x82, 255, 0, 0, 0x00, 0, 0, 255});
    int w, h;
    std::vector<unsigned char> px = readTga(b, &w, &h);
    ASSERT_EQ(px.size(), 16u);
    EXPECT_EQ(px,
              (std::vector<unsigned char>{0, 0, 255, 255, 0, 0, 255, 255, 0, 0, 255, 255, 255, 0, 0, 255}));

    // 32 bit run, alpha kept.
    Bytes a = tgaHeader(10, 2, 1, 32, true, 8);
    a.insert(a.end(), {0x81, 1, 2, 3, 4});
    px = readTga(a, &w, &h);
    EXPECT_EQ(px, (std::vector<unsigned char>{3, 2, 1, 4, 3, 2, 1, 4}));
}

TEST(Tga, TruncatedAndLyingFilesAreRefused)
{
    int w = 5, h = 5;
    std::string err;
    // Raw data one byte short.
    Bytes raw = tgaHeader(2, 2, 2, 24, true);
    raw.insert(raw.end(), 11, 0);
    EXPECT_TRUE(readTga(raw, &w, &h, &err).empty());
    EXPECT_EQ(w, 0);
    EXPECT_EQ(err.rfind("vqscene: cannot read TGA image 'image_test.tga': ", 0), 0u) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);

    // A header claiming 65535x65535 over a few bytes of run-length data.
    Bytes big = tgaHeader(10, 65535, 65535, 32, true);
    big.insert(big.end(), {0xff, 1, 2, 3, 4, 0xff, 1, 2, 3, 4});
    EXPECT_TRUE(readTga(big, &w, &h).empty());

    // Run-length data whose last packet is cut.
    Bytes rle = tgaHeader(10, 4, 1, 24, true);
    rle.insert(rle.end(), {0x82, 255, 0, 0, 0x00, 0, 0});
    EXPECT_TRUE(readTga(rle, &w, &h).empty());
    // Too few packets for the pixel count.
    Bytes few = tgaHeader(10, 8, 1, 24, true);
    few.insert(few.end(), {0x82, 255, 0, 0, 0x82, 255, 0, 0});
    EXPECT_TRUE(readTga(few, &w, &h).empty());

    // Short header, zero size, unknown type, odd depth.
    EXPECT_TRUE(readTga(Bytes(10, 0), &w, &h).empty());
    Bytes zero = tgaHeader(2, 0, 4, 24, true);
    zero.insert(zero.end(), 12, 0);
    EXPECT_TRUE(readTga(zero, &w, &h).empty());
    Bytes type = tgaHeader(7, 1, 1, 24, true);
    type.insert(type.end(), 3, 0);
    EXPECT_TRUE(readTga(type, &w, &h).empty());
    Bytes depth = tgaHeader(2, 1, 1, 12, true);
    depth.insert(depth.end(), 3, 0);
    EXPECT_TRUE(readTga(depth, &w, &h).empty());
    // An id field running past the end of the file.
    Bytes id = tgaHeader(2, 1, 1, 24, true);
    id[0] = 200;
    id.insert(id.end(), 3, 0);
    EXPECT_TRUE(readTga(id, &w, &h).empty());

    testing::internal::CaptureStderr();
    EXPECT_EQ(ReadTGATexture(".", &w, &h), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "vqscene: cannot read TGA image '.': not a regular file\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(ReadTGATexture("no-such-image.tga", &w, &h), nullptr);
    err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("no-such-image.tga"), std::string::npos);
}

namespace {

class ViewFiles : public ::testing::Test {
  protected:
    void SetUp() override { vqtest::openHeadless(); }
    void TearDown() override
    {
        std::remove("test.view");
        vqtest::closeScene();
    }
    static void write(const std::string &text)
    {
        std::ofstream f("test.view");
        f << text;
    }
};

} // namespace

TEST_F(ViewFiles, RoundTrip)
{
    vqtest::setCamera({0.1, -2.0 / 3, 7.25}, {1e-3, 2, -3}, {0.3, 1, 0.2});
    vqtest::panel().camera.fovy = 42.5;
    ASSERT_EQ(WriteViewFile("test.view"), 0);
    vq::Camera written = vqtest::panel().camera;
    vq::resetCamera(vqtest::scene(), 0);
    ASSERT_EQ(ReadViewFile("test.view"), 0);
    const vq::Camera &c = vqtest::panel().camera;
    for (int a = 0; a < 3; a++) {
        EXPECT_EQ(c.eye[a], written.eye[a]);
        EXPECT_EQ(c.target[a], written.target[a]);
        EXPECT_EQ(c.up[a], written.up[a]);
    }
    EXPECT_EQ(c.fovy, 42.5);

    write("# saved\nvqview 1\n\nfovy 20\nup 0 1 0\ntarget 0 0 0\neye 0 0 9\n");
    EXPECT_EQ(ReadViewFile("test.view"), 0);
    EXPECT_EQ(vqtest::panel().camera.eye[2], 9);
    EXPECT_EQ(vqtest::panel().camera.fovy, 20);
}

TEST_F(ViewFiles, BadFilesLeaveTheCamera)
{
    vqtest::setCamera({1, 2, 3}, {0, 0, 0}, {0, 1, 0});
    const std::vector<std::string> bad = {
        "",
        "vqview 2\neye 0 0 5\ntarget 0 0 0\nup 0 1 0\nfovy 30\n",
        "vqview 1\neye 0 0 5\ntarget 0 0 0\nup 0 1 0\n",
        "vqview 1\neye 0 0 nan\ntarget 0 0 0\nup 0 1 0\nfovy 30\n",
        "vqview 1\neye 0 0 inf\ntarget 0 0 0\nup 0 1 0\nfovy 30\n",
        "vqview 1\neye 0 0 1e999\ntarget 0 0 0\nup 0 1 0\nfovy 30\n",
        "vqview 1\neye 0 0 5 6\ntarget 0 0 0\nup 0 1 0\nfovy 30\n",
        "vqview 1\neye 0 0\ntarget 0 0 0\nup 0 1 0\nfovy 30\n",
        "vqview 1\neye 0 0 5\neye 0 0 5\ntarget 0 0 0\nup 0 1 0\nfovy 30\n",
        "vqview 1\neye 0 0 5\ntarget 0 0 0\nup 0 1 0\nfovy 30\nzoom 2\n",
        "vqview 1\neye 0 0 5\ntarget 0 0 5\nup 0 1 0\nfovy 30\n",
        "vqview 1\neye 0 0 5\ntarget 0 0 0\nup 0 0 1\nfovy 30\n",
        "vqview 1\neye 0 0 5\ntarget 0 0 0\nup 0 1 0\nfovy 180\n",
        "vqview 1\neyes 0 0 5\ntarget 0 0 0\nup 0 1 0\nfovy 30\n",
        std::string("vqview 1\neye 0 0 5\ntarget 0 0 0\nup 0 1 0\nfovy 30") + std::string(500, ' ') + "\n",
    };
    for (const std::string &text : bad) {
        write(text);
        testing::internal::CaptureStderr();
        EXPECT_EQ(ReadViewFile("test.view"), -1) << text;
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.rfind("vqscene: ", 0), 0u) << text;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << text;
        const vq::Camera &c = vqtest::panel().camera;
        EXPECT_EQ(c.eye[0], 1) << text;
        EXPECT_EQ(c.eye[2], 3) << text;
        EXPECT_EQ(c.fovy, 30) << text;
    }
    testing::internal::CaptureStderr();
    EXPECT_EQ(ReadViewFile("no-such.view"), -1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("no-such.view"), std::string::npos);
}

TEST_F(ViewFiles, FailedWriteKeepsTheOldFile)
{
    write("keep me\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(WriteViewFile("no-such-dir/test.view"), -1);
    EXPECT_FALSE(testing::internal::GetCapturedStderr().empty());
    std::ifstream f("test.view");
    std::string line;
    std::getline(f, line);
    EXPECT_EQ(line, "keep me");
}
