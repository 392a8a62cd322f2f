// xrwview -ortho drawn offscreen: a marker at the patient's left, front and
// top shows in each slice view on the side its letters name, anisotropic
// voxels keep their proportions, and the sample volume's four panels match
// the reference images kept beside this file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include "stb_image.h"
#pragma GCC diagnostic pop

#include "ortho.h"
#include "viewer_test_util.h"

namespace {

struct Image {
    int w = 0, h = 0;
    std::vector<unsigned char> rgb;
    const unsigned char *at(int x, int y) const { return &rgb[(static_cast<size_t>(y) * w + x) * 3]; }
};

bool readPng(const std::string &path, Image &img)
{
    int n = 0;
    unsigned char *d = stbi_load(path.c_str(), &img.w, &img.h, &n, 3);
    if (!d)
        return false;
    img.rgb.assign(d, d + static_cast<size_t>(img.w) * img.h * 3);
    stbi_image_free(d);
    return true;
}

// Pixel rectangles (x, y from the top, size) of the views in a 400 x 400
// image: axial top left, coronal top right, sagittal bottom left.
const int kPanel[3][2] = {{0, 0}, {200, 0}, {0, 200}};

// The bounds of the pixels of a panel that pass `keep`; false when none.
template <class F> bool bounds(const Image &img, int view, F keep, double box[4], int *count = nullptr)
{
    int n = 0;
    box[0] = box[1] = 1e9;
    box[2] = box[3] = -1e9;
    for (int y = 0; y < 200; y++)
        for (int x = 0; x < 200; x++) {
            const unsigned char *p = img.at(kPanel[view][0] + x, kPanel[view][1] + y);
            if (!keep(p))
                continue;
            n++;
            box[0] = std::fmin(box[0], x), box[1] = std::fmin(box[1], y);
            box[2] = std::fmax(box[2], x), box[3] = std::fmax(box[3], y);
        }
    if (count)
        *count = n;
    return n > 0;
}

// Byte 255 through the test volumes' colour table (255, 0, 127), brightened.
bool isMarker(const unsigned char *p)
{
    return p[0] > 200 && p[1] < 60 && p[2] > 150;
}

// The letters' amber (1, 0.85, 0.3), at any coverage of a black margin.
bool isLetter(const unsigned char *p)
{
    return p[0] > 90 && p[1] > 0.7 * p[0] && p[1] < 0.95 * p[0] && p[2] < 0.5 * p[0];
}

vt::RunResult draw(const std::vector<std::string> &extra, const std::string &png, const std::string &tag)
{
    std::vector<std::string> args = extra;
    args.insert(args.end(), {"-ortho", "--png", png, "--size", "400x400", "--frames", "1"});
    return vt::runViewer(args, tag);
}

// 20^3 voxels of 1 mm, value 60, with a 3^3 block of 255 centred on file
// voxel (15, 14, 4): world (5, -5, 5), the patient's left, front and top.
std::string markerVolume()
{
    static std::string p = vt::writeVolume("marker.xrw", 20, 20, 20, 1, 1, 1, [](int x, int y, int z) {
        return std::abs(x - 15) <= 1 && std::abs(y - 14) <= 1 && std::abs(z - 4) <= 1 ? 255 : 60;
    });
    return p;
}

void checkSides(bool neurological)
{
    std::string png = vt::tmpPath(neurological ? "marker_neuro.png" : "marker_radio.png");
    std::vector<std::string> args = {"-f", markerVolume(), "-at", "5", "-5", "5"};
    if (neurological)
        args.push_back("-neuro");
    vt::RunResult r = draw(args, png, neurological ? "markerneuro" : "markerradio");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("crosshair: world 5.00 -5.00 5.00, voxel 15 14 4, value 255"), std::string::npos)
        << r.out;
    Image img;
    ASSERT_TRUE(readPng(png, img));
    ASSERT_EQ(img.w, 400);
    for (int view = 0; view < 3; view++) {
        double box[4];
        ASSERT_TRUE(bounds(img, view, isMarker, box)) << view;
        double cx = 0.5 * (box[0] + box[2]), cy = 0.5 * (box[1] + box[3]);
        OrthoLayout L = orthoLayout(view, neurological);
        // The letter at the side the marker lies on, left/right and top/bottom.
        char side = cx > 100 ? L.letters[1] : L.letters[0];
        char height = cy < 100 ? L.letters[2] : L.letters[3];
        EXPECT_EQ(side, view == ORTHO_SAGITTAL ? 'A' : 'L') << "view " << view << " x " << cx;
        EXPECT_EQ(height, view == ORTHO_AXIAL ? 'A' : 'S') << "view " << view << " y " << cy;
        // Well off the centre: 5 mm of a 25 mm wide view is 40 pixels.
        EXPECT_GT(std::fabs(cx - 100), 30) << view;
        EXPECT_GT(std::fabs(cy - 100), 30) << view;
        // And that letter is drawn at that edge.
        double lb[4];
        int letterPixels = 0;
        bounds(
            img, view, [&](const unsigned char *p) { return isLetter(p); }, lb, &letterPixels);
        int near = 0;
        for (int y = 80; y < 120; y++)
            for (int x = 0; x < 20; x++) {
                int px = cx > 100 ? 199 - x : x;
                near += isLetter(img.at(kPanel[view][0] + px, kPanel[view][1] + y));
            }
        EXPECT_GT(near, 5) << "view " << view;
    }
    // The crosshair shows over the slices, not under them: strong green
    // along both of its lines inside each view's slice.
    for (int view = 0; view < 3; view++) {
        int green = 0;
        for (int y = 30; y < 170; y++)
            for (int x = 30; x < 170; x++) {
                const unsigned char *p = img.at(kPanel[view][0] + x, kPanel[view][1] + y);
                green += p[1] > p[0] + 120 && p[1] > p[2] + 120;
            }
        EXPECT_GT(green, 200) << "view " << view;
    }
    // Radiological or neurological: the axial view says which.
    double mark[4];
    int conv = 0;
    bounds(
        img, ORTHO_AXIAL, [](const unsigned char *p) { return isLetter(p); }, mark, &conv);
    EXPECT_GT(conv, 20);
}

TEST(OrthoPixels, MarkerOnTheSideTheLettersNameRadiological)
{
    checkSides(false);
}

TEST(OrthoPixels, MarkerOnTheSideTheLettersNameNeurological)
{
    checkSides(true);
}

TEST(OrthoPixels, AnisotropicVoxelsKeepTheirProportions)
{
    // 16^3 voxels of 1 x 2 x 3 mm with a 4^3 block of 255 in the middle.
    std::string vol = vt::writeVolume("aniso.xrw", 16, 16, 16, 1, 2, 3, [](int x, int y, int z) {
        return x >= 6 && x < 10 && y >= 6 && y < 10 && z >= 6 && z < 10 ? 255 : 60;
    });
    std::string png = vt::tmpPath("aniso.png");
    vt::RunResult r = draw({"-f", vol}, png, "aniso");
    ASSERT_EQ(r.status, 0) << r.err;
    Image img;
    ASSERT_TRUE(readPng(png, img));
    // Height over width of the block: y/x axial, z/x coronal, z/y sagittal.
    const double want[3] = {2.0, 3.0, 1.5};
    double widths[3];
    for (int view = 0; view < 3; view++) {
        double box[4];
        ASSERT_TRUE(bounds(img, view, isMarker, box)) << view;
        double w = box[2] - box[0] + 1, h = box[3] - box[1] + 1;
        EXPECT_NEAR(h / w, want[view], 0.12 * want[view]) << "view " << view << ": " << w << " x " << h;
        widths[view] = w;
    }
    // One scale in every view: the block is 4 mm wide along x in two of them.
    EXPECT_NEAR(widths[0], widths[1], 1.5);
}

// Distinct colours inside the axial view's slice, away from its edges.
size_t sliceColours(const Image &img)
{
    std::vector<int> seen;
    for (int y = 40; y < 160; y++)
        for (int x = 40; x < 160; x++) {
            const unsigned char *p = img.at(x, y);
            int c = p[0] << 16 | p[1] << 8 | p[2];
            if (std::find(seen.begin(), seen.end(), c) == seen.end())
                seen.push_back(c);
        }
    return seen.size();
}

TEST(OrthoPixels, KeyISwitchesFromNearestToTrilinear)
{
    std::vector<std::string> args = {"-f", markerVolume(), "-at", "5", "-5", "5"};
    std::string nearest = vt::tmpPath("nearest.png"), linear = vt::tmpPath("linear.png");
    ASSERT_EQ(draw(args, nearest, "nearest").status, 0);
    args.insert(args.end(), {"--keys", "0:I"});
    ASSERT_EQ(draw(args, linear, "linear").status, 0);
    Image a, b;
    ASSERT_TRUE(readPng(nearest, a));
    ASSERT_TRUE(readPng(linear, b));
    // Nearest: the background, the marker and the crosshair's few edge
    // shades; trilinear: a ramp from the marker to the background.
    size_t flat = sliceColours(a), ramp = sliceColours(b);
    EXPECT_LT(flat, 12u);
    EXPECT_GT(ramp, flat + 10) << flat << " " << ramp;
}

// Letter pixels in the box x0..x0+n, y0..y0+n (from the top) of panel
// `view` (3: the 3-D view), as a mask moved to its own lower corner.
std::vector<std::pair<int, int>> letterMask(const Image &img, int view, int x0, int y0, int n)
{
    const int ox = view == 3 ? 200 : kPanel[view][0], oy = view == 3 ? 200 : kPanel[view][1];
    std::vector<std::pair<int, int>> m;
    int lx = 1 << 20, ly = 1 << 20;
    for (int y = y0; y < y0 + n; y++)
        for (int x = x0; x < x0 + n; x++)
            if (isLetter(img.at(ox + x, oy + y))) {
                m.emplace_back(x, y);
                lx = std::min(lx, x), ly = std::min(ly, y);
            }
    for (auto &p : m)
        p.first -= lx, p.second -= ly;
    return m;
}

// Boxes of 24 pixels in the middle of each edge: left, right, top, bottom.
const int kEdgeBox[4][2] = {{0, 88}, {176, 88}, {88, 0}, {88, 176}};

TEST(OrthoPixels, LettersStandInTheMiddleOfEachEdgeInTheFont)
{
    std::vector<std::string> args = {"-f", markerVolume(), "-at", "5", "-5", "5"};
    std::string radio = vt::tmpPath("letters_radio.png"), neuro = vt::tmpPath("letters_neuro.png");
    ASSERT_EQ(draw(args, radio, "lettersradio").status, 0);
    args.push_back("-neuro");
    ASSERT_EQ(draw(args, neuro, "lettersneuro").status, 0);
    Image r, n;
    ASSERT_TRUE(readPng(radio, r));
    ASSERT_TRUE(readPng(neuro, n));
    for (int view = 0; view < 3; view++) {
        for (int e = 0; e < 4; e++)
            EXPECT_GT(letterMask(r, view, kEdgeBox[e][0], kEdgeBox[e][1], 24).size(), 8u)
                << "view " << view << " edge " << e;
        // Nothing in the upper right corner.
        EXPECT_TRUE(letterMask(r, view, 170, 0, 30).empty()) << view;
    }
    // The 3-D view has no letters without -orientation.
    for (int e = 0; e < 4; e++)
        EXPECT_TRUE(letterMask(r, 3, kEdgeBox[e][0], kEdgeBox[e][1], 24).empty()) << e;
    // The glyphs are the letters: radiological R on the left is the
    // neurological R on the right, pixel for pixel, and unlike the L.
    auto rLeft = letterMask(r, ORTHO_AXIAL, 0, 88, 24), rRight = letterMask(r, ORTHO_AXIAL, 176, 88, 24);
    auto nRight = letterMask(n, ORTHO_AXIAL, 176, 88, 24), nLeft = letterMask(n, ORTHO_AXIAL, 0, 88, 24);
    EXPECT_EQ(rLeft, nRight);
    EXPECT_EQ(rRight, nLeft);
    EXPECT_NE(rLeft, rRight);
    // RAD against NEU in the axial view's lower left corner.
    EXPECT_NE(letterMask(r, ORTHO_AXIAL, 0, 176, 24), letterMask(n, ORTHO_AXIAL, 0, 176, 24));
    EXPECT_GT(letterMask(r, ORTHO_AXIAL, 0, 176, 24).size(), 20u);
    // The readout's lines in the coronal view's lower left corner, above
    // its bottom letter: that I is the sagittal view's I.
    EXPECT_GT(letterMask(r, ORTHO_CORONAL, 0, 145, 45).size(), 60u);
    EXPECT_EQ(letterMask(r, ORTHO_CORONAL, 88, 184, 16), letterMask(r, ORTHO_SAGITTAL, 88, 184, 16));
}

// Mean and largest difference of two images of one size.
void compare(const Image &a, const Image &b, double *mean, int *over)
{
    double sum = 0;
    *over = 0;
    for (size_t i = 0; i < a.rgb.size(); i++) {
        int d = std::abs(a.rgb[i] - b.rgb[i]);
        sum += d;
        *over += d > 24;
    }
    *mean = sum / a.rgb.size();
}

void checkReference(const std::vector<std::string> &mode, const std::string &name)
{
    std::string phantom = vt::tmpPath("phantom.xrw");
    std::string cmd = std::string(BIN_DIR) + "/makephantom '" + phantom + "' 128 >/dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::string png = vt::tmpPath(name);
    std::vector<std::string> args = {"-f", phantom};
    args.insert(args.end(), mode.begin(), mode.end());
    vt::RunResult r = draw(args, png, name);
    ASSERT_EQ(r.status, 0) << r.err;
    Image got, want;
    ASSERT_TRUE(readPng(png, got));
    ASSERT_TRUE(readPng(std::string(SOURCE_DIR) + "/tests/ortho/" + name, want)) << name;
    ASSERT_EQ(got.w, want.w);
    ASSERT_EQ(got.h, want.h);
    double mean;
    int over;
    compare(got, want, &mean, &over);
    // Rasterisers differ in an edge pixel here and there, not in the picture.
    EXPECT_LT(mean, 1.0) << name;
    EXPECT_LT(over, static_cast<int>(got.rgb.size() / 200)) << name;
}

TEST(OrthoPixels, SampleMatchesTheReferenceWithSliceSets)
{
    checkReference({}, "reference_ortho_slicesets.png");
}

TEST(OrthoPixels, SampleMatchesTheReferenceWith3dTexture)
{
    checkReference({"-3d"}, "reference_ortho_3d.png");
}

} // namespace
