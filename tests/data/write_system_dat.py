#!/usr/bin/env python3
"""Writes "System.dat" files of older data versions, from the file format as
documented (independently of the runtime's own writer), for the tests.

Usage: write_system_dat.py OUTDIR
Writes sys_<version>.dat for the versions the tests check. Every number #k
the version holds is 1000 + k (the colour-key bytes #29..#31 hold k); lists
are small and recognisable.
"""
import os
import struct
import sys

# First data version of each number #1..#80 (0: every version).
FROM = {1: 185, 3: 838, 6: 205, 7: 170, 8: 113, 9: 855, 10: 184, 11: 157, 12: 821, 14: 191, 15: 191,
        18: 167, 19: 167, 20: 188, 21: 224, 22: 167, 23: 167, 24: 188, 25: 224, 26: 188, 27: 192,
        28: 187, 29: 187, 30: 187, 31: 187, 32: 214, 33: 221, 34: 261, 35: 272, 36: 287, 37: 515,
        38: 289, 39: 757, 40: 525, 41: 555, 42: 637, 43: 669, 44: 677, 45: 695, 46: 696, 47: 697,
        48: 721, 49: 728, 50: 733, 51: 744, 52: 749, 53: 752, 54: 763, 55: 763, 56: 768, 57: 773,
        58: 781, 59: 782, 60: 783, 61: 793, 62: 805, 63: 808, 64: 818, 65: 818, 66: 819, 67: 822,
        68: 827, 69: 831, 70: 833, 71: 837, 72: 839, 73: 841, 74: 845, 75: 845, 76: 845, 77: 845,
        78: 861, 79: 670, 80: 670}
BYTE_FIELDS = (29, 30, 31)


def u32(v):
    return struct.pack('<I', v & 0xFFFFFFFF)


def i32(v):
    return struct.pack('<i', v)


def text(s):
    b = s.encode('cp932')
    if not b:
        return u32(1)
    return u32(len(b) + 1) + b + b'\0'


def body(fields, strings):
    """A record body: the numeric declarations' bytes and the strings."""
    return u32(len(fields)) + b''.join(fields) + u32(len(strings)) + b''.join(text(s) for s in strings)


def byte_list(values):
    return u32(len(values)) + bytes(values)


def word_list(values):
    return u32(len(values)) + b''.join(u32(v) for v in values)


def text_list(values):
    return u32(len(values)) + b''.join(text(s) for s in values)


def record_list(bodies):
    return u32(len(bodies)) + b''.join(bodies)


def system_dat(version, texts, keys, music=(0, 1, 2, 3), l1=None):
    fields = []
    for k in range(1, 81):
        first = FROM.get(k, 0)
        if version < first:
            continue
        if k == 33 and version > 259:
            continue
        fields.append(struct.pack('<B', k) if k in BYTE_FIELDS else i32(1000 + k))
    out = u32(version) + body(fields, ['Old Game'])
    out += byte_list(l1 if l1 is not None else list(range(1, 26)))
    if version >= 501:
        out += byte_list([0] * 25)
    hud = []
    for i in range(3):
        f = [i32(1), i32(0), i32(i)]
        if version >= 204:
            f.append(i32(0))
        if version >= 587:
            f += [i32(50), i32(0)]
        hud.append(body(f, ['item%d' % i]))
    out += record_list(hud)
    out += word_list([3, 3, 3, 9])
    if version >= 191:
        out += word_list([0, 1, 0, 1])
    if version >= 186:
        out += record_list([body([i32(1)], []) + byte_list([1, 1, 1]) for _ in range(4)])
    out += text_list(texts)
    out += text_list(['se%02d.wav' % i for i in range(17)])
    out += word_list(list(music))
    if version >= 202:
        out += byte_list([0, 1, 0, 1])
    for labels in (['Start', 'Load'], ['Save', 'Back'], ['Music']):
        out += record_list([body([i32(1)], [s]) for s in labels])
    if version >= 674:
        out += text_list(['m0', 'm1', 'm2', 'm3'])
    out += record_list([body([i32(kind), i32(default)], [name, dtext]) for kind, default, name, dtext in keys])
    return out


def main():
    outdir = sys.argv[1]
    old_keys = [(0, 0, 'WindowMode', ''), (0, 0, 'Bpp', ''), (0, 3, 'VSync', ''), (0, 1, 'ShowFps', ''),
                (1, 0, 'FreeStage', '')]
    files = {
        150: system_dat(150, ['t%d' % i for i in range(21)], old_keys),
        205: system_dat(205, ['t%d' % i for i in range(29)], old_keys),
        280: system_dat(280, ['t%d' % i for i in range(29)], old_keys),
        820: system_dat(820, ['t%d' % i for i in range(29)], old_keys, music=(0, 1, 99, 3)),
        873: system_dat(873, ['t%d' % i for i in range(29)], old_keys),
    }
    for version, data in files.items():
        with open(os.path.join(outdir, 'sys_%d.dat' % version), 'wb') as f:
            f.write(data)


if __name__ == '__main__':
    main()
