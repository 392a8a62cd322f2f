// Helpers for the viewer tests: sample volumes, argument vectors, a fresh
// viewer and library, and running the xrwview program.
#pragma once

#include "../support/run_program.h"
#include "../support/scratch.h"
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "frame.h"
#include "startup.h"
#include "vqscene.h"
#include "vqscene_inspect.h"
#include "xrw.h"

extern char **environ;

namespace vt {

inline std::string tmpPath(const std::string &name)
{
    return scratchDir() + "/viewer_" + name;
}

// Writes an XRW file whose voxel (x, y, z) is value(x, y, z) and whose colour
// table holds k, 255 - k, k / 2 at index k.
inline std::string writeVolume(const std::string &name, int nx, int ny, int nz, float dx, float dy, float dz,
                               const std::function<unsigned char(int, int, int)> &value)
{
    Xraw x{};
    std::string path = tmpPath(name);
    std::snprintf(x.filename, sizeof x.filename, "%s", path.c_str());
    x.nx = nx;
    x.ny = ny;
    x.nz = nz;
    x.dx = dx;
    x.dy = dy;
    x.dz = dz;
    std::vector<unsigned char> data(static_cast<size_t>(nx) * ny * nz + 1);
    for (int z = 0; z < nz; z++)
        for (int y = 0; y < ny; y++)
            for (int i = 0; i < nx; i++)
                data[i + static_cast<size_t>(nx) * (y + static_cast<size_t>(ny) * z)] = value(i, y, z);
    x.data = data.data();
    for (int k = 0; k < 256; k++) {
        x.cmap_r[k] = static_cast<unsigned char>(k);
        x.cmap_g[k] = static_cast<unsigned char>(255 - k);
        x.cmap_b[k] = static_cast<unsigned char>(k / 2);
    }
    if (saveXraw(&x) != 0)
        return "";
    return path;
}

inline std::string writeText(const std::string &name, const std::string &text)
{
    std::string path = tmpPath(name);
    std::ofstream(path) << text;
    return path;
}

inline std::string readFile(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// An argv that lives as long as the record.
struct Args {
    std::vector<std::string> words;
    std::vector<char *> ptrs;
    explicit Args(std::vector<std::string> w) : words(std::move(w))
    {
        for (std::string &s : words)
            ptrs.push_back(&s[0]);
        ptrs.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(words.size()); }
    char **argv() { return ptrs.data(); }
};

// The viewer and the library as at program load.
inline void freshViewer()
{
    vqtest::closeScene();
    resetViewerState();
    resetStartupSettings();
    resetFrameState();
}

// Command line and scene construction in-process, the library headless.
// Returns 0 or -1 like start-up; callbacks registered on success.
inline int startViewer(Args &args)
{
    freshViewer();
    args.words.push_back("--nodraw");
    args = Args(args.words);
    if (parseCommandLine(args.argc(), args.argv()) != 0)
        return -1;
    if (buildScene(args.argc(), args.argv()) != 0)
        return -1;
    registerCallbacks();
    doPRC = 0;
    svqsrm(1);
    return 0;
}

// Start-up on the words (program name added) with its output captured;
// stderr goes to *err when asked for.
inline int startQuietly(std::vector<std::string> words, std::string *err = nullptr)
{
    words.insert(words.begin(), "xrwview");
    Args a(words);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int rc = startViewer(a);
    std::string e = testing::internal::GetCapturedStderr();
    testing::internal::GetCapturedStdout();
    if (err)
        *err = e;
    return rc;
}

// The usage text as it must appear, for program name prog.
inline std::string usageText(const std::string &prog)
{
    return "usage: " + prog +
           " [options] -f xrwfilename\n"
           " * * * per volume (<= 4) options\n"
           "-s s1 s2 s3\t\t set data averaging along each axis (1 1 1)\n"
           "-d d1 d2\t\t set data min, max (default 0.0 1.0)\n"
           "-a a1 a2\t\t set alpha min, max (default 0.0 0.2)\n"
           "-v v1 v2 v3\t\t set data/alpha scaling per axis\n"
           "-c name\t\t set colourmap name (default use xrw cmap)\n"
           "-M filename\t use matrix stored in filename\n"
           "-W lo hi\t\t set value window of an imported file (default 0.5-99.5 percentile)\n"
           "-lut file\t\t show the volume as labels coloured by a FreeSurfer colour table\n"
           " * * * surfaces and tracks\n"
           "-o objfname label r g b a \t draw surface in named .obj file\n"
           "-ov file [lo hi] [map]\t colour the last surface per vertex (map heat or twosided)\n"
           "-Rx r1\t\t radial blow-apart by factor\n"
           "-Vx \t\t calculate and use vertex normals\n"
           "-Tf \t (ascii) track name file pattern\n"
           "-Ts \t track file skip factor (default 1000)\n"
           " * * * global options\n"
           "-SV \t\t suppress volume rendering\n"
           "-DX \t clip data outside data min, max\n"
           "-BX n \t zero n boundary planes each side\n"
           "-i invert (paper colour)\n"
           "-x \t\t don't draw box\n"
           "-Vf filename \t read view from filename\n"
           " * * * following options defy PDF output\n"
           "-3d \t use 3-d rendering\n"
           "-Sp \t speed-up for 3-d rendering (default = 1)\n"
           "-blend mode\t\t composite, mip, minip or average along each ray (default composite)\n"
           "-shade \t\t light the volume by its value gradient\n"
           "-colourbar \t show the colour map and its values\n"
           "-orientation \t show L/R/A/P/S/I at the edges of the view\n"
           "-scalebar \t show a scale bar\n"
           " * * * slice views\n"
           "-at x y z \t put the crosshair at world x y z (mm) and print the voxels under it\n"
           "-ortho \t axial, coronal and sagittal slices beside the 3-d view\n"
           "-neuro \t slices in neurological convention (default radiological)\n";
}

using RunResult = ProgramRun;

// Runs build/bin/xrwview with the arguments, stdout and stderr to files.
inline RunResult runViewer(const std::vector<std::string> &args, const std::string &tag)
{
    return runProgramFiles(std::string(BIN_DIR) + "/xrwview", args, tmpPath(tag + ".out"), tmpPath(tag + ".err"));
}

} // namespace vt
