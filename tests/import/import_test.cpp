// Importing NIfTI, NRRD, MetaImage, DICOM and TIFF: the same volume in every
// format gives the same bytes, sizes and matrix; the window; xrwview and
// xrwconvert on such files; bad files refused with one line.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../support/run_program.h"
#include "import.h"
#include "import_files.h"
#include "startup.h"
#include "xrw.h"

namespace {

using it::TestVolume;
using it::tmpPath;

std::string readFile(const std::string &path)
{
    return readWholeFile(path);
}

ProgramRun runProgram(const std::string &prog, const std::vector<std::string> &args, const std::string &tag)
{
    return runProgramFiles(std::string(BIN_DIR) + "/" + prog, args, tmpPath(tag + ".out"),
                           tmpPath(tag + ".err"));
}

int lineCount(const std::string &s)
{
    int n = 0;
    for (char c : s)
        n += c == '\n';
    return n;
}

// The byte the window -100 .. 313 gives value v, worked out separately.
unsigned char expectedByte(int v)
{
    if (v <= -100)
        return 0;
    if (v >= 313)
        return 255;
    return static_cast<unsigned char>(std::floor((v + 100) * 255.0 / 413.0 + 0.5));
}

// Every format of the test volume, by name.
struct Files {
    TestVolume t;
    std::vector<std::pair<std::string, std::string>> all; // label, path
    std::string nrrd, tiff, dicomDir;
    Files()
    {
        std::string raw = t.bytes();
        auto add = [&](const std::string &label, const std::string &name, const std::string &bytes) {
            std::string p = tmpPath(name);
            it::writeBytes(p, bytes);
            all.push_back({label, p});
            return p;
        };
        add("nifti1", "vol.nii", it::nifti1Header(t) + raw);
        add("nifti1 gz", "vol.nii.gz", it::gzipped(it::nifti1Header(t) + raw));
        add("nifti2", "vol_nifti2", it::nifti2Header(t) + raw); // no extension
        // Recognised by content: the name says nothing.
        nrrd = add("nrrd raw", "vol_nrrd.dat", it::nrrdHeader(t, "raw") + raw);
        add("nrrd gzip", "volgz.nrrd", it::nrrdHeader(t, "gzip") + it::gzipped(raw));
        it::writeBytes(tmpPath("detached.raw"), raw);
        add("nhdr", "detached.nhdr", it::nrrdHeader(t, "raw", "import_detached.raw"));
        add("mha", "vol.mha", it::metaHeader(t, "LOCAL") + raw);
        std::string z = it::zlibbed(raw);
        add("mha compressed", "volz.mha", it::metaHeader(t, "LOCAL", z.size()) + z);
        it::writeBytes(tmpPath("meta.raw"), raw);
        add("mhd", "vol.mhd", it::metaHeader(t, "import_meta.raw"));
        dicomDir = tmpPath("dicom");
        mkdir(dicomDir.c_str(), 0755);
        it::writeDicomSeries(t, dicomDir, "1.2.826.0.1.3680043.2.1125.77", "slice");
        all.push_back({"dicom folder", dicomDir});
        all.push_back({"dicom file", dicomDir + "/slice2.dcm"});
        tiff = tmpPath("vol.tif");
        it::writeBytes(tiff, it::tiffBytes(t));
    }
};

const Files &files()
{
    static Files f;
    return f;
}

void expectBytes(const Xraw *x, const TestVolume &t, const std::string &label)
{
    ASSERT_EQ(x->nx, t.nx) << label;
    ASSERT_EQ(x->ny, t.ny) << label;
    ASSERT_EQ(x->nz, t.nz) << label;
    int wrong = 0;
    for (size_t i = 0; i < t.v.size(); i++)
        wrong += x->data[i] != expectedByte(t.v[i]);
    EXPECT_EQ(wrong, 0) << label;
    for (int k = 0; k < 256; k++)
        ASSERT_TRUE(x->cmap_r[k] == k && x->cmap_g[k] == k && x->cmap_b[k] == k) << label;
}

TEST(ImportFormats, RecognisedByContentNotName)
{
    const Files &f = files();
    const int want[] = {IMPORT_NIFTI1, IMPORT_NIFTI1, IMPORT_NIFTI2, IMPORT_NRRD,  IMPORT_NRRD, IMPORT_NRRD,
                        IMPORT_META,   IMPORT_META,   IMPORT_META,   IMPORT_DICOM, IMPORT_DICOM};
    for (size_t i = 0; i < f.all.size(); i++)
        EXPECT_EQ(recogniseVolumeFile(f.all[i].second.c_str()), want[i]) << f.all[i].first;
    EXPECT_EQ(recogniseVolumeFile(f.tiff.c_str()), IMPORT_TIFF);
    // An XRW file and other content stay with the XRW reader.
    Xraw x{};
    std::string xrw = tmpPath("plain.nii");
    std::snprintf(x.filename, sizeof x.filename, "%s", xrw.c_str());
    unsigned char one = 7;
    x.nx = x.ny = x.nz = 1;
    x.dx = x.dy = x.dz = 1;
    x.data = &one;
    ASSERT_EQ(saveXraw(&x), 0);
    EXPECT_EQ(recogniseVolumeFile(xrw.c_str()), IMPORT_NONE);
    it::writeBytes(tmpPath("text.txt"), "hello = world\n");
    EXPECT_EQ(recogniseVolumeFile(tmpPath("text.txt").c_str()), IMPORT_NONE);
    EXPECT_EQ(recogniseVolumeFile(tmpPath("absent").c_str()), IMPORT_NONE);
}

TEST(ImportFormats, EveryFormatGivesTheSameBytesSizesAndMatrix)
{
    const Files &f = files();
    const double window[2] = {-100, 313};
    for (const auto &entry : f.all) {
        ImportedVolume iv;
        ASSERT_EQ(importVolume(entry.second.c_str(), window, &iv), 0) << entry.first;
        expectBytes(iv.xraw, f.t, entry.first);
        EXPECT_FLOAT_EQ(iv.xraw->dx, 0.5f) << entry.first;
        EXPECT_FLOAT_EQ(iv.xraw->dy, 0.75f) << entry.first;
        EXPECT_FLOAT_EQ(iv.xraw->dz, 2.0f) << entry.first;
        for (int r = 0; r < 4; r++)
            for (int c = 0; c < 4; c++)
                EXPECT_NEAR(iv.matrix[r][c], f.t.matrix(r, c), 1e-5) << entry.first << " m" << r << c;
        EXPECT_STREQ(iv.xraw->filename, entry.second.c_str());
        freeXraw(iv.xraw);
    }
    // TIFF has no geometry: unit voxels at the origin.
    ImportedVolume iv;
    ASSERT_EQ(importVolume(f.tiff.c_str(), window, &iv), 0);
    expectBytes(iv.xraw, f.t, "tiff");
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++)
            EXPECT_FLOAT_EQ(iv.matrix[r][c], r == c ? 1.0f : 0.0f);
    freeXraw(iv.xraw);
}

// Every file voxel lands where its file puts it: the float grid runs y and z
// backwards and averages boxes, and its transform must undo both. Each
// voxel of the test volume has its own value, so a grid voxel's file box is
// found by value and its drawn position compared with the file's matrix
// image of the voxel (or, averaged, of the box centre).
TEST(ImportFormats, EveryVoxelLandsWhereItsFilePutsIt)
{
    const Files &f = files();
    const double window[2] = {-100, 313};
    for (const auto &entry : f.all) {
        ImportedVolume iv;
        ASSERT_EQ(importVolume(entry.second.c_str(), window, &iv), 0) << entry.first;
        const Xraw *x = iv.xraw;
        for (const std::vector<int> &stride : {std::vector<int>{1, 1, 1}, {2, 2, 1}}) {
            Xvol *g = Xraw2Xvol(x, stride.data());
            ASSERT_NE(g, nullptr);
            const int v = 1; // not volume 0: no world window is set
            settings.volume[v].useMatrix = 0;
            settings.volume[v].haveFileMatrix = 1;
            std::memcpy(settings.volume[v].fileMatrix, iv.matrix, sizeof iv.matrix);
            std::memcpy(settings.volume[v].stride, stride.data(), sizeof settings.volume[v].stride);
            float tr[12];
            ASSERT_EQ(setVolumeTransform(v, g, tr), 0);
            for (int i = 0; i < g->nx; i++)
                for (int j = 0; j < g->ny; j++)
                    for (int k = 0; k < g->nz; k++) {
                        bool found = false;
                        double centre[3] = {0, 0, 0};
                        for (int a = 0; a + stride[0] <= x->nx && !found; a += stride[0])
                            for (int b = 0; b + stride[1] <= x->ny && !found; b += stride[1])
                                for (int c = 0; c + stride[2] <= x->nz && !found; c += stride[2]) {
                                    double sum = 0;
                                    for (int da = 0; da < stride[0]; da++)
                                        for (int db = 0; db < stride[1]; db++)
                                            for (int dc = 0; dc < stride[2]; dc++)
                                                sum +=
                                                    x->data[(a + da) + x->nx * ((b + db) + x->ny * (c + dc))];
                                    double n = stride[0] * stride[1] * stride[2];
                                    if (std::fabs(sum / n / 255.0 - g->data[i][j][k]) < 1e-6) {
                                        found = true;
                                        centre[0] = a + (stride[0] - 1) / 2.0;
                                        centre[1] = b + (stride[1] - 1) / 2.0;
                                        centre[2] = c + (stride[2] - 1) / 2.0;
                                    }
                                }
                        ASSERT_TRUE(found) << entry.first << " " << i << j << k;
                        for (int r = 0; r < 3; r++) {
                            double want = f.t.matrix(r, 3);
                            for (int c = 0; c < 3; c++)
                                want += f.t.matrix(r, c) * centre[c];
                            double got =
                                tr[4 * r] + tr[4 * r + 1] * i + tr[4 * r + 2] * j + tr[4 * r + 3] * k;
                            EXPECT_NEAR(got, want, 1e-4)
                                << entry.first << " voxel " << i << j << k << " row " << r;
                        }
                    }
            freeXvol(g);
        }
        freeXraw(iv.xraw);
    }
}

TEST(ImportWindow, PercentilesRoundingAndEnds)
{
    std::vector<float> v;
    for (int i = 199; i >= 0; i--)
        v.push_back(static_cast<float>(i));
    v.push_back(NAN);
    v.push_back(INFINITY);
    double lo, hi;
    percentileWindow(v, &lo, &hi);
    // 200 finite values: ranks round(0.995) = 1 and round(198.005) = 198.
    EXPECT_EQ(lo, 1.0);
    EXPECT_EQ(hi, 198.0);
    percentileWindow(std::vector<float>(), &lo, &hi);
    EXPECT_EQ(lo, 0.0);
    EXPECT_EQ(hi, 0.0);
    EXPECT_EQ(windowByte(1.0f, 1, 198), 0);
    EXPECT_EQ(windowByte(-5.0f, 1, 198), 0);
    EXPECT_EQ(windowByte(198.0f, 1, 198), 255);
    EXPECT_EQ(windowByte(1e30f, 1, 198), 255);
    EXPECT_EQ(windowByte(NAN, 1, 198), 0);
    EXPECT_EQ(windowByte(99.5f, 1, 198), 128); // 127.5 rounds up
    EXPECT_EQ(windowByte(2.0f, 1, 256), 1);
    // A constant volume: all at the window's low end.
    EXPECT_EQ(windowByte(3.0f, 3, 3), 0);
}

TEST(ImportViewer, ListingAndTheOneLineAboutTheImport)
{
    const Files &f = files();
    ProgramRun r = runProgram("xrwview", {"-f", f.nrrd, "--nodraw", "--frames", "0"}, "view_default");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("XRW file: '" + f.nrrd +
                         "'\nvolume dimensions:      5      4      3\n"
                         "      voxel sizes:  0.500  0.750  2.000\n"),
              std::string::npos)
        << r.out;
    // 60 values: the percentile ranks are the first and the last.
    EXPECT_NE(
        r.err.find(
            "import: '" + f.nrrd +
            "': NRRD, window -100 .. 313 (0.5th to 99.5th percentile), transform from the file applied\n"),
        std::string::npos)
        << r.err;
    // The file's matrix goes the -M way: printed, and the world window from it.
    EXPECT_NE(r.err.find("0.000000 -0.750000 0.000000 10.000000 \n0.500000 0.000000 0.000000 -20.000000 \n"),
              std::string::npos)
        << r.err;

    std::string m = tmpPath("unit.matrix");
    it::writeBytes(m, "1 0 0 0\n0 1 0 0\n0 0 1 0\n0 0 0 1\n");
    r = runProgram("xrwview", {"-f", f.nrrd, "-W", "-20", "50.5", "-M", m, "--nodraw", "--frames", "0"},
                   "view_w");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("NRRD, window -20 .. 50.5 (-W), transform from the file not applied (-M given)\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("blc = 0.000000,0.000000,0.000000; trc = 4.000000,3.000000,2.000000"),
              std::string::npos);

    for (const std::vector<std::string> &bad : {std::vector<std::string>{"-f", f.nrrd, "-W", "5", "1"},
                                                {"-f", f.nrrd, "-W", "1", "x"},
                                                {"-f", f.nrrd, "-W", "nan", "1"}}) {
        std::vector<std::string> args = bad;
        args.insert(args.end(), {"--nodraw", "--frames", "0"});
        r = runProgram("xrwview", args, "view_badw");
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(r.err, "-W needs two finite numbers lo < hi!\n");
    }
    // An XRW file, even one named .nii, stays with the XRW reader; -W has
    // nothing to do there and says so.
    Xraw x{};
    std::string xrw = tmpPath("viewer_plain.nii");
    std::snprintf(x.filename, sizeof x.filename, "%s", xrw.c_str());
    unsigned char voxels[8] = {0, 10, 20, 30, 40, 50, 60, 70};
    x.nx = x.ny = x.nz = 2;
    x.dx = x.dy = x.dz = 1;
    x.data = voxels;
    ASSERT_EQ(saveXraw(&x), 0);
    r = runProgram("xrwview", {"-f", xrw, "-W", "0", "1", "--nodraw", "--frames", "0"}, "view_xrw");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("XRW file: '" + xrw + "'\nvolume dimensions:      2      2      2\n", 0), 0u)
        << r.out;
    EXPECT_NE(r.err.find("-W ignored for '" + xrw + "': XRW voxels are bytes already.\n"), std::string::npos);
    EXPECT_EQ(r.err.find("import:"), std::string::npos);
    // -W before any -f is refused like the other volume options.
    r = runProgram("xrwview", {"-W", "1", "2", "-f", f.nrrd, "--nodraw"}, "view_wfirst");
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err.rfind("usage: ", 0), 0u);
}

// The libraries a run loaded, as the dynamic loader lists them.
std::string loadedLibraries(const std::vector<std::string> &args, const std::string &tag, int *status)
{
    setenv("LD_DEBUG", "files", 1);
    ProgramRun r = runProgram("xrwview", args, tag);
    unsetenv("LD_DEBUG");
    *status = r.status;
    return r.err;
}

bool mentionsImportLibraries(const std::string &log)
{
    for (const char *lib :
         {"xrwview-import.so", "libITK", "libgdcm", "libnifti", "libtiff", "libznz", "libgifti"})
        if (log.find(lib) != std::string::npos)
            return true;
    return false;
}

TEST(ImportViewer, OnlyFilesThatAreNotXrwLoadThePlugin)
{
    const Files &f = files();
    Xraw x{};
    std::string xrw = tmpPath("plugin_plain.xrw");
    std::snprintf(x.filename, sizeof x.filename, "%s", xrw.c_str());
    unsigned char voxels[8] = {0, 10, 20, 30, 40, 50, 60, 70};
    x.nx = x.ny = x.nz = 2;
    x.dx = x.dy = x.dz = 1;
    x.data = voxels;
    ASSERT_EQ(saveXraw(&x), 0);
    int status = -1;
    std::string log = loadedLibraries({"-f", xrw, "--nodraw", "--frames", "1"}, "plugin_xrw", &status);
    EXPECT_EQ(status, 0) << log;
    // The loader's own lines are there (else this proves nothing) and name
    // none of the import libraries.
    EXPECT_NE(log.find("libvqscene"), std::string::npos) << log;
    EXPECT_FALSE(mentionsImportLibraries(log)) << log;

    // A NRRD file brings the plug-in and ITK in, and reads as before.
    log = loadedLibraries({"-f", f.nrrd, "--nodraw", "--frames", "0"}, "plugin_nrrd", &status);
    EXPECT_EQ(status, 0) << log;
    EXPECT_NE(log.find("xrwview-import.so"), std::string::npos);
    EXPECT_NE(log.find("libITK"), std::string::npos);
    EXPECT_NE(log.find("import: '" + f.nrrd + "': NRRD"), std::string::npos);
    // Several volumes, XRW first: the plug-in opens for the second.
    log = loadedLibraries({"-f", xrw, "-f", f.tiff, "--nodraw", "--frames", "0"}, "plugin_both", &status);
    EXPECT_EQ(status, 0) << log;
    size_t plugin = log.find("xrwview-import.so"), listed = log.find("import: '" + f.tiff + "': TIFF");
    EXPECT_NE(plugin, std::string::npos);
    EXPECT_NE(listed, std::string::npos);
}

TEST(ImportViewer, WithoutThePluginFilesAreReadAsXrw)
{
    // The program alone in a folder of its own: no plug-in beside it or in
    // ../lib (its libraries come from the build's run path).
    std::string dir = tmpPath("lonely/bin");
    mkdir(tmpPath("lonely").c_str(), 0755);
    mkdir(dir.c_str(), 0755);
    std::string copy = dir + "/xrwview";
    it::writeBytes(copy, readFile(std::string(BIN_DIR) + "/xrwview"));
    ASSERT_EQ(chmod(copy.c_str(), 0755), 0);
    const Files &f = files();
    ProgramRun r = runProgramFiles(copy, {"-f", f.nrrd, "--nodraw", "--frames", "0"}, tmpPath("lonely.out"),
                                   tmpPath("lonely.err"));
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err.rfind("xrwview: import plug-in not loaded (no xrwview-import.so beside " + dir +
                              "): reading as XRW.\n",
                          0),
              0u)
        << r.err;
    EXPECT_NE(r.err.find("Failed to open or read '" + f.nrrd + "'.\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("import:"), std::string::npos);
}

TEST(ImportConvert, OutputShowsWhatDirectOpeningShows)
{
    const Files &f = files();
    for (const std::string &in : {f.dicomDir, f.nrrd}) {
        std::string out = tmpPath("conv.xrw"), m = tmpPath("conv.matrix");
        ProgramRun c = runProgram("xrwconvert", {in, out, "-M", m}, "conv");
        ASSERT_EQ(c.status, 0) << c.err;
        Xraw *x = loadXraw(out.c_str());
        ASSERT_NE(x, nullptr);
        ImportedVolume iv;
        ASSERT_EQ(importVolume(in.c_str(), nullptr, &iv), 0);
        ASSERT_EQ(x->nx * x->ny * x->nz, iv.xraw->nx * iv.xraw->ny * iv.xraw->nz);
        EXPECT_EQ(std::memcmp(x->data, iv.xraw->data, 60), 0);
        EXPECT_EQ(x->dz, iv.xraw->dz);
        freeXraw(x);
        freeXraw(iv.xraw);
        std::istringstream mat(readFile(m));
        for (int r = 0; r < 4; r++)
            for (int col = 0; col < 4; col++) {
                double v = NAN;
                mat >> v;
                EXPECT_NEAR(v, f.t.matrix(r, col), 1e-6) << in << " m" << r << col;
            }
        ProgramRun a =
            runProgram("xrwview", {"-f", in, "--png", tmpPath("direct.png"), "--size", "96x96"}, "direct");
        ProgramRun b = runProgram(
            "xrwview", {"-f", out, "-M", m, "--png", tmpPath("conv.png"), "--size", "96x96"}, "viaxrw");
        ASSERT_EQ(a.status, 0) << a.err;
        ASSERT_EQ(b.status, 0) << b.err;
        std::string pa = readFile(tmpPath("direct.png")), pb = readFile(tmpPath("conv.png"));
        EXPECT_GT(pa.size(), 100u);
        EXPECT_EQ(pa, pb) << in;
        // The listings differ only in the name.
        std::string la = a.out, lb = b.out;
        for (size_t at; (at = la.find(in)) != std::string::npos;)
            la.replace(at, in.size(), "NAME");
        for (size_t at; (at = lb.find(out)) != std::string::npos;)
            lb.replace(at, out.size(), "NAME");
        EXPECT_EQ(la, lb);
    }
    // A window given is the one used; a failed conversion keeps the old file.
    std::string out = tmpPath("convw.xrw");
    ASSERT_EQ(runProgram("xrwconvert", {f.nrrd, out, "-W", "-100", "313"}, "convw").status, 0);
    Xraw *x = loadXraw(out.c_str());
    ASSERT_NE(x, nullptr);
    expectBytes(x, f.t, "xrwconvert -W");
    freeXraw(x);
    std::string before = readFile(out);
    std::string bad = tmpPath("short.nrrd");
    it::writeBytes(bad, it::nrrdHeader(f.t, "raw") + f.t.bytes().substr(0, 50));
    ProgramRun c = runProgram("xrwconvert", {bad, out}, "convbad");
    EXPECT_EQ(c.status, 255);
    EXPECT_EQ(lineCount(c.err), 1) << c.err;
    EXPECT_EQ(readFile(out), before);
    EXPECT_EQ(runProgram("xrwconvert", {f.nrrd}, "convusage").status, 255);
    EXPECT_EQ(runProgram("xrwconvert", {out, tmpPath("again.xrw")}, "convxrw").status, 255);
}

// xrwview on a bad file: status 255 and one line naming the file.
void expectRefused(const std::string &path, const std::string &what)
{
    ProgramRun r = runProgram("xrwview", {"-f", path, "--nodraw", "--frames", "0"}, "bad");
    EXPECT_EQ(r.status, 255) << what << ": " << r.err;
    EXPECT_EQ(lineCount(r.err), 1) << what << ": " << r.err;
    EXPECT_NE(r.err.find("'" + path + "'"), std::string::npos) << what << ": " << r.err;
    EXPECT_EQ(r.out, "") << what;
}

TEST(ImportBadInput, RefusedWithOneLine)
{
    const TestVolume t;
    std::string raw = t.bytes();
    auto file = [](const std::string &name, const std::string &bytes) {
        std::string p = tmpPath(name);
        it::writeBytes(p, bytes);
        return p;
    };
    expectRefused(file("trunc.nrrd", it::nrrdHeader(t, "raw") + raw.substr(0, raw.size() - 10)),
                  "truncated nrrd");
    expectRefused(file("trunc.nii", it::nifti1Header(t) + raw.substr(0, 31)), "truncated nifti");
    expectRefused(file("trunc.mha", it::metaHeader(t, "LOCAL") + raw.substr(0, 7)), "truncated mha");
    std::string gz = it::gzipped(raw);
    expectRefused(file("truncgz.nrrd", it::nrrdHeader(t, "gzip") + gz.substr(0, gz.size() / 2)),
                  "truncated gzip nrrd");
    std::string z = it::zlibbed(raw);
    expectRefused(file("truncz.mha", it::metaHeader(t, "LOCAL", z.size()) + z.substr(0, z.size() / 2)),
                  "truncated compressed mha");
    std::string niigz = it::gzipped(it::nifti1Header(t) + raw);
    expectRefused(file("truncgz.nii.gz", niigz.substr(0, niigz.size() - 6)),
                  "nii.gz without its gzip trailer");
    std::string tif = it::tiffBytes(t);
    expectRefused(file("trunc.tif", tif.substr(0, 40)), "truncated tiff");
    expectRefused(file("nodata.nhdr", it::nrrdHeader(t, "raw", "import_absent.raw")), "nhdr without data");
    expectRefused(file("nodata.mhd", it::metaHeader(t, "import_absent.raw")), "mhd without data");
    std::string huge = it::nrrdHeader(t, "raw");
    huge.replace(huge.find("sizes: 5 4 3"), 12, "sizes: 3000000000 3000000000 3000000000");
    expectRefused(file("overflow.nrrd", huge + raw), "overflowing sizes");
    std::string big = it::nrrdHeader(t, "gzip");
    big.replace(big.find("sizes: 5 4 3"), 12, "sizes: 1000 1000 1000");
    expectRefused(file("big.nrrd", big + it::gzipped(raw)), "sizes past a gzip file");
    std::string bigMeta = it::metaHeader(t, "LOCAL");
    bigMeta.replace(bigMeta.find("DimSize = 5 4 3"), 15, "DimSize = 900 900 900");
    expectRefused(file("big.mha", bigMeta + raw), "sizes past the file");
    expectRefused(file("negative.nii", it::nifti1Header(t, 4, 16, {3, 5, -4, 3}) + raw), "negative size");
    expectRefused(
        file("float128.nii", it::nifti1Header(t, 1536, 128) + raw + raw + raw + raw + raw + raw + raw + raw),
        "128-bit floats");
    std::string vec = it::nrrdHeader(t, "raw");
    vec.replace(vec.find("dimension: 3\nsizes: 5 4 3"), 25,
                "dimension: 4\nkinds: 2-vector domain domain domain\nsizes: 2 5 4 3");
    vec.replace(vec.find("space directions:"), 17, "space directions: none");
    expectRefused(file("vector.nrrd", vec + raw + raw), "2-vector voxels");
    // Files on which ITK's readers themselves break down (a GDCM assertion,
    // a MetaIO buffer overrun), found by fuzzing: one line, not a crash.
    for (const char *name : {"gdcm_meta_length_assert", "metaio_long_field_overrun"}) {
        std::string dir = tmpPath(std::string("alone_") + name);
        mkdir(dir.c_str(), 0755);
        std::string p = dir + "/in";
        it::writeBytes(p, readFile(std::string(SOURCE_DIR) + "/fuzz/regressions/import/" + name));
        expectRefused(p, name);
        ProgramRun r = runProgram("xrwview", {"-f", p, "--nodraw", "--frames", "0"}, "breakdown");
        EXPECT_NE(r.err.find("reader broke down on this file (signal 6)"), std::string::npos) << r.err;
    }
    std::string emptyDir = tmpPath("nodicom");
    mkdir(emptyDir.c_str(), 0755);
    expectRefused(emptyDir, "folder without DICOM");
}

TEST(ImportBadInput, ConvertedVoxelKindsAndFourDimensions)
{
    const TestVolume t;
    // Complex (float pairs): the magnitude.
    std::string cplx;
    for (int i = 0; i < 60; i++) {
        float re = 3.0f * i, im = 4.0f * i;
        cplx.append(reinterpret_cast<const char *>(&re), 4).append(reinterpret_cast<const char *>(&im), 4);
    }
    std::string p = tmpPath("complex.nii");
    it::writeBytes(p, it::nifti1Header(t, 32, 64) + cplx);
    ProgramRun r = runProgram("xrwview", {"-f", p, "-W", "0", "295", "--nodraw", "--frames", "0"}, "complex");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("'" + p + "': complex voxels, shown as their magnitude.\n"), std::string::npos)
        << r.err;
    ImportedVolume iv;
    const double w[2] = {0, 295};
    ASSERT_EQ(importVolume(p.c_str(), w, &iv), 0);
    EXPECT_EQ(iv.xraw->data[1], 4);    // 5 of 295
    EXPECT_EQ(iv.xraw->data[59], 255); // 295
    freeXraw(iv.xraw);
    // RGB bytes: the luminance.
    std::string rgb;
    for (int i = 0; i < 60; i++)
        rgb += std::string{static_cast<char>(i == 1 ? 255 : 0), static_cast<char>(i == 2 ? 255 : 0),
                           static_cast<char>(i == 3 ? 255 : 0)};
    p = tmpPath("rgb.nii");
    it::writeBytes(p, it::nifti1Header(t, 128, 24) + rgb);
    const double w255[2] = {0, 255};
    ASSERT_EQ(importVolume(p.c_str(), w255, &iv), 0);
    EXPECT_EQ(iv.xraw->data[0], 0);
    EXPECT_EQ(iv.xraw->data[1], 76);  // 0.299 * 255
    EXPECT_EQ(iv.xraw->data[2], 150); // 0.587 * 255
    EXPECT_EQ(iv.xraw->data[3], 29);  // 0.114 * 255
    freeXraw(iv.xraw);
    // 4-D: the first volume, and a line saying so.
    p = tmpPath("fourd.nii");
    it::writeBytes(p, it::nifti1Header(t, 4, 16, {4, 5, 4, 3, 2}) + t.bytes() + std::string(120, '\x7f'));
    r = runProgram("xrwview", {"-f", p, "-W", "-100", "313", "--nodraw", "--frames", "0"}, "fourd");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("'" + p + "': 4-D file, showing the first of 2 volumes.\n"), std::string::npos)
        << r.err;
    ASSERT_EQ(importVolume(p.c_str(), nullptr, &iv), 0);
    EXPECT_EQ(iv.lo, -100);
    EXPECT_EQ(iv.hi, 313);
    freeXraw(iv.xraw);
}

TEST(ImportDicom, MixedSeriesTakeTheLargest)
{
    TestVolume big, small;
    small.nz = 2;
    small.v.assign(40, 500);
    std::string dir = tmpPath("mixed");
    mkdir(dir.c_str(), 0755);
    it::writeDicomSeries(big, dir, "1.2.826.0.1.3680043.2.1125.78", "a");
    it::writeDicomSeries(small, dir, "1.2.826.0.1.3680043.2.1125.79", "b");
    ProgramRun r =
        runProgram("xrwview", {"-f", dir, "-W", "-100", "313", "--nodraw", "--frames", "0"}, "mixed");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("'" + dir + "': 2 DICOM series, reading the largest (3 slices).\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.out.find("volume dimensions:      5      4      3\n"), std::string::npos);
    // One file of the smaller series reads that series.
    ImportedVolume iv;
    const double w[2] = {0, 1000};
    ASSERT_EQ(importVolume((dir + "/b1.dcm").c_str(), w, &iv), 0);
    EXPECT_EQ(iv.xraw->nz, 2);
    EXPECT_EQ(iv.xraw->data[0], 128);
    freeXraw(iv.xraw);
    // A slice cut short spoils the series.
    std::string bytes = readFile(dir + "/a2.dcm");
    it::writeBytes(dir + "/a2.dcm", bytes.substr(0, bytes.size() - 20));
    ProgramRun bad =
        runProgram("xrwview", {"-f", dir + "/a1.dcm", "--nodraw", "--frames", "0"}, "dicomtrunc");
    EXPECT_EQ(bad.status, 255) << bad.err;
    EXPECT_EQ(lineCount(bad.err), 1) << bad.err;
}

} // namespace
