// Headerless 16-bit voxel files.
#include "volume_test_util.h"

namespace {

std::string rawFile(const std::string &name, const std::vector<unsigned> &values,
                    const std::string &extra = "")
{
    std::string s;
    for (unsigned v : values) {
        s.push_back((char)(v & 0xff));
        s.push_back((char)(v >> 8));
    }
    s += extra;
    std::string path = tmpPath(name);
    writeFile(path, s, false);
    return path;
}

void expectRawFails(const std::string &path, int nx, int ny, int nz, int format, const std::string &message)
{
    testing::internal::CaptureStderr();
    Xvol *v = loadRaw(path.c_str(), nx, ny, nz, format);
    EXPECT_EQ(v, nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), message);
    freeXvol(v);
}

TEST(LoadRaw, WindowsValuesAndKeepsFileOrder)
{
    std::string path = rawFile("window.raw", {50, 100, 1500, 2000, 99, 101, 1501, 65535, 0, 700, 1200, 300});
    Xvol *v = loadRaw(path.c_str(), 2, 3, 2, RAW_UINT16);
    ASSERT_NE(v, nullptr);
    // Value number x + 2*y + 6*z lands at [x][y][z].
    const float expect[12] = {0, 100, 1500, 1500, 0, 101, 1500, 1500, 0, 700, 1200, 300};
    for (int z = 0; z < 2; z++)
        for (int y = 0; y < 3; y++)
            for (int x = 0; x < 2; x++)
                EXPECT_EQ(v->data[x][y][z], expect[x + 2 * y + 6 * z]) << x << y << z;
    EXPECT_STREQ(v->filename, path.c_str());
    EXPECT_EQ(v->dx, 1.0f);
    EXPECT_EQ(v->dy, 1.0f);
    EXPECT_EQ(v->dz, 1.0f);
    for (int c = 0; c < 256; c++)
        EXPECT_EQ(v->cmap_b[c], (float)c / 255.0f);
    freeXvol(v);
}

TEST(LoadRaw, FormatCodesAndMissingFile)
{
    std::string path = rawFile("codes.raw", {1, 2, 3, 4});
    expectRawFails(path, 2, 2, 1, RAW_UINT8, "RAW_UINT8 not yet implemented!\n");
    expectRawFails(path, 2, 2, 1, 3, "Unknown RAW format.\n");
    std::string missing = tmpPath("no_such.raw");
    for (int code : {1, 2, 3})
        expectRawFails(missing, 2, 2, 1, code, "Failed to open " + missing + ".\n");
}

TEST(LoadRaw, ShortFileFailsAndExtraBytesAreIgnored)
{
    std::string shortPath = rawFile("short.raw", {200, 300, 400});
    expectRawFails(shortPath, 2, 2, 1, RAW_UINT16, "failed to read correct number of data points!\n");
    std::string longPath = rawFile("long.raw", {200, 300, 400, 500}, "trailing");
    Xvol *v = loadRaw(longPath.c_str(), 2, 2, 1, RAW_UINT16);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->data[1][1][0], 500.0f);
    freeXvol(v);
}

TEST(LoadRaw, RefusesHugeOrBadDimensionsAndLongPaths)
{
    // A billion voxels are not read from an 8-byte file, nor allocated.
    std::string path = rawFile("tiny.raw", {1, 2, 3, 4});
    expectRawFails(path, 1000, 1000, 1000, RAW_UINT16, "failed to read correct number of data points!\n");
    expectRawFails(path, 2, -2, 1, RAW_UINT16, "Invalid volume dimensions 2 x -2 x 1.\n");
    expectRawFails(path, 1 << 16, 1 << 16, 1, RAW_UINT16,
                   "Volume dimensions 65536 x 65536 x 1 exceed 2147483647 voxels.\n");
    expectRawFails(std::string(450, 'r'), 1, 1, 1, RAW_UINT16,
                   "File name of 450 characters is too long (at most 399).\n");
}

} // namespace
