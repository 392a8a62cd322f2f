#!/bin/sh
# A changed look with -3d: frame time while the camera turns when the 3-D
# texture shows its texels (the look given on the command line: -a 0 0.25)
# against when it shows the same look reached live (--keys 0:] raises the
# -a 0 0.2 ramp to 0 0.25, so the texture is drawn from the voxels' values
# through the colour table), the frame that makes the change, and the peak
# memory of both runs; slice sets beside them, and VTK's fixed-point ray
# caster (a new transfer function re-renders with no new voxels) on the same
# voxels. FRAMES frames at 512x512 turning 360/FRAMES degrees each.
#   usage: bench/live_look.sh [BUILD_DIR] [DATA_DIR] [SIZES] [KINDS] [FRAMES]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
. "$here/volume_args.sh"
frames=${5:-13}
py=/usr/bin/python3

sh "$here/phantom_data.sh" "$build" "$data" "$sizes" "$kinds"
step=$("$py" -c "print(360 / $frames)")

# Median ms of the frames after the first, the first frame's ms, peak MB.
ours() {
    /usr/bin/time -f "peak_kb=%M" "$build/bin/xrwview" -f "$data/$kind$n.xrw" $1 --png /tmp/live_look.png \
        --size 512x512 --spin "$step" --frames "$frames" --stats 2>&1 >/dev/null |
        "$py" -c 'import re, sys, statistics
ms, first, peak = [], 0.0, 0
for l in sys.stdin:
    m = re.match(r"vqscene: frame=(\d+) .*ms=([0-9.]+)", l)
    if m:
        if int(m.group(1)) == 0:
            first = float(m.group(2))
        else:
            ms.append(float(m.group(2)))
    m = re.match(r"peak_kb=(\d+)", l)
    if m:
        peak = int(m.group(1)) // 1024
print("%.1f %.1f %d" % (statistics.median(ms), first, peak))'
}

vtk() {
    xvfb-run -a -s "-screen 0 1280x1024x24" "$py" "$here/vtk_blend.py" "$data/$kind$n.raw" "$n" 512 512 \
        "$frames" fixed composite 0 2>/dev/null | sed -n 's/.*frame_ms_median=\([0-9.]*\).*/\1/p'
}

printf '%-13s %-7s %8s %8s %10s %10s %9s %9s %8s\n' volume mode texels live first_tex first_live peak_tex peak_live vtk
for kind in $kinds; do
for n in $sizes; do
    f=$(vtk)
    for mode in slices -3d; do
        opt=""
        [ "$mode" = slices ] || opt=-3d
        set -- $(ours "$opt -a 0 0.25")
        tex=$1 texFirst=$2 texPeak=$3
        set -- $(ours "$opt --keys 0:]")
        printf '%-13s %-7s %8s %8s %10s %10s %9s %9s %8s\n' "$kind $n^3" "$mode" "$tex" "$1" "$texFirst" "$2" \
            "$texPeak" "$3" "$f"
    done
done
done
echo "ms a frame (medians after the first; first_*: frame 0, which sends the voxels, and with live the values too), peak MB."
echo "texels: the look from the command line; live: the same look reached by a key."
