// The FS mesh and FS weights readers.
#include <cmath>

#include "surface_test_util.h"

namespace {

Obj *readFs(const std::string &name, const std::string &text, std::string *err = nullptr)
{
    std::string path = writeFile(name, text);
    Obj *o = nullptr;
    std::string e = captureStderr([&] { o = readObjFromFS(path.c_str(), "fs", 1, 1, 1, 1); });
    if (err)
        *err = e;
    return o;
}

ObjWgt *readWgt(const std::string &name, const std::string &text, std::string *err = nullptr)
{
    std::string path = writeFile(name, text);
    ObjWgt *w = nullptr;
    std::string e = captureStderr([&] { w = loadObjWgtFromFS(path.c_str()); });
    if (err)
        *err = e;
    return w;
}

TEST(FsMesh, ReadsVerticesAsStoredAndFacetsFromOne)
{
    std::string err;
    Obj *o = readFs("ok.fs", "my comment\n3 1\n1.0 2.0 3.0 0\n4 5 6 0\n\t7 8 9 0\n0 1 2 0\n", &err);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(err.rfind("read comment: my comment\nnverts = 3, nfacets = 1\nx = 1.000000\n", 0), 0u) << err;
    EXPECT_NE(err.find("Read 3 vertices (1 facets) from obj file.\n"), std::string::npos);
    ASSERT_EQ(o->nverts, 3);
    EXPECT_EQ(o->verts[0].x, 1);
    EXPECT_EQ(o->verts[0].y, 2);
    EXPECT_EQ(o->verts[2].z, 9);
    ASSERT_EQ(o->nfacets, 1);
    EXPECT_EQ(o->facets[0], 1);
    EXPECT_EQ(o->facets[1], 2);
    EXPECT_EQ(o->facets[2], 3);
    freeObj(o);
}

TEST(FsMesh, ProgressEveryHundredVertices)
{
    std::string text = "c\n250 0\n";
    for (int i = 0; i < 250; i++)
        text += std::to_string(i) + " 0 0 0\n";
    std::string err;
    Obj *o = readFs("progress.fs", text, &err);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(countOf(err, "x = "), 3);
    EXPECT_NE(err.find("x = 200.000000\n"), std::string::npos);
    freeObj(o);
}

TEST(FsMesh, BadFilesReportAndGiveNull)
{
    struct Case {
        const char *text, *message;
    } cases[] = {
        {"c\n1 0\n1.0 2.0 3.0 1\n", "patch != 0\n"},
        {"c\n3 1\n0 0 0 0\n1 0 0 0\n0 1 0 0\n0 1 2 5\n", "patch != 0\n"},
        {"c\n2 0\n0 0 0 0\n", "failure reading file at vertex 1\n"},
        {"c\n1 0\n0 0 zero 0\n", "failure parsing file at vertex 0\n"},
        {"c\n1 0\n0 0 0\n", "failure parsing file at vertex 0\n"},
        {"c\n3 2\n0 0 0 0\n1 0 0 0\n0 1 0 0\n0 1 2 0\n", "failure reading file at facet 1\n"},
        {"c\n3 1\n0 0 0 0\n1 0 0 0\n0 1 0 0\n0 1 x 0\n", "failure parsing file at facet 0\n"},
        {"c\n-1 0\n", "negative counts"},
        {"c\n0 -5\n", "negative counts"},
        {"c\n1000000000 1000000000\n0 0 0 0\n", "counts larger"},
        {"", "failure reading FS file header\n"},
    };
    for (const Case &c : cases) {
        std::string err;
        Obj *o = readFs("bad.fs", c.text, &err);
        EXPECT_EQ(o, nullptr) << c.text;
        EXPECT_NE(err.find(c.message), std::string::npos) << c.text << " -> " << err;
        // The failure is the last line written.
        EXPECT_EQ(err.substr(err.size() - 1), "\n");
        EXPECT_EQ(err.find('\n', err.find(c.message)), err.size() - 1) << err;
    }
}

TEST(FsMesh, CountThatDoesNotParseStaysZero)
{
    std::string err;
    Obj *o = readFs("nocount.fs", "c\nnone\n", &err);
    ASSERT_NE(o, nullptr);
    EXPECT_NE(err.find("nverts = 0, nfacets = 0\n"), std::string::npos);
    EXPECT_EQ(o->nverts, 0);
    freeObj(o);
}

TEST(FsMesh, FacetsOutsideTheVerticesAreDropped)
{
    std::string err;
    Obj *o = readFs("range.fs",
                    "c\n3 4\n0 0 0 0\n1 0 0 0\n0 1 0 0\n0 1 3 0\n-1 0 1 0\n2 1 0 0\n"
                    "0 1 99999999999 0\n",
                    &err);
    ASSERT_NE(o, nullptr);
    ASSERT_EQ(o->nfacets, 1);
    EXPECT_EQ(o->facets[0], 3);
    EXPECT_EQ(countOf(err, "outside 0..2"), 3) << err;
    EXPECT_NE(err.find("Read 3 vertices (1 facets) from obj file.\n"), std::string::npos);
    freeObj(o);
}

TEST(FsMeshDeathTest, LoadEndsTheProcessOnABadFile)
{
    std::string bad = writeFile("death.fs", "c\n1 0\n1.0 2.0 3.0 1\n");
    EXPECT_EXIT(loadObjFromFS(bad.c_str(), "fs", 1, 1, 1, 1), testing::ExitedWithCode(255), "patch != 0");
    EXPECT_EXIT(loadObjFromFS(tmpPath("no/such.fs").c_str(), "fs", 1, 1, 1, 1), testing::ExitedWithCode(255),
                "");
    std::string good = writeFile("good.fs", "c\n1 0\n1 2 3 0\n");
    Obj *o = nullptr;
    captureStderr([&] { o = loadObjFromFS(good.c_str(), "fs", 1, 1, 1, 1); });
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->verts[0].z, 3);
    freeObj(o);
}

TEST(FsWeights, ReadsEntriesAndExtremes)
{
    std::string err;
    ObjWgt *w = readWgt("w.txt", "header\n2\n5 0.2\n7 0.8\n", &err);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(err, "nverts = 2\n");
    ASSERT_EQ(w->nverts, 2);
    EXPECT_EQ(w->vert[0], 5);
    EXPECT_EQ(w->vert[1], 7);
    EXPECT_EQ(w->wgt[1], 0.8f);
    EXPECT_EQ(w->wmin, 0.2f);
    EXPECT_EQ(w->wmax, 0.8f);
    freeObjWgt(w);

    w = readWgt("w0.txt", "header\n0\n");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->nverts, 0);
    EXPECT_TRUE(std::isinf(w->wmin) && w->wmin > 0);
    EXPECT_TRUE(std::isinf(w->wmax) && w->wmax < 0);
    freeObjWgt(w);
}

TEST(FsWeights, BadFilesGiveNull)
{
    std::string err;
    EXPECT_EQ(readWgt("wbad.txt", "h\n2\n5 0.2\n7\n", &err), nullptr);
    EXPECT_NE(err.find("Failed reading FS wgts file...\n"), std::string::npos);
    // Ends before its count: reported, not parsed again.
    EXPECT_EQ(readWgt("wshort.txt", "h\n3\n5 0.2\n", &err), nullptr);
    EXPECT_NE(err.find("ends before entry 1"), std::string::npos) << err;
    EXPECT_EQ(readWgt("wneg.txt", "h\n-3\n", &err), nullptr);
    EXPECT_EQ(readWgt("whuge.txt", "h\n2000000000\n1 1\n", &err), nullptr);
    EXPECT_EQ(readWgt("wnone.txt", "", &err), nullptr);
    ObjWgt *w = reinterpret_cast<ObjWgt *>(1);
    err = captureStderr([&] { w = loadObjWgtFromFS(tmpPath("no/such.txt").c_str()); });
    EXPECT_EQ(w, nullptr);
    EXPECT_EQ(countOf(err, "\n"), 1);
}

} // namespace
