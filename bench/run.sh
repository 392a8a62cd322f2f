#!/bin/sh
# Every comparison: volume listing against gzip, start-up and slicing,
# surface readers against VTK, volume rendering against VTK's ray casters,
# the CPU of a still window against a still VTK window, slice views and
# tractograms against mrview.
# usage: bench/run.sh [BUILD_DIR]
set -e
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
for script in volume_listing viewer_startup surface_vtk render_volume window_idle first_image frame_time ortho_mrview tractograms; do
    echo "== $script"
    sh "$here/$script.sh" "$build" || echo "$script: failed" >&2
done
