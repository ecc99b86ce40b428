#!/usr/bin/env python3
"""Checks the VERSIONINFO of built DLLs and EXEs against the build's version.

check_version_resource.py <version> <binary>...

Every binary must carry one fixed file info block whose file and product
versions are <version>.0, the file type of its kind (VFT_APP 1 for .exe,
VFT_DLL 2 for .dll), and the strings FileVersion, ProductVersion (= <version>)
and OriginalFilename (= the binary's own file name).
"""
import os
import struct
import sys


def utf16(text):
    return text.encode("utf-16-le")


def string_value(data, key):
    """The value of a StringFileInfo entry: the UTF-16 text after the key."""
    start = data.find(utf16(key) + b"\0\0")
    if start < 0:
        return None
    position = start + len(utf16(key)) + 2
    while position + 1 < len(data) and data[position:position + 2] == b"\0\0":
        position += 2
    end = position
    while end + 1 < len(data) and data[end:end + 2] != b"\0\0":
        end += 2
    return data[position:end].decode("utf-16-le")


def check(version, path):
    data = open(path, "rb").read()
    name = os.path.basename(path)
    problems = []
    signature = struct.pack("<I", 0xFEEF04BD)
    if data.count(signature) != 1:
        return [f"{name}: {data.count(signature)} fixed file info blocks"]
    offset = data.find(signature)
    fields = struct.unpack_from("<13I", data, offset)
    parts = [int(p) for p in version.split(".")] + [0]
    expected_ms = (parts[0] << 16) | parts[1]
    expected_ls = (parts[2] << 16) | parts[3]
    if fields[2:6] != (expected_ms, expected_ls, expected_ms, expected_ls):
        problems.append(f"{name}: fixed versions {fields[2:6]}, expected {version}.0")
    expected_type = 1 if name.lower().endswith(".exe") else 2
    if fields[9] != expected_type:
        problems.append(f"{name}: file type {fields[9]}, expected {expected_type}")
    for key, expected in (("FileVersion", version), ("ProductVersion", version),
                          ("OriginalFilename", name)):
        value = string_value(data, key)
        if value != expected:
            problems.append(f"{name}: {key} is {value!r}, expected {expected!r}")
    return problems


def main():
    version, binaries = sys.argv[1], sys.argv[2:]
    problems = [p for path in binaries for p in check(version, path)]
    for problem in problems:
        print(problem)
    if not binaries:
        print("no binaries given")
        return 1
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
