#!/bin/sh
# The suite's demo: builds the sample data into BUILD_DIR/demo/ when it is
# missing, then shows the phantom in a window when a display is there, or
# renders headless PNG images into BUILD_DIR/demo/ otherwise.
# usage: tools/demo.sh BUILD_DIR
set -e

BUILD=${1:-build}
BIN="$BUILD/bin"
DEMO="$BUILD/demo"
N=${DEMO_SIZE:-128}

fail() {
    echo "demo: $*" >&2
    exit 1
}

[ -x "$BIN/xrwview" ] || fail "$BIN/xrwview is missing; build first (make build)"
[ -x "$BIN/makephantom" ] || fail "$BIN/makephantom is missing; build first (make build)"
[ -x "$BIN/maketracks" ] || fail "$BIN/maketracks is missing; build first (make build)"
mkdir -p "$DEMO"

PHANTOM="$DEMO/phantom.xrw"
if [ ! -s "$PHANTOM" ]; then
    echo "demo: making $PHANTOM ($N^3 voxels)"
    "$BIN/makephantom" "$PHANTOM" "$N" >/dev/null
fi
if [ ! -s "$DEMO/tracks/t0.txt" ]; then
    mkdir -p "$DEMO/tracks"
    echo "demo: making tracks in $DEMO/tracks"
    "$BIN/maketracks" "$DEMO/tracks" "$((N / 2))" >/dev/null
fi
SURFACE=""
if [ -x "$BIN/makesurface" ]; then
    SURFACE="$DEMO/surface.stl"
    if [ ! -s "$SURFACE" ]; then
        echo "demo: making $SURFACE"
        "$BIN/makesurface" "$SURFACE" "$N" >/dev/null
    fi
fi
TRACKS="$DEMO/tracks/t%d.txt"

# An oblique view, so the images show the volume's depth.
VIEW="$DEMO/oblique.view"
cat >"$VIEW" <<VIEWFILE
vqview 1
eye 2.6 1.9 3.4
target 0 0 0
up 0 1 0
fovy 30
VIEWFILE

if [ -n "$DISPLAY" ]; then
    echo "demo: opening a window on $DISPLAY (keys: 1 slice sets, 2 tracks, space surfaces, 9/0 reveal)"
    if [ -n "$SURFACE" ]; then
        exec "$BIN/xrwview" -f "$PHANTOM" -Tf "$TRACKS" -o "$SURFACE" shell 0.9 0.8 0.3 1
    fi
    exec "$BIN/xrwview" -f "$PHANTOM" -Tf "$TRACKS"
fi

# One headless image; the viewer's messages go to a log beside it.
render() {
    out="$1"
    shift
    log="${out%.png}.log"
    if ! "$BIN/xrwview" "$@" -Vf "$VIEW" --png "$out" --size 512x512 --frames 1 >"$log" 2>&1; then
        [ -s "$out" ] || fail "rendering $out failed; see $log"
    fi
    [ -s "$out" ] || fail "rendering $out wrote no image; see $log"
    WRITTEN="$WRITTEN $out"
}

WRITTEN=""
echo "demo: no DISPLAY, rendering headless images into $DEMO"
render "$DEMO/slices.png" -f "$PHANTOM"
render "$DEMO/texture.png" -f "$PHANTOM" -3d
render "$DEMO/tracks.png" -f "$PHANTOM" -Tf "$TRACKS" --keys 0:2
if [ -n "$SURFACE" ]; then
    render "$DEMO/surface.png" -f "$PHANTOM" -o "$SURFACE" shell 0.9 0.8 0.3 1
fi
echo "demo: wrote"
for f in $WRITTEN; do
    echo "  $f"
done
