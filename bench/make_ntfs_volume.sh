#!/usr/bin/env bash
# Makes (once) an NTFS image for the benchmarks with ntfs-3g's mkntfs and a
# FUSE mount (root and /dev/fuse needed) and prints its path:
#   bench/make_ntfs_volume.sh [files] [folders] [stream percent]
# (default 100,000 files in 1,000 folders, 1 % with a named stream). The files
# are spread evenly over the folders; every (100 / percent)th file has a
# stream "bench" holding a clean text. Images go to build/bench-mft/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
files=${1:-100000}
folders=${2:-1000}
percent=${3:-1}
out=$root/build/bench-mft
mkdir -p "$out"
image=$out/volume-$files-$folders.img
[ "$percent" = 1 ] || image=$out/volume-$files-$folders-$percent.img

if [ ! -f "$image" ]; then
  [ "$(id -u)" = 0 ] && [ -c /dev/fuse ] || { echo "making the image needs root and /dev/fuse" >&2; exit 1; }
  mnt=$(mktemp -d)
  trap 'fusermount -u "$mnt" 2>/dev/null || umount "$mnt" 2>/dev/null || true; rmdir "$mnt"' EXIT
  # 1 GiB holds 200,000 empty files with room to spare; the image is sparse.
  truncate -s 1G "$image.part"
  mkntfs -F -f -Q -q "$image.part" 2>/dev/null
  ntfs-3g -o streams_interface=windows "$image.part" "$mnt"
  python3 - "$mnt" "$files" "$folders" "$percent" <<'PY' >&2
import os, sys
root, files, folders, percent = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), float(sys.argv[4])
per = files // folders
every = max(1, round(100 / percent))
for d in range(folders):
    folder = f"{root}/d{d:04}"
    os.mkdir(folder)
    for f in range(per):
        path = f"{folder}/f{f:04}.txt"
        with open(path, "wb"):
            pass
        if (d * per + f) % every == 0:
            with open(path + ":bench", "wb") as stream:
                stream.write(b"a clean stream for the benchmark\n")
PY
  fusermount -u "$mnt" 2>/dev/null || umount "$mnt"
  fallocate -d "$image.part" 2>/dev/null || true
  mv "$image.part" "$image"
fi
echo "$image"
