#!/bin/sh
# Volumes for the volume benchmarks: makephantom's N^3 XRW (phantomN, mostly
# empty space) and makedense's (denseN, a body of tissue with grain, as a
# scan is) and, for the VTK peer, the same voxels as a bare .raw file
# (uint8, x fastest) cut out of it. Made only when missing.
#   usage: bench/phantom_data.sh BUILD_DIR DATA_DIR "SIZES" ["KINDS"]
#   KINDS: phantom (default), dense or both.
set -eu
build=$1
data=$2
py=/usr/bin/python3
sizes=$3
kinds=${4:-phantom}
mkdir -p "$data"
for kind in $kinds; do
for n in $sizes; do
    xrw="$data/$kind$n.xrw"
    raw="$data/$kind$n.raw"
    case $kind in
    phantom) [ -f "$xrw" ] || "$build/bin/makephantom" "$xrw" "$n" >/dev/null ;;
    dense) [ -f "$xrw" ] || "$build/bin/makedense" "$xrw" "$n" >/dev/null ;;
    *) echo "phantom_data.sh: unknown kind $kind" >&2; exit 1 ;;
    esac
    [ -f "$raw" ] || "$py" - "$xrw" "$raw" <<'PY'
import gzip, struct, sys
with gzip.open(sys.argv[1], "rb") as f:
    nx, ny, nz = struct.unpack("<3i", f.read(12))
    f.read(12)
    with open(sys.argv[2], "wb") as out:
        left = nx * ny * nz
        while left:
            chunk = f.read(min(left, 1 << 24))
            out.write(chunk)
            left -= len(chunk)
PY
done
done
