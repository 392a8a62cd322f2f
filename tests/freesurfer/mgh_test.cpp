// readMghFile on headers made here: voxel types, frames, the geometry and
// its default, gzip, and the files it refuses.
#include <zlib.h>

#include <cstring>
#include <fstream>

#include "fixtures.h"
#include "mgh.h"

namespace {

void be32(std::string *s, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        s->push_back(static_cast<char>(v >> (24 - 8 * i)));
}

void beFloat(std::string *s, float f)
{
    uint32_t u;
    std::memcpy(&u, &f, 4);
    be32(s, u);
}

// An MGH header: sizes, type, the RAS flag, voxel sizes, Mdc rows (x, y, z
// axes) and the centre; padded to the voxels.
std::string header(int w, int h, int d, int frames, int type, int good = 1, float size = 2.0f)
{
    std::string s;
    for (int v : {1, w, h, d, frames, type, 0})
        be32(&s, static_cast<uint32_t>(v));
    s.push_back(0);
    s.push_back(static_cast<char>(good));
    for (float f : {size, 1.0f, 3.0f})
        beFloat(&s, f);
    // x along A, y along R, z along S: a permuted, not a flipped, frame.
    for (float f : {0.0f, 1.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f})
        beFloat(&s, f);
    for (float f : {10.0f, 20.0f, 30.0f})
        beFloat(&s, f);
    s.resize(kMghHeaderBytes, '\0');
    return s;
}

std::string writeScratch(const std::string &name, const std::string &bytes)
{
    std::string path = scratchDir() + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

std::string gzipped(const std::string &raw)
{
    std::string path = scratchDir() + "/tmp.gz";
    gzFile gz = gzopen(path.c_str(), "wb");
    gzwrite(gz, raw.data(), static_cast<unsigned>(raw.size()));
    gzclose(gz);
    return readWholeFile(path);
}

template <typename F> std::string captureStderr(F f)
{
    testing::internal::CaptureStderr();
    f();
    return testing::internal::GetCapturedStderr();
}

TEST(MghFile, TypesFramesAndGeometry)
{
    // Shorts, two frames: only the first is read, big-endian and signed.
    std::string s = header(2, 1, 2, 2, MGH_SHORT);
    for (int v : {-2, 300, 7, -32768, 1, 1, 1, 1})
        s += std::string{static_cast<char>(v >> 8 & 255), static_cast<char>(v & 255)};
    MghFile m;
    ASSERT_EQ(readMghFile(writeScratch("short.mgh", s).c_str(), &m), 0);
    ASSERT_EQ(m.values.size(), 4u);
    EXPECT_EQ(m.values[0], -2);
    EXPECT_EQ(m.values[1], 300);
    EXPECT_EQ(m.values[3], -32768);
    EXPECT_EQ(m.dims[3], 2);
    // Column a is axis a's direction times its size; voxel dims / 2 = (1,
    // 0.5, 1) sits at the centre (10, 20, 30).
    const double want[3][4] = {{0, 1, 0, 10 - 0.5}, {2, 0, 0, 20 - 2}, {0, 0, 3, 30 - 3}};
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 4; c++)
            EXPECT_DOUBLE_EQ(m.vox2ras[r][c], want[r][c]) << r << c;
    // The same file through gzip, and the other types.
    ASSERT_EQ(readMghFile(writeScratch("short.mgz", gzipped(s)).c_str(), &m), 0);
    EXPECT_EQ(m.values[1], 300);
    std::string f = header(1, 1, 2, 1, MGH_FLOAT);
    beFloat(&f, -0.25f);
    beFloat(&f, 1e30f);
    ASSERT_EQ(readMghFile(writeScratch("float.mgh", f).c_str(), &m), 0);
    EXPECT_EQ(m.values[0], -0.25f);
    EXPECT_EQ(m.values[1], 1e30f);
    std::string i = header(1, 1, 1, 1, MGH_INT);
    be32(&i, static_cast<uint32_t>(-70000));
    ASSERT_EQ(readMghFile(writeScratch("int.mgh", i).c_str(), &m), 0);
    EXPECT_EQ(m.values[0], -70000);
    std::string u = header(1, 1, 1, 1, MGH_UCHAR) + "\xfa";
    ASSERT_EQ(readMghFile(writeScratch("uchar.mgh", u).c_str(), &m), 0);
    EXPECT_EQ(m.values[0], 250);
}

TEST(MghFile, WithoutGoodGeometryTheCoronalDefaultAndUnitSizesWhereTheyAreNot)
{
    std::string s = header(4, 4, 4, 1, MGH_UCHAR, 0, -1.0f) + std::string(64, '\1');
    MghFile m;
    ASSERT_EQ(readMghFile(writeScratch("nogeom.mgh", s).c_str(), &m), 0);
    EXPECT_EQ(m.voxelSize[0], 1.0f);
    // x to the left, y down, z forward; the centre voxel (2, 2, 2) at 0.
    const double want[3][4] = {{-1, 0, 0, 2}, {0, 0, 3, -6}, {0, -1, 0, 2}};
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 4; c++)
            EXPECT_DOUBLE_EQ(m.vox2ras[r][c], want[r][c]) << r << c;
}

TEST(MghFile, RefusedFilesAreOneLineNamingTheFile)
{
    std::string good = header(4, 4, 4, 1, MGH_FLOAT) + std::string(256, '\0');
    std::string badType = header(4, 4, 4, 1, 2) + std::string(256, '\0');
    std::string badVersion = good;
    badVersion[3] = 2;
    std::string zero = header(4, 0, 4, 1, MGH_FLOAT);
    std::string huge = header(65536, 65536, 2, 1, MGH_FLOAT) + std::string(256, '\0');
    std::string cutGz = gzipped(good);
    cutGz.resize(cutGz.size() / 2);
    for (const auto &b :
         std::vector<std::pair<std::string, std::string>>{{"short", good.substr(0, 200)},
                                                          {"cut", good.substr(0, good.size() - 1)},
                                                          {"type", badType},
                                                          {"version", badVersion},
                                                          {"zero", zero},
                                                          {"huge", huge},
                                                          {"cutgz", cutGz}}) {
        std::string path = writeScratch("bad_" + b.first + ".mgh", b.second);
        MghFile m;
        int rc = 0;
        std::string err = captureStderr([&] { rc = readMghFile(path.c_str(), &m); });
        EXPECT_EQ(rc, -1) << b.first;
        EXPECT_TRUE(m.values.empty()) << b.first;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << b.first << ": " << err;
        EXPECT_NE(err.find(path), std::string::npos) << b.first << ": " << err;
    }
    // isMghHeader says the same of the first bytes.
    EXPECT_TRUE(isMghHeader(reinterpret_cast<const unsigned char *>(good.data()), kMghHeaderBytes));
    EXPECT_FALSE(isMghHeader(reinterpret_cast<const unsigned char *>(badType.data()), kMghHeaderBytes));
    EXPECT_FALSE(isMghHeader(reinterpret_cast<const unsigned char *>(good.data()), kMghHeaderBytes - 1));
}

} // namespace
