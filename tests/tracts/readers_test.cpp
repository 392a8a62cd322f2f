// Tractogram readers against files from independent writers (nibabel,
// Python's zipfile with numpy) and against crafted faulty files.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "scratch.h"
#include "tract_fixtures.h"
#include "tractogram.h"

namespace {

// The three streamlines the writer script writes, in RAS millimetres.
const std::vector<std::vector<float>> kLines = {
    {1, 2, 3, 4, 5, 6, 7, 8, 10},
    {-1, 0, 2, -2, 1.5f, 3},
    {10, -20, 30, 11, -21, 31, 12, -22, 32, 13, -23, 33, 14.5f, -24, 34},
};

const std::string &fixtures()
{
    return writtenTractograms();
}

#define NEED_FIXTURES()                                                                                      \
    if (fixtures().empty())                                                                                  \
    GTEST_SKIP() << "python3 with nibabel and numpy is needed to write the reference files"

struct Loaded {
    Tractogram *t = nullptr;
    std::string err;
    ~Loaded() { freeTractogram(t); }
};

void load(Loaded &l, const std::string &path)
{
    testing::internal::CaptureStderr();
    l.t = loadTractogram(path.c_str());
    l.err = testing::internal::GetCapturedStderr();
}

// The first `lines` reference streamlines, in LPS.
void expectReference(const Tractogram *t, long lines, float tolerance = 0)
{
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(t->nlines, lines);
    long point = 0;
    for (long l = 0; l < lines; ++l) {
        const std::vector<float> &ref = kLines[l];
        ASSERT_EQ(t->first[l], static_cast<uint32_t>(point)) << "line " << l;
        ASSERT_EQ(t->first[l + 1] - t->first[l], ref.size() / 3) << "line " << l;
        for (size_t k = 0; k < ref.size() / 3; ++k, ++point) {
            const float *p = t->xyz + 3 * point;
            EXPECT_NEAR(p[0], -ref[3 * k], tolerance) << "line " << l << " point " << k;
            EXPECT_NEAR(p[1], -ref[3 * k + 1], tolerance) << "line " << l << " point " << k;
            EXPECT_NEAR(p[2], ref[3 * k + 2], tolerance) << "line " << l << " point " << k;
        }
    }
    EXPECT_EQ(t->npoints, point);
}

void writeBytes(const std::string &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string floats(std::initializer_list<float> v)
{
    return std::string(reinterpret_cast<const char *>(v.begin()), v.size() * sizeof(float));
}

std::string tckHeader(long offset, const char *type = "Float32LE")
{
    std::string h = std::string("mrtrix tracks\ndatatype: ") + type + "\nfile: . " + std::to_string(offset) +
                    "\ncount: 5\nEND\n";
    return h;
}

// A .tck of the given data right after a header that says where it starts.
std::string tckWith(const std::string &data)
{
    long offset = static_cast<long>(tckHeader(100).size());
    std::string h = tckHeader(offset);
    return h + std::string(offset - h.size(), '\0') + data;
}

// Faults: no record, one line naming the file and containing `fault`.
void expectFault(const std::string &path, const char *fault)
{
    Loaded l;
    load(l, path);
    EXPECT_EQ(l.t, nullptr) << path;
    EXPECT_NE(l.err.find(path + ": "), std::string::npos) << l.err;
    EXPECT_NE(l.err.find(fault), std::string::npos) << l.err;
    EXPECT_EQ(std::count(l.err.begin(), l.err.end(), '\n'), 1) << l.err;
}

const float kNan = NAN, kInf = INFINITY;

TEST(TractogramKinds, ContentDecidesNotTheName)
{
    NEED_FIXTURES();
    std::string d = fixtures();
    std::string copy = scratchDir() + "/tck_named.trk";
    std::ifstream in(d + "/nibabel.tck", std::ios::binary);
    std::ofstream(copy, std::ios::binary) << in.rdbuf();
    EXPECT_EQ(sniffTractogram(copy.c_str()), kTckFile);
    EXPECT_EQ(sniffTractogram((d + "/nibabel.trk").c_str()), kTrkFile);
    EXPECT_EQ(sniffTractogram((d + "/f16.trx").c_str()), kTrxZip);
    EXPECT_EQ(sniffTractogram((d + "/folder.trx").c_str()), kTrxFolder);
    EXPECT_EQ(sniffTractogram(SOURCE_DIR "/README.md"), kNotTractogram);
    Loaded l;
    load(l, copy);
    expectReference(l.t, 3);
}

TEST(TckReader, NibabelFileInBothByteOrdersAndWidths)
{
    NEED_FIXTURES();
    for (const char *name : {"nibabel.tck", "be32.tck", "le64.tck", "be64.tck"}) {
        SCOPED_TRACE(name);
        Loaded l;
        load(l, fixtures() + "/" + name);
        expectReference(l.t, 3);
        EXPECT_EQ(l.err, "");
    }
}

TEST(TckReader, CutFileKeepsItsCompleteStreamlinesAndSaysHowMany)
{
    NEED_FIXTURES();
    std::string path = fixtures() + "/cut.tck";
    Loaded l;
    load(l, path);
    expectReference(l.t, 2);
    EXPECT_EQ(l.err, path + ": ends before its end marker; read 2 complete streamlines\n");
}

TEST(TckReader, FaultyFiles)
{
    std::string d = scratchDir();
    writeBytes(d + "/past.tck", tckHeader(5000) + floats({1, 2, 3}));
    expectFault(d + "/past.tck", "data offset 5000 lies past the end");
    writeBytes(d + "/open.tck", tckWith(floats({1, 2, 3, 4, 5, 6})));
    expectFault(d + "/open.tck", "holds no complete streamline");
    writeBytes(d + "/nan.tck", tckWith(floats({1, 2, 3, kNan, 5, 6, kNan, kNan, kNan, kInf, kInf, kInf})));
    expectFault(d + "/nan.tck", "non-finite point inside streamline 0");
    writeBytes(d + "/type.tck", tckHeader(60, "Int16LE") + std::string(30, '\0'));
    expectFault(d + "/type.tck", "datatype 'Int16LE'");
    writeBytes(d + "/noend.tck", "mrtrix tracks\ndatatype: Float32LE\nfile: . 60\n");
    expectFault(d + "/noend.tck", "no END line");
    writeBytes(d + "/inside.tck", tckHeader(10) + floats({kInf, kInf, kInf}));
    expectFault(d + "/inside.tck", "inside the header");
    // Float64 values that float cannot hold.
    double big[] = {1, 2, 3, 1e300, 5, 6, NAN, NAN, NAN, INFINITY, INFINITY, INFINITY};
    long offset64 = static_cast<long>(tckHeader(100, "Float64LE").size());
    std::string h64 = tckHeader(offset64, "Float64LE");
    writeBytes(d + "/big.tck", h64 + std::string(offset64 - h64.size(), '\0') +
                                   std::string(reinterpret_cast<const char *>(big), sizeof big));
    expectFault(d + "/big.tck", "point 1 of the data lies beyond float range");
    // A closed streamline before an Inf end marker, and nothing after it.
    writeBytes(d + "/ok.tck", tckWith(floats({1, 2, 3, 4, 5, 6, kNan, kNan, kNan, kInf, kInf, kInf})));
    Loaded l;
    load(l, d + "/ok.tck");
    ASSERT_NE(l.t, nullptr);
    EXPECT_EQ(l.t->nlines, 1);
    EXPECT_EQ(l.t->npoints, 2);
    EXPECT_EQ(l.t->xyz[3], -4.0f);
}

TEST(TrkReader, NibabelFileSkipsScalarsAndPropertiesThroughVoxToRas)
{
    NEED_FIXTURES();
    Loaded l;
    load(l, fixtures() + "/nibabel.trk");
    expectReference(l.t, 3, 1e-4f);
    EXPECT_EQ(l.err, "");
}

// A version 2 header with identity voxel sizes and vox_to_ras.
std::string trkHeader(int32_t count, int16_t scalars = 0, int16_t properties = 0)
{
    std::string h(1000, '\0');
    std::memcpy(&h[0], "TRACK", 5);
    for (int a = 0; a < 3; ++a) {
        float one = 1;
        std::memcpy(&h[12 + 4 * a], &one, 4);
    }
    std::memcpy(&h[36], &scalars, 2);
    std::memcpy(&h[238], &properties, 2);
    for (int i = 0; i < 4; ++i) {
        float one = 1;
        std::memcpy(&h[440 + 20 * i], &one, 4);
    }
    int32_t version = 2, size = 1000;
    std::memcpy(&h[988], &count, 4);
    std::memcpy(&h[992], &version, 4);
    std::memcpy(&h[996], &size, 4);
    return h;
}

std::string int32s(int32_t v)
{
    return std::string(reinterpret_cast<const char *>(&v), 4);
}

TEST(TrkReader, FaultyFiles)
{
    std::string d = scratchDir();
    writeBytes(d + "/many.trk", trkHeader(1000000) + int32s(1) + floats({1, 2, 3}));
    expectFault(d + "/many.trk", "header promises 1000000 streamlines");
    writeBytes(d + "/huge.trk", trkHeader(1) + int32s(2000000000) + floats({1, 2, 3}));
    expectFault(d + "/huge.trk", "streamline 0 promises 2000000000 points");
    writeBytes(d + "/short.trk", trkHeader(2) + int32s(1) + floats({1, 2, 3}));
    expectFault(d + "/short.trk", "ends inside streamline 1");
    writeBytes(d + "/nan.trk", trkHeader(1) + int32s(2) + floats({1, 2, 3, 4, kNan, 6}));
    expectFault(d + "/nan.trk", "non-finite point 1 inside streamline 0");
    writeBytes(d + "/cut.trk", trkHeader(0).substr(0, 500));
    expectFault(d + "/cut.trk", "shorter than the 1000-byte");
    std::string v1 = trkHeader(0);
    v1[992] = 1;
    writeBytes(d + "/v1.trk", v1);
    expectFault(d + "/v1.trk", "version 1");
    writeBytes(d + "/empty.trk", trkHeader(0));
    expectFault(d + "/empty.trk", "holds no complete streamline");
    // Count 0: streamlines until the end of the file, scalars and properties skipped.
    writeBytes(d + "/ok.trk",
               trkHeader(0, 1, 1) + int32s(2) + floats({0.5f, 0.5f, 0.5f, 9, 2.5f, 0.5f, 0.5f, 9, 7}));
    Loaded l;
    load(l, d + "/ok.trk");
    ASSERT_NE(l.t, nullptr);
    EXPECT_EQ(l.t->nlines, 1);
    ASSERT_EQ(l.t->npoints, 2);
    // Voxel millimetres put 0 at a voxel's corner: 0.5 is voxel 0's centre.
    EXPECT_EQ(l.t->xyz[0], -0.0f);
    EXPECT_EQ(l.t->xyz[3], -2.0f);
    EXPECT_EQ(l.t->xyz[5], 0.0f);
}

TEST(TrxReader, ZipStoredAndDeflatedInEveryPositionWidthAndFolder)
{
    NEED_FIXTURES();
    for (const char *name : {"f16.trx", "f32.trx", "f64.trx", "folder.trx"}) {
        SCOPED_TRACE(name);
        Loaded l;
        load(l, fixtures() + "/" + name);
        expectReference(l.t, 3);
        EXPECT_EQ(l.err, "");
    }
}

TEST(TrxReader, FaultyFiles)
{
    NEED_FIXTURES();
    std::string d = fixtures();
    expectFault(d + "/plain.zip", "holds no header.json: not a TRX");
    expectFault(d + "/decreasing.trx", "offsets decrease at streamline 2");
    expectFault(d + "/overrun.trx", "offset 2 (11) overruns NB_VERTICES = 10");
    expectFault(d + "/promises.trx", "NB_VERTICES = 4000000000 needs");
    expectFault(d + "/nan.trx", "non-finite point inside streamline 0 (vertex 1)");
    std::string notZip = scratchDir() + "/bad.trx";
    writeBytes(notZip, "PK\3\4 and nothing else");
    expectFault(notZip, "is not a readable ZIP archive");
}

TEST(Tractograms, NeitherKindNorFile)
{
    expectFault(SOURCE_DIR "/README.md", "is not a .tck, .trk or TRX tractogram");
    expectFault(scratchDir() + "/missing.tck", "cannot be opened");
}

TEST(Tractograms, RasToLpsNegatesXAndY)
{
    float p[6] = {1, -2, 3, -4, 5, -6};
    rasToLps(p, 2);
    EXPECT_EQ(p[0], -1);
    EXPECT_EQ(p[1], 2);
    EXPECT_EQ(p[2], 3);
    EXPECT_EQ(p[3], 4);
    EXPECT_EQ(p[4], -5);
    EXPECT_EQ(p[5], -6);
}

} // namespace
