// xrwview with FreeSurfer files: a tkregister sphere with its geometry on
// the outline of the MGZ ball it was made around, overlay colours against
// the same surface drawn in that colour, MGZ against its NIfTI twin, and
// refused command lines.
#include <cmath>
#include <fstream>
#include <sstream>

#include "fixtures.h"

namespace {

using fst::fixture;

std::string png(const std::string &tag)
{
    return scratchDir() + "/" + tag + ".png";
}

// Draws the command line (box off, 160x160) into tag.png; the image.
fst::Image draw(std::vector<std::string> args, const std::string &tag)
{
    args.insert(args.end(), {"-x", "--png", png(tag), "--size", "160x160", "--frames", "1"});
    ProgramRun r = fst::runViewer(args, tag);
    EXPECT_EQ(r.status, 0) << tag << ": " << r.err;
    return fst::readPng(png(tag));
}

std::string describe(const fst::Box &b)
{
    return std::to_string(b.x0) + "," + std::to_string(b.y0) + " - " + std::to_string(b.x1) + "," +
           std::to_string(b.y1);
}

// The bright ball of the volume and each sphere around it, drawn alone, cover the same pixels.
void checkSpheresOnTheBall(const std::vector<std::string> &vol)
{
    fst::Image ball = draw(vol, "ball");
    auto withSurface = [&](const std::string &file, const std::string &tag) {
        std::vector<std::string> a = vol;
        a.insert(a.end(), {"-SV", "-o", file, "sphere", "1", "1", "1", "1"});
        return draw(a, tag);
    };
    fst::Box b = fst::brightBox(ball, 150);
    ASSERT_GE(b.x0, 0);
    // The ball is well inside the image and a fair size.
    EXPECT_GT(b.x1 - b.x0, 20);
    for (const char *name : {"lh.sphere_tkr", "lh.sphere_scanner", "sphere_b64gz.surf.gii"}) {
        fst::Box s = fst::brightBox(withSurface(fixture(name), name), 150);
        EXPECT_NEAR(s.x0, b.x0, 2) << name << ": " << describe(s) << " ball " << describe(b);
        EXPECT_NEAR(s.x1, b.x1, 2) << name << ": " << describe(s) << " ball " << describe(b);
        EXPECT_NEAR(s.y0, b.y0, 2) << name << ": " << describe(s) << " ball " << describe(b);
        EXPECT_NEAR(s.y1, b.y1, 2) << name << ": " << describe(s) << " ball " << describe(b);
    }
    // Without its geometry the tkregister sphere is off by c_ras.
    fst::Box off = fst::brightBox(withSurface(fixture("lh.sphere_tkr_novi"), "novi"), 150);
    EXPECT_GT(std::abs(off.x0 - b.x0) + std::abs(off.y0 - b.y0), 8)
        << describe(off) << " ball " << describe(b);
}

TEST(FreeSurferProgram, SphereWithItsGeometryDrawsOnTheBallsOutline)
{
    REQUIRE_FIXTURES();
    for (const char *volume : {"ball.mgz", "ball.nii.gz"})
        checkSpheresOnTheBall({"-f", fixture(volume), "-W", "0", "255"});
}

TEST(FreeSurferProgram, OverlayColoursAreThePixelsOfThatColour)
{
    REQUIRE_FIXTURES();
    const std::vector<std::string> vol = {"-f", fixture("ball.mgz"), "-SV"};
    auto surface = [&](const std::string &rgb) {
        std::vector<std::string> a = vol;
        a.insert(a.end(), {"-o", fixture("lh.sphere_scanner"), "s"});
        std::istringstream in(rgb);
        for (std::string w; in >> w;)
            a.push_back(w);
        a.push_back("1");
        return a;
    };
    fst::Image orange = draw(surface("1 0.5 0"), "orange");
    ASSERT_GT(orange.w, 0);
    ASSERT_GE(fst::brightBox(orange, 100).x0, 0);
    std::vector<std::string> a = surface("0 0 1");
    a.insert(a.end(), {"-ov", fixture("lh.thickness"), "0", "10"});
    EXPECT_EQ(draw(a, "thick").rgba, orange.rgba);
    a = surface("0 0 1");
    a.insert(a.end(), {"-ov", fixture("uniform.mgh"), "0", "10", "heat"});
    EXPECT_EQ(draw(a, "mghheat").rgba, orange.rgba);
    // An annotation of one label draws in that label's table colour.
    fst::Image red = draw(surface("0.784313725 0.117647059 0.156862745"), "red");
    a = surface("0 0 1");
    a.insert(a.end(), {"-ov", fixture("lh.red.annot")});
    EXPECT_EQ(draw(a, "annot").rgba, red.rgba);
    EXPECT_NE(red.rgba, orange.rgba);
}

TEST(FreeSurferProgram, MgzAndItsNiftiTwinListAndDrawTheSame)
{
    REQUIRE_FIXTURES();
    for (const auto &pair :
         std::vector<std::pair<std::string, std::string>>{{"ball.mgz", "ball.nii.gz"},
                                                          {"ball.mgh", "ball.nii.gz"},
                                                          {"ball_short.mgh", "ball_short.nii"},
                                                          {"ball_int.mgh", "ball_int.nii"},
                                                          {"ball_float.mgh", "ball_float.nii"}}) {
        std::string m = fixture(pair.first), n = fixture(pair.second);
        ProgramRun a =
            fst::runViewer({"-f", m, "--png", png("mgh"), "--size", "96x96", "--frames", "1"}, "mgh");
        ProgramRun b =
            fst::runViewer({"-f", n, "--png", png("nii"), "--size", "96x96", "--frames", "1"}, "nii");
        ASSERT_EQ(a.status, 0) << a.err;
        ASSERT_EQ(b.status, 0) << b.err;
        EXPECT_NE(a.err.find("MGH, window"), std::string::npos) << a.err;
        std::string la = a.out, lb = b.out;
        for (size_t at; (at = la.find(m)) != std::string::npos;)
            la.replace(at, m.size(), "NAME");
        for (size_t at; (at = lb.find(n)) != std::string::npos;)
            lb.replace(at, n.size(), "NAME");
        EXPECT_EQ(la, lb) << pair.first;
        // The same transform, so the same image.
        std::string ea = a.err.substr(a.err.find("import: ")), eb = b.err.substr(b.err.find("import: "));
        ea = ea.substr(ea.find('\n'));
        eb = eb.substr(eb.find('\n'));
        EXPECT_EQ(ea, eb) << pair.first;
        fst::Image ia = fst::readPng(png("mgh")), ib = fst::readPng(png("nii"));
        EXPECT_GT(ia.w, 0);
        EXPECT_EQ(ia.rgba, ib.rgba) << pair.first;
    }
}

TEST(FreeSurferProgram, OverlayValuesAreOptionalAndOptionsAfterThemStillCount)
{
    REQUIRE_FIXTURES();
    const std::string vol = fixture("ball.mgz"), sphere = fixture("lh.sphere_scanner");
    ProgramRun r = fst::runViewer({"-f", vol, "-o", sphere, "s", "1", "1", "1", "1", "-ov",
                                   fixture("signed.mgz"), "twosided", "-Vx", "--nodraw", "--frames", "0"},
                                  "ovmap");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("twosided 0 .. 5"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("calculating vertex normals"), std::string::npos) << r.err;
    r = fst::runViewer({"-f", vol, "-o", sphere, "s", "1", "1", "1", "1", "-ov", fixture("lh.ramp"), "-1",
                        "2.5", "-x", "--nodraw", "--frames", "0"},
                       "ovrange");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("heat -1 .. 2.5"), std::string::npos) << r.err;
}

TEST(FreeSurferProgram, RefusedCommandLinesAreOneLineAndStatus255)
{
    REQUIRE_FIXTURES();
    const std::string vol = fixture("ball.mgz"), sphere = fixture("lh.sphere_scanner");
    struct Case {
        std::vector<std::string> args;
        std::string says;
    };
    std::string cut = scratchDir() + "/cut.mgz";
    {
        std::string bytes = readWholeFile(fixture("ball.mgh"));
        std::ofstream(cut, std::ios::binary) << bytes.substr(0, bytes.size() / 2);
    }
    const std::vector<Case> cases = {
        {{"-f", vol, "-ov", fixture("lh.thickness")}, "no surface (-o) before it"},
        {{"-f", vol, "-o", sphere, "s", "1", "1", "1", "1", "-ov", fixture("lh.short")}, "641 values"},
        {{"-f", vol, "-o", sphere, "s", "1", "1", "1", "1", "-ov", fixture("lh.thickness"), "5", "1"},
         "above hi"},
        {{"-f", vol, "-o", sphere, "s", "1", "1", "1", "1", "-ov", fixture("lh.thickness"), "5"},
         "without hi"},
        {{"-f", vol, "-o", sphere, "s", "1", "1", "1", "1", "-ov", fixture("lh.thickness"), "jet"}, "'jet'"},
        {{"-f", vol, "-o", sphere, "s", "1", "1", "1", "1", "-ov", fixture("lh.thickness"), "0", "1", "hot"},
         "'hot'"},
        {{"-f", vol, "-o", fixture("lh.curv"), "s", "1", "1", "1", "1"}, "quadrangle"},
        {{"-f", vol, "-o", fixture("ball.mgz"), "s", "1", "1", "1", "1"}, "unknown input surface format"},
        {{"-f", cut}, "truncated"},
    };
    for (const Case &c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--nodraw", "--frames", "0"});
        ProgramRun r = fst::runViewer(args, "refused");
        EXPECT_EQ(r.status, 255) << c.says;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        // The message is the last line and the only one about the fault.
        size_t last = r.err.rfind('\n', r.err.size() - 2);
        EXPECT_NE(r.err.substr(last == std::string::npos ? 0 : last).find(c.says), std::string::npos)
            << r.err;
    }
}

TEST(FreeSurferProgram, TracksStayPutWhenSurfacesAreDrawn)
{
    REQUIRE_FIXTURES();
    // The imported volume's world window is not symmetric about the origin.
    std::ofstream(scratchDir() + "/t0.txt") << "-12 2 12\n8 2 12\n8 -6 20\n";
    std::ofstream(scratchDir() + "/tri.obj") << "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";
    const std::vector<std::string> base = {
        "-f", fixture("ball.mgz"), "-SV", "-Tf", scratchDir() + "/t%d.txt", "--keys", "0:2"};
    fst::Image alone = draw(base, "tracks");
    ASSERT_GE(fst::brightBox(alone, 100).x0, 0);
    // Surfaces of no opacity change no pixel: only the tracks' place shows.
    for (const std::string &surface : {scratchDir() + "/tri.obj", fixture("lh.sphere_tkr")}) {
        std::vector<std::string> a = base;
        a.insert(a.end(), {"-o", surface, "clear", "1", "1", "1", "0"});
        EXPECT_EQ(draw(a, "tracks_surface").rgba, alone.rgba) << surface;
    }
}

} // namespace
