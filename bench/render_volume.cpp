// Frame time of volume slice sets rendered offscreen: the peers' sample
// volume (N^3 bytes, x fastest) as three slice-set renderings with a grey
// colour range and opacity 0 to 0.2, drawn at 512x512 into a 4x
// multisampled framebuffer (the offscreen platform's own target) while
// the camera turns, each frame ended by glFinish. The first frame (grid upload, shader set-up) is left out.
// Data: $VQ_BENCH_DATA (default /tmp/bench-data), from the peers' gen_data.py.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "model.h"
#include "offscreen.h"
#include "vqscene.h"

namespace {

constexpr int kSize = 512;

// One render target for the whole run, as the offscreen platform makes it.
bool targetReady()
{
    static bool ready = [] {
        setenv("EGL_PLATFORM", "surfaceless", 0);
        return vq::openOffscreenTarget(vq::scene(), kSize, kSize);
    }();
    return ready;
}

// The grid as the viewer hands it over: grid[i][j][k], values 0..1.
struct Grid {
    int n = 0;
    std::vector<float> data;
    std::vector<float *> rows;
    std::vector<float **> planes;
};

bool loadGrid(int n, Grid &g)
{
    const char *dir = std::getenv("VQ_BENCH_DATA");
    std::string path = std::string(dir ? dir : "/tmp/bench-data") + "/vol" + std::to_string(n) + ".raw";
    FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return false;
    size_t count = static_cast<size_t>(n) * n * n;
    std::vector<unsigned char> bytes(count);
    bool ok = std::fread(bytes.data(), 1, count, f) == count;
    std::fclose(f);
    if (!ok)
        return false;
    g.n = n;
    g.data.resize(count);
    g.rows.resize(static_cast<size_t>(n) * n);
    g.planes.resize(n);
    // The file runs x fastest; the grid's last index is its fastest.
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            for (int k = 0; k < n; ++k)
                g.data[(static_cast<size_t>(i) * n + j) * n + k] =
                    bytes[(static_cast<size_t>(k) * n + j) * n + i] / 255.0f;
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j)
            g.rows[static_cast<size_t>(i) * n + j] = &g.data[(static_cast<size_t>(i) * n + j) * n];
        g.planes[i] = &g.rows[static_cast<size_t>(i) * n];
    }
    return true;
}

int volumeId = -1;

double processCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + 1e-6 * (u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

void drawSlices(double *, int *)
{
    vqscir(1000, 1255);
    for (int axis = 1; axis <= 3; ++axis)
        dvqdvrx(volumeId, 0, axis, 0, 0);
}

void sliceSets(benchmark::State &state)
{
    int n = static_cast<int>(state.range(0));
    Grid g;
    if (!targetReady()) {
        state.SkipWithError("no EGL surfaceless context");
        return;
    }
    if (!loadGrid(n, g)) {
        state.SkipWithError("no sample volume: run gen_data.py /tmp/bench-data (or set VQ_BENCH_DATA)");
        return;
    }
    vq::resetScene();
    char a0[] = "bench", a1[] = "--nodraw";
    char *argv[] = {a0, a1, nullptr};
    vqopend("/?", 2, argv);
    vq::Scene &s = vq::scene();
    s.windowWidth = s.windowHeight = kSize;
    float h = n / 2.0f;
    vqswin(-h, h, -h, h, -h, h);
    svqsbc(0, 0, 0);
    for (int k = 0; k < 256; ++k)
        vqscr(1000 + k, k / 255.0f, k / 255.0f, k / 255.0f);
    vqscir(1000, 1255);
    float tr[12] = {-h, 1, 0, 0, -h, 0, 1, 0, -h, 0, 0, 1};
    volumeId = nvqcvr(g.planes.data(), n, n, n, 0, n - 1, 0, n - 1, 0, n - 1, tr, 's', 0, 1, 0, 0.2f);
    cvqscb(drawSlices);

    // First frame: the upload.
    vq::runFrame(s);
    vq::drawOffscreenFrame(s);
    // A turn of 360 degrees over the timed frames, as the peer does.
    double step = 360.0 / 36;
    double cpu0 = processCpuSeconds();
    std::vector<double> ms;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        vq::orbitCamera(s, 0, step, 0);
        vq::runFrame(s);
        vq::drawOffscreenFrame(s);
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    // The peer reports the median frame; so do we.
    std::sort(ms.begin(), ms.end());
    if (!ms.empty())
        state.counters["median_ms"] = ms[ms.size() / 2];
    // Rendering runs on the driver's threads: their CPU time, per frame,
    // says more than the wall time on a busy machine.
    state.counters["cpu_ms"] = (processCpuSeconds() - cpu0) * 1000 / static_cast<double>(state.iterations());
    state.counters["slices"] = static_cast<double>(s.stats.volSlices);
}

} // namespace

BENCHMARK(sliceSets)->Arg(128)->Arg(256)->Iterations(36)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
