#!/usr/bin/env python3
"""Cuts the seeds of fuzz_mft_reader out of the NTFS test images.

    fuzz/make_mft_seeds.py IMAGES_DIR OUT_DIR

A seed is a sparse volume: extents of (offset: u64, length: u32, bytes), little
endian, one after the other; the fuzz target reads zeros everywhere else. Each
seed holds the boot sector, $MFT's record 0 (with the extension records and
the attribute list its own runs need), the root folder, and a few files with
their folders, extension records and attribute lists, as ntfs-3g wrote them
(but for the antivirus test string, which no seed may hold).
"""
import os
import re
import struct
import sys


def fixed(record):
    usa_offset, usa_count = struct.unpack_from("<HH", record, 4)
    out = bytearray(record)
    for block in range(1, usa_count):
        out[block * 512 - 2:block * 512] = record[usa_offset + 2 * block:usa_offset + 2 * block + 2]
    return bytes(out)


def attributes(record):
    offset = struct.unpack_from("<H", record, 20)[0]
    while offset + 16 <= len(record):
        kind, length = struct.unpack_from("<II", record, offset)
        if kind == 0xFFFFFFFF or length == 0:
            return
        yield kind, record[offset:offset + length]
        offset += length


def name_of(attribute):
    count, offset = attribute[9], struct.unpack_from("<H", attribute, 10)[0]
    return attribute[offset:offset + 2 * count].decode("utf-16-le")


def runs(attribute):
    offset = struct.unpack_from("<H", attribute, 32)[0]
    vcn, lcn = struct.unpack_from("<Q", attribute, 16)[0], 0
    while offset < len(attribute) and attribute[offset]:
        length_bytes, offset_bytes = attribute[offset] & 15, attribute[offset] >> 4
        count = int.from_bytes(attribute[offset + 1:offset + 1 + length_bytes], "little")
        field = attribute[offset + 1 + length_bytes:offset + 1 + length_bytes + offset_bytes]
        if offset_bytes:
            lcn += int.from_bytes(field, "little", signed=True)
            yield vcn, lcn, count
        vcn += count
        offset += 1 + length_bytes + offset_bytes


class Image:
    def __init__(self, path):
        self.file = open(path, "rb")
        boot = self.read(0, 512)
        self.sector = struct.unpack_from("<H", boot, 0x0B)[0]
        per_cluster = boot[0x0D] if boot[0x0D] <= 0x80 else 1 << (256 - boot[0x0D])
        self.cluster = self.sector * per_cluster
        raw = struct.unpack_from("<b", boot, 0x40)[0]
        self.record_length = raw * self.cluster if raw > 0 else 1 << -raw
        mft = struct.unpack_from("<Q", boot, 0x30)[0] * self.cluster
        self.extents = {0: boot, mft: self.read(mft, self.record_length)}
        zero = fixed(self.extents[mft])
        data_pieces = [a for k, a in attributes(zero) if k == 0x80 and a[9] == 0]
        self.map = list(runs(data_pieces[0]))
        for entry in self.list_entries(zero):
            kind, vcn, segment = entry
            if kind == 0x80 and vcn > 0:
                extension = self.record(segment)
                for k, a in attributes(extension):
                    if k == 0x80 and a[9] == 0:
                        self.map += list(runs(a))

    def read(self, offset, length):
        self.file.seek(offset)
        return self.file.read(length)

    def pieces(self, number):
        """(volume offset, length) of the record's bytes; with clusters smaller
        than a record, a record can continue in another run."""
        step = min(self.cluster, self.record_length)
        out = []
        for start in range(number * self.record_length, (number + 1) * self.record_length, step):
            vcn, within = divmod(start, self.cluster)
            for first, lcn, count in self.map:
                if first <= vcn < first + count:
                    out.append(((lcn + vcn - first) * self.cluster + within, step))
                    break
            else:
                raise KeyError(number)
        return out

    def record(self, number):
        raw = b""
        for offset, length in self.pieces(number):
            self.extents[offset] = self.read(offset, length)
            raw += self.extents[offset]
        return fixed(raw)

    def peek(self, number):
        return fixed(b"".join(self.read(o, n) for o, n in self.pieces(number)))

    def list_entries(self, record):
        """(type, lowest VCN, record) of the record's attribute list, whose clusters are kept."""
        for kind, attribute in attributes(record):
            if kind != 0x20:
                continue
            if attribute[8] == 0:
                value_length, value_offset = struct.unpack_from("<IH", attribute, 16)
                data = attribute[value_offset:value_offset + value_length]
            else:
                data = b""
                for _, lcn, count in runs(attribute):
                    clusters = self.read(lcn * self.cluster, count * self.cluster)
                    self.extents[lcn * self.cluster] = clusters
                    data += clusters
                data = data[:struct.unpack_from("<Q", attribute, 48)[0]]
            offset = 0
            while offset + 26 <= len(data):
                kind_, length = struct.unpack_from("<IH", data, offset)
                vcn, segment = struct.unpack_from("<QQ", data, offset + 8)
                yield kind_, vcn, segment & 0xFFFFFFFFFFFF
                offset += length or len(data)

    def take_file(self, number, depth=3):
        record = self.record(number)
        for _, _, segment in self.list_entries(record):
            if segment != number:
                self.record(segment)
        for kind, attribute in attributes(record):
            if kind == 0x30 and depth > 0:
                value_offset = struct.unpack_from("<H", attribute, 20)[0]
                parent = struct.unpack_from("<Q", attribute, value_offset)[0] & 0xFFFFFFFFFFFF
                if parent != number:
                    self.take_file(parent, depth - 1)

    def find(self, wanted_names):
        count = 0
        for number in range(16, 100000):
            try:
                record = self.peek(number)
            except KeyError:
                break
            if record[:4] != b"FILE" or not record[22] & 1:
                continue
            names = {name_of_value(a) for k, a in attributes(record) if k == 0x30}
            streams = {name_of(a) for k, a in attributes(record) if k == 0x80 and a[9]}
            if (names | streams) & wanted_names:
                base = struct.unpack_from("<Q", record, 32)[0] & 0xFFFFFFFFFFFF
                self.take_file(base or number)
                count += 1
        return count

    def seed(self):
        out = b""
        for offset in sorted(self.extents):
            data = self.extents[offset]
            out += struct.pack("<QI", offset, len(data)) + data
        return out


def name_of_value(attribute):
    value_offset = struct.unpack_from("<H", attribute, 20)[0]
    value = attribute[value_offset:]
    return value[66:66 + 2 * value[64]].decode("utf-16-le", "replace")


SEEDS = {
    "plain512-streams": ("plain512", {"clean.txt", "big.bin", "Привет.txt", "emoji😀.txt"}),
    "plain4096-many-streams": ("plain4096", {"many.txt"}),
    "mounted512-many-links": ("mounted512", {"target.txt"}),
    "plain4096-streams": ("plain4096", {"testfile.txt", "empty.txt"}),
    "bigcluster": ("bigcluster", {"file.txt", "plain.txt"}),
    "mounted512-links": ("mounted512", {"f.txt", "deep.txt", "LongFileName.txt"}),
    "plain512-extend": ("plain512", {"$UsnJrnl"}),
    "fragmented-mft": ("fragmented", {"late", "split"}),
}


def antivirus_test_string():
    """The string the images hold in one stream, unmasked as the C++ tests do it."""
    here = os.path.dirname(os.path.abspath(__file__))
    source = open(os.path.join(here, "..", "tests", "support", "test_content.h"), encoding="utf-8").read()
    block = re.search(r"kMasked\[\]\s*=\s*\{(.*?)\};", source, re.S).group(1)
    key = int(re.search(r"\^\s*(0x[0-9A-Fa-f]+)", source).group(1), 16)
    return bytes(int(v, 16) ^ key for v in re.findall(r"0x[0-9A-Fa-f]+", block))


def main():
    images, out = sys.argv[1], sys.argv[2]
    # No file of the repository may hold the antivirus test string: where a
    # record keeps it as a resident stream, the seed holds as many other bytes.
    test_string = antivirus_test_string()
    os.makedirs(out, exist_ok=True)
    for seed, (image, names) in SEEDS.items():
        path = os.path.join(images, image + ".img")
        if not os.path.exists(path):
            print(f"{seed}: no image {path}, left out")
            continue
        volume = Image(path)
        volume.take_file(5, 0)
        found = volume.find(names)
        data = volume.seed().replace(test_string, b"-" * len(test_string))
        assert test_string not in data
        with open(os.path.join(out, seed), "wb") as f:
            f.write(data)
        print(f"{seed}: {found} files, {len(data)} bytes")


if __name__ == "__main__":
    main()
