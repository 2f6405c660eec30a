#!/usr/bin/env python3
"""Copies a module file with another file version in its version resource (the fixed part the
installer compares): set-version.py IN OUT MAJOR.MINOR.PATCH.BUILD"""
import struct
import sys

source, target, version = sys.argv[1:4]
parts = [int(p) for p in version.split(".")]
data = bytearray(open(source, "rb").read())
# VS_FIXEDFILEINFO: signature, struct version, file version MS, file version LS.
at = data.find(struct.pack("<I", 0xFEEF04BD))
if at < 0 or data.find(struct.pack("<I", 0xFEEF04BD), at + 4) >= 0:
    sys.exit(f"{source}: not exactly one fixed version record")
struct.pack_into("<II", data, at + 8, parts[0] << 16 | parts[1], parts[2] << 16 | parts[3])
open(target, "wb").write(data)
