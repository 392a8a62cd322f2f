// makedense: writes a deterministic dense sample XRW volume, the kind a
// scan gives: an ellipsoidal body filling most of the cube in which every
// voxel has a value well above the minimum (tissue of 20 to 100 with a slow
// bias across the body and grain from voxel to voxel), a bright shell near
// its surface, a bright blob inside; outside the body 0. Grey colour table.
#include "sample_volume.h"
#include "xrw.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void usage()
{
    fprintf(stderr, "usage: makedense OUT.xrw N [NY NZ]\n");
}

// A repeatable hash of three integers to 0..1.
float hash01(uint32_t x, uint32_t y, uint32_t z, uint32_t seed)
{
    uint32_t h = x * 0x8da6b343u ^ y * 0xd8163841u ^ z * 0xcb1ab31fu ^ seed * 0x9e3779b9u;
    h ^= h >> 15;
    h *= 0x2c1b3c6du;
    h ^= h >> 12;
    h *= 0x297a2d39u;
    h ^= h >> 15;
    return static_cast<float>(h >> 8) * (1.0f / 16777216.0f);
}

// Smooth noise in about -1..1 over the cube [-1, 1]^3: values on a lattice
// of `cells` cells a side, blended trilinearly with smoothed weights.
float latticeNoise(float u, float v, float w, int cells, uint32_t seed)
{
    float p[3] = {(u + 1.0f) * 0.5f * cells, (v + 1.0f) * 0.5f * cells, (w + 1.0f) * 0.5f * cells};
    int c[3];
    float f[3];
    for (int a = 0; a < 3; a++) {
        float fl = floorf(p[a]);
        c[a] = static_cast<int>(fl);
        f[a] = p[a] - fl;
        f[a] = f[a] * f[a] * (3 - 2 * f[a]);
    }
    float sum = 0;
    for (int corner = 0; corner < 8; corner++) {
        int dx = corner & 1, dy = (corner >> 1) & 1, dz = corner >> 2;
        float wgt = (dx ? f[0] : 1 - f[0]) * (dy ? f[1] : 1 - f[1]) * (dz ? f[2] : 1 - f[2]);
        sum += wgt * (2.0f * hash01(c[0] + dx + 64, c[1] + dy + 64, c[2] + dz + 64, seed) - 1.0f);
    }
    return sum;
}

// Value 0..255 at a point of the cube [-1, 1]^3, voxel (x, y, z) for grain.
unsigned char denseValue(float u, float v, float w, int x, int y, int z)
{
    float r = sqrtf((u / 0.98f) * (u / 0.98f) + (v / 0.94f) * (v / 0.94f) + (w / 0.96f) * (w / 0.96f));
    if (r > 1.0f)
        return 0;
    // Grain: the sum of two uniform draws, -1..1 peaking at 0, about +-8.
    float grain = 8.0f * (hash01(x, y, z, 1) + hash01(x, y, z, 2) - 1.0f);
    // Tissue: a slow bias across the body and finer structure.
    float value = 60.0f + 22.0f * latticeNoise(u, v, w, 3, 7) + 12.0f * latticeNoise(u, v, w, 12, 11) + grain;
    value = fminf(fmaxf(value, 20.0f), 100.0f);
    // The shell: 230 over 0.93 < r < 0.98, with soft sides.
    float shell = 1.0f - fminf(1.0f, fabsf(r - 0.955f) / 0.03f);
    if (shell > 0)
        value = fmaxf(value, 230.0f * fminf(1.0f, 2.0f * shell) + grain);
    // A bright blob off centre.
    float d = sqrtf((u - 0.25f) * (u - 0.25f) + (v + 0.15f) * (v + 0.15f) + (w - 0.1f) * (w - 0.1f)) / 0.18f;
    if (d < 1.0f)
        value = fmaxf(value, 245.0f - 60.0f * d * d + grain);
    return static_cast<unsigned char>(fminf(fmaxf(value, 1.0f), 255.0f));
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3 && argc != 5) {
        usage();
        return 1;
    }
    const float unit[3] = {1, 1, 1};
    Xraw xraw;
    if (!newSampleVolume("makedense", argc - 1, argv + 1, unit, &xraw))
        return 1;
    fillSampleVolume(&xraw, denseValue);
    for (int i = 0; i < 256; i++)
        xraw.cmap_r[i] = xraw.cmap_g[i] = xraw.cmap_b[i] = static_cast<unsigned char>(i);
    int rc = saveXraw(&xraw);
    free(xraw.data);
    return rc == 0 ? 0 : 1;
}
