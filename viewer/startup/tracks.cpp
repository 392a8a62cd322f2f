// Tracks: one poly-line per numbered text file, all points in one array.
#include "tracks.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "printf_pattern.h"
#include "state.h"
#include "trackset.h"
#include "vqscene.h"

namespace {

const long kPointChunk = 1000;
const long kCountChunk = 100;
const int kNameLen = 400;  // track file names, with their terminator

} // namespace

bool trackPatternValid(const char *pattern)
{
    // No length modifier: the one argument is a plain int.
    static const vq::PatternRules rules{"-+ #0'", -1, true, "diouxX"};
    return vq::countPatternConversions(pattern, rules) == 1;
}

int readTracks(const char *pattern, int skip)
{
    Point3 *points = nullptr;
    long capacity = 0, total = 0;
    int *counts = nullptr;
    long countCapacity = 0;
    ntracks = 0;
    if (!vq::patternFieldsFit(pattern, kNameLen - 1)) {
        std::fprintf(stderr, "Track file name from '%s' is longer than 399 characters.\n", pattern);
        return -1;
    }
    for (long n = 0; n <= INT_MAX; n += skip) {
        char name[kNameLen];
        int len = std::snprintf(name, sizeof name, pattern, static_cast<int>(n));
        if (len < 0 || len >= static_cast<int>(sizeof name)) {
            std::fprintf(stderr, "Track file name from '%s' is longer than 399 characters.\n", pattern);
            return -1;
        }
        FILE *f = std::fopen(name, "r");
        if (!f)
            break;
        int npoints = 0;
        double x, y, z;
        // Unparsable text, or a number that is not finite, ends the file.
        while (std::fscanf(f, "%lf %lf %lf", &x, &y, &z) == 3 && std::isfinite(x) && std::isfinite(y) &&
               std::isfinite(z)) {
            if (total == capacity) {
                Point3 *grown =
                    static_cast<Point3 *>(std::realloc(points, sizeof(Point3) * (capacity + kPointChunk)));
                if (!grown) {
                    std::fclose(f);
                    std::fprintf(stderr, "Failed to allocate track points.\n");
                    return -1;
                }
                points = grown;
                capacity += kPointChunk;
            }
            points[total++] = Point3{x, y, z};
            npoints++;
        }
        if (ntracks == countCapacity) {
            int *grown =
                static_cast<int *>(std::realloc(counts, sizeof(int) * (countCapacity + kCountChunk)));
            if (!grown) {
                std::fclose(f);
                std::fprintf(stderr, "Failed to allocate track counts.\n");
                return -1;
            }
            counts = grown;
            countCapacity += kCountChunk;
        }
        counts[ntracks] = npoints;
        std::fclose(f);
        ntracks++;
    }
    // The point array has stopped moving: now the per-track pointers hold.
    Point3 **starts = static_cast<Point3 **>(std::malloc(sizeof(Point3 *) * (ntracks > 0 ? ntracks : 1)));
    if (!starts) {
        std::fprintf(stderr, "Failed to allocate track starts.\n");
        return -1;
    }
    long offset = 0;
    for (long t = 0; t < ntracks; t++) {
        starts[t] = points + offset;
        offset += counts[t];
    }
    count = counts;
    start = starts;
    std::fprintf(stderr, "loaded %ld track files, lengths are:\n", static_cast<long>(ntracks));
    for (long t = 0; t < ntracks; t++)
        std::fprintf(stderr, "%7d ", count[t]);
    return 0;
}

Colour3 trackColour(const Point3 *p, int n)
{
    Point3 d = VectorSub(p[0], p[n - 1]);
    Normalise(&d);
    double s = std::fabs(d.z) < 1.0 ? std::fabs(d.z) : 1.0;
    double v = std::fabs(d.x) < 1.0 ? std::fabs(d.x) : 1.0;
    return HSV2RGB(std::fabs(d.y) * 360.0, s, v);
}

void trackPass()
{
    // A tractogram file is one line set, shown and hidden by key 2 alike.
    if (haveTrackSet()) {
        if (numcount[2] & 1)
            drawTrackSet();
        return;
    }
    if (!start || (numcount[2] & 1) == 0 || ntracks <= 0)
        return;
    for (long t = 0; t < ntracks; t++) {
        int n = count[t];
        if (n <= 1)
            continue;
        const Point3 *p = start[t];
        Colour3 colour = trackColour(p, n);
        for (int k = 0; k < n - 1; k++)
            nvqvthcline(p[k], p[k + 1], colour, colour, 2.0f);
    }
}
