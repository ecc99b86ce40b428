#!/usr/bin/env bash
# Native benchmark of the master-file-table index (no Wine):
#   bench/run_mft_index.sh [files] [folders]   (default 100,000 files in 1,000 folders)
# Makes (once, bench/make_ntfs_volume.sh: ntfs-3g's mkntfs and a FUSE mount,
# as root) an NTFS image whose files are spread evenly over the folders and
# every hundredth has a named stream, then builds the index over it in a
# native -O2 build and prints records per second of CPU next to the floor of
# copying the same bytes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
files=${1:-100000}
folders=${2:-1000}
out=$root/build/bench-mft
image=$("$root/bench/make_ntfs_volume.sh" "$files" "$folders" 1)

logic=$root/engine/scanners/logic
g++ -std=c++17 -O2 -DNDEBUG -I"$logic" "$root/bench/native/bench_mft_index.cpp" \
  "$logic"/ntfs_records.cpp "$logic"/ntfs_boot_sector.cpp "$logic"/mft_volume.cpp \
  "$logic"/mft_stream_index.cpp -o "$out/bench_mft_index"
echo "image: $files files in $folders folders, 1 % with a stream ($(du -h "$image" | cut -f1) on disk)"
"$out/bench_mft_index" "$image" 10
