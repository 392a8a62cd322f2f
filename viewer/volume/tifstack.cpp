// Float volumes from numbered slice-image stacks, read through the scene
// library's image reader.
#include "volume_util.h"
#include "xrw.h"

#include "printf_pattern.h"
#include "vqscene.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Longest slice file name a pattern may produce.
const int kSliceNameLen = 254;

// The pattern is handed to the formatter with one int, so it may hold exactly
// one integer conversion (flags, width and precision allowed) besides "%%".
bool isSlicePattern(const char *pattern)
{
    static const vq::PatternRules rules{"-+ #0", -1, true, "diouxX"};
    return vq::countPatternConversions(pattern, rules) == 1;
}

// Sum of the three colour bytes of each pixel; image row y goes to element
// height-1-y of row x.
int fillSlicePlane(Xvol *xvol, int plane, const unsigned char *img, int width, int height)
{
    float **rows = static_cast<float **>(malloc(std::max(width, 1) * sizeof(float *)));
    if (!rows) {
        fprintf(stderr, "Failed to allocate row in float volume.\n");
        return -1;
    }
    for (int x = 0; x < width; x++) {
        rows[x] = static_cast<float *>(malloc(std::max(height, 1) * sizeof(float)));
        if (!rows[x]) {
            fprintf(stderr, "Failed to allocate column in float volume.\n");
            for (int r = 0; r < x; r++)
                free(rows[r]);
            free(rows);
            return -1;
        }
        for (int y = 0; y < height; y++) {
            const unsigned char *px = img + 4 * (static_cast<size_t>(x) + static_cast<size_t>(width) * y);
            rows[x][height - 1 - y] = static_cast<float>(px[0] + px[1] + px[2]);
        }
    }
    xvol->data[plane] = rows;
    return 0;
}

} // namespace

Xvol *loadTifStack(const char *pattern, int first, int last, int step)
{
    if (!pattern || !isSlicePattern(pattern)) {
        fprintf(stderr, "Slice name pattern '%s' must hold exactly one integer conversion.\n",
                pattern ? pattern : "");
        return nullptr;
    }
    if (step < 1) {
        fprintf(stderr, "Slice step %d is below 1.\n", step);
        return nullptr;
    }
    if (last < first) {
        fprintf(stderr, "No slices to read: last slice %d is below first slice %d.\n", last, first);
        return nullptr;
    }
    long long span = static_cast<long long>(last) - first;
    long long count = span / step + 1;
    if (count > INT_MAX) {
        fprintf(stderr, "Too many slices (%lld) to read.\n", count);
        return nullptr;
    }
    if (!vq::patternFieldsFit(pattern, kSliceNameLen)) {
        fprintf(stderr, "Slice name from pattern '%s' is longer than %d characters.\n", pattern, kSliceNameLen);
        return nullptr;
    }
    Xvol *xvol = newXvol();
    if (!xvol)
        return nullptr;
    snprintf(xvol->filename, XRW_NAME_LEN, "from_TIF_stack_%s", pattern);

    // The plane table grows with the slices read, so a huge slice range
    // costs nothing until its files turn out to exist.
    long long capacity = 0;
    for (long long s = 0; s <= span; s += step) {
        char name[kSliceNameLen + 1];
        int len = snprintf(name, sizeof name, pattern, static_cast<int>(first + s));
        if (len < 0 || len > kSliceNameLen) {
            fprintf(stderr, "Slice name from pattern '%s' is longer than %d characters.\n", pattern,
                    kSliceNameLen);
            freeXvol(xvol);
            return nullptr;
        }
        if (xvol->nx == capacity) {
            capacity = std::min(count, std::max(capacity * 2, 16LL));
            float ***grown = static_cast<float ***>(realloc(xvol->data, capacity * sizeof(float **)));
            if (!grown) {
                fprintf(stderr, "Failed to allocate %ld bytes\n",
                        static_cast<long>(capacity * sizeof(float **)));
                exit(-1);
            }
            xvol->data = grown;
        }
        fprintf(stderr, "reading file %s...\n", name);
        int width = 0, height = 0;
        unsigned char *img = ReadTGATexture(name, &width, &height);
        if (!img) {
            fprintf(stderr, "Failed to read image %s\n", name);
            exit(-1);
        }
        const char *refusal = nullptr;
        if (s == 0) {
            fprintf(stderr, "Slices are %d x %d\n", width, height);
            if (countVoxels(width, height, 1) < 0)
                refusal = "";
            xvol->ny = width;
            xvol->nz = height;
        } else if (width != xvol->ny || height != xvol->nz) {
            fprintf(stderr, "Slice %s is %d x %d, unlike the first slice of %d x %d.\n", name, width, height,
                    xvol->ny, xvol->nz);
            refusal = "";
        }
        if (!refusal && fillSlicePlane(xvol, xvol->nx, img, width, height) < 0)
            refusal = "";
        free(img);
        if (refusal) {
            freeXvol(xvol);
            return nullptr;
        }
        xvol->nx++;
    }
    setUnitGreyXvol(xvol);
    return xvol;
}
