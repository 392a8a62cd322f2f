// Volumes from other imaging formats (NIfTI-1/2, MGH/MGZ, NRRD, MetaImage,
// DICOM series, TIFF), recognised by content and turned into a byte volume
// through a value window. Kept apart from the toolkit: only programs that
// read such files link it (library xrwimport).
#pragma once

#include <string>
#include <vector>

#include "volume_util.h"
#include "xrw.h"

enum ImportFormat {
    IMPORT_NONE = 0, // not one of the formats below (XRW, or nothing known)
    IMPORT_NIFTI1,
    IMPORT_NIFTI2,
    IMPORT_NRRD,
    IMPORT_META,
    IMPORT_DICOM,
    IMPORT_TIFF,
    IMPORT_MGH,
};

// The format by the file's first bytes (through gzip for NIfTI); a
// directory is taken as a DICOM series. IMPORT_NONE when nothing matches.
int recogniseVolumeFile(const char *path);
const char *importFormatName(int format);

// What a format reader hands over: the first 3-D volume as floats, x
// fastest, and its index-to-world transform (LPS patient coordinates for
// every format, as ITK and DICOM use them).
struct ImportedImage {
    int nx = 0, ny = 0, nz = 0;
    double spacing[3] = {1, 1, 1};
    double matrix[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    std::vector<float> values;
};

// Voxel component types and layouts the readers hand to convertVoxels.
enum ImportComponent { IC_U8, IC_I8, IC_U16, IC_I16, IC_U32, IC_I32, IC_U64, IC_I64, IC_F32, IC_F64 };
enum ImportLayout { IL_SCALAR, IL_RGB, IL_RGBA, IL_COMPLEX };
// Bytes of one component, 0 for an unknown type.
int importComponentBytes(int component);
// Appends `count` voxels of buf (native byte order) to out as floats:
// scalars as they are, RGB(A) as luminance 0.299 R + 0.587 G + 0.114 B,
// complex as magnitude.
void convertVoxels(const void *buf, int component, int layout, size_t count, std::vector<float> *out);

// The readers: 0, or -1 after one line on stderr naming the file.
int readNiftiImage(const char *path, ImportedImage *img);
int readItkImage(const char *path, int format, ImportedImage *img); // NRRD, MetaImage, DICOM
int readTiffImage(const char *path, ImportedImage *img);
int readMghImage(const char *path, ImportedImage *img);

// The longest ITK's readers may take on one file, in seconds (they run in a
// child process, stopped then): 600 unless changed.
extern int importReaderSeconds;

// The result of importVolume.
struct ImportedVolume {
    Xraw *xraw = nullptr;  // bytes after the window, grey ramp, voxel sizes
    float matrix[4][4] {}; // index-to-world as an -M matrix file holds it
    int format = IMPORT_NONE;
    double lo = 0, hi = 0; // the window used
    int defaultWindow = 0; // 1: the percentiles, 0: given
    std::vector<float> values; // the voxels before the window, when asked for
};

// Reads a recognised file and windows it: window null means the 0.5th to
// 99.5th percentile of the voxel values. 0, or -1 after one line on stderr.
// keepValues: out->values keeps the file's values (x fastest).
int importVolume(const char *path, const double *window, ImportedVolume *out, bool keepValues = false);

// The window's byte for a value: 0 at or below lo, 255 at or above hi,
// linear and rounded between; NaN gives 0.
unsigned char windowByte(float v, double lo, double hi);
// The values at ranks round(0.005 (n-1)) and round(0.995 (n-1)) of the
// finite values (of a regular sample of 2^24 of them for larger volumes);
// 0 0 when there is none.
void percentileWindow(const std::vector<float> &values, double *lo, double *hi);

// Checks, before anything is allocated, that `need` bytes of voxels can
// come from `have` bytes of file: at most `have` for raw data, 1032 times
// it (deflate's limit) for compressed data. -1 after a message.
int checkVoxelBytes(const char *path, long long need, long long have, bool compressed);
// Inflates, without keeping it, the gzip or zlib stream at `offset` of a
// file: 0 when it is whole and holds at least `need` bytes, else -1 after
// a message.
int checkCompressedData(const char *path, long long offset, long long need);
// The size of a file, or -1.
long long fileBytes(const char *path);
// The voxel count nx*ny*nz of a header's sizes; -1 after a message naming
// the file when a size is below 1 or the product passes 2^31-1.
long long checkImportSizes(const char *path, long long nx, long long ny, long long nz);

// The xrwview start-up hook (see VolumeImporter in startup.h).
int importForViewer(const char *path, const float *window, int matrixGiven, Xraw **xraw, float m[4][4],
                    double used[2], FileValues *values);
// The values as 16-bit integers when every one is such an integer (its
// bits and all), else as floats; none when memory is refused.
FileValues keepFileValues(const std::vector<float> &values);

// Writes m as four rows of four reals, the -M file format, beside the
// target and renamed into place. 0, or -1 after a message.
int writeMatrixFile(const char *path, const float m[4][4]);
