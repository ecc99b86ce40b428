#!/usr/bin/env bash
# Builds the release binaries and makes one ZIP and one MSI per architecture:
#
#   tools/package.sh [x64] [x86]        (default: both)
#
# Output in build/dist/: tarvex-<version>-<arch>.zip, holding the folder
# tarvex-<version>-<arch>/ with the engine, the window application (when it is
# built), the console program, README.md, LICENSE and SHA256SUMS (checksums of
# the other files), plus tarvex-<version>-<arch>.zip.sha256 beside each ZIP;
# tarvex-<version>-<arch>.msi, the Windows Installer package of the same files
# (tools/package-msi.sh), with its .msi.sha256.
#
# Reproducible: the binaries are stripped and linked without a PE time stamp,
# with the source path mapped away, and the ZIP entries have a fixed order, fixed
# times (the last commit's time, or SOURCE_DATE_EPOCH) and fixed permissions.
# The same sources and tools give byte-identical ZIPs and MSIs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

architectures=("$@")
[ ${#architectures[@]} -gt 0 ] || architectures=(x64 x86)
version=$(sed -n 's/^project([^)]*VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt | head -n1)
[ -n "$version" ] || { echo "no project version in CMakeLists.txt" >&2; exit 1; }
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 315532800)}
jobs=${PACKAGE_JOBS:-2}
mkdir -p build/dist

for arch in "${architectures[@]}"; do
  case $arch in
    x64) suffix=64 ;;
    x86) suffix= ;;
    *) echo "unknown architecture: $arch (x64 or x86)" >&2; exit 1 ;;
  esac
  build=build/package-$arch
  cmake --preset "$arch" -B "$build" \
    -DCMAKE_EXE_LINKER_FLAGS="-Wl,--no-insert-timestamp -s" \
    -DCMAKE_SHARED_LINKER_FLAGS="-Wl,--no-insert-timestamp -s" \
    -DCMAKE_CXX_FLAGS="-ffile-prefix-map=$root=." \
    -DCMAKE_C_FLAGS="-ffile-prefix-map=$root=." >/dev/null
  cmake --build "$build" -j "$jobs" --target tarvex ostrelle_cmd
  # The window application when this tree builds it.
  cmake --build "$build" -j "$jobs" --target ostrelle 2>/dev/null || true

  name=tarvex-$version-$arch
  stage=$build/stage/$name
  rm -rf "$build/stage"
  mkdir -p "$stage"
  files=("tarvex$suffix.dll" "OstrelleCmd$suffix.exe")
  [ -f "$build/bin/Ostrelle$suffix.exe" ] && files+=("Ostrelle$suffix.exe")
  for file in "${files[@]}"; do cp "$build/bin/$file" "$stage/"; done
  cp README.md LICENSE "$stage/"
  (cd "$stage" && LC_ALL=C ls | grep -v '^SHA256SUMS$' | LC_ALL=C sort | xargs sha256sum > SHA256SUMS)

  python3 - "$build/stage" "$name" "build/dist/$name.zip" "$epoch" <<'PYTHON'
import os, sys, time, zipfile
stage, name, target, epoch = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
# ZIP times have a two-second resolution and start in 1980.
stamp = time.gmtime(max(epoch, 315532800))[:6]
with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
    for file in sorted(os.listdir(os.path.join(stage, name))):
        info = zipfile.ZipInfo(f"{name}/{file}", date_time=stamp)
        info.compress_type = zipfile.ZIP_DEFLATED
        info.external_attr = 0o644 << 16
        info.create_system = 3
        with open(os.path.join(stage, name, file), "rb") as source:
            archive.writestr(info, source.read(), compresslevel=9)
PYTHON
  (cd build/dist && sha256sum "$name.zip" > "$name.zip.sha256")
  echo "build/dist/$name.zip"
  (cd build/dist && cat "$name.zip.sha256")

  SOURCE_DATE_EPOCH=$epoch bash tools/package-msi.sh "$arch" "$version" "$stage" "build/dist/$name.msi"
  (cd build/dist && sha256sum "$name.msi" > "$name.msi.sha256")
  echo "build/dist/$name.msi"
  (cd build/dist && cat "$name.msi.sha256")
done
