// Surface readers and vertex normals on the generated sphere meshes
// (BENCH_DATA, default /tmp/bench-data, made by the peers' gen_data.py).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "obj.h"

namespace {

std::string dataPath(const char *name)
{
    const char *dir = std::getenv("BENCH_DATA");
    return std::string(dir && *dir ? dir : "/tmp/bench-data") + "/" + name;
}

// The readers write their progress lines to standard error; they are
// sent to /dev/null while timing.
struct QuietStderr {
    int saved;
    QuietStderr()
    {
        fflush(stderr);
        saved = dup(2);
        FILE *null = std::freopen("/dev/null", "w", stderr);
        (void)null;
    }
    ~QuietStderr()
    {
        fflush(stderr);
        dup2(saved, 2);
        close(saved);
    }
};

using Reader = Obj *(*)(const char *, const char *, float, float, float, float);

void readMesh(benchmark::State &state, Reader reader, const char *file)
{
    std::string path = dataPath(file);
    if (access(path.c_str(), R_OK) != 0) {
        state.SkipWithError(("no data file " + path).c_str());
        return;
    }
    QuietStderr quiet;
    int nverts = 0;
    for (auto _ : state) {
        Obj *o = reader(path.c_str(), "bench", 1, 1, 1, 1);
        if (!o) {
            state.SkipWithError("read failed");
            return;
        }
        nverts = o->nverts;
        freeObj(o);
    }
    state.counters["verts"] = nverts;
}

void normals(benchmark::State &state, const char *file)
{
    std::string path = dataPath(file);
    if (access(path.c_str(), R_OK) != 0) {
        state.SkipWithError(("no data file " + path).c_str());
        return;
    }
    Obj *o;
    {
        QuietStderr quiet;
        o = loadObjFromSTL(path.c_str(), "bench", 1, 1, 1, 1);
    }
    if (!o) {
        state.SkipWithError("read failed");
        return;
    }
    for (auto _ : state)
        calcVertexNormals(o);
    freeObj(o);
}

} // namespace

BENCHMARK_CAPTURE(readMesh, stl_100k, loadObjFromSTL, "mesh_100k.stl")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readMesh, stl_1m, loadObjFromSTL, "mesh_1m.stl")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readMesh, obj_100k, loadObj, "mesh_100k.obj")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readMesh, obj_1m, loadObj, "mesh_1m.obj")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(normals, normals_100k, "mesh_100k.stl")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(normals, normals_1m, "mesh_1m.stl")->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
