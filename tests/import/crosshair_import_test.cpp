// The crosshair's readout on imported files: -at at the world position the
// file's own transform gives a voxel names that voxel, in the file's index
// order, with the value the file stores after its scaling.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../support/run_program.h"
#include "import.h"
#include "import_files.h"

namespace {

using it::TestVolume;
using it::tmpPath;

ProgramRun runAt(const std::string &file, const double w[3], const std::string &tag)
{
    std::vector<std::string> args = {"-f", file, "-at"};
    for (int a = 0; a < 3; a++) {
        char b[40];
        std::snprintf(b, sizeof b, "%.6f", w[a]);
        args.push_back(b);
    }
    args.insert(args.end(), {"--nodraw", "--frames", "1"});
    return runProgramFiles(std::string(BIN_DIR) + "/xrwview", args, tmpPath(tag + ".out"),
                           tmpPath(tag + ".err"));
}

std::string lastLine(std::string t)
{
    while (!t.empty() && t.back() == '\n')
        t.pop_back();
    size_t nl = t.rfind('\n');
    return nl == std::string::npos ? t : t.substr(nl + 1);
}

// The first and last voxel along each axis, and one inside.
const int kVoxels[][3] = {{0, 0, 0}, {4, 0, 0}, {0, 3, 0}, {0, 0, 2}, {4, 3, 2}, {1, 2, 1}};

// Runs -at on every voxel of kVoxels and checks the line: value(v) is what
// the file stores for raw value v.
template <class F>
void checkReadout(const std::string &file, const TestVolume &t, const std::string &tag, F value)
{
    int n = 0;
    for (const auto &v : kVoxels) {
        double w[3];
        for (int r = 0; r < 3; r++)
            w[r] = t.matrix(r, 3) + t.matrix(r, 0) * v[0] + t.matrix(r, 1) * v[1] + t.matrix(r, 2) * v[2];
        ProgramRun r = runAt(file, w, tag + std::to_string(n++));
        ASSERT_EQ(r.status, 0) << r.err;
        char want[200];
        std::snprintf(want, sizeof want, "crosshair: world %.2f %.2f %.2f, voxel %d %d %d, value %s", w[0],
                      w[1], w[2], v[0], v[1], v[2], value(t.v[v[0] + t.nx * (v[1] + t.ny * v[2])]).c_str());
        EXPECT_EQ(lastLine(r.out), want) << tag;
    }
}

std::string plain(double v)
{
    char b[40];
    std::snprintf(b, sizeof b, "%.7g", v);
    return b;
}

TEST(ImportCrosshair, NiftiValuesAfterTheFilesScaling)
{
    TestVolume t;
    std::string h = it::nifti1Header(t);
    it::put<float>(h, 112, 0.5f);  // scl_slope
    it::put<float>(h, 116, 10.0f); // scl_inter
    std::string path = tmpPath("cross_scaled.nii");
    it::writeBytes(path, h + t.bytes());
    checkReadout(path, t, "crossnii", [](int v) { return plain(v * 0.5 + 10); });
}

TEST(ImportCrosshair, NrrdValuesAsStored)
{
    TestVolume t;
    std::string path = tmpPath("cross.nrrd");
    it::writeBytes(path, it::nrrdHeader(t, "raw") + t.bytes());
    checkReadout(path, t, "crossnrrd", [](int v) { return plain(v); });
}

TEST(ImportCrosshair, ValuesKeptAsShortsOnlyWhenEveryOneIsAShort)
{
    const std::vector<std::vector<float>> shortsOnly = {{0, 1, -32768, 32767, 12}, {}};
    for (const auto &v : shortsOnly) {
        FileValues k = keepFileValues(v);
        ASSERT_NE(k.shorts, nullptr);
        EXPECT_EQ(k.floats, nullptr);
        for (size_t i = 0; i < v.size(); i++)
            EXPECT_EQ(k.shorts[i], v[i]);
        std::free(k.shorts);
    }
    // A fraction, a value out of range, -0, NaN: the floats as they are.
    const std::vector<std::vector<float>> floatsKept = {{1, 2.5f}, {32768},         {-32769},
                                                        {-0.0f},   {std::nanf("")}, {1e9f}};
    for (const auto &v : floatsKept) {
        FileValues k = keepFileValues(v);
        ASSERT_NE(k.floats, nullptr);
        EXPECT_EQ(k.shorts, nullptr);
        EXPECT_EQ(std::memcmp(k.floats, v.data(), v.size() * sizeof(float)), 0);
        std::free(k.floats);
    }
}

TEST(ImportCrosshair, OutsideTheBoxEndsTheRun)
{
    TestVolume t;
    std::string path = tmpPath("cross_out.nrrd");
    it::writeBytes(path, it::nrrdHeader(t, "raw") + t.bytes());
    double w[3] = {t.origin[0], t.origin[1], t.origin[2] - 1.5};
    ProgramRun r = runAt(path, w, "crossout");
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out.find("crosshair:"), std::string::npos);
    EXPECT_NE(lastLine(r.err).find("outside the box"), std::string::npos) << r.err;
}

} // namespace
