// How far apart two PNG pictures are, for tests that compare renderings
// which may differ a little at edges. The test program holds stb_image's
// implementation; a file that has included stb_image already keeps it.
#pragma once

#ifndef STBI_INCLUDE_STB_IMAGE_H
#include <stb/stb_image.h>
#endif

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

// The mean absolute difference of the channels of two PNG images held in
// memory, or -1 when either does not decode or their sizes differ.
inline double pngMeanDifference(const std::string &a, const std::string &b)
{
    int w1 = 0, h1 = 0, w2 = 0, h2 = 0, n = 0;
    auto load = [&n](const std::string &png, int *w, int *h) {
        return stbi_load_from_memory(reinterpret_cast<const stbi_uc *>(png.data()), static_cast<int>(png.size()),
                                     w, h, &n, 3);
    };
    unsigned char *p = load(a, &w1, &h1), *q = load(b, &w2, &h2);
    double sum = -1;
    if (p && q && w1 == w2 && h1 == h2 && w1 > 0 && h1 > 0) {
        sum = 0;
        for (int i = 0; i < w1 * h1 * 3; ++i)
            sum += std::abs(p[i] - q[i]);
        sum /= static_cast<double>(w1) * h1 * 3;
    }
    stbi_image_free(p);
    stbi_image_free(q);
    return sum;
}

// The same for two PNG files.
inline double pngFileMeanDifference(const std::string &pathA, const std::string &pathB)
{
    auto whole = [](const std::string &path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    return pngMeanDifference(whole(pathA), whole(pathB));
}
