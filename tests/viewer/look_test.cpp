// The look of a volume from the command line and from keys: projections
// that leave the default picture alone, and keys that change the picture
// without sending the voxels again.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#define STB_IMAGE_IMPLEMENTATION
#include "../support/png_difference.h"

#include "look.h"
#include "ortho.h"
#include "viewer_test_util.h"

namespace {

// Two balls along the view axis (z) in an empty 24^3 box: a faint one in
// front, a bright one behind.
std::string ballsVolume()
{
    static std::string path = vt::writeVolume("look_balls.xrw", 24, 24, 24, 1, 1, 1, [](int x, int y, int z) {
        auto in = [&](int cz) {
            return (x - 12) * (x - 12) + (y - 12) * (y - 12) + (z - cz) * (z - cz) < 25;
        };
        return static_cast<unsigned char>(in(18) ? 90 : in(6) ? 230 : 0);
    });
    return path;
}

struct Shot {
    int status = -1;
    std::string png, err;
};

Shot shoot(std::vector<std::string> args, const std::string &tag)
{
    std::string png = vt::tmpPath(tag + ".png");
    std::vector<std::string> all = {"-f", ballsVolume()};
    all.insert(all.end(), args.begin(), args.end());
    for (const char *a : {"--size", "96x96", "--stats", "--png"})
        all.push_back(a);
    all.push_back(png);
    if (std::find(all.begin(), all.end(), "--frames") == all.end()) {
        all.push_back("--frames");
        all.push_back("1");
    }
    vt::RunResult r = vt::runViewer(all, tag);
    return {r.status, vt::readFile(png), r.err};
}

// The uploads count on the last --stats line.
long lastUploads(const std::string &err)
{
    size_t at = err.rfind("uploads=");
    return at == std::string::npos ? -1 : std::stol(err.substr(at + 8));
}

TEST(Look, CompositeIsTheDefaultPictureByteForByte)
{
    for (bool threeD : {false, true}) {
        std::vector<std::string> mode;
        if (threeD)
            mode = {"-3d"};
        Shot plain = shoot(mode, threeD ? "look_plain3d" : "look_plain");
        mode.insert(mode.end(), {"-blend", "composite"});
        Shot composite = shoot(mode, threeD ? "look_comp3d" : "look_comp");
        ASSERT_EQ(plain.status, 0) << plain.err;
        ASSERT_EQ(composite.status, 0) << composite.err;
        ASSERT_FALSE(plain.png.empty());
        EXPECT_EQ(plain.png, composite.png) << "-3d " << threeD;
        std::vector<std::string> mip = {"-blend", "mip"};
        if (threeD)
            mip.insert(mip.begin(), "-3d");
        Shot projected = shoot(mip, threeD ? "look_mip3d" : "look_mip");
        ASSERT_EQ(projected.status, 0) << projected.err;
        EXPECT_NE(plain.png, projected.png) << "-3d " << threeD;
    }
}

TEST(Look, ShadingIsOffByDefaultAndItsKeyMatchesTheOption)
{
    for (bool threeD : {false, true}) {
        std::vector<std::string> base;
        if (threeD)
            base = {"-3d"};
        Shot plain = shoot(base, threeD ? "look_unshaded3d" : "look_unshaded");
        std::vector<std::string> option = base, keyed = base;
        option.push_back("-shade");
        keyed.insert(keyed.end(), {"--frames", "3", "--keys", "1:L"});
        Shot shaded = shoot(option, threeD ? "look_shaded3d" : "look_shaded");
        Shot byKey = shoot(keyed, threeD ? "look_shadekey3d" : "look_shadekey");
        ASSERT_EQ(shaded.status, 0) << shaded.err;
        ASSERT_EQ(byKey.status, 0) << byKey.err;
        EXPECT_NE(plain.png, shaded.png) << "-3d " << threeD;
        EXPECT_EQ(byKey.png, shaded.png) << "-3d " << threeD;
        EXPECT_EQ(lastUploads(byKey.err), 1) << byKey.err;
    }
}

TEST(Look, UnknownProjectionIsRefused)
{
    Shot s = shoot({"-blend", "brightest"}, "look_bad");
    EXPECT_EQ(s.status, 255);
    EXPECT_NE(s.err.find("-blend needs composite, mip, minip or average, not 'brightest'!"),
              std::string::npos)
        << s.err;
}

TEST(Look, ProjectionKeyGivesTheOptionsPictureWithoutSendingVoxels)
{
    for (bool threeD : {false, true}) {
        std::vector<std::string> base;
        if (threeD)
            base = {"-3d"};
        std::vector<std::string> keyed = base;
        // m twice: composite, mip, minip.
        keyed.insert(keyed.end(), {"--frames", "4", "--keys", "1:m,2:m"});
        Shot byKeys = shoot(keyed, threeD ? "look_keys3d" : "look_keys");
        std::vector<std::string> option = base;
        option.insert(option.end(), {"-blend", "minip"});
        Shot byOption = shoot(option, threeD ? "look_opt3d" : "look_opt");
        ASSERT_EQ(byKeys.status, 0) << byKeys.err;
        ASSERT_EQ(byOption.status, 0) << byOption.err;
        EXPECT_EQ(byKeys.png, byOption.png) << "-3d " << threeD;
        EXPECT_EQ(lastUploads(byKeys.err), 1) << byKeys.err;
        EXPECT_NE(byKeys.err.find("projection minip"), std::string::npos) << byKeys.err;
    }
}

TEST(Look, OpacityMapAndResetKeysChangeOnlyTheLookup)
{
    for (bool threeD : {false, true}) {
        SCOPED_TRACE(threeD ? "-3d" : "slices");
        std::vector<std::string> base;
        if (threeD)
            base = {"-3d"};
        std::string tag = threeD ? "look_3d" : "look_";
        auto with = [&](std::vector<std::string> more) {
            std::vector<std::string> all = base;
            all.insert(all.end(), more.begin(), more.end());
            return all;
        };
        Shot plain = shoot(base, tag + "rplain");
        Shot changed = shoot(with({"--frames", "4", "--keys", "1:],2:c"}), tag + "changed");
        Shot more = shoot(with({"--frames", "5", "--keys", "1:],2:c,3:]"}), tag + "more");
        Shot reset = shoot(with({"--frames", "4", "--keys", "1:],2:c,3:R"}), tag + "reset");
        ASSERT_EQ(changed.status, 0) << changed.err;
        ASSERT_EQ(reset.status, 0) << reset.err;
        EXPECT_TRUE(changed.png != plain.png);
        EXPECT_TRUE(more.png != changed.png);
        EXPECT_TRUE(reset.png == plain.png);
        // A 3-D texture sends the voxels' values once, at the first change;
        // later changes send nothing.
        long sent = threeD ? 2 : 1;
        EXPECT_EQ(lastUploads(changed.err), sent) << changed.err;
        EXPECT_EQ(lastUploads(more.err), sent) << more.err;
        EXPECT_LE(lastUploads(reset.err), sent) << reset.err;
        EXPECT_NE(changed.err.find("opacity 0 .. 0.25, map grey"), std::string::npos) << changed.err;
        EXPECT_EQ(changed.err.find("only the projection changes"), std::string::npos) << changed.err;
        // The ramp raised by the key draws what the command line's draws.
        Shot raised = shoot(with({"--frames", "3", "--keys", "1:]"}), tag + "raised");
        Shot given = shoot(with({"-a", "0", "0.25"}), tag + "given");
        ASSERT_EQ(raised.status, 0) << raised.err;
        EXPECT_TRUE(raised.png != plain.png);
        double off = pngMeanDifference(raised.png, given.png), shown = pngMeanDifference(given.png, plain.png);
        EXPECT_GT(shown, 0.1) << "the ramp shows";
        EXPECT_GE(off, 0);
        // Drawn from the values, edges differ a little from the texels';
        // voxels left empty would miss the balls (about 7.5).
        EXPECT_LT(off, 3.0) << shown;
    }
}

} // namespace

namespace {

// Window and level follow in the slice views too, in either mode: their
// rendering takes the new data range (at full opacity) with the volume's own.
TEST(Look, DragWindowReachesTheSliceViews)
{
    for (bool texture : {false, true}) {
        std::vector<std::string> words = {"-f", ballsVolume(), "-ortho"};
        if (texture)
            words.push_back("-3d");
        std::string err;
        ASSERT_EQ(vt::startQuietly(words, &err), 0) << err;
        ASSERT_GE(orthoGrid[0], 0);
        int phase = 0;
        float dx = 0, dy = 0;
        testing::internal::CaptureStderr();
        lookDrag(&phase, &dx, &dy);
        phase = 1;
        dx = 0;
        dy = 0.25f; // the centre up by a quarter of the value range
        lookDrag(&phase, &dx, &dy);
        phase = 2;
        lookDrag(&phase, &dx, &dy);
        testing::internal::GetCapturedStderr();
        const vq::Volume &g = vqtest::scene().volumes[orthoGrid[0]];
        EXPECT_FLOAT_EQ(g.dmin, dmin[0]) << texture;
        EXPECT_FLOAT_EQ(g.dmax, dmax[0]) << texture;
        EXPECT_GT(dmin[0], 0.2f) << texture;
        EXPECT_FLOAT_EQ(g.amax, 1.0f);
    }
}

} // namespace
