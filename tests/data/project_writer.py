#!/usr/bin/env python3
"""Writes project files of older data versions, from the file formats alone.

Usage: project_writer.py OUTDIR

OUTDIR/data/database/*.dat   the ten database files, several of old versions
OUTDIR/data/stg4/old.stg4_1  a stage of version 150 (no trailer)
OUTDIR/data/stg4/hero.stg4_1 a stage of version 873 with a hero and a
                             palette block, closed by the trailer

Primitives: every integer little-endian, no padding. A record body is
u32 count of numeric declarations, their bytes, u32 count of strings, each
string as u32 length+1 then the text and a zero (an empty string is the word
1 alone), then the class's counted lists (u32 count, element bodies).
"""
import os
import struct
import sys


def u32(v):
    return struct.pack("<I", v & 0xFFFFFFFF)


def text(s):
    b = s.encode("cp932")
    return u32(1) if not b else u32(len(b) + 1) + b + b"\0"


def body(fields, strings=(), lists=b""):
    """fields: list of (struct letter(s), value or tuple) -- one declaration each."""
    out = u32(len(fields))
    for fmt, value in fields:
        values = value if isinstance(value, tuple) else (value,)
        out += struct.pack("<" + fmt, *values)
    out += u32(len(strings))
    for s in strings:
        out += text(s)
    return out + lists


def counted(elements):
    return u32(len(elements)) + b"".join(elements)


def database_file(version, elements):
    return u32(version) + counted(elements)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


# ---- database elements ----

def anime_frame(cell, duration, hold):
    return body([("i", cell), ("i", duration), ("i", hold)])


def anime(version, name, frames, values=(0, 1, 0)):
    fields = [("h", values[0]), ("B", values[1]), ("h", values[2])] if version >= 55 else []
    return body(fields, [name], counted(frames))


def anime_set(version, name, animes, values=(4, 8, 0)):
    fields = [("i", values[0]), ("i", values[1])]
    if version >= 119:
        fields.append(("i", values[2]))
    return body(fields, [name], counted(animes))


def sword_entry(version, values):
    fields = []
    for i, v in enumerate(values):
        if i in (2, 3) and version < 138:
            continue
        fields.append(("i", v))
    return body(fields)


def sword_type(version, number, name, entries):
    fields = [("i", number)] if version >= 151 else []
    return body(fields, [name, "", ""], counted(entries))


def effect(version, number, name, frames, size=(32, 32, 0)):
    fields = ([("i", number)] if version >= 151 else []) + [("i", size[0]), ("i", size[1]), ("i", size[2])]
    pairs = [body([("i", c), ("i", d)]) for c, d in frames]
    return body(fields, [name, ""], counted(pairs))


def effect_definition(kind, params, name):
    # kind, then the five parameters as one declaration
    return body([("i", kind), ("5i", tuple(params))], [name])


def numbered(version, gate, number, name, second=""):
    fields = [("i", number)] if version >= gate else []
    return body(fields, [name, second])


def bgm(version, number, value2, name, second=""):
    fields = ([("i", number)] if version >= 151 else []) + ([("i", value2)] if version >= 814 else [])
    return body(fields, [name, second])


def write_database(root):
    d = os.path.join(root, "data", "database")
    # Sets of version 100 hold two animations; files older than 128 name
    # animations 2 and 3 anew.
    v = 100
    write(os.path.join(d, "AnimeSet.dat"), database_file(v, [
        anime_set(v, "set0", [anime(v, "a", [anime_frame(0, 1, 0)]), anime(v, "b", [anime_frame(1, 2, 0)])]),
        anime_set(v, "set1", [anime(v, "c", [])]),
    ]))
    v = 873
    write(os.path.join(d, "Anime.dat"), database_file(v, [
        anime(v, "none", [anime_frame(4, 5, 0)]),
        anime(v, "walk\r\nline", [anime_frame(1, 1, 0), anime_frame(2, 2, 1), anime_frame(3, 3, 0)], (7, 9, -3)),
    ]))
    v = 150  # number from 152, values 2 and 3 from 172: no numbers at all
    write(os.path.join(d, "Bmp_CharaExc.dat"), database_file(v, [body([], ["", ""]), body([], ["pic", "file.bmp"])]))
    v = 800  # more than 128 sword types before 828
    write(os.path.join(d, "SwordType.dat"), database_file(v, [
        sword_type(v, 1000 + i, "sword%d" % i, [sword_entry(v, list(range(i, i + 10)))]) for i in range(130)]))
    v = 150  # number from 151
    write(os.path.join(d, "Effect.dat"), database_file(v, [
        effect(v, 0, "none", [(0, 1)]), effect(v, 0, "burst", [(0, 2), (1, 3)], (48, 40, 1)), effect(v, 0, "empty", [])]))
    v = 500  # before 511: the roughness parameters take their defaults
    write(os.path.join(d, "CharaEffect.dat"), database_file(v, [
        effect_definition(3, (9, 9, 9, 9, 9), "zero"),
        effect_definition(4, (5, 0, 32, 2, 77), "wave"),
        effect_definition(10, (5, 32, 0, 55, 66), "circle"),
        effect_definition(1, (5, 0, 32, 0, 99), "burst"),
    ]))
    write(os.path.join(d, "ScrEffect.dat"), database_file(v, [
        effect_definition(0, (0, 0, 0, 0, 0), "none"),
        effect_definition(7, (10, 0, 480, 4, 77), "wave"),
        effect_definition(10, (10, 640, 0, 99, 0), "circle"),
    ]))
    v = 152  # numbers of 151 and 152 are not trusted
    write(os.path.join(d, "Picture.dat"), database_file(v, [numbered(v, 151, 5, "p0"), numbered(v, 151, 6, "p1")]))
    write(os.path.join(d, "Sound.dat"), database_file(v, [numbered(v, 151, 7, "s0"), numbered(v, 151, 8, "s1", "a.wav")]))
    v = 800  # value 2 from 814
    write(os.path.join(d, "Bgm.dat"), database_file(v, [bgm(v, 3, 0, "b0"), bgm(v, 4, 0, "b1"), bgm(v, 5, 0, "b2")]))


# ---- stages ----

DOUBLE_FIELDS = {21, 88, 89, 90, 91, 92}
GATES = {25: 166, 26: 199, 30: 183, 31: 184, 33: 225, 36: 200, 37: 200, 38: 200, 39: 200, 42: 155, 43: 155,
         48: 200, 49: 200, 50: 155, 51: 155, 52: 200, 56: 200, 60: 200, 61: 200, 62: 200, 63: 200, 66: 155,
         67: 155, 70: 200, 71: 200, 72: 155, 73: 155}


def stage_fields(version, values):
    fields = []
    for k in range(1, 99):
        if version < GATES.get(k, 0):
            continue
        fields.append(("d" if k in DOUBLE_FIELDS else "i", values.get(k, 0)))
    return fields


def stage_param(version, values):
    fields = []
    for i, v in enumerate(values):
        if 1 <= i <= 3 and version < 125:
            continue
        fields.append(("i", v))
    return body(fields)


def background(version, source, layer2, layer3, name, speed=(0.1, 0.1), auto=(0, 0), pos=(0.0, 0.0), layer1=1):
    fields = []
    if version >= 62:
        fields.append(("i", layer1))
    fields += [("i", source), ("i", layer2), ("i", layer3)]
    if version >= 61:
        fields += [("d", speed[0]), ("d", speed[1]), ("i", auto[0]), ("i", auto[1])]
    else:
        fields += [("i", 0), ("i", 0)]
    if version >= 62:
        fields += [("d", pos[0]), ("d", pos[1])]
    elif version == 61:
        fields += [("i", 0), ("i", 0)]
    return body(fields, [name])


def block_873(name, graphic=0, column=0, row=0):
    # base kind, base index, cond mode, cond option, graphic number, graphic
    # source, graphic word, options 1, 2, 6, 6 value, 7, 3, 4, 4 value, item
    # kind, item index, option 5
    fields = [("b", 0), ("H", 0), ("B", 0), ("B", 0), ("H", graphic), ("B", 0), ("H", 0), ("B", 0), ("B", 0),
              ("B", 0), ("H", 0), ("B", 1), ("b", -1), ("B", 0), ("i", 0), ("b", 0), ("H", 0), ("B", 0)]
    tail = struct.pack("<HH", column & 0xFFFF, row & 0xFFFF) + u32(11) + bytes(11) + counted([])
    return body(fields, [name], tail)


# The character's numeric fields at 873, in file order (field 3 is the name).
CHARACTER_FORMATS = ["b", "H", "B", "B", "B", "B", "h", "h", "h", "h", "B", "B", "h", "B", "H", "h", "B", "B",
                     "h", "B", "B", "h", "B", "B", "H", "B", "B", "B", "B", "B", "B", "B", "B", "B", "b", "B",
                     "B", "B", "i", "i", "h", "B", "i", "B", "H", "i", "B", "i", "B", "B", "h", "B", "B"]
CHARACTER_NUMBERS = [n for n in range(1, 55) if n != 3]


def character_873(name, graphic, control, column, row, placed_item=-1):
    new_type = {14: graphic, 15: 1, 18: 3, 22: 1, 27: control, 29: 1, 32: 1, 36: 1, 40: 10, 42: 10, 50: 1}
    fields = [(fmt, new_type.get(n, 0)) for fmt, n in zip(CHARACTER_FORMATS, CHARACTER_NUMBERS)]
    tail = struct.pack("<HHi", column & 0xFFFF, row & 0xFFFF, placed_item) + u32(37) + bytes(37)
    tail += counted([]) + counted([])  # conditions, flows
    return body(fields, [name], tail)


def stage(version, values, name, ranking, params, palettes, placed, backgrounds, texts):
    out = u32(version) + body(stage_fields(version, values), [name])
    out += u32(len(ranking)) + b"".join(u32(w) for w in ranking)
    out += b"".join(stage_param(version, p) for p in params)
    for lst in palettes:
        out += counted(lst)
    for lst in placed:
        out += u32(len(lst)) + b"".join(u32(0) + e for e in lst)
    out += counted(backgrounds)
    out += counted([body([], [t]) for t in texts])
    if version >= 173:
        out += u32(123456789)
    return out


def write_stages(root):
    d = os.path.join(root, "data", "stg4")
    v = 150
    values = {1: 100, 4: 30, 9: 500, 10: 120, 11: 3, 12: 29, 13: 60, 15: 200, 21: 0.5, 22: 15, 24: 7,
              40: 20, 41: 28, 64: 11, 65: 23, 27: 1}
    params = [(1, 2, 3, 4, 5, 6, 7, 8)] * 5
    write(os.path.join(d, "old.stg4_1"), stage(
        v, values, "古いステージ", [1, 1, 1], params, [[], [], []], [[], [], []],
        [background(v, 0, 16, 2, "bg.bmp")], ["一", "二"]))
    v = 873
    values = {1: 40, 4: 15, 13: 60, 15: 200, 21: 0.4, 22: 10, 24: 1, 27: 1}
    palettes = [[block_873("消える", 9), block_873("ブロック", 3)], [], []]
    placed = [[block_873("", 3, 1, 2)], [character_873("主人公", 5, 0, 3, 4)], []]
    write(os.path.join(d, "hero.stg4_1"), stage(
        v, values, "hero", [1, 0, 1, 1, 1], [(0,) * 8] * 5, palettes, placed,
        [background(v, 1, 16, 0, "", layer1=1)], []))


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: project_writer.py OUTDIR")
    write_database(sys.argv[1])
    write_stages(sys.argv[1])


if __name__ == "__main__":
    main()
