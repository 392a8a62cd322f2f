// Headers that claim far more than their file holds: each reader must
// refuse them before allocating. Each case runs in a child whose address
// space may grow by 64 MiB only (not under AddressSanitizer, which reserves
// its space up front), so a reader that allocates what the header claims
// fails there with an out-of-memory message or dies instead.
#include <gtest/gtest.h>
#include <zlib.h>

#include "hostile.h"
#include "obj.h"
#include "vqscene.h"
#include "xrw.h"

using namespace hostile;

namespace {

constexpr size_t kHeadroom = 64u << 20;

// Refused with at least one line on standard error, none of which speaks
// of memory running out.
void expectRefusedBeforeAllocating(const ChildResult &r)
{
    EXPECT_TRUE(r.exited) << r.err;
    EXPECT_EQ(r.status, 0) << "the reader returned a record: " << r.err;
    EXPECT_GE(lineCount(r.err), 1);
    EXPECT_EQ(r.err.find("memory"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("allocate"), std::string::npos) << r.err;
}

Bytes gzipped(const Bytes &content)
{
    uLongf size = compressBound(static_cast<uLong>(content.size())) + 32;
    Bytes out(size);
    z_stream zs{};
    deflateInit2(&zs, 9, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    zs.next_in = const_cast<uint8_t *>(content.data());
    zs.avail_in = static_cast<uInt>(content.size());
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

TEST(SizeCaps, XrwHeaderOfTwoToTheThirtyVoxelsInATinyGzipFile)
{
    Bytes content;
    for (int i = 0; i < 3; i++)
        putLE32(content, 1024);
    for (int i = 0; i < 3; i++)
        putFloat(content, 1.0f);
    content.resize(content.size() + 100, 7);
    Bytes gz = gzipped(content);
    ASSERT_LT(gz.size(), 200u);
    const std::string path = tmpPath("caps_huge.xrw");
    writeFile(path, gz.data(), gz.size());
    ChildResult r = runLimited(
        [&] {
            Xraw *x = loadXraw(path.c_str());
            freeXraw(x);
            return x ? 1 : 0;
        },
        kHeadroom);
    expectRefusedBeforeAllocating(r);
    EXPECT_EQ(lineCount(r.err), 1) << r.err;
}

TEST(SizeCaps, XrwDimensionsWhoseProductOverflowsOrIsNegative)
{
    const int dims[][3] = {{65536, 65536, 2}, {-1, 4, 4}, {4, -4, 4}, {2147483647, 2, 1}};
    for (const auto &d : dims) {
        Bytes content;
        for (int v : d)
            putLE32(content, static_cast<uint32_t>(v));
        for (int i = 0; i < 3; i++)
            putFloat(content, 1.0f);
        content.resize(content.size() + 800, 1);
        const std::string path = tmpPath("caps_dims.xrw");
        writeFile(path, content.data(), content.size());
        ChildResult r = runLimited(
            [&] {
                Xraw *x = loadXraw(path.c_str());
                freeXraw(x);
                return x ? 1 : 0;
            },
            kHeadroom);
        SCOPED_TRACE(std::to_string(d[0]) + " x " + std::to_string(d[1]) + " x " + std::to_string(d[2]));
        expectRefusedBeforeAllocating(r);
    }
}

TEST(SizeCaps, StlClaimingABillionFacets)
{
    Bytes file(80, 'x');
    putLE32(file, 1000000000u);
    file.resize(file.size() + 50 * 3, 0);
    const std::string path = tmpPath("caps_billion.stl");
    writeFile(path, file.data(), file.size());
    ChildResult r = runLimited(
        [&] {
            Obj *o = loadObjFromSTL(path.c_str(), "big", 1, 1, 1, 1);
            freeObj(o);
            return o ? 1 : 0;
        },
        kHeadroom);
    expectRefusedBeforeAllocating(r);
    // The file ends inside the facets it claims.
    EXPECT_EQ(r.err, "failed reading facets\n");
}

TEST(SizeCaps, FsMeshAndWeightCountsLargerThanTheFile)
{
    const std::string mesh = tmpPath("caps_counts.fs");
    const char text[] = "comment\n100000000 200000000\n0 0 0 0\n1 0 0 0\n";
    writeFile(mesh, reinterpret_cast<const uint8_t *>(text), sizeof text - 1);
    ChildResult r = runLimited(
        [&] {
            Obj *o = readObjFromFS(mesh.c_str(), "big", 1, 1, 1, 1);
            freeObj(o);
            return o ? 1 : 0;
        },
        kHeadroom);
    expectRefusedBeforeAllocating(r);

    const std::string wgt = tmpPath("caps_counts.w");
    const char wtext[] = "weights\n1000000000\n1 0.5\n";
    writeFile(wgt, reinterpret_cast<const uint8_t *>(wtext), sizeof wtext - 1);
    r = runLimited(
        [&] {
            ObjWgt *w = loadObjWgtFromFS(wgt.c_str());
            freeObjWgt(w);
            return w ? 1 : 0;
        },
        kHeadroom);
    expectRefusedBeforeAllocating(r);
}

TEST(SizeCaps, RawDimensionsBeyondTheFile)
{
    const std::string path = tmpPath("caps.raw");
    Bytes file(64, 1);
    writeFile(path, file.data(), file.size());
    const int dims[][3] = {{1024, 1024, 1024}, {65536, 65536, 2}, {-2, 8, 8}};
    for (const auto &d : dims) {
        ChildResult r = runLimited(
            [&] {
                Xvol *v = loadRaw(path.c_str(), d[0], d[1], d[2], RAW_UINT16);
                freeXvol(v);
                return v ? 1 : 0;
            },
            kHeadroom);
        SCOPED_TRACE(std::to_string(d[0]) + " x " + std::to_string(d[1]) + " x " + std::to_string(d[2]));
        expectRefusedBeforeAllocating(r);
    }
}

TEST(SizeCaps, TgaClaiming65535By65535InAFewBytes)
{
    for (int kind : {2, 10}) {
        Bytes file = {0, 0, static_cast<uint8_t>(kind), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 0xff, 0xff, 32, 8};
        file.insert(file.end(), {0xff, 1, 2, 3, 4});
        const std::string path = tmpPath("caps_huge.tga");
        writeFile(path, file.data(), file.size());
        ChildResult r = runLimited(
            [&] {
                int w = 0, h = 0;
                unsigned char *px = ReadTGATexture(path.c_str(), &w, &h);
                std::free(px);
                return px ? 1 : 0;
            },
            kHeadroom);
        SCOPED_TRACE("image type " + std::to_string(kind));
        expectRefusedBeforeAllocating(r);
        EXPECT_EQ(lineCount(r.err), 1) << r.err;
    }
}

}  // namespace
