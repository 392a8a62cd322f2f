#!/bin/sh
# Phantom volumes for the volume benchmarks: makephantom's N^3 XRW and, for
# the VTK peer, the same voxels as a bare .raw file (uint8, x fastest) cut
# out of it. Made only when missing.
#   usage: bench/phantom_data.sh BUILD_DIR DATA_DIR "SIZES"
set -eu
build=$1
data=$2
py=/usr/bin/python3
sizes=$3
mkdir -p "$data"
for n in $sizes; do
    xrw="$data/phantom$n.xrw"
    raw="$data/phantom$n.raw"
    [ -f "$xrw" ] || "$build/bin/makephantom" "$xrw" "$n" >/dev/null
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

