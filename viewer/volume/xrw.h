// Byte volumes (XRW files) and float volumes, with their conversions,
// resampling and other loaders.
#pragma once

#define XRW_NAME_LEN 400

// Byte volume: mirror of an XRW file. Voxel (x, y, z) is data[x + nx*y + nx*ny*z].
struct Xraw {
    char filename[XRW_NAME_LEN];
    int nx, ny, nz;
    float dx, dy, dz;
    unsigned char *data;
    unsigned char cmap_r[256], cmap_g[256], cmap_b[256];
};

// Float volume: data[i][j][k], a table of nx planes of ny rows of nz floats.
struct Xvol {
    char filename[XRW_NAME_LEN];
    int nx, ny, nz;
    float dx, dy, dz;
    float ***data;
    float cmap_r[256], cmap_g[256], cmap_b[256];
};

enum { RAW_UINT8 = 1, RAW_UINT16 = 2 };

Xraw *loadXraw(const char *filename);   // null after one line on stderr
void showXraw(const Xraw *xraw);        // header to stdout
int saveXraw(const Xraw *xraw);         // 0, or -1 after one line on stderr
void freeXraw(Xraw *xraw);              // null is fine
// 1 when the file's header and length match a whole XRW file (sizes of at
// least 1, 24 + voxels + 768 bytes of content: the file's own length, or
// gzip's recorded length), else 0. Reads the header and the gzip trailer
// only; prints nothing.
int looksLikeXraw(const char *filename);

Xvol *Xraw2Xvol(const Xraw *xraw, const int *stride);
void showXvol(const Xvol *xvol);
Xraw *Xvol2Xraw(const Xvol *xvol);
void normaliseXvol(Xvol *xvol);
void freeXvol(Xvol *xvol);              // null is fine

Xvol *makePow2Xvol(const Xvol *xvol);
Xvol *rebinXvol(const Xvol *xvol, const int *stride);

Xvol *loadTifStack(const char *pattern, int first, int last, int step);
Xvol *loadRaw(const char *filename, int nx, int ny, int nz, int format);
