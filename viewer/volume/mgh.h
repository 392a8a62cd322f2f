// FreeSurfer MGH files (.mgh, and .mgz through gzip): a big-endian header
// of sizes, voxel type and the voxel-to-RAS geometry, then the voxels with
// x fastest and frames last. Both the volume import and the per-vertex
// surface overlays read them through readMghFile.
#pragma once

#include <vector>

// The header's fixed part; the voxels start right after it.
const int kMghHeaderBytes = 284;

enum MghType { MGH_UCHAR = 0, MGH_INT = 1, MGH_FLOAT = 3, MGH_SHORT = 4 };

struct MghFile {
    int dims[4] = {0, 0, 0, 0}; // width, height, depth, frames
    int type = -1;
    int goodRas = 0;
    float voxelSize[3] = {1, 1, 1};
    // Direction cosines of the x, y and z voxel axes in RAS, and the RAS
    // of the volume's centre voxel (dims / 2).
    float mdc[3][3] = {{-1, 0, 0}, {0, 0, -1}, {0, 1, 0}};
    float centre[3] = {0, 0, 0};
    // Voxel to scanner RAS (millimetres), from the above.
    double vox2ras[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    std::vector<float> values; // the first frame, as floats
};

// Whether the first bytes (at least kMghHeaderBytes, after gzip) make an
// MGH header: version 1, sizes at least 1 and a voxel type read here.
bool isMghHeader(const unsigned char *head, int n);

// Reads the header and the first frame's voxels of path (gzip or plain).
// 0, or -1 after one line on stderr naming the file. Nothing is allocated
// beyond what the file can hold.
int readMghFile(const char *path, MghFile *out);
