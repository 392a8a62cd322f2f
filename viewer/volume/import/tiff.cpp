// Multi-page TIFF through libtiff: one page per slice, grey or RGB samples
// of 8, 16, 32 or 64 bits (unsigned, signed, float), in strips.
#include <tiffio.h>

#include <cstdio>
#include <vector>

#include "import.h"

namespace {

struct TiffCloser {
    TIFF *t;
    ~TiffCloser()
    {
        if (t)
            TIFFClose(t);
    }
};

struct PageLayout {
    uint32_t w = 0, h = 0;
    uint16_t bits = 0, samples = 1, format = SAMPLEFORMAT_UINT, planar = PLANARCONFIG_CONTIG,
             photometric = PHOTOMETRIC_MINISBLACK, compression = COMPRESSION_NONE;
    bool tiled = false;
    bool operator!=(const PageLayout &o) const
    {
        return w != o.w || h != o.h || bits != o.bits || samples != o.samples || format != o.format ||
               planar != o.planar || tiled != o.tiled;
    }
};

PageLayout pageLayout(TIFF *t)
{
    PageLayout p;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &p.w);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &p.h);
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &p.bits);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &p.samples);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLEFORMAT, &p.format);
    TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &p.planar);
    TIFFGetFieldDefaulted(t, TIFFTAG_PHOTOMETRIC, &p.photometric);
    TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &p.compression);
    p.tiled = TIFFIsTiled(t) != 0;
    return p;
}

// The component type of a page's samples; false for those we do not read.
bool tiffComponent(const PageLayout &p, int *component)
{
    switch (p.format) {
    case SAMPLEFORMAT_UINT:
        *component = p.bits == 8 ? IC_U8 : p.bits == 16 ? IC_U16 : p.bits == 32 ? IC_U32 : p.bits == 64 ? IC_U64 : -1;
        break;
    case SAMPLEFORMAT_INT:
        *component = p.bits == 8 ? IC_I8 : p.bits == 16 ? IC_I16 : p.bits == 32 ? IC_I32 : p.bits == 64 ? IC_I64 : -1;
        break;
    case SAMPLEFORMAT_IEEEFP:
        *component = p.bits == 32 ? IC_F32 : p.bits == 64 ? IC_F64 : -1;
        break;
    default:
        *component = -1;
    }
    return *component >= 0;
}

} // namespace

int readTiffImage(const char *path, ImportedImage *img)
{
    // libtiff's own messages would come on top of ours.
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
    TiffCloser file{TIFFOpen(path, "r")};
    TIFF *t = file.t;
    if (!t) {
        std::fprintf(stderr, "'%s': not a readable TIFF file.\n", path);
        return -1;
    }
    PageLayout first = pageLayout(t);
    int component, layout = IL_SCALAR;
    if (!tiffComponent(first, &component)) {
        std::fprintf(stderr, "'%s': TIFF samples of %u bits, format %u, are not supported.\n", path, first.bits,
                     first.format);
        return -1;
    }
    if (first.samples == 3 || first.samples == 4)
        layout = first.samples == 3 ? IL_RGB : IL_RGBA;
    if ((first.samples != 1 && layout == IL_SCALAR) || (first.samples > 1 && first.planar != PLANARCONFIG_CONTIG) ||
        first.tiled) {
        std::fprintf(stderr, "'%s': TIFF with %u samples per pixel%s is not supported.\n", path, first.samples,
                     first.tiled ? " in tiles" : (first.samples > 1 ? " in separate planes" : ""));
        return -1;
    }
    long long pages = TIFFNumberOfDirectories(t);
    long long n = checkImportSizes(path, first.w, first.h, pages);
    if (n < 0)
        return -1;
    long long pixelBytes = static_cast<long long>(importComponentBytes(component)) * first.samples;
    if (checkVoxelBytes(path, n * pixelBytes, fileBytes(path), first.compression != COMPRESSION_NONE) != 0)
        return -1;
    if (layout != IL_SCALAR)
        std::fprintf(stderr, "'%s': RGB voxels, shown as their luminance.\n", path);
    tmsize_t line = TIFFScanlineSize(t);
    if (line < first.w * pixelBytes) {
        std::fprintf(stderr, "'%s': TIFF rows shorter than their width.\n", path);
        return -1;
    }
    std::vector<unsigned char> row(static_cast<size_t>(line));
    img->values.reserve(static_cast<size_t>(n));
    for (long long page = 0; page < pages; page++) {
        if (!TIFFSetDirectory(t, static_cast<tdir_t>(page)) || pageLayout(t) != first) {
            std::fprintf(stderr, "'%s': TIFF page %lld differs from the first or cannot be read.\n", path, page + 1);
            return -1;
        }
        for (uint32_t y = 0; y < first.h; y++) {
            if (TIFFReadScanline(t, row.data(), y, 0) < 0) {
                std::fprintf(stderr, "'%s': TIFF page %lld cut short or corrupt.\n", path, page + 1);
                return -1;
            }
            convertVoxels(row.data(), component, layout, first.w, &img->values);
        }
    }
    img->nx = static_cast<int>(first.w);
    img->ny = static_cast<int>(first.h);
    img->nz = static_cast<int>(pages);
    return 0;
}
