#!/usr/bin/env python3
"""Steps of tools/package-msi.sh that wixl cannot do itself.

  msi_build_steps.py codes <upgrade code> <version> <input file>...
      Prints the product code and the package code, one a line. The product
      code depends on the upgrade code and the version only: every version is
      a new product (a major upgrade replaces the older one) and a rebuild of
      one version keeps its code. The package code depends on everything that
      goes into the package (the given input files, the version), so a package
      with other content never shares it and the same inputs give the same one.

  msi_build_steps.py file-version <binary>
      Prints the file version of a PE file's VERSIONINFO ("1.0.0.0"), or
      nothing when it has none. wixl leaves the File table's Version column
      empty, and Windows Installer treats a file without a version there as a
      data file when it decides whether to replace it.

  msi_build_steps.py summary <package.msi> <package code> <unix time>
      Sets the package code (the summary information's revision number) and
      its creation and last-saved times, in place: wixl writes a random code
      and the current time.
"""
import hashlib
import struct
import sys
import uuid

import olefile

SUMMARY_STREAM = "\x05SummaryInformation"
PID_REVNUMBER = 9
PID_CREATE_DTM = 12
PID_LASTSAVE_DTM = 13
VT_LPSTR = 0x1E
VT_FILETIME = 0x40
FILETIME_UNIX_OFFSET_SECONDS = 11644473600
VS_FIXEDFILEINFO_SIGNATURE = struct.pack("<I", 0xFEEF04BD)


def guid_text(value):
    return "{" + str(value).upper() + "}"


def codes(upgrade_code, version, inputs):
    namespace = uuid.UUID(upgrade_code.strip("{}"))
    content = hashlib.sha256(version.encode())
    for path in inputs:
        with open(path, "rb") as source:
            content.update(hashlib.sha256(source.read()).digest())
    print(guid_text(uuid.uuid5(namespace, "ProductCode " + version)))
    print(guid_text(uuid.uuid5(namespace, "PackageCode " + content.hexdigest())))


def file_version(path):
    with open(path, "rb") as binary:
        data = binary.read()
    offset = data.find(VS_FIXEDFILEINFO_SIGNATURE)
    if offset < 0:
        return
    # dwSignature, dwStrucVersion, dwFileVersionMS, dwFileVersionLS, ...
    file_version_ms, file_version_ls = struct.unpack_from("<2I", data, offset + 8)
    print(f"{file_version_ms >> 16}.{file_version_ms & 0xFFFF}."
          f"{file_version_ls >> 16}.{file_version_ls & 0xFFFF}")


def summary(package, package_code, unix_time):
    filetime = (unix_time + FILETIME_UNIX_OFFSET_SECONDS) * 10_000_000
    code = package_code.encode("ascii")
    with olefile.OleFileIO(package, write_mode=True) as storage:
        stream = bytearray(storage.openstream(SUMMARY_STREAM).read())
        # Property set stream: a 28-byte header, then (format id, offset) per
        # section; the summary information has one section, whose property
        # offsets count from the section's start. Values keep their sizes, so
        # the stream is rewritten in place.
        section = struct.unpack_from("<I", stream, 28 + 16)[0]
        property_count = struct.unpack_from("<I", stream, section + 4)[0]
        replaced = set()
        for index in range(property_count):
            property_id, offset = struct.unpack_from("<2I", stream, section + 8 + 8 * index)
            value = section + offset
            value_type = struct.unpack_from("<I", stream, value)[0] & 0xFFFF
            if property_id in (PID_CREATE_DTM, PID_LASTSAVE_DTM) and value_type == VT_FILETIME:
                struct.pack_into("<Q", stream, value + 4, filetime)
            elif property_id == PID_REVNUMBER and value_type == VT_LPSTR:
                # A counted string with its terminating NUL: "{GUID}" + NUL.
                if struct.unpack_from("<I", stream, value + 4)[0] != len(code) + 1:
                    raise SystemExit(f"{package}: revision number of another length")
                stream[value + 8:value + 8 + len(code)] = code
            else:
                continue
            replaced.add(property_id)
        if replaced != {PID_REVNUMBER, PID_CREATE_DTM, PID_LASTSAVE_DTM}:
            raise SystemExit(f"{package}: summary properties found: {sorted(replaced)}")
        storage.write_stream(SUMMARY_STREAM, bytes(stream))


def main(arguments):
    if len(arguments) >= 4 and arguments[0] == "codes":
        codes(arguments[1], arguments[2], arguments[3:])
    elif len(arguments) == 2 and arguments[0] == "file-version":
        file_version(arguments[1])
    elif len(arguments) == 4 and arguments[0] == "summary":
        summary(arguments[1], arguments[2], int(arguments[3]))
    else:
        raise SystemExit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
