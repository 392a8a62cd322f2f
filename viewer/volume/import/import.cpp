// Recognising the imported formats, the value window and the byte volume
// built from a format reader's floats.
#include "save_file.h"
#include "import.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cstdint>
#include <string>

#include "mgh.h"
#include "volume_util.h"

int importReaderSeconds = 600;

namespace {

// The first bytes of a file, through gzip when it is compressed (zlib
// reads other files unchanged); the count read, or -1.
int headBytes(const char *path, unsigned char *buf, int size)
{
    gzFile gz = gzopen(path, "rb");
    if (!gz)
        return -1;
    int n = gzread(gz, buf, static_cast<unsigned>(size));
    gzclose(gz);
    return n;
}

uint32_t word32(const unsigned char *p, bool swap)
{
    uint32_t v = p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
    return swap ? __builtin_bswap32(v) : v;
}

// A MetaImage header: text lines of `Key = value`, one of them a key only
// MetaImage uses, within the first block.
bool isMetaHeader(const unsigned char *buf, int n)
{
    for (int i = 0; i < n; i++)
        if (buf[i] == 0 || (buf[i] < 32 && buf[i] != '\n' && buf[i] != '\r' && buf[i] != '\t'))
            n = i; // the data of an .mha may follow the header
    std::string text(reinterpret_cast<const char *>(buf), static_cast<size_t>(n));
    const char *const keys[] = {"ObjectType", "NDims", "DimSize", "ElementType", "ElementDataFile"};
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        size_t key = line.find_first_not_of(" \t");
        for (const char *k : keys)
            if (key != std::string::npos && line.compare(key, std::strlen(k), k) == 0 &&
                line.find('=', key) != std::string::npos)
                return true;
        if (end == std::string::npos)
            break;
        at = end + 1;
    }
    return false;
}

} // namespace

int recogniseVolumeFile(const char *path)
{
    struct stat st;
    if (stat(path, &st) != 0)
        return IMPORT_NONE;
    if (S_ISDIR(st.st_mode))
        return IMPORT_DICOM;
    unsigned char buf[1024];
    int n = headBytes(path, buf, sizeof buf);
    if (n < 4)
        return IMPORT_NONE;
    for (bool swap : {false, true}) {
        if (n >= 348 && word32(buf, swap) == 348 &&
            (std::memcmp(buf + 344, "n+1\0", 4) == 0 || std::memcmp(buf + 344, "ni1\0", 4) == 0))
            return IMPORT_NIFTI1;
        if (n >= 540 && word32(buf, swap) == 540 &&
            (std::memcmp(buf + 4, "n+2\0", 4) == 0 || std::memcmp(buf + 4, "ni2\0", 4) == 0))
            return IMPORT_NIFTI2;
    }
    if (isMghHeader(buf, n))
        return IMPORT_MGH;
    if (n >= 7 && std::memcmp(buf, "NRRD000", 7) == 0)
        return IMPORT_NRRD;
    if (std::memcmp(buf, "II*\0", 4) == 0 || std::memcmp(buf, "MM\0*", 4) == 0 ||
        std::memcmp(buf, "II+\0", 4) == 0 || std::memcmp(buf, "MM\0+", 4) == 0)
        return IMPORT_TIFF;
    if (n >= 132 && std::memcmp(buf + 128, "DICM", 4) == 0)
        return IMPORT_DICOM;
    if (isMetaHeader(buf, n))
        return IMPORT_META;
    return IMPORT_NONE;
}

const char *importFormatName(int format)
{
    switch (format) {
    case IMPORT_NIFTI1: return "NIfTI-1";
    case IMPORT_NIFTI2: return "NIfTI-2";
    case IMPORT_NRRD: return "NRRD";
    case IMPORT_META: return "MetaImage";
    case IMPORT_DICOM: return "DICOM series";
    case IMPORT_TIFF: return "TIFF";
    case IMPORT_MGH: return "MGH";
    default: return "unknown";
    }
}

long long fileBytes(const char *path)
{
    struct stat st;
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return static_cast<long long>(st.st_size);
}

int checkVoxelBytes(const char *path, long long need, long long have, bool compressed)
{
    long long limit = compressed ? (have > (1LL << 52) ? have : have * 1032) : have;
    if (need < 0 || need > limit) {
        if (compressed)
            std::fprintf(stderr, "'%s': the header asks for %lld bytes of voxels, more than %lld bytes of compressed data can hold.\n",
                         path, need, have);
        else
            std::fprintf(stderr, "'%s': truncated: the header asks for %lld bytes of voxels, the file holds %lld.\n", path,
                         need, have);
        return -1;
    }
    return 0;
}

int checkCompressedData(const char *path, long long offset, long long need)
{
    FILE *f = std::fopen(path, "rb");
    if (!f || std::fseek(f, static_cast<long>(offset), SEEK_SET) != 0) {
        if (f)
            std::fclose(f);
        std::fprintf(stderr, "'%s': cannot read its compressed data.\n", path);
        return -1;
    }
    z_stream zs{};
    inflateInit2(&zs, 15 + 32); // gzip or zlib, by the stream's own header
    std::vector<unsigned char> in(1 << 16), out(1 << 16);
    long long got = 0;
    int rc = Z_OK;
    while (rc == Z_OK) {
        if (zs.avail_in == 0) {
            size_t n = std::fread(in.data(), 1, in.size(), f);
            if (n == 0)
                break;
            zs.next_in = in.data();
            zs.avail_in = static_cast<uInt>(n);
        }
        zs.next_out = out.data();
        zs.avail_out = static_cast<uInt>(out.size());
        rc = inflate(&zs, Z_NO_FLUSH);
        got += static_cast<long long>(out.size() - zs.avail_out);
        if (got >= need && rc == Z_OK && need > 0 && got > need + (1LL << 20))
            break; // enough: more than the header says is not our concern
    }
    inflateEnd(&zs);
    std::fclose(f);
    if (got < need || (rc != Z_STREAM_END && got <= need + (1LL << 20))) {
        std::fprintf(stderr, "'%s': compressed voxel data cut short or corrupt (%lld of %lld bytes).\n", path, got,
                     need);
        return -1;
    }
    return 0;
}

long long checkImportSizes(const char *path, long long nx, long long ny, long long nz)
{
    const long long limit = 2147483647LL;
    if (nx < 1 || ny < 1 || nz < 1 || nx > limit || ny > limit || nz > limit || nx * ny > limit ||
        nx * ny * nz > limit) {
        std::fprintf(stderr, "'%s': volume sizes %lld x %lld x %lld are not between 1 and 2^31-1 voxels.\n", path, nx,
                     ny, nz);
        return -1;
    }
    return nx * ny * nz;
}

unsigned char windowByte(float v, double lo, double hi)
{
    if (std::isnan(v) || v <= lo)
        return 0;
    if (v >= hi)
        return 255;
    return static_cast<unsigned char>((v - lo) * 255.0 / (hi - lo) + 0.5);
}

void percentileWindow(const std::vector<float> &values, double *lo, double *hi)
{
    const size_t maxSample = size_t(1) << 24;
    size_t step = values.size() > maxSample ? (values.size() + maxSample - 1) / maxSample : 1;
    std::vector<float> sample;
    sample.reserve(values.size() / step + 1);
    for (size_t i = 0; i < values.size(); i += step)
        if (std::isfinite(values[i]))
            sample.push_back(values[i]);
    if (sample.empty()) {
        *lo = *hi = 0;
        return;
    }
    size_t last = sample.size() - 1;
    size_t a = static_cast<size_t>(std::llround(0.005 * last)), b = static_cast<size_t>(std::llround(0.995 * last));
    std::nth_element(sample.begin(), sample.begin() + a, sample.end());
    *lo = sample[a];
    std::nth_element(sample.begin() + a, sample.begin() + b, sample.end());
    *hi = sample[b];
}

int importComponentBytes(int component)
{
    switch (component) {
    case IC_U8: case IC_I8: return 1;
    case IC_U16: case IC_I16: return 2;
    case IC_U32: case IC_I32: case IC_F32: return 4;
    case IC_U64: case IC_I64: case IC_F64: return 8;
    default: return 0;
    }
}

namespace {

template <typename T> void convertTyped(const T *p, int layout, size_t count, std::vector<float> *out)
{
    switch (layout) {
    case IL_RGB:
    case IL_RGBA: {
        size_t k = layout == IL_RGB ? 3 : 4;
        for (size_t i = 0; i < count; i++, p += k)
            out->push_back(static_cast<float>(0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2]));
        break;
    }
    case IL_COMPLEX:
        for (size_t i = 0; i < count; i++, p += 2)
            out->push_back(static_cast<float>(std::hypot(static_cast<double>(p[0]), static_cast<double>(p[1]))));
        break;
    default:
        for (size_t i = 0; i < count; i++)
            out->push_back(static_cast<float>(p[i]));
    }
}

} // namespace

void convertVoxels(const void *buf, int component, int layout, size_t count, std::vector<float> *out)
{
    out->reserve(out->size() + count);
    switch (component) {
    case IC_U8: convertTyped(static_cast<const uint8_t *>(buf), layout, count, out); break;
    case IC_I8: convertTyped(static_cast<const int8_t *>(buf), layout, count, out); break;
    case IC_U16: convertTyped(static_cast<const uint16_t *>(buf), layout, count, out); break;
    case IC_I16: convertTyped(static_cast<const int16_t *>(buf), layout, count, out); break;
    case IC_U32: convertTyped(static_cast<const uint32_t *>(buf), layout, count, out); break;
    case IC_I32: convertTyped(static_cast<const int32_t *>(buf), layout, count, out); break;
    case IC_U64: convertTyped(static_cast<const uint64_t *>(buf), layout, count, out); break;
    case IC_I64: convertTyped(static_cast<const int64_t *>(buf), layout, count, out); break;
    case IC_F32: convertTyped(static_cast<const float *>(buf), layout, count, out); break;
    case IC_F64: convertTyped(static_cast<const double *>(buf), layout, count, out); break;
    default: break;
    }
}

int importVolume(const char *path, const double *window, ImportedVolume *out, bool keepValues)
{
    *out = ImportedVolume();
    int format = recogniseVolumeFile(path);
    if (format == IMPORT_NONE) {
        std::fprintf(stderr, "'%s': not a volume file of a known format.\n", path);
        return -1;
    }
    ImportedImage img;
    int rc = format == IMPORT_NIFTI1 || format == IMPORT_NIFTI2 ? readNiftiImage(path, &img)
             : format == IMPORT_TIFF                            ? readTiffImage(path, &img)
             : format == IMPORT_MGH                             ? readMghImage(path, &img)
                                                                : readItkImage(path, format, &img);
    if (rc != 0)
        return -1;
    size_t n = img.values.size();
    if (n != static_cast<size_t>(img.nx) * img.ny * img.nz) {
        std::fprintf(stderr, "'%s': the reader returned %zu voxels for %d x %d x %d.\n", path, n, img.nx, img.ny,
                     img.nz);
        return -1;
    }
    // XRW keeps voxel sizes, and -M matrices, in single precision.
    for (double &d : img.spacing) {
        float f = static_cast<float>(d);
        if (!(std::isfinite(f) && f > 0))
            d = 1.0;
    }
    for (auto &row : img.matrix)
        for (double v : row)
            if (!std::isfinite(static_cast<float>(v))) {
                std::fprintf(stderr, "'%s': the index-to-world transform is out of single-precision range.\n", path);
                return -1;
            }
    double lo, hi;
    if (window) {
        lo = window[0];
        hi = window[1];
    } else {
        percentileWindow(img.values, &lo, &hi);
    }
    Xraw *x = static_cast<Xraw *>(std::calloc(1, sizeof(Xraw)));
    if (!x || copyVolumeName(x->filename, path) != 0) {
        if (!x)
            std::fprintf(stderr, "'%s': out of memory for the volume record.\n", path);
        std::free(x);
        return -1;
    }
    x->data = static_cast<unsigned char *>(std::malloc(n ? n : 1));
    if (!x->data) {
        std::fprintf(stderr, "'%s': out of memory for %zu voxels.\n", path, n);
        std::free(x);
        return -1;
    }
    for (size_t i = 0; i < n; i++)
        x->data[i] = windowByte(img.values[i], lo, hi);
    x->nx = img.nx;
    x->ny = img.ny;
    x->nz = img.nz;
    x->dx = static_cast<float>(img.spacing[0]);
    x->dy = static_cast<float>(img.spacing[1]);
    x->dz = static_cast<float>(img.spacing[2]);
    for (int k = 0; k < 256; k++)
        x->cmap_r[k] = x->cmap_g[k] = x->cmap_b[k] = static_cast<unsigned char>(k);
    out->xraw = x;
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++)
            out->matrix[r][c] = static_cast<float>(img.matrix[r][c]) + 0.0f; // no negative zeros
    out->format = format;
    out->lo = lo;
    out->hi = hi;
    out->defaultWindow = window == nullptr;
    if (keepValues)
        out->values.swap(img.values);
    return 0;
}

FileValues keepFileValues(const std::vector<float> &values)
{
    FileValues kept{nullptr, nullptr};
    bool shorts = true;
    for (float v : values)
        if (!(v >= -32768.0f && v <= 32767.0f && v == std::floor(v)) || (v == 0 && std::signbit(v))) {
            shorts = false;
            break;
        }
    size_t n = values.size();
    if (shorts) {
        kept.shorts = static_cast<short *>(std::malloc(n * sizeof(short) + 1));
        for (size_t i = 0; kept.shorts && i < n; i++)
            kept.shorts[i] = static_cast<short>(values[i]);
    } else {
        kept.floats = static_cast<float *>(std::malloc(n * sizeof(float) + 1));
        if (kept.floats && n)
            std::memcpy(kept.floats, values.data(), n * sizeof(float));
    }
    return kept;
}

int importForViewer(const char *path, const float *window, int matrixGiven, Xraw **xraw, float m[4][4],
                    double used[2], FileValues *values)
{
    if (recogniseVolumeFile(path) == IMPORT_NONE)
        return 0;
    double w[2] = {window ? window[0] : 0.0, window ? window[1] : 0.0};
    ImportedVolume iv;
    if (importVolume(path, window ? w : nullptr, &iv, values != nullptr) != 0)
        return -1;
    std::fprintf(stderr, "import: '%s': %s, window %g .. %g (%s), %s\n", path, importFormatName(iv.format), iv.lo,
                 iv.hi, iv.defaultWindow ? "0.5th to 99.5th percentile" : "-W",
                 matrixGiven ? "transform from the file not applied (-M given)" : "transform from the file applied");
    *xraw = iv.xraw;
    std::memcpy(m, iv.matrix, sizeof iv.matrix);
    used[0] = iv.lo;
    used[1] = iv.hi;
    if (values) {
        *values = keepFileValues(iv.values);
        if (!values->floats && !values->shorts)
            std::fprintf(stderr, "import: '%s': no memory to keep its voxel values; the readout shows bytes.\n", path);
    }
    return 1;
}

int writeMatrixFile(const char *path, const float m[4][4])
{
    SaveFile save;
    FILE *f = beginSave(save, path) ? openSaveStream(save, "w") : nullptr;
    if (!f) {
        abandonSave(save);
        std::fprintf(stderr, "Unable to create matrix file '%s'.\n", path);
        return -1;
    }
    bool ok = true;
    for (int r = 0; r < 4; r++)
        ok = std::fprintf(f, "%.9g %.9g %.9g %.9g\n", m[r][0], m[r][1], m[r][2], m[r][3]) > 0 && ok;
    if (!finishSave(save, ok)) {
        std::fprintf(stderr, "Failed to write matrix file '%s'.\n", path);
        return -1;
    }
    return 0;
}
