#!/usr/bin/env python3
"""Writes the SMBIOS tables of the fixture machines
(sys/firmware/dmi/tables/DMI): a BIOS structure, memory devices (type 17,
SMBIOS 3.2 layout, 0x28 bytes) and the end-of-table structure.

    tests/host/tools/make-smbios.py tests/host/fixtures
"""
import struct
import sys
from pathlib import Path


def structure(kind, handle, body, strings):
    formatted = struct.pack("<BBH", kind, 4 + len(body), handle) + body
    text = b"".join(s.encode() + b"\0" for s in strings) or b"\0"
    return formatted + text + b"\0"


def memory_device(handle, size_mb, kind, speed, configured, maker, serial, part):
    # Sizes of 32 GB and more go into the extended size field.
    size = 0x7FFF if size_mb >= 0x7FFF else size_mb
    body = struct.pack("<HHHHHBBBBBHHBBBBBIHHHH",
                       0x1000, 0xFFFE, 64, 64, size, 0x0D, 0, 1, 2, kind, 0x0080, speed,
                       1, 2, 0, 3, 0, size_mb if size == 0x7FFF else 0, configured, 1200, 1200, 1200)
    assert len(body) == 0x28 - 4
    return structure(17, handle, body, [maker, serial, part])


def table(devices):
    out = structure(0, 0, struct.pack("<BBHBB", 1, 2, 0xE800, 3, 0xFF) + bytes(8), ["Vendor", "1.0", "01/01/2020"])
    for i, d in enumerate(devices):
        out += memory_device(0x1100 + i, *d)
    # An empty slot: size 0, left out by the reader.
    out += memory_device(0x1100 + len(devices), 0, 0x02, 0, 0, "", "", "")
    return out + structure(127, 0xFFFF, b"", [])


MACHINES = {
    "laptop": [(8192, 0x1A, 2667, 2400, "Samsung", "12345678", "M471A1K43DB1-CTD  "),
               (8192, 0x1A, 2667, 2400, "Micron", "87654321", "8ATF1G64HZ-2G6E1")],
    "embedded": [(4096, 0x18, 1333, 1333, "Kingston", "0A1B2C3D", "KVR13LS9S8/4")],
}

if __name__ == "__main__":
    root = Path(sys.argv[1])
    for machine, devices in MACHINES.items():
        path = root / machine / "sys/firmware/dmi/tables/DMI"
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(table(devices))
