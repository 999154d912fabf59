#!/usr/bin/env python3
"""Makes the sample firmware: two partition tables, their boot images and partition images.

    python3 examples/make-sample.py OUTDIR

The output is the same on every run. It is laid out for chips with 128 KiB blocks of
2048-byte pages with 64 spare bytes (catalogue entries EC,A1 and friends), and every
offset and size is a whole number of blocks of any catalogue chip:

    block 0                       boot image (written last by an upgrade)
    0x020000 - 0x11FFFF  code     640 KiB, protected (SHA-1 digest), load/exec/header
    0x120000 - 0x19FFFF  lang     192 KiB, content file in a subfolder (images\\lang.bin)
    0x1A0000 - 0x29FFFF  yaffs    3 blocks of pages with their spare bytes (name >= 'q')

sample.ptt uses the classic boot image (version byte 2), sample-v3.ptt the version 3 one.
The areas of the boot image that an upgrade overwrites are left 0xFF.
"""
import hashlib
import os
import struct
import sys

BLOCK = 0x20000
PAGE = 2048
SPARE = 64
BOOT_SIZE = 0x4000
MARKER = 0x01234567


def stream(seed, length):
    """Deterministic bytes: SHA-256 in counter mode."""
    out = bytearray()
    counter = 0
    while len(out) < length:
        out += hashlib.sha256(f"{seed}:{counter}".encode()).digest()
        counter += 1
    return bytes(out[:length])


def boot_image(version):
    image = bytearray(stream(f"boot-v{version}", BOOT_SIZE))
    struct.pack_into("<I", image, 0x20, MARKER)
    image[0xFE] = version
    # Areas the upgrade fills with its tables (and the version 3 counter page).
    if version == 3:
        free = [(0x204, 0x2C0), (0x300, 0x600), (0x3800, 0x4000)]
    else:
        free = [(0x400, 0x1000)]
    for start, end in free:
        image[start:end] = b"\xff" * (end - start)
    return bytes(image)


def spare_image(blocks):
    """Pages of 2048 data bytes, each followed by its 64 spare bytes. Spare byte 0
    (the bad-block mark) stays 0xFF; bytes 2 to 5 carry the page's sequence number."""
    out = bytearray()
    pages = blocks * (BLOCK // PAGE)
    for page in range(pages):
        out += stream(f"yaffs:{page}", PAGE)
        spare = bytearray(b"\xff" * SPARE)
        struct.pack_into("<I", spare, 2, page)
        out += spare
    return bytes(out)


PARTITIONS = [
    # name, id, path, offset, size, content, extra keys
    ("code", 0x01, "code.bin", 0x020000, 0x100000, lambda: stream("code", 0xA0000),
     ["partition_protected=1", "partition_shadow=1", "partition_shadow_address=0x80000000",
      "partition_exec_address=0x80000000", "partition_load=1", "partition_exec=1",
      "partition_header=1"]),
    ("lang", 0x02, "images\\lang.bin", 0x120000, 0x080000, lambda: stream("lang", 0x30000),
     ["partition_protected=0"]),
    ("yaffs", 0x03, "yaffs.bin", 0x1A0000, 0x100000, lambda: spare_image(3),
     ["partition_protected=0"]),
]


def table_text(boot_name):
    lines = [
        "; Sample partition table: boot image and three partitions (see make-sample.py).",
        "[partition_table_config_start]",
        f"number_of_partition={len(PARTITIONS)}",
        f"BootNand={boot_name}",
    ]
    for k, (name, pid, path, offset, size, _, extra) in enumerate(PARTITIONS, start=1):
        lines += [
            "",
            f"[partition#{k:02d}]",
            f"partition_id=0x{pid:02X}",
            f"partition_name={name}",
            f"partition_path={path}",
            f"partition_size=0x{size:08X}",
            f"partition_offset=0x{offset:08X}",
        ] + extra
    return "\n".join(lines) + "\n"


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    mode = "w" if isinstance(data, str) else "wb"
    with open(path, mode, **({"newline": "\n"} if mode == "w" else {})) as f:
        f.write(data)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    write(os.path.join(out, "boot_nand.bin"), boot_image(2))
    write(os.path.join(out, "boot_nand_v3.bin"), boot_image(3))
    for name, _, path, _, size, content, _ in PARTITIONS:
        data = content()
        assert len(data) <= size, name
        write(os.path.join(out, *path.split("\\")), data)
    write(os.path.join(out, "sample.ptt"), table_text("boot_nand.bin"))
    write(os.path.join(out, "sample-v3.ptt"), table_text("boot_nand_v3.bin"))


if __name__ == "__main__":
    main()
