// The nibabel-written files of make_fixtures.py, made once per test
// program in its scratch folder, and what the tests do with them: read a
// surface, run xrwview, read its PNG back.
#pragma once

#include <gtest/gtest.h>
#include <libpng16/png.h> // the library's own, not scene/io/png.h

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "run_program.h"
#include "scratch.h"

namespace fst {

// The folder of the fixtures; an empty string when they could not be made.
inline const std::string &fixtureDir()
{
    static const std::string dir = [] {
        std::string d = scratchDir() + "/fx";
        std::string cmd = std::string("/usr/bin/python3 ") + FIXTURE_SCRIPT + " " + d + " 2>" + scratchDir() +
                          "/fixtures.err";
        return std::system(cmd.c_str()) == 0 ? d : std::string();
    }();
    return dir;
}

inline std::string fixture(const std::string &name)
{
    return fixtureDir() + "/" + name;
}

// Fails the test when nibabel could not write the files.
#define REQUIRE_FIXTURES()                                                                                   \
    ASSERT_FALSE(fst::fixtureDir().empty()) << "make_fixtures.py failed (python3-nibabel missing?): "        \
                                            << readWholeFile(scratchDir() + "/fixtures.err")

inline int fixtureVertexCount()
{
    std::ifstream in(fixture("nverts.txt"));
    int n = -1;
    in >> n;
    return n;
}

inline ProgramRun runViewer(const std::vector<std::string> &args, const std::string &tag)
{
    return runProgramFiles(std::string(BIN_DIR) + "/xrwview", args, scratchDir() + "/" + tag + ".out",
                           scratchDir() + "/" + tag + ".err");
}

struct Image {
    int w = 0, h = 0;
    std::vector<unsigned char> rgba;
    const unsigned char *at(int x, int y) const { return &rgba[4 * (static_cast<size_t>(y) * w + x)]; }
};

inline Image readPng(const std::string &path)
{
    Image img;
    png_image im{};
    im.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&im, path.c_str()))
        return img;
    im.format = PNG_FORMAT_RGBA;
    img.rgba.resize(PNG_IMAGE_SIZE(im));
    if (!png_image_finish_read(&im, nullptr, img.rgba.data(), 0, nullptr)) {
        img.rgba.clear();
        return img;
    }
    img.w = static_cast<int>(im.width);
    img.h = static_cast<int>(im.height);
    return img;
}

// The box of pixels brighter than a sum of r + g + b: x0, y0, x1, y1, or
// all -1 when there is none.
struct Box {
    int x0 = -1, y0 = -1, x1 = -1, y1 = -1;
};

inline Box brightBox(const Image &img, int threshold)
{
    Box b;
    for (int y = 0; y < img.h; y++)
        for (int x = 0; x < img.w; x++) {
            const unsigned char *p = img.at(x, y);
            if (p[0] + p[1] + p[2] <= threshold)
                continue;
            if (b.x0 < 0) {
                b = {x, y, x, y};
                continue;
            }
            b.x0 = std::min(b.x0, x);
            b.y0 = std::min(b.y0, y);
            b.x1 = std::max(b.x1, x);
            b.y1 = std::max(b.y1, y);
        }
    return b;
}

} // namespace fst
