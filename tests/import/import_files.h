// Writers for the import tests: one small volume of known values, voxel
// sizes and transform in every format, NIfTI, NRRD, MetaImage and TIFF by
// hand (byte by byte, as the formats define them), DICOM through ITK.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "../support/scratch.h"

namespace it {

inline std::string tmpPath(const std::string &name)
{
    return scratchDir() + "/import_" + name;
}

// A volume of 16-bit values, x fastest, with an LPS index-to-world
// transform: axis c runs along dir[c] with step spacing[c] from origin.
struct TestVolume {
    int nx = 5, ny = 4, nz = 3;
    double spacing[3] = {0.5, 0.75, 2.0};
    double origin[3] = {10, -20, 30};
    double dir[3][3] = {{0, 1, 0}, {-1, 0, 0}, {0, 0, 1}};
    std::vector<int16_t> v;
    TestVolume()
    {
        for (int i = 0; i < nx * ny * nz; i++)
            v.push_back(static_cast<int16_t>(7 * i - 100));
    }
    // Row r, column c of the matrix an -M file would hold.
    double matrix(int r, int c) const
    {
        if (r == 3)
            return c == 3 ? 1 : 0;
        return c == 3 ? origin[r] : dir[c][r] * spacing[c];
    }
    std::string bytes() const { return std::string(reinterpret_cast<const char *>(v.data()), v.size() * 2); }
};

inline void putBytes(std::string &h, size_t at, const void *p, size_t n)
{
    if (h.size() < at + n)
        h.resize(at + n, '\0');
    std::memcpy(&h[at], p, n);
}
template <typename T> void put(std::string &h, size_t at, T v)
{
    putBytes(h, at, &v, sizeof v);
}

inline void writeBytes(const std::string &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string gzipped(const std::string &raw)
{
    std::string path = tmpPath("gz.tmp");
    gzFile gz = gzopen(path.c_str(), "wb6");
    gzwrite(gz, raw.data(), static_cast<unsigned>(raw.size()));
    gzclose(gz);
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::string zlibbed(const std::string &raw)
{
    uLongf n = compressBound(raw.size());
    std::string out(n, '\0');
    compress2(reinterpret_cast<Bytef *>(&out[0]), &n, reinterpret_cast<const Bytef *>(raw.data()), raw.size(), 6);
    out.resize(n);
    return out;
}

// NIfTI-1 (.nii, data at 352), sform from the LPS transform (NIfTI's
// coordinates are RAS: x and y change sign). datatype 4 is int16.
inline std::string nifti1Header(const TestVolume &t, int datatype = 4, int bitpix = 16,
                                std::vector<int16_t> dims = {})
{
    std::string h(352, '\0');
    put<int32_t>(h, 0, 348);
    if (dims.empty())
        dims = {3, static_cast<int16_t>(t.nx), static_cast<int16_t>(t.ny), static_cast<int16_t>(t.nz)};
    for (size_t d = 0; d < 8; d++)
        put<int16_t>(h, 40 + 2 * d, d < dims.size() ? dims[d] : 1);
    put<int16_t>(h, 70, static_cast<int16_t>(datatype));
    put<int16_t>(h, 72, static_cast<int16_t>(bitpix));
    put<float>(h, 76, 1.0f);
    for (int a = 0; a < 3; a++)
        put<float>(h, 80 + 4 * a, static_cast<float>(t.spacing[a]));
    put<float>(h, 108, 352.0f);
    put<int16_t>(h, 254, 1); // sform_code
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 4; c++)
            put<float>(h, 280 + 16 * r + 4 * c, static_cast<float>((r < 2 ? -1 : 1) * t.matrix(r, c)));
    putBytes(h, 344, "n+1\0", 4);
    return h;
}

inline std::string nifti2Header(const TestVolume &t)
{
    std::string h(544, '\0');
    put<int32_t>(h, 0, 540);
    putBytes(h, 4, "n+2\0\r\n\032\n", 8);
    put<int16_t>(h, 12, 4);
    put<int16_t>(h, 14, 16);
    const int64_t dims[4] = {3, t.nx, t.ny, t.nz};
    for (int d = 0; d < 8; d++)
        put<int64_t>(h, 16 + 8 * d, d < 4 ? dims[d] : 1);
    put<double>(h, 104, 1.0);
    for (int a = 0; a < 3; a++)
        put<double>(h, 112 + 8 * a, t.spacing[a]);
    put<int64_t>(h, 168, 544);
    put<int32_t>(h, 348, 1);
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 4; c++)
            put<double>(h, 400 + 32 * r + 8 * c, (r < 2 ? -1 : 1) * t.matrix(r, c));
    return h;
}

inline std::string nrrdHeader(const TestVolume &t, const std::string &encoding, const std::string &dataFile = "")
{
    std::string s = "NRRD0004\ntype: short\ndimension: 3\nsizes: " + std::to_string(t.nx) + " " +
                    std::to_string(t.ny) + " " + std::to_string(t.nz) + "\nspace: left-posterior-superior\n";
    s += "space directions:";
    for (int c = 0; c < 3; c++) {
        char b[128];
        std::snprintf(b, sizeof b, " (%.17g,%.17g,%.17g)", t.matrix(0, c), t.matrix(1, c), t.matrix(2, c));
        s += b;
    }
    char o[128];
    std::snprintf(o, sizeof o, "\nspace origin: (%.17g,%.17g,%.17g)\n", t.origin[0], t.origin[1], t.origin[2]);
    s += o;
    s += "endian: little\nencoding: " + encoding + "\n";
    if (!dataFile.empty())
        s += "data file: " + dataFile + "\n";
    return dataFile.empty() ? s + "\n" : s;
}

inline std::string metaHeader(const TestVolume &t, const std::string &dataFile, size_t compressedSize = 0)
{
    char b[1024];
    std::snprintf(b, sizeof b,
                  "ObjectType = Image\nNDims = 3\nDimSize = %d %d %d\nElementSpacing = %.17g %.17g %.17g\n"
                  "Offset = %.17g %.17g %.17g\nTransformMatrix = %g %g %g %g %g %g %g %g %g\n",
                  t.nx, t.ny, t.nz, t.spacing[0], t.spacing[1], t.spacing[2], t.origin[0], t.origin[1], t.origin[2],
                  t.dir[0][0], t.dir[0][1], t.dir[0][2], t.dir[1][0], t.dir[1][1], t.dir[1][2], t.dir[2][0],
                  t.dir[2][1], t.dir[2][2]);
    std::string s = b;
    if (compressedSize)
        s += "CompressedData = True\nCompressedDataSize = " + std::to_string(compressedSize) + "\n";
    s += "BinaryData = True\nBinaryDataByteOrderMSB = False\nElementType = MET_SHORT\nElementDataFile = " + dataFile +
         "\n";
    return s;
}

// A little-endian multi-page TIFF, one uncompressed strip per page, of
// 16-bit signed grey values (SampleFormat 2), no geometry.
inline std::string tiffBytes(const TestVolume &t)
{
    std::string f;
    putBytes(f, 0, "II*\0", 4);
    size_t page = static_cast<size_t>(t.nx) * t.ny * 2;
    size_t dataAt = 8, ifdAt = dataAt + page * t.nz;
    put<uint32_t>(f, 4, static_cast<uint32_t>(ifdAt));
    putBytes(f, dataAt, t.v.data(), page * t.nz);
    const int entries = 10;
    size_t ifdSize = 2 + 12 * entries + 4;
    for (int z = 0; z < t.nz; z++) {
        size_t at = ifdAt + ifdSize * z;
        put<uint16_t>(f, at, entries);
        const uint32_t tags[entries][3] = {
            {256, 4, static_cast<uint32_t>(t.nx)}, {257, 4, static_cast<uint32_t>(t.ny)}, {258, 3, 16}, {259, 3, 1},
            {262, 3, 1}, {273, 4, static_cast<uint32_t>(dataAt + page * z)}, {277, 3, 1},
            {278, 4, static_cast<uint32_t>(t.ny)}, {279, 4, static_cast<uint32_t>(page)}, {339, 3, 2}};
        for (int e = 0; e < entries; e++) {
            size_t p = at + 2 + 12 * e;
            put<uint16_t>(f, p, static_cast<uint16_t>(tags[e][0]));
            put<uint16_t>(f, p + 2, static_cast<uint16_t>(tags[e][1]));
            put<uint32_t>(f, p + 4, 1);
            if (tags[e][1] == 3)
                put<uint16_t>(f, p + 8, static_cast<uint16_t>(tags[e][2]));
            else
                put<uint32_t>(f, p + 8, tags[e][2]);
        }
        put<uint32_t>(f, at + 2 + 12 * entries, z + 1 < t.nz ? static_cast<uint32_t>(at + ifdSize) : 0);
    }
    return f;
}

// One DICOM file per slice of t into folder dir (made by the caller),
// series UID uid, through ITK's GDCM image IO. The files are named in
// reverse order so that only their positions sort them.
void writeDicomSeries(const TestVolume &t, const std::string &dir, const std::string &uid, const std::string &stem);

} // namespace it
