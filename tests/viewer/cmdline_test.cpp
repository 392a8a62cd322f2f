// The command line read in-process: defaults, binding, texts, refusals.
#include <gtest/gtest.h>

#include "crosshair.h"
#include "obj.h"
#include "tracks.h"
#include "viewer_test_util.h"

namespace {

// Parses the words after the program name; stderr captured into *err.
int parse(std::vector<std::string> words, std::string *err = nullptr)
{
    vt::freshViewer();
    words.insert(words.begin(), "xrwview");
    vt::Args a(words);
    testing::internal::CaptureStderr();
    int rc = parseCommandLine(a.argc(), a.argv());
    std::string e = testing::internal::GetCapturedStderr();
    if (err)
        *err = e;
    return rc;
}

TEST(CommandLine, DefaultsWithOneVolume)
{
    ASSERT_EQ(parse({"-f", "a.xrw", "-q"}), 0);
    EXPECT_EQ(NVR, 1);
    EXPECT_STREQ(settings.volume[0].xrwFileName, "a.xrw");
    EXPECT_EQ(settings.volume[0].volumeNamed, 1);
    EXPECT_EQ(settings.volume[1].volumeNamed, 0);
    for (int v = 0; v < MAX_VOLUMES; v++) {
        EXPECT_EQ(dmin[v], 0.0f);
        EXPECT_EQ(dmax[v], 1.0f);
        EXPECT_EQ(amin[v], 0.0f);
        EXPECT_EQ(amax[v], 0.2f);
        for (int a = 0; a < 3; a++) {
            EXPECT_EQ(dscale[v][a], 1.0f);
            EXPECT_EQ(settings.volume[v].stride[a], 1);
        }
        EXPECT_EQ(tex3d[v], -1);
        EXPECT_EQ(settings.volume[v].useFileColourMap, 1);
        EXPECT_EQ(settings.volume[v].useMatrix, 0);
    }
    EXPECT_EQ(settings.drawBox, 1);
    EXPECT_EQ(settings.blowApart, 1.0f);
    EXPECT_EQ(settings.trackSkip, 1000);
    EXPECT_EQ(settings.haveTracks, 0);
    EXPECT_EQ(_3d_speed_up, 1);
    EXPECT_EQ(do_3d_render, 0);
}

TEST(CommandLine, PerVolumeOptionsBindToTheLatestVolume)
{
    ASSERT_EQ(
        parse({"-f", "a.xrw", "-d",  "0",  "2", "-s", "1",   "2",  "3",   "-f", "b.xrw", "-d", "1",   "5",
               "-a", "0.1",   "0.3", "-v", "1", "2",  "3.5", "-c", "hot", "-M", "m.txt", "-d", "1.5", "6"}),
        0);
    EXPECT_EQ(NVR, 2);
    EXPECT_EQ(dmin[0], 0.0f);
    EXPECT_EQ(dmax[0], 2.0f);
    EXPECT_EQ(settings.volume[0].stride[1], 2);
    EXPECT_EQ(settings.volume[0].stride[2], 3);
    // Given twice for volume 1: the last value holds.
    EXPECT_EQ(dmin[1], 1.5f);
    EXPECT_EQ(dmax[1], 6.0f);
    EXPECT_EQ(amin[1], 0.1f);
    EXPECT_EQ(amax[1], 0.3f);
    EXPECT_EQ(dscale[1][2], 3.5f);
    EXPECT_EQ(settings.volume[1].stride[0], 1);
    EXPECT_EQ(settings.volume[0].useFileColourMap, 1);
    EXPECT_EQ(settings.volume[1].useFileColourMap, 0);
    EXPECT_STREQ(settings.volume[1].colourMapName, "hot");
    EXPECT_EQ(settings.volume[1].useMatrix, 1);
    EXPECT_STREQ(settings.volume[1].matrixFileName, "m.txt");
    EXPECT_STREQ(settings.volume[1].xrwFileName, "b.xrw");
}

TEST(CommandLine, GlobalOptionsAndTheirMessages)
{
    std::string err;
    ASSERT_EQ(
        parse({"-i",  "-x", "-Rx", "2.5", "-Vx", "-SV", "-Tf",      "tr/t%05d.dat", "-Ts",   "7",  "-3d",
               "-Sp", "3",  "-DX", "-BX", "2",   "-Vf", "view.txt", "-f",           "a.xrw", "-c", "grey"},
              &err),
        0);
    EXPECT_EQ(invert, 1);
    EXPECT_EQ(settings.drawBox, 0);
    EXPECT_EQ(settings.blowApart, 2.5f);
    EXPECT_EQ(settings.calcNormals, 1);
    EXPECT_EQ(suppress_vr, 1);
    EXPECT_EQ(settings.haveTracks, 1);
    EXPECT_STREQ(settings.trackPattern, "tr/t%05d.dat");
    EXPECT_EQ(settings.trackSkip, 7);
    EXPECT_EQ(do_3d_render, 1);
    EXPECT_EQ(_3d_speed_up, 3);
    EXPECT_EQ(settings.clipData, 1);
    EXPECT_EQ(settings.boundaryPlanes, 2);
    EXPECT_EQ(viewfile, 1);
    EXPECT_STREQ(viewfile_fname, "view.txt");
    EXPECT_EQ(err, "speed-up factor 3\ncmapname = grey\n");
}

TEST(CommandLine, SliceViewOptions)
{
    std::string err;
    ASSERT_EQ(parse({"-at", "1.5", "-2", "3e1", "-f", "a.xrw", "-ortho", "-neuro"}, &err), 0) << err;
    EXPECT_EQ(crosshair.atGiven, 1);
    EXPECT_EQ(crosshair.wanted, 1);
    EXPECT_EQ(crosshair.ortho, 1);
    EXPECT_EQ(crosshair.neurological, 1);
    EXPECT_DOUBLE_EQ(crosshair.at[0], 1.5);
    EXPECT_DOUBLE_EQ(crosshair.at[1], -2);
    EXPECT_DOUBLE_EQ(crosshair.at[2], 30);
    EXPECT_EQ(err, "");
    // A later command line starts from no crosshair.
    ASSERT_EQ(parse({"-f", "a.xrw", "-x"}), 0);
    EXPECT_EQ(crosshair.wanted, 0);
    EXPECT_EQ(crosshair.ortho, 0);
    // Values that are not all numbers stop with one line.
    for (const char *bad : {"x", "1x", "nan", "inf", ""}) {
        EXPECT_EQ(parse({"-f", "a.xrw", "-at", "0", bad, "0"}, &err), -1) << bad;
        EXPECT_EQ(err, std::string("-at needs three finite numbers, not '") + bad + "'!\n");
    }
}

TEST(CommandLine, IntegersAndRealsReadLikeAtoiAndAtof)
{
    ASSERT_EQ(parse({"-f", "a", "-BX", "3abc", "-Rx", "x", "-d", "1e-1", ".5junk"}), 0);
    EXPECT_EQ(settings.boundaryPlanes, 3);
    EXPECT_EQ(settings.blowApart, 0.0f);
    EXPECT_EQ(dmin[0], 0.1f);
    EXPECT_EQ(dmax[0], 0.5f);
}

TEST(CommandLine, StrayWordsAreSkippedWithoutTakingAValue)
{
    // -fx, -F and bare words are no options; -x after them still counts.
    ASSERT_EQ(parse({"-fx", "-x", "-F", "word", "-f", "a.xrw", "--png", "-i"}), 0);
    EXPECT_EQ(NVR, 1);
    EXPECT_EQ(settings.drawBox, 0);
    EXPECT_EQ(invert, 1);
}

TEST(CommandLine, LongTextsAreCutToTheirFields)
{
    std::string longName(600, 'n');
    std::string err;
    ASSERT_EQ(
        parse({"-f", longName, "-c", longName, "-M", longName, "-Vf", longName, "-Tf", "t%d.txt"}, &err), 0);
    EXPECT_EQ(std::strlen(settings.volume[0].xrwFileName), 400u);
    EXPECT_EQ(std::strlen(settings.volume[0].colourMapName), 400u);
    EXPECT_EQ(std::strlen(settings.volume[0].matrixFileName), 399u);
    EXPECT_EQ(std::strlen(viewfile_fname), 399u);
    EXPECT_EQ(err, "cmapname = " + std::string(400, 'n') + "\n");
}

TEST(CommandLine, FourVolumesAreAcceptedAndAFifthStops)
{
    ASSERT_EQ(parse({"-f", "a", "-f", "b", "-f", "c", "-f", "d"}), 0);
    EXPECT_EQ(NVR, 4);
    std::string err;
    EXPECT_EQ(parse({"-f", "a", "-f", "b", "-f", "c", "-f", "d", "-f", "e", "-i"}, &err), -1);
    EXPECT_EQ(err, "Too many volumes!\n");
    // Later arguments are not read.
    EXPECT_EQ(invert, 0);
    // Also as the last argument, with no name after it.
    EXPECT_EQ(parse({"-f", "a", "-f", "b", "-f", "c", "-f", "d", "-f"}, &err), -1);
    EXPECT_EQ(err, "Too many volumes!\n");
}

TEST(CommandLine, StrideBelowOneStops)
{
    std::string err;
    EXPECT_EQ(parse({"-f", "a", "-s", "2", "2", "0"}, &err), -1);
    EXPECT_EQ(err, "stride must be at least 1 in each direction!\n");
    EXPECT_EQ(parse({"-f", "a", "-s", "-1", "1", "1"}, &err), -1);
    EXPECT_EQ(parse({"-f", "a", "-s", "1", "1", "1"}, &err), 0);
    EXPECT_EQ(err, "");
}

TEST(CommandLine, RefusalsPrintTheUsageText)
{
    const std::string usage = vt::usageText("xrwview");
    const std::vector<std::vector<std::string>> refused = {
        {},
        {"-f"},
        {"-x", "-i"},
        {"-x", "-i", "-3d"},
        {"-f", "a", "-d", "0"},
        {"-f", "a", "-o", "x.obj", "l", "1", "1", "1"},
        {"-f", "a", "-s", "1", "1"},
        {"-f", "a", "-Tf"},
        {"-d", "0", "1", "-f", "a"},
        {"-s", "1", "1", "1", "-f", "a"},
        {"-a", "0", "1", "-f", "a"},
        {"-v", "1", "1", "1", "-f", "a"},
        {"-c", "hot", "-f", "a"},
        {"-M", "m.txt", "-f", "a"},
        {"-f", "a", "-Sp", "0"},
        {"-f", "a", "-Sp", "-2"},
        {"-f", "a", "-Ts", "0"},
        {"-f", "a", "-Ts", "-1000"},
        {"-f", "a", "-Tf", "tracks.txt"},
        {"-f", "a", "-Tf", "t%d_%d.txt"},
        {"-f", "a", "-Tf", "t%s.txt"},
        {"-f", "a", "-Tf", "t%ld.txt"},
        {"-f", "a", "-Tf", std::string(400, 'p') + "%d"},
        {"-f", "a", "-at", "1", "2"},
    };
    for (const auto &words : refused) {
        std::string err;
        EXPECT_EQ(parse(words, &err), -1) << testing::PrintToString(words);
        EXPECT_EQ(err, usage) << testing::PrintToString(words);
    }
}

TEST(CommandLine, UsageTextByteForByte)
{
    testing::internal::CaptureStderr();
    usage("/some/where/xrwview");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), vt::usageText("/some/where/xrwview"));
}

TEST(TrackPattern, OneIntConversionOnly)
{
    EXPECT_TRUE(trackPatternValid("t%d.txt"));
    EXPECT_TRUE(trackPatternValid("tracks/t%05d.dat"));
    EXPECT_TRUE(trackPatternValid("100%% %-8.3i"));
    EXPECT_TRUE(trackPatternValid("%x"));
    EXPECT_TRUE(trackPatternValid("%u"));
    EXPECT_FALSE(trackPatternValid("t.txt"));
    EXPECT_FALSE(trackPatternValid("%%d"));
    EXPECT_FALSE(trackPatternValid("%d%d"));
    EXPECT_FALSE(trackPatternValid("%n"));
    EXPECT_FALSE(trackPatternValid("%*d"));
    EXPECT_FALSE(trackPatternValid("%f"));
    EXPECT_FALSE(trackPatternValid("%lld"));
    EXPECT_FALSE(trackPatternValid("t%"));
}

TEST(CommandLine, SurfaceFormatIsChosenByTheLastThreeCharacters)
{
    std::string err;
    EXPECT_EQ(parse({"-f", "a", "-o", "head.STL", "head", "1", "0", "0", "1"}, &err), -1);
    EXPECT_EQ(err, "unknown input surface format: head.STL\n");
    EXPECT_EQ(parse({"-o", "ob", "x", "1", "0", "0", "1", "-f", "a"}, &err), -1);
    EXPECT_EQ(err, "unknown input surface format: ob\n");

    // A name ending in "obj" without a dot is an OBJ file.
    std::string path = vt::writeText("modelobj", "v 1 2 3\nv 4 5 6\nv 7 8 10\nf 1 2 3\n");
    std::string stl = vt::tmpPath("empty.stl");
    {
        std::ofstream out(stl, std::ios::binary);
        out << std::string(84, '\0');
    }
    ASSERT_EQ(parse({"-o", path, "first", "1", "0.5", "0", "1", "-o", stl, "second", "0", "0", "1", "0.5",
                     "-f", "a"},
                    &err),
              0)
        << err;
    ASSERT_EQ(nobjs, 2);
    EXPECT_STREQ(objs[0]->label, "first");
    EXPECT_EQ(objs[0]->nfacets, 1);
    EXPECT_DOUBLE_EQ(objs[0]->colour.g, 0.5);
    EXPECT_STREQ(objs[1]->label, "second");
    EXPECT_FLOAT_EQ(objs[1]->alpha, 0.5f);
}

TEST(CommandLine, LongSurfaceLabelIsCut)
{
    std::string path = vt::writeText("label.obj", "v 0 0 0\n");
    ASSERT_EQ(parse({"-f", "a", "-o", path, std::string(100, 'L'), "1", "1", "1", "1"}), 0);
    ASSERT_EQ(nobjs, 1);
    EXPECT_EQ(std::string(objs[0]->label), std::string(79, 'L'));
}

TEST(CommandLine, SurfaceReaderFailureStops)
{
    std::string err;
    EXPECT_EQ(parse({"-f", "a", "-o", vt::tmpPath("absent.stl"), "x", "1", "1", "1", "1", "-i"}, &err), -1);
    EXPECT_FALSE(err.empty());
    EXPECT_EQ(invert, 0);
}

} // namespace
