#!/usr/bin/env bash
# Runs a command inside the x86 test bed: enter.sh COMMAND [ARGUMENTS...]
#
# The command runs in a private user and mount namespace that has its own
# binfmt_misc instance, with one entry handing i386 ELF programs to the bed's
# static qemu-i386 (flags P: keep argv[0]; F: open the interpreter now, so it
# is found whatever the mounts). Nothing is registered outside the namespace,
# which goes away with its last process (Wine's server ends a few seconds
# after the last program).
#
# In there, Wine is the bed's copy of the 64-bit loader (TARVEX_WINE): 64-bit
# programs (wineboot, services, explorer) run natively, and a 32-bit program
# is started with the extracted 32-bit loader beside it, under qemu, with the
# trap number shim preloaded. run_in_wine.sh uses TARVEX_WINE and keeps a
# prefix made this way apart from a plain 64-bit one (TARVEX_WINE_PREFIX_KIND).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
bed=${TARVEX_X86_BED:-$root/build/x86-bed}

if [ "${TARVEX_X86_BED_ENTERED:-}" != "$bed" ]; then
  bash "$root/tools/x86-bed.sh" --ready
  export TARVEX_X86_BED=$bed TARVEX_X86_BED_ENTERED=$bed
  # --kill-child: a test run that is stopped takes the namespace with it.
  exec unshare --user --map-root-user --mount --fork --kill-child "$0" "$@"
fi

# The magic and mask of Debian's qemu-i386 entry: ELF, 32-bit, little endian,
# executable or shared object, machine 3 (i386). The kernel decodes the \x.
magic='\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\xfc\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
if [ ! -e /proc/sys/fs/binfmt_misc/tarvex-i386 ]; then
  mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  printf '%s' ":tarvex-i386:M::$magic:$mask:$bed/root/usr/libexec/qemu-binfmt/i386-binfmt-P:PF" \
    >/proc/sys/fs/binfmt_misc/register
fi

export TARVEX_WINE=$bed/root/usr/lib/wine/wine64
export TARVEX_WINE_PREFIX_KIND=x86-bed
# Each entry makes a namespace of its own, and a wineserver started in one
# cannot read or control the processes of another: the runs in a namespace
# share a server, started there.
export TARVEX_WINE_SERVER_PER_NAMESPACE=1
export WINELOADER=$TARVEX_WINE
# The 64-bit side finds the 32-bit builtin DLLs here (for the prefix's syswow64).
export WINEDLLPATH=$bed/root/usr/lib/i386-linux-gnu/wine
# $LIB picks the i386 shim in 32-bit processes and an empty library in 64-bit ones.
export LD_PRELOAD="$bed/shim/\$LIB/libtarvex_trap_number.so${LD_PRELOAD:+ $LD_PRELOAD}"
exec "$@"
