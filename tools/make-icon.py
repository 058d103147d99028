#!/usr/bin/env python3
"""Writes resources/installer.ico: icon 102 of the installer.

One 32 by 32 image in the 16 standard Windows colours, fully opaque (the AND
mask is all zeros). The picture: a calendar page with a red binding and rings,
a week grid, and one day marked in yellow with a volunteer standing in it; a
rota is what the product keeps. Run it again after changing ART; the output is
byte-for-byte deterministic.
"""
import struct
import sys
from pathlib import Path

# The standard 16-colour palette, in its usual order (R, G, B).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
# One character per pixel, top row first.
KEY = {"k": 0, "m": 1, "g": 2, "n": 4, "t": 6, "s": 7, "d": 8, "r": 9,
       "y": 11, "b": 12, "w": 15}
ART = """\
tttttttttttttttttttttttttttttttt
tttttttttttttttttttttttttttttttt
tttttssttttttttttttttttssttttttt
ttttsddsttttttttttttttsddstttttt
tkkksddskkkkkkkkkkkkkksddskkkktt
tkrrsddsrrrrrrrrrrrrrrsddsrrrkdt
tkrrrssrrrrrrrrrrrrrrrrssrrrrkdt
tkrrrrrrrrrrrrrrrrrrrrrrrrrrrkdt
tkmmmmmmmmmmmmmmmmmmmmmmmmmmmkdt
tkwwwwwwswwwwwwswwwwwwswwwwwwkdt
tkwwwwwwswwwwwwswwwwwwswwwwwwkdt
tkwwwwwwswwwwwwswwwwwwswwwwwwkdt
tkwwwwwwswwwwwwswwwwwwswwwwwwkdt
tkwwwwwwswwwwwwswwwwwwswwwwwwkdt
tksssssssssssssssssssssssssssKdt
tkwwwwwwsyyyyyyyyyyyyyswwwwwwkdt
tkwwwwwwsyyykkyyyyyyyyswwwwwwkdt
tkwwwwwwsyykkkkyyyyyyyswwwwwwkdt
tkwwwwwwsyyykkyyyyyyyyswwwwwwkdt
tkwwwwwwsykbbbbkyyyyyyswwwwwwkdt
tkwwwwwwsykbbbbkyyyyyyswwwwwwkdt
tksssssssykbbbbkyyyyyysssssssKdt
tkwwwwwwsyynbbnyyyyyyyswwwwwwkdt
tkwwwwwwsyynyynyyyyyyyswwwwwwkdt
tkwwwwwwsyynyynyyyyyyyswwwwwwkdt
tkwwwwwwsyykyykyyyyyyyswwwwwwkdt
tkwwwwwwsyyyyyyyyyyyyyswwwwwwkdt
tkwwwwwwswwwwwwswwwwwwswwwwwwkdt
tkkkkkkkkkkkkkkkkkkkkkkkkkkkkkdt
ttdddddddddddddddddddddddddddddt
tttttttttttttttttttttttttttttttt
tttttttttttttttttttttttttttttttt
"""


def build_icon():
    rows = ART.splitlines()
    assert len(rows) == 32 and all(len(r) == 32 for r in rows), "ART must be 32 by 32"
    pixels = [[KEY[c.lower()] for c in row] for row in rows]

    # XOR image: 4 bits a pixel, rows bottom-up, each row 16 bytes (already a multiple of 4).
    xor = bytearray()
    for row in reversed(pixels):
        for i in range(0, 32, 2):
            xor.append((row[i] << 4) | row[i + 1])
    # AND mask: 1 bit a pixel, rows padded to 4 bytes; all zero = fully opaque.
    and_mask = bytes(4 * 32)

    header = struct.pack("<IiiHHIIiiII", 40, 32, 64, 1, 4, 0, len(xor) + len(and_mask), 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    image = header + palette + bytes(xor) + and_mask

    icon_dir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", 32, 32, 16, 0, 1, 4, len(image), 6 + 16)
    return icon_dir + entry + image


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "resources" / "installer.ico"
    out.write_bytes(build_icon())
    print(f"wrote {out} ({out.stat().st_size} bytes)")


if __name__ == "__main__":
    main()
