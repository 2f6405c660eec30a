#!/usr/bin/env python3
"""Checks what Premiere sees of the built module file without loading it: the PE machine, the
single export, the plug-in property list, the version resource, the strings and the imported
DLLs. Usage: inspect_dll.py MODULE.prm {i386|amd64}"""

import re
import struct
import sys
import unittest

MODULE_PATH = None
MACHINE = None
MACHINES = {"i386": 0x014C, "amd64": 0x8664}

# Only DLLs that every Windows installation has; the C++ runtime, libgcc and winpthreads must
# be linked in statically, or the module would not load on a machine without MinGW.
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "gdiplus.dll", "advapi32.dll", "comctl32.dll",
    "comdlg32.dll", "version.dll", "msvcrt.dll", "ucrtbase.dll", "shell32.dll", "ole32.dll",
    "oleaut32.dll", "shlwapi.dll", "winmm.dll",
}
SYSTEM_DLL_PATTERN = re.compile(r"api-ms-win-crt-[a-z0-9-]+\.dll")

RT_STRING = 6
RT_VERSION = 16


def fourcc(code):
    """A four-character code as the host stores it: a little-endian number, first char high."""
    assert len(code) == 4
    return struct.pack("<I", int.from_bytes(code.encode("ascii"), "big"))


def pascal(text, field):
    data = bytes([len(text)]) + text.encode("ascii")
    assert len(data) <= field
    return data.ljust(field, b"\0")


def zero_filled(text, field):
    return text.encode("ascii").ljust(field, b"\0")


def expected_pipl():
    """The property list written out from its definition, independently of the resource script."""
    u16 = lambda v: struct.pack("<H", v)
    u32 = lambda v: struct.pack("<I", v)
    f64 = lambda v: struct.pack("<d", v)
    props = [
        ("kind", fourcc("VFlt")),
        ("name", pascal("Camtag", 12)),
        ("eMNA", pascal("Camtag", 12)),
        ("catg", pascal("Video", 8)),
        ("ePVR", u16(2) + u16(3)),
        ("eSVR", u32(3)),
        ("eVER", u32(0x00300000)),
        ("aFLT", u32(1) + u32(2) + u32(0) + u16(12) + u16(1) + u32(1)
         + zero_filled("Camtag", 32) + bytes(16)),
        ("aPAR", zero_filled("dummy", 32) + u32(1) + u32(2) + bytes(12) + f64(720.0) + bytes(8)
         + f64(720.0) + u32(8) + u32(2) + bytes(16)),
    ]
    sizes = {"kind": 4, "name": 12, "eMNA": 12, "catg": 8, "ePVR": 4, "eSVR": 4, "eVER": 4,
             "aFLT": 68, "aPAR": 100}
    out = u16(1) + u32(0) + u32(len(props))
    for key, data in props:
        assert len(data) == sizes[key], key
        out += fourcc("8BIM") + fourcc(key) + u32(0) + u32(len(data)) + data
    return out


class PeFile:
    """Just enough of the PE format to reach headers, exports, imports and resources. Every
    offset is checked against the file so that a broken file fails the test, not the parser."""

    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("no MZ header")
        pe = self.u32(0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        (self.machine, nsections, _, _, _, opt_size, self.characteristics) = struct.unpack_from(
            "<HHIIIHH", data, pe + 4)
        opt = pe + 24
        magic = self.u16(opt)
        if magic == 0x10B:
            dirs, ndirs = opt + 96, self.u32(opt + 92)
        elif magic == 0x20B:
            dirs, ndirs = opt + 112, self.u32(opt + 108)
        else:
            raise ValueError("unknown optional header magic %#x" % magic)
        self.directories = [struct.unpack_from("<II", data, dirs + 8 * i) for i in range(min(ndirs, 16))]
        self.sections = []
        table = opt + opt_size
        for i in range(nsections):
            name, vsize, va, rawsize, rawptr = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append((name.rstrip(b"\0").decode("ascii", "replace"), va, max(vsize, rawsize), rawptr, rawsize))

    def u16(self, off):
        return struct.unpack_from("<H", self.data, off)[0]

    def u32(self, off):
        return struct.unpack_from("<I", self.data, off)[0]

    def offset(self, rva):
        for _, va, size, rawptr, rawsize in self.sections:
            if va <= rva < va + size:
                if rva - va >= rawsize:
                    raise ValueError("RVA %#x lies in uninitialised data" % rva)
                return rawptr + rva - va
        raise ValueError("RVA %#x outside every section" % rva)

    def bytes_at(self, rva, size):
        off = self.offset(rva)
        if off + size > len(self.data):
            raise ValueError("data at RVA %#x runs past the end of the file" % rva)
        return self.data[off:off + size]

    def cstring(self, rva):
        off = self.offset(rva)
        end = self.data.index(b"\0", off)
        return self.data[off:end].decode("ascii")

    def directory(self, index):
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def exports(self):
        rva, size = self.directory(0)
        if not rva:
            return 0, []
        nfuncs, nnames, _, names_rva = struct.unpack_from("<IIII", self.bytes_at(rva + 20, 16))
        names = [self.cstring(self.u32(self.offset(names_rva + 4 * i))) for i in range(nnames)]
        return nfuncs, names

    def imports(self):
        found = []
        rva, _ = self.directory(1)
        while rva:
            desc = struct.unpack("<IIIII", self.bytes_at(rva, 20))
            if not any(desc):
                break
            found.append(self.cstring(desc[3]))
            rva += 20
        rva, _ = self.directory(13)  # delay-load imports
        while rva:
            desc = struct.unpack("<8I", self.bytes_at(rva, 32))
            if not any(desc):
                break
            found.append(self.cstring(desc[1]))
            rva += 32
        return found

    def resources(self):
        """{(type, name, language): bytes}; names and types are ints or strings."""
        root, _ = self.directory(2)
        if not root:
            return {}
        out = {}

        def entry_name(value):
            if value & 0x80000000:
                off = root + (value & 0x7FFFFFFF)
                length = struct.unpack("<H", self.bytes_at(off, 2))[0]
                return self.bytes_at(off + 2, 2 * length).decode("utf-16-le")
            return value

        def walk(dir_off, path, depth):
            if depth > 3:
                raise ValueError("resource tree deeper than three levels")
            nnamed, nids = struct.unpack("<HH", self.bytes_at(root + dir_off + 12, 4))
            for i in range(nnamed + nids):
                name, target = struct.unpack("<II", self.bytes_at(root + dir_off + 16 + 8 * i, 8))
                key = path + (entry_name(name),)
                if target & 0x80000000:
                    walk(target & 0x7FFFFFFF, key, depth + 1)
                else:
                    data_rva, size = struct.unpack("<II", self.bytes_at(root + target, 8))
                    out[key] = self.bytes_at(data_rva, size)

        walk(0, (), 1)
        return out


def resource(resources, rtype, name):
    found = [data for (t, n, _), data in resources.items() if t == rtype and n == name]
    if len(found) != 1:
        raise AssertionError("expected one resource %r/%r, found %d" % (rtype, name, len(found)))
    return found[0]


def parse_version_block(data, off=0):
    """One VS_VERSIONINFO-style node: (key, value bytes, wType, children)."""
    length, value_length, wtype = struct.unpack_from("<HHH", data, off)
    if length < 6 or off + length > len(data):
        raise ValueError("version block length %d out of range" % length)
    end = off + length
    key_start = off + 6
    key_end = key_start
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[key_start:key_end].decode("utf-16-le")
    pos = (key_end + 2 + 3) & ~3
    value_size = value_length * 2 if wtype == 1 else value_length
    value = data[pos:pos + value_size]
    pos = (pos + value_size + 3) & ~3
    children = []
    while pos < end:
        child = parse_version_block(data, pos)
        children.append(child[:4])
        pos = (pos + child[4] + 3) & ~3
    return key, value, wtype, children, length


def version_strings(block):
    strings = {}
    _, _, _, children, _ = block
    for key, _, _, tables in children:
        if key != "StringFileInfo":
            continue
        for table_key, _, _, entries in tables:
            for name, value, _, _ in entries:
                strings[(table_key, name)] = value.decode("utf-16-le").rstrip("\0")
    return strings


def string_from_table(resources, number):
    block = resource(resources, RT_STRING, number // 16 + 1)
    pos = 0
    for index in range(16):
        length = struct.unpack_from("<H", block, pos)[0]
        text = block[pos + 2:pos + 2 + 2 * length].decode("utf-16-le")
        if index == number % 16:
            return text
        pos += 2 + 2 * length
    raise AssertionError("string %d missing" % number)


class ModuleFile(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with open(MODULE_PATH, "rb") as f:
            cls.pe = PeFile(f.read())
        cls.resources = cls.pe.resources()

    def test_is_a_dll_for_the_expected_machine(self):
        self.assertEqual(self.pe.machine, MACHINES[MACHINE], "PE machine %#x" % self.pe.machine)
        self.assertTrue(self.pe.characteristics & 0x2000, "not marked as a DLL")

    def test_exports_only_the_undecorated_entry(self):
        nfuncs, names = self.pe.exports()
        self.assertEqual(names, ["xFilter"])
        self.assertEqual(nfuncs, 1, "exports by ordinal only besides xFilter")

    def test_imports_only_system_dlls(self):
        imports = self.pe.imports()
        self.assertIn("kernel32.dll", [i.lower() for i in imports])
        foreign = [i for i in imports
                   if i.lower() not in SYSTEM_DLLS and not SYSTEM_DLL_PATTERN.fullmatch(i.lower())]
        self.assertEqual(foreign, [], "imports DLLs that a plain Windows system lacks")

    def test_plugin_property_list(self):
        pipl = resource(self.resources, "PIPL", 16000)
        expected = expected_pipl()
        self.assertEqual(len(expected), 370)
        if pipl != expected:
            first = next((i for i in range(min(len(pipl), len(expected))) if pipl[i] != expected[i]),
                         min(len(pipl), len(expected)))
            self.fail("PIPL differs at byte %d (length %d, expected %d):\n got %s\nwant %s" % (
                first, len(pipl), len(expected), pipl[first:first + 16].hex(" "),
                expected[first:first + 16].hex(" ")))

    def test_version_resource(self):
        block = parse_version_block(resource(self.resources, RT_VERSION, 1))
        key, fixed, _, _, _ = block
        self.assertEqual(key, "VS_VERSION_INFO")
        signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed)
        self.assertEqual(signature, 0xFEEF04BD)
        version = (3 << 16 | 11, 1 << 16 | 67)
        self.assertEqual((file_ms, file_ls), version, "FILEVERSION")
        self.assertEqual((product_ms, product_ls), version, "PRODUCTVERSION")
        strings = version_strings(block)
        self.assertEqual(strings.get(("040904b0", "ProductVersion")), "3.11.1.67")
        self.assertEqual(strings.get(("040904b0", "FileVersion")), "3.11.1.67")
        self.assertEqual(strings.get(("040904b0", "ProductName")), "Camtag")
        self.assertEqual(strings.get(("040904b0", "OriginalFilename")), "fl-Camtag.prm")
        self.assertTrue(strings.get(("040904b0", "CompanyName")))
        self.assertTrue(strings.get(("040904b0", "FileDescription")))

    def test_string_table(self):
        self.assertEqual(string_from_table(self.resources, 18),
                         "Date/Time of record does not work in Adobe Premiere Pro SC4 until there "
                         "is no SDK for CS4.\nSo hold your breath.")
        reasons = {1: "This file is not RIFF AVI", 2: "This file not DV format",
                   3: "AVI header read error", 4: "AVI stream header read error",
                   5: "Index read error", 6: "Insufficient memory for this operation",
                   7: "Frame read error", 9: "Frame position error"}
        for number, text in reasons.items():
            self.assertEqual(string_from_table(self.resources, number), text, "string %d" % number)
        self.assertEqual(string_from_table(self.resources, 8), "")


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[2] not in MACHINES:
        sys.exit("usage: inspect_dll.py MODULE.prm {i386|amd64}")
    MODULE_PATH, MACHINE = sys.argv[1], sys.argv[2]
    try:
        open(MODULE_PATH, "rb").close()
    except OSError as error:
        sys.exit("module file missing: %s (%s); build it first" % (MODULE_PATH, error.strerror))
    unittest.main(argv=[sys.argv[0], "-v"])
