// NIfTI-1 and NIfTI-2 (.nii, .nii.gz, .hdr/.img) through the NIfTI C
// library, which reads both versions.
#include <nifti/nifti2_io.h>

#include <zlib.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>
#include <algorithm>

#include "import.h"

namespace {

// The component type and layout of a NIfTI datatype code; false for the
// ones we do not read (128-bit floats, complex of long doubles, binary).
bool niftiType(int datatype, int *component, int *layout)
{
    *layout = IL_SCALAR;
    switch (datatype) {
    case DT_UINT8: *component = IC_U8; return true;
    case DT_INT8: *component = IC_I8; return true;
    case DT_UINT16: *component = IC_U16; return true;
    case DT_INT16: *component = IC_I16; return true;
    case DT_UINT32: *component = IC_U32; return true;
    case DT_INT32: *component = IC_I32; return true;
    case DT_UINT64: *component = IC_U64; return true;
    case DT_INT64: *component = IC_I64; return true;
    case DT_FLOAT32: *component = IC_F32; return true;
    case DT_FLOAT64: *component = IC_F64; return true;
    case DT_COMPLEX64: *component = IC_F32; *layout = IL_COMPLEX; return true;
    case DT_COMPLEX128: *component = IC_F64; *layout = IL_COMPLEX; return true;
    case DT_RGB24: *component = IC_U8; *layout = IL_RGB; return true;
    case DT_RGBA32: *component = IC_U8; *layout = IL_RGBA; return true;
    default: return false;
    }
}

// The header as the file holds it (through gzip), into h (540 bytes); false
// when it is short or a size in its dim field is below 1 (which the library
// would quietly make 1).
bool readRawHeader(const char *path, unsigned char *h)
{
    gzFile gz = gzopen(path, "rb");
    if (!gz)
        return false;
    std::memset(h, 0, 540);
    int n = gzread(gz, h, 540);
    gzclose(gz);
    if (n < 348)
        return false;
    int32_t size;
    std::memcpy(&size, h, 4);
    bool swap = size != 348 && size != 540;
    if (swap)
        size = static_cast<int32_t>(__builtin_bswap32(static_cast<uint32_t>(size)));
    bool two = size == 540;
    long long dim[8];
    for (int d = 0; d < 8; d++) {
        if (two) {
            uint64_t v;
            std::memcpy(&v, h + 16 + 8 * d, 8);
            dim[d] = static_cast<int64_t>(swap ? __builtin_bswap64(v) : v);
        } else {
            uint16_t v;
            std::memcpy(&v, h + 40 + 2 * d, 2);
            dim[d] = static_cast<int16_t>(swap ? __builtin_bswap16(v) : v);
        }
    }
    if (dim[0] < 1 || dim[0] > 7)
        return false;
    for (int d = 1; d <= dim[0]; d++)
        if (dim[d] < 1)
            return false;
    return true;
}

struct NiftiCloser {
    nifti_image *nim;
    ~NiftiCloser() { nifti_image_free(nim); }
};

} // namespace

int readNiftiImage(const char *path, ImportedImage *img)
{
    nifti_set_debug_level(0);
    unsigned char raw[540];
    if (!readRawHeader(path, raw)) {
        std::fprintf(stderr, "'%s': NIfTI header cut short, or sizes zero or negative.\n", path);
        return -1;
    }
    // A single file (magic n+1, n+2) is read by content whatever its name;
    // the library only opens header/image pairs, which go by name.
    bool single = std::memcmp(raw + 344, "n+1", 4) == 0 || std::memcmp(raw + 4, "n+2", 4) == 0;
    NiftiCloser header{nullptr};
    if (!single) {
        header.nim = nifti_image_read(path, 0);
    } else if (std::memcmp(raw + 344, "n+1", 4) == 0) {
        nifti_1_header h1;
        std::memcpy(&h1, raw, sizeof h1);
        header.nim = nifti_convert_n1hdr2nim(h1, path);
    } else {
        nifti_2_header h2;
        std::memcpy(&h2, raw, sizeof h2);
        header.nim = nifti_convert_n2hdr2nim(h2, path);
    }
    nifti_image *nim = header.nim;
    if (!nim) {
        std::fprintf(stderr, "'%s': unreadable or truncated NIfTI header.\n", path);
        return -1;
    }
    int component, layout;
    if (!niftiType(nim->datatype, &component, &layout)) {
        std::fprintf(stderr, "'%s': NIfTI datatype %d (%s) is not supported.\n", path, nim->datatype,
                     nifti_datatype_string(nim->datatype));
        return -1;
    }
    long long nx = nim->nx, ny = nim->ndim >= 2 ? nim->ny : 1, nz = nim->ndim >= 3 ? nim->nz : 1;
    long long n = checkImportSizes(path, nx, ny, nz);
    if (n < 0)
        return -1;
    // The whole file's voxels, every dimension past the third included.
    long long total = 1;
    for (int d = 1; d <= nim->ndim && d <= 7; d++) {
        if (nim->dim[d] < 1 || total > (1LL << 50) / nim->dim[d]) {
            std::fprintf(stderr, "'%s': NIfTI sizes are negative or their product overflows.\n", path);
            return -1;
        }
        total *= nim->dim[d];
    }
    long long need = total * nim->nbyper;
    const char *data = !single && nim->iname ? nim->iname : path;
    long long have = fileBytes(data);
    if (have < 0) {
        std::fprintf(stderr, "'%s': its data file '%s' is missing.\n", path, data);
        return -1;
    }
    bool gz = isGzipFile(data);
    if (checkVoxelBytes(path, need, gz ? have : std::max(have - static_cast<long long>(nim->iname_offset), 0LL), gz) != 0)
        return -1;
    if (gz && checkCompressedData(data, 0, need + nim->iname_offset) != 0)
        return -1;
    std::vector<char> voxels;
    const void *buf = nullptr;
    if (single) {
        // Read here: through zlib, which passes uncompressed files through.
        voxels.resize(static_cast<size_t>(need));
        gzFile gz = gzopen(path, "rb");
        bool ok = gz && nim->iname_offset >= 0 && gzseek(gz, static_cast<z_off_t>(nim->iname_offset), SEEK_SET) >= 0;
        for (long long got = 0; ok && got < need;) {
            unsigned chunk = static_cast<unsigned>(std::min(need - got, 1LL << 30));
            int r = gzread(gz, voxels.data() + got, chunk);
            ok = r == static_cast<int>(chunk);
            got += r > 0 ? r : 0;
        }
        if (gz)
            gzclose(gz);
        if (!ok) {
            std::fprintf(stderr, "'%s': truncated or unreadable NIfTI voxel data.\n", path);
            return -1;
        }
        if (nim->byteorder != nifti_short_order() && nim->swapsize > 1)
            nifti_swap_Nbytes(need / nim->swapsize, nim->swapsize, voxels.data());
        buf = voxels.data();
    } else {
        if (nifti_image_load(nim) != 0 || !nim->data) {
            std::fprintf(stderr, "'%s': truncated or unreadable NIfTI voxel data.\n", path);
            return -1;
        }
        buf = nim->data;
    }
    if (total > n)
        std::fprintf(stderr, "'%s': %lld-D file, showing the first of %lld volumes.\n", path,
                     static_cast<long long>(nim->ndim), total / n);
    if (layout == IL_RGB || layout == IL_RGBA)
        std::fprintf(stderr, "'%s': RGB voxels, shown as their luminance.\n", path);
    else if (layout == IL_COMPLEX)
        std::fprintf(stderr, "'%s': complex voxels, shown as their magnitude.\n", path);
    convertVoxels(buf, component, layout, static_cast<size_t>(n), &img->values);
    double slope = nim->scl_slope, inter = nim->scl_inter;
    if (std::isfinite(slope) && std::isfinite(inter) && slope != 0 && (slope != 1 || inter != 0))
        for (float &v : img->values)
            v = static_cast<float>(v * slope + inter);
    img->nx = static_cast<int>(nx);
    img->ny = static_cast<int>(ny);
    img->nz = static_cast<int>(nz);
    double d[3] = {std::fabs(nim->dx), std::fabs(nim->dy), std::fabs(nim->dz)};
    for (int a = 0; a < 3; a++)
        img->spacing[a] = std::isfinite(d[a]) && d[a] > 0 && a < nim->ndim ? d[a] : 1.0;
    // The sform where it is set, else the qform, else the voxel sizes
    // alone; NIfTI's RAS coordinates become LPS like the other formats'.
    const nifti_dmat44 *m = nim->sform_code > 0 ? &nim->sto_xyz : nim->qform_code > 0 ? &nim->qto_xyz : nullptr;
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 4; c++) {
            double v = m ? m->m[r][c] : (r == c ? img->spacing[c] : 0.0);
            img->matrix[r][c] = m && r < 2 ? -v : v;
        }
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 4; c++)
            if (!std::isfinite(img->matrix[r][c])) {
                std::fprintf(stderr, "'%s': the NIfTI transform is not finite.\n", path);
                return -1;
            }
    return 0;
}
