#!/bin/sh
# Volume rendering side by side with the VTK peers: median frame time at
# 512x512 for the 256^3 sample volume while the camera turns (36 frames,
# 10 degrees each), all offscreen on this machine's Mesa llvmpipe.
#   ours: three slice-set renderings through libvqscene (bench_render_volume)
#   vtk:  vtkGPUVolumeRayCastMapper ("gpu") and vtkFixedPointVolumeRayCastMapper ("fixed")
# Usage: bench/render_volume.sh [BUILD_DIR] [DATA_DIR]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
data=${2:-/tmp/bench-data}
peers=${PEERS_DIR:-$here/../../shared/peers}
py=/usr/bin/python3

if [ ! -f "$data/vol256.raw" ]; then
    mkdir -p "$data"
    "$py" "$peers/gen_data.py" "$data" >/dev/null
fi
bench="$build/bin/bench_render_volume"
if [ ! -x "$bench" ]; then
    echo "render_volume.sh: no $bench (build the bench_render_volume target)" >&2
    exit 1
fi

ours=$(VQ_BENCH_DATA="$data" EGL_PLATFORM=surfaceless "$bench" --benchmark_filter='sliceSets/256' \
    --benchmark_format=json 2>/dev/null |
    "$py" -c 'import json,sys; b=json.load(sys.stdin)["benchmarks"][0]; print("%.1f %.1f" % (b["median_ms"], b["cpu_ms"]))')
ours_ms=${ours% *}
ours_cpu=${ours#* }

vtk() {
    xvfb-run -a -s "-screen 0 1280x1024x24" "$py" "$peers/vtk_volume.py" "$data/vol256.raw" 256 512 512 36 "$1" \
        "/tmp/vtk_volume_$1_256.png" 2>/dev/null | sed -n 's/.*frame_ms_median=\([0-9.]*\).*/\1/p'
}
gpu_ms=$(vtk gpu)
fixed_ms=$(vtk fixed)

"$py" - "$ours_ms" "$ours_cpu" "$gpu_ms" "$fixed_ms" <<'PY'
import sys
ours, cpu, gpu, fixed = (float(x) for x in sys.argv[1:5])
print("volume 256^3 at 512x512, median ms/frame (36 frames, camera turning)")
print("  %-42s %8.1f ms  (driver CPU %.1f ms/frame)" % ("libvqscene slice sets", ours, cpu))
print("  %-42s %8.1f ms  ours/peer = %.2f" % ("VTK GPU ray caster (llvmpipe)", gpu, ours / gpu))
print("  %-42s %8.1f ms  ours/peer = %.2f" % ("VTK fixed-point CPU ray caster", fixed, ours / fixed))
PY
