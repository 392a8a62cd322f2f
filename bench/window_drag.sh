#!/bin/sh
# Frames a second while the mouse drags a volume round in a window, side
# by side with VTK: xrwview's slice sets and -3d on the phantom, and VTK's
# fixed-point CPU ray caster with its own interactive level of detail
# (a render window interactor, sample distances adjusted to the update
# rate), all in an 800x800 window on a private Xvfb server (Mesa's
# software renderer). xdotool holds the left button down and moves the
# mouse 2 pixels every 10 ms, to and fro, for DRAG_SECONDS; the frames each program
# finished in that time are counted from its own lines, time-stamped as
# they come.
#   usage: bench/window_drag.sh [BUILD_DIR] [DATA_DIR] [SIZE] [WINDOW]
#   SIZE: the phantom's voxels a side (default 256); WINDOW: pixels a side
#   (default 800). KIND=dense in the environment drags makedense's volume
#   instead (bench/phantom_data.sh).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
data=${2:-/tmp/bench-data}
n=${3:-256}
size=${4:-800}
drag=${DRAG_SECONDS:-6}
kind=${KIND:-phantom}
py=/usr/bin/python3
for tool in Xvfb xdotool; do
    command -v $tool >/dev/null || { echo "window_drag: $tool is not installed" >&2; exit 1; }
done

sh "$here/phantom_data.sh" "$build" "$data" "$n" "$kind"

work=$(mktemp -d)
. "$here/private_xvfb.sh"
private_xvfb "$work" "$((size + 200))x$((size + 200))x24"

# Stamps each line read with the monotonic clock.
cat >"$work/stamp.py" <<'PY'
import sys, time
for line in sys.stdin:
    print("%.4f %s" % (time.monotonic(), line.rstrip()), flush=True)
PY

cat >"$work/vtk_drag.py" <<PY
import sys
import vtkmodules.vtkRenderingOpenGL2  # noqa: F401
import vtkmodules.vtkRenderingVolumeOpenGL2  # noqa: F401
import vtkmodules.vtkInteractionStyle  # noqa: F401
from vtkmodules.vtkRenderingCore import vtkRenderer, vtkRenderWindow, vtkRenderWindowInteractor
from vtkmodules.vtkRenderingVolume import vtkFixedPointVolumeRayCastMapper
from vtkmodules.vtkInteractionStyle import vtkInteractorStyleTrackballCamera
sys.path.insert(0, "$here")
from vtk_blend import grey_volume
mapper = vtkFixedPointVolumeRayCastMapper()
mapper.AutoAdjustSampleDistancesOn()
volume = grey_volume("$data/$kind$n.raw", $n, mapper)
ren = vtkRenderer()
ren.AddVolume(volume)
win = vtkRenderWindow()
win.SetSize($size, $size)
win.SetPosition(0, 0)
win.AddRenderer(ren)
iren = vtkRenderWindowInteractor()
iren.SetRenderWindow(win)
iren.SetInteractorStyle(vtkInteractorStyleTrackballCamera())
ren.ResetCamera()
win.AddObserver("EndEvent", lambda *a: print("frame", flush=True))
win.Render()
iren.Start()
PY

# Frames a second between the button going down and coming up, from the
# stamped lines in \$1 that match \$2; \$3 and \$4: the clock then.
rate() {
    "$py" - "$@" <<'PY'
import sys
path, pattern, down, up = sys.argv[1], sys.argv[2], float(sys.argv[3]), float(sys.argv[4])
# An unchanged frame is not drawn (and takes about 0.1 ms): only frames
# drawn count, those that took a millisecond or more (ours print ms=).
def drawn(line):
    if "ms=" not in line:
        return True
    return float(line.rsplit("ms=", 1)[1].split()[0]) >= 1.0
t = [float(l.split()[0]) for l in open(path) if pattern in l and drawn(l)]
inside = [x for x in t if down + 0.5 <= x <= up]
print("%.1f" % (len(inside) / (up - down - 0.5)))
PY
}

now() { "$py" -c 'import time; print("%.4f" % time.monotonic())'; }

# Runs "$@" in a window, drags over it, prints its frames a second.
dragged() {
    pattern=$1
    shift
    rm -f "$work/fifo" "$work/lines"
    mkfifo "$work/fifo"
    "$py" "$work/stamp.py" <"$work/fifo" >"$work/lines" &
    stamp=$!
    "$@" >"$work/fifo" 2>&1 &
    pid=$!
    for i in $(seq 600); do grep -q "$pattern" "$work/lines" 2>/dev/null && break; sleep 0.1; done
    sleep 1
    steps=$((drag * 100))
    # Right and back again, 100 pixels each way, so the pointer stays on
    # the window.
    moves=$("$py" -c "print(' '.join('mousemove_relative -- %d 0 sleep 0.01' % (2 if i // 50 % 2 == 0 else -2) for i in range($steps)))")
    xdotool mousemove $((size / 2)) $((size / 2)) mousedown 1
    down=$(now)
    # shellcheck disable=SC2086
    xdotool $moves
    up=$(now)
    xdotool mouseup 1
    sleep 1
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    wait "$stamp" 2>/dev/null || true
    [ -z "${KEEP_LINES:-}" ] || cp "$work/lines" "$KEEP_LINES.$(date +%s%N)"
    echo "DOWN $down UP $up" >>"$work/lines"
    [ -z "${KEEP_LINES:-}" ] || cp "$work/lines" "$KEEP_LINES.$(date +%s%N)"
    rate "$work/lines" "$pattern" "$down" "$up"
}

xrw="$data/$kind$n.xrw"
s=$(dragged "vqscene: frame=" "$build/bin/xrwview" -f "$xrw" --size "${size}x$size" --stats)
t=$(dragged "vqscene: frame=" "$build/bin/xrwview" -f "$xrw" -3d --size "${size}x$size" --stats)
v=$(dragged "frame" "$py" "$work/vtk_drag.py")
echo "dragging a ${n}^3 $kind volume in a ${size}x${size} window, frames a second:"
echo "  slices $s   -3d $t   vtk fixed (interactive) $v"
