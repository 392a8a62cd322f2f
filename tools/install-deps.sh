#!/bin/sh
# Installs the Debian packages that building, testing and the demo need.
# As root the missing ones are installed with apt-get; otherwise they are
# named and the script fails. `install-deps.sh demo` stops there; otherwise
# the glTF validator the export tests run is installed from npm too (a
# machine without that registry gets a warning, and those tests skip).
set -e
PKGS="cmake g++ make pkg-config zlib1g-dev libdeflate-dev libpng-dev libstb-dev freeglut3-dev libgl-dev libegl-dev
 libgl1-mesa-dri libegl-mesa0 libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev
 xvfb xauth xdotool"
# node runs the glTF validator of the export tests.
PKGS="$PKGS nodejs"
# Image import for xrwview and xrwconvert: ITK's IO (NRRD, MetaImage, DICOM), NIfTI C library, libtiff.
PKGS="$PKGS libinsighttoolkit5-dev libnifti2-dev libtiff-dev"
# Overlay text of the scene library: FreeType and the DejaVu fonts.
PKGS="$PKGS libfreetype-dev fonts-dejavu-core"
# GIfTI surfaces (the GIfTI library reads its XML with expat); the FreeSurfer
# and GIfTI tests write their files with nibabel.
PKGS="$PKGS libgiftiio-dev libexpat1-dev python3-nibabel python3-numpy"
# wb_command writes the external-file GIfTI of one test (skipped without it).
PKGS="$PKGS connectome-workbench"
# mrview, the peer of the slice views in bench/ortho_mrview.sh.
PKGS="$PKGS mrtrix3"
# TRX tractograms (ZIP archives).
PKGS="$PKGS libzip-dev"
missing=""
for p in $PKGS; do
    dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
if [ -n "$missing" ]; then
    if [ "$(id -u)" != 0 ]; then
        echo "missing packages:$missing (as root: apt-get install -y$missing)" >&2
        exit 1
    fi
    echo "installing:$missing" >&2
    apt-get update -q >/dev/null
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q $missing >/dev/null
fi

[ "${1:-}" = demo ] && exit 0

# The Khronos glTF validator, from the npm registry into tools/node/.
NODE_DIR="$(cd "$(dirname "$0")" && pwd)/node"
GLTF_VALIDATOR=gltf-validator@2.0.0-dev.3.10
if [ ! -f "$NODE_DIR/node_modules/gltf-validator/package.json" ]; then
    # Debian's nodejs comes without npm; nodesource's brings its own.
    if ! command -v npm >/dev/null 2>&1 && [ "$(id -u)" = 0 ]; then
        echo "installing: npm" >&2
        apt-get update -q >/dev/null
        DEBIAN_FRONTEND=noninteractive apt-get install -y -q npm >/dev/null
    fi
    if ! command -v npm >/dev/null 2>&1; then
        echo "warning: npm is missing: the glTF validator ($GLTF_VALIDATOR) is not installed" >&2
        exit 0
    fi
    echo "installing $GLTF_VALIDATOR into $NODE_DIR" >&2
    npm install --prefix "$NODE_DIR" --no-save --no-package-lock --no-audit --no-fund "$GLTF_VALIDATOR" >/dev/null ||
        echo "warning: npm could not install $GLTF_VALIDATOR; the glTF export tests will skip" >&2
fi
