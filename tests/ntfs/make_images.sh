#!/usr/bin/env bash
# Builds the NTFS test images with ntfs-3g's own tools (mkntfs, ntfscp, the FUSE
# driver) and records ntfs-3g's view of their records beside them:
#   tests/ntfs/make_images.sh OUTDIR
# For each image NAME: OUTDIR/NAME.img (sparse), OUTDIR/NAME.oracle (the output
# of `ntfsinfo -v -i N` for the system records, every record reachable from the
# root and every record named in NAME.facts, each behind a "### record N"
# line), OUTDIR/NAME.facts (what the script itself knows: "deleted N" for a
# record freed after its file had a stream, "no-streams N" for files made
# without any). Images that need a FUSE mount (folders, hard links, deletes,
# DOS names, sparse streams, a fragmented $MFT) are built only as root with
# /dev/fuse; OUTDIR/SKIPPED names each image left out and why. A stamp of this
# script's own hash lets a second run with an unchanged script and all images
# in place do nothing.
set -euo pipefail
out=${1:?usage: make_images.sh OUTDIR}
mkdir -p "$out"
out=$(cd "$out" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
stamp=$(sha256sum "$0" "$here/../support/test_content.h" | sha256sum | cut -c1-16)
images=(plain512 plain4096 bigcluster mounted512 mounted4096 fragmented hiding512)
up_to_date() {
  [ -f "$out/STAMP" ] && [ "$(cat "$out/STAMP")" = "$stamp" ] && [ ! -f "$out/SKIPPED" ] || return 1
  local name
  for name in "${images[@]}"; do [ -f "$out/$name.img" ] && [ -f "$out/$name.oracle" ] || return 1; done
}
if up_to_date; then
  echo "NTFS images are up to date in $out"; exit 0
fi
rm -f "$out"/*.img "$out"/*.oracle "$out"/*.facts "$out/SKIPPED" "$out/STAMP"
for tool in mkntfs ntfscp ntfsinfo ntfsls; do
  command -v "$tool" >/dev/null || { echo "make_images.sh: $tool is missing (package ntfs-3g)" >&2; exit 1; }
done

work=$(mktemp -d)
mnt=$work/mnt
mkdir -p "$mnt"
cleanup() {
  mountpoint -q "$mnt" 2>/dev/null && { fusermount -u "$mnt" 2>/dev/null || umount "$mnt" 2>/dev/null || true; }
  rm -rf "$work"
}
trap cleanup EXIT
export LC_ALL=C.UTF-8

# Stream contents. The antivirus test string is unmasked here from the same
# masked bytes the C++ tests use, so no file holds it in the clear.
printf 'A clean text, nothing to find here.\n' >"$work/clean"
python3 - "$here/../support/test_content.h" "$work/testfile" <<'PY'
import re, sys
source = open(sys.argv[1], encoding="utf-8").read()
block = re.search(r"kMasked\[\]\s*=\s*\{(.*?)\};", source, re.S).group(1)
key = int(re.search(r"\^\s*(0x[0-9A-Fa-f]+)", source).group(1), 16)
data = bytes(int(v, 16) ^ key for v in re.findall(r"0x[0-9A-Fa-f]+", block))
assert len(data) == 68
open(sys.argv[2], "wb").write(data)
PY
printf 'short stream\n' >"$work/short"
: >"$work/empty"
head -c 20000 /dev/zero | tr '\0' 'n' >"$work/nonresident"
head -c 3000 /dev/zero | tr '\0' 'm' >"$work/main"

new_image() {  # path size [mkntfs options...]
  local path=$1 size=$2; shift 2
  rm -f "$path"; truncate -s "$size" "$path"
  mkntfs -F -f -Q -q -T "$@" "$path" 2>/dev/null
}

# ntfsinfo of the system records, of every record the root reaches and of the
# records named in the facts file.
record_oracle() {  # image
  local img=$1 records
  records=$( { seq 0 26; ntfsls -R -a -s -i "$img" 2>/dev/null | awk '$1 ~ /^[0-9]+$/ {print $1}';
               [ -f "${img%.img}.facts" ] && awk '{print $2}' "${img%.img}.facts"; } | sort -n -u)
  for n in $records; do
    echo "### record $n"
    ntfsinfo -v -i "$n" "$img" 2>&1 || true
  done >"${img%.img}.oracle"
}

# Files and streams written without a mount (ntfscp only).
fill_plain() {  # image
  local img=$1
  ntfscp "$img" "$work/main" /plain.txt
  ntfscp "$img" "$work/short" /clean.txt
  ntfscp -N clean "$img" "$work/clean" /clean.txt
  ntfscp "$img" "$work/short" /testfile.txt
  ntfscp -N test "$img" "$work/testfile" /testfile.txt
  ntfscp "$img" "$work/main" /big.bin
  ntfscp -N nonresident "$img" "$work/nonresident" /big.bin
  ntfscp "$img" "$work/short" /empty.txt
  ntfscp -N empty "$img" "$work/empty" /empty.txt
  ntfscp "$img" "$work/short" "/Привет.txt"
  ntfscp -N "поток" "$img" "$work/short" "/Привет.txt"
  ntfscp "$img" "$work/short" "/漢字.txt"
  ntfscp -N "流" "$img" "$work/short" "/漢字.txt"
  ntfscp "$img" "$work/short" "/emoji😀.txt"
  ntfscp -N "😀" "$img" "$work/short" "/emoji😀.txt"
  local name
  for name in "trailing." "trailing " "nul" "com1.txt"; do
    ntfscp "$img" "$work/short" "/$name"
    ntfscp -N s "$img" "$work/short" "/$name"
  done
  # Enough streams that the file needs an attribute list and extension records.
  ntfscp "$img" "$work/short" /many.txt
  local i
  for i in $(seq 1 120); do
    printf 'value %d\n' "$i" >"$work/v"
    ntfscp -N "stream_number_$i" "$img" "$work/v" /many.txt
  done
  ntfscp -i -N rootstream "$img" "$work/clean" 5
  # Streams of a metadata file in $Extend's tree, which are no entries.
  ntfscp -N '$J' "$img" "$work/short" '/$Extend/$UsnJrnl'
  ntfscp -N '$Max' "$img" "$work/short" '/$Extend/$UsnJrnl'
  ntfsls -i "$img" | awk '$2 == "plain.txt" {print "no-streams " $1}' >"${img%.img}.facts"
}

build_plain() {  # name size [mkntfs options...]
  local name=$1 size=$2; shift 2
  new_image "$out/$name.img" "$size" "$@"
  fill_plain "$out/$name.img"
  record_oracle "$out/$name.img"
}

build_plain plain512 8M -s 512
build_plain plain4096 16M -s 4096
# 128 KiB clusters: sectors per cluster is stored as 2^n (0xF8 = 256 sectors).
new_image "$out/bigcluster.img" 512M -s 512 -c 131072
ntfscp "$out/bigcluster.img" "$work/short" /file.txt
ntfscp -N one "$out/bigcluster.img" "$work/clean" /file.txt
ntfscp -N two "$out/bigcluster.img" "$work/nonresident" /file.txt
ntfscp "$out/bigcluster.img" "$work/main" /plain.txt
ntfsls -i "$out/bigcluster.img" | awk '$2 == "plain.txt" {print "no-streams " $1}' >"$out/bigcluster.facts"
record_oracle "$out/bigcluster.img"

can_mount() {
  [ "$(id -u)" = 0 ] && [ -c /dev/fuse ] && command -v ntfs-3g >/dev/null || return 1
  new_image "$work/probe.img" 4M
  ntfs-3g "$work/probe.img" "$mnt" 2>/dev/null || return 1
  fusermount -u "$mnt" 2>/dev/null || umount "$mnt"
}

mount_image() { ntfs-3g -o streams_interface=windows,compression "$1" "$mnt"; }
unmount_image() { fusermount -u "$mnt" 2>/dev/null || umount "$mnt"; }
inode_of() { stat -c %i "$mnt/$1"; }

# Folders, folder streams, hard links, a freed record, DOS names, sparse and
# compressed streams.
build_mounted() {  # name sector-size
  local name=$1 sector=$2 img=$out/$1.img facts=$out/$1.facts
  new_image "$img" 16M -s "$sector"
  mount_image "$img"
  : >"$facts"
  (
    cd "$mnt"
    cat "$work/clean" >./:rootstream
    mkdir -p dir/sub/deeper other "Папка" plainfolder
    cat "$work/short" >dir:folderstream
    cat "$work/short" >dir/f.txt
    cat "$work/clean" >dir/f.txt:alpha
    cat "$work/testfile" >dir/f.txt:beta
    ln dir/f.txt dir/link.txt
    ln dir/f.txt other/link2.txt
    cat "$work/short" >dir/sub/deeper/deep.txt
    cat "$work/nonresident" >dir/sub/deeper/deep.txt:deep
    cat "$work/short" >"Папка/文件.txt"
    cat "$work/short" >"Папка/文件.txt:ストリーム"
    cat "$work/short" >"Папка:папка"
    cat "$work/short" >LongFileName.txt
    cat "$work/short" >LongFileName.txt:s
    python3 -c "import os; os.setxattr('LongFileName.txt', 'system.ntfs_dos_name', b'LONGFI~1.TXT')"
    cat "$work/short" >plainfolder/nothing.txt
    cat "$work/short" >sparse.bin
    dd if="$work/short" of="sparse.bin:holes" bs=1 seek=1048576 status=none
    # A folder marked compressed: what is written into it is compressed.
    mkdir packed
    python3 -c "import os, struct; a = struct.unpack('>I', os.getxattr('packed', 'system.ntfs_attrib_be'))[0]; os.setxattr('packed', 'system.ntfs_attrib_be', struct.pack('>I', a | 0x800))"
    head -c 30000 /dev/zero | tr '\0' p >packed/p.txt
    head -c 30000 /dev/zero | tr '\0' q >packed/p.txt:squeezed
    cat "$work/short" >emptystream.txt
    : >emptystream.txt:empty
    # Names that need more room than one record: the names move to extension records.
    mkdir links
    cat "$work/short" >links/target.txt
    cat "$work/clean" >links/target.txt:linked
    for i in $(seq 1 40); do ln links/target.txt "links/a_rather_long_hard_link_name_number_$i.txt"; done
    # A file that had a stream, then deleted: its record stays behind, not in use.
    cat "$work/short" >gone.txt
    cat "$work/testfile" >gone.txt:gs
    echo "deleted $(stat -c %i gone.txt)" >>"$facts"
    rm gone.txt
    echo "no-streams $(stat -c %i plainfolder/nothing.txt)" >>"$facts"
    echo "no-streams $(stat -c %i plainfolder)" >>"$facts"
  )
  unmount_image
  record_oracle "$img"
}

# A volume so fragmented that $MFT's own $DATA needs an attribute list in
# record 0 (its runs continue in an extension record) and a stream's runs are
# spread over two records. Free space is first cut into 1 KiB holes (files of
# 1 KiB, every other one deleted) for the stream; then the rest of the fill
# goes, and new records beyond those freed make $MFT grow into the holes left.
build_fragmented() {
  local img=$out/fragmented.img facts=$out/fragmented.facts
  new_image "$img" 12M -s 512 -c 512
  mount_image "$img"
  python3 - "$mnt" "$work/clean" <<'PY'
import os, sys
root, clean = sys.argv[1], open(sys.argv[2], "rb").read()
def make(path, data):
    try:
        with open(path, "wb") as f:
            f.write(data)
        return True
    except OSError:
        return False
os.mkdir(f"{root}/fill")
n = 0
# Zeros, so that the image keeps no blocks of them once the fill is gone.
while make(f"{root}/fill/{n}", bytes(1024)):
    n += 1
for i in range(0, n, 2):
    os.remove(f"{root}/fill/{i}")
assert make(f"{root}/split.txt", b"short stream\n")
assert make(f"{root}/split.txt:split", bytes(800000))
for i in range(1, n, 2):
    os.remove(f"{root}/fill/{i}")
os.rmdir(f"{root}/fill")
os.mkdir(f"{root}/grow")
k = 0
while k < 40000 and make(f"{root}/grow/{k}", b"g"):
    k += 1
for i in range(k - 3):
    os.remove(f"{root}/grow/{i}")
# The last records of $MFT are mapped only by the runs in the extension record.
assert make(f"{root}/grow/{k - 1}:late", clean)
PY
  : >"$facts"
  unmount_image
  record_oracle "$img"
}

# What a folder walk must get right: a folder with a blank in its name and a
# tree of streams (folder stream, hard link, empty and non-resident streams),
# and names Win32 path parsing alters, each beside a decoy without the
# trailing character: folders and files ending in a dot or a blank, stream
# names ending in a dot or a blank or naming a device, files and folders
# named like devices. The real objects hold the antivirus test string, the
# decoys a clean text.
build_hiding() {
  local img=$out/hiding512.img
  new_image "$img" 16M -s 512
  mount_image "$img"
  : >"$out/hiding512.facts"
  (
    cd "$mnt"
    cat "$work/clean" >./:rootstream
    mkdir -p "some folder/sub" "dots." dots "blank " blank con
    cat "$work/testfile" >"some folder:fs"
    cat "$work/short" >"some folder/a.txt"
    cat "$work/clean" >"some folder/a.txt:alpha"
    cat "$work/testfile" >"some folder/a.txt:beta"
    ln "some folder/a.txt" "some folder/link.txt"
    cat "$work/short" >"some folder/empty.txt"
    : >"some folder/empty.txt:empty"
    cat "$work/short" >"some folder/sub/deep.txt"
    cat "$work/nonresident" >"some folder/sub/deep.txt:deep"
    cat "$work/short" >"some folder/sub/plain.txt"
    local folder
    for folder in "dots." "blank "; do
      cat "$work/short" >"$folder/inner.txt"
      cat "$work/testfile" >"$folder/inner.txt:s"
      cat "$work/short" >"${folder%?}/decoy.txt"
      cat "$work/clean" >"${folder%?}/decoy.txt:s"
    done
    cat "$work/short" >f.txt
    cat "$work/clean" >f.txt:s
    cat "$work/testfile" >f.txt:s.
    cat "$work/testfile" >"f.txt:s "
    cat "$work/testfile" >f.txt:nul
    cat "$work/testfile" >f.txt:com1
    local name
    for name in "trailing." "trailing " nul com1 com1.txt aux.txt lpt1; do
      cat "$work/short" >"$name"
      cat "$work/testfile" >"$name:s"
    done
    cat "$work/short" >trailing
    cat "$work/clean" >trailing:s
    cat "$work/testfile" >con:cs
    cat "$work/short" >con/x.txt
    cat "$work/testfile" >con/x.txt:s
  )
  unmount_image
  record_oracle "$img"
}

if can_mount; then
  build_mounted mounted512 512
  build_mounted mounted4096 4096
  build_fragmented
  build_hiding
else
  for name in mounted512 mounted4096 fragmented hiding512; do
    echo "$name: needs root and a FUSE mount (/dev/fuse), not available here" >>"$out/SKIPPED"
  done
  echo "make_images.sh: no FUSE mount here; the images that need one are SKIPPED" >&2
fi

# Give zero-filled blocks back, so the images stay small on disk.
for img in "$out"/*.img; do fallocate -d "$img" 2>/dev/null || true; done
echo "$stamp" >"$out/STAMP"
echo "NTFS images built in $out"
