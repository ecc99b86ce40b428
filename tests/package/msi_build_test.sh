#!/usr/bin/env bash
# Builds the MSIs of both architectures from the built binaries with the
# release script (tools/package-msi.sh) and checks them statically:
#
#   msi_build_test.sh <x64 bin dir> <x86 bin dir> <output dir> <version> <newer version>
#
# Leaves in <output dir>: stage-x64/ and stage-x86/ (the installed files),
# tarvex-<version>-x64.msi, tarvex-<newer version>-x64.msi (the same files as a
# newer version, for the upgrade test) and tarvex-<version>-x86.msi; the Wine
# tests install them. Checks: tables, files and payload of each package
# (check_msi.py), a rebuild from files with other time stamps gives the same
# bytes, every version is another product of the same upgrade code, and the
# two architectures are different products with different upgrade codes.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
x64_bin=$1 x86_bin=$2 out=$3 version=$4 newer=$5

fail() { echo "FAILED: $*"; exit 1; }

rm -rf "$out"
mkdir -p "$out"
for arch in x64 x86; do
  if [ "$arch" = x64 ]; then bin=$x64_bin bits=64; else bin=$x86_bin bits=; fi
  stage=$out/stage-$arch
  mkdir -p "$stage"
  for file in "tarvex$bits.dll" "Ostrelle$bits.exe" "OstrelleCmd$bits.exe"; do
    [ -f "$bin/$file" ] || fail "$bin/$file is missing: build the $arch preset first (bash tools/build.sh $arch)"
    cp "$bin/$file" "$stage/"
  done
  cp "$root/README.md" "$root/LICENSE" "$stage/"
done

build() {  # arch version output
  bash "$root/tools/package-msi.sh" "$1" "$2" "$out/stage-$1" "$3" || fail "tools/package-msi.sh $1 $2"
}
build x64 "$version" "$out/tarvex-$version-x64.msi"
build x64 "$newer" "$out/tarvex-$newer-x64.msi"
build x86 "$version" "$out/tarvex-$version-x86.msi"

declare -A product package upgrade
for name in "x64 $version" "x64 $newer" "x86 $version"; do
  set -- $name
  log=$(/usr/bin/python3 "$here/check_msi.py" "$out/tarvex-$2-$1.msi" "$1" "$2" "$version.0" "$out/stage-$1") ||
    { echo "$log"; fail "static checks of tarvex-$2-$1.msi"; }
  echo "$log"
  read -r _ _ product["$name"] _ package["$name"] _ upgrade["$name"] <<< "$(grep '^codes:' <<< "$log")"
done

# The cabinet keeps the files' times: the build must set them itself.
touch "$out/stage-x64/"*
build x64 "$version" "$out/rebuilt.msi"
cmp "$out/tarvex-$version-x64.msi" "$out/rebuilt.msi" || fail "a rebuild from the same files differs"
rm "$out/rebuilt.msi"
echo "rebuild from the same files: byte-identical"

old="x64 $version" new="x64 $newer" x86="x86 $version"
[ "${upgrade[$old]}" = "${upgrade[$new]}" ] || fail "the newer version has another upgrade code"
[ "${product[$old]}" != "${product[$new]}" ] || fail "the newer version has the same product code"
[ "${package[$old]}" != "${package[$new]}" ] || fail "the newer version has the same package code"
[ "${upgrade[$old]}" != "${upgrade[$x86]}" ] || fail "x64 and x86 share the upgrade code"
[ "${product[$old]}" != "${product[$x86]}" ] || fail "x64 and x86 share the product code"
echo "codes: versions share the upgrade code, each version is its own product; x64 and x86 differ"
echo "msi build: ok"
