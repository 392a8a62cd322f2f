#!/bin/sh
# The four-panel slice view, side by side with MRtrix's mrview: the whole
# run to the first image and the peak memory of `xrwview -ortho` (offscreen
# PNG) against `mrview -mode 2` (ortho view, one screenshot, then exit, on
# a private Xvfb), on the same NIfTI volume of int16 voxels.
#   usage: bench/ortho_mrview.sh [BUILD_DIR] [DATA_DIR] [SIZES] [RUNS]
#   SIZES default "256 384", RUNS (median of) default 3.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
data=${2:-/tmp/bench-data}
sizes=${3:-256 384}
runs=${4:-3}
py=/usr/bin/python3
bin="$build/bin"
command -v mrview >/dev/null || { echo "mrview is not installed" >&2; exit 1; }
mkdir -p "$data"
work=$(mktemp -d)
. "$here/private_xvfb.sh"
private_xvfb "$work" 1024x1024x24

median() {
    "$py" -c 'import sys, statistics; print(statistics.median(float(x) for x in sys.argv[1:]))' "$@"
}

printf '%-5s %-14s %8s %9s\n' size program first_s peak_MB
for n in $sizes; do
    nii="$data/ellipsoid$n.nii.gz"
    [ -s "$nii" ] || "$py" - "$n" "$nii" <<'PY'
import sys
import numpy as np, nibabel as nib
n = int(sys.argv[1])
z, y, x = np.mgrid[0:n, 0:n, 0:n].astype(np.float32)
r = np.sqrt(((x - n / 2) / (0.4 * n)) ** 2 + ((y - n / 2) / (0.35 * n)) ** 2 + ((z - n / 2) / (0.45 * n)) ** 2)
v = (1000 * np.exp(-r * r) * (r < 1)).astype(np.int16).transpose(2, 1, 0)
nib.save(nib.Nifti1Image(v, np.diag([1.0, 1, 1, 1])), sys.argv[2])
PY
    xs="" xm="" ms="" mm=""
    for r in $(seq "$runs"); do
        set -- $(/usr/bin/time -f "%e %M" env -u DISPLAY EGL_PLATFORM=surfaceless "$bin/xrwview" -f "$nii" -ortho \
            --png "$work/x.png" --size 800x800 2>&1 >/dev/null | tail -1)
        xs="$xs $1" xm="$xm $2"
        set -- $(/usr/bin/time -f "%e %M" mrview "$nii" -mode 2 -size 800,800 -capture.folder "$work" \
            -capture.prefix m -capture.grab -exit 2>&1 >/dev/null | tail -1)
        ms="$ms $1" mm="$mm $2"
    done
    printf '%-5s %-14s %8.2f %9.0f\n' "$n" "xrwview -ortho" "$(median $xs)" "$(median $xm | awk '{print $1 / 1024}')"
    printf '%-5s %-14s %8.2f %9.0f\n' "$n" "mrview" "$(median $ms)" "$(median $mm | awk '{print $1 / 1024}')"
done
