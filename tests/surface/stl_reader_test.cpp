// The binary STL reader: corner merging, counts and short files.
#include <array>
#include <cmath>
#include <limits>
#include <random>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

#include "surface_test_util.h"

namespace {

Obj *readStl(const std::string &name, const std::string &bytes, std::string *err = nullptr)
{
    std::string path = writeFile(name, bytes);
    Obj *o = nullptr;
    std::string e = captureStderr([&] { o = loadObjFromSTL(path.c_str(), "stl", 1, 0, 0, 1); });
    if (err)
        *err = e;
    return o;
}

const StlTri kTri = {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}};

TEST(StlReader, OneFacetAndTheSameFacetTwice)
{
    Obj *o = readStl("one.stl", stlBytes({kTri}));
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->nverts, 3);
    ASSERT_EQ(o->nfacets, 1);
    EXPECT_EQ(o->facets[0], 1);
    EXPECT_EQ(o->facets[1], 2);
    EXPECT_EQ(o->facets[2], 3);
    EXPECT_EQ(o->verts[1].x, 1);
    EXPECT_EQ(o->verts[2].y, 1);
    freeObj(o);

    o = readStl("two.stl", stlBytes({kTri, kTri}));
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->nverts, 3);
    ASSERT_EQ(o->nfacets, 2);
    for (int i = 0; i < 6; i++)
        EXPECT_EQ(o->facets[i], i % 3 + 1);
    freeObj(o);
}

TEST(StlReader, NearCornersMergeIntoTheLaterOne)
{
    StlTri b = {{{0.00005f, 0, 0}, {1.001f, 0, 0}, {0, 1, 0.001f}}};
    Obj *o = readStl("near.stl", stlBytes({kTri, b}));
    ASSERT_NE(o, nullptr);
    // Half of 1e-4 apart: merged, with the later coordinates; 0.001 apart:
    // separate.
    EXPECT_EQ(o->nverts, 5);
    EXPECT_EQ(o->facets[3], 1);
    EXPECT_EQ(o->verts[0].x, (double)0.00005f);
    EXPECT_EQ(o->facets[4], 4);
    EXPECT_EQ(o->facets[5], 5);
    freeObj(o);
}

TEST(StlReader, EmptyAndOverlongFiles)
{
    std::string err;
    Obj *o = readStl("zero.stl", stlBytes({}), &err);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->nverts, 0);
    EXPECT_EQ(o->nfacets, 0);
    EXPECT_EQ(err.find("Not at end of file!"), std::string::npos);
    freeObj(o);

    o = readStl("extra.stl", stlBytes({kTri}) + "xyz", &err);
    ASSERT_NE(o, nullptr);
    EXPECT_NE(err.find("Not at end of file!\n"), std::string::npos);
    EXPECT_EQ(o->nfacets, 1);
    EXPECT_EQ(o->nverts, 3);
    freeObj(o);
}

TEST(StlReader, TruncatedAndLyingFilesGiveNull)
{
    std::string full = stlBytes({kTri, kTri});
    std::string err;
    // Cut inside the last facet's corners.
    EXPECT_EQ(readStl("cut.stl", full.substr(0, full.size() - 10), &err), nullptr);
    EXPECT_EQ(err, "failed reading facets\n");
    // Cut inside the last attribute word.
    EXPECT_EQ(readStl("cutattr.stl", full.substr(0, full.size() - 1), &err), nullptr);
    EXPECT_EQ(err, "failed reading unused short\n");
    // A count far beyond the file: nothing is allocated from it.
    EXPECT_EQ(readStl("lie.stl", stlBytes({kTri}, 0xffffffffu), &err), nullptr);
    EXPECT_EQ(err, "failed reading facets\n");
    EXPECT_EQ(readStl("lie2.stl", stlBytes({kTri}, 2), &err), nullptr);
    EXPECT_EQ(err, "failed reading facets\n");
    // Shorter than the header.
    EXPECT_EQ(readStl("short.stl", std::string(50, 'x'), &err), nullptr);
    EXPECT_EQ(countOf(err, "\n"), 1);
    // No such file.
    Obj *o = nullptr;
    err = captureStderr([&] { o = loadObjFromSTL(tmpPath("no/such.stl").c_str(), "x", 1, 1, 1, 1); });
    EXPECT_EQ(o, nullptr);
    EXPECT_EQ(countOf(err, "\n"), 1);
}

// Reads bytes through a named pipe, where the file's size is unknown.
Obj *readStlFromPipe(const std::string &bytes, std::string *err)
{
    std::string path = tmpPath("pipe.stl");
    unlink(path.c_str());
    EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
    std::thread writer([&] {
        FILE *f = std::fopen(path.c_str(), "wb");
        if (f) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
    });
    Obj *o = nullptr;
    *err = captureStderr([&] { o = loadObjFromSTL(path.c_str(), "pipe", 1, 1, 1, 1); });
    writer.join();
    unlink(path.c_str());
    return o;
}

TEST(StlReader, PipeIsReadLikeAFile)
{
    std::string err;
    StlTri b = {{{0.00005f, 0, 0}, {2, 0, 0}, {0, 2, 0}}};
    Obj *o = readStlFromPipe(stlBytes({kTri, b}) + "x", &err);
    ASSERT_NE(o, nullptr);
    EXPECT_NE(err.find("Not at end of file!\n"), std::string::npos);
    EXPECT_EQ(o->nverts, 5);
    EXPECT_EQ(o->facets[3], 1);
    freeObj(o);
    std::string two = stlBytes({kTri, kTri});
    EXPECT_EQ(readStlFromPipe(two.substr(0, two.size() - 1), &err), nullptr);
    EXPECT_EQ(err, "failed reading unused short\n");
}

// A text STL of the given triangles, with the layout's usual indentation.
std::string textStl(const std::vector<StlTri> &tris)
{
    std::string s = "solid part\n";
    char line[200];
    for (const StlTri &t : tris) {
        s += "  facet normal 0 0 1\n    outer loop\n";
        for (int c = 0; c < 3; c++) {
            std::snprintf(line, sizeof line, "      vertex %.9g %.9g %.9g\n", t.c[c][0], t.c[c][1], t.c[c][2]);
            s += line;
        }
        s += "    endloop\n  endfacet\n";
    }
    return s + "endsolid part\n";
}

TEST(StlReader, TextStlGivesTheRecordItsBinaryTwinGives)
{
    StlTri b = {{{1, 0, 0}, {1, 1, 0}, {0.5f, 2.25f, -3e-5f}}};
    std::string err, binErr;
    Obj *t = readStl("text.stl", textStl({kTri, b, kTri}), &err);
    Obj *bin = readStl("bin.stl", stlBytes({kTri, b, kTri}), &binErr);
    ASSERT_NE(t, nullptr) << err;
    ASSERT_NE(bin, nullptr);
    EXPECT_EQ(err, binErr);
    ASSERT_EQ(t->nverts, bin->nverts);
    ASSERT_EQ(t->nfacets, 3);
    for (int i = 0; i < t->nverts; i++)
        EXPECT_TRUE(sameBits(t->verts[i], bin->verts[i])) << i;
    for (int i = 0; i < 9; i++)
        EXPECT_EQ(t->facets[i], bin->facets[i]) << i;
    freeObj(t);
    freeObj(bin);
    // No facets: an empty surface.
    t = readStl("empty.stl", "solid x\n" + std::string(100, ' ') + "endsolid x\n", &err);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->nfacets, 0);
    freeObj(t);
}

TEST(StlReader, BadTextStlIsOneLineNamingTheFile)
{
    std::string good = textStl({kTri});
    size_t first = good.find("      vertex"), next = good.find("\n", first) + 1;
    std::string twoCorners = good.substr(0, first) + good.substr(next);
    std::string notNumber = good;
    notNumber.replace(notNumber.find("vertex 0") + 7, 1, "x");
    std::string unended = good.substr(0, good.find("endfacet"));
    for (const std::string &text : {twoCorners, notNumber, unended}) {
        std::string err;
        EXPECT_EQ(readStl("bad.stl", text, &err), nullptr) << text;
        EXPECT_EQ(countOf(err, "\n"), 1) << err;
        EXPECT_NE(err.find("bad.stl"), std::string::npos) << err;
    }
}

TEST(StlReader, BinaryStlWhoseHeaderSaysSolidStaysBinary)
{
    std::string bin = stlBytes({kTri, kTri});
    bin.replace(0, 6, "solid ");
    Obj *o = readStl("solidbin.stl", bin);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->nfacets, 2);
    EXPECT_EQ(o->nverts, 3);
    freeObj(o);
}

TEST(StlReader, NonFiniteAndHugeCornersNeverMergeWrongly)
{
    const float inf = std::numeric_limits<float>::infinity(), nan = std::nanf("");
    StlTri a = {{{nan, 0, 0}, {inf, 0, 0}, {1e30f, 0.5f, 0.5f}}};
    StlTri b = {{{nan, 0, 0}, {inf, 0, 0}, {1e30f, 0.50005f, 0.5f}}};
    StlTri c = {{{-3e38f, 1, 1}, {3e38f, 1, 1}, {-3e38f, 1.00001f, 1}}};
    Obj *o = readStl("nonfinite.stl", stlBytes({a, b, c}));
    ASSERT_NE(o, nullptr);
    // NaN and infinity stay apart; the huge points within 1e-4 merge.
    EXPECT_EQ(o->nverts, 3 + 2 + 2);
    EXPECT_EQ(o->facets[5], 3);
    EXPECT_EQ(o->verts[2].y, (double)0.50005f);
    EXPECT_EQ(o->facets[8], o->facets[6]);
    freeObj(o);
}

// The merge exactly as described: newest vertex first, first within 1e-4.
void referenceMerge(const std::vector<StlTri> &tris, std::vector<Point3> *verts, std::vector<int> *facets)
{
    for (const StlTri &t : tris)
        for (int c = 0; c < 3; c++) {
            Point3 p = {t.c[c][0], t.c[c][1], t.c[c][2]};
            int j = -1;
            for (int k = (int)verts->size() - 1; k >= 0; k--)
                if (VectorLength((*verts)[k], p) <= 1e-4) {
                    j = k;
                    break;
                }
            if (j >= 0) {
                (*verts)[j] = p;
            } else {
                j = (int)verts->size();
                verts->push_back(p);
            }
            facets->push_back(j + 1);
        }
}

// Random corners from a small pool of points, each repeated exactly or
// moved by the awkward distances around 1e-4, including chains of points
// each within 1e-4 of the previous.
std::vector<StlTri> awkwardMesh(unsigned seed, int ntris, float spread)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-spread, spread);
    std::uniform_int_distribution<int> pick(0, 9);
    const float steps[] = {0.5e-4f, 1e-4f, 1.0001e-4f, 0.99999e-4f, 2e-4f, 0.7e-4f};
    std::vector<std::array<float, 3>> pool;
    std::vector<StlTri> tris;
    for (int t = 0; t < ntris; t++) {
        StlTri tri;
        for (int c = 0; c < 3; c++) {
            std::array<float, 3> p;
            int k = pick(rng);
            if (pool.empty() || k < 3) {
                p = {u(rng), u(rng), u(rng)};
            } else {
                p = pool[std::uniform_int_distribution<size_t>(0, pool.size() - 1)(rng)];
                if (k >= 6) {
                    // A step along one axis or a diagonal.
                    float s = steps[pick(rng) % 6] * (pick(rng) < 5 ? 1 : -1);
                    int axis = pick(rng) % 4;
                    if (axis == 3) {
                        for (float &x : p)
                            x += s / std::sqrt(3.0f);
                    } else {
                        p[axis] += s;
                    }
                }
            }
            pool.push_back(p);
            for (int i = 0; i < 3; i++)
                tri.c[c][i] = p[i];
        }
        tris.push_back(tri);
    }
    return tris;
}

TEST(StlReader, HashedMergeMatchesTheLinearSearch)
{
    struct Case {
        unsigned seed;
        int ntris;
        float spread;
    } cases[] = {{1, 3000, 0.002f}, {2, 3000, 1.0f}, {3, 2000, 0.0005f}, {4, 3000, 1000.0f},
                 {5, 3000, 2e5f},   {6, 500, 2e9f},  {7, 3000, 0.01f}};
    for (const Case &cs : cases) {
        std::vector<StlTri> tris = awkwardMesh(cs.seed, cs.ntris, cs.spread);
        std::vector<Point3> rv;
        std::vector<int> rf;
        referenceMerge(tris, &rv, &rf);
        // The data must merge some corners and keep others apart.
        EXPECT_LT(rv.size(), 3 * tris.size() * 9 / 10) << "seed " << cs.seed;
        EXPECT_GT(rv.size(), tris.size() / 4) << "seed " << cs.seed;
        Obj *o = readStl("random.stl", stlBytes(tris));
        ASSERT_NE(o, nullptr);
        ASSERT_EQ(o->nverts, (int)rv.size()) << "seed " << cs.seed;
        ASSERT_EQ(o->nfacets, cs.ntris);
        for (size_t i = 0; i < rv.size(); i++)
            ASSERT_TRUE(sameBits(o->verts[i], rv[i])) << "seed " << cs.seed << " vertex " << i;
        for (size_t i = 0; i < rf.size(); i++)
            ASSERT_EQ(o->facets[i], rf[i]) << "seed " << cs.seed << " corner " << i;
        freeObj(o);
    }
}

TEST(StlReader, LongFileAcrossReadChunks)
{
    // Many facets over few points: the file is read in several chunks.
    std::vector<StlTri> few = awkwardMesh(9, 40, 0.001f), tris;
    for (int i = 0; i < 20000; i++)
        tris.push_back(few[(i * 7) % few.size()]);
    std::vector<Point3> rv;
    std::vector<int> rf;
    referenceMerge(tris, &rv, &rf);
    Obj *o = readStl("long.stl", stlBytes(tris));
    ASSERT_NE(o, nullptr);
    ASSERT_EQ(o->nverts, (int)rv.size());
    for (size_t i = 0; i < rv.size(); i++)
        ASSERT_TRUE(sameBits(o->verts[i], rv[i])) << i;
    for (size_t i = 0; i < rf.size(); i++)
        ASSERT_EQ(o->facets[i], rf[i]) << i;
    freeObj(o);
}

TEST(StlReader, ChainOfPointsEachNearThePrevious)
{
    // Each point is within 1e-4 of the one before, so each merges into the
    // same vertex, which walks along the chain across cell borders.
    std::vector<StlTri> tris;
    float x = 0.0f;
    for (int i = 0; i < 200; i++) {
        StlTri t = {{{x, 5, 5}, {x + 0.99e-4f, 5, 5}, {x + 1.98e-4f, 5, 5}}};
        tris.push_back(t);
        x += 2.97e-4f;
    }
    std::vector<Point3> rv;
    std::vector<int> rf;
    referenceMerge(tris, &rv, &rf);
    Obj *o = readStl("chain.stl", stlBytes(tris));
    ASSERT_NE(o, nullptr);
    ASSERT_EQ(o->nverts, (int)rv.size());
    EXPECT_LT(o->nverts, 10);
    for (size_t i = 0; i < rv.size(); i++)
        EXPECT_TRUE(sameBits(o->verts[i], rv[i])) << i;
    for (size_t i = 0; i < rf.size(); i++)
        EXPECT_EQ(o->facets[i], rf[i]) << i;
    freeObj(o);
}

} // namespace
