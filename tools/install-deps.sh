#!/bin/sh
# Installs the Debian packages that building, testing and the demo need.
# As root the missing ones are installed with apt-get; otherwise they are
# named and the script fails.
set -e
PKGS="cmake g++ make pkg-config zlib1g-dev libpng-dev libstb-dev freeglut3-dev libgl-dev libegl-dev
 libgl1-mesa-dri libegl-mesa0 libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev
 xvfb xauth xdotool"
# Image import for xrwview and xrwconvert: ITK's IO (NRRD, MetaImage, DICOM), NIfTI C library, libtiff.
PKGS="$PKGS libinsighttoolkit5-dev libnifti2-dev libtiff-dev"
missing=""
for p in $PKGS; do
    dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" != 0 ]; then
    echo "missing packages:$missing (as root: apt-get install -y$missing)" >&2
    exit 1
fi
echo "installing:$missing" >&2
apt-get update -q >/dev/null
DEBIAN_FRONTEND=noninteractive apt-get install -y -q $missing >/dev/null
