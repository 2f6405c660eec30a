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

RT_CURSOR = 1
RT_BITMAP = 2
RT_DIALOG = 5
RT_STRING = 6
RT_GROUP_CURSOR = 12
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


CLASS_ORDINALS = {0x80: "Button", 0x81: "Edit", 0x82: "Static", 0x83: "ListBox", 0x84: "ScrollBar",
                  0x85: "ComboBox"}


def parse_dialog(data):
    """An extended dialog template: header fields and a list of controls
    (id, class, text, (x, y, cx, cy), style, exstyle)."""
    pos = 0

    def word():
        nonlocal pos
        value = struct.unpack_from("<H", data, pos)[0]
        pos += 2
        return value

    def sz_or_ord():
        nonlocal pos
        first = struct.unpack_from("<H", data, pos)[0]
        if first == 0xFFFF:
            pos += 2
            return word()
        end = pos
        while data[end:end + 2] != b"\0\0":
            end += 2
        text = data[pos:end].decode("utf-16-le")
        pos = end + 2
        return text

    version, signature = struct.unpack_from("<HH", data, 0)
    assert (version, signature) == (1, 0xFFFF), "not an extended dialog template"
    _, exstyle, style, count, x, y, cx, cy = struct.unpack_from("<IIIHhhhh", data, 4)
    pos = 26
    menu, window_class, title = sz_or_ord(), sz_or_ord(), sz_or_ord()
    font = None
    if style & 0x40:  # DS_SETFONT
        points, weight, italic, charset = struct.unpack_from("<HHBB", data, pos)
        pos += 6
        font = (sz_or_ord(), points)
    controls = []
    for _ in range(count):
        pos = (pos + 3) & ~3
        _, c_exstyle, c_style, c_x, c_y, c_cx, c_cy, c_id = struct.unpack_from("<IIIhhhhi", data, pos)
        pos += 24
        c_class, c_text = sz_or_ord(), sz_or_ord()
        extra = word()
        pos += extra
        c_class = CLASS_ORDINALS.get(c_class, c_class)
        controls.append((c_id, c_class, c_text, (c_x, c_y, c_cx, c_cy), c_style, c_exstyle))
    return {"style": style, "exstyle": exstyle, "rect": (x, y, cx, cy), "title": title, "font": font,
            "menu": menu, "class": window_class, "controls": controls}


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


# Window and control styles the dialog templates must carry.
WS_POPUP, WS_CHILD, WS_VISIBLE, WS_CAPTION, WS_BORDER = 0x80000000, 0x40000000, 0x10000000, 0x00C00000, 0x00800000
WS_SYSMENU, WS_VSCROLL, WS_CLIPSIBLINGS = 0x00080000, 0x00200000, 0x04000000
DS_SETFONT, DS_MODALFRAME, DS_CENTER = 0x40, 0x80, 0x800
WS_EX_CLIENTEDGE, WS_EX_TRANSPARENT = 0x200, 0x20
SS_CENTER, SS_BLACKFRAME, SS_BITMAP, SS_NOTIFY, SS_SUNKEN = 0x1, 0x7, 0xE, 0x100, 0x1000
BS_DEFPUSHBUTTON, BS_AUTOCHECKBOX = 0x1, 0x3
CBS_DROPDOWNLIST, CBS_SORT, ES_AUTOHSCROLL = 0x3, 0x100, 0x80
POPUP = WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME | DS_CENTER | DS_SETFONT
DS_FIXEDSYS, WS_EX_CONTROLPARENT = 0x8, 0x10000
PAGE = WS_CHILD | WS_BORDER | DS_SETFONT | DS_FIXEDSYS  # a tab page: child, thin border, shell font
BS_AUTORADIOBUTTON, BS_MULTILINE, SS_BLACKRECT, ES_CENTER, ES_NUMBER = 0x9, 0x2000, 0x4, 0x1, 0x2000
LBS_NOTIFY, LBS_NOINTEGRALHEIGHT = 0x1, 0x100
UDS_WRAP = 0x1
# UDS_SETBUDDYINT, ALIGNRIGHT, AUTOBUDDY, ARROWKEYS, NOTHOUSANDS, HOTTRACK
UPDOWN = 0x2 | 0x4 | 0x10 | 0x20 | 0x80 | 0x100

# Each template: caption, rectangle, font, window styles, and per control: id, class, text,
# rectangle, the type (low bits of a button or static style), other styles required, extended
# styles required.
DIALOGS = {
    101: ("Camtag Settings", (0, 0, 457, 250), ("MS Sans Serif", 8), POPUP | WS_SYSMENU, [
        (1000, "Static", "", (7, 7, 17, 16), 0, SS_NOTIFY, WS_EX_CLIENTEDGE),
        (-1, "Static", "Mode", (262, 8, 19, 8), 0, 0, 0),
        (1048, "ComboBox", "", (291, 7, 159, 52), None, CBS_DROPDOWNLIST | CBS_SORT | WS_VSCROLL, 0),
        (1052, "SysTabControl32", "", (262, 23, 188, 195), None, WS_CLIPSIBLINGS, 0),
        (-1, "Static", "Show during first", (7, 203, 55, 8), 0, 0, 0),
        (1064, "Edit", "", (64, 201, 40, 12), None, WS_BORDER | ES_AUTOHSCROLL, 0),
        (-1, "Static", "sec. of the clip.", (106, 203, 50, 8), 0, 0, 0),
        (-1, "Static", '("0" - show whole the clip)', (7, 213, 100, 8), 0, 0, 0),
        (-1, "Static", "", (7, 223, 443, 1), SS_BLACKFRAME, SS_SUNKEN, 0),
        (1, "Button", "OK", (7, 229, 50, 14), BS_DEFPUSHBUTTON, 0, 0),
        (2, "Button", "Cancel", (62, 229, 50, 14), 0, 0, 0),
        (9, "Button", "Help", (116, 229, 50, 14), 0, 0, 0),
        (20, "Button", "About...", (171, 229, 50, 14), 0, 0, 0),
        (1024, "Button", "Save as default", (385, 226, 65, 10), BS_AUTOCHECKBOX, 0, 0),
    ]),
    109: ("About Camtag", (0, 0, 349, 122), ("MS Sans Serif", 8), POPUP, [
        (-1, "Static", 110, (7, 7, 153, 108), SS_BITMAP, 0, 0),
        (1027, "Static", "Camtag Video Filter Version 1.00", (161, 7, 181, 8), SS_CENTER, 0, WS_EX_TRANSPARENT),
        (-1, "Static", "for Adobe\u00ae Premiere\u00ae Pro", (161, 16, 181, 8), SS_CENTER, 0, WS_EX_TRANSPARENT),
        (-1, "Static", None, (161, 25, 181, 8), SS_CENTER, 0, WS_EX_TRANSPARENT),
        (-1, "Static", "Free software under the MIT License", (161, 34, 181, 9), SS_CENTER, 0, 0),
        (1051, "Static", "Help: Camtag.chm beside fl-Camtag.prm", (161, 42, 181, 8), SS_CENTER, 0, 0),
        (1, "Button", "OK", (229, 101, 50, 14), BS_DEFPUSHBUTTON, 0, 0),
    ]),
    118: (None, (0, 0, 183, 164), ("MS Shell Dlg", 8), PAGE | WS_VISIBLE, [
        (-1, "Static", "Text (%f - filename, \\n - line break)", (7, 7, 169, 8), 0, 0, 0),
        (1062, "Edit", "", (7, 18, 169, 14), None, WS_BORDER | ES_AUTOHSCROLL, 0),
        (-1, "Static", "Time format", (7, 36, 169, 9), 0, 0, 0),
        (1016, "ComboBox", "", (7, 47, 169, 151), None, CBS_DROPDOWNLIST | WS_VSCROLL, 0),
        (1029, "Button", "Edit time formats", (7, 63, 133, 12), 0, 0, 0),
        (-1, "Static", "Date format", (7, 80, 169, 8), 0, 0, 0),
        (1014, "ComboBox", "", (7, 92, 169, 151), None, CBS_DROPDOWNLIST | WS_VSCROLL, 0),
        (1030, "Button", "Edit date formats", (7, 108, 133, 12), 0, 0, 0),
        (-1, "Static", "Time adjustment (+/-)", (7, 128, 169, 8), 0, 0, 0),
        (1068, "Edit", "", (7, 145, 24, 12), None, ES_CENTER, 0),
        (1069, "Edit", "", (33, 145, 20, 12), None, ES_CENTER, 0),
        (1070, "Edit", "", (55, 145, 20, 12), None, ES_CENTER, 0),
        (1071, "Edit", "", (83, 145, 20, 12), None, ES_CENTER, 0),
        (1072, "Edit", "", (105, 145, 20, 12), None, ES_CENTER, 0),
        (1073, "Edit", "", (127, 145, 20, 12), None, ES_CENTER, 0),
    ] + [(-1, "Static", letter, (x, 137, 8, 8), 0, 0, 0)
         for letter, x in zip("YMDHms", (16, 40, 62, 91, 112, 135))]),
    122: (None, (0, 0, 184, 175), ("MS Shell Dlg", 8), PAGE, [
        (1065, "Button", "SMPTE", (7, 7, 37, 10), BS_AUTORADIOBUTTON, 0, 0),
        (1066, "Button", "Time", (64, 7, 31, 10), BS_AUTORADIOBUTTON, 0, 0),
        (1067, "Button", "Frames", (114, 7, 39, 10), BS_AUTORADIOBUTTON, 0, 0),
        (-1, "Static", "Text (%f - filename, \\n - line break)", (7, 23, 170, 8), 0, 0, 0),
        (1062, "Edit", "", (7, 34, 170, 14), None, WS_BORDER | ES_AUTOHSCROLL, 0),
        (1053, "Button", "Timecode through Timeline", (7, 54, 170, 10), BS_AUTOCHECKBOX, 0, 0),
        (1054, "Button", "Timecode of clip", (7, 64, 170, 10), BS_AUTOCHECKBOX, 0, 0),
        (1055, "Button", "Timecode of source file", (7, 74, 170, 10), BS_AUTOCHECKBOX, 0, 0),
        (1056, "Button", "Timecode of source tape", (7, 84, 170, 10), BS_AUTOCHECKBOX, 0, 0),
        (1058, "Static", "Initial", (7, 99, 170, 8), 0, 0, 0),
        (-1, "Static", "hours.minute.seconds.frames", (7, 109, 170, 8), 0, 0, 0),
        (1079, "Edit", "", (7, 119, 20, 12), None, WS_BORDER | ES_CENTER | ES_AUTOHSCROLL, 0),
        (1077, "Edit", "", (29, 119, 20, 12), None, WS_BORDER | ES_CENTER | ES_AUTOHSCROLL, 0),
        (1076, "Edit", "", (51, 119, 20, 12), None, WS_BORDER | ES_CENTER | ES_AUTOHSCROLL, 0),
        (1074, "Edit", "", (73, 119, 20, 12), None, WS_BORDER | ES_CENTER | ES_AUTOHSCROLL, 0),
        (1061, "Button", "Show prefix", (7, 137, 54, 10), BS_AUTOCHECKBOX, 0, 0),
        (1080, "Button", "Show hours", (7, 148, 170, 8), BS_AUTOCHECKBOX, 0, 0),
        (1063, "Button", "Show frames", (7, 158, 170, 10), BS_AUTOCHECKBOX, 0, 0),
    ]),
    123: (None, (0, 0, 183, 164), ("MS Shell Dlg", 8), PAGE, [
        (-1, "Static", "Font", (7, 7, 38, 8), 0, 0, 0),
        (1015, "Button", "Font...", (7, 17, 169, 26), 0, BS_MULTILINE, 0),
        (-1, "Static", "Text color", (7, 48, 52, 8), 0, 0, 0),
        (1003, "Static", "", (7, 58, 53, 12), SS_BLACKRECT, SS_NOTIFY, 0),
        (-1, "Static", "Transparency", (65, 47, 49, 8), 0, 0, 0),
        (1049, "Edit", "", (65, 58, 53, 12), None, WS_BORDER | ES_AUTOHSCROLL, 0),
        (1050, "msctls_updown32", "", (109, 59, 11, 14), None, UPDOWN, 0),
        (-1, "Static", "Alignment", (123, 48, 44, 8), 0, 0, 0),
        (1023, "ComboBox", "", (123, 58, 53, 59), None, CBS_DROPDOWNLIST | WS_VSCROLL, 0),
        (1028, "Button", "Outline", (7, 86, 39, 10), BS_AUTOCHECKBOX, 0, 0),
        (-1, "Static", "Outline color", (101, 77, 62, 8), 0, 0, 0),
        (1004, "Static", "", (101, 86, 75, 12), SS_BLACKRECT, SS_NOTIFY, 0),
        (1031, "Button", "Shadow", (7, 114, 68, 10), BS_AUTOCHECKBOX, 0, 0),
        (-1, "Static", "Shadow color", (101, 104, 62, 8), 0, 0, 0),
        (1006, "Static", "", (101, 113, 75, 12), SS_BLACKRECT, SS_NOTIFY, 0),
        (1059, "Button", "Background", (7, 143, 63, 10), BS_AUTOCHECKBOX, 0, 0),
        (-1, "Static", "Background color", (101, 133, 62, 8), 0, 0, 0),
        (1005, "Static", "", (101, 143, 75, 12), SS_BLACKRECT, SS_NOTIFY, 0),
        (-1, "Static", "", (7, 74, 169, 1), SS_BLACKFRAME, SS_SUNKEN, 0),
        (-1, "Static", "", (7, 102, 169, 1), SS_BLACKFRAME, SS_SUNKEN, 0),
        (-1, "Static", "", (7, 129, 169, 1), SS_BLACKFRAME, SS_SUNKEN, 0),
    ]),
    124: (None, (0, 0, 183, 164), ("MS Shell Dlg", 8), PAGE, [
        (-1, "Static", "Position", (7, 7, 57, 8), 0, 0, 0),
        (-1, "Static", "X =", (7, 22, 12, 8), 0, 0, 0),
        (1008, "Edit", "", (22, 21, 58, 14), None, WS_BORDER | ES_NUMBER | ES_AUTOHSCROLL, 0),
        (1009, "msctls_updown32", "", (77, 17, 11, 14), None, UPDOWN, 0),
        (-1, "Static", "Y =", (102, 22, 12, 8), 0, 0, 0),
        (1012, "Edit", "", (118, 21, 58, 14), None, WS_BORDER | ES_NUMBER | ES_AUTOHSCROLL, 0),
        (1013, "msctls_updown32", "", (158, 14, 11, 14), None, UPDOWN, 0),
        (1017, "Button", "Time above Date", (7, 47, 70, 10), BS_AUTORADIOBUTTON, 0, 0),
        (1018, "Button", "Date above Time", (7, 58, 82, 10), BS_AUTORADIOBUTTON, 0, 0),
        (-1, "Static", "", (7, 41, 169, 1), SS_BLACKFRAME, SS_SUNKEN, 0),
        (-1, "Static", "", (7, 74, 169, 1), SS_BLACKFRAME, SS_SUNKEN, 0),
        (1038, "Button", "In single line", (7, 81, 135, 10), BS_AUTOCHECKBOX, 0, 0),
        (-1, "Static", "", (7, 97, 169, 1), SS_BLACKFRAME, SS_SUNKEN, 0),
        (-1, "Static", "Angle", (7, 106, 19, 8), 0, 0, 0),
        (1010, "Edit", "", (26, 104, 34, 14), None, WS_BORDER | ES_NUMBER | ES_AUTOHSCROLL, 0),
        (1011, "msctls_updown32", "", (49, 114, 11, 14), None, UPDOWN, 0),
        (-1, "Static", "o", (63, 104, 8, 8), 0, 0, 0),
    ]),
    112: ("", (0, 0, 175, 154), ("MS Sans Serif", 8), POPUP | WS_SYSMENU, [
        (1014, "Edit", "", (7, 7, 99, 14), None, WS_BORDER | ES_AUTOHSCROLL, 0),
        (1030, "ListBox", "", (7, 25, 99, 95), None, LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_BORDER, 0),
        (1032, "Button", "Add", (118, 7, 50, 14), 0, 0, 0),
        (1035, "Button", "Update", (118, 25, 50, 14), 0, 0, 0),
        (1033, "Button", "Remove", (118, 43, 50, 14), 0, 0, 0),
        (1034, "Button", "Help", (118, 71, 50, 14), 0, 0, 0),
        (2, "Button", "Cancel", (118, 88, 50, 14), 0, 0, 0),
        (1, "Button", "OK", (118, 106, 50, 14), BS_DEFPUSHBUTTON, 0, 0),
        (1036, "Static", "Static", (7, 136, 161, 11), 0, 0, 0),
        (-1, "Static", "Example for Tuesday, May 07 2002, 09:03:07 AM", (7, 124, 161, 8), 0, 0, 0),
    ]),
}
TYPE_MASKS = {"button": 0xF, "static": 0x1F}


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

    def test_dialog_templates(self):
        for number, (title, rect, font, style, controls) in DIALOGS.items():
            with self.subTest(dialog=number):
                dialog = parse_dialog(resource(self.resources, RT_DIALOG, number))
                if title is not None:
                    self.assertEqual(dialog["title"], title)
                if style & WS_CHILD:
                    self.assertFalse(dialog["style"] & WS_VISIBLE and not style & WS_VISIBLE,
                                     "a page the settings dialog shows itself is created hidden")
                    self.assertTrue(dialog["exstyle"] & WS_EX_CONTROLPARENT, "the keyboard reaches the page")
                self.assertEqual(dialog["rect"], rect)
                self.assertEqual(dialog["font"], font)
                self.assertEqual(dialog["style"] & style, style, "window style %#x" % dialog["style"])
                if not style & WS_SYSMENU:
                    self.assertFalse(dialog["style"] & WS_SYSMENU, "a system menu brings a close box")
                self.assertEqual(len(dialog["controls"]), len(controls))
                for got, want in zip(dialog["controls"], controls):
                    c_id, c_class, c_text, c_rect, c_style, c_exstyle = got
                    w_id, w_class, w_text, w_rect, w_type, w_style, w_exstyle = want
                    where = "control %d %r" % (w_id, w_text)
                    self.assertEqual(c_id, w_id, where)
                    self.assertEqual(str(c_class).lower(), w_class.lower(), where)
                    if w_text is not None:
                        self.assertEqual(c_text, w_text, where)
                    self.assertEqual(c_rect, w_rect, where)
                    if w_type is not None:
                        self.assertEqual(c_style & TYPE_MASKS[w_class.lower()], w_type, where)
                    self.assertEqual(c_style & w_style, w_style, where + " style %#x" % c_style)
                    self.assertEqual(c_exstyle & w_exstyle, w_exstyle, where)
                    if w_class == "msctls_updown32":
                        self.assertFalse(c_style & UDS_WRAP, where + " must not wrap")

    def test_cursor_and_picture(self):
        # The pointing hand: one 32 x 32 two-colour image with its hot spot at the finger tip.
        group = resource(self.resources, RT_GROUP_CURSOR, 111)
        reserved, kind, count = struct.unpack_from("<HHH", group, 0)
        self.assertEqual((kind, count), (2, 1))
        width, height, planes, bits, _, image_id = struct.unpack_from("<HHHHIH", group, 6)
        self.assertEqual((width, height, bits), (32, 64, 1))  # a cursor entry counts both masks
        image = resource(self.resources, RT_CURSOR, image_id)
        hot_x, hot_y = struct.unpack_from("<HH", image, 0)
        self.assertEqual((hot_x, hot_y), (5, 0))
        header = struct.unpack_from("<IiiHH", image, 4)
        self.assertEqual(header, (40, 32, 64, 1, 1))
        # The About box's picture: 230 x 176 with a 256-colour palette.
        bitmap = resource(self.resources, RT_BITMAP, 110)
        size, width, height, planes, bits = struct.unpack_from("<IiiHH", bitmap, 0)
        self.assertEqual((size, width, abs(height), bits), (40, 230, 176, 8))

    def test_help_control_is_not_imported(self):
        self.assertNotIn("hhctrl.ocx", [i.lower() for i in self.pe.imports()])

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
