#!/usr/bin/env python3
"""The named streams a folder walk of an NTFS volume must report, by ntfs-3g's account:
    expected_streams.py ORACLE MOUNT TEST_CONTENT_H > expected.tsv
For every file and folder the volume's read-only FUSE mount (MOUNT) lists, the
root included: its record number (ntfs-3g hands it out as the inode number),
the named $DATA streams ntfsinfo shows for that record (ORACLE, written by
tests/ntfs/make_images.sh) in ntfsinfo's order, and what the stream's content,
read through the mount, holds: "detected" (the antivirus test string, unmasked
from TEST_CONTENT_H as the C++ tests do), "empty" or "clean".
One line per stream, UTF-8: path below the root (backslashes), TAB, stream
name, TAB, outcome. Metadata files (records below 16 but the root) are left
out; the mount does not list them."""
import os
import re
import sys


def antivirus_test_string(header):
    source = open(header, encoding="utf-8").read()
    block = re.search(r"kMasked\[\]\s*=\s*\{(.*?)\};", source, re.S).group(1)
    key = int(re.search(r"\^\s*(0x[0-9A-Fa-f]+)", source).group(1), 16)
    data = bytes(int(v, 16) ^ key for v in re.findall(r"0x[0-9A-Fa-f]+", block))
    assert len(data) == 68
    return data


def named_streams(oracle):
    """record number -> named $DATA stream names, each once, in ntfsinfo's order."""
    streams = {}
    record = None
    in_data = False
    for line in open(oracle, encoding="utf-8", errors="surrogateescape"):
        line = line.rstrip("\n")
        heading = re.match(r"### record (\d+)$", line)
        if heading:
            record = int(heading.group(1))
            streams.setdefault(record, [])
            continue
        if line.startswith("Dumping attribute "):
            in_data = line.startswith("Dumping attribute $DATA ")
            continue
        name = re.match(r"\s*Attribute name:\s*'(.*)'$", line)
        if in_data and name and record is not None and name.group(1) not in streams[record]:
            streams[record].append(name.group(1))
    return streams


def outcome(path, test_string):
    with open(path, "rb") as stream:
        content = stream.read()
    if not content:
        return "empty"
    return "detected" if test_string in content else "clean"


def main():
    oracle, mount, header = sys.argv[1:4]
    test_string = antivirus_test_string(header)
    streams = named_streams(oracle)
    lines = []

    def visit(relative, path):
        record = os.lstat(path).st_ino
        if record >= 16 or record == 5:
            for name in streams.get(record, []):
                # The root's streams are "MOUNT/:name", everyone else's "path:name".
                stream = os.path.join(path, ":" + name) if relative == "" else path + ":" + name
                lines.append(f"{relative}\t{name}\t{outcome(stream, test_string)}")

    visit("", mount)
    for folder, subfolders, files in os.walk(mount):
        below = os.path.relpath(folder, mount)
        below = "" if below == "." else below.replace("/", "\\") + "\\"
        for name in sorted(subfolders) + sorted(files):
            visit(below + name, os.path.join(folder, name))
    sys.stdout.buffer.write(("\n".join(lines) + "\n").encode("utf-8", "surrogateescape"))


if __name__ == "__main__":
    main()
