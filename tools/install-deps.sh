#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (as root), only
# when one of them is missing.
set -euo pipefail
packages=(cmake make g++ clang libclang-rt-14-dev libgtest-dev googletest libbenchmark-dev
          g++-mingw-w64-x86-64 g++-mingw-w64-i686 binutils-mingw-w64
          wine64 xvfb xauth imagemagick xdotool openbox x11-utils python3 procps
          libcli11-dev nlohmann-json3-dev ntfs-3g
          wixl msitools python3-olefile python3-yaml ansible ansible-lint)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
