// Truncation sweeps over the binary readers: a valid file cut at every
// length up to 4 KiB and then at every 1/256 of the rest must be refused
// with the message for the part where the cut falls (or load, where the
// format allows), and never crash.
#include <gtest/gtest.h>
#include <zlib.h>

#include "hostile.h"
#include "obj.h"
#include "vqscene.h"
#include "xrw.h"

using namespace hostile;

namespace {

// ---- XRW ------------------------------------------------------------------

const char *const kXrwStageMessage[] = {
    "Failed to read volume dimensions.\n",
    "Failed to read voxel sizes.\n",
    "Failed to read entire volume: inconsistent file.\n",
    "Failed reading embedded colour look-up table.\n",
    "Read data, but not at end of file.  Invalid state.\n",
};

// Content of an XRW file: voxels from a small generator, so that the
// compressed file stays larger than 4 KiB.
Bytes xrwContent(int nx, int ny, int nz)
{
    Bytes b;
    putLE32(b, nx);
    putLE32(b, ny);
    putLE32(b, nz);
    putFloat(b, 0.5f);
    putFloat(b, 1.0f);
    putFloat(b, 2.0f);
    uint32_t s = 12345;
    for (int i = 0; i < nx * ny * nz; i++) {
        s = s * 1103515245u + 12345u;
        b.push_back(static_cast<uint8_t>(s >> 16));
    }
    for (int i = 0; i < 768; i++)
        b.push_back(static_cast<uint8_t>(i * 7));
    return b;
}

// Which part of the content a reader that got `have` bytes stops in.
int xrwStage(size_t have, size_t voxels)
{
    if (have < 12)
        return 0;
    if (have < 24)
        return 1;
    if (have < 24 + voxels)
        return 2;
    if (have < 24 + voxels + 768)
        return 3;
    return 5;
}

// A reader may refuse a voxel block that the file cannot hold before
// reading it, with its own line naming the file.
bool isVoxelStageMessage(const std::string &err, const std::string &path)
{
    return err == kXrwStageMessage[2] ||
           (lineCount(err) == 1 && err.back() == '\n' && err.find(path) != std::string::npos);
}

// Uncompressed bytes a gzip prefix yields.
size_t inflatable(const Bytes &gz, size_t len)
{
    z_stream zs{};
    inflateInit2(&zs, 15 + 16);
    uint8_t out[65536];
    zs.next_in = const_cast<uint8_t *>(gz.data());
    zs.avail_in = static_cast<uInt>(len);
    size_t total = 0;
    int rc = Z_OK;
    while (rc == Z_OK) {
        zs.next_out = out;
        zs.avail_out = sizeof out;
        rc = inflate(&zs, Z_NO_FLUSH);
        total += sizeof out - zs.avail_out;
        if (zs.avail_out == sizeof out)
            break;
    }
    inflateEnd(&zs);
    return total;
}

void expectSameVolume(const Xraw *x, const Bytes &content, int nx, int ny, int nz)
{
    ASSERT_EQ(x->nx, nx);
    ASSERT_EQ(x->ny, ny);
    ASSERT_EQ(x->nz, nz);
    size_t n = static_cast<size_t>(nx) * ny * nz;
    EXPECT_EQ(0, std::memcmp(x->data, content.data() + 24, n));
    EXPECT_EQ(0, std::memcmp(x->cmap_r, content.data() + 24 + n, 256));
    EXPECT_EQ(0, std::memcmp(x->cmap_b, content.data() + 24 + n + 512, 256));
}

TEST(TruncatedXrw, PlainFileFailsWithTheMessageOfThePartCut)
{
    const int nx = 12, ny = 12, nz = 30;
    const size_t voxels = nx * ny * nz;
    Bytes content = xrwContent(nx, ny, nz);
    std::string path;
    for (size_t len : sweepLengths(content.size())) {
        path = inputFile(content.data(), len);
        Xraw *x = nullptr;
        std::string err = captureStderr([&] { x = loadXraw(path.c_str()); });
        EXPECT_EQ(x, nullptr) << "length " << len;
        freeXraw(x);
        int stage = xrwStage(len, voxels);
        if (stage == 2)
            EXPECT_TRUE(isVoxelStageMessage(err, path)) << "length " << len << ": " << err;
        else
            EXPECT_EQ(err, kXrwStageMessage[stage]) << "length " << len;
    }
    path = inputFile(content.data(), content.size());
    Xraw *x = loadXraw(path.c_str());
    ASSERT_NE(x, nullptr);
    expectSameVolume(x, content, nx, ny, nz);
    freeXraw(x);
    // One byte more is refused too.
    content.push_back(0);
    path = inputFile(content.data(), content.size());
    std::string err = captureStderr([&] { x = loadXraw(path.c_str()); });
    EXPECT_EQ(x, nullptr);
    EXPECT_EQ(err, kXrwStageMessage[4]);
}

TEST(TruncatedXrw, CompressedFileFailsNoLaterThanItsContentEnds)
{
    const int nx = 12, ny = 12, nz = 30;
    const size_t voxels = nx * ny * nz;
    Bytes content = xrwContent(nx, ny, nz);
    const std::string path = tmpPath("trunc_gzip.xrw");
    // Written by the library's own writer: one gzip stream at level 9.
    Xraw rec{};
    std::snprintf(rec.filename, sizeof rec.filename, "%s", path.c_str());
    rec.nx = nx;
    rec.ny = ny;
    rec.nz = nz;
    rec.dx = 0.5f;
    rec.dy = 1.0f;
    rec.dz = 2.0f;
    rec.data = content.data() + 24;
    std::memcpy(rec.cmap_r, content.data() + 24 + voxels, 256);
    std::memcpy(rec.cmap_g, content.data() + 24 + voxels + 256, 256);
    std::memcpy(rec.cmap_b, content.data() + 24 + voxels + 512, 256);
    ASSERT_EQ(saveXraw(&rec), 0);
    Bytes gz = readFile(path);
    ASSERT_GT(gz.size(), 4096u);
    for (size_t len : sweepLengths(gz.size())) {
        const std::string cut = inputFile(gz.data(), len);
        Xraw *x = nullptr;
        std::string err = captureStderr([&] { x = loadXraw(cut.c_str()); });
        size_t have = inflatable(gz, len);
        int most = xrwStage(have, voxels);
        if (x) {
            // Cut inside the gzip trailer: the content itself is whole.
            EXPECT_EQ(have, content.size()) << "length " << len;
            expectSameVolume(x, content, nx, ny, nz);
            freeXraw(x);
            continue;
        }
        // The reader cannot get further than the bytes that inflate.
        int stage = -1;
        for (int s = 0; s < 5; s++)
            if (err == kXrwStageMessage[s])
                stage = s;
        if (stage < 0 && isVoxelStageMessage(err, cut))
            stage = 2;
        EXPECT_GE(stage, 0) << "length " << len << ": " << err;
        EXPECT_LE(stage, most) << "length " << len << ": " << err;
    }
}

// ---- RAW16 ----------------------------------------------------------------

TEST(TruncatedRaw16, ShortFilesFailAndLongerOnesLoad)
{
    const int nx = 20, ny = 16, nz = 8;
    const size_t values = nx * ny * nz;
    Bytes file;
    for (size_t i = 0; i < values + 20; i++) {
        uint16_t v = static_cast<uint16_t>(i * 7);
        file.push_back(static_cast<uint8_t>(v));
        file.push_back(static_cast<uint8_t>(v >> 8));
    }
    std::vector<size_t> lengths = sweepLengths(file.size());
    lengths.push_back(file.size());
    for (size_t len : lengths) {
        const std::string path = inputFile(file.data(), len);
        Xvol *v = nullptr;
        std::string err = captureStderr([&] { v = loadRaw(path.c_str(), nx, ny, nz, RAW_UINT16); });
        if (len < 2 * values) {
            EXPECT_EQ(v, nullptr) << "length " << len;
            EXPECT_EQ(err, "failed to read correct number of data points!\n") << "length " << len;
        } else {
            // Bytes after the values are ignored.
            ASSERT_NE(v, nullptr) << "length " << len;
            EXPECT_EQ(err, "");
            // Value 100 is x = 0, y = 5, z = 0 (x fastest); 7*100 lies in the window.
            EXPECT_EQ(v->data[0][5][0], 700.0f);
            // The last value, 7 * 2559, is above the window's top.
            EXPECT_EQ(v->data[nx - 1][ny - 1][nz - 1], 1500.0f);
        }
        freeXvol(v);
    }
}

// ---- STL ------------------------------------------------------------------

Bytes stlFile(uint32_t facets)
{
    Bytes b(80, ' ');
    putLE32(b, facets);
    for (uint32_t i = 0; i < facets; i++) {
        for (int k = 0; k < 3; k++)
            putFloat(b, k == 2 ? 1.0f : 0.0f);
        // Corners on a grid, so that neighbouring facets share them.
        float x = static_cast<float>(i % 10), y = static_cast<float>(i / 10);
        const float c[3][3] = {{x, y, 0}, {x + 1, y, 0}, {x, y + 1, 0}};
        for (const auto &p : c)
            for (float v : p)
                putFloat(b, v);
        b.push_back(0);
        b.push_back(0);
    }
    return b;
}

TEST(TruncatedStl, CutFacetsAndAttributesAreTellApart)
{
    const uint32_t n = 100;
    Bytes file = stlFile(n);
    ASSERT_EQ(file.size(), 84u + 50 * n);
    std::string path;
    for (size_t len : sweepLengths(file.size())) {
        path = inputFile(file.data(), len);
        Obj *obj = nullptr;
        std::string err = captureStderr([&] { obj = loadObjFromSTL(path.c_str(), "cut", 1, 1, 1, 1); });
        EXPECT_EQ(obj, nullptr) << "length " << len;
        freeObj(obj);
        if (len < 84) {
            // The header has no message of its own: any one line.
            EXPECT_EQ(lineCount(err), 1) << "length " << len << ": " << err;
            continue;
        }
        // Cuts inside an attribute word are the next test's matter.
        size_t inFacet = (len - 84) % 50;
        if (inFacet < 48) {
            EXPECT_EQ(err, "failed reading facets\n") << "length " << len;
        } else if (len - 84 >= 50 * (n - 1)) {
            EXPECT_EQ(err, "failed reading unused short\n") << "length " << len;
        }
    }
    path = inputFile(file.data(), file.size());
    Obj *obj = nullptr;
    std::string err = captureStderr([&] { obj = loadObjFromSTL(path.c_str(), "whole", 1, 1, 1, 1); });
    ASSERT_NE(obj, nullptr);
    EXPECT_EQ(obj->nfacets, static_cast<int>(n));
    EXPECT_EQ(err.find("Not at end of file!"), std::string::npos);
    freeObj(obj);
}

// Facets are read one after another, so a cut inside the attribute word
// of any facet, not only the last one claimed, stops at that word.
TEST(TruncatedStl, CutInsideAnEarlierAttributeWordNamesTheWord)
{
    Bytes file = stlFile(10);
    for (size_t len : {84u + 48u, 84u + 49u, 84u + 50u * 4 + 48u}) {
        const std::string path = inputFile(file.data(), len);
        Obj *obj = nullptr;
        std::string err = captureStderr([&] { obj = loadObjFromSTL(path.c_str(), "cut", 1, 1, 1, 1); });
        EXPECT_EQ(obj, nullptr);
        freeObj(obj);
        EXPECT_EQ(err, "failed reading unused short\n") << "length " << len;
    }
}

TEST(TruncatedStl, BytesAfterTheLastFacetOnlyWarn)
{
    Bytes file = stlFile(3);
    const size_t whole = file.size();
    file.resize(whole + 300, 0x55);
    for (size_t len = whole + 1; len <= file.size(); len += 37) {
        const std::string path = inputFile(file.data(), len);
        Obj *obj = nullptr;
        std::string err = captureStderr([&] { obj = loadObjFromSTL(path.c_str(), "extra", 1, 1, 1, 1); });
        ASSERT_NE(obj, nullptr) << "length " << len;
        EXPECT_EQ(obj->nfacets, 3);
        EXPECT_EQ(err.compare(0, 20, "Not at end of file!\n"), 0) << err;
        freeObj(obj);
    }
}

// ---- TGA ------------------------------------------------------------------

Bytes tgaHeader(int kind, int w, int h, int bpp, int descriptor)
{
    Bytes b = {0, 0, static_cast<uint8_t>(kind), 0, 0, 0, 0, 0, 0, 0, 0, 0};
    b.push_back(static_cast<uint8_t>(w));
    b.push_back(static_cast<uint8_t>(w >> 8));
    b.push_back(static_cast<uint8_t>(h));
    b.push_back(static_cast<uint8_t>(h >> 8));
    b.push_back(static_cast<uint8_t>(bpp));
    b.push_back(static_cast<uint8_t>(descriptor));
    return b;
}

Bytes tgaPixel(int x, int y, int bpp)
{
    Bytes p = {static_cast<uint8_t>(x * 9), static_cast<uint8_t>(y * 5), static_cast<uint8_t>(x + y)};
    if (bpp == 32)
        p.push_back(static_cast<uint8_t>(255 - x));
    return p;
}

// Raw (type 2) or run-length (type 10) image: each row is a run over its
// left half and a raw packet over the rest.
Bytes tgaFile(bool rle, int w, int h, int bpp)
{
    Bytes b = tgaHeader(rle ? 10 : 2, w, h, bpp, bpp == 32 ? 8 : 0);
    for (int y = 0; y < h; y++) {
        if (!rle) {
            for (int x = 0; x < w; x++) {
                Bytes p = tgaPixel(x, y, bpp);
                b.insert(b.end(), p.begin(), p.end());
            }
            continue;
        }
        int half = w / 2;
        b.push_back(static_cast<uint8_t>(0x80 | (half - 1)));
        Bytes p = tgaPixel(0, y, bpp);
        b.insert(b.end(), p.begin(), p.end());
        b.push_back(static_cast<uint8_t>(w - half - 1));
        for (int x = half; x < w; x++) {
            Bytes q = tgaPixel(x, y, bpp);
            b.insert(b.end(), q.begin(), q.end());
        }
    }
    return b;
}

void sweepTga(bool rle, int bpp)
{
    const int w = 40, h = 30;
    Bytes file = tgaFile(rle, w, h, bpp);
    std::string path = inputFile(file.data(), file.size());
    int iw = 0, ih = 0;
    unsigned char *whole = ReadTGATexture(path.c_str(), &iw, &ih);
    ASSERT_NE(whole, nullptr);
    ASSERT_EQ(iw, w);
    ASSERT_EQ(ih, h);
    for (size_t len : sweepLengths(file.size())) {
        path = inputFile(file.data(), len);
        unsigned char *px = nullptr;
        std::string err = captureStderr([&] { px = ReadTGATexture(path.c_str(), &iw, &ih); });
        EXPECT_EQ(px, nullptr) << "length " << len;
        std::free(px);
        EXPECT_EQ(lineCount(err), 1) << "length " << len << ": " << err;
        EXPECT_NE(err.find(path), std::string::npos) << "length " << len << ": " << err;
    }
    std::free(whole);
}

TEST(TruncatedTga, Raw24) { sweepTga(false, 24); }
TEST(TruncatedTga, Raw32) { sweepTga(false, 32); }
TEST(TruncatedTga, Rle24) { sweepTga(true, 24); }
TEST(TruncatedTga, Rle32) { sweepTga(true, 32); }

}  // namespace
