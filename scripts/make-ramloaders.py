#!/usr/bin/env python3
"""Writes the placeholder RAM loader images res/ramloader_serial.bin and
res/ramloader_usb.bin.

The real RAM loaders are firmware for the phone's processor and are not part of
this project. The placeholders have the real images' sizes, so every transfer
is exercised with the right chunk counts; an operator puts the real image of the
same name into the home folder to replace the embedded one. The content is a
readable tag followed by a deterministic byte pattern, so the simulated phone
and the tests can tell that the whole image arrived unchanged.
"""
import pathlib
import struct

IMAGES = {
    "ramloader_serial.bin": 12904,
    "ramloader_usb.bin": 19360,
}


def make(name: str, size: int) -> bytes:
    tag = f"VELMORA PLACEHOLDER RAM LOADER {name} {size}\0".encode()
    data = bytearray(tag)
    state = size ^ 0x5A5A1234
    while len(data) < size:
        # xorshift32: any fixed sequence will do, it only has to be reproducible
        state ^= (state << 13) & 0xFFFFFFFF
        state ^= state >> 17
        state ^= (state << 5) & 0xFFFFFFFF
        data += struct.pack("<I", state)
    return bytes(data[:size])


def main() -> None:
    res = pathlib.Path(__file__).resolve().parent.parent / "res"
    for name, size in IMAGES.items():
        assert size % 4 == 0, "the loaders are sent as whole 32-bit words"
        (res / name).write_bytes(make(name, size))
        print(f"{res / name}: {size} bytes")


if __name__ == "__main__":
    main()
