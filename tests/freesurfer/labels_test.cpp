// Label volumes (-lut): colour tables read and refused, label bytes, and
// xrwview's pixels: each label in its table colour exactly, label 0
// transparent, no colour blended between two labels.
#include <algorithm>
#include <map>
#include <tuple>

#include "fixtures.h"
#include "labels.h"

namespace {

using fst::fixture;

typedef std::tuple<int, int, int> Rgb;

// The colours of a label drawing of FILE with TABLE, opaque (-a 0 1), and
// how many pixels each covers.
std::map<Rgb, int> drawLabels(const std::vector<std::string> &volume, const std::string &tag,
                              const std::vector<std::string> &look = {"-a", "0", "1"})
{
    std::string png = scratchDir() + "/" + tag + ".png";
    std::vector<std::string> args = volume;
    args.insert(args.end(), look.begin(), look.end());
    args.insert(args.end(), {"-x", "--png", png, "--size", "160x160", "--frames", "1"});
    ProgramRun r = fst::runViewer(args, tag);
    EXPECT_EQ(r.status, 0) << tag << ": " << r.err;
    fst::Image im = fst::readPng(png);
    std::map<Rgb, int> seen;
    for (int y = 0; y < im.h; y++)
        for (int x = 0; x < im.w; x++) {
            const unsigned char *p = im.at(x, y);
            seen[Rgb(p[0], p[1], p[2])]++;
        }
    return seen;
}

std::string listColours(const std::map<Rgb, int> &seen)
{
    std::string s;
    for (const auto &c : seen)
        s += "(" + std::to_string(std::get<0>(c.first)) + "," + std::to_string(std::get<1>(c.first)) + "," +
             std::to_string(std::get<2>(c.first)) + ") x" + std::to_string(c.second) + " ";
    return s;
}

TEST(LabelVolumes, PixelsAreTheTableColoursExactlyAndLabelZeroIsTransparent)
{
    REQUIRE_FIXTURES();
    for (const char *file : {"labels.mgz", "labels.nii.gz"}) {
        std::map<Rgb, int> seen = drawLabels({"-f", fixture(file), "-lut", fixture("labels.lut")}, file);
        // Background where label 0 is, the two table colours, nothing
        // between them (a trilinear sample at the border of two labels, or
        // the brightening of colour maps, would give other colours).
        EXPECT_EQ(seen.size(), 3u) << file << ": " << listColours(seen);
        EXPECT_GT(seen[Rgb(220, 216, 20)], 400) << file << ": label 17";
        EXPECT_GT(seen[Rgb(160, 140, 180)], 400) << file << ": label 1025";
        // The labelled block covers well under half of the picture.
        EXPECT_GT(seen[Rgb(0, 0, 0)], 160 * 160 / 2) << file << ": label 0 shows the background";
        EXPECT_NEAR(seen[Rgb(220, 216, 20)], seen[Rgb(160, 140, 180)], 200) << file << ": two equal halves";
    }
}

TEST(LabelVolumes, LabelZeroStaysTransparentWhateverTheLowOpacity)
{
    REQUIRE_FIXTURES();
    // On paper white an opacity ramp from 0.5 would darken the background
    // wherever label 0 lies in front of it.
    std::map<Rgb, int> seen = drawLabels({"-f", fixture("labels.mgz"), "-lut", fixture("labels.lut")},
                                         "paper", {"-i", "-a", "0.5", "1"});
    EXPECT_EQ(seen.size(), 3u) << listColours(seen);
    EXPECT_GT(seen[Rgb(255, 255, 255)], 160 * 160 / 2) << listColours(seen);
    EXPECT_GT(seen[Rgb(220, 216, 20)], 400) << listColours(seen);
}

TEST(LabelVolumes, WithoutATableTheLabelsAreASmearOfTheColourMap)
{
    REQUIRE_FIXTURES();
    std::map<Rgb, int> seen = drawLabels({"-f", fixture("labels.mgz")}, "nolut");
    EXPECT_EQ(seen.count(Rgb(220, 216, 20)), 0u) << listColours(seen);
}

ProgramRun refused(const std::vector<std::string> &args, const std::string &tag)
{
    std::vector<std::string> a = args;
    a.insert(a.end(), {"--png", scratchDir() + "/" + tag + ".png", "--size", "64x64", "--frames", "1"});
    return fst::runViewer(a, tag);
}

int lineCount(const std::string &s)
{
    int n = 0;
    for (char c : s)
        n += c == '\n';
    return n;
}

TEST(LabelVolumes, BadTablesAndVolumesEndWithOneLine)
{
    REQUIRE_FIXTURES();
    struct Case {
        std::string volume, table, says;
    } cases[] = {
        {"labels.mgz", "bad_fields.lut", "bad_fields.lut' line 3: not 'index name r g b a'"},
        {"labels.mgz", "bad_colour.lut", "bad_colour.lut' line 2: not 'index name r g b a'"},
        {"labels.mgz", "bad_index.lut", "bad_index.lut' line 1: not 'index name r g b a'"},
        {"labels.mgz", "twice.lut", "label 17 is listed twice"},
        {"labels.mgz", "empty.lut", "no labels in the colour table"},
        {"labels.mgz", "missing.lut", "cannot open the colour table"},
        {"labels.mgz", "labels_short.lut", "labels.mgz': label 1025 is not in the colour table"},
        {"labels300.mgz", "labels300.lut", "labels300.mgz': more than 255 distinct labels (label "},
    };
    for (const Case &c : cases) {
        ProgramRun r = refused({"-f", fixture(c.volume), "-lut", fixture(c.table)}, c.table);
        EXPECT_EQ(r.status, 255) << c.table;
        size_t at = r.err.find(c.says);
        ASSERT_NE(at, std::string::npos) << c.table << ": " << r.err;
        // The fault is one line, and the last.
        EXPECT_EQ(lineCount(r.err.substr(at)), 1) << c.table << ": " << r.err;
    }
    ProgramRun r =
        refused({"-f", fixture("labels.mgz"), "-lut", fixture("labels.lut"), "-s", "2", "2", "2"}, "s");
    EXPECT_EQ(r.status, 255);
    EXPECT_NE(r.err.find("cannot be averaged"), std::string::npos) << r.err;
    r = refused({"-lut", fixture("labels.lut"), "-f", fixture("labels.mgz")}, "before");
    EXPECT_EQ(r.status, 255) << "-lut before any -f";
}

TEST(LabelVolumes, TableRowsAreReadSortedWithCommentsAndBlankLines)
{
    REQUIRE_FIXTURES();
    std::vector<LabelColour> t;
    ASSERT_EQ(readLabelTable(fixture("labels.lut").c_str(), &t), 0);
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[1].label, 17);
    EXPECT_EQ(t[2].label, 1025);
    EXPECT_EQ(t[2].r, 160);
    EXPECT_EQ(t[2].g, 140);
    EXPECT_EQ(t[2].b, 180);
    EXPECT_EQ(t[3].label, 2000);
}

TEST(LabelVolumes, LabelsBecomeBytesInAscendingOrder)
{
    std::vector<LabelColour> table = {{0, 0, 0, 0}, {3, 1, 2, 3}, {40000, 9, 8, 7}, {500, 4, 5, 6}};
    std::sort(table.begin(), table.end(),
              [](const LabelColour &a, const LabelColour &b) { return a.label < b.label; });
    const float floats[] = {40000, 0, 3, 3, 500, 40000, 0};
    unsigned char out[7], colours[256][3];
    ASSERT_EQ(labelVolumeBytes("v", "t", floats, nullptr, nullptr, 7, table, out, colours), 3);
    const unsigned char want[] = {3, 0, 1, 1, 2, 3, 0};
    for (int i = 0; i < 7; i++)
        EXPECT_EQ(out[i], want[i]) << i;
    EXPECT_EQ(colours[0][0] + colours[0][1] + colours[0][2], 0);
    EXPECT_EQ(colours[1][2], 3);
    EXPECT_EQ(colours[2][0], 4);
    EXPECT_EQ(colours[3][1], 8);
    // Bytes in place, and a value that is no label number.
    unsigned char bytes[] = {0, 3, 3, 0};
    ASSERT_EQ(labelVolumeBytes("v", "t", nullptr, nullptr, bytes, 4, table, bytes, colours), 1);
    EXPECT_EQ(bytes[1], 1);
    const float half[] = {0, 2.5f};
    EXPECT_EQ(labelVolumeBytes("v", "t", half, nullptr, nullptr, 2, table, out, colours), -1);
    const short missing[] = {0, 4};
    EXPECT_EQ(labelVolumeBytes("v", "t", nullptr, missing, nullptr, 2, table, out, colours), -1);
}

} // namespace
