// TGA images in: header checks of our own, decoding by stb_image.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <vector>

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_TGA
#define STBI_NO_STDIO
#define STBI_FAILURE_USERMSG
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#include "stb_image.h"
#pragma GCC diagnostic pop

#include "model.h"

namespace {

// Files larger than this are not images we mean to read.
const long kMaxFileBytes = 1L << 30;
// Nor are images whose RGBA copy would pass 2 GiB.
const double kMaxPixels = 536870912.0;

struct TgaHeader {
    int idLength, mapType, imageType, mapFirst, mapLength, mapBits, width, height, bits, descriptor;
};

int le16(const unsigned char *p)
{
    return p[0] | (p[1] << 8);
}

bool fail(const char *name, const char *why)
{
    vq::sceneError("cannot read TGA image '%s': %s", name, why);
    return false;
}

// The header must describe an image the rest of the file can hold: stb
// pads a short file with zeros, so truncation is caught here.
bool checkTga(const char *name, const std::vector<unsigned char> &file)
{
    if (file.size() < 18)
        return fail(name, "shorter than a TGA header");
    const unsigned char *h = file.data();
    TgaHeader t{h[0], h[1], h[2], le16(h + 3), le16(h + 5), h[7], le16(h + 12), le16(h + 14), h[16], h[17]};
    int base = t.imageType & ~8;
    bool rle = (t.imageType & 8) != 0;
    if (base != 1 && base != 2 && base != 3)
        return fail(name, "not a colour-mapped, true-colour or grey TGA image");
    if (t.width < 1 || t.height < 1)
        return fail(name, "image has no pixels");
    if (base == 1 ? (t.mapType != 1 || t.bits != 8) : t.mapType > 1)
        return fail(name, "bad colour map description");
    if (base == 2 && t.bits != 15 && t.bits != 16 && t.bits != 24 && t.bits != 32)
        return fail(name, "unsupported bits per pixel");
    if (base == 3 && t.bits != 8)
        return fail(name, "unsupported bits per grey pixel");
    if (static_cast<double>(t.width) * t.height > kMaxPixels)
        return fail(name, "image too large");
    long mapBytes = t.mapType == 1 ? static_cast<long>(t.mapLength) * ((t.mapBits + 7) / 8) : 0;
    if (t.mapType == 1 &&
        (t.mapLength < 1 || (t.mapBits != 15 && t.mapBits != 16 && t.mapBits != 24 && t.mapBits != 32)))
        return fail(name, "bad colour map description");
    long left = static_cast<long>(file.size()) - 18 - t.idLength - mapBytes;
    if (left <= 0)
        return fail(name, "truncated before the pixel data");
    long bpp = (t.bits + 7) / 8;
    const unsigned char *p = h + 18 + t.idLength + mapBytes;
    double pixels = static_cast<double>(t.width) * t.height;
    if (!rle) {
        if (pixels * bpp > static_cast<double>(left))
            return fail(name, "truncated pixel data");
        return true;
    }
    // A run packet gives at most 128 pixels for 1 + bpp bytes; walk the
    // packets so a short file is refused before anything is decoded.
    if (pixels > static_cast<double>(left) / (1 + bpp) * 128)
        return fail(name, "truncated run-length data");
    long need = static_cast<long>(t.width) * t.height, at = 0;
    while (need > 0) {
        if (at >= left)
            return fail(name, "truncated run-length data");
        unsigned char c = p[at++];
        long count = (c & 0x7f) + 1;
        long bytes = (c & 0x80) ? bpp : bpp * count;
        if (at + bytes > left)
            return fail(name, "truncated run-length data");
        at += bytes;
        need -= count;
    }
    return true;
}

} // namespace

extern "C" unsigned char *ReadTGATexture(const char *name, int *w, int *h)
{
    if (w)
        *w = 0;
    if (h)
        *h = 0;
    if (!name) {
        vq::sceneError("ReadTGATexture: no file name");
        return nullptr;
    }
    FILE *f = std::fopen(name, "rb");
    if (!f) {
        vq::sceneError("cannot open TGA image '%s': %s", name, std::strerror(errno));
        return nullptr;
    }
    struct stat st;
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
        std::fclose(f);
        fail(name, "not a regular file");
        return nullptr;
    }
    std::vector<unsigned char> file;
    long size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0)
        size = std::ftell(f);
    if (size < 0 || size > kMaxFileBytes || std::fseek(f, 0, SEEK_SET) != 0) {
        std::fclose(f);
        fail(name, size > kMaxFileBytes ? "file too large" : "cannot size the file");
        return nullptr;
    }
    file.resize(static_cast<size_t>(size));
    size_t got = size ? std::fread(file.data(), 1, static_cast<size_t>(size), f) : 0;
    std::fclose(f);
    if (got != static_cast<size_t>(size)) {
        fail(name, "read error");
        return nullptr;
    }
    if (!checkTga(name, file))
        return nullptr;
    int iw = 0, ih = 0, comp = 0;
    unsigned char *pixels =
        stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &iw, &ih, &comp, 4);
    if (!pixels) {
        fail(name, stbi_failure_reason());
        return nullptr;
    }
    if (w)
        *w = iw;
    if (h)
        *h = ih;
    return pixels;
}
