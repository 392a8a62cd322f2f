#!/bin/sh
# Whole-brain tractograms side by side with MRtrix3's mrview: synthetic
# streamlines (tools/maketractogram: 40-160 points at 1 mm steps in a
# head-sized ellipsoid) over a synthetic NIfTI head (bench/head_nifti.py).
# For each count: xrwview's whole run to its first 512x512 PNG (headless,
# EGL) with its peak memory, its redrawn frame time (median of frames 2-4),
# and mrview's whole run (volume + .tck + one frame, under Xvfb, through
# /work/shared/peers/mrview_tracts.sh or $MRVIEW_PEER); the ratios follow.
# With DRAG_SECONDS set, also frames a second while the mouse drags an
# 800x800 window (Xvfb, xdotool), and the frame after the drag stops.
#   usage: bench/tractograms.sh [BUILD_DIR] [DATA_DIR] [COUNTS]
#   COUNTS: streamline counts (default "10000 100000"; 1000000 takes ~1.2 GB of disk)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
data=${2:-/tmp/bench-data/tracts}
counts=${3:-10000 100000}
peer=${MRVIEW_PEER:-/work/shared/peers/mrview_tracts.sh}
py=/usr/bin/python3
mkdir -p "$data"
[ -s "$data/head.nii.gz" ] || "$py" "$here/head_nifti.py" "$data/head.nii.gz"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

median() { sort -n | awk '{a[NR]=$1} END {print (NR ? a[int((NR + 1) / 2)] : "nan")}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", (b > 0 ? a / b : 0)}'; }

printf "%-9s %-10s | %-12s %-10s %-10s | %-12s %-10s | %-12s %-8s\n" streamlines points \
    "xrw whole_s" "frame_s" "peak_MB" "mrview_s" "peak_MB" "whole ratio" "mem ratio"
for n in $counts; do
    tck="$data/t$n.tck"
    [ -s "$tck" ] || "$build/bin/maketractogram" "$tck" "$n" 1 2>/dev/null
    points=$(head -c 100000 "$tck" >/dev/null; "$build/bin/xrwview" -f "$data/head.nii.gz" -Tf "$tck" --nodraw \
        --frames 0 2>&1 | sed -n 's/^loaded [0-9]* streamlines of \([0-9]*\) points.*/\1/p')
    /usr/bin/time -f "%e %M" -o "$work/time" "$build/bin/xrwview" -f "$data/head.nii.gz" -Tf "$tck" -SV \
        --png "$work/x$n.png" --size 512x512 --keys 0:2 --frames 1 >/dev/null 2>&1
    read xs xk <"$work/time"
    frame=$("$build/bin/xrwview" -f "$data/head.nii.gz" -Tf "$tck" -SV --png "$work/f$n.png" --size 512x512 \
        --keys 0:2 --frames 4 --stats 2>&1 | sed -n 's/^vqscene: frame=[123] .*ms=\([0-9.]*\)/\1/p' | median)
    m=$(sh "$peer" "$data/head.nii.gz" "$tck" 512 "$work/mr$n")
    ms=$(echo "$m" | sed -n 's/.*whole_s=\([0-9.]*\).*/\1/p')
    mk=$(echo "$m" | sed -n 's/.*peak_kib=\([0-9]*\).*/\1/p')
    printf "%-9s %-10s | %-12s %-10s %-10s | %-12s %-10s | %-12s %-8s\n" "$n" "$points" "$xs" \
        "$(awk -v f="$frame" 'BEGIN {printf "%.2f", f / 1000}')" "$((xk / 1024))" "$ms" "$((mk / 1024))" \
        "$(ratio "$xs" "$ms")" "$(ratio "$xk" "$mk")"
done

[ -n "${DRAG_SECONDS:-}" ] || exit 0
for tool in Xvfb xdotool; do
    command -v $tool >/dev/null || { echo "tractograms: $tool is not installed" >&2; exit 1; }
done
. "$here/private_xvfb.sh"
private_xvfb "$work" "1000x1000x24"
for n in $counts; do
    tck="$data/t$n.tck"
    "$build/bin/xrwview" -f "$data/head.nii.gz" -Tf "$tck" -SV --size 800x800 --stats >"$work/drag$n" 2>&1 &
    pid=$!
    for i in $(seq 600); do grep -q "vqscene: frame=" "$work/drag$n" 2>/dev/null && break; sleep 0.1; done
    xdotool mousemove 400 400 key 2
    # Until the whole set has been drawn once.
    for i in $(seq 1200); do grep -q "thicklines=[1-9]" "$work/drag$n" 2>/dev/null && break; sleep 0.1; done
    sleep 1
    before=$(wc -l <"$work/drag$n")
    moves=$("$py" -c "print(' '.join('mousemove_relative -- %d 0 sleep 0.01' % (2 if i // 50 % 2 == 0 else -2) for i in range(${DRAG_SECONDS} * 100)))")
    xdotool mousedown 1
    t0=$("$py" -c 'import time; print(time.monotonic())')
    # shellcheck disable=SC2086
    xdotool $moves
    t1=$("$py" -c 'import time; print(time.monotonic())')
    after=$(wc -l <"$work/drag$n")
    xdotool mouseup 1
    # The whole set again once the drag stops.
    sleep 2
    for i in $(seq 1200); do
        [ "$(sed -n "$((after + 1)),\$p" "$work/drag$n" | grep -c "thicklines=[1-9].*ms=[0-9][0-9]")" -gt 0 ] && break
        sleep 0.1
    done
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    # Frames drawn while the button was down (an unchanged frame is not
    # drawn and takes under a millisecond).
    drawn=$(sed -n "$((before + 1)),${after}p" "$work/drag$n" | grep "vqscene: frame=" | \
        awk -F'ms=' '$2 + 0 >= 1 {n++} END {print n + 0}')
    last=$(grep "vqscene: frame=" "$work/drag$n" | awk -F'ms=' '$2 + 0 >= 1' | tail -1 | sed 's/.*thicklines=\([0-9]*\).*ms=\([0-9.]*\)/thicklines=\1 ms=\2/')
    echo "drag $n: $(awk -v d="$drawn" -v a="$t0" -v b="$t1" 'BEGIN {printf "%.1f", d / (b - a)}') frames/s while dragging ${DRAG_SECONDS} s; the frame after: $last"
done
