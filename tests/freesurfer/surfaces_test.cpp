// FreeSurfer binary and GIfTI surfaces as nibabel writes them: counts,
// the move from tkregister to scanner RAS, LPS, and refused files.
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "fixtures.h"
#include "obj.h"

namespace {

template <typename F> std::string captureStderr(F f)
{
    testing::internal::CaptureStderr();
    f();
    return testing::internal::GetCapturedStderr();
}

Obj *loadSurface(const std::string &path, std::string *err = nullptr)
{
    Obj *o = nullptr;
    std::string e = captureStderr([&] {
        int kind = recogniseSurfaceFile(path.c_str());
        if (kind == SURFACE_FREESURFER)
            o = loadObjFromFreeSurfer(path.c_str(), "s", 1, 0, 0, 1);
        else if (kind == SURFACE_GIFTI)
            o = loadObjFromGifti(path.c_str(), "s", 1, 0, 0, 1);
        else
            std::fprintf(stderr, "not recognised\n");
    });
    if (err)
        *err = e;
    return o;
}

void expectSameVertices(const Obj *a, const Obj *b, double tol, const std::string &what)
{
    ASSERT_NE(a, nullptr) << what;
    ASSERT_NE(b, nullptr) << what;
    ASSERT_EQ(a->nverts, b->nverts) << what;
    ASSERT_EQ(a->nfacets, b->nfacets) << what;
    for (int i = 0; i < a->nverts; i++) {
        EXPECT_NEAR(a->verts[i].x, b->verts[i].x, tol) << what << " vertex " << i;
        EXPECT_NEAR(a->verts[i].y, b->verts[i].y, tol) << what << " vertex " << i;
        EXPECT_NEAR(a->verts[i].z, b->verts[i].z, tol) << what << " vertex " << i;
    }
    EXPECT_EQ(std::memcmp(a->facets, b->facets, sizeof(int) * 3 * a->nfacets), 0) << what;
}

std::string bytesOf(const std::string &path)
{
    return readWholeFile(path);
}

std::string writeScratch(const std::string &name, const std::string &bytes)
{
    std::string path = scratchDir() + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

void putBe32(std::string *s, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        (*s)[at + i] = static_cast<char>(v >> (24 - 8 * i));
}

TEST(FreeSurferSurface, VolumeGeometryMovesTkregisterToScannerAndAllComesInLps)
{
    REQUIRE_FIXTURES();
    std::string err;
    Obj *tkr = loadSurface(fst::fixture("lh.sphere_tkr"), &err);
    Obj *scanner = loadSurface(fst::fixture("lh.sphere_scanner"));
    Obj *bare = loadSurface(fst::fixture("lh.sphere_tkr_novi"));
    ASSERT_NE(tkr, nullptr) << err;
    EXPECT_NE(err.find("c_ras 6 -4 9"), std::string::npos) << err;
    EXPECT_EQ(tkr->nverts, fst::fixtureVertexCount());
    EXPECT_EQ(tkr->nfacets, 1280);
    EXPECT_EQ(tkr->worldCoords, 1);
    // The tkregister file with its geometry lands where the scanner file does.
    expectSameVertices(tkr, scanner, 1e-4, "tkr vs scanner");
    // Without its geometry it stays in tkregister space: c_ras (6, -4, 9)
    // away, in LPS (-6, 4, 9).
    ASSERT_NE(bare, nullptr);
    for (int i = 0; i < tkr->nverts; i += 50) {
        EXPECT_NEAR(tkr->verts[i].x - bare->verts[i].x, -6, 1e-4);
        EXPECT_NEAR(tkr->verts[i].y - bare->verts[i].y, 4, 1e-4);
        EXPECT_NEAR(tkr->verts[i].z - bare->verts[i].z, 9, 1e-4);
    }
    // The file's first vertex, big-endian after the header, in LPS.
    std::string raw = bytesOf(fst::fixture("lh.sphere_scanner"));
    size_t at = raw.find("\n\n") + 2 + 8;
    float xyz[3];
    for (int k = 0; k < 3; k++) {
        uint32_t u = 0;
        for (int b = 0; b < 4; b++)
            u = u << 8 | static_cast<unsigned char>(raw[at + 4 * k + b]);
        std::memcpy(&xyz[k], &u, 4);
    }
    EXPECT_EQ(scanner->verts[0].x, -static_cast<double>(xyz[0]));
    EXPECT_EQ(scanner->verts[0].y, -static_cast<double>(xyz[1]));
    EXPECT_EQ(scanner->verts[0].z, static_cast<double>(xyz[2]));
    // The ball's centre, voxel (24, 17, 22) of the LIA volume centred on
    // c_ras: RAS (2, -2, 12), LPS (-2, 2, 12).
    EXPECT_NEAR((scanner->min.x + scanner->max.x) / 2, -2, 0.05);
    EXPECT_NEAR((scanner->min.y + scanner->max.y) / 2, 2, 0.05);
    EXPECT_NEAR((scanner->min.z + scanner->max.z) / 2, 12, 0.05);
    freeObj(tkr);
    freeObj(scanner);
    freeObj(bare);
}

TEST(FreeSurferSurface, BadFilesAreOneLineNamingTheFile)
{
    REQUIRE_FIXTURES();
    std::string good = bytesOf(fst::fixture("lh.sphere_scanner"));
    size_t counts = good.find("\n\n") + 2;
    std::vector<std::pair<std::string, std::string>> bad;
    std::string quad = good;
    quad[2] = static_cast<char>(0xff);
    bad.push_back({"quad", quad});
    for (size_t cut : {size_t(2), counts - 1, counts + 6, counts + 8 + 100, good.size() - 1})
        bad.push_back({"cut" + std::to_string(cut), good.substr(0, cut)});
    std::string outOfRange = good;
    putBe32(&outOfRange, good.size() - 4, 642);
    bad.push_back({"index", outOfRange});
    std::string negative = good;
    putBe32(&negative, counts + 12 * 642 + 8, 0xffffffffu);
    bad.push_back({"negative", negative});
    std::string huge = good;
    putBe32(&huge, counts, 0x7fffffff);
    bad.push_back({"huge", huge});
    std::string hugeFaces = good;
    putBe32(&hugeFaces, counts + 4, 0x40000000);
    bad.push_back({"hugefaces", hugeFaces});
    for (const auto &b : bad) {
        std::string path = writeScratch("bad_" + b.first, b.second);
        std::string err;
        Obj *o = nullptr;
        err = captureStderr([&] { o = loadObjFromFreeSurfer(path.c_str(), "s", 1, 1, 1, 1); });
        EXPECT_EQ(o, nullptr) << b.first;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << b.first << ": " << err;
        EXPECT_NE(err.find(path), std::string::npos) << b.first << ": " << err;
    }
    std::string err = captureStderr(
        [&] { EXPECT_EQ(loadObjFromFreeSurfer(writeScratch("q", quad).c_str(), "s", 1, 1, 1, 1), nullptr); });
    EXPECT_NE(err.find("quadrangle"), std::string::npos) << err;
}

TEST(GiftiSurface, EveryEncodingAndACoordinateTransformGiveTheScannerSurface)
{
    REQUIRE_FIXTURES();
    Obj *scanner = loadSurface(fst::fixture("lh.sphere_scanner"));
    for (const char *name : {"sphere_b64gz.surf.gii", "sphere_b64bin.surf.gii", "sphere_ascii.surf.gii",
                             "sphere_xform.surf.gii"}) {
        std::string err;
        Obj *g = loadSurface(fst::fixture(name), &err);
        ASSERT_NE(g, nullptr) << name << ": " << err;
        EXPECT_EQ(g->worldCoords, 1);
        expectSameVertices(g, scanner, 1e-3, name);
        freeObj(g);
    }
    freeObj(scanner);
}

TEST(GiftiSurface, ExternalDataIsFoundBesideTheFileFromAnyFolder)
{
    REQUIRE_FIXTURES();
    std::string ext = fst::fixture("ext/sphere_ext.surf.gii");
    if (access(ext.c_str(), R_OK) != 0)
        GTEST_SKIP() << "no wb_command to write external-file GIfTI";
    // The test runs in the scratch folder, not beside the file.
    ASSERT_EQ(readWholeFile(scratchDir() + "/sphere_ext.surf.gii.data"), "");
    std::string err;
    Obj *g = loadSurface(ext, &err);
    Obj *scanner = loadSurface(fst::fixture("lh.sphere_scanner"));
    expectSameVertices(g, scanner, 1e-3, "external");
    freeObj(g);
    freeObj(scanner);
    // Its data file missing: one line.
    std::string lone = writeScratch("lone.surf.gii", readWholeFile(ext));
    g = loadSurface(lone, &err);
    EXPECT_EQ(g, nullptr);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find(lone), std::string::npos) << err;
}

TEST(GiftiSurface, MalformedFilesAreOneLineNamingTheFile)
{
    REQUIRE_FIXTURES();
    std::string good = bytesOf(fst::fixture("sphere_b64bin.surf.gii"));
    std::string noTriangles = good;
    size_t second = noTriangles.find("NIFTI_INTENT_TRIANGLE");
    noTriangles.replace(second, 21, "NIFTI_INTENT_NONE    ");
    std::string bigDims = good;
    size_t dim = bigDims.find("Dim0=\"");
    bigDims.replace(dim, bigDims.find('"', dim + 6) + 1 - dim, "Dim0=\"100000000\"");
    std::string badIndex = bytesOf(fst::fixture("sphere_ascii.surf.gii"));
    size_t first =
        badIndex.find_first_of("0123456789", badIndex.find("<Data>", badIndex.find("NIFTI_INTENT_TRIANGLE")));
    badIndex.replace(first, badIndex.find_first_not_of("0123456789", first) - first, "999999");
    for (const auto &b :
         std::vector<std::pair<std::string, std::string>>{{"cut", good.substr(0, good.size() / 2)},
                                                          {"notxml", "<GIFTI <<<< & >"},
                                                          {"notriangles", noTriangles},
                                                          {"bigdims", bigDims},
                                                          {"badindex", badIndex},
                                                          // The library itself dies on this one.
                                                          {"libraryfault", bytesOf(std::string(SOURCE_DIR) +
                                                                                   "/fuzz/regressions/gifti/"
                                                                                   "null_in_library")}}) {
        std::string path = writeScratch("bad_" + b.first + ".gii", b.second);
        std::string err;
        Obj *o = loadSurface(path, &err);
        EXPECT_EQ(o, nullptr) << b.first;
        freeObj(o);
        EXPECT_NE(err.find(path), std::string::npos) << b.first << ": " << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << b.first << ": " << err;
        if (b.first == "badindex") {
            EXPECT_NE(err.find("999999"), std::string::npos) << err;
        }
    }
}

TEST(SurfaceFiles, ContentDecidesForNamesThatAreNotObjOrStl)
{
    REQUIRE_FIXTURES();
    EXPECT_EQ(recogniseSurfaceFile(fst::fixture("lh.sphere_tkr").c_str()), SURFACE_FREESURFER);
    EXPECT_EQ(recogniseSurfaceFile(fst::fixture("sphere_b64gz.surf.gii").c_str()), SURFACE_GIFTI);
    EXPECT_EQ(recogniseSurfaceFile(fst::fixture("lh.curv").c_str()),
              SURFACE_FREESURFER); // refused later as quad
    EXPECT_EQ(recogniseSurfaceFile(fst::fixture("ball.mgz").c_str()), SURFACE_UNKNOWN);
    EXPECT_EQ(recogniseSurfaceFile(fst::fixture("nverts.txt").c_str()), SURFACE_UNKNOWN);
    EXPECT_EQ(recogniseSurfaceFile(fst::fixture("missing").c_str()), SURFACE_UNKNOWN);
}

} // namespace
