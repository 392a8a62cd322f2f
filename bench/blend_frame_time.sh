#!/bin/sh
# Frame time of each projection and of gradient shading while the camera
# turns, beside VTK's ray casters with the same blend mode and shading:
# xrwview's slice sets and -3d on the phantom, FRAMES frames at 512x512
# offscreen turning 360/FRAMES degrees each (--spin, --stats), median of
# the frames after the first; VTK's fixed-point CPU and GPU ray casters
# (bench/vtk_blend.py) on the same voxels. Data as bench/phantom_data.sh
# makes it.
#   usage: bench/blend_frame_time.sh [BUILD_DIR] [DATA_DIR] [SIZE] [FRAMES]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
data=${2:-/tmp/bench-data}
n=${3:-256}
frames=${4:-13}
py=/usr/bin/python3

sh "$here/phantom_data.sh" "$build" "$data" "$n"
step=$("$py" -c "print(360 / $frames)")

ours() {
    "$build/bin/xrwview" -f "$data/phantom$n.xrw" $1 --png /tmp/blend_frame_time.png --size 512x512 \
        --spin "$step" --frames "$frames" --stats 2>&1 >/dev/null |
        sed -n 's/^vqscene: frame=\([0-9]*\) .*ms=\([0-9.]*\).*/\1 \2/p' |
        "$py" -c 'import sys, statistics
ms = [float(l.split()[1]) for l in sys.stdin if int(l.split()[0]) > 0]
print("%.1f" % statistics.median(ms))'
}

vtk() {
    xvfb-run -a -s "-screen 0 1280x1024x24" "$py" "$here/vtk_blend.py" "$data/phantom$n.raw" "$n" 512 512 \
        "$frames" "$1" "$2" "$3" 2>/dev/null | sed -n 's/.*frame_ms_median=\([0-9.]*\).*/\1/p'
}

printf '%-18s %9s %9s %10s %9s   %s\n' "$n^3 512x512" slices -3d vtk_fixed vtk_gpu "ours/vtk_fixed (slices, -3d)"
for mode in composite mip minip average composite+shade; do
    blend=${mode%+shade}
    shade=0
    opts="-blend $blend"
    [ "$mode" = "$blend" ] || { shade=1; opts="$opts -shade"; }
    s=$(ours "$opts")
    t=$(ours "$opts -3d")
    f=$(vtk fixed "$blend" "$shade")
    g=$(vtk gpu "$blend" "$shade")
    "$py" -c 'import sys
m, s, t, f, g = sys.argv[1], *map(float, sys.argv[2:6])
print("%-18s %9.1f %9.1f %10.1f %9.1f   %.2f %.2f" % (m, s, t, f, g, s / f, t / f))' "$mode" "$s" "$t" "$f" "$g"
done
echo "ms a frame, medians over the frames after the first; below 1: ours is faster."
