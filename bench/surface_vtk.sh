#!/bin/sh
# Surface readers and normals beside VTK's on the same machine and files:
# loadObjFromSTL vs vtkSTLReader, loadObj vs vtkOBJReader, calcVertexNormals
# vs vtkPolyDataNormals, and a whole xrwview run (read, normals, start-up)
# vs VTK's read + normals. Prints each pair and the ratio VTK / ours.
#
# usage: bench/surface_vtk.sh [BUILD_DIR] [RUNS]
#   BUILD_DIR  build folder with bin/bench_surface_readers, bin/xrwview and
#              bin/makephantom (default: build)
#   RUNS       runs of each measurement; the best is kept (default 3)
# Data: BENCH_DATA (default /tmp/bench-data), made when missing with
# ../shared/peers/gen_data.py.
set -e
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
runs=${2:-3}
data=${BENCH_DATA:-/tmp/bench-data}
peers=${PEERS_DIR:-$here/../shared/peers}
py=/usr/bin/python3

if [ ! -f "$data/mesh_1m.stl" ] || [ ! -f "$data/mesh_1m.obj" ]; then
    mkdir -p "$data"
    $py "$peers/gen_data.py" "$data" >/dev/null
fi
for p in bench_surface_readers xrwview makephantom; do
    if [ ! -x "$build/bin/$p" ]; then
        echo "surface_vtk.sh: $build/bin/$p is missing; build it first" >&2
        exit 1
    fi
done
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$build/bin/makephantom" "$tmp/tiny.xrw" 8 >/dev/null 2>&1

BENCH_DATA="$data" "$build/bin/bench_surface_readers" --benchmark_filter='_1m' \
    --benchmark_repetitions="$runs" --benchmark_format=json >"$tmp/ours.json" 2>/dev/null

for i in $(seq "$runs"); do
    $py "$peers/vtk_mesh.py" "$data/mesh_1m.stl" >>"$tmp/vtk_stl.txt"
    $py "$peers/vtk_mesh.py" "$data/mesh_1m.obj" >>"$tmp/vtk_obj.txt"
    # The whole process: start-up reads the STL, computes normals and
    # builds the scene; no frame is drawn.
    $py -c '
import subprocess, sys, time
t = time.perf_counter()
r = subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
print("process_s=%.4f rc=%d" % (time.perf_counter() - t, r.returncode))
' "$build/bin/xrwview" -f "$tmp/tiny.xrw" -o "$data/mesh_1m.stl" m 1 1 1 1 -Vx --nodraw --frames 0 \
        >>"$tmp/ours_process.txt"
done

$py - "$tmp" <<'EOF'
import json, re, sys
tmp = sys.argv[1]
def best(path, key):
    vals = [float(m.group(1)) for m in re.finditer(key + r"=([0-9.]+)", open(path).read())]
    return min(vals)
runs = json.load(open(tmp + "/ours.json"))["benchmarks"]
def ours(name):
    ts = [b["real_time"] for b in runs
          if b["name"].startswith(name) and b.get("run_type") == "iteration"]
    unit = {"ms": 1e-3, "us": 1e-6, "ns": 1e-9, "s": 1.0}[runs[0]["time_unit"]]
    return min(ts) * unit
rows = [
    ("STL read 1M (loadObjFromSTL / vtkSTLReader)", ours("readMesh/stl_1m"), best(tmp + "/vtk_stl.txt", "read_s")),
    ("OBJ read 1M (loadObj / vtkOBJReader)", ours("readMesh/obj_1m"), best(tmp + "/vtk_obj.txt", "read_s")),
    ("normals 1M (calcVertexNormals / vtkPolyDataNormals)", ours("normals/normals_1m"),
     best(tmp + "/vtk_stl.txt", "normals_s")),
]
proc = open(tmp + "/ours_process.txt").read()
if "rc=0" not in proc:
    print("xrwview run failed: " + proc.strip())
else:
    vtk_both = min(float(a) + float(b) for a, b in zip(
        re.findall(r"read_s=([0-9.]+)", open(tmp + "/vtk_stl.txt").read()),
        re.findall(r"normals_s=([0-9.]+)", open(tmp + "/vtk_stl.txt").read())))
    rows.append(("xrwview -o mesh_1m.stl -Vx process / VTK read+normals", best(tmp + "/ours_process.txt", "process_s"),
                 vtk_both))
print("%-58s %9s %9s %8s" % ("", "ours s", "VTK s", "VTK/ours"))
for name, a, b in rows:
    print("%-58s %9.4f %9.4f %8.2f" % (name, a, b, b / a))
EOF
