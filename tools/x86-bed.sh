#!/usr/bin/env bash
# Builds the x86 test bed, in which the 32-bit Windows programs of the x86
# build run under Wine on a machine that cannot execute 32-bit code itself
# (docs/x86-test-bed.md tells the route and why each piece is needed):
#
#   bash tools/x86-bed.sh           build what is missing (as root), then check
#   bash tools/x86-bed.sh --check   check only: complete, current, and a 32-bit
#                                   program starts under emulation
#   bash tools/x86-bed.sh --ready   check only that a complete, current bed is
#                                   there (no program is started)
#
# Everything downloaded or extracted lands in one folder, TARVEX_X86_BED
# (default build/x86-bed of this tree), and is reused on the next run. On the
# machine itself the script only adds the i386 architecture to dpkg and
# installs i386 runtime libraries and gcc-multilib from Debian; it never
# installs the 32-bit Wine (wine32:i386 would make /usr/bin/wine start the
# 32-bit loader and break every Wine run). The 32-bit Wine, libwine and a
# static qemu-i386 are taken from their packages and extracted into the bed.
#
# Exits 0 when the bed is usable; otherwise prints the reason in a banner on
# standard error and exits 2.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bed=${TARVEX_X86_BED:-$root/build/x86-bed}
mode=${1:-build}
case $mode in
  build | --check | --ready) ;;
  *) echo "usage: $0 [--check | --ready]" >&2; exit 3 ;;
esac

fail() {
  {
    echo "########################################################################"
    echo "## X86 TEST BED NOT AVAILABLE: $*"
    echo "## The x86 Wine suites cannot run and count as failed; the static"
    echo "## checks of the x86 build still run. See docs/x86-test-bed.md."
    echo "########################################################################"
  } >&2
  exit 2
}

# i386 runtime libraries of the 32-bit Wine: the dependencies of libwine:i386
# and the X extensions that the 64-bit Wine here uses as well.
i386_libraries=(libc6 libfontconfig1 libfreetype6 libasound2 libcapi20-3 libglib2.0-0 libgphoto2-6
  libgphoto2-port12 libgstreamer-plugins-base1.0-0 libgstreamer1.0-0 libpcap0.8 libpulse0 libudev1
  libusb-1.0-0 libx11-6 libxext6 ocl-icd-libopencl1 libxrender1 libxrandr2 libxcursor1 libxi6
  libxinerama1 libxcomposite1 libxfixes3 libxxf86vm1 libgnutls30)
# gcc -m32 builds the trap number shim; libz-mingw-w64 gives Wine its zlib1.dll.
host_packages=(gcc-multilib libz-mingw-w64)
# The qemu user emulation must map with MAP_FIXED_NOREPLACE (Debian 12's 7.2
# does not, and Wine's start-up then loops for about 50 s per process).
qemu_minimum_major=10

shim_source=$root/tools/x86-bed/trap_number_shim.c
shim_name=libtarvex_trap_number.so
binfmt_interpreter=$bed/root/usr/libexec/qemu-binfmt/i386-binfmt-P
i386_loader=$bed/root/usr/lib/wine/wine

wine_version() { dpkg-query -W -f='${Version}' wine64 2>/dev/null; }

# What the bed was built from; a change of any part means a rebuild.
bed_key() {
  local sources
  sources=$(cat "$root/tools/x86-bed.sh" "$shim_source" | sha256sum)
  echo "wine64 $(wine_version); sources ${sources%% *}"
}

is_installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

# The kernel must let an unprivileged namespace own a binfmt_misc instance
# (Linux 6.7 and later): the i386 entry is registered there, never on the host.
check_kernel() {
  local output
  if ! output=$(unshare --user --map-root-user --mount --fork true 2>&1); then
    fail "no user namespaces here (unshare --user: ${output:-failed}; see /proc/sys/user/max_user_namespaces)"
  fi
  if ! output=$(unshare --user --map-root-user --mount --fork \
      sh -c 'mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc && test -w /proc/sys/fs/binfmt_misc/register' 2>&1); then
    fail "binfmt_misc cannot be mounted in a user namespace (needs Linux 6.7 or later; this is $(uname -r)): ${output:-failed}"
  fi
}

install_system_packages() {
  is_installed wine64 || fail "wine64 is not installed (bash tools/install-deps.sh installs it)"
  if is_installed wine32:i386; then
    fail "wine32:i386 is installed system-wide; it breaks every Wine run here. Remove it: apt-get remove wine32:i386"
  fi
  local added=0 missing=() package
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    [ "$(id -u)" = 0 ] || fail "dpkg has no i386 architecture and this is not root (run as root once)"
    echo "x86 bed: dpkg --add-architecture i386"
    dpkg --add-architecture i386 || fail "dpkg --add-architecture i386 failed"
    added=1
  fi
  for package in "${i386_libraries[@]}"; do
    is_installed "$package:i386" || missing+=("$package:i386")
  done
  for package in "${host_packages[@]}"; do
    is_installed "$package" || missing+=("$package")
  done
  if [ $added = 1 ] || [ ${#missing[@]} -gt 0 ]; then
    [ "$(id -u)" = 0 ] || fail "missing packages and not root: ${missing[*]}"
    echo "x86 bed: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get -o DPkg::Lock::Timeout=900 update -qq || fail "apt-get update failed"
    apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null ||
      fail "apt-get install failed for: ${missing[*]}"
  fi
}

# apt-get download into debs/, with a second try after refreshing the lists.
download() {
  (cd "$bed/debs" && apt-get -q -o APT::Sandbox::User=root "$@" download "${packages[@]}" >/dev/null)
}

fetch_packages() {
  mkdir -p "$bed/debs"
  local version
  version=$(wine_version)
  local packages=("wine32:i386=$version" "libwine:i386=$version")
  if ! ls "$bed/debs/wine32_${version}_i386.deb" "$bed/debs/libwine_${version}_i386.deb" >/dev/null 2>&1; then
    rm -f "$bed"/debs/wine32_*.deb "$bed"/debs/libwine_*.deb
    echo "x86 bed: downloading wine32:i386 and libwine:i386 $version (extracted, never installed)"
    download || { apt-get -o DPkg::Lock::Timeout=900 update -qq && download; } ||
      fail "cannot download wine32:i386 and libwine:i386 $version from Debian"
  fi
  ls "$bed"/debs/qemu-user_*.deb >/dev/null 2>&1 && return 0

  # qemu-user from the system's suite when it is new enough, else from the
  # suite's backports, through an apt configuration of the bed's own (the
  # machine's sources stay as they are).
  local candidate codename
  candidate=$(apt-cache policy qemu-user 2>/dev/null | sed -n 's/^ *Candidate: *\(.*\)$/\1/p')
  if [ "$(echo "${candidate#*:}" | cut -d. -f1)" -ge $qemu_minimum_major ] 2>/dev/null; then
    packages=(qemu-user)
    echo "x86 bed: downloading qemu-user $candidate (extracted, never installed)"
    download || fail "cannot download qemu-user from Debian"
    return 0
  fi
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [ -n "$codename" ] || fail "no Debian codename in /etc/os-release to find ${qemu_minimum_major}.x qemu-user"
  local apt_dir=$bed/apt
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/archives/partial"
  echo "deb ${TARVEX_X86_BED_MIRROR:-http://deb.debian.org/debian} $codename-backports main" >"$apt_dir/sources.list"
  local options=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o Dir::Etc::SourceParts=/dev/null
    -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir" -o Dir::Cache::pkgcache=
    -o Dir::Cache::srcpkgcache= -o APT::Architectures::=amd64 -o Acquire::Languages=none)
  echo "x86 bed: downloading qemu-user from $codename-backports (extracted, never installed)"
  apt-get -qq "${options[@]}" update || fail "cannot read $codename-backports"
  packages=(qemu-user)
  download "${options[@]}" || fail "cannot download qemu-user from $codename-backports"
}

# The Debian layout, moved under the bed: the 32-bit loader in usr/lib/wine
# finds its ntdll.so in usr/lib/i386-linux-gnu/wine. A copy of the 64-bit
# loader beside it makes Wine start 32-bit programs with that 32-bit loader
# (its name without "64"); its own unix side, wineserver and data stay the
# system's.
extract() {
  local tree=$bed/root.new
  rm -rf "$tree" "$bed/shim.new"
  mkdir -p "$tree"
  local deb
  for deb in "$bed"/debs/wine32_*_i386.deb "$bed"/debs/libwine_*_i386.deb; do
    dpkg -x "$deb" "$tree" || fail "cannot extract $deb"
  done
  dpkg-deb --fsys-tarfile "$bed"/debs/qemu-user_*.deb |
    tar -x -C "$tree" ./usr/bin/qemu-i386 ./usr/libexec/qemu-binfmt/i386-binfmt-P ||
    fail "cannot extract qemu-i386 from $(ls "$bed"/debs/qemu-user_*.deb)"
  local major
  major=$("$tree/usr/bin/qemu-i386" --version | sed -n 's/^qemu-i386 version \([0-9]*\)\..*/\1/p')
  [ "${major:-0}" -ge $qemu_minimum_major ] ||
    fail "qemu-i386 ${major:-?}.x is too old (at least $qemu_minimum_major.x is needed)"

  cp /usr/lib/wine/wine64 "$tree/usr/lib/wine/wine64"
  rm -f "$tree/usr/lib/wine/wineserver" "$tree/usr/lib/wine/wineserver32"
  ln -s /usr/lib/wine/wineserver64 "$tree/usr/lib/wine/wineserver"
  mkdir -p "$tree/usr/lib/x86_64-linux-gnu"
  ln -s /usr/lib/x86_64-linux-gnu/wine "$tree/usr/lib/x86_64-linux-gnu/wine"
  rm -rf "$tree/usr/share/wine"
  ln -s /usr/share/wine "$tree/usr/share/wine"
  # What libwine's postinst does: MinGW's zlib1.dll marked as a Wine builtin.
  local zlib=/usr/i686-w64-mingw32/lib/zlib1.dll
  [ -f $zlib ] || fail "$zlib is missing (package libz-mingw-w64)"
  {
    head -c 64 $zlib
    printf 'Wine builtin DLL'
    head -c 16 /dev/zero
    tail -c +97 $zlib
  } >"$tree/usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll"

  local shim=$bed/shim.new
  mkdir -p "$shim/lib/i386-linux-gnu" "$shim/lib/x86_64-linux-gnu"
  gcc -m32 -O2 -Wall -Wextra -shared -fPIC -o "$shim/lib/i386-linux-gnu/$shim_name" "$shim_source" -ldl ||
    fail "gcc -m32 cannot build the trap number shim (package gcc-multilib)"
  gcc -O2 -Wall -Wextra -shared -fPIC -o "$shim/lib/x86_64-linux-gnu/$shim_name" "$shim_source" ||
    fail "gcc cannot build the 64-bit half of the trap number shim"

  rm -rf "$bed/root" "$bed/shim"
  mv "$tree" "$bed/root" && mv "$shim" "$bed/shim" || fail "cannot move the bed into place"
}

# The i386 Wine loader started through the namespace's binfmt entry: binfmt,
# qemu, the i386 C library and the shim all take part.
smoke_check() {
  local output
  output=$("$root/tools/x86-bed/enter.sh" "$i386_loader" --version 2>&1)
  case $output in
    wine-*) ;;
    *) fail "a 32-bit program does not start in the bed: ${output:-no output}" ;;
  esac
}

is_ready() {
  [ -f "$bed/.ready" ] && [ "$(cat "$bed/.ready")" = "$(bed_key)" ] &&
    [ -x "$i386_loader" ] && [ -x "$binfmt_interpreter" ]
}

case $mode in
  --ready)
    is_ready || fail "not built or out of date in $bed (bash tools/x86-bed.sh builds it)"
    exit 0 ;;
  --check)
    is_ready || fail "not built or out of date in $bed (bash tools/x86-bed.sh builds it)"
    if is_installed wine32:i386; then
      fail "wine32:i386 is installed system-wide; it breaks every Wine run here. Remove it: apt-get remove wine32:i386"
    fi
    check_kernel
    smoke_check
    echo "x86 test bed ready: $bed"
    exit 0 ;;
esac

mkdir -p "$bed"
exec 9>"$bed.lock"
flock 9
check_kernel
if ! is_ready; then
  install_system_packages
  fetch_packages
  extract
  bed_key >"$bed/.ready"
fi
smoke_check
echo "x86 test bed ready: $bed"
