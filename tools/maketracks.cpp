// maketracks: writes deterministic sample tracks for xrwview's -Tf option:
// helices and bent curves through a box centred on the origin, one track per
// file DIR/t0.txt, DIR/t1000.txt, DIR/t2000.txt, ... (read with -Tf DIR/t%d.txt).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static void usage()
{
    fprintf(stderr, "usage: maketracks DIR [HALF_SIZE [COUNT]]\n");
}

static bool parsePositive(const char *s, double lo, double hi, double *v)
{
    char *end;
    *v = strtod(s, &end);
    return !*end && std::isfinite(*v) && *v >= lo && *v <= hi;
}

// Track t: a helix around a tilted axis through the box, or every third one
// a planar arc, 200 points from one face towards the other.
static int writeTrack(const char *dir, int t, int count, double half)
{
    char name[1024];
    if (snprintf(name, sizeof name, "%s/t%d.txt", dir, t * 1000) >= (int)sizeof name) {
        fprintf(stderr, "maketracks: directory name too long\n");
        return -1;
    }
    FILE *f = fopen(name, "w");
    if (!f) {
        fprintf(stderr, "maketracks: cannot write '%s'\n", name);
        return -1;
    }
    const double pi = 3.14159265358979323846;
    double phase = 2 * pi * t / count;
    double ax = 0.5 * std::cos(phase), ay = 0.5 * std::sin(phase);
    double radius = half * (0.08 + 0.04 * (t % 5));
    double turns = 1.5 + (t % 4);
    const int points = 200;
    for (int p = 0; p < points; p++) {
        double s = (double)p / (points - 1);
        double z = half * 0.9 * (2 * s - 1);
        double cx = half * ax * (1 - s) - half * ay * s, cy = half * ay * (1 - s) + half * ax * s;
        double x, y;
        if (t % 3 == 2) {
            x = cx + radius * std::sin(pi * s);
            y = cy;
        } else {
            x = cx + radius * std::cos(2 * pi * turns * s + phase);
            y = cy + radius * std::sin(2 * pi * turns * s + phase);
        }
        fprintf(f, "%.6f %.6f %.6f\n", x, y, z);
    }
    if (fclose(f) != 0) {
        fprintf(stderr, "maketracks: failed writing '%s'\n", name);
        return -1;
    }
    return 0;
}

int main(int argc, char **argv)
{
    double half = 64, count = 36;
    if (argc < 2 || argc > 4 || (argc > 2 && !parsePositive(argv[2], 1e-6, 1e6, &half)) ||
        (argc > 3 && !parsePositive(argv[3], 1, 1000, &count))) {
        usage();
        return 1;
    }
    int n = (int)count;
    for (int t = 0; t < n; t++)
        if (writeTrack(argv[1], t, n, half) != 0)
            return 1;
    printf("wrote %d tracks to %s/t%%d.txt\n", n, argv[1]);
    return 0;
}
