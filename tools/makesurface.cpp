// makesurface: writes a deterministic closed ellipsoid surface that lies on
// the inner shell of the phantom of makephantom, as binary STL or OBJ text.
// Coordinates count from the lower corner of the phantom's box (0..N), as
// the viewer's surface pass expects.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "save_file.h"

namespace {

struct V3 {
    float x, y, z;
};

const int kSlices = 64; // around the long axis
const int kStacks = 32; // pole to pole

void usage()
{
    fprintf(stderr, "usage: makesurface OUT.obj|OUT.stl [N]\n");
}

bool endsWith(const char *s, const char *tail)
{
    size_t n = strlen(s), t = strlen(tail);
    return n >= t && strcmp(s + n - t, tail) == 0;
}

// A UV ellipsoid: two poles and kStacks - 1 rings of kSlices vertices, the
// triangles wound outwards.
void ellipsoid(int n, std::vector<V3> *v, std::vector<int> *f)
{
    // The phantom's inner shell in its [-1, 1] cube, scaled to N voxels.
    const double c = n / 2.0, rx = 0.5 * c, ry = 0.42 * c, rz = 0.46 * c;
    const double pi = 3.14159265358979323846;
    v->push_back({static_cast<float>(c), static_cast<float>(c), static_cast<float>(c + rz)});
    for (int s = 1; s < kStacks; s++) {
        double th = pi * s / kStacks;
        for (int k = 0; k < kSlices; k++) {
            double ph = 2 * pi * k / kSlices;
            v->push_back({static_cast<float>(c + rx * std::sin(th) * std::cos(ph)),
                          static_cast<float>(c + ry * std::sin(th) * std::sin(ph)),
                          static_cast<float>(c + rz * std::cos(th))});
        }
    }
    v->push_back({static_cast<float>(c), static_cast<float>(c), static_cast<float>(c - rz)});
    auto ring = [](int s, int k) { return 1 + (s - 1) * kSlices + (k % kSlices); };
    const int bottom = static_cast<int>(v->size()) - 1;
    for (int k = 0; k < kSlices; k++)
        f->insert(f->end(), {0, ring(1, k), ring(1, k + 1)});
    for (int s = 1; s < kStacks - 1; s++)
        for (int k = 0; k < kSlices; k++) {
            f->insert(f->end(), {ring(s, k), ring(s + 1, k), ring(s + 1, k + 1)});
            f->insert(f->end(), {ring(s, k), ring(s + 1, k + 1), ring(s, k + 1)});
        }
    for (int k = 0; k < kSlices; k++)
        f->insert(f->end(), {bottom, ring(kStacks - 1, k + 1), ring(kStacks - 1, k)});
}

void putU32(FILE *out, uint32_t u)
{
    unsigned char b[4] = {static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8),
                          static_cast<unsigned char>(u >> 16), static_cast<unsigned char>(u >> 24)};
    fwrite(b, 1, 4, out);
}

void putF32(FILE *out, float f)
{
    uint32_t u;
    memcpy(&u, &f, 4);
    putU32(out, u);
}

void writeStl(FILE *out, const std::vector<V3> &v, const std::vector<int> &f)
{
    char header[80] = "makesurface ellipsoid";
    fwrite(header, 1, sizeof header, out);
    putU32(out, static_cast<uint32_t>(f.size() / 3));
    for (size_t t = 0; t < f.size(); t += 3) {
        const V3 &a = v[f[t]], &b = v[f[t + 1]], &c = v[f[t + 2]];
        float ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
        float wx = c.x - a.x, wy = c.y - a.y, wz = c.z - a.z;
        float nx = uy * wz - uz * wy, ny = uz * wx - ux * wz, nz = ux * wy - uy * wx;
        float m = std::sqrt(nx * nx + ny * ny + nz * nz);
        if (m > 0) {
            nx /= m;
            ny /= m;
            nz /= m;
        }
        for (float x : {nx, ny, nz, a.x, a.y, a.z, b.x, b.y, b.z, c.x, c.y, c.z})
            putF32(out, x);
        fputc(0, out);
        fputc(0, out);
    }
}

void writeObj(FILE *out, const std::vector<V3> &v, const std::vector<int> &f)
{
    fprintf(out, "# makesurface ellipsoid, %zu vertices, %zu facets\n", v.size(), f.size() / 3);
    // The reader takes a vertex line's numbers as y, z, x.
    for (const V3 &p : v)
        fprintf(out, "v %.9g %.9g %.9g\n", p.y, p.z, p.x);
    for (size_t t = 0; t < f.size(); t += 3)
        fprintf(out, "f %d %d %d\n", f[t] + 1, f[t + 1] + 1, f[t + 2] + 1);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 3) {
        usage();
        return 1;
    }
    const char *name = argv[1];
    bool stl = endsWith(name, ".stl"), obj = endsWith(name, ".obj");
    if (!stl && !obj) {
        fprintf(stderr, "makesurface: %s must end in .obj or .stl\n", name);
        return 1;
    }
    int n = 128;
    if (argc == 3) {
        char *end;
        long v = strtol(argv[2], &end, 10);
        if (*end || v < 1 || v > 4096) {
            fprintf(stderr, "makesurface: N must be a whole number from 1 to 4096\n");
            return 1;
        }
        n = static_cast<int>(v);
    }
    std::vector<V3> v;
    std::vector<int> f;
    ellipsoid(n, &v, &f);
    SaveFile save;
    FILE *out = beginSave(save, name) ? openSaveStream(save, stl ? "wb" : "w") : nullptr;
    if (!out) {
        abandonSave(save);
        fprintf(stderr, "makesurface: cannot write %s\n", name);
        return 1;
    }
    if (stl)
        writeStl(out, v, f);
    else
        writeObj(out, v, f);
    if (!finishSave(save, !ferror(out))) {
        fprintf(stderr, "makesurface: failed writing %s\n", name);
        return 1;
    }
    fprintf(stderr, "makesurface: %s, %zu vertices, %zu facets\n", name, v.size(), f.size() / 3);
    return 0;
}
