#!/bin/sh
# Frame time while the camera turns, side by side with VTK's ray casters:
# xrwview's slice sets and -3d on the phantom and on the dense volume
# (bench/phantom_data.sh), 37 frames at 512x512
# offscreen turning 10 degrees each (--spin, --stats), median of frames
# 1..36; VTK's fixed-point CPU and GPU ray casters on the same voxels
# (36 frames turning, the peer's median). Data as bench/first_image.sh
# makes it.
#   usage: bench/frame_time.sh [BUILD_DIR] [DATA_DIR] [SIZES] [KINDS]
#   KINDS default "phantom dense".
set -eu
here=$(cd "$(dirname "$0")" && pwd)
. "$here/volume_args.sh"
peers=${PEERS_DIR:-$here/../../shared/peers}
py=/usr/bin/python3

sh "$here/phantom_data.sh" "$build" "$data" "$sizes" "$kinds"

ours() {
    "$build/bin/xrwview" -f "$data/$kind$1.xrw" $2 --png /tmp/frame_time.png --size 512x512 \
        --spin 10 --frames 37 --stats 2>&1 >/dev/null |
        sed -n 's/^vqscene: frame=\([0-9]*\) .*ms=\([0-9.]*\).*/\1 \2/p' |
        "$py" -c 'import sys, statistics
ms = [float(l.split()[1]) for l in sys.stdin if int(l.split()[0]) > 0]
print("%.1f" % statistics.median(ms))'
}

vtk() {
    xvfb-run -a -s "-screen 0 1280x1024x24" "$py" "$peers/vtk_volume.py" "$data/$kind$1.raw" "$1" 512 512 36 "$2" \
        "/tmp/frame_time_vtk_$2_$kind$1.png" 2>/dev/null | sed -n 's/.*frame_ms_median=\([0-9.]*\).*/\1/p'
}

printf '%-13s %12s %12s %12s %12s   %s\n' volume slices -3d vtk_fixed vtk_gpu "ratios ours/vtk (slices: fixed, gpu; -3d: fixed, gpu)"
for kind in $kinds; do
for n in $sizes; do
    s=$(ours "$n" "")
    t=$(ours "$n" -3d)
    f=$(vtk "$n" fixed)
    g=$(vtk "$n" gpu)
    "$py" -c 'import sys
n, s, t, f, g = sys.argv[1], *map(float, sys.argv[2:6])
print("%-13s %12.1f %12.1f %12.1f %12.1f   %.2f %.2f   %.2f %.2f" % (n + "^3", s, t, f, g, s / f, s / g, t / f, t / g))' \
        "$kind $n" "$s" "$t" "$f" "$g"
done
done
echo "ms a frame, medians; below 1: ours is faster."
