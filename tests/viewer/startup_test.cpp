// Scene construction in-process against the headless library: windows,
// transforms, colour blocks, clipping, boundary planes, textures, surfaces.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "look.h"
#include "obj.h"
#include "viewer_test_util.h"

namespace {

int start(std::vector<std::string> words, std::string *err = nullptr)
{
    return vt::startQuietly(std::move(words), err);
}

unsigned char ramp(int x, int y, int z)
{
    return static_cast<unsigned char>((x * 7 + y * 13 + z * 29) % 256);
}

float windowOf(int i)
{
    float w[6];
    vqqwin(&w[0], &w[1], &w[2], &w[3], &w[4], &w[5]);
    return w[i];
}

TEST(SceneConstruction, WindowViewportAndSliceSetsOfOneVolume)
{
    std::string path = vt::writeVolume("plain.xrw", 16, 8, 4, 1.0f, 2.0f, 0.5f, ramp);
    std::string err;
    ASSERT_EQ(start({"-f", path}, &err), 0) << err;
    // Centred on the origin at its physical size 16 x 16 x 2.
    const float expect[6] = {-8, 8, -8, 8, -1, 1};
    for (int i = 0; i < 6; i++)
        EXPECT_EQ(windowOf(i), expect[i]) << i;
    EXPECT_NE(err.find("vqswin(-8.000000,8.000000,-8.000000,8.000000,-1.000000,1.000000)\n"),
              std::string::npos);
    const vq::Panel &p = vqtest::panel();
    EXPECT_DOUBLE_EQ(p.viewport.hi[1], 1.0);
    EXPECT_DOUBLE_EQ(p.viewport.lo[2], -0.125);
    EXPECT_DOUBLE_EQ(p.viewport.hi[2], 0.125);
    EXPECT_TRUE(p.box.enabled);
    EXPECT_EQ(p.box.opt[0], "BCDE");

    const vq::Scene &s = vqtest::scene();
    int ids[3] = {vidx[0], vidy[0], vidz[0]};
    const float tr[12] = {-8, 1, 0, 0, -8, 0, 2, 0, -1, 0, 0, 0.5f};
    for (int a = 0; a < 3; a++) {
        ASSERT_GE(ids[a], 0);
        ASSERT_LT(ids[a], static_cast<int>(s.volumes.size()));
        const vq::Volume &vol = s.volumes[ids[a]];
        EXPECT_EQ(vol.nx, 16);
        EXPECT_EQ(vol.nz, 4);
        EXPECT_EQ(vol.i2, 15);
        EXPECT_EQ(vol.k2, 3);
        EXPECT_EQ(vol.dmin, 0.0f);
        EXPECT_EQ(vol.dmax, 1.0f);
        EXPECT_EQ(vol.amin, 0.0f);
        EXPECT_EQ(vol.amax, 0.2f);
        for (int t = 0; t < 12; t++)
            EXPECT_EQ(vol.worldTr[t], tr[t]) << t;
    }
    EXPECT_NE(vidx[0], vidy[0]);
    EXPECT_EQ(tex3d[0], -1);
    EXPECT_NE(err.find("BLOW APART might not work due to multivolume support!\n"), std::string::npos);
    // Ambient 0.7 and two lights.
    EXPECT_FLOAT_EQ(s.lighting.ambient.r, 0.7f);
    EXPECT_EQ(s.lighting.lights.size(), 2u);
}

TEST(SceneConstruction, WindowTitleNamesTheProgramAndItsFirstFile)
{
    std::string first = vt::writeVolume("title1.xrw", 4, 4, 4, 1, 1, 1, ramp);
    std::string second = vt::writeVolume("title2.xrw", 4, 4, 4, 1, 1, 1, ramp);
    std::string err;
    ASSERT_EQ(start({"-f", first, "-blend", "mip", "-f", second}, &err), 0) << err;
    EXPECT_EQ(vqtest::scene().title, "xrwview: " + first);
    // The projection binds to the volume it follows.
    EXPECT_EQ(vqtest::scene().volumes[vidx[0]].blend, vq::kBlendMaximum);
    EXPECT_EQ(vqtest::scene().volumes[vidz[0]].blend, vq::kBlendMaximum);
    EXPECT_EQ(vqtest::scene().volumes[vidx[1]].blend, vq::kBlendComposite);
    // An empty title leaves it.
    svqstt("");
    EXPECT_EQ(vqtest::scene().title, "xrwview: " + first);
}

TEST(SceneConstruction, LookDragMovesWindowAndLevelOfTheSliceSets)
{
    std::string path = vt::writeVolume("lookdrag.xrw", 4, 4, 4, 1, 1, 1, ramp);
    std::string err;
    ASSERT_EQ(start({"-f", path, "-d", "0.2", "0.6", "-v", "1", "2", "1"}, &err), 0) << err;
    int phase = 0;
    float dx = 0, dy = 0;
    lookDrag(&phase, &dx, &dy);
    phase = 1;
    // A fifth of the panel to the right widens by 0.2; a tenth up raises
    // the centre by 0.1.
    dx = 0.2f, dy = 0.1f;
    lookDrag(&phase, &dx, &dy);
    const vq::Scene &s = vqtest::scene();
    for (int id : {vidx[0], vidy[0], vidz[0]}) {
        EXPECT_NEAR(s.volumes[id].dmin, 0.2f, 1e-6);
        EXPECT_NEAR(s.volumes[id].dmax, 0.8f, 1e-6);
    }
    // The opacity keeps its per-axis factor.
    EXPECT_FLOAT_EQ(s.volumes[vidy[0]].amax, 2 * s.volumes[vidx[0]].amax);
    // Far to the left the range keeps a width.
    dx = -5, dy = 0;
    lookDrag(&phase, &dx, &dy);
    EXPECT_GT(s.volumes[vidx[0]].dmax, s.volumes[vidx[0]].dmin);
    phase = 2;
    lookDrag(&phase, &dx, &dy);
    // An imported file's byte window maps back to its values.
    setLookUnits(0, -1000, 3000);
    EXPECT_DOUBLE_EQ(lookFileValue(0, 0.25), 0);
    EXPECT_DOUBLE_EQ(lookFileValue(0, 1), 3000);
}

TEST(SceneConstruction, OpacityFactorsPerAxisAndNoBox)
{
    std::string path = vt::writeVolume("factors.xrw", 4, 4, 4, 1, 1, 1, ramp);
    ASSERT_EQ(start({"-f", path, "-v", "1", "2", "0.5", "-a", "0.1", "0.4", "-d", "0.2", "0.9", "-x"}), 0);
    const vq::Scene &s = vqtest::scene();
    EXPECT_FLOAT_EQ(s.volumes[vidy[0]].amin, 0.2f);
    EXPECT_FLOAT_EQ(s.volumes[vidy[0]].amax, 0.8f);
    EXPECT_FLOAT_EQ(s.volumes[vidz[0]].amax, 0.2f);
    EXPECT_FLOAT_EQ(s.volumes[vidx[0]].dmin, 0.2f);
    EXPECT_FALSE(vqtest::panel().box.enabled);
}

TEST(SceneConstruction, ColourBlocksAreTheFileTablesBrightened)
{
    std::string a = vt::writeVolume("cmapa.xrw", 4, 4, 4, 1, 1, 1, ramp);
    std::string b = vt::writeVolume("cmapb.xrw", 2, 2, 2, 1, 1, 1, ramp);
    ASSERT_EQ(start({"-f", a, "-f", b}), 0);
    const vq::Scene &s = vqtest::scene();
    for (int v = 0; v < 2; v++)
        for (int k : {0, 1, 100, 254, 255}) {
            const vq::Rgb &c = s.colours[1000 + 256 * v + k];
            EXPECT_FLOAT_EQ(c.r, std::pow(static_cast<float>(k / 255.0), 0.2f)) << v << " " << k;
            EXPECT_FLOAT_EQ(c.g, std::pow(static_cast<float>((255 - k) / 255.0), 0.2f));
            EXPECT_FLOAT_EQ(c.b, std::pow(static_cast<float>((k / 2) / 255.0), 0.2f));
        }
    // The second volume keeps the first one's window.
    EXPECT_EQ(windowOf(1), 2.0f);
    EXPECT_EQ(s.volumes[vidx[1]].worldTr[0], -1.0f);
}

TEST(SceneConstruction, StrideKeepsThePhysicalSize)
{
    std::string path = vt::writeVolume("stride.xrw", 16, 16, 16, 1, 1, 1, ramp);
    ASSERT_EQ(start({"-f", path, "-s", "2", "2", "4"}), 0);
    EXPECT_EQ(settings.xvols[0]->nx, 8);
    EXPECT_EQ(settings.xvols[0]->nz, 4);
    EXPECT_EQ(windowOf(0), -8.0f);
    EXPECT_EQ(windowOf(5), 8.0f);
    EXPECT_EQ(vqtest::scene().volumes[vidx[0]].worldTr[11], 4.0f);
}

// Finite entries whose products overflow single precision would put the
// box at infinity: refused with one line, as an unreadable matrix is.
TEST(SceneConstruction, MatrixBeyondSinglePrecisionIsRefused)
{
    std::string path = vt::writeVolume("huge.xrw", 8, 8, 8, 1, 1, 1, ramp);
    std::string m = vt::writeText("huge.txt", "1 0 0 0\n0 3e38 0 0\n0 0 1 0\n0 0 0 1\n");
    std::string err;
    EXPECT_EQ(start({"-f", path, "-M", m}, &err), -1);
    EXPECT_NE(err.find("The matrix of volume 0 puts its voxels beyond single-precision range.\n"),
              std::string::npos)
        << err;
}

TEST(SceneConstruction, MatrixFileScaledByStride)
{
    std::string path = vt::writeVolume("matrix.xrw", 8, 8, 8, 1, 1, 1, ramp);
    std::string m = vt::writeText("matrix.txt", "0.5 0.1 0 10\n0 -2 0 20\n0 0 3 -5\n0 0 0 1\n");
    std::string err;
    ASSERT_EQ(start({"-f", path, "-s", "2", "1", "2", "-M", m, "-3d"}, &err), 0) << err;
    // nx = 4, ny = 8, nz = 4 after averaging. Grid voxel (i, J, K) is the
    // mean of the file's box with low corner (2i, 7 - J, 2 (3 - K)): it lands
    // on the matrix image of that box's centre, which the file's matrix
    // (as read, before scaling) gives.
    const double file[3][4] = {{0.5, 0.1, 0, 10}, {0, -2, 0, 20}, {0, 0, 3, -5}};
    for (int i : {0, 3})
        for (int J : {0, 7})
            for (int K : {0, 3}) {
                double centre[3] = {2 * i + 0.5, 7.0 - J, 2 * (3 - K) + 0.5};
                for (int r = 0; r < 3; r++) {
                    double want = file[r][3];
                    for (int c = 0; c < 3; c++)
                        want += file[r][c] * centre[c];
                    const float *t = _tr[0] + 4 * r;
                    EXPECT_NEAR(t[0] + t[1] * i + t[2] * J + t[3] * K, want, 1e-5) << i << J << K << r;
                }
            }
    EXPECT_NE(err.find("1.000000 0.100000 0.000000 10.000000 \n0.000000 -2.000000 0.000000 20.000000 \n"
                       "0.000000 0.000000 6.000000 -5.000000 \n0.000000 0.000000 0.000000 1.000000 \n"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("blc = 10.000000,20.000000,-5.000000; trc = 13.000000,6.000000,13.000000\n"),
              std::string::npos);
    const float w[6] = {10, 13, 6, 20, -5, 13};
    for (int i = 0; i < 6; i++)
        EXPECT_EQ(windowOf(i), w[i]) << i;
}

TEST(SceneConstruction, MatrixGivesTheViewportItsProportions)
{
    // The same voxels twice: voxel size dz = 0.5 without a matrix, and
    // dz = 1 in the file with a matrix halving z. Both boxes are about
    // 8 x 8 x 8 in the world, so both viewports must be about cubes; the
    // file's dz alone would make the matrix one twice as deep, and the
    // volume drawn in it clearly smaller.
    std::string half = vt::writeVolume("halfz.xrw", 8, 8, 16, 1, 1, 0.5f, ramp);
    std::string unit = vt::writeVolume("unitz.xrw", 8, 8, 16, 1, 1, 1, ramp);
    std::string m = vt::writeText("halfz.txt", "1 0 0 0\n0 1 0 0\n0 0 0.5 0\n0 0 0 1\n");
    ASSERT_EQ(start({"-f", half}), 0);
    const vq::Box plain = vqtest::panel().viewport;
    EXPECT_DOUBLE_EQ(plain.hi[2], 1.0);
    ASSERT_EQ(start({"-f", unit, "-M", m}), 0);
    const vq::Box &mat = vqtest::panel().viewport;
    // World window 0..7 x 0..7 x 0..7.5.
    EXPECT_DOUBLE_EQ(mat.hi[0], 1.0);
    EXPECT_DOUBLE_EQ(mat.hi[1], 1.0);
    EXPECT_NEAR(mat.hi[2], 7.5 / 7, 1e-6);
    EXPECT_NEAR(mat.lo[2], -7.5 / 7, 1e-6);
}

TEST(SceneConstruction, PermutedMatrixSpansItsBox)
{
    // x runs along k and z along i: the diagonal terms along x and z are
    // zero, so those two axes take the transformed box; y keeps the
    // diagonal rule, and so does the printed corner line.
    std::string path = vt::writeVolume("permuted.xrw", 8, 4, 16, 1, 1, 1, ramp);
    std::string m = vt::writeText("permuted.txt", "0 0 2 1\n0 1 0 0\n-1 0 0 3\n0 0 0 1\n");
    std::string err;
    ASSERT_EQ(start({"-f", path, "-M", m}, &err), 0) << err;
    EXPECT_NE(err.find("blc = 1.000000,0.000000,3.000000; trc = 1.000000,3.000000,3.000000\n"),
              std::string::npos)
        << err;
    const float w[6] = {1, 31, 0, 3, -4, 3};
    for (int i = 0; i < 6; i++)
        EXPECT_EQ(windowOf(i), w[i]) << i;
    // The viewport has the world box's proportions: 30 x 3 x 7.
    const vq::Box &vp = vqtest::panel().viewport;
    EXPECT_DOUBLE_EQ(vp.hi[0], 1.0);
    EXPECT_NEAR(vp.hi[1], 3.0 / 30, 1e-6);
    EXPECT_NEAR(vp.hi[2], 7.0 / 30, 1e-6);
}

TEST(SceneConstruction, BadMatrixFilesAreRefused)
{
    std::string path = vt::writeVolume("badm.xrw", 4, 4, 4, 1, 1, 1, ramp);
    std::string shortM = vt::writeText("short.txt", "1 0 0 0\n0 1 0 0\n0 0 1\n");
    std::string nanM = vt::writeText("nan.txt", "1 0 0 0\n0 nan 0 0\n0 0 1 0\n0 0 0 1\n");
    std::string err;
    EXPECT_EQ(start({"-f", path, "-M", shortM}, &err), -1);
    EXPECT_NE(err.find(shortM), std::string::npos);
    EXPECT_EQ(start({"-f", path, "-M", nanM}, &err), -1);
    EXPECT_NE(err.find(nanM), std::string::npos);
    EXPECT_EQ(start({"-f", path, "-M", vt::tmpPath("nomatrix.txt")}, &err), -1);
    EXPECT_NE(err.find("nomatrix.txt"), std::string::npos);
}

TEST(SceneConstruction, FailuresOfTheVolumeSteps)
{
    std::string err;
    std::string missing = vt::tmpPath("missing.xrw");
    EXPECT_EQ(start({"-f", missing}, &err), -1);
    EXPECT_NE(err.find("Failed to open or read '" + missing + "'.\n"), std::string::npos);
}

// A float volume of given values for the in-place passes.
struct Grid {
    std::vector<float> cells;
    std::vector<float *> rows;
    std::vector<float **> planes;
    Xvol x{};
    Grid(int nx, int ny, int nz, float value) : cells(nx * ny * nz, value), rows(nx * ny), planes(nx)
    {
        for (int i = 0; i < nx; i++) {
            for (int j = 0; j < ny; j++)
                rows[i * ny + j] = &cells[(i * ny + j) * nz];
            planes[i] = &rows[i * ny];
        }
        x.nx = nx;
        x.ny = ny;
        x.nz = nz;
        x.dx = x.dy = x.dz = 1;
        x.data = planes.data();
    }
    int zeros() const { return static_cast<int>(std::count(cells.begin(), cells.end(), 0.0f)); }
};

TEST(VolumePasses, ClippingKeepsTheBounds)
{
    Grid g(1, 1, 5, 0);
    float values[5] = {0.2f, 0.8f, 0.19f, 0.81f, 0.5f};
    std::copy(values, values + 5, g.cells.begin());
    clipVolume(&g.x, 0.2f, 0.8f);
    EXPECT_EQ(g.cells[0], 0.2f);
    EXPECT_EQ(g.cells[1], 0.8f);
    EXPECT_EQ(g.cells[2], 0.0f);
    EXPECT_EQ(g.cells[3], 0.0f);
    EXPECT_EQ(g.cells[4], 0.5f);
}

TEST(VolumePasses, BoundaryPlanes)
{
    Grid none(5, 6, 7, 1);
    zeroBoundaryPlanes(&none.x, 0);
    EXPECT_EQ(none.zeros(), 0);
    Grid one(5, 6, 7, 1);
    zeroBoundaryPlanes(&one.x, 1);
    EXPECT_EQ(one.zeros(), 5 * 6 * 7 - 3 * 4 * 5);
    EXPECT_EQ(one.x.data[1][1][1], 1.0f);
    EXPECT_EQ(one.x.data[3][4][5], 1.0f);
    EXPECT_EQ(one.x.data[4][2][3], 0.0f);
    Grid two(5, 6, 7, 1);
    zeroBoundaryPlanes(&two.x, 2);
    EXPECT_EQ(two.zeros(), 5 * 6 * 7 - 1 * 2 * 3);
    // Half the smallest dimension, rounded up, clears everything.
    Grid all(5, 6, 7, 1);
    zeroBoundaryPlanes(&all.x, 3);
    EXPECT_EQ(all.zeros(), 5 * 6 * 7);
}

TEST(VolumePasses, ClippingRunsBeforeBoundaryPlanesInStartUp)
{
    // Bytes 51 and 204 are exactly 0.2 and 0.8; 50 and 205 fall outside.
    std::string path = vt::writeVolume("clip.xrw", 4, 4, 4, 1, 1, 1, [](int x, int, int) {
        const unsigned char v[4] = {50, 51, 204, 205};
        return v[x];
    });
    ASSERT_EQ(start({"-f", path, "-DX", "-d", "0.2", "0.8"}), 0);
    float ***d = settings.xvols[0]->data;
    EXPECT_EQ(d[0][1][1], 0.0f);
    EXPECT_EQ(d[1][1][1], 0.2f);
    EXPECT_EQ(d[2][1][1], 0.8f);
    EXPECT_EQ(d[3][1][1], 0.0f);
    ASSERT_EQ(start({"-f", path, "-BX", "1"}), 0);
    d = settings.xvols[0]->data;
    EXPECT_EQ(d[1][0][1], 0.0f);
    EXPECT_EQ(d[1][1][2], 0.2f);
}

// The straightforward texture fill: one colour query per voxel of value
// value(i, j, k).
template <class Value> std::vector<unsigned char> referenceTexture(int v, int nx, int ny, int nz, Value value)
{
    int lo = 1000 + 256 * v;
    std::vector<unsigned char> out(static_cast<size_t>(nx) * ny * nz * 4, 0);
    auto byte = [](double c) {
        return static_cast<unsigned char>(c <= 0 || c != c ? 0 : c >= 255 ? 255 : static_cast<int>(c));
    };
    for (int i = 0; i < nx; i++)
        for (int j = 0; j < ny; j++)
            for (int k = 0; k < nz; k++) {
                float val = value(i, j, k);
                float f;
                int ci;
                if (dmax[v] == dmin[v]) {
                    f = val < dmin[v] ? 0.0f : 1.0f;
                } else {
                    f = (val - dmin[v]) * static_cast<float>(1.0 / (dmax[v] - dmin[v]));
                }
                if (f < 0) {
                    f = 0;
                    ci = lo;
                } else if (f > 1) {
                    f = 1;
                    ci = lo + 255;
                } else {
                    ci = std::min(lo + static_cast<int>(255.0 * f), lo + 255);
                }
                float r, g, b;
                vqqcr(ci, &r, &g, &b);
                unsigned char *t =
                    &out[4 * (i + static_cast<size_t>(nx) * j + static_cast<size_t>(nx) * ny * k)];
                t[0] = byte(255.0 * r);
                t[1] = byte(255.0 * g);
                t[2] = byte(255.0 * b);
                t[3] = val < dmin[v] ? 0
                                     : byte(255.0 * (amin[v] + (static_cast<double>(amax[v]) - amin[v]) * f));
            }
    return out;
}

std::vector<unsigned char> referenceTexture(int v, const Xvol *x)
{
    return referenceTexture(v, x->nx, x->ny, x->nz, [x](int i, int j, int k) { return x->data[i][j][k]; });
}

std::vector<unsigned char> textureOf(int v)
{
    int w, h, d;
    unsigned char *t = svqg3dt(tex3d[v], &w, &h, &d);
    return std::vector<unsigned char>(t, t + static_cast<size_t>(w) * h * d * 4);
}

TEST(Texture, FillMatchesOneQueryPerVoxel)
{
    std::mt19937 rng(7);
    std::string path = vt::writeVolume("texrand.xrw", 9, 7, 5, 1, 1, 1, [&](int, int, int) {
        return static_cast<unsigned char>(rng() % 256);
    });
    // Sizes that end in part tiles, and runs of one value between changes.
    std::string runs = vt::writeVolume("texruns.xrw", 37, 3, 70, 1, 1, 1, [&](int x, int, int z) {
        return static_cast<unsigned char>(z % 11 < 6 ? 0 : x % 5 == 0 ? 255 : rng() % 256);
    });
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"-d", "0.25", "0.75", "-a", "0.1", "0.9"},
        {"-d", "0.5", "0.5"},
        {"-d", "0.9", "0.1", "-a", "0.3", "0.2"},
        {"-a", "-1", "3"},
        {"-s", "2", "1", "3", "-d", "0.1", "0.6"},
        // Floats changed after the conversion: texels from the floats.
        {"-DX", "-d", "0.2", "0.7"},
        {"-BX", "2"},
    };
    for (const auto &extra : cases) {
        std::vector<std::string> words = {"-f", path, "-f", runs, "-s", "1", "1", "1", "-3d"};
        words.insert(words.end(), extra.begin(), extra.end());
        std::string err;
        ASSERT_EQ(start(words, &err), 0) << err;
        // Texels made from the bytes one for one leave the float voxels
        // unfilled: the reference converts the bytes itself. Averaged
        // volumes, and floats -DX or -BX changed, keep their floats (their
        // bytes hold palette codes by now).
        bool changed = !extra.empty() && (extra[0] == "-DX" || extra[0] == "-BX");
        for (int v = 0; v < 2; v++) {
            const int *st = settings.volume[v].stride;
            bool fromBytes = !changed && st[0] == 1 && st[1] == 1 && st[2] == 1;
            Xvol *own = fromBytes ? Xraw2Xvol(settings.xraws[v], st) : nullptr;
            EXPECT_EQ(textureOf(v), referenceTexture(v, own ? own : settings.xvols[v]))
                << v << " " << testing::PrintToString(extra);
            freeXvol(own);
        }
    }
}

// Large enough for the fill to split the volume between two threads
// (which give the float voxels back afterwards: the reference reads the
// file's bytes, as the viewer turns them around in j and k).
TEST(Texture, FillOnTwoCoresMatchesOneQueryPerVoxel)
{
    const int nx = 161, ny = 160, nz = 164;
    auto byteAt = [](int x, int y, int z) {
        return static_cast<unsigned char>(z % 13 < 4 ? 0 : (x * 7 + y * 3 + z * 5) % 256);
    };
    std::string path = vt::writeVolume("texlarge.xrw", nx, ny, nz, 1, 1, 1, byteAt);
    std::string err;
    ASSERT_EQ(start({"-f", path, "-3d", "-d", "0.2", "0.8", "-a", "0.1", "0.7"}, &err), 0) << err;
    std::vector<unsigned char> want = referenceTexture(0, nx, ny, nz, [&](int i, int j, int k) {
        return static_cast<float>(byteAt(i, ny - 1 - j, nz - 1 - k) / 255.0);
    });
    EXPECT_TRUE(textureOf(0) == want);
}

// Float pages are given back only when every row lies in one block: rows
// placed apart, with the last one where a block's last row would be, must
// leave whatever lies between them alone.
TEST(Texture, FloatPagesAreGivenBackOnlyForOneBlock)
{
    const int nx = 2, ny = 2, nz = 4096; // 16 KB rows: whole pages between the first and the last
    std::vector<float> block(static_cast<size_t>(nx) * ny * nz + 1024, 7.0f), apart(2 * nz, 5.0f);
    float *rows[nx][ny];
    float **planes[nx] = {rows[0], rows[1]};
    Xvol x{};
    x.nx = nx;
    x.ny = ny;
    x.nz = nz;
    x.data = planes;
    rows[0][0] = block.data();
    rows[0][1] = apart.data();
    rows[1][0] = apart.data() + nz;
    rows[1][1] = block.data() + 3 * static_cast<size_t>(nz);
    dropFloatVoxels(&x);
    for (size_t q = 0; q < block.size(); q++)
        ASSERT_EQ(block[q], 7.0f) << q;
    // The same rows end to end in the block: its whole pages read as zero.
    for (int i = 0; i < nx; i++)
        for (int j = 0; j < ny; j++)
            rows[i][j] = block.data() + (static_cast<size_t>(i) * ny + j) * nz;
    dropFloatVoxels(&x);
    EXPECT_EQ(block[2 * nz], 0.0f);
    EXPECT_EQ(block[4 * nz + 1023], 7.0f); // past the rows
}

TEST(Texture, BytesOpacitiesAndMessages)
{
    // Voxel (x, y, z): 255 at x = 0, 0 at x = 1, 128 elsewhere.
    std::string path = vt::writeVolume("texbytes.xrw", 3, 2, 2, 1, 1, 1, [](int x, int, int) {
        return static_cast<unsigned char>(x == 0 ? 255 : x == 1 ? 0 : 128);
    });
    std::string err;
    ASSERT_EQ(start({"-f", path, "-3d", "-d", "0", "1", "-a", "0", "0.5"}, &err), 0);
    EXPECT_NE(tex3d[0], -1);
    EXPECT_EQ(_nx[0], 3);
    EXPECT_EQ(_ny[0], 2);
    EXPECT_EQ(_tr[0][0], -1.5f);
    EXPECT_EQ(vidx[0], 0);
    std::vector<unsigned char> t = textureOf(0);
    const vq::Scene &s = vqtest::scene();
    // Value 1.0: opacity 127 and the colour of lo + 255; texel (0, j, k) at 4 * (0 + 3j + 6k).
    for (int off : {0, 4 * 3, 4 * 6, 4 * 9}) {
        EXPECT_EQ(t[off + 3], 127);
        EXPECT_EQ(t[off + 0], static_cast<int>(255.0 * s.colours[1255].r));
        EXPECT_EQ(t[off + 1], static_cast<int>(255.0 * s.colours[1255].g));
    }
    // Value 0: opacity 0, the colour of lo.
    EXPECT_EQ(t[4 + 3], 0);
    EXPECT_EQ(t[4 + 1], static_cast<int>(255.0 * s.colours[1000].g));
    EXPECT_NE(err.find("3d texture IS 3 x 2 x 2\n"), std::string::npos);
    EXPECT_NE(err.find("minaf = 0.000000, maxaf = 127.000000\n"), std::string::npos);
    EXPECT_EQ(s.textures[tex3d[0]].version > 0, true);

    // Below dmin: transparent with the colour of lo.
    ASSERT_EQ(start({"-f", path, "-3d", "-d", "0.5", "1", "-a", "0", "1"}), 0);
    t = textureOf(0);
    EXPECT_EQ(t[4 + 3], 0);
    EXPECT_EQ(t[4 + 1], static_cast<int>(255.0 * vqtest::scene().colours[1000].g));
    EXPECT_EQ(t[3], 255);
}

TEST(Texture, FlatRangeAndClampedOpacity)
{
    std::string path = vt::writeVolume("texflat.xrw", 3, 1, 1, 1, 1, 1, [](int x, int, int) {
        return static_cast<unsigned char>(x == 0 ? 0 : x == 1 ? 51 : 255);
    });
    // Exactly at the bound takes the top of the ramp.
    ASSERT_EQ(start({"-f", path, "-3d", "-d", "0.2", "0.2", "-a", "0", "0.5"}), 0);
    std::vector<unsigned char> t = textureOf(0);
    EXPECT_EQ(t[3], 0);
    EXPECT_EQ(t[4 + 3], 127);
    EXPECT_EQ(t[4 + 0], static_cast<int>(255.0 * vqtest::scene().colours[1255].r));
    EXPECT_EQ(t[8 + 3], 127);
    // Opacities beyond 0..1 stay in the byte range.
    ASSERT_EQ(start({"-f", path, "-3d", "-a", "-0.5", "4"}), 0);
    t = textureOf(0);
    EXPECT_EQ(t[3], 0);
    EXPECT_EQ(t[8 + 3], 255);
}

TEST(Surfaces, NormalsAndBlowApart)
{
    std::string vol = vt::writeVolume("surfvol.xrw", 4, 4, 4, 1, 1, 1, ramp);
    // Vertices (x, y, z) = (c, a, b) from "v a b c": mean (1, 1, 1) after the swap.
    std::string obj = vt::writeText("tri.obj", "v 0 0 0\nv 3 0 0\nv 0 3 3\nf 1 2 3\n");
    std::string err;
    ASSERT_EQ(start({"-f", vol, "-o", obj, "tri", "1", "0", "0", "1", "-Rx", "2", "-Vx"}, &err), 0) << err;
    ASSERT_EQ(nobjs, 1);
    ASSERT_NE(objs[0]->normals, nullptr);
    EXPECT_NE(err.find("calculating vertex normals...\n"), std::string::npos);
    EXPECT_EQ(err.find("huh?"), std::string::npos);
    // Window centre (0, 0, 0): the mean moves from m to 2m, every vertex by m.
    EXPECT_DOUBLE_EQ(objs[0]->verts[0].x, 1.0);
    EXPECT_DOUBLE_EQ(objs[0]->verts[1].y, 4.0);
    EXPECT_DOUBLE_EQ(objs[0]->verts[2].x, 4.0);
    EXPECT_DOUBLE_EQ(objs[0]->mean.x, 1.0);

    ASSERT_EQ(start({"-f", vol, "-o", obj, "tri", "1", "0", "0", "1", "-Rx", "0"}), 0);
    EXPECT_DOUBLE_EQ(objs[0]->verts[0].x, -1.0);
    EXPECT_EQ(objs[0]->normals, nullptr);
    ASSERT_EQ(start({"-f", vol, "-o", obj, "tri", "1", "0", "0", "1"}), 0);
    EXPECT_DOUBLE_EQ(objs[0]->verts[1].y, 3.0);
}

} // namespace
