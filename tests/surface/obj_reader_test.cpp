// The OBJ text reader: line pieces, parsing, axes, facet numbers.
#include <cmath>
#include <random>

#include "surface_test_util.h"
#include "surface_util.h"

namespace {

Obj *readObjText(const std::string &name, const std::string &text, std::string *err = nullptr)
{
    std::string path = writeFile(name, text);
    Obj *o = nullptr;
    std::string e = captureStderr([&] { o = loadObj(path.c_str(), "lab", 0.1f, 0.2f, 0.3f, 0.5f); });
    if (err)
        *err = e;
    return o;
}

TEST(ObjReader, VertexAxesAreReassignedAndRecordFilled)
{
    std::string err;
    Obj *o = readObjText("axes.obj", "v 1 2 3\nv 4 5 6 7\n", &err);
    ASSERT_NE(o, nullptr);
    EXPECT_STREQ(o->label, "lab");
    EXPECT_DOUBLE_EQ(o->colour.g, (double)0.2f);
    EXPECT_EQ(o->alpha, 0.5f);
    ASSERT_EQ(o->nverts, 2);
    EXPECT_EQ(o->verts[0].x, 3);
    EXPECT_EQ(o->verts[0].y, 1);
    EXPECT_EQ(o->verts[0].z, 2);
    // The fourth (homogeneous) number is ignored.
    EXPECT_EQ(o->verts[1].x, 6);
    EXPECT_EQ(o->normals, nullptr);
    EXPECT_EQ(o->min.x, 3);
    EXPECT_EQ(o->max.y, 4);
    EXPECT_DOUBLE_EQ(o->mean.z, 3.5);
    EXPECT_NE(err.find("Read 2 lines (0 facets) from obj file.\n"), std::string::npos) << err;
    EXPECT_NE(err.find("Coordinate range is (3.000000,1.000000,2.000000) - (6.000000,4.000000,5.000000) "
                       "[avg = (4.500000,2.500000,3.500000)]\n"),
              std::string::npos)
        << err;
    freeObj(o);
}

TEST(ObjReader, FacetNumbersAreRoundedAndOnlyFirstTriangleKept)
{
    Obj *o = readObjText("round.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2.4 2.5\nf 1 2 3 4\n");
    ASSERT_NE(o, nullptr);
    ASSERT_EQ(o->nfacets, 2);
    EXPECT_EQ(o->facets[0], 1);
    EXPECT_EQ(o->facets[1], 2);
    EXPECT_EQ(o->facets[2], 3);
    EXPECT_EQ(o->facets[3], 1);
    EXPECT_EQ(o->facets[4], 2);
    EXPECT_EQ(o->facets[5], 3);
    freeObj(o);
}

TEST(ObjReader, UnparsableAndUnknownLinesAreCountedAndReported)
{
    std::string err;
    Obj *o = readObjText("lines.obj",
                         "# comment\n\nvn 0 0 1\nvt 0.5 0.5\nv 0 0 0\nv 1 0 0\nv 0 1 0\n"
                         "f 1/1/1 2/2/2 3/3/3\nx 1 2 3\nf 1 2 3\n",
                         &err);
    ASSERT_NE(o, nullptr);
    for (int line : {1, 2, 3, 4, 8})
        EXPECT_NE(err.find("Could not parse obj file at line " + std::to_string(line) + ", ignoring.\n"),
                  std::string::npos)
            << line;
    EXPECT_EQ(countOf(err, "Could not parse"), 5);
    EXPECT_NE(err.find("Unknown obj file cmd 'x' at line 9, ignoring.\n"), std::string::npos);
    EXPECT_NE(err.find("Read 10 lines (1 facets) from obj file.\n"), std::string::npos) << err;
    EXPECT_EQ(o->nverts, 3);
    EXPECT_EQ(o->nfacets, 1);
    freeObj(o);
}

TEST(ObjReader, LongLineIsReadInPiecesOf399)
{
    // 1000 characters: 399 + 399 + 202 (with the newline), each a line.
    std::string text = "v 1 2 3" + std::string(992, ' ') + "\n";
    ASSERT_EQ(text.size(), 1000u);
    // The third piece starts with "v": put a vertex there.
    text.replace(798, 7, "v 7 8 9");
    std::string err;
    Obj *o = readObjText("long.obj", text, &err);
    ASSERT_NE(o, nullptr);
    EXPECT_NE(err.find("Could not parse obj file at line 2, ignoring.\n"), std::string::npos) << err;
    EXPECT_NE(err.find("Read 3 lines (0 facets) from obj file.\n"), std::string::npos) << err;
    ASSERT_EQ(o->nverts, 2);
    EXPECT_EQ(o->verts[1].x, 9);
    freeObj(o);
}

TEST(ObjReader, EmptyFileGivesEmptyRecord)
{
    std::string err;
    Obj *o = readObjText("empty.obj", "", &err);
    ASSERT_NE(o, nullptr);
    EXPECT_NE(err.find("Read 0 lines (0 facets) from obj file.\n"), std::string::npos);
    EXPECT_EQ(o->nverts, 0);
    EXPECT_EQ(o->nfacets, 0);
    EXPECT_EQ(o->verts, nullptr);
    EXPECT_EQ(o->min.y, 9e99);
    EXPECT_EQ(o->max.z, -9e99);
    EXPECT_TRUE(std::isnan(o->mean.x));
    freeObj(o);
}

TEST(ObjReader, UnopenableFileGivesNull)
{
    Obj *o = reinterpret_cast<Obj *>(1);
    std::string err =
        captureStderr([&] { o = loadObj(tmpPath("missing/none.obj").c_str(), "x", 1, 1, 1, 1); });
    EXPECT_EQ(o, nullptr);
    EXPECT_EQ(countOf(err, "\n"), 1) << err;
}

TEST(ObjReader, FacetsOutsideTheVerticesAreDroppedAtTheEnd)
{
    std::string err;
    // Facet on line 1 names vertices that come later: it is kept.
    Obj *o = readObjText("range.obj",
                         "f 1 2 3\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 4\nf 0 1 2\nf -1 1 2\nf nan 1 2\n"
                         "f 1e30 1 2\nf 3 2 1\n",
                         &err);
    ASSERT_NE(o, nullptr);
    ASSERT_EQ(o->nfacets, 2);
    EXPECT_EQ(o->facets[0], 1);
    EXPECT_EQ(o->facets[3], 3);
    EXPECT_EQ(o->facets[5], 1);
    for (int line : {5, 6, 7, 8, 9})
        EXPECT_NE(err.find("Facet at line " + std::to_string(line) + " names a vertex outside 1..3"),
                  std::string::npos)
            << line << err;
    EXPECT_NE(err.find("Read 10 lines (2 facets) from obj file.\n"), std::string::npos) << err;
    freeObj(o);
}

TEST(ObjReader, NonFiniteVertexIsKeptAsRead)
{
    Obj *o = readObjText("nanvert.obj", "v nan inf 1\n");
    ASSERT_NE(o, nullptr);
    ASSERT_EQ(o->nverts, 1);
    EXPECT_EQ(o->verts[0].x, 1);
    EXPECT_TRUE(std::isnan(o->verts[0].y));
    EXPECT_TRUE(std::isinf(o->verts[0].z));
    freeObj(o);
}

// The scanner against sscanf itself: same count, same bits.
void expectSameAsSscanf(const std::string &line)
{
    char c1 = 0, c2 = 0;
    float a[3] = {0, 0, 0}, b[3] = {0, 0, 0};
    int n1 = sscanf(line.c_str(), "%c %f %f %f", &c1, &a[0], &a[1], &a[2]);
    int n2 = scanObjLine(line.c_str(), &c2, b);
    ASSERT_EQ(n1 >= 4, n2 >= 4) << "[" << line << "]";
    if (n1 < 4)
        return;
    EXPECT_EQ(c1, c2) << line;
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(std::memcmp(&a[i], &b[i], sizeof(float)), 0) << "[" << line << "] item " << i;
}

TEST(ObjScanner, OddLinesMatchSscanf)
{
    const char *lines[] = {
        "v 1e 2 3\n",
        "v .5 1 2\n",
        "v +1 -2 +3\n",
        "v 0x1p3 1 2\n",
        "v nan 1 2\n",
        "v inf -inf 1\n",
        "v infinity 1 2\n",
        "f 1/2/3 4/5/6 7/8/9\n",
        "f 1//2 3//4 5//6\n",
        " v 1 2 3\n",
        "v\t1\t2\t3\n",
        "v1 2 3\n",
        "v 1 2 3",
        "v 1.e5 2E-3 3e+2\n",
        "v 1e5.3 2 3\n",
        "v . 1 2\n",
        "v -. 1 2\n",
        "v 1,2 3 4\n",
        "v 12345678901234567890123 1 2\n",
        "v 1e-50 1e50 1e39\n",
        "v -0 0 -0.0\n",
        "v 0.000000000000000000000000001 1 2\n",
        "v 16777217 16777219 0.1\n",
        "v 1 2\n",
        "v\n",
        "\n",
        "f 1 2 3 extra\n",
        "v 1 2 3\r\n",
        "v 1 2 3x\n",
        "v 00x1 2 3\n",
        "v 3.4028236e38 1 2\n",
        "v 1.00000005960464477539 1 2\n",
        "v 1.000000059604644775390625 1 2\n",
        "v 9007199254740993 1 2\n",
        "#v 1 2 3\n",
        "v 1 2 nan(abc)\n",
        "v 1 2 -nan\n",
        "v 1\v2\f3\n",
        "v 1 2 3e\n",
        "v 1 2 3e+\n",
    };
    for (const char *l : lines)
        expectSameAsSscanf(l);
}

TEST(ObjScanner, RandomNumbersMatchSscanf)
{
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> digits(1, 12), expo(-40, 40), pick(0, 9);
    char buf[200];
    for (int i = 0; i < 100000; i++) {
        std::string line = pick(rng) < 5 ? "v" : "f";
        for (int k = 0; k < 3; k++) {
            line += pick(rng) < 3 ? "\t" : " ";
            if (pick(rng) < 3)
                line += "-";
            int nd = digits(rng);
            int dot = std::uniform_int_distribution<int>(0, nd)(rng);
            for (int d = 0; d < nd; d++) {
                if (d == dot)
                    line += ".";
                line += (char)('0' + pick(rng));
            }
            if (pick(rng) < 2) {
                snprintf(buf, sizeof buf, "e%d", expo(rng));
                line += buf;
            }
        }
        line += "\n";
        expectSameAsSscanf(line);
        // Float spellings as writers print them.
        float v = std::ldexp((float)std::uniform_real_distribution<double>(-1, 1)(rng), expo(rng));
        snprintf(buf, sizeof buf, "v %.9g %.7g %.3f\n", v, v, v);
        expectSameAsSscanf(buf);
    }
}

} // namespace
