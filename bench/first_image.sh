#!/bin/sh
# First image and peak memory at real volume sizes, side by side with VTK:
# the whole xrwview run to the first PNG (slice sets and -3d) against VTK's
# load plus first frame (fixed-point CPU ray caster), on the same voxels,
# at 512x512 offscreen. Peak memory is the whole process's (/usr/bin/time).
#   usage: bench/first_image.sh [BUILD_DIR] [DATA_DIR] [SIZES] [RUNS] [KINDS]
#   SIZES default "256 512 1024", RUNS (median of) default 3, KINDS default
#   "phantom dense".
# The phantoms come from makephantom, the dense volumes from makedense; the
# peer reads the same voxels as a bare .raw file (bench/phantom_data.sh).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
data=${2:-/tmp/bench-data}
sizes=${3:-256 512 1024}
runs=${4:-3}
kinds=${5:-phantom dense}
peers=${PEERS_DIR:-$here/../../shared/peers}
py=/usr/bin/python3
bin="$build/bin"

sh "$here/phantom_data.sh" "$build" "$data" "$sizes" "$kinds"

# One line per run: seconds and peak KB of the whole process.
timed() {
    /usr/bin/time -f "%e %M" -o /tmp/first_image.time "$@" >/dev/null 2>/tmp/first_image.err || {
        echo "failed: $*" >&2
        tail -3 /tmp/first_image.err >&2
        return 1
    }
    cat /tmp/first_image.time
}

median() {
    "$py" -c 'import sys, statistics; v = [float(x) for x in sys.argv[1:]]; print(statistics.median(v))' "$@"
}

printf '%-13s %-10s %9s %9s %8s %9s %8s\n' volume run first_s peak_MB B/voxel vs_vtk_s vs_vtk_MB
for kind in $kinds; do
for n in $sizes; do
    xrw="$data/$kind$n.xrw"
    raw="$data/$kind$n.raw"
    vox=$((n * n * n))
    vs="" vm="" ss="" sm="" ts="" tm=""
    for r in $(seq "$runs"); do
        # The peer: load and first frame as it reports them, memory of the whole process.
        out=$(/usr/bin/time -f "peak_kb=%M" xvfb-run -a -s "-screen 0 1280x1024x24" \
            "$py" "$peers/vtk_volume.py" "$raw" "$n" 512 512 1 fixed "/tmp/first_image_vtk$n.png" 2>&1)
        load=$(echo "$out" | sed -n 's/^load_s=\([0-9.]*\).*/\1/p')
        first=$(echo "$out" | sed -n 's/^first_frame_s=\([0-9.]*\).*/\1/p')
        vs="$vs $(echo "$load $first" | awk '{print $1 + $2}')"
        vm="$vm $(echo "$out" | sed -n 's/.*peak_kb=\([0-9]*\).*/\1/p')"
        set -- $(timed "$bin/xrwview" -f "$xrw" --png "/tmp/first_image_ss$n.png" --size 512x512)
        ss="$ss $1" sm="$sm $2"
        set -- $(timed "$bin/xrwview" -f "$xrw" -3d --png "/tmp/first_image_3d$n.png" --size 512x512)
        ts="$ts $1" tm="$tm $2"
    done
    v_s=$(median $vs) v_m=$(median $vm)
    for mode in ss 3d vtk; do
        case $mode in
        ss) s=$(median $ss) m=$(median $sm) name="slices" ;;
        3d) s=$(median $ts) m=$(median $tm) name="-3d" ;;
        vtk) s=$v_s m=$v_m name="vtk fixed" ;;
        esac
        "$py" -c 'import sys
n, name, s, m, vs, vm, vox = sys.argv[1], sys.argv[2], *map(float, sys.argv[3:8])
print("%-13s %-10s %9.2f %9.0f %8.2f %9.2f %9.2f" % (n + "^3", name, s, m / 1024, m * 1024 / vox, s / vs, m / vm))' \
            "$kind $n" "$name" "$s" "$m" "$v_s" "$v_m" "$vox"
    done
done
done
echo "first_s: whole xrwview run to the first PNG; vtk: load_s + first_frame_s as the peer reports them."
echo "vs_vtk: ours / VTK (below 1: ours is faster or smaller); medians of $runs runs."
