// makephantom: writes a deterministic sample XRW volume (nested ellipsoidal
// shells, a few blobs and smooth gradients in mostly empty space, with a
// warm-to-cool colour table) through the toolkit's own saveXraw.
#include "sample_volume.h"
#include "xrw.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void usage()
{
    fprintf(stderr, "usage: makephantom [-v DX DY DZ] OUT.xrw N [NY NZ]\n");
}

bool parseSize(const char *s, float *v)
{
    char *end;
    *v = strtof(s, &end);
    return !*end && std::isfinite(*v) && *v > 0.0f;
}

// Smooth step from 0 at edge0 to 1 at edge1.
float smooth(float edge0, float edge1, float x)
{
    float t = (x - edge0) / (edge1 - edge0);
    t = t < 0 ? 0 : (t > 1 ? 1 : t);
    return t * t * (3 - 2 * t);
}

} // namespace

struct Blob {
    float x, y, z, r, value;
};

namespace {

const Blob BLOBS[] = {
    {0.30f, 0.20f, 0.10f, 0.16f, 250.0f},
    {-0.35f, -0.10f, 0.25f, 0.12f, 220.0f},
    {0.05f, -0.40f, -0.30f, 0.10f, 235.0f},
    {-0.15f, 0.35f, -0.20f, 0.08f, 245.0f},
};

// Value 0..255 of the phantom at a point of the cube [-1, 1]^3.
unsigned char phantomValue(float u, float v, float w)
{
    float outer = sqrtf((u / 0.78f) * (u / 0.78f) + (v / 0.66f) * (v / 0.66f) + (w / 0.72f) * (w / 0.72f));
    if (outer > 1.0f)
        return 0;
    // Skull-like shell with soft edges.
    float value = 190.0f * smooth(0.88f, 0.92f, outer) * (1.0f - smooth(0.98f, 1.0f, outer));
    if (outer < 0.92f) {
        // Tissue brightening smoothly towards the top, with an inner shell.
        float tissue = 50.0f + 30.0f * smooth(-0.7f, 0.7f, v);
        float inner = sqrtf((u / 0.5f) * (u / 0.5f) + (v / 0.42f) * (v / 0.42f) + (w / 0.46f) * (w / 0.46f));
        float ring = 1.0f - smooth(0.0f, 0.06f, fabsf(inner - 1.0f));
        tissue += 80.0f * ring;
        if (inner < 0.94f)
            tissue = 20.0f + 15.0f * smooth(-0.5f, 0.5f, u);
        value = fmaxf(value, tissue * (1.0f - smooth(0.88f, 0.92f, outer)));
        for (const Blob &b : BLOBS) {
            float d = sqrtf((u - b.x) * (u - b.x) + (v - b.y) * (v - b.y) + (w - b.z) * (w - b.z)) / b.r;
            if (d < 1.0f)
                value = fmaxf(value, b.value * (1.0f - smooth(0.7f, 1.0f, d)));
        }
    }
    return static_cast<unsigned char>(value < 0 ? 0 : (value > 255 ? 255 : value));
}

// Black at 0, then deep blue through cyan and yellow to red and near white.
void warmCoolRamp(Xraw *xraw)
{
    static const float stops[][3] = {{0.05f, 0.05f, 0.35f},
                                     {0.0f, 0.6f, 0.9f},
                                     {0.95f, 0.9f, 0.2f},
                                     {0.9f, 0.15f, 0.05f},
                                     {1.0f, 0.95f, 0.9f}};
    const int segments = 4;
    xraw->cmap_r[0] = xraw->cmap_g[0] = xraw->cmap_b[0] = 0;
    for (int i = 1; i < 256; i++) {
        float t = static_cast<float>(i - 1) / 254.0f * segments;
        int s = t >= segments ? segments - 1 : static_cast<int>(t);
        float f = t - s;
        unsigned char *out[3] = {&xraw->cmap_r[i], &xraw->cmap_g[i], &xraw->cmap_b[i]};
        for (int c = 0; c < 3; c++)
            *out[c] = static_cast<unsigned char>(
                lroundf(255.0f * (stops[s][c] + f * (stops[s + 1][c] - stops[s][c]))));
    }
}

} // namespace

int main(int argc, char **argv)
{
    float d[3] = {1.0f, 1.0f, 1.0f};
    int a = 1;
    if (a < argc && !strcmp(argv[a], "-v")) {
        if (argc < a + 4 || !parseSize(argv[a + 1], &d[0]) || !parseSize(argv[a + 2], &d[1]) ||
            !parseSize(argv[a + 3], &d[2])) {
            fprintf(stderr, "makephantom: -v needs three positive voxel sizes.\n");
            return 1;
        }
        a += 4;
    }
    if (argc - a != 2 && argc - a != 4) {
        usage();
        return 1;
    }
    Xraw xraw;
    if (!newSampleVolume("makephantom", argc - a, argv + a, d, &xraw))
        return 1;
    fillSampleVolume(&xraw, [](float u, float v, float w, int, int, int) { return phantomValue(u, v, w); });
    warmCoolRamp(&xraw);
    int rc = saveXraw(&xraw);
    free(xraw.data);
    return rc == 0 ? 0 : 1;
}
