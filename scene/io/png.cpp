// PNG images out. libpng reports errors by longjmp, so the function that
// talks to it holds nothing that needs a destructor.
#include "save_file.h"
#include "png.h"

#include "model.h"
#include "printf_pattern.h"

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

// Through its versioned folder: our own png.h shadows the plain name.
#include <libpng16/png.h>

namespace vq {

namespace {

struct PngFailure {
    char message[200];
};

void pngError(png_structp png, png_const_charp msg)
{
    auto *failure = static_cast<PngFailure *>(png_get_error_ptr(png));
    std::snprintf(failure->message, sizeof failure->message, "%s", msg);
    png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) {}

// Encode into an open file. False with the reason in failure.
bool encodePng(FILE *f, const uint8_t *rgba, int width, int height, uint8_t *row, PngFailure *failure)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, failure, pngError, pngWarning);
    if (png == nullptr) {
        std::snprintf(failure->message, sizeof failure->message, "out of memory");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 3);
    png_write_info(png, info);
    // OpenGL rows run bottom-up, PNG rows top-down.
    for (int y = height - 1; y >= 0; --y) {
        const uint8_t *src = rgba + static_cast<size_t>(y) * width * 4;
        for (int x = 0; x < width; ++x) {
            row[3 * x] = src[4 * x];
            row[3 * x + 1] = src[4 * x + 1];
            row[3 * x + 2] = src[4 * x + 2];
        }
        png_write_row(png, row);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

void appendToVector(png_structp png, png_bytep data, png_size_t length)
{
    auto *out = static_cast<std::vector<uint8_t> *>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void flushNothing(png_structp) {}

} // namespace

bool encodePngRgba(const uint8_t *rgba, int width, int height, std::vector<uint8_t> &out)
{
    out.clear();
    PngFailure failure{};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &failure, pngError, pngWarning);
    if (png == nullptr)
        return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &out, appendToVector, flushNothing);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 6);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y)
        png_write_row(png, const_cast<png_bytep>(rgba + static_cast<size_t>(y) * width * 4));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

int writePng(const char *path, const uint8_t *rgba, int width, int height)
{
    if (path == nullptr || *path == 0 || rgba == nullptr || width <= 0 || height <= 0) {
        sceneError("cannot write PNG '%s': no image", path ? path : "");
        return -1;
    }
    SaveFile save;
    FILE *f = beginSave(save, path) ? openSaveStream(save, "wb") : nullptr;
    if (f == nullptr) {
        sceneError("cannot write PNG '%s': %s", path, std::strerror(errno));
        abandonSave(save);
        return -1;
    }
    PngFailure failure{};
    std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
    bool encoded = encodePng(f, rgba, width, height, row.data(), &failure);
    errno = 0;
    if (!finishSave(save, encoded)) {
        if (encoded)
            std::snprintf(failure.message, sizeof failure.message, "%s", std::strerror(errno));
        sceneError("cannot write PNG '%s': %s", path, failure.message);
        return -1;
    }
    return 0;
}

bool checkPngPattern(const char *pattern, bool *numbered)
{
    // A width of more than two digits makes no sensible file name.
    static const PatternRules rules{"-+ #0", 2, false, "diu"};
    int conversions = countPatternConversions(pattern, rules);
    if (conversions < 0 || conversions > 1)
        return false;
    if (numbered)
        *numbered = conversions == 1;
    return true;
}

std::string pngFrameName(const char *pattern, long frame)
{
    bool numbered = false;
    if (!checkPngPattern(pattern, &numbered) || !numbered)
        return pattern;
    char name[4096];
    int n = std::snprintf(name, sizeof name, pattern, static_cast<int>(frame));
    if (n < 0 || n >= static_cast<int>(sizeof name))
        return pattern;
    return name;
}

int writeScreenshot(const uint8_t *rgba, int width, int height)
{
    char name[32];
    for (int n = 0; n < 10000; ++n) {
        std::snprintf(name, sizeof name, "vqscene-%04d.png", n);
        if (access(name, F_OK) == 0)
            continue;
        if (writePng(name, rgba, width, height) != 0)
            return -1;
        std::fprintf(stderr, "vqscene: screenshot written to %s\n", name);
        return 0;
    }
    sceneError("no free screenshot name: vqscene-0000.png to vqscene-9999.png all exist");
    return -1;
}

} // namespace vq
