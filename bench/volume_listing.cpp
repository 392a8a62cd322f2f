// The volume listing that xrwview runs for every volume, in-process:
// loadXraw, showXraw, Xraw2Xvol with stride 1, showXvol, on a phantom made by
// makephantom (256 cubed unless --phantom=FILE names another XRW file).
#include "xrw.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string phantom;

// Sends standard output to /dev/null while it lives, so the listings do not
// flood the benchmark's own report.
struct QuietStdout {
    int saved;
    QuietStdout()
    {
        fflush(stdout);
        saved = dup(1);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        close(null);
    }
    ~QuietStdout()
    {
        fflush(stdout);
        dup2(saved, 1);
        close(saved);
    }
};

const int STRIDE_ONE[3] = {1, 1, 1};

void voxelCounters(benchmark::State &state, const Xraw *x)
{
    state.SetItemsProcessed(state.iterations() * (int64_t)x->nx * x->ny * x->nz);
}

void BM_loadXraw(benchmark::State &state)
{
    Xraw *last = nullptr;
    for (auto _ : state) {
        Xraw *x = loadXraw(phantom.c_str());
        if (!x) {
            state.SkipWithError("loadXraw failed");
            return;
        }
        state.PauseTiming();
        freeXraw(last);
        last = x;
        state.ResumeTiming();
    }
    voxelCounters(state, last);
    freeXraw(last);
}

void BM_Xraw2Xvol(benchmark::State &state)
{
    Xraw *x = loadXraw(phantom.c_str());
    if (!x) {
        state.SkipWithError("loadXraw failed");
        return;
    }
    for (auto _ : state) {
        Xvol *v = Xraw2Xvol(x, STRIDE_ONE);
        state.PauseTiming();
        freeXvol(v);
        state.ResumeTiming();
    }
    voxelCounters(state, x);
    freeXraw(x);
}

void BM_showXvol(benchmark::State &state)
{
    Xraw *x = loadXraw(phantom.c_str());
    Xvol *v = x ? Xraw2Xvol(x, STRIDE_ONE) : nullptr;
    if (!v) {
        state.SkipWithError("could not build the float volume");
        freeXraw(x);
        return;
    }
    {
        QuietStdout quiet;
        for (auto _ : state)
            showXvol(v);
    }
    voxelCounters(state, x);
    freeXvol(v);
    freeXraw(x);
}

// The whole listing, as start-up runs it for one volume.
void BM_listing(benchmark::State &state)
{
    int64_t voxels = 0;
    for (auto _ : state) {
        QuietStdout quiet;
        Xraw *x = loadXraw(phantom.c_str());
        if (!x) {
            state.SkipWithError("loadXraw failed");
            return;
        }
        showXraw(x);
        Xvol *v = Xraw2Xvol(x, STRIDE_ONE);
        showXvol(v);
        state.PauseTiming();
        voxels = (int64_t)x->nx * x->ny * x->nz;
        freeXvol(v);
        freeXraw(x);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * voxels);
}

BENCHMARK(BM_loadXraw)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Xraw2Xvol)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_showXvol)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_listing)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    char tmpDir[] = "/tmp/volume_listing_XXXXXX";
    bool made = false;
    for (int a = 1; a < argc; a++)
        if (!strncmp(argv[a], "--phantom=", 10)) {
            phantom = argv[a] + 10;
            for (int b = a; b + 1 < argc; b++)
                argv[b] = argv[b + 1];
            argc--;
            break;
        }
    if (phantom.empty()) {
        if (!mkdtemp(tmpDir)) {
            fprintf(stderr, "volume_listing: cannot make a temporary folder.\n");
            return 1;
        }
        phantom = std::string(tmpDir) + "/phantom256.xrw";
        std::string cmd = std::string(BIN_DIR) + "/makephantom " + phantom + " 256";
        if (system(cmd.c_str()) != 0) {
            fprintf(stderr, "volume_listing: '%s' failed; build makephantom first.\n", cmd.c_str());
            rmdir(tmpDir);
            return 1;
        }
        made = true;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (made) {
        unlink(phantom.c_str());
        rmdir(tmpDir);
    }
    return 0;
}
