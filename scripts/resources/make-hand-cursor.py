#!/usr/bin/env python3
"""Writes the module's pointing-hand cursor (src/resources/hand.cur): 32 x 32, two colours
(black outline, white inside, the rest transparent), hot spot at the finger tip (5, 0).
Usage: make-hand-cursor.py OUTPUT.cur"""
import struct
import sys

# '#' outline, '.' transparent; the inside is found by filling from the outside.
SHAPE = """
.....##.........................
....#..#........................
....#..#........................
....#..#........................
....#..#........................
....#..###......................
....#..#..###...................
....#..#..#..##.................
..###..#..#..#.#................
.#..#..........##...............
.#..#...........#...............
..#.............#...............
..#.............#...............
...#............#...............
...#...........#................
....#..........#................
....#.........#.................
.....#........#.................
.....##########.................
"""

rows = [r for r in SHAPE.strip().split("\n")]
rows += ["." * 32] * (32 - len(rows))
assert len(rows) == 32 and all(len(r) == 32 for r in rows)
assert rows[0][5] == "#", "the hot spot must lie on the finger tip"

# Transparent = reachable from the border without crossing the outline.
outside = set()
stack = [(x, y) for x in range(32) for y in (0, 31)] + [(x, y) for y in range(32) for x in (0, 31)]
while stack:
    x, y = stack.pop()
    if not (0 <= x < 32 and 0 <= y < 32) or (x, y) in outside or rows[y][x] == "#":
        continue
    outside.add((x, y))
    stack += [(x + 1, y), (x - 1, y), (x, y + 1), (x, y - 1)]


def mask(bit):
    data = b""
    for y in reversed(range(32)):  # bottom-up
        value = 0
        for x in range(32):
            if bit(x, y):
                value |= 1 << (31 - x)
        data += struct.pack(">I", value)
    return data


# AND 1 + XOR 0: transparent; AND 0 + XOR 0: black; AND 0 + XOR 1: white.
xor = mask(lambda x, y: rows[y][x] != "#" and (x, y) not in outside)
and_ = mask(lambda x, y: (x, y) in outside)
header = struct.pack("<IiiHHIIiiII", 40, 32, 64, 1, 1, 0, len(xor) + len(and_), 0, 0, 2, 2)
palette = struct.pack("<II", 0x00000000, 0x00FFFFFF)
image = header + palette + xor + and_
directory = struct.pack("<HHH", 0, 2, 1) + struct.pack("<BBBBHHII", 32, 32, 2, 0, 5, 0, len(image), 22)
with open(sys.argv[1], "wb") as f:
    f.write(directory + image)
