#!/bin/sh
# CPU a still window costs: paneldemo (two panels, nothing moving) against a
# still VTK render window of the same size, side by side on a private Xvfb
# server (Mesa's software renderer, so drawing is CPU). Each run samples the
# process's user+system time over SECONDS once the window is up.
# usage: bench/window_idle.sh BUILD_DIR [SIZE]
set -e

BUILD=${1:-build}
SIZE=${2:-800}
RUNS=${RUNS:-3}
SECONDS_IDLE=${SECONDS_IDLE:-10}
BIN="$BUILD/bin"
[ -x "$BIN/paneldemo" ] || { echo "window_idle: $BIN/paneldemo is missing; build first" >&2; exit 1; }
[ -x /usr/bin/Xvfb ] || { echo "window_idle: Xvfb is not installed" >&2; exit 1; }

WORK=$(mktemp -d)
. "$(dirname "$0")/private_xvfb.sh"
private_xvfb "$WORK" "${SIZE}x${SIZE}x24"

cat >"$WORK/still.py" <<PY
import vtk
cone = vtk.vtkConeSource()
mapper = vtk.vtkPolyDataMapper()
mapper.SetInputConnection(cone.GetOutputPort())
actor = vtk.vtkActor()
actor.SetMapper(mapper)
ren = vtk.vtkRenderer()
ren.AddActor(actor)
win = vtk.vtkRenderWindow()
win.AddRenderer(ren)
win.SetSize($SIZE, $SIZE)
iren = vtk.vtkRenderWindowInteractor()
iren.SetRenderWindow(win)
win.Render()
iren.Start()
PY

# Percent of one core used by a command's still window.
idle_cpu() {
    "$@" >/dev/null 2>&1 &
    pid=$!
    sleep 2
    a=$(awk '{print $14 + $15}' /proc/$pid/stat)
    sleep "$SECONDS_IDLE"
    b=$(awk '{print $14 + $15}' /proc/$pid/stat)
    kill $pid
    wait $pid 2>/dev/null || true
    echo $(( (b - a) * 100 / $(getconf CLK_TCK) / SECONDS_IDLE ))
}

echo "still ${SIZE}x${SIZE} window, % of one core over ${SECONDS_IDLE} s:"
i=0
while [ $i -lt "$RUNS" ]; do
    ours=$(idle_cpu "$BIN/paneldemo" --size "${SIZE}x${SIZE}")
    vtk=$(idle_cpu /usr/bin/python3 "$WORK/still.py")
    echo "  run $((i + 1)): paneldemo ${ours}%  vtk ${vtk}%"
    i=$((i + 1))
done
