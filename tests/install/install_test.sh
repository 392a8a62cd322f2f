#!/bin/sh
# Installs the build tree into a temporary prefix and uses it as a new user
# would: a C program built with pkg-config (linked -lvqscene alone, and with
# -lvqwin -lglut under --as-needed) and a CMake project with find_package,
# each run headless into PNG images and, under Xvfb, in a window.
# usage: install_test.sh BUILD_DIR SCRATCH_DIR USER_SOURCE_DIR
BUILD=$1
T=$2
SRC=$3
P="$T/prefix"

fail() {
    echo "install test: $*" >&2
    exit 1
}

rm -rf "$T"
mkdir -p "$T" || fail "cannot make $T"
cmake --install "$BUILD" --prefix "$P" >"$T/install.log" 2>&1 || fail "cmake --install failed: $(tail -3 "$T/install.log")"

for f in include/vqscene.h lib/libvqscene.so.1 lib/libvqwin.so.1 lib/pkgconfig/vqscene.pc \
    lib/cmake/vqscene/vqsceneConfig.cmake bin/xrwview bin/pointsdemo bin/paneldemo; do
    [ -e "$P/$f" ] || fail "$f was not installed"
done
[ ! -x "$BUILD/bin/xrwconvert" ] || [ -x "$P/bin/xrwconvert" ] || fail "xrwconvert was built but not installed"
[ ! -e "$BUILD/lib/xrwview-import.so" ] || [ -n "$(find "$P" -name xrwview-import.so)" ] ||
    fail "xrwview's import plug-in was built but not installed"
[ ! -e "$P/include/vqscene_inspect.h" ] || fail "the test-only inspection header was installed"

# Versioned SONAMEs, and no path into the build or source tree anywhere.
for lib in vqscene vqwin; do
    readelf -d "$P/lib/lib$lib.so.1" | grep -q "SONAME.*\[lib$lib.so.1\]" || fail "lib$lib has no SONAME lib$lib.so.1"
done
for f in "$P"/bin/* "$P"/lib/*.so.1; do
    if readelf -d "$f" | grep -E 'RPATH|RUNPATH' | grep -q -e "$BUILD" -e "$(dirname "$SRC")"; then
        fail "$f keeps a run path into the build tree: $(readelf -d "$f" | grep -E 'RPATH|RUNPATH')"
    fi
done
readelf -d "$P/bin/xrwview" | grep -q 'RUNPATH.*\[\$ORIGIN/../lib\]' || fail "xrwview does not find its libraries from the prefix"

# The installed xrwview finds its import plug-in from its own place.
if [ -e "$BUILD/lib/xrwview-import.so" ]; then
    printf 'NRRD0004\ntype: uint8\ndimension: 3\nsizes: 2 2 2\nencoding: raw\n\n\000\001\002\003\004\005\006\007' >"$T/tiny.nrrd"
    env -u DISPLAY "$P/bin/xrwview" -f "$T/tiny.nrrd" --nodraw --frames 0 >"$T/nrrd.out" 2>"$T/nrrd.err" ||
        fail "installed xrwview on a NRRD file: $(cat "$T/nrrd.err")"
    grep -q "^import: '$T/tiny.nrrd': NRRD" "$T/nrrd.err" || fail "installed xrwview did not import: $(cat "$T/nrrd.err")"
fi

# Only the C API of the installed header is exported.
sed -n 's/^VQSCENE_API [^(]*[ *]\([A-Za-z0-9_]*\)(.*/\1/p' "$P/include/vqscene.h" | sort >"$T/api.txt"
nm -D --defined-only "$P/lib/libvqscene.so.1" | awk '{print $3}' | sort >"$T/exported.txt"
[ "$(wc -l <"$T/api.txt")" -gt 50 ] || fail "cannot read the calls from vqscene.h"
cmp -s "$T/api.txt" "$T/exported.txt" || fail "exported symbols differ from the C API: $(diff "$T/api.txt" "$T/exported.txt" | head -5 | tr '\n' ' ')"
# The renderer's test settings and views are built into vqscene_internal
# only: where the library keeps its symbol table (it names renderFrame),
# none of them is there.
nm -C "$P/lib/libvqscene.so.1" >"$T/symbols.txt" 2>/dev/null
if grep -q 'vq::renderFrame(' "$T/symbols.txt"; then
    grep -q -e 'renderSet[A-Za-z]*(' -e 'renderStacksDrawn(' -e 'renderSentBricks(' "$T/symbols.txt" &&
        fail "libvqscene holds the renderer's test settings: $(grep -e 'renderSet' -e 'renderStacksDrawn' -e 'renderSentBricks' "$T/symbols.txt" | head -3 | tr '\n' ' ')"
fi

# Built against the installed tree only: no source-tree include, no LD_LIBRARY_PATH.
unset LD_LIBRARY_PATH
export PKG_CONFIG_PATH="$P/lib/pkgconfig"
FLAGS=$(pkg-config --cflags --libs vqscene) || fail "pkg-config does not know vqscene"
cc -Wl,--as-needed -o "$T/user_alone" "$SRC/scene_user.c" $FLAGS 2>"$T/cc.log" || fail "cc -lvqscene: $(head -3 "$T/cc.log")"
cc -Wl,--as-needed -o "$T/user_glut" "$SRC/scene_user.c" $FLAGS -lvqwin -lglut 2>"$T/cc.log" ||
    fail "cc -lvqscene -lvqwin -lglut: $(head -3 "$T/cc.log")"
cc -o "$T/user_linked" "$SRC/scene_user.c" $FLAGS -Wl,--no-as-needed -lvqwin -lglut 2>"$T/cc.log" ||
    fail "cc --no-as-needed -lvqwin -lglut: $(head -3 "$T/cc.log")"
readelf -d "$T/user_linked" | grep -q 'NEEDED.*libvqwin' || fail "user_linked lost libvqwin"
cmake -S "$SRC" -B "$T/cmake-user" -DCMAKE_PREFIX_PATH="$P" >"$T/cmake.log" 2>&1 || fail "find_package(vqscene): $(tail -5 "$T/cmake.log")"
cmake --build "$T/cmake-user" >>"$T/cmake.log" 2>&1 || fail "building the CMake project: $(tail -5 "$T/cmake.log")"
PROGRAMS="$T/user_alone $T/user_glut $T/user_linked $T/cmake-user/scene_user"
readelf -d "$T/user_glut" | grep -q 'NEEDED.*libvqwin' && echo "install test: note: this toolchain kept libvqwin; the run-time load goes untested by user_glut"

# Headless: the frame time steps by 1/--fps, so two runs draw the same images.
cd "$T" || fail "cannot enter $T"
for prog in $PROGRAMS; do
    name=$(basename "$prog")
    for run in 1 2; do
        env -u DISPLAY "$prog" --png "$name-$run-%d.png" --frames 3 --size 96x96 2>"$name.err" || fail "$name --png failed: $(cat "$name.err")"
    done
    for f in 0 1 2; do
        [ -s "$name-1-$f.png" ] || fail "$name wrote no frame $f"
        cmp -s "$name-1-$f.png" "$name-2-$f.png" || fail "$name: two runs differ at frame $f"
    done
    cmp -s "$name-1-0.png" "$name-1-2.png" && fail "$name: the square did not move between frames 0 and 2"
    env -u DISPLAY "$prog" --png "$name-fps.png" --frames 3 --fps 10 --size 96x96 2>>"$name.err" || fail "$name --fps failed"
    cmp -s "$name-fps.png" "$name-1-2.png" && fail "$name: --fps 10 drew frame 2 at the time of --fps 30"
done
env -u DISPLAY "$P/bin/pointsdemo" --png pointsdemo.png --frames 1 --size 96x96 2>pointsdemo.err ||
    fail "installed pointsdemo: $(cat pointsdemo.err)"
[ -s pointsdemo.png ] || fail "installed pointsdemo wrote no image"

# In a window, on a private Xvfb server.
if [ ! -x /usr/bin/Xvfb ]; then
    echo "install test: Xvfb is not installed; skipping the window runs"
    exit 0
fi
Xvfb -displayfd 3 -screen 0 320x240x24 -nolisten tcp 3>"$T/display" 2>"$T/xvfb.log" &
XVFB=$!
trap 'kill $XVFB 2>/dev/null' EXIT
for i in $(seq 50); do
    [ -s "$T/display" ] && break
    sleep 0.1
done
[ -s "$T/display" ] || fail "Xvfb did not start: $(cat "$T/xvfb.log")"
export DISPLAY=":$(cat "$T/display")"
for prog in $PROGRAMS "$P/bin/paneldemo"; do
    name=$(basename "$prog")
    timeout 60 "$prog" --frames 3 --size 96x96 >/dev/null 2>"$name-window.err" ||
        fail "$name in a window: $(cat "$name-window.err")"
    [ ! -s "$name-window.err" ] || [ "$name" = paneldemo ] || fail "$name in a window said: $(cat "$name-window.err")"
done

# Without libvqwin beside the library a window is refused in one line.
mkdir -p "$T/lonely" && cp "$P/lib/libvqscene.so.1" "$T/lonely/" || fail "cannot copy the library"
LD_LIBRARY_PATH="$T/lonely" timeout 60 "$T/user_alone" --frames 1 >/dev/null 2>lonely.err
status=$?
[ "$status" = 1 ] || fail "without libvqwin the window run ended with status $status"
[ "$(wc -l <lonely.err)" = 1 ] && grep -q "^vqscene: no window library: $T/lonely/libvqwin.so.1: cannot open" lonely.err ||
    fail "without libvqwin: $(cat lonely.err)"
echo "install test: passed"
