#!/bin/sh
# xrwview's start-up and frame figures on a 256^3 sample:
#  - start-up with -3d (texture fill) against the listing-only start-up;
#  - the per-frame cost of the texture slicing, headless, over spinning frames.
# usage: bench/viewer_startup.sh BUILD_DIR [SIZE]
set -e

BUILD=${1:-build}
N=${2:-256}
BIN="$BUILD/bin"
RUNS=${RUNS:-5}
FRAMES=${FRAMES:-100}

[ -x "$BIN/xrwview" ] || { echo "viewer_startup: $BIN/xrwview is missing; build first" >&2; exit 1; }
[ -x "$BIN/makephantom" ] || { echo "viewer_startup: $BIN/makephantom is missing; build first" >&2; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
VOL="$WORK/vol.xrw"
"$BIN/makephantom" "$VOL" "$N" >/dev/null

# Best wall time of RUNS runs, in milliseconds.
best_ms() {
    best=""
    i=0
    while [ $i -lt "$RUNS" ]; do
        s=$(date +%s%N)
        "$BIN/xrwview" "$@" >/dev/null 2>&1 || true
        e=$(date +%s%N)
        t=$(( (e - s) / 1000 ))
        if [ -z "$best" ] || [ "$t" -lt "$best" ]; then best=$t; fi
        i=$((i + 1))
    done
    awk -v us="$best" 'BEGIN { printf "%.1f", us / 1000 }'
}

# Mean of the library's per-frame times (ms=...) over the frames after the first.
frame_ms() {
    "$BIN/xrwview" "$@" 2>&1 >/dev/null | awk '
        /^vqscene: frame=/ {
            for (i = 1; i <= NF; i++) {
                if ($i ~ /^frame=/) f = substr($i, 7) + 0
                if ($i ~ /^ms=/) ms = substr($i, 4) + 0
                if ($i ~ /^texpolys=/) tp = substr($i, 10) + 0
            }
            if (f > 0) { sum += ms; n++; polys += tp }
        }
        END { if (n) printf "%.4f %.0f", sum / n, polys / n; else printf "nan 0" }'
}

echo "xrwview start-up and frames, ${N}^3 voxels, best of $RUNS runs"
LIST=$(best_ms -f "$VOL" --nodraw --frames 0)
TEX=$(best_ms -f "$VOL" -3d --nodraw --frames 0)
NONE=$(best_ms -x -i)
awk -v l="$LIST" -v t="$TEX" -v z="$NONE" 'BEGIN {
    printf "  process without a volume (usage)  %8.1f ms\n", z
    printf "  start-up, listing only            %8.1f ms\n", l
    printf "  start-up with -3d                 %8.1f ms\n", t
    printf "  texture pass adds                 %8.1f ms  (%.2f x the listing-only start-up)\n", t - l, (t - l) / (l - z)
}'

set -- $(frame_ms -f "$VOL" -3d --nodraw --frames "$FRAMES" --stats --spin 1)
SLICE=$1
POLYS=$2
set -- $(frame_ms -f "$VOL" --nodraw --frames "$FRAMES" --stats --spin 1)
SETS=$1
awk -v s="$SLICE" -v p="$POLYS" -v v="$SETS" -v f="$FRAMES" 'BEGIN {
    printf "  frame with -3d (slicing + recording) %8.4f ms, %d polygons a frame, over %d frames\n", s, p, f
    printf "  frame with slice sets             %8.4f ms\n", v
    if (p > 0) printf "  per polygon                       %8.3f us\n", s * 1000 / p
}'
