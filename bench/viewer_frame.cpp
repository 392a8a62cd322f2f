// xrwview's per-frame and start-up passes: the texture slicing of one frame
// (recording included) and the texture fill beside the conversion it follows.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "frame.h"
#include "startup.h"
#include "vqscene.h"
#include "vqscene_inspect.h"
#include "xrw.h"

namespace {

// A box of n^3 voxels of size 1 centred on the origin, as start-up leaves it.
void sliceState(int n, int volumes)
{
    vqtest::closeScene();
    resetViewerState();
    resetFrameState();
    vqtest::openHeadless();
    float h = n / 2.0f;
    vqswin(-h, h, -h, h, -h, h);
    NVR = volumes;
    for (int v = 0; v < volumes; v++) {
        _nx[v] = _ny[v] = _nz[v] = n;
        const float tr[12] = {-h, 1, 0, 0, -h, 0, 1, 0, -h, 0, 0, 1};
        std::memcpy(_tr[v], tr, sizeof tr);
        // The polygons only name the texture; its size does not enter the slicing.
        tex3d[v] = svqc3dt(2, 2, 2);
    }
    do_3d_render = 1;
    cvqscb(cb);
    svqsrm(1);
    vqtest::setCamera(Point3{3, 2, 4}, Point3{0, 0, 0}, Point3{0, 1, 0});
}

void BM_SliceFrame(benchmark::State &state)
{
    sliceState(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    long polys = 0;
    for (auto _ : state) {
        vqtest::runFrame();
        polys = static_cast<long>(vqtest::frameList().texPolys.size());
    }
    state.counters["polygons"] = static_cast<double>(polys);
}
BENCHMARK(BM_SliceFrame)->Args({256, 1})->Args({256, 2})->Args({64, 1})->Unit(benchmark::kMicrosecond);

Xraw *sampleXraw(int n)
{
    Xraw *x = static_cast<Xraw *>(std::calloc(1, sizeof(Xraw)));
    x->nx = x->ny = x->nz = n;
    x->dx = x->dy = x->dz = 1;
    size_t count = static_cast<size_t>(n) * n * n;
    x->data = static_cast<unsigned char *>(std::malloc(count));
    for (size_t i = 0; i < count; i++)
        x->data[i] = static_cast<unsigned char>((i * 2654435761u) >> 24);
    for (int k = 0; k < 256; k++)
        x->cmap_r[k] = x->cmap_g[k] = x->cmap_b[k] = static_cast<unsigned char>(k);
    return x;
}

void BM_Conversion(benchmark::State &state)
{
    Xraw *x = sampleXraw(static_cast<int>(state.range(0)));
    const int stride[3] = {1, 1, 1};
    for (auto _ : state) {
        Xvol *v = Xraw2Xvol(x, stride);
        benchmark::DoNotOptimize(v);
        state.PauseTiming();
        freeXvol(v);
        state.ResumeTiming();
    }
    freeXraw(x);
}
BENCHMARK(BM_Conversion)->Arg(128)->Unit(benchmark::kMillisecond);

void BM_TextureFill(benchmark::State &state)
{
    int n = static_cast<int>(state.range(0));
    Xraw *x = sampleXraw(n);
    const int stride[3] = {1, 1, 1};
    Xvol *v = Xraw2Xvol(x, stride);
    vqtest::closeScene();
    resetViewerState();
    vqtest::openHeadless();
    float tr[12] = {0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    int lo = 1000;
    vqscir(lo, lo + 255);
    for (int k = 0; k < 256; k++)
        vqscr(lo + k, k / 255.0f, 1 - k / 255.0f, 0.5f);
    // The fill's two lines of messages are not what is measured.
    std::fflush(stderr);
    int saved = dup(2);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 2);
    for (auto _ : state)
        fillTexture(0, v, tr);
    std::fflush(stderr);
    dup2(saved, 2);
    close(null);
    close(saved);
    freeXvol(v);
    freeXraw(x);
}
// Each fill makes a new texture in the library, so the runs are few.
BENCHMARK(BM_TextureFill)->Arg(128)->Iterations(8)->Unit(benchmark::kMillisecond);

// What the library's part of the fill costs: a new zeroed texture.
void BM_TextureCreate(benchmark::State &state)
{
    int n = static_cast<int>(state.range(0));
    vqtest::closeScene();
    vqtest::openHeadless();
    for (auto _ : state) {
        int id = svqc3dt(n, n, n);
        int w, h, d;
        benchmark::DoNotOptimize(svqg3dt(id, &w, &h, &d));
    }
    vqtest::closeScene();
}
BENCHMARK(BM_TextureCreate)->Arg(128)->Iterations(8)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
