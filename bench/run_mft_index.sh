#!/usr/bin/env bash
# Native benchmark of the master-file-table index (no Wine):
#   bench/run_mft_index.sh [files] [folders]   (default 100,000 files in 1,000 folders)
# Makes (once, with ntfs-3g's mkntfs and a FUSE mount, as root) an NTFS image
# whose files are spread evenly over the folders and every hundredth has a
# named stream, then builds the index over it in a native -O2 build and prints
# records per second of CPU next to the floor of copying the same bytes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
files=${1:-100000}
folders=${2:-1000}
out=$root/build/bench-mft
mkdir -p "$out"
image=$out/volume-$files-$folders.img

if [ ! -f "$image" ]; then
  [ "$(id -u)" = 0 ] && [ -c /dev/fuse ] || { echo "making the image needs root and /dev/fuse" >&2; exit 1; }
  mnt=$(mktemp -d)
  trap 'fusermount -u "$mnt" 2>/dev/null || umount "$mnt" 2>/dev/null || true; rmdir "$mnt"' EXIT
  truncate -s 1G "$image.part"
  mkntfs -F -f -Q -q "$image.part" 2>/dev/null
  ntfs-3g -o streams_interface=windows "$image.part" "$mnt"
  python3 - "$mnt" "$files" "$folders" <<'PY'
import os, sys
root, files, folders = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
per = files // folders
for d in range(folders):
    folder = f"{root}/d{d:04}"
    os.mkdir(folder)
    for f in range(per):
        path = f"{folder}/f{f:04}.txt"
        with open(path, "wb"):
            pass
        if (d * per + f) % 100 == 0:
            with open(path + ":bench", "wb") as stream:
                stream.write(b"a clean stream for the benchmark\n")
PY
  fusermount -u "$mnt" 2>/dev/null || umount "$mnt"
  fallocate -d "$image.part" 2>/dev/null || true
  mv "$image.part" "$image"
fi

logic=$root/engine/scanners/logic
g++ -std=c++17 -O2 -DNDEBUG -I"$logic" "$root/bench/native/bench_mft_index.cpp" \
  "$logic"/ntfs_records.cpp "$logic"/ntfs_boot_sector.cpp "$logic"/mft_volume.cpp \
  "$logic"/mft_stream_index.cpp -o "$out/bench_mft_index"
echo "image: $files files in $folders folders, 1 % with a stream ($(du -h "$image" | cut -f1) on disk)"
"$out/bench_mft_index" "$image" 10
