#!/bin/sh
# Times xrwview's volume listing against plain decompression of the same file:
# `xrwview -f FILE --nodraw --frames 0` (load, list, convert, statistics, then
# the scene set-up of the null platform, no frames) beside
# `gzip -dc FILE >/dev/null`, best of 5 for wall time and peak resident memory,
# with the ratios. Usage: bench/volume_listing.sh [BUILD [FILE]]
# Without FILE a 256-cubed phantom is made with BUILD/bin/makephantom.
set -eu
BUILD=${1:-build}
FILE=${2:-}
RUNS=5
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

if [ -z "$FILE" ]; then
    FILE=$TMP/phantom256.xrw
    "$BUILD/bin/makephantom" "$FILE" 256
fi
[ -x "$BUILD/bin/xrwview" ] || { echo "volume_listing.sh: no $BUILD/bin/xrwview" >&2; exit 1; }

# Best (smallest) wall time and peak RSS in KiB over the runs: "SECONDS KIB".
# /usr/bin/time gives the peak RSS (and a wall time in hundredths); the wall
# time is also taken around it in nanoseconds, which resolves a 50 ms run.
best() {
    : >"$TMP/times"
    i=0
    while [ $i -lt $RUNS ]; do
        t0=$(date +%s%N)
        /usr/bin/time -f "%e %M" -o "$TMP/one" sh -c "exec $1" >/dev/null 2>&1
        t1=$(date +%s%N)
        echo "$(( (t1 - t0) / 1000 )) $(cut -d' ' -f2 "$TMP/one")" >>"$TMP/times"
        i=$((i + 1))
    done
    sort -n -k1,1 "$TMP/times" | head -1 | awk '{ printf "%.4f ", $1 / 1e6 }'
    sort -n -k2,2 "$TMP/times" | head -1 | cut -d' ' -f2
}

# The voxel count from the file's header, for the memory bound of 5 bytes a voxel.
VOXELS=$(gzip -dc "$FILE" | head -c 12 | od -An -t d4 | awk '{ print $1 * $2 * $3 }')

set -- $(best "gzip -dc '$FILE'")
GZ_T=$1 GZ_M=$2
set -- $(best "'$BUILD/bin/xrwview' -f '$FILE' --nodraw --frames 0")
XV_T=$1 XV_M=$2

awk -v gt="$GZ_T" -v gm="$GZ_M" -v xt="$XV_T" -v xm="$XV_M" -v n="$VOXELS" -v f="$FILE" 'BEGIN {
    printf "file: %s (%d voxels)\n", f, n
    printf "%-40s %8s %10s\n", "command", "time s", "peak KiB"
    printf "%-40s %8.4f %10d\n", "gzip -dc FILE >/dev/null", gt, gm
    printf "%-40s %8.4f %10d\n", "xrwview -f FILE --nodraw --frames 0", xt, xm
    printf "time ratio xrwview / gzip: %.2f (goal at most 1.25)\n", (gt > 0) ? xt / gt : 0
    printf "peak memory / (5 bytes a voxel): %.3f (goal at most 1.1)\n", xm * 1024 / (5 * n)
}'
