#!/usr/bin/env bash
# The folder walk of an NTFS volume under Wine (x64 build), as root with
# /dev/fuse: bench/run_ntfs_walk.sh [build dir] [rounds]
# The volume (bench/make_ntfs_volume.sh: 100,000 files in 1,000 folders, 1 %
# with a stream) is D:, its read-only FUSE mount, in a prefix of its own.
# Rounds alternate, each measurement in a process of its own:
#   index     TarvexAdsInFolder("D:\") with the image as D:'s raw volume (d::)
#   per-file  the same walk without a raw volume: every entry is asked
#   floor     $MFT's bytes from the raw volume plus every folder listed; apart
#             from it, the 1,000 streams opened, read and scanned directly
#             (the content scans the walk does on top of its floor)
# Then the index build alone (the walk of one folder of 100 files builds the
# whole volume's index), and the memory of the indexed walk on volumes of another size or stream
# share: 200,000 files with 0.5 % (the same 1,000 streams) and 100,000 files
# with 10 %. Ratios are the medians of each round's own ratio (the rounds run
# close together, under the same load). Each volume is listed once before its rounds (a cold FUSE mount
# lists several times slower). Medians are printed at the end.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/x64}" && pwd)
rounds=${2:-5}
[ "$(id -u)" = 0 ] && [ -c /dev/fuse ] || { echo "needs root and /dev/fuse for the FUSE mount" >&2; exit 1; }
cmake --build "$build" --target bench_ntfs_walk -j2 >/dev/null
export TARVEX_WINEPREFIX=$build/wineprefix-bench-ntfs
export WINEPREFIX=$TARVEX_WINEPREFIX
run() { "$root/tests/wine/run_in_wine.sh" "$build/bin/bench-ntfs-walk" bench_ntfs_walk.exe "$@" 2>/dev/null; }
run >/dev/null || true  # makes the prefix on first use

mnt=$(mktemp -d)
results=$(mktemp -d)
unmount() { mountpoint -q "$mnt" && { fusermount -u "$mnt" 2>/dev/null || umount "$mnt"; } || true; }
cleanup() {
  wineserver -k 2>/dev/null || true
  rm -f "$WINEPREFIX/dosdevices/d:" "$WINEPREFIX/dosdevices/d::"
  unmount
  rmdir "$mnt"
  rm -rf "$results"
}
trap cleanup EXIT
raw_volume() {  # on|off
  rm -f "$WINEPREFIX/dosdevices/d::"
  [ "$1" = on ] && ln -s "$image" "$WINEPREFIX/dosdevices/d::"
  return 0
}
mount_volume() {
  image=$("$root/bench/make_ntfs_volume.sh" "$@")
  unmount
  ntfs-3g -o ro,streams_interface=windows "$image" "$mnt"
  rm -f "$WINEPREFIX/dosdevices/d:"
  ln -s "$mnt" "$WINEPREFIX/dosdevices/d:"
  # One listing of every folder first, so no round pays for a cold mount.
  raw_volume on
  run floor 'D:\' >/dev/null
}
# median <file> <key>
median() {
  python3 - "$1" "$2" <<'PY'
import re, statistics, sys
values = [float(m.group(1)) for line in open(sys.argv[1])
          for m in [re.search(r"\b" + sys.argv[2] + r"=([0-9.]+)", line)] if m]
print(f"{statistics.median(values):.1f}" if values else "n/a")
PY
}

mount_volume 100000 1000 1
# The streams make_ntfs_volume.sh wrote: every hundredth file has one.
python3 - >"$WINEPREFIX/drive_c/bench-streams.txt" <<'PY'
for i in range(0, 100000, 100):
    print(f"D:\\d{i // 100:04}\\f{i % 100:04}.txt:bench")
PY
echo "volume: 100,000 files in 1,000 folders, 1 % with a stream; $rounds rounds"
for ((r = 1; r <= rounds; r++)); do
  raw_volume on
  run walk 'D:\' | tee -a "$results/index" | sed 's/^/index     /'
  raw_volume off
  run walk 'D:\' | tee -a "$results/perfile" | sed 's/^/per-file  /'
  raw_volume on
  run floor 'D:\' 'C:\bench-streams.txt' | tee -a "$results/floor" | sed 's/^/floor     /'
done
index=$(median "$results/index" walk_ms)
perfile=$(median "$results/perfile" walk_ms)
floor=$(median "$results/floor" floor_ms)
echo "median: index $index ms, per-file $perfile ms, floor $floor ms" \
  "($(median "$results/floor" mft_ms) ms \$MFT, $(median "$results/floor" listing_ms) ms listing," \
  "CPU $(median "$results/floor" cpu_ms) ms), stream scans $(median "$results/floor" streams_ms) ms"
python3 - "$results" <<'PY'
import re, statistics, sys
def values(name, key):
    return [float(re.search(r"\b" + key + r"=([0-9.]+)", line).group(1))
            for line in open(f"{sys.argv[1]}/{name}")]
index, perfile = values("index", "walk_ms"), values("perfile", "walk_ms")
floor, streams = values("floor", "floor_ms"), values("floor", "streams_ms")
ratio = lambda a, b: statistics.median(x / y for x, y in zip(a, b))
print(f"per round: per-file / index = {ratio(perfile, index):.2f}, "
      f"index / floor = {ratio(index, floor):.2f}, "
      f"index / (floor + stream scans) = {ratio(index, [f + s for f, s in zip(floor, streams)]):.2f}")
PY
# The index of the whole volume with a walk of one small folder (100 files).
raw_volume on
for ((r = 1; r <= 3; r++)); do run walk 'D:\d0000' >>"$results/build"; done
records=$(python3 -c "print(round($(median "$results/floor" mft_mib) * 1024))")  # 1 KiB records
echo "index build with the walk of D:\d0000: $(median "$results/build" walk_ms) ms," \
  "$(median "$results/build" cpu_ms) ms CPU for $records records =" \
  "$(python3 -c "print(f'{$records / $(median "$results/build" cpu_ms) / 1e3:.2f}')") million records/s of CPU"
echo "index walk CPU $(median "$results/index" cpu_ms) ms," \
  "working set $(median "$results/index" ws_before_mib) MiB before, $(median "$results/index" ws_peak_mib) MiB at peak;" \
  "per-file walk $(median "$results/perfile" ws_before_mib) -> $(median "$results/perfile" ws_peak_mib) MiB"

for volume in "200000 1000 0.5" "100000 1000 10"; do
  # shellcheck disable=SC2086
  mount_volume $volume
  raw_volume on
  : >"$results/memory"
  for ((r = 1; r <= 3; r++)); do run walk 'D:\' | tee -a "$results/memory" | sed "s/^/index ($volume) /"; done
  echo "median ($volume): walk $(median "$results/memory" walk_ms) ms, entries" \
    "$(median "$results/memory" entries), working set $(median "$results/memory" ws_before_mib) MiB" \
    "before, $(median "$results/memory" ws_peak_mib) MiB at peak"
done
