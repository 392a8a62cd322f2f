// glTF export: every file is checked by the Khronos validator (node and the
// npm package that tools/install-deps.sh installs) and read back by
// gltf_check.js, which lists counts, vertices, colours and image sizes.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "io.h"
#include "vqscene_inspect.h"

namespace {

struct Check {
    std::string text;                         // everything the script said
    std::map<std::string, int> count;         // errors, meshes, primitives, ...
    std::vector<std::vector<float>> pos, col; // per primitive, in order
    std::vector<std::string> prims;           // "MODE COUNT" per primitive
    std::vector<int> written;                 // vertices stored per primitive
    std::vector<std::string> meshes, images;  // mesh names; "W H" per image
};

std::string run(const std::string &cmd, int *status = nullptr)
{
    std::string out;
    FILE *p = popen((cmd + " 2>&1").c_str(), "r");
    if (!p)
        return out;
    char buf[4096];
    while (std::fgets(buf, sizeof buf, p))
        out += buf;
    int st = pclose(p);
    if (status)
        *status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return out;
}

std::vector<float> numbers(std::istringstream &in)
{
    std::vector<float> v;
    float f;
    while (in >> f)
        v.push_back(f);
    return v;
}

Check check(const std::string &file)
{
    Check c;
    c.text = run(std::string("node ") + SOURCE_DIR + "/tests/scene/gltf_check.js " + SOURCE_DIR +
                 "/tools/node '" + file + "'");
    std::istringstream lines(c.text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream in(line);
        std::string key;
        in >> key;
        if (key == "pos")
            c.pos.push_back(numbers(in));
        else if (key == "col")
            c.col.push_back(numbers(in));
        else if (key == "prim") {
            int mode = 0, n = 0, written = 0;
            std::string material;
            in >> mode >> n >> material >> written;
            c.written.push_back(written);
            c.prims.push_back(std::to_string(mode) + " " + std::to_string(n));
            if (c.col.size() + 1 < c.prims.size()) // keep colours aligned with their primitive
                c.col.push_back({});
        } else if (key == "mesh")
            c.meshes.push_back(line.substr(5));
        else if (key == "image")
            c.images.push_back(line.substr(6));
        else if (key != "error") {
            int n = -1;
            if (in >> n)
                c.count[key] = n;
        }
    }
    return c;
}

class GltfExport : public ::testing::Test {
  protected:
    void SetUp() override
    {
        if (run("node --version").rfind("v", 0) != 0)
            GTEST_SKIP() << "node is not installed: the glTF validator cannot run";
        struct stat st;
        if (stat((std::string(SOURCE_DIR) + "/tools/node/node_modules/gltf-validator").c_str(), &st) != 0)
            GTEST_SKIP() << "the glTF validator is missing (tools/install-deps.sh installs it from npm)";
        vqtest::openHeadless();
    }
    void TearDown() override { vqtest::closeScene(); }

    // Export the scene as it stands and validate it: no errors.
    Check exported(const std::string &file)
    {
        EXPECT_EQ(vq::exportScene(vqtest::scene(), file.c_str()), 0);
        Check c = check(file);
        EXPECT_EQ(c.count["errors"], 0) << c.text;
        return c;
    }
};

void expectNear(const std::vector<float> &got, const std::vector<float> &want, const char *what)
{
    ASSERT_EQ(got.size(), want.size()) << what;
    for (size_t i = 0; i < got.size(); i++)
        EXPECT_NEAR(got[i], want[i], 1e-4) << what << " [" << i << "]";
}

} // namespace

TEST_F(GltfExport, SmallSceneRoundTripsInBothForms)
{
    // The default window and viewport are both -1..1: scene = world.
    pushVRMLname("surface");
    Point3 a[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    Point3 b[3] = {{0, 0, 0.5}, {1, 0, 0.5}, {0, 1, 0.5}};
    Point3 n[3] = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
    nvqvf3(a, Colour3{1, 0.5, 0});
    nvqvf3n(b, n, Colour3{0, 0, 1});
    nvqvf3a(a, 's', Colour3{0, 1, 0}, 0.25f);
    pushVRMLname("tracks");
    vqsci(2);
    float x[] = {0, 0.5f, 1}, y[] = {0, 0.5f, 0}, z[] = {0, 0, 0};
    vqline(3, x, y, z);
    nvqvthcline(Point3{0, 0, 0}, Point3{0, 0, 1}, Colour3{1, 1, 1}, Colour3{0, 0, 0}, 3);
    pushVRMLname("stars \"one\"");
    vqpt(2, x, y, z, 1);

    for (const char *file : {"small.glb", "small.gltf"}) {
        Check c = exported(file);
        EXPECT_EQ(c.count["meshes"], 3) << file;
        EXPECT_EQ(c.count["primitives"], 6) << file;
        EXPECT_EQ(c.count["images"], 0) << file;
        EXPECT_EQ(c.count["cameras"], 1) << file;
        EXPECT_EQ(c.count["nodes"], 5) << file; // panel, its camera, three names
        EXPECT_EQ(c.meshes, (std::vector<std::string>{"surface", "tracks", "stars \"one\""})) << file;
        // Flat, smooth, blended facets; lines, thick lines; points.
        EXPECT_EQ(c.prims, (std::vector<std::string>{"4 3", "4 3", "4 3", "1 4", "1 2", "0 2"})) << c.text;
        ASSERT_EQ(c.pos.size(), 6u) << c.text;
        ASSERT_EQ(c.col.size(), 6u) << c.text;
        expectNear(c.pos[0], {0, 0, 0, 1, 0, 0, 0, 1, 0}, "flat facet");
        // Screen colours come back linear: 0.5 is 0.214 in linear light.
        expectNear(c.col[0], {1, 0.214041f, 0, 1, 0.214041f, 0, 1, 0.214041f, 0}, "flat facet colour");
        expectNear(c.pos[1], {0, 0, 0.5f, 1, 0, 0.5f, 0, 1, 0.5f}, "smooth facet");
        expectNear(c.col[2], {0, 1, 0, 0.25f, 0, 1, 0, 0.25f, 0, 1, 0, 0.25f}, "blended facet colour");
        expectNear(c.pos[3], {0, 0, 0, 0.5f, 0.5f, 0, 0.5f, 0.5f, 0, 1, 0, 0}, "poly-line segments");
        expectNear(c.col[3], {1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0}, "poly-line colour (index 2, red)");
        expectNear(c.col[4], {1, 1, 1, 0, 0, 0}, "thick line colours");
        expectNear(c.pos[5], {0, 0, 0, 0.5f, 0.5f, 0}, "points");
        // Too few shared vertices to pay for an index: all stored.
        EXPECT_EQ(c.written, (std::vector<int>{3, 3, 3, 4, 2, 2})) << file;
    }
}

TEST_F(GltfExport, SharedCornersAreStoredOnceAndIndexed)
{
    // A 10 x 10 grid of squares, two facets each: 600 corners, 121 points.
    for (int i = 0; i < 10; i++)
        for (int j = 0; j < 10; j++) {
            Point3 p00{i * 0.1, j * 0.1, 0}, p10{(i + 1) * 0.1, j * 0.1, 0}, p01{i * 0.1, (j + 1) * 0.1, 0},
                p11{(i + 1) * 0.1, (j + 1) * 0.1, 0};
            Point3 a[3] = {p00, p10, p11}, b[3] = {p00, p11, p01};
            nvqvf3(a, Colour3{0.2, 0.4, 0.6});
            nvqvf3(b, Colour3{0.2, 0.4, 0.6});
        }
    Check c = exported("grid.glb");
    ASSERT_EQ(c.prims, std::vector<std::string>{"4 600"}) << c.text;
    EXPECT_EQ(c.written, std::vector<int>{121});
    // Read back through the indices, every corner is where it was drawn.
    ASSERT_EQ(c.pos.size(), 1u);
    ASSERT_EQ(c.pos[0].size(), 1800u);
    expectNear(std::vector<float>(c.pos[0].begin() + 3 * 597, c.pos[0].end()),
               {0.9f, 0.9f, 0, 1, 1, 0, 0.9f, 1, 0}, "last facet");
}

TEST_F(GltfExport, SliceSetsBecomeTrimmedTexturedQuads)
{
    // 4 x 3 x 2 voxels; the plane i = 0 lies below dmin and shows nothing.
    static float v[4][3][2];
    static float *rows[4][3];
    static float **planes[4];
    for (int i = 0; i < 4; i++) {
        for (int j = 0; j < 3; j++) {
            for (int k = 0; k < 2; k++)
                v[i][j][k] = i == 0 ? -1 : 0.25f * i;
            rows[i][j] = v[i][j];
        }
        planes[i] = rows[i];
    }
    float tr[12] = {0, 0.5f, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0, 0.5f};
    vqscir(100, 199);
    int id = nvqcvr(planes, 4, 3, 2, 0, 3, 0, 2, 0, 1, tr, 's', 0, 1, 0.2f, 0.8f);
    ASSERT_GE(id, 0);
    pushVRMLname("VRSET1");
    for (int axis = 1; axis <= 3; axis++)
        dvqdvrx(id, 0, axis, 1, 0);
    Check c = exported("slices.glb");
    // All sets (prc 1): x slices 1..3 (3 x 2 texels), y slices 0..2 with
    // i = 1..3 (3 x 2), z slices 0..1 with i = 1..3 (3 x 3).
    EXPECT_EQ(c.count["images"], 8) << c.text;
    EXPECT_EQ(c.count["primitives"], 8);
    EXPECT_EQ(c.meshes, std::vector<std::string>{"VRSET1"});
    EXPECT_EQ(c.written, std::vector<int>(8, 6)) << "a quad's two shared corners do not pay for an index";
    std::vector<std::string> sizes = c.images;
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ(sizes, (std::vector<std::string>{"3 2", "3 2", "3 2", "3 2", "3 2", "3 2", "3 3", "3 3"}));
    // The first x slice's quad spans its voxels edge to edge: j and k from
    // -0.5 to 2.5 and 1.5 voxels, at i = 1 (half a unit a voxel).
    ASSERT_FALSE(c.pos.empty());
    float lo[3] = {INFINITY, INFINITY, INFINITY}, hi[3] = {-INFINITY, -INFINITY, -INFINITY};
    for (size_t i = 0; i < c.pos[0].size(); i++) {
        lo[i % 3] = std::min(lo[i % 3], c.pos[0][i]);
        hi[i % 3] = std::max(hi[i % 3], c.pos[0][i]);
    }
    expectNear({lo[0], hi[0], lo[1], hi[1], lo[2], hi[2]}, {0.5f, 0.5f, -0.25f, 1.25f, -0.25f, 0.75f},
               "first slice's corners");

    // The set most nearly facing the viewer only (prc 0): from +z, the z set.
    vqtest::closeScene();
    vqtest::openHeadless();
    id = nvqcvr(planes, 4, 3, 2, 0, 3, 0, 2, 0, 1, tr, 's', 0, 1, 0.2f, 0.8f);
    for (int axis = 1; axis <= 3; axis++)
        dvqdvrx(id, 0, axis, 0, 0);
    c = exported("facing.glb");
    EXPECT_EQ(c.images, (std::vector<std::string>{"3 3", "3 3"})) << c.text;
}

TEST_F(GltfExport, PanelsCamerasAndTexturedPolygons)
{
    int tex = svqc3dt(2, 2, 2);
    int w = 0, h = 0, d = 0;
    unsigned char *t = svqg3dt(tex, &w, &h, &d);
    ASSERT_NE(t, nullptr);
    for (int i = 0; i < 8; i++)
        t[4 * i] = 255, t[4 * i + 3] = 200;
    svqpt(tex);
    Point3 quad[4] = {{-0.5, -0.5, 0}, {0.5, -0.5, 0}, {0.5, 0.5, 0}, {-0.5, 0.5, 0}};
    Point3 coords[4] = {{0, 0, 0.5}, {1, 0, 0.5}, {1, 1, 0.5}, {0, 1, 0.5}};
    pushVRMLname("cut");
    nvqtexpoly3d(quad, coords, 4, tex, 's', 1);
    int second = xvqap(0.5f, 0, 1, 0.5f);
    Check c = exported("panels.glb");
    EXPECT_EQ(c.count["cameras"], 2);
    EXPECT_EQ(c.count["images"], 1) << c.text;
    EXPECT_EQ(c.count["primitives"], 1);
    // The quad covers the polygon.
    ASSERT_EQ(c.pos.size(), 1u);
    float lo = INFINITY, hi = -INFINITY;
    for (size_t i = 0; i < c.pos[0].size(); i += 3)
        lo = std::min(lo, c.pos[0][i]), hi = std::max(hi, c.pos[0][i]);
    EXPECT_NEAR(lo, -0.5f, 1e-4);
    EXPECT_NEAR(hi, 0.5f, 1e-4);

    // A hidden panel is not shown, so not exported.
    xvqtp(second);
    c = exported("hidden.glb");
    EXPECT_EQ(c.count["cameras"], 1);
}

TEST_F(GltfExport, EmptySceneIsAValidFile)
{
    for (const char *file : {"empty.glb", "empty.gltf"}) {
        Check c = exported(file);
        EXPECT_EQ(c.count["meshes"], 0) << file;
        EXPECT_EQ(c.count["images"], 0) << file;
        EXPECT_EQ(c.count["cameras"], 1) << file;
    }
}

TEST_F(GltfExport, FailedWritesSayOneLineAndKeepTheOldFile)
{
    auto oneLine = [](const std::string &err) { return std::count(err.begin(), err.end(), '\n') == 1; };
    testing::internal::CaptureStderr();
    EXPECT_EQ(vq::exportScene(vqtest::scene(), "no-such-folder/x.glb"), -1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "vqscene: cannot write scene file 'no-such-folder/x.glb': No such file or directory\n");

    // The target stands as a folder: the rename fails and nothing is lost.
    run("rm -rf taken.glb && mkdir taken.glb && echo old >taken.glb/inside");
    testing::internal::CaptureStderr();
    EXPECT_EQ(vq::exportScene(vqtest::scene(), "taken.glb"), -1);
    err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(oneLine(err)) << err;
    EXPECT_EQ(run("cat taken.glb/inside; find . -maxdepth 1 -name 'taken.glb.?*'"), "old\n");

    // An unwritable folder keeps its old file (the superuser writes anywhere).
    if (geteuid() != 0) {
        run("rm -rf ro && mkdir ro && echo old >ro/x.glb && chmod 555 ro");
        testing::internal::CaptureStderr();
        EXPECT_EQ(vq::exportScene(vqtest::scene(), "ro/x.glb"), -1);
        EXPECT_TRUE(oneLine(testing::internal::GetCapturedStderr()));
        EXPECT_EQ(run("cat ro/x.glb"), "old\n");
        run("chmod 755 ro");
    }

    testing::internal::CaptureStderr();
    EXPECT_EQ(vq::exportScene(vqtest::scene(), "scene.obj"), -1);
    EXPECT_TRUE(oneLine(testing::internal::GetCapturedStderr()));
}

TEST_F(GltfExport, ExportOptionWritesTheLastFrame)
{
    // The C program draws a point set, a poly-line and a facet each frame.
    std::string prog = std::string("env -u DISPLAY ") + C_PROGRAM;
    int status = -1;
    std::string out = run(prog + " --nodraw --frames 2 --export last.gltf", &status);
    EXPECT_EQ(status, 0) << out;
    Check c = check("last.gltf");
    EXPECT_EQ(c.count["errors"], 0) << c.text;
    EXPECT_EQ(c.count["primitives"], 3) << c.text;

    out = run("EGL_PLATFORM=surfaceless " + prog + " --png last.png --size 32x32 --export last.wrl", &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(run("head -c 15 last.wrl"), "#VRML V2.0 utf8");

    // Refused names end the run before it starts; a failed write ends it with 1.
    out = run(prog + " --nodraw --export last.stl", &status);
    EXPECT_NE(status, 0);
    EXPECT_EQ(out, "vqscene: --export needs a file name ending in .glb, .gltf or .wrl\n");
    out = run(prog + " --nodraw --export no-such-folder/last.glb", &status);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
}
