#!/usr/bin/env bash
# Runs the folder walk's tests over real NTFS under Wine, in a prefix of its
# own (TARVEX_WINEPREFIX):
#   run_ntfs_walk.sh STAGE IMAGES MODE [IMAGE [FOLDER]]
# STAGE holds the test program, the engine and the test provider; IMAGES the
# images and ntfsinfo records of tests/ntfs/make_images.sh.
#   index     D: is IMAGE's read-only FUSE mount and its raw volume the image
#             itself (dosdevices d: and d::). The tests learn the streams
#             ntfs-3g knows (expected_streams.py) and FOLDER, a folder of the
#             volume to walk.
#   fallback  D: is the mount without a raw volume (no d:: link).
#   unix      no D:; only the tree made through the Unix side of C:.
# Every mode makes that tree, C:\tarvex-hiding: names Win32 path parsing alters
# (trailing dots and blanks beside decoys without them, device names), each
# file holding its own path below the tree. The mount and the links go when
# the script ends, and so does the prefix's wineserver. Without root or
# /dev/fuse, or without the image, the FUSE modes say so and exit 77, which
# ctest reports as a skipped test.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
stage=$(cd "$1" && pwd)
images=$(cd "$2" && pwd)
mode=$3
image=${4:-}
folder=${5:-}
: "${TARVEX_WINEPREFIX:?set TARVEX_WINEPREFIX to the prefix of these tests}"
export WINEPREFIX=$TARVEX_WINEPREFIX
runner=$here/../wine/run_in_wine.sh
program=tarvex_ntfs_walk_tests.exe

skip() { echo "SKIPPED: $*" >&2; exit 77; }
if [ "$mode" != unix ]; then
  [ "$(id -u)" = 0 ] && [ -c /dev/fuse ] && command -v ntfs-3g >/dev/null ||
    skip "the $mode walk over $image needs root, /dev/fuse and ntfs-3g for a FUSE mount"
  if [ ! -f "$images/$image.img" ]; then
    [ -f "$images/SKIPPED" ] && grep -q "^$image:" "$images/SKIPPED" &&
      skip "$(grep "^$image:" "$images/SKIPPED")"
    echo "FAIL: $images/$image.img is missing" >&2; exit 1
  fi
fi

# The prefix is made (once) by the runner itself. Its server goes at once:
# Wine's mount manager lists the drives there were when the server started,
# so the tests' run must start a new one after the links below are made.
"$runner" "$stage" "$program" --gtest_list_tests >/dev/null
wineserver -k 2>/dev/null || true

mnt=
drive_links() { rm -f "$WINEPREFIX/dosdevices/d:" "$WINEPREFIX/dosdevices/d::"; }
cleanup() {
  wineserver -k 2>/dev/null || true
  drive_links
  if [ -n "$mnt" ]; then
    mountpoint -q "$mnt" && { fusermount -u "$mnt" 2>/dev/null || umount "$mnt" || true; }
    rmdir "$mnt" 2>/dev/null || true
  fi
}
trap cleanup EXIT
drive_links

tree=$WINEPREFIX/drive_c/tarvex-hiding
rm -rf "$tree"
mkdir -p "$tree"
(
  cd "$tree"
  mkdir "dots." dots "blank " blank con
  for path in "dots./inner.txt" dots/decoy.txt "blank /in-blank.txt" blank/decoy.txt \
              "trailing." "trailing " trailing nul com1 com1.txt aux.txt con/x.txt lpt1; do
    printf '%s' "${path//\//\\}" >"$path"
  done
)
export TARVEX_HIDING_TREE='C:\tarvex-hiding'

case $mode in
  index | fallback)
    mnt=$(mktemp -d)
    ntfs-3g -o ro,streams_interface=windows "$images/$image.img" "$mnt"
    ln -s "$mnt" "$WINEPREFIX/dosdevices/d:"
    ;;
esac
case $mode in
  index)
    ln -s "$images/$image.img" "$WINEPREFIX/dosdevices/d::"
    mkdir -p "$WINEPREFIX/drive_c/tarvex-ntfs"
    python3 "$here/expected_streams.py" "$images/$image.oracle" "$mnt" \
      "$here/../support/test_content.h" >"$WINEPREFIX/drive_c/tarvex-ntfs/$image.tsv"
    export TARVEX_NTFS_EXPECTED="C:\\tarvex-ntfs\\$image.tsv" TARVEX_NTFS_FOLDER=$folder
    export TARVEX_LISTING_FOLDERS='D:\'
    filter='NtfsWalk.*:WalkPaths.ListingByHandle*'
    ;;
  fallback) filter='NtfsFallback.*' ;;
  unix) filter='UnixSide.*:WalkPaths.*' ;;
  *) echo "unknown mode $mode" >&2; exit 2 ;;
esac
"$runner" "$stage" "$program" --gtest_filter="$filter"
