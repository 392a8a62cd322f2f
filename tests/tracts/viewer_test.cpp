// xrwview with tractograms: what a run loads, counts and draws, where the
// streamlines land over the volume they were tracked on, and that text
// tracks draw exactly what they drew before line sets existed.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

#include "../viewer/viewer_test_util.h"
#include "trackset.h"
#include "tract_fixtures.h"

namespace {

const std::string &written()
{
    return writtenTractograms();
}

struct Image {
    int w = 0, h = 0;
    std::vector<unsigned char> rgb;
    const unsigned char *at(int x, int y) const { return &rgb[3 * (static_cast<size_t>(y) * w + x)]; }
};

bool loadPng(const std::string &path, Image &img)
{
    int n = 0;
    unsigned char *p = stbi_load(path.c_str(), &img.w, &img.h, &n, 3);
    if (!p)
        return false;
    img.rgb.assign(p, p + static_cast<size_t>(img.w) * img.h * 3);
    stbi_image_free(p);
    return true;
}

std::string smallVolume()
{
    return vt::writeVolume("tractvol.xrw", 16, 16, 16, 2, 2, 2, [](int x, int, int) { return x * 8; });
}

TEST(TractogramRun, LoadsOneFileAndCountsItsSegmentsAsThickLines)
{
    if (written().empty())
        GTEST_SKIP() << "python3 with nibabel and numpy is needed";
    std::string png = vt::tmpPath("three.png");
    vt::RunResult r = vt::runViewer({"-f", smallVolume(), "-SV", "-Tf", written() + "/f16.trx", "--png", png,
                                     "--keys", "0:2", "--frames", "2", "--stats", "--size", "64x64"},
                                    "three");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("loaded 3 streamlines of 10 points from " + written() + "/f16.trx\n"),
              std::string::npos)
        << r.err;
    // Segments 2 + 1 + 4 in both frames; nothing else drawn.
    EXPECT_NE(r.err.find("frame=0 points=0 lines=0 thicklines=7 "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("frame=1 points=0 lines=0 thicklines=7 "), std::string::npos) << r.err;
    // Hidden until key 2.
    r = vt::runViewer({"-f", smallVolume(), "-Tf", written() + "/nibabel.trk", "--nodraw", "--stats"},
                      "hidden");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("thicklines=0 "), std::string::npos) << r.err;
}

TEST(TractogramRun, BadFileEndsWithOneLineAndStatus255)
{
    std::string bad = vt::writeText("bad.tck", "mrtrix tracks\ndatatype: Float32LE\nfile: . 9000\nEND\n");
    vt::RunResult r = vt::runViewer({"-f", smallVolume(), "-Tf", bad, "--nodraw"}, "bad");
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, bad + ": data offset 9000 lies past the end of the file (51 bytes)\n");
    std::string zip = vt::writeText("notrx.trx", "PK\x03\x04 not really");
    r = vt::runViewer({"-f", smallVolume(), "-Tf", zip, "--nodraw"}, "notzip");
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.err.rfind(zip + ": is not a readable ZIP archive", 0), 0u) << r.err;
    // A missing name without an integer conversion, or an unknown colour mode: the usage text.
    r = vt::runViewer({"-f", smallVolume(), "-Tf", vt::tmpPath("none.tck"), "--nodraw"}, "none");
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, vt::usageText(std::string(BIN_DIR) + "/xrwview"));
    r = vt::runViewer({"-f", smallVolume(), "-Tf", bad, "-Tc", "rainbow", "--nodraw"}, "mode");
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, vt::usageText(std::string(BIN_DIR) + "/xrwview"));
}

// Columns of row y whose pixel passes the test.
template <class Test> std::vector<int> columns(const Image &img, int y, Test test)
{
    std::vector<int> out;
    for (int x = 0; x < img.w; ++x)
        if (test(img.at(x, y)))
            out.push_back(x);
    return out;
}

// The streamline's pixels (-Tc dir: a line along y is pure green) lie on
// the bright line of the volume drawn alone, row by row.
void expectOnTheLine(const std::vector<std::string> &volume, const std::string &tracts,
                     const std::string &tag)
{
    std::vector<std::string> args = volume;
    std::string volPng = vt::tmpPath(tag + "_vol.png"), trackPng = vt::tmpPath(tag + "_tracks.png");
    args.insert(args.end(), {"--png", volPng, "--size", "128x128"});
    ASSERT_EQ(vt::runViewer(args, tag + "_vol").status, 0);
    args = volume;
    args.insert(args.end(), {"-SV", "-Tf", tracts, "-Tc", "dir", "--keys", "0:2", "--png", trackPng, "--size",
                             "128x128"});
    vt::RunResult r = vt::runViewer(args, tag + "_tracks");
    ASSERT_EQ(r.status, 0) << r.err;
    Image vol, trk;
    ASSERT_TRUE(loadPng(volPng, vol) && loadPng(trackPng, trk));
    int rows = 0;
    for (int y = 0; y < trk.h; ++y) {
        std::vector<int> green =
            columns(trk, y, [](const unsigned char *p) { return p[1] > 200 && p[0] < 40 && p[2] < 40; });
        if (green.empty())
            continue;
        ++rows;
        // Grey voxels brighter than the dark ones, but not the white box.
        std::vector<int> bright = columns(vol, y, [](const unsigned char *p) {
            return p[0] > 40 && p[0] < 250 && p[0] == p[1] && p[1] == p[2];
        });
        ASSERT_FALSE(bright.empty()) << tag << ": row " << y << " has tracks but no bright voxel";
        int mid = (green.front() + green.back()) / 2;
        bool near = false;
        for (int x : bright)
            near = near || std::abs(x - mid) <= 1;
        EXPECT_TRUE(near) << tag << ": row " << y << " streamline at column " << mid
                          << ", bright voxels from " << bright.front() << " to " << bright.back();
    }
    EXPECT_GT(rows, 20) << tag;
}

TEST(TractogramRun, StreamlinesLandOnTheVoxelsTheyPassThrough)
{
    if (written().empty())
        GTEST_SKIP() << "python3 with nibabel and numpy is needed";
    std::string d = written() + "/alignment/";
    std::vector<std::string> nifti = {"-f", d + "line_xform.nii.gz", "-W", "0", "1000"};
    for (const char *kind : {"tck", "trk", "trx"})
        expectOnTheLine(nifti, d + "line_xform." + kind, std::string("nifti_") + kind);
    // The same volume as XRW, which holds no transform: its matrix through -M.
    std::string xrw = vt::tmpPath("line.xrw"), matrix = vt::tmpPath("line.matrix");
    vt::RunResult c = runProgramFiles(std::string(BIN_DIR) + "/xrwconvert",
                                      {d + "line_xform.nii.gz", xrw, "-W", "0", "1000", "-M", matrix},
                                      vt::tmpPath("convert.out"), vt::tmpPath("convert.err"));
    ASSERT_EQ(c.status, 0) << c.err;
    expectOnTheLine({"-f", xrw, "-M", matrix}, d + "line_xform.tck", "xrw_matrix");
}

TEST(TextTracks, DrawTheSameImageAsTheThickLinePassAlwaysDid)
{
    // The reference was drawn by the viewer before line sets existed, from
    // the same sample data (drawn again once slice sets took the one pass,
    // which blends a multisampled pixel's samples at a track's edge inside
    // the volume otherwise; the tracks' own pixels did not change).
    std::string dir = vt::tmpPath("text_tracks");
    std::string cmd = "rm -rf '" + dir + "' && mkdir -p '" + dir + "/tr' && cd '" + dir + "' && '" BIN_DIR +
                      "/makephantom' ph.xrw 24 >/dev/null 2>&1 && '" BIN_DIR
                      "/maketracks' tr 10 12 >/dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::string png = dir + "/now.png";
    vt::RunResult r = vt::runViewer({"-f", dir + "/ph.xrw", "-Tf", dir + "/tr/t%d.txt", "--png", png,
                                     "--size", "96x96", "--keys", "0:2", "--stats"},
                                    "text_tracks");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("thicklines=2388 "), std::string::npos) << r.err;
    EXPECT_EQ(vt::readFile(png), vt::readFile(SOURCE_DIR "/tests/tracts/data/text_tracks_96.png"));
}

} // namespace

namespace {

TEST(TrackSetColour, EndToEndAsTheTrackPassColoursTextTracks)
{
    // Along x: hue 0, saturation 0, value 1 (white); along z: value 0
    // (black); the sign of the direction does not matter; a diagonal goes
    // through HSV2RGB as the track pass sends it.
    const float alongX[] = {5, 1, 1, 0, 1, 1, -3, 1, 1};
    const float alongZ[] = {0, 0, 9, 0, 0, 2};
    const float diagonal[] = {0, 0, 0, 1, 2, 2};
    float c[3];
    endToEndColour(alongX, 3, c);
    EXPECT_EQ(c[0], 1.0f);
    EXPECT_EQ(c[1], 1.0f);
    EXPECT_EQ(c[2], 1.0f);
    endToEndColour(alongZ, 2, c);
    EXPECT_EQ(c[0] + c[1] + c[2], 0.0f);
    endToEndColour(diagonal, 2, c);
    Colour3 want = HSV2RGB(2.0 / 3 * 360.0, 2.0 / 3, 1.0 / 3);
    EXPECT_FLOAT_EQ(c[0], static_cast<float>(want.r));
    EXPECT_FLOAT_EQ(c[1], static_cast<float>(want.g));
    EXPECT_FLOAT_EQ(c[2], static_cast<float>(want.b));
}

} // namespace
