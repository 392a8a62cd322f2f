// maketractogram: writes a synthetic whole-brain-like tractogram as an
// MRtrix .tck file (Float32LE, RAS millimetres): COUNT smooth random
// curves of 40 to 160 points at 1 mm steps inside a head-sized ellipsoid
// (semi-axes 70, 85, 60 mm about the origin), each turning a little at
// every step and bouncing off the ellipsoid's wall. Deterministic for a
// given SEED. Optionally also the same streamlines as numbered text files
// (one per streamline, DIR/t0.txt, DIR/t1.txt, ...) for -Tf 'DIR/t%d.txt' -Ts 1.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const double kAxes[3] = {70, 85, 60};

// A small deterministic generator (xorshift64*), so that every machine
// writes the same file.
struct Random {
    uint64_t s;
    double uniform()
    {
        s ^= s >> 12;
        s ^= s << 25;
        s ^= s >> 27;
        return static_cast<double>((s * 2685821657736338717ULL) >> 11) / 9007199254740992.0;
    }
    double normal()
    {
        double u = uniform() + 1e-12, v = uniform();
        return std::sqrt(-2 * std::log(u)) * std::cos(2 * M_PI * v);
    }
};

bool inside(const double p[3])
{
    double r = 0;
    for (int a = 0; a < 3; ++a)
        r += (p[a] / kAxes[a]) * (p[a] / kAxes[a]);
    return r < 1;
}

void unit(double d[3])
{
    double l = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    for (int a = 0; a < 3; ++a)
        d[a] /= l;
}

// One streamline of n points into out.
void curve(Random &r, int n, std::vector<float> &out)
{
    double p[3];
    do {
        for (int a = 0; a < 3; ++a)
            p[a] = (2 * r.uniform() - 1) * kAxes[a] * 0.8;
    } while (!inside(p));
    double d[3] = {r.normal(), r.normal(), r.normal()};
    unit(d);
    for (int k = 0; k < n; ++k) {
        for (int a = 0; a < 3; ++a)
            out.push_back(static_cast<float>(p[a]));
        for (int a = 0; a < 3; ++a)
            d[a] += 0.12 * r.normal();
        unit(d);
        double q[3] = {p[0] + d[0], p[1] + d[1], p[2] + d[2]};
        if (!inside(q)) {
            // Turn back towards the middle.
            for (int a = 0; a < 3; ++a)
                d[a] = -p[a] / kAxes[a] + 0.3 * r.normal();
            unit(d);
            for (int a = 0; a < 3; ++a)
                q[a] = p[a] + d[a];
        }
        std::memcpy(p, q, sizeof p);
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: maketractogram OUT.tck COUNT [SEED [TEXT_DIR]]\n");
        return 2;
    }
    long count = std::atol(argv[2]);
    Random r{argc > 3 ? std::strtoull(argv[3], nullptr, 10) * 2654435761ULL + 1 : 88172645463325252ULL};
    const char *textDir = argc > 4 ? argv[4] : nullptr;
    if (count < 1) {
        std::fprintf(stderr, "maketractogram: COUNT must be at least 1\n");
        return 2;
    }
    std::string tmp = std::string(argv[1]) + ".part";
    FILE *f = std::fopen(tmp.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "maketractogram: cannot write %s\n", tmp.c_str());
        return 1;
    }
    char header[256];
    const char *text = "mrtrix tracks\ncount: %010ld\ndatatype: Float32LE\nfile: . %d\nEND\n";
    int offset = std::snprintf(header, sizeof header, text, count, 100);
    std::snprintf(header, sizeof header, text, count, offset);
    std::fwrite(header, 1, offset, f);
    std::vector<float> line;
    long points = 0;
    const float nan = NAN, inf = INFINITY;
    const float sep[3] = {nan, nan, nan}, end[3] = {inf, inf, inf};
    for (long l = 0; l < count; ++l) {
        line.clear();
        int n = 40 + static_cast<int>(r.uniform() * 121);
        curve(r, n, line);
        std::fwrite(line.data(), sizeof(float), line.size(), f);
        std::fwrite(sep, sizeof sep, 1, f);
        points += n;
        if (textDir) {
            std::string name = std::string(textDir) + "/t" + std::to_string(l) + ".txt";
            FILE *t = std::fopen(name.c_str(), "w");
            if (!t) {
                std::fprintf(stderr, "maketractogram: cannot write %s\n", name.c_str());
                return 1;
            }
            for (int k = 0; k < n; ++k)
                std::fprintf(t, "%.6g %.6g %.6g\n", line[3 * k], line[3 * k + 1], line[3 * k + 2]);
            std::fclose(t);
        }
    }
    std::fwrite(end, sizeof end, 1, f);
    if (std::fclose(f) != 0 || std::rename(tmp.c_str(), argv[1]) != 0) {
        std::fprintf(stderr, "maketractogram: cannot write %s\n", argv[1]);
        return 1;
    }
    std::fprintf(stderr, "%s: %ld streamlines, %ld points\n", argv[1], count, points);
    return 0;
}
