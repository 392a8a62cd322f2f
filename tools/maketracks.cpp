// maketracks: writes deterministic sample tracks for xrwview's -Tf option:
// helices and bent arcs through a box centred on the origin, one track per
// file DIR/t0.txt, DIR/t1000.txt, DIR/t2000.txt, ... (read with -Tf DIR/t%d.txt).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void usage()
{
    fprintf(stderr, "usage: maketracks DIR [HALF_SIZE [COUNT]]\n");
}

bool parsePositive(const char *s, double lo, double hi, double *v)
{
    char *end;
    *v = strtod(s, &end);
    return !*end && std::isfinite(*v) && *v >= lo && *v <= hi;
}

// Track t: a helix, or every third one a bent arc, of 200 points around an
// axis through the box; the axes spread evenly over the directions, so the
// viewer's direction colours show every hue.
int writeTrack(const char *dir, int t, int count, double half)
{
    char name[1024];
    if (snprintf(name, sizeof name, "%s/t%d.txt", dir, t * 1000) >= static_cast<int>(sizeof name)) {
        fprintf(stderr, "maketracks: directory name too long\n");
        return -1;
    }
    FILE *f = fopen(name, "w");
    if (!f) {
        fprintf(stderr, "maketracks: cannot write '%s'\n", name);
        return -1;
    }
    const double pi = 3.14159265358979323846;
    double cosTheta = 1 - 2 * (t + 0.5) / count, sinTheta = std::sqrt(1 - cosTheta * cosTheta);
    double phi = t * 2.399963229728653;
    double a[3] = {sinTheta * std::cos(phi), sinTheta * std::sin(phi), cosTheta};
    // Two unit vectors across the axis.
    double u[3] = {-std::sin(phi), std::cos(phi), 0};
    double w[3] = {a[1] * u[2] - a[2] * u[1], a[2] * u[0] - a[0] * u[2], a[0] * u[1] - a[1] * u[0]};
    double centre[3] = {0.1 * half * std::sin(3.0 * t), 0.1 * half * std::cos(5.0 * t),
                        0.1 * half * std::sin(7.0 * t)};
    double length = 0.65 * half, radius = half * (0.06 + 0.03 * (t % 5)), turns = 1.5 + (t % 4);
    const int points = 200;
    for (int p = 0; p < points; p++) {
        double s = static_cast<double>(p) / (points - 1);
        double along = length * (2 * s - 1), cu, cw;
        if (t % 3 == 2) {
            cu = 2 * radius * std::sin(pi * s);
            cw = 0;
        } else {
            cu = radius * std::cos(2 * pi * turns * s + phi);
            cw = radius * std::sin(2 * pi * turns * s + phi);
        }
        double q[3];
        for (int c = 0; c < 3; c++)
            q[c] = centre[c] + along * a[c] + cu * u[c] + cw * w[c];
        fprintf(f, "%.6f %.6f %.6f\n", q[0], q[1], q[2]);
    }
    if (fclose(f) != 0) {
        fprintf(stderr, "maketracks: failed writing '%s'\n", name);
        return -1;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    double half = 64, count = 36;
    if (argc < 2 || argc > 4 || (argc > 2 && !parsePositive(argv[2], 1e-6, 1e6, &half)) ||
        (argc > 3 && !parsePositive(argv[3], 1, 1000, &count))) {
        usage();
        return 1;
    }
    int n = static_cast<int>(count);
    for (int t = 0; t < n; t++)
        if (writeTrack(argv[1], t, n, half) != 0)
            return 1;
    printf("wrote %d tracks to %s/t%%d.txt\n", n, argv[1]);
    return 0;
}
