#!/bin/sh
# Importing a NIfTI volume beside VTK on the same machine and files: a whole
# xrwview start-up on a 256^3 16-bit NIfTI (.nii and .nii.gz; read, window
# to bytes at the 0.5th/99.5th percentiles, float volume, listing; -SV,
# --nodraw) against vtkNIFTIImageReader plus the same window in numpy, each
# as a whole process. Prints the best of RUNS for each and the ratio VTK / ours.
#
# usage: bench/import_vtk.sh [BUILD_DIR] [RUNS]
# Data: BENCH_DATA (default /tmp/bench-data), made when missing.
set -e
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
runs=${2:-3}
data=${BENCH_DATA:-/tmp/bench-data}
py=/usr/bin/python3
if [ ! -x "$build/bin/xrwview" ]; then
    echo "import_vtk.sh: $build/bin/xrwview is missing; build it first" >&2
    exit 1
fi
mkdir -p "$data"
if [ ! -f "$data/nii256.nii.gz" ]; then
    $py - "$data" <<'PY'
import gzip, struct, sys
import numpy as np
n = 256
z, y, x = np.mgrid[0:n, 0:n, 0:n]
v = (((x - 128) ** 2 + (y - 128) ** 2 + (z - 128) ** 2) ** 0.5 * 8 - 1000).astype('<i2')
h = bytearray(352)
struct.pack_into('<i', h, 0, 348)
struct.pack_into('<8h', h, 40, 3, n, n, n, 1, 1, 1, 1)
struct.pack_into('<hh', h, 70, 4, 16)
struct.pack_into('<4f', h, 76, 1, 1, 1, 1)
struct.pack_into('<f', h, 108, 352)
struct.pack_into('<h', h, 254, 1)
struct.pack_into('<12f', h, 280, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0)
h[344:348] = b'n+1\0'
d = bytes(h) + v.tobytes()
open(sys.argv[1] + '/nii256.nii', 'wb').write(d)
open(sys.argv[1] + '/nii256.nii.gz', 'wb').write(gzip.compress(d, 6, mtime=0))
PY
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cat >"$tmp/vtk_nii.py" <<'PY'
import sys
import numpy as np
import vtk
from vtk.util.numpy_support import vtk_to_numpy
r = vtk.vtkNIFTIImageReader()
r.SetFileName(sys.argv[1])
r.Update()
a = vtk_to_numpy(r.GetOutput().GetPointData().GetScalars()).astype(np.float32)
lo, hi = np.percentile(a, [0.5, 99.5])
b = np.clip(np.rint((a - lo) * 255.0 / (hi - lo)), 0, 255).astype(np.uint8)
PY
best() { sort -n | head -1; }
for f in nii256.nii nii256.nii.gz; do
    : >"$tmp/ours"
    : >"$tmp/vtk"
    for i in $(seq "$runs"); do
        /usr/bin/time -f %e -o "$tmp/t" "$build/bin/xrwview" -f "$data/$f" -SV --nodraw --frames 0 >/dev/null 2>&1
        cat "$tmp/t" >>"$tmp/ours"
        /usr/bin/time -f %e -o "$tmp/t" $py "$tmp/vtk_nii.py" "$data/$f"
        cat "$tmp/t" >>"$tmp/vtk"
    done
    o=$(best <"$tmp/ours")
    v=$(best <"$tmp/vtk")
    echo "$f: ours_s=$o vtk_s=$v vtk/ours=$(echo "$v $o" | awk '{printf "%.2f", $1 / $2}')"
done
