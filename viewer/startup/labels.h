// Label volumes: a FreeSurfer-style colour table (FreeSurferColorLUT.txt)
// and the bytes that stand for the labels a volume holds.
#pragma once

#include <cstddef>
#include <vector>

// One row of a colour table: label number and colour (0..255 each).
struct LabelColour {
    long label;
    unsigned char r, g, b;
};

// Reads `index name r g b a` lines (# starts a comment, blank lines are
// passed over) into table, sorted by label. 0, or -1 after one line on
// stderr naming the file and the line.
int readLabelTable(const char *path, std::vector<LabelColour> *table);

// The labels of n voxels, given as exactly one of floats, shorts or bytes,
// as bytes: label 0 byte 0, the other labels present, in ascending order,
// bytes 1..N (N at most 255), written to out (which may be bytes itself);
// colours[k] gets byte k's table colour (colours[0] black). N, or -1 after
// one line naming `name` (a voxel value that is no label number, more than
// 255 labels, a label missing from the table, named by tableName).
int labelVolumeBytes(const char *name, const char *tableName, const float *floats, const short *shorts,
                     const unsigned char *bytes, size_t n, const std::vector<LabelColour> &table,
                     unsigned char *out, unsigned char colours[256][3]);
