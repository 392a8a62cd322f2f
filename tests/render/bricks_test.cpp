// Brick layouts, compact grid texels and the clipping of polygons into
// bricks, without GL.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "bricks.h"

namespace {

// A grid of nx x ny x nz voxels whose value comes from f(i, j, k).
struct Grid {
    int nx, ny, nz;
    std::vector<float> data;
    std::vector<float *> rows;
    std::vector<float **> planes;
    template <class F> Grid(int x, int y, int z, F f) : nx(x), ny(y), nz(z), data(size_t(x) * y * z)
    {
        for (int i = 0; i < nx; ++i)
            for (int j = 0; j < ny; ++j) {
                rows.push_back(&data[(size_t(i) * ny + j) * nz]);
                for (int k = 0; k < nz; ++k)
                    rows.back()[k] = f(i, j, k);
            }
        for (int i = 0; i < nx; ++i)
            planes.push_back(&rows[size_t(i) * ny]);
    }
    const float *const *const *grid() const { return planes.data(); }
};

TEST(Bricks, AxesCoverEveryPlaneAndShareOneBetweenNeighbours)
{
    for (int n : {1, 2, 3, 7, 255, 256, 257, 511, 512, 513, 1024, 4096})
        for (int most : {2, 3, 4, 16, 256, 512}) {
            vq::BrickAxis a = vq::brickAxis(n, most);
            ASSERT_GE(a.count, 1);
            EXPECT_EQ(a.start(0), 0) << n << " " << most;
            for (int b = 0; b < a.count; ++b) {
                EXPECT_LE(a.size(b), std::max(most, 1)) << n << " " << most;
                EXPECT_GE(a.size(b), n > 1 ? 2 : 1) << "brick " << b << " of " << n << " by " << most;
                if (b + 1 < a.count) {
                    EXPECT_EQ(a.start(b) + a.size(b) - 1, a.start(b + 1)) << "shared plane";
                }
            }
            EXPECT_EQ(a.start(a.count - 1) + a.size(a.count - 1), n) << n << " " << most;
            // Every plane is drawn by exactly one brick that holds it.
            for (int p = 0; p < n; ++p) {
                int b = a.brickOf(p);
                ASSERT_GE(b, 0);
                ASSERT_LT(b, a.count);
                EXPECT_GE(p, a.start(b));
                EXPECT_LT(p, a.start(b) + a.size(b));
            }
        }
    // With the renderer's 513: a 512-voxel axis is one brick, 1024 two.
    EXPECT_EQ(vq::brickAxis(512, 513).count, 1);
    EXPECT_EQ(vq::brickAxis(1024, 513).count, 2);
}

TEST(Bricks, ByteTexelsGiveEveryByteValueBackExactly)
{
    for (int b = 0; b < 256; ++b) {
        float v = static_cast<float>(b / 255.0); // what a volume made from bytes holds
        EXPECT_EQ(vq::byteTexel(v), b);
        EXPECT_EQ(vq::byteValue(vq::byteTexel(v)), v) << b;
        // GL's normalised reading of the byte: b / 255 as a float.
        EXPECT_EQ(static_cast<float>(vq::byteTexel(v)) / 255.0f, v) << b;
    }
    Grid bytes(5, 6, 7,
               [](int i, int j, int k) { return static_cast<float>(((i * 31 + j * 7 + k) % 256) / 255.0); });
    EXPECT_EQ(vq::chooseGridCode(bytes.grid(), 5, 6, 7).kind, vq::TexelKind::Byte);
}

TEST(Bricks, OtherGridsTakeShortsOverTheirRangeOrFloats)
{
    // Averages of bytes are not bytes.
    Grid mean(4, 4, 4, [](int i, int j, int k) { return static_cast<float>((i + j + k) / 510.0); });
    vq::GridCode c = vq::chooseGridCode(mean.grid(), 4, 4, 4);
    EXPECT_EQ(c.kind, vq::TexelKind::Short);
    EXPECT_FLOAT_EQ(c.lo, 0.0f);
    EXPECT_FLOAT_EQ(c.hi, 9 / 510.0f);
    // A non-byte value late in the grid still sees the whole range.
    Grid late(3, 3, 3, [](int i, int j, int k) {
        return i == 2 && j == 2 && k == 2 ? -4.5f : (i == 0 ? 1.0f : 0.0f);
    });
    c = vq::chooseGridCode(late.grid(), 3, 3, 3);
    EXPECT_EQ(c.kind, vq::TexelKind::Short);
    EXPECT_EQ(c.lo, -4.5f);
    EXPECT_EQ(c.hi, 1.0f);
    // Bytes up to the very last voxel, in a range narrower than 0..1.
    Grid narrow(3, 4, 5,
                [](int i, int j, int k) { return i == 2 && j == 3 && k == 4 ? 0.45f : 102 / 255.0f; });
    c = vq::chooseGridCode(narrow.grid(), 3, 4, 5);
    EXPECT_EQ(c.kind, vq::TexelKind::Short);
    EXPECT_EQ(c.lo, 102 / 255.0f);
    EXPECT_EQ(c.hi, 0.45f);
    // Large enough for two cores: a non-byte value in either half counts.
    for (int odd : {10, 300}) {
        Grid big(320, 128, 128, [&](int i, int j, int k) {
            return i == odd && j == 5 && k == 7 ? 0.3f : static_cast<float>(((i + j + k) % 200 + 20) / 255.0);
        });
        c = vq::chooseGridCode(big.grid(), 320, 128, 128);
        EXPECT_EQ(c.kind, vq::TexelKind::Short) << odd;
        EXPECT_EQ(c.lo, static_cast<float>(20 / 255.0));
        EXPECT_EQ(c.hi, static_cast<float>(219 / 255.0));
    }
    Grid nan(2, 2, 2, [](int i, int, int) { return i ? NAN : 0.25f; });
    EXPECT_EQ(vq::chooseGridCode(nan.grid(), 2, 2, 2).kind, vq::TexelKind::Float);
    Grid inf(2, 2, 2, [](int, int j, int) { return j ? INFINITY : 0.5f; });
    EXPECT_EQ(vq::chooseGridCode(inf.grid(), 2, 2, 2).kind, vq::TexelKind::Float);
}

TEST(Bricks, ShortTexelsStayWithinHalfAStepOfTheRange)
{
    std::mt19937 rng(7);
    for (auto range : {std::pair<float, float>{0, 1}, {-1000, 3000}, {0.25f, 0.2500001f}, {-1e6f, 1e6f}}) {
        vq::GridCode c{vq::TexelKind::Short, range.first, range.second};
        std::uniform_real_distribution<float> pick(c.lo, c.hi);
        double span = static_cast<double>(c.hi) - c.lo;
        // Half a step of 65535 over the range, and float rounding of the ends.
        double bound = span / 131070.0 * 1.01 +
                       4 * std::nextafter(std::max(std::fabs(c.lo), std::fabs(c.hi)), INFINITY) * 1.2e-7;
        double worst = 0;
        for (int n = 0; n < 20000; ++n) {
            float v = n == 0 ? c.lo : n == 1 ? c.hi : pick(rng);
            double err = std::fabs(static_cast<double>(vq::shortValue(c, vq::shortTexel(c, v))) - v);
            worst = std::max(worst, err);
        }
        EXPECT_LE(worst, bound) << range.first << ".." << range.second;
    }
    // A flat range gives its one value back.
    vq::GridCode flat{vq::TexelKind::Short, 3.5f, 3.5f};
    EXPECT_EQ(vq::shortValue(flat, vq::shortTexel(flat, 3.5f)), 3.5f);
}

TEST(Bricks, FilledBricksHoldTheirVoxelsAndSayWhetherAnyShows)
{
    Grid g(6, 5, 9, [](int i, int j, int k) { return i >= 4 && j == 1 && k == 8 ? 0.8f : 0.1f; });
    vq::GridCode c{vq::TexelKind::Short, 0.1f, 0.8f};
    int o[3] = {3, 1, 5}, n[3] = {3, 2, 4};
    std::vector<uint16_t> out(3 * 2 * 4);
    EXPECT_TRUE(vq::fillGridBrick(g.grid(), c, o, n, 0.5f, out.data()));
    // k fastest, i slowest, from the brick's first voxel.
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[(1 * 2 + 0) * 4 + 3], 65535); // voxel (4, 1, 8)
    EXPECT_EQ(out[(0 * 2 + 0) * 4 + 3], 0);     // voxel (3, 1, 8)
    int o2[3] = {0, 0, 0}, n2[3] = {4, 5, 9};
    std::vector<uint16_t> out2(4 * 5 * 9);
    EXPECT_FALSE(vq::fillGridBrick(g.grid(), c, o2, n2, 0.5f, out2.data()));
}

// The filled texels are the per-value conversions, whatever the row length
// (vector blocks and the tail alike): rounding edges, values outside the
// range, infinities and NaN included, and "shows" and exactness follow
// from the values alone.
TEST(Bricks, FilledTexelsAreThePerValueConversions)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> pick(-0.2f, 1.2f);
    const float specials[] = {0.0f,   -0.0f,           1.0f, 0.5f / 255.0f, 1.5f / 255.0f,
                              -1e-9f, 254.5f / 255.0f, 2.0f, INFINITY,      -INFINITY,
                              NAN,    128 / 255.0f,    0.3f, 1e30f,         -1e30f};
    for (int nz : {1, 15, 16, 17, 37, 64}) {
        for (int seed = 0; seed < 3; ++seed) {
            Grid g(2, 3, nz, [&](int i, int j, int k) {
                int pickOne = (i * 3 + j) * nz + k + seed;
                if (seed == 0)
                    return static_cast<float>(pickOne % 256) / 255.0f; // every value a byte's
                if (pickOne % 5 == 0)
                    return specials[pickOne % (sizeof specials / sizeof *specials)];
                return pick(rng);
            });
            int o[3] = {0, 0, 0}, n[3] = {2, 3, nz};
            vq::GridCode byteCode{vq::TexelKind::Byte, 0, 1}, shortCode{vq::TexelKind::Short, -0.1f, 1.1f};
            std::vector<uint8_t> b(2 * 3 * nz);
            std::vector<uint16_t> h(2 * 3 * nz);
            bool exact = true;
            float visible = 0.6f;
            bool shows = vq::fillGridBrick(g.grid(), byteCode, o, n, visible, b.data(), &exact);
            EXPECT_EQ(vq::fillGridBrick(g.grid(), shortCode, o, n, visible, h.data()), shows);
            bool wantExact = true, wantShows = false;
            for (int i = 0; i < 2; ++i)
                for (int j = 0; j < 3; ++j)
                    for (int k = 0; k < nz; ++k) {
                        float v = g.grid()[i][j][k];
                        size_t at = (size_t(i) * 3 + j) * nz + k;
                        ASSERT_EQ(b[at], vq::byteTexel(v)) << v;
                        ASSERT_EQ(h[at], vq::shortTexel(shortCode, v)) << v;
                        wantExact = wantExact && vq::byteValue(vq::byteTexel(v)) == v;
                        wantShows = wantShows || v >= visible;
                    }
            EXPECT_EQ(exact, wantExact) << nz << " " << seed;
            EXPECT_EQ(shows, wantShows) << nz << " " << seed;
            if (seed == 0) {
                EXPECT_TRUE(exact);
            }
        }
    }
}

// Runs of planes large enough to be split between two threads give the
// texels, the "shows" answer and the exactness one fill gives, whichever
// half holds the visible voxel or the value that is not a byte's.
TEST(Bricks, ChunksFilledOnTwoCoresMatchOneFill)
{
    const int nx = 9, ny = 300, nz = 400; // 1.08 M voxels
    for (int odd : {1, 7}) {
        Grid g(nx, ny, nz, [&](int i, int j, int k) {
            if (i == odd && j == 5 && k == 6)
                return 0.3f; // not a byte's value, and the only one shown
            return static_cast<float>((i * 7 + j * 3 + k) % 64) / 255.0f;
        });
        int o[3] = {0, 0, 0}, n[3] = {nx, ny, nz};
        for (vq::GridCode c :
             {vq::GridCode{vq::TexelKind::Byte, 0, 1}, vq::GridCode{vq::TexelKind::Short, 0, 0.3f}}) {
            size_t bytes = static_cast<size_t>(nx) * ny * nz * c.bytes();
            std::vector<uint8_t> one(bytes), two(bytes, 0xAB);
            bool exactOne = true, exactTwo = true;
            bool showsOne = vq::fillGridBrick(g.grid(), c, o, n, 0.29f, one.data(), &exactOne);
            bool showsTwo = vq::fillGridChunk(g.grid(), c, o, n, 0.29f, two.data(), &exactTwo);
            EXPECT_TRUE(showsOne);
            EXPECT_EQ(showsTwo, showsOne) << odd;
            EXPECT_EQ(exactTwo, exactOne) << odd;
            if (c.kind == vq::TexelKind::Byte) {
                EXPECT_FALSE(exactTwo) << odd;
            }
            EXPECT_TRUE(one == two) << odd;
        }
        // Nothing at or above the threshold in either half.
        std::vector<uint8_t> out(static_cast<size_t>(nx) * ny * nz);
        EXPECT_FALSE(
            vq::fillGridChunk(g.grid(), vq::GridCode{vq::TexelKind::Byte, 0, 1}, o, n, 0.5f, out.data()));
    }
}

// Cells with anything to show, as one pass over every texel marks them:
// each texel with opacity marks its cell and, on a cell's first plane along
// an axis, the cell before it on that axis too.
std::vector<uint8_t> referenceOccupancy(const std::vector<uint8_t> &rgba, int nx, int ny, int nz, int cell)
{
    int cx = (nx + cell - 1) / cell, cy = (ny + cell - 1) / cell, cz = (nz + cell - 1) / cell;
    std::vector<uint8_t> occ(size_t(cx) * cy * cz, 0);
    for (int z = 0; z < nz; ++z)
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x) {
                if (rgba[4 * ((size_t(z) * ny + y) * nx + x) + 3] == 0)
                    continue;
                for (int i : {x / cell, x % cell == 0 ? x / cell - 1 : -1})
                    for (int j : {y / cell, y % cell == 0 ? y / cell - 1 : -1})
                        for (int k : {z / cell, z % cell == 0 ? z / cell - 1 : -1})
                            if (i >= 0 && j >= 0 && k >= 0)
                                occ[(size_t(k) * cy + j) * cx + i] = 255;
            }
    return occ;
}

TEST(Bricks, OccupiedCellsMatchATexelByTexelScan)
{
    std::mt19937 rng(3);
    // Small and odd sizes, and one large enough to be scanned on two cores.
    const int sizes[][3] = {{1, 1, 1}, {8, 8, 8}, {9, 17, 25}, {33, 7, 16}, {130, 70, 130}};
    for (const auto &n : sizes) {
        for (int sparse : {2, 50, 5000}) {
            std::vector<uint8_t> rgba(4 * size_t(n[0]) * n[1] * n[2], 0);
            for (size_t t = 0; t < rgba.size() / 4; ++t) {
                rgba[4 * t] = 200; // colour without opacity shows nothing
                if (rng() % sparse == 0)
                    rgba[4 * t + 3] = static_cast<uint8_t>(1 + rng() % 255);
            }
            int cells[3];
            std::vector<uint8_t> occ = vq::occupancyCells(rgba.data(), n[0], n[1], n[2], 8, cells);
            EXPECT_EQ(cells[0], (n[0] + 7) / 8);
            EXPECT_EQ(cells[2], (n[2] + 7) / 8);
            EXPECT_TRUE(occ == referenceOccupancy(rgba, n[0], n[1], n[2], 8)) << n[0] << " " << sparse;
        }
    }
}

// A box shrunk to its occupied cells against the bounds of every occupied
// cell overlapping it, found cell by cell; boxes cut cells and reach past
// the grid as the outermost brick shares do.
TEST(Bricks, BoxesShrinkToTheOccupiedCellsTheyOverlap)
{
    std::mt19937 rng(11);
    const int cells[3] = {5, 4, 6}, cell = 8;
    for (int round = 0; round < 400; ++round) {
        std::vector<uint8_t> occ(size_t(cells[0]) * cells[1] * cells[2], 0);
        int every = 1 + static_cast<int>(rng() % 40);
        for (uint8_t &c : occ)
            c = rng() % every == 0 ? 255 : 0;
        double lo[3], hi[3];
        for (int a = 0; a < 3; ++a) {
            double n = cells[a] * cell;
            lo[a] = rng() % 4 == 0 ? -1e-3 : static_cast<double>(rng() % int(n));
            hi[a] = rng() % 4 == 0 ? n - 1 + 1e-3 : lo[a] + 1 + static_cast<double>(rng() % 20);
            hi[a] = std::max(hi[a], lo[a] + 0.5);
        }
        double wantLo[3] = {1e9, 1e9, 1e9}, wantHi[3] = {-1e9, -1e9, -1e9};
        bool any = false;
        for (int z = 0; z < cells[2]; ++z)
            for (int y = 0; y < cells[1]; ++y)
                for (int x = 0; x < cells[0]; ++x) {
                    int c[3] = {x, y, z};
                    bool overlaps = true;
                    for (int a = 0; a < 3; ++a)
                        overlaps = overlaps && c[a] * cell < hi[a] && (c[a] + 1) * cell > lo[a];
                    if (!overlaps || !occ[(size_t(z) * cells[1] + y) * cells[0] + x])
                        continue;
                    any = true;
                    for (int a = 0; a < 3; ++a) {
                        wantLo[a] = std::min(wantLo[a], std::max(lo[a], double(c[a] * cell)));
                        wantHi[a] = std::max(wantHi[a], std::min(hi[a], double((c[a] + 1) * cell)));
                    }
                }
        double gotLo[3] = {lo[0], lo[1], lo[2]}, gotHi[3] = {hi[0], hi[1], hi[2]};
        ASSERT_EQ(vq::shrinkToOccupied(occ.data(), cells, cell, gotLo, gotHi), any) << round;
        for (int a = 0; a < 3; ++a) {
            EXPECT_EQ(gotLo[a], any ? wantLo[a] : lo[a]) << round << " axis " << a;
            EXPECT_EQ(gotHi[a], any ? wantHi[a] : hi[a]) << round << " axis " << a;
        }
    }
}

// The strip scan's row step against the value-by-value definition, on rows
// of every length up to past two vector blocks, with NaN, infinities and
// values on the threshold, from extents already part filled.
TEST(Bricks, ShownRowsMarkWhatTheValuesShow)
{
    std::mt19937 rng(5);
    const float picks[] = {0.5f, 0.4999999f, 0.5000001f, 0.0f, 1.0f, NAN, INFINITY, -INFINITY};
    for (int n = 0; n <= 13; ++n)
        for (int round = 0; round < 200; ++round) {
            std::vector<float> row(n);
            for (float &v : row)
                v = rng() % 3 == 0 ? picks[rng() % 8] : (rng() % 2 ? 0.1f : 0.9f);
            int j = static_cast<int>(rng() % 50);
            std::vector<int> lo(n), hi(n);
            for (int k = 0; k < n; ++k) {
                lo[k] = rng() % 2 ? 1 << 30 : static_cast<int>(rng() % 100);
                hi[k] = static_cast<int>(rng() % 100) - 1;
            }
            int first = rng() % 2 ? n : static_cast<int>(rng() % (n + 1)), last = rng() % 2 ? -1 : first;
            std::vector<int> wantLo = lo, wantHi = hi;
            int wantFirst = first, wantLast = last;
            for (int k = 0; k < n; ++k)
                if (row[k] >= 0.5f) {
                    wantFirst = std::min(wantFirst, k);
                    wantLast = std::max(wantLast, k);
                    wantLo[k] = std::min(wantLo[k], j);
                    wantHi[k] = j;
                }
            vq::markShownRow(row.data(), n, 0.5f, j, lo.data(), hi.data(), &first, &last);
            ASSERT_EQ(lo, wantLo) << n << " " << round;
            ASSERT_EQ(hi, wantHi) << n << " " << round;
            ASSERT_EQ(first, wantFirst) << n << " " << round;
            ASSERT_EQ(last, wantLast) << n << " " << round;
        }
}

// Area of a polygon in its (x0, x1) coordinates.
double area(const vq::ClipVertex *v, int n)
{
    double a = 0;
    for (int e = 0; e < n; ++e) {
        const vq::ClipVertex &p = v[e], &q = v[(e + 1) % n];
        a += p.x[0] * q.x[1] - q.x[0] * p.x[1];
    }
    return std::fabs(a) / 2;
}

TEST(Bricks, ClippedPiecesTileThePolygonAndCarryTheirPositions)
{
    // A tilted hexagon in index space; scene positions twice the indices plus one.
    vq::ClipVertex poly[6];
    for (int e = 0; e < 6; ++e) {
        double t = e * M_PI / 3;
        double x[3] = {5 + 4.5 * std::cos(t), 5 + 4.5 * std::sin(t), 3 + 0.1 * e};
        for (int a = 0; a < 3; ++a) {
            poly[e].x[a] = x[a];
            poly[e].p[a] = 2 * x[a] + 1;
        }
    }
    double whole = area(poly, 6), sum = 0;
    vq::ClipVertex piece[16];
    const double cuts[] = {-INFINITY, 3, 6, INFINITY};
    for (int bx = 0; bx < 3; ++bx)
        for (int by = 0; by < 3; ++by) {
            double lo[3] = {cuts[bx], cuts[by], -INFINITY}, hi[3] = {cuts[bx + 1], cuts[by + 1], INFINITY};
            int n = vq::clipToBox(poly, 6, lo, hi, piece);
            for (int e = 0; e < n; ++e)
                for (int a = 0; a < 3; ++a) {
                    if (a < 2) {
                        EXPECT_GE(piece[e].x[a], lo[a] - 1e-12);
                        EXPECT_LE(piece[e].x[a], hi[a] + 1e-12);
                    }
                    EXPECT_NEAR(piece[e].p[a], 2 * piece[e].x[a] + 1, 1e-9);
                }
            sum += n ? area(piece, n) : 0;
        }
    EXPECT_NEAR(sum, whole, 1e-9 * whole);
    // Outside the box nothing is left.
    double lo[3] = {20, -INFINITY, -INFINITY}, hi[3] = {30, INFINITY, INFINITY};
    EXPECT_EQ(vq::clipToBox(poly, 6, lo, hi, piece), 0);
}

} // namespace
