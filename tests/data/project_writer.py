#!/usr/bin/env python3
"""Writes project files of older data versions, from the file formats alone.

Usage: project_writer.py OUTDIR

OUTDIR/data/database/*.dat   the ten database files, several of old versions
OUTDIR/data/stg4/old.stg4_1  a stage of version 150 (no trailer)
OUTDIR/data/stg4/hero.stg4_1 a stage of version 873 with a hero and a
                             palette block, closed by the trailer
OUTDIR/full/data/...          every file kind at version 873 with a value
                             other than a new record's in every field
OUTDIR/probe/stg4/vV.stg4_1   one stage, and its palette lists as a common
OUTDIR/probe/cplt4/vV.cplt4   palette, in the layout of each version V one
                             below and at every threshold of the formats
OUTDIR/probe/dbV/data/...     the ten database files of version V
OUTDIR/special/...           files the loaders refuse with their messages

Usage: project_writer.py OUTDIR --hostile MB
OUTDIR/hostile/...           files made to drive a reader to gigabytes (large
                             ones of about MB megabytes), see write_hostile
Usage: project_writer.py OUTDIR --heirs FLOWS PLACED
OUTDIR/data/stg4/heirs.stg4_1 a stage whose palette character type holds
                             FLOWS flows and whose PLACED placed computer
                             characters take them (inherit group 36), beside
                             the hero: the file holds the flows once
Usage: project_writer.py RESAVED --check-inherited-resave
                             compares a resave of hostile/inherit_flows.stg4_1
                             with what the format says it holds; exit 0 when
                             the same

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

# ---------------------------------------------------------------------------
# Every file kind in full, and older versions at every migration threshold.
#
# Each record class is written from its field table: (name, struct letter,
# first version whose files hold the field). One declaration per listed
# field; a record written for version V holds the fields whose gate <= V.
# ---------------------------------------------------------------------------

def fields_of(table, version, values, defaults=None):
    defaults = defaults or {}
    out = []
    for name, fmt, gate in table:
        if version < gate:
            continue
        out.append((fmt, values.get(name, defaults.get(name, 0))))
    return out


COND_873 = [("kind", "b", 0), ("constant", "i", 0), ("rmin", "i", 110), ("rmax", "i", 110), ("subject", "b", 110),
            ("field", "b", 110), ("left", "B", 110), ("scope", "B", 110), ("var", "H", 110), ("rsrc", "B", 110),
            ("rsubj", "b", 110), ("rfield", "b", 110), ("rvkind", "B", 110), ("rvar", "H", 110)]


def cond(v, c):
    """A condition; files before 110 hold two 16-bit words in place of fields 3 to 14."""
    fields = fields_of(COND_873, v, c)
    if v < 110:
        fields += [("h", c.get("dropped1", 7)), ("h", c.get("dropped2", 8))]
    fields.append(("B", c.get("op", 0)))
    if v >= 43:
        fields.append(("B", c.get("percent", 0)))
    fields.append(("B", c.get("last", 0)))
    return body(fields)


def cond_list(v, mode, option, conds):
    return body([("B", mode), ("B", option)]) + (counted(conds) if v >= 766 else b"")


def flow_key(mode, w1, w2, b1, b2, keys):
    return body([("B", mode), ("H", w1), ("H", w2), ("B", b1), ("B", b2)]) + u32(len(keys)) + bytes(keys)


MOVE = [("f%d" % n, fmt, gate) for n, fmt, gate in [
    (1, "B", 0), (2, "B", 0), (3, "H", 0), (4, "H", 0), (5, "B", 158), (6, "B", 0), (7, "B", 0), (8, "H", 0),
    (9, "H", 0), (10, "H", 0), (11, "H", 0), (12, "B", 0), (13, "B", 0), (14, "B", 0), (15, "B", 0), (16, "B", 0),
    (17, "B", 0), (18, "B", 0), (19, "B", 0), (20, "B", 162), (21, "B", 0), (22, "H", 0), (23, "H", 0),
    (24, "H", 0), (25, "H", 0), (26, "B", 159), (27, "H", 0), (28, "H", 0), (29, "B", 0), (30, "H", 0),
    (31, "d", 0), (32, "B", 162), (33, "B", 767)]]
MOVE_NEW = {"f5": 1, "f6": 1, "f7": 1, "f13": 1, "f16": 1, "f18": 1, "f22": 10, "f31": 1.0}

SHOT = [("f%d" % n, fmt, gate) for n, fmt, gate in [
    (1, "B", 0), (2, "B", 0), (3, "H", 0), (4, "B", 671), (5, "B", 0), (6, "B", 0), (7, "B", 767), (8, "H", 0),
    (9, "H", 0), (10, "B", 158), (11, "H", 0), (12, "B", 0), (13, "B", 0), (14, "H", 0), (15, "H", 0),
    (16, "H", 0), (17, "H", 0), (18, "B", 0), (19, "B", 0), (20, "H", 0), (21, "B", 0), (22, "B", 0),
    (23, "B", 0), (24, "B", 0), (25, "B", 0), (26, "B", 0), (27, "B", 0), (28, "B", 0), (29, "H", 0),
    (30, "B", 767), (31, "B", 211), (32, "H", 0), (33, "H", 0), (34, "B", 213), (35, "H", 213), (36, "H", 213),
    (37, "H", 0), (38, "B", 0), (39, "H", 0), (40, "B", 0), (41, "B", 0), (42, "H", 0), (43, "H", 0),
    (44, "B", 0), (45, "B", 0), (46, "B", 636), (47, "B", 0), (48, "B", 0), (49, "i", 0), (50, "H", 0),
    (51, "B", 0), (52, "H", 0), (53, "b", 0), (54, "h", 0), (55, "B", 0), (56, "B", 0), (57, "B", 197),
    (58, "b", 0), (59, "h", 0), (60, "B", 0), (61, "B", 0), (62, "B", 0), (63, "B", 762), (64, "B", 762)]]
SHOT_NEW = {"f10": 1, "f18": 1, "f23": 1, "f26": 1}


def move(v, values):
    return body(fields_of(MOVE, v, values, MOVE_NEW))


def shot(v, values):
    return body(fields_of(SHOT, v, values, SHOT_NEW))


CMD = [("family", "B", 0), ("kind", "B", 0), ("duration", "H", 0), ("word", "H", 0), ("together", "B", 0),
       ("sound", "H", 0), ("option", "B", 0), ("anime", "H", 0)]

# Parameter words of each flow-command kind 0..39; item kinds 0..24 are
# 0, 2 (flow change), then the flow kinds 17..39.
FLOW_WORDS = [0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 5, 0, 0, 0, 0, 0, 4, 9, 1, 18, 0, 16, 18, 5, 3, 2, 3, 1, 1, 8, 3, 3,
              15, 8, 2, 1, 2, 0, 5, 2]
ITEM_WORDS = [0, 2] + FLOW_WORDS[17:]


def cmd(v, family, kind, words, values=None, text="", mv=None, sh=None, cl=None, flows=()):
    """A command: its fields and text, the three objects (presence word, then
    the body), the nested flows and the parameter words. Files before 764
    have no presence word of the condition list."""
    values = dict(values or {})
    values.update(family=family, kind=kind)
    out = body(fields_of(CMD, v, values, {"option": 1}), [text])
    for obj in (mv, sh) + ((cl,) if v >= 764 else ()):
        out += u32(0) if obj is None else u32(1) + obj
    out += counted(list(flows))
    return out + u32(len(words)) + b"".join(u32(w) for w in words)


FLOW = [("group", "B", 0), ("exclusive", "B", 0), ("testPlay", "B", 0), ("condMode", "B", 0), ("once", "B", 0),
        ("trigger", "B", 0), ("targetOther", "B", 762), ("targetSlot", "B", 767), ("keyTolerance", "B", 0),
        ("keyOption", "B", 0)]


def flow(v, values, conds=(), keys=(), cmds=(), name=""):
    strings = [name] if v >= 676 else []
    return body(fields_of(FLOW, v, values), strings) + counted(list(conds)) + counted(list(keys)) + counted(list(cmds))


BLOCK = [("baseKind", "b", 0), ("baseIndex", "H", 0), ("condMode", "B", 0), ("condOption", "B", 0),
         ("graphic", "H", 0), ("graphicSource", "B", 0), ("graphicWord", "H", 0), ("option1", "B", 0),
         ("option2", "B", 0), ("option6", "B", 0), ("option6Value", "H", 0), ("option7", "B", 0),
         ("option3", "b", 0), ("option4", "B", 0), ("option4Value", "i", 0), ("itemKind", "b", 0),
         ("itemIndex", "H", 0), ("option5", "B", 0)]
BLOCK_NEW = {"option7": 1, "option3": -1}
# Inherit group of each block field (the base reference has none).
BLOCK_GROUPS = {"condMode": 1, "condOption": 1, "graphic": 2, "graphicSource": 2, "graphicWord": 2, "option1": 3,
                "option2": 4, "option6": 5, "option6Value": 5, "option7": 6, "option3": 7, "option4": 8,
                "option4Value": 8, "itemKind": 9, "itemIndex": 9, "option5": 10}


def block(v, values, name="", column=0, row=0, flags=None, conds=()):
    flags = bytes(11) if flags is None else bytes(flags)
    tail = struct.pack("<HH", column & 0xFFFF, row & 0xFFFF) + u32(len(flags)) + flags + counted(list(conds))
    return body(fields_of(BLOCK, v, values, BLOCK_NEW), [name], tail)


# Character fields by number (3 is the name): letter, gate, inherit group.
CHARACTER = {1: ("b", 0, None), 2: ("H", 0, None), 4: ("B", 0, 4), 5: ("B", 0, 4), 6: ("B", 0, 5),
             7: ("B", 0, 6), 8: ("h", 0, 7), 9: ("h", 0, 7), 10: ("h", 0, 8), 11: ("h", 0, 8), 12: ("B", 0, 7),
             13: ("B", 0, 8), 14: ("h", 0, 9), 15: ("B", 0, 9), 16: ("H", 0, 9), 17: ("h", 0, 10),
             18: ("B", 0, 11), 19: ("B", 0, 12), 20: ("h", 0, 13), 21: ("B", 196, 13), 22: ("B", 0, 13),
             23: ("h", 0, 14), 24: ("B", 196, 14), 25: ("B", 0, 15), 26: ("H", 0, 15), 27: ("B", 0, 1),
             28: ("B", 0, 1), 29: ("B", 0, 2), 30: ("B", 0, 3), 31: ("B", 0, 17), 32: ("B", 0, 16),
             33: ("B", 0, 18), 34: ("B", 285, 18), 35: ("B", 0, 19), 36: ("b", 0, 20), 37: ("B", 210, 21),
             38: ("B", 0, 22), 39: ("B", 0, 22), 40: ("i", 0, 23), 41: ("i", 0, 24), 42: ("h", 0, 31),
             43: ("B", 201, 25), 44: ("i", 0, 26), 45: ("B", 0, 27), 46: ("H", 0, 28), 47: ("i", 168, 29),
             48: ("B", 0, 30), 49: ("i", 0, 34), 50: ("B", 0, 35), 51: ("B", 0, 33), 52: ("h", 0, 33),
             53: ("B", 0, 32), 54: ("B", 0, 32)}
CHARACTER_TABLE = [(n, CHARACTER[n][0], CHARACTER[n][1]) for n in sorted(CHARACTER)]
CHARACTER_NEW = {15: 1, 18: 3, 22: 1, 27: 1, 29: 1, 32: 1, 36: 1, 40: 10, 42: 10, 50: 1}


def character(v, values, name="", column=0, row=0, placed=0, flags=None, conds=(), flows=()):
    flags = bytes(37) if flags is None else bytes(flags)
    tail = struct.pack("<HHi", column & 0xFFFF, row & 0xFFFF, placed) + u32(len(flags)) + flags
    tail += counted(list(conds)) + counted(list(flows))
    return body(fields_of(CHARACTER_TABLE, v, values, CHARACTER_NEW), [name], tail)


ITEM = [("baseKind", "b", 0), ("baseIndex", "H", 0), ("condMode", "B", 0), ("condOption", "B", 0), ("p6", "H", 0),
        ("p7", "H", 0), ("graphic", "H", 0), ("graphicSource", "B", 0), ("graphicWord", "H", 0), ("p11", "B", 0),
        ("p12", "B", 0), ("p13", "B", 0), ("p14", "H", 0), ("p15", "B", 0), ("p16", "B", 0), ("p17", "B", 0),
        ("sound", "H", 0)]
ITEM_NEW = {"graphicSource": 2, "p11": 6, "p15": 1, "p17": 1}
ITEM_GROUPS = {"condMode": 1, "condOption": 1, "p6": 2, "p7": 3, "graphic": 4, "graphicSource": 4, "graphicWord": 4,
               "p11": 5, "p12": 6, "p13": 7, "p14": 7, "p17": 8, "p16": 9, "p15": 10, "sound": 11}


def item(v, values, name="", column=0, row=0, flags=None, conds=(), cmds=()):
    flags = bytes(13) if flags is None else bytes(flags)
    tail = struct.pack("<HH", column & 0xFFFF, row & 0xFFFF) + u32(len(flags)) + flags
    tail += counted(list(conds)) + counted(list(cmds))
    return body(fields_of(ITEM, v, values, ITEM_NEW), [name], tail)


STAGE_NEW = {13: 60, 15: 200, 16: 20, 21: 0.4, 22: 10, 27: 1, 30: 1, 33: 1, 34: 1, 35: 1, 36: 16, 37: 24, 38: 16,
             39: 16, 40: 16, 41: 24, 42: 16, 43: 16, 44: 12, 45: 8, 46: 16, 47: 16, 48: 1, 50: 1, 60: 16, 61: 24,
             62: 16, 63: 16, 64: 12, 65: 24, 66: 12, 67: 16, 68: 30, 69: 30, 70: 1, 72: 1, 74: 28, 75: 28, 76: 16,
             77: 16, 78: 16, 79: 16, 80: 16, 81: 16, 82: 16, 83: 16, 84: 1, 94: 1, 95: 30, 97: 30}


def speed_fields(level, gravity):
    """Fields 87..93 as a stage derives them from its speed level and field 21."""
    tens = 11 <= level <= 19
    L = level - 10 if tens else level
    third = 60.0 if tens else 6.0 * L
    return {87: L, 88: float(L), 89: float(L * L), 90: third, 91: gravity / (L * L), 92: third / L, 93: 8 * L}


def stage_file(v, values, name, ranking, params, palettes, placed, backgrounds, texts, trailer=123456789,
               skipped=0):
    """A whole stage file of version v (a trailer word from 173 on)."""
    out = u32(v) + body(stage_fields(v, values), [name])
    out += u32(len(ranking)) + b"".join(u32(w) for w in ranking)
    out += b"".join(stage_param(v, p) for p in params)
    for lst in palettes:
        out += counted(lst)
    for lst in placed:
        out += u32(len(lst)) + b"".join(u32(skipped) + e for e in lst)
    out += counted(backgrounds) + counted([body([], [t]) for t in texts])
    if v >= 173:
        out += u32(trailer)
    return out


def palette_file(v, blocks, characters, items):
    return u32(v) + body([]) + counted(blocks) + counted(characters) + counted(items)


def distinct(table, seed, news=None):
    """A value for every field of `table`, none equal to the field's value in
    a new record, all different from one record to the next (by `seed`)."""
    news = news or {}
    out = {}
    for i, (name, fmt, _) in enumerate(table):
        s = seed * 31 + i * 7 + 3
        if fmt == "b":
            v = 2 + s % 60
        elif fmt == "B":
            v = 2 + s % 200
        elif fmt == "h":
            v = -(2 + s % 3000) if i % 3 == 0 else 2 + s % 3000
        elif fmt == "H":
            v = 2 + (s * 37) % 60000
        elif fmt == "i":
            v = -(s * 100003 + 7) if i % 2 else s * 100003 + 7
        else:
            v = s + 0.375
        if v == news.get(name, 0):
            v += 1
        out[name] = v
    return out


STAGE_TABLE = [(k, "d" if k in DOUBLE_FIELDS else "i", GATES.get(k, 0)) for k in range(1, 99)]


def full_conditions(seed, n=2):
    conds = []
    for j in range(n):
        c = distinct(COND_873, seed + j)
        c.update(op=1 + (seed + j) % 7, percent=1, last=3 + j)
        conds.append(cond(873, c))
    return conds


def full_keys(seed):
    return [flow_key(1 + seed % 2, 100 + seed, 200 + seed, 3, 4, [(seed + k) % 2 for k in range(19)])]


# Sword type 0 of the full project's database: its entries' tenth values,
# whose sum is the duration of every sword command that uses the type.
def full_sword_values(k):
    return [j + 2 + k for j in range(10)]


FULL_SWORD_DURATION = sum(full_sword_values(k)[9] for k in range(2))


def full_command(family, kind, seed, palette, nested=True):
    """Command `kind` with every field set, the words its kind has, the
    objects it uses and indices inside a new project's database lists.
    `palette`: 0 for references to the common palette, 1 for the stage's."""
    flow_kind = kind if family == 0 else (kind + 15 if kind >= 2 else -1)
    count = (FLOW_WORDS if family == 0 else ITEM_WORDS)[kind]
    words = [(seed * 11 + j * 5 + 2) for j in range(count)]
    if flow_kind == 26:
        words = [4, 1, 7]
    elif flow_kind == 27:
        words = [0]
    elif flow_kind in (28, 29, 30, 31, 32, 35, 36):
        words[0] = 1
    elif flow_kind == 25:
        words = [palette, 1]
    values = {"duration": FULL_SWORD_DURATION if flow_kind == 12 else 300 + seed, "word": 40 + seed, "together": 1,
              "sound": 1,
              "option": 2, "anime": 1}
    mv = sh = cl = None
    flows = []
    if family == 0 and 2 <= kind <= 8 or flow_kind == 20:
        m = distinct(MOVE, seed, MOVE_NEW)
        m["f31"] = -2.5 - seed
        mv = move(873, m)
    if family == 0 and 11 <= kind <= 15:
        s = distinct(SHOT, seed, SHOT_NEW)
        s.update(f26=2, f52=1, f53=2 if palette else 1, f54=1, f58=palette, f59=1)
        if kind == 12:
            s["f28"] = 0  # the one sword type of a new project
        sh = shot(873, s)
    if family == 0 and kind == 16:
        cl = cond_list(873, 1, 2, full_conditions(seed, 2))
        if nested:
            flows = [flow(873, {"group": 1, "trigger": 22, "keyTolerance": 2},
                          conds=full_conditions(seed + 5, 1), keys=full_keys(seed),
                          cmds=[full_command(0, 35, seed + 1, palette, False)])]
    return cmd(873, family, kind, words, values, "コード%d" % seed if flow_kind == 37 else "", mv, sh, cl, flows)


def full_flows(palette, seed):
    values = {"group": 2, "exclusive": 3, "condMode": 1, "once": 1, "trigger": 4, "targetOther": 1,
              "targetSlot": 2, "keyTolerance": 5, "keyOption": 1}
    cmds_a = [full_command(0, k, seed + k, palette) for k in range(0, 20)]
    cmds_b = [full_command(0, k, seed + k, palette) for k in range(20, 40)]
    return [flow(873, values, full_conditions(seed), full_keys(seed), cmds_a),
            flow(873, dict(values, trigger=21, group=26), [], full_keys(seed + 1), cmds_b)]


def full_item_commands(palette, seed):
    return [full_command(1, k, seed + k, palette) for k in range(25)]


def full_block(seed, base_kind, item_kind, flags):
    b = distinct(BLOCK, seed, BLOCK_NEW)
    b.update(baseKind=base_kind, baseIndex=1, graphicSource=1, itemKind=item_kind, itemIndex=1)
    return b, flags


def full_character(seed, base_kind, control=1, graphic=5, base_index=1):
    c = distinct(CHARACTER_TABLE, seed, CHARACTER_NEW)
    # Indices within a new project's lists: one animation set, two of
    # everything else.
    c.update({1: base_kind, 2: base_index, 14: graphic, 15: 2, 17: 0, 20: 1, 23: 1, 27: control, 36: 4, 46: 1})
    if control == 0:
        c.update({7: 0, 35: 0})  # a player character has neither
    return c


def full_item(seed, base_kind):
    i = distinct(ITEM, seed, ITEM_NEW)
    i.update(baseKind=base_kind, baseIndex=1, sound=1, p17=3, graphicSource=1)
    return i


def new_block_entry(conds=()):
    # Entry 0 as loading leaves it: a new type whose graphic 0 turns options
    # seven and five off; its conditions stay as read.
    return block(873, {"option7": 0}, conds=conds)


def write_full(root):
    """Version-873 files with a non-default value in every field, in the form
    the runtime writes them back after loading the project's database
    (references inside a new project's lists, a sword's duration from its
    type's entries, flow names empty, no test-play flows, derived stage
    fields as derived),
    so that a resave gives the same bytes."""
    d = os.path.join(root, "full")
    # ---- the ten database files ----
    anime_values = [(-3, 9, 4), (5, 200, -7)]
    animes = [anime(873, "アニメ%d\r\n行" % n, [anime_frame(n * 3 + j, 2 + j, j % 2) for j in range(3)],
                    anime_values[n % 2]) for n in range(3)]
    db = {
        "AnimeSet.dat": [anime_set(873, "セット%d" % n, animes[:2 + n], (5 + n, 9 + n, 3 + n)) for n in range(2)],
        "Anime.dat": animes,
        "Bmp_CharaExc.dat": [body([("i", 10 + n), ("i", -20 - n), ("i", 30 + n)], ["専用%d" % n, "bmp\\chara%d.bmp" % n])
                             for n in range(3)],
        "SwordType.dat": [body([("i", 40 + n)], ["ソード%d" % n, "二%d" % n, "三%d" % n],
                               counted([sword_entry(873, [n * 10 + v for v in full_sword_values(k)])
                                        for k in range(2)]))
                          for n in range(2)],
        "Effect.dat": [body([("i", 50 + n), ("i", 48), ("i", 40 + n), ("i", 2 + n)], ["効果%d" % n, "bmp\\fx%d.bmp" % n],
                            counted([body([("i", c), ("i", 3 + c)]) for c in range(n + 2)])) for n in range(2)],
        "CharaEffect.dat": [effect_definition(1 + n * 5, (6 + n, 1, 30, 3, 2), "キャラ効果%d" % n) for n in range(3)],
        "ScrEffect.dat": [effect_definition(2 + n * 4, (12 + n, 3, 5, 7, 9), "画面効果%d" % n) for n in range(3)],
        "Picture.dat": [numbered(873, 151, 60 + n, "絵%d" % n, "bmp\\pic%d.bmp" % n) for n in range(2)],
        "Sound.dat": [numbered(873, 151, 70 + n, "音%d" % n, "wave\\s%d.wav" % n) for n in range(2)],
        "Bgm.dat": [bgm(873, 80 + n, 90 + n, "曲%d" % n, "bgm\\t%d.mid" % n) for n in range(2)],
    }
    for name, elements in db.items():
        write(os.path.join(d, "data", "database", name), database_file(873, elements))

    # ---- the common palette: references to itself (kind 1), flags all 0 ----
    b1, _ = full_block(1, 1, 1, None)
    blocks = [new_block_entry(full_conditions(90, 1)), block(873, b1, "共通ブロック", 5, 6, None, full_conditions(91))]
    chars = [character(873, {}, conds=full_conditions(92, 1), flows=full_flows(0, 93)[:1]),
             character(873, full_character(2, 1), "共通キャラ", 7, 8, 3, None, full_conditions(94), full_flows(0, 95))]
    items = [item(873, {}, cmds=full_item_commands(0, 96)[:2]),
             item(873, full_item(3, 1), "共通アイテム", 9, 10, None, full_conditions(97), full_item_commands(0, 98))]
    write(os.path.join(d, "data", "CommonPalette.cplt4"), palette_file(873, blocks, chars, items))

    # ---- a stage: references to its own palette (kind 2) ----
    values = distinct(STAGE_TABLE, 4, STAGE_NEW)
    values.update({1: 60, 4: 30, 9: 35, 10: 55, 11: 10, 12: 25, 13: 50, 21: 0.75, 22: 15, 24: 1})
    values.update(speed_fields(15, 0.75))
    b1, _ = full_block(5, 2, 2, None)
    b2 = dict(distinct(BLOCK, 6, BLOCK_NEW), baseKind=2, baseIndex=1, graphicSource=1, itemKind=0, itemIndex=0)
    b2["option1"] = b1["option1"]  # group 3 comes from entry 1
    flags_b2 = [1 if g in (0, 3) else 0 for g in range(11)]
    palette_blocks = [new_block_entry(full_conditions(10, 1)),
                      block(873, b1, "ブロック１", 1, 2, [1, 0, 1, 0, 0, 0, 0, 0, 1, 0, 1], full_conditions(11)),
                      block(873, b2, "ブロック１", 3, 4, flags_b2, full_conditions(12, 1))]
    palette_chars = [character(873, {}, conds=full_conditions(13, 1), flows=full_flows(1, 14)[1:]),
                     character(873, full_character(7, 2), "敵", -1, -2, 0, [1] * 37, full_conditions(15),
                               full_flows(1, 16)),
                     character(873, full_character(8, 1, control=0, base_index=0), "主人公", 0, 0, -1, [0, 1] * 18 + [1],
                               [], full_flows(1, 17)[:1])]
    palette_items = [item(873, {}, cmds=full_item_commands(1, 18)[3:5]),
                     item(873, full_item(9, 2), "コイン", 11, 12, [1] * 13, full_conditions(19),
                          full_item_commands(1, 20))]
    placed_blocks = [block(873, dict(b1, baseIndex=2), "", c, r, None, []) for c, r in ((0, 29), (59, 29), (-1, 3))]
    placed_chars = [character(873, full_character(21, 2, control=0), "主人公", 3, 25, 0, None, [], full_flows(1, 22)),
                    character(873, full_character(23, 2), "敵", 30, 25, -1, None, full_conditions(24), [])]
    placed_items = [item(873, full_item(25, 2), "コイン", 10, 20, None, [], full_item_commands(1, 26)[:3])]
    backgrounds = [background(873, 0, 17, 3, "bmp\\WorldBack.bmp", (0.5, -0.25), (1, 1), (12.5, 3.0), 2),
                   background(873, 1, 18, 4, "", (1.5, 2.25), (0, 1), (-1.0, 7.75), 3)]
    write(os.path.join(d, "data", "stg4", "full.stg4_1"), stage_file(
        873, values, "フルステージ", [0, 1, 0, 1, 0, 1],
        [tuple((p * 8 + j) * (-1) ** j for j in range(8)) for p in range(1, 6)],
        [palette_blocks, palette_chars, palette_items], [placed_blocks, placed_chars, placed_items],
        backgrounds, ["テキスト１", "", "二行の\r\nテキスト"]))


# ---- older versions: the same stored values written in each version's layout ----

# Conditions of flow 0 of palette character 1, in this order.
PROBE_CONDS = [
    dict(kind=1, op=2, percent=1, last=9),                             # 0: percent byte from 43
    dict(kind=1, constant=-5, rmin=11, rmax=12, subject=1, field=3, left=2, scope=1, var=300, rsrc=3, rsubj=1,
         rfield=4, rvkind=1, rvar=301, op=1),                          # 1: layout of 110
    dict(kind=5),                                                      # 2: kinds from 5 up two below 160
    dict(kind=6, field=2, op=2),                                       # 3: operator flipped below 161
    dict(kind=4, field=10, rsrc=2, rfield=10),                         # 4: status fields below 168
    dict(kind=4, field=5),                                             # 5: ... and below 203
    dict(kind=5, field=6),                                             # 6: status 2 fields below 210
    dict(kind=7, subject=3),                                           # 7: distance subject below 657
    dict(kind=7, left=4),                                              # 8: distance left side below 745
    dict(kind=7, rsrc=3, rsubj=2),                                     # 9: distance right side below 746
    dict(kind=4, subject=2, rsubj=3),                                  # 10: subjects below 767
]

S = 9  # the stored value of fields that older layouts lack


def probe_commands(v):
    """Flow 1 of palette character 1: one command per migration row."""
    w19 = [3] + list(range(1, 18))
    status = [0] * 18
    status[3], status[6], status[12] = 2, 2, 2
    shot_values = dict(f20=5, f10=S, f56=4, f57=S, f28=5, f31=S, f34=S, f35=S, f36=S, f45=4, f46=S, f4=S, f63=S,
                       f64=S, f7=S, f30=S)
    move_values = dict(f1=2, f3=7, f4=8, f5=0, f26=S, f20=S, f32=1, f33=S)
    return [
        cmd(v, 0, 35, [2, 0]),                                      # 0: BGM word 1 below 166 (35: 36 below 734)
        cmd(v, 0, 22, [0, 0, 0, 1, 10, 0, 2, 0, 0, 0, 0, 0, 1, 10, 0, 0, 0, 0]),  # 1: status fields 168, 203
        cmd(v, 0, 21, list(range(1, 17))),                          # 2: target words 189, 747, 767
        cmd(v, 0, 31, list(range(1, 16))),                          # 3: picture words 194 .. 723
        cmd(v, 0, 29, [1, 2, 3]),                                   # 4: graphic effect words below 195
        cmd(v, 0, 23, [1, 6, 0, 0, 0]),                             # 5: status 2 below 210
        cmd(v, 0, 25, [3, 7, 0]),                                   # 6: graphic change below 219
        cmd(v, 0, 11, [], sh=shot(v, shot_values)),                 # 7: shot object
        cmd(v, 0, 5, [], mv=move(v, move_values)),                  # 8: charge move below 514, move object
        cmd(v, 0, 19, w19),                                         # 9: message words 546 .. 723
        cmd(v, 0, 17, [2, 0, 0, 0, 0, 0, 0, 0, 0]),                 # 10: stage clear below 722
        cmd(v, 0, 37, [0, 3, 0, 0, 0]),                             # 11: arrange below 726
        cmd(v, 0, 37, [11, 14, 0, 0, 0]),                           # 12: arrange below 727
        cmd(v, 0, 37, [24, 0, 0, 0, 0]),                            # 13: renumbering of 734
        cmd(v, 0, 24, [1, 2, 3]),                                   # 14: renumbering of 734
        cmd(v, 0, 16, [1, 2, 3, 4], cl=cond_list(v, 1, 2, [cond(v, dict(kind=2, constant=6))])),  # 15: 760 .. 766
        cmd(v, 0, 9, [4]),                                          # 16: facing below 767
        cmd(v, 0, 20, [], mv=move(v, dict(f1=2))),                  # 17: warp below 767
        cmd(v, 0, 22, status),                                      # 18: status subjects below 767
        cmd(v, 0, 23, [2, 0, 0, 0, 0]),                             # 19: status 2 below 767
        cmd(v, 1, 2, [2, 0, 0, 0, 0, 0, 0, 0, 0]),                  # 20: item stage clear below 722
        cmd(v, 1, 9, [1, 2, 3]),                                    # 21: item kinds of 734
        cmd(v, 1, 22, [24, 0, 0, 0, 0]),                            # 22: item arrange of 734
    ]


def probe_flows(v):
    key = [flow_key(0, 0, 0, 0, 0, [1] * 19)]
    return [
        flow(v, dict(trigger=1), [cond(v, c) for c in PROBE_CONDS], key),   # 0: the conditions
        flow(v, dict(trigger=2), [], key, probe_commands(v)),              # 1: the commands
        flow(v, dict(trigger=11), [], key, name="名前"),                    # 2: trigger 131
        flow(v, dict(trigger=1, exclusive=5), [], key),                    # 3: exclusive flag 163
        flow(v, dict(trigger=5), [], key),                                 # 4: trigger 164
        flow(v, dict(trigger=18, targetOther=S, targetSlot=S), [], key),   # 5: trigger 762, gates 762, 767
        flow(v, dict(trigger=3, testPlay=1), [], key),                     # erased: test play only
    ]


def probe_palette_lists(v):
    blocks = [block(v, {}), block(v, dict(graphicSource=3, graphic=119)), block(v, dict(graphicSource=3, graphic=5))]
    chars = [character(v, {}),
             character(v, {27: 1}, "フロー", flows=probe_flows(v)),
             character(v, {47: S, 21: S, 24: S, 43: 2, 37: S, 34: S, 15: 3, 14: 5, 27: 1})]
    items = [item(v, {}), item(v, dict(graphicSource=3, graphic=5))]
    return blocks, chars, items


def probe_stage(v):
    values = dict(STAGE_NEW)
    values.update({1: 100, 4: 40, 9: 500, 21: 0.5, 22: 15, 24: 7, 40: 20, 41: 28, 64: 11, 65: 23})
    for k, gate in GATES.items():
        values[k] = S
    palettes = probe_palette_lists(v)
    hero = character(v, {14: 5, 27: 0}, "主人公", 3, 4, -1)
    return stage_file(v, values, "検査", [1, 1, 1], [tuple(range(1, 9))] * 5, list(palettes),
                      [[block(v, dict(graphic=3), "", 1, 2)], [hero], []],
                      [background(v, 0, 16, 2, "bg.bmp", (0.25, 0.25), (1, 0), (5.5, 6.5), 3)], ["一", "二"],
                      trailer=5 if v == 173 else 123456789)


STAGE_PROBE_VERSIONS = sorted({v for x in (43, 55, 61, 62, 110, 125, 132, 145, 155, 158, 159, 160, 161, 162, 163, 164,
                                           166, 168, 173, 174, 181, 183, 184, 189, 194, 195, 196, 197, 199, 200, 201,
                                           203, 206, 210, 211, 212, 213, 219, 220, 225, 285, 514, 545, 546, 547, 556,
                                           636, 657, 671, 676, 722, 723, 726, 727, 734, 745, 746, 747, 754, 760, 762,
                                           764, 766, 767, 820, 830, 873) for v in (x - 1, x)})

DB_PROBE_VERSIONS = sorted({v for x in (55, 119, 128, 138, 151, 152, 153, 172, 511, 814, 828) for v in (x - 1, x)} |
                           {873})


def probe_database(v):
    animes = [anime(v, "a%d" % n, [anime_frame(n, 2, 0)], (-3, S, 4)) for n in range(5)]
    sets = [anime_set(v, "set", animes, (5, 6, S))]
    swords = [body(([("i", 1000 + n)] if v >= 151 else []), ["剣%d" % n, "", ""],
                   counted([sword_entry(v, [n, 2, S, S, 5, 6, 7, 8, 9, 10])])) for n in range(130)]
    effects = [body(([("i", S)] if v >= 151 else []) + [("i", 48), ("i", 40), ("i", 1)], ["e", ""],
                    counted([body([("i", 3), ("i", 4)])])) for _ in range(2)]
    exc = [body(([("i", S)] if v >= 152 else []) + ([("i", S), ("i", S)] if v >= 172 else []), ["x", "y"])
           for _ in range(2)]
    return {
        "AnimeSet.dat": sets,
        "Anime.dat": animes[:2],
        "Bmp_CharaExc.dat": exc,
        "SwordType.dat": swords,
        "Effect.dat": effects,
        "CharaEffect.dat": [effect_definition(0, (1, 2, 3, 4, 5), "none"), effect_definition(4, (5, 0, 32, 2, 77), "w"),
                            effect_definition(10, (5, 32, 0, 55, 66), "c")],
        "ScrEffect.dat": [effect_definition(0, (1, 2, 3, 4, 5), "none"), effect_definition(7, (10, 0, 480, 4, 77), "w"),
                          effect_definition(10, (10, 640, 0, 99, 0), "c")],
        "Picture.dat": [numbered(v, 151, S, "p0"), numbered(v, 151, S, "p1")],
        "Sound.dat": [numbered(v, 151, S, "s0"), numbered(v, 151, S, "s1")],
        "Bgm.dat": [bgm(v, S, S, "b0"), bgm(v, S, S, "b1")],
    }


def write_probes(root):
    for v in STAGE_PROBE_VERSIONS:
        write(os.path.join(root, "probe", "stg4", "v%d.stg4_1" % v), probe_stage(v))
        write(os.path.join(root, "probe", "cplt4", "v%d.cplt4" % v), palette_file(v, *probe_palette_lists(v)))
    for v in DB_PROBE_VERSIONS:
        for name, elements in probe_database(v).items():
            write(os.path.join(root, "probe", "db%d" % v, "data", "database", name), database_file(v, elements))


def write_special(root):
    """Files the loaders refuse, each with its message."""
    d = os.path.join(root, "special")
    # A database whose Anime.dat is newer than the program.
    for name, elements in probe_database(873).items():
        write(os.path.join(d, "toonew", "data", "database", name), database_file(874 if name == "Anime.dat" else 873,
                                                                                  elements))
    # A current stage whose trailer is broken, and one without a hero (its
    # player character has no graphic; the other is the computer's).
    good = probe_stage(873)
    write(os.path.join(d, "data", "stg4", "broken.stg4_1"), good[:-4] + u32(123456788))
    no_hero = stage_file(873, {**STAGE_NEW, 1: 40, 4: 15}, "主人公なし", [1] * 5, [(0,) * 8] * 5, [[], [], []],
                         [[], [character(873, {14: 0, 27: 0}), character(873, {14: 5, 27: 1})], []],
                         [background(873, 1, 16, 0, "")], [])
    write(os.path.join(d, "data", "stg4", "nohero.stg4_1"), no_hero)


# ---------------------------------------------------------------------------
# Hostile files: valid or broken files whose stored counts or inheritance
# would make a reader build far more than the file holds.
# ---------------------------------------------------------------------------

INHERITED_FLOWS = 20000   # flows of the base character type
INHERITING_TYPES = 400    # types that take them (inherit group 36)


def normal_stage(palettes, placed, texts=(), name="hostile"):
    """A version-873 stage as our writer stores it (derived fields as derived,
    palette lists of two entries at least, entry 0 the plain new type)."""
    values = dict(STAGE_NEW)
    values.update({1: 40, 4: 15})
    values.update(speed_fields(10, 0.4))
    hero = character(873, {14: 5, 27: 0}, "hero", 3, 4, -1)
    palettes = [palettes[0] or [new_block_entry(), new_block_entry()],
                palettes[1] or [character(873, {}), character(873, {})],
                palettes[2] or [item(873, {}), item(873, {})]]
    return stage_file(873, values, name, [1] * 5, [(0,) * 8] * 5, palettes, [[], [hero], []] if placed is None
                      else placed, [background(873, 1, 16, 0, "")], list(texts))


def inherited_flow_chunks(expanded):
    """The inheritance stage in pieces (each type's flow list repeated, not
    built INHERITING_TYPES times over): the file as written (expanded False,
    the inheriting types with no flows of their own) or as a resave holds it
    (expanded True: each inheriting type with the base's flows)."""
    one_flow = flow(873, dict(trigger=1))  # not blank: blank flows are dropped
    flows = counted_flows = u32(INHERITED_FLOWS) + one_flow * INHERITED_FLOWS
    flags = [0] * 36 + [1]
    heir_head = character(873, {1: 2, 2: 1}, "heir", flags=flags)[:-4]  # without its (empty) flow count
    heir = heir_head + (counted_flows if expanded else u32(0))
    base = character(873, {}, "base")[:-4] + flows
    chars = u32(2 + INHERITING_TYPES)
    whole = normal_stage([None, [character(873, {}), b"<BASE>"], None], None)
    start = whole.index(u32(2) + character(873, {}) + b"<BASE>")
    head, tail = whole[:start], whole[start + len(u32(2) + character(873, {}) + b"<BASE>"):]
    yield head + chars + character(873, {}) + base
    for _ in range(INHERITING_TYPES):
        yield heir
    yield tail


def write_hostile(root, megabytes):
    d = os.path.join(root, "hostile")
    big = megabytes << 20
    # Junk up to the size, closed by the trailer (which is checked before a
    # stage is read at all).
    pad = lambda data, size: data + b"\x01" * max(0, size - len(data) - 4) + u32(123456789)
    # Inheritance: one type with 20,000 flows, 400 types taking them (about
    # 730 KB); the same with an item's commands (inherit group 12).
    write(os.path.join(d, "inherit_flows.stg4_1"), b"".join(inherited_flow_chunks(False)))
    command = cmd(873, 1, 0, [])
    base_item = item(873, {}, "base")[:-4] + u32(INHERITED_FLOWS) + command * INHERITED_FLOWS
    flags = [0] * 12 + [1]
    heir_item = item(873, {"baseKind": 2, "baseIndex": 1}, "heir", flags=flags)
    write(os.path.join(d, "inherit_commands.stg4_1"),
          normal_stage([None, None, [item(873, {}), base_item] + [heir_item] * INHERITING_TYPES], None))
    # A stage: the condition list of a palette block states more conditions
    # than follow; once far more than the bytes left can hold, once as many
    # as the smallest bodies (8 bytes) could fill but the bytes are junk.
    def lying_conditions(count_of):
        head = normal_stage([[new_block_entry(), b"<BLOCK>"], None, None], None)
        at = head.index(b"<BLOCK>")
        probe = head[:at] + block(873, {"graphic": 1})[:-4]
        count = count_of(big - len(probe) - 4)
        return pad(probe + u32(count), big)
    write(os.path.join(d, "conditions_beyond.stg4_1"), lying_conditions(lambda left: left))
    write(os.path.join(d, "conditions_junk.stg4_1"), lying_conditions(lambda left: left // 8))
    # Palette and placed lists whose counts the junk after them cannot hold.
    head = normal_stage([None, None, None], None)
    blocks_at = head.index(u32(2) + new_block_entry())
    write(os.path.join(d, "palette_count.stg4_1"),
          pad(head[:blocks_at] + u32((big - blocks_at) // 20), big))
    placed_at = head.index(u32(0) + u32(1) + u32(0) + character(873, {14: 5, 27: 0}, "hero", 3, 4, -1))
    write(os.path.join(d, "placed_count.stg4_1"), pad(head[:placed_at] + u32((big - placed_at) // 24), big))
    # A valid stage of nothing but empty texts (12 bytes each).
    texts = (big - len(head)) // 12
    empty_texts = normal_stage([None, None, None], None, name="texts")
    text_at = len(empty_texts) - 8  # the text count, then the trailer
    write(os.path.join(d, "empty_texts.stg4_1"),
          empty_texts[:text_at] + u32(texts) + body([], [""]) * texts + empty_texts[-4:])
    # Database files: many animation sets that a reader must not give four
    # default animations each; a sword type with millions of entries.
    sets = (big - 8) // 28
    write(os.path.join(d, "db", "AnimeSet.dat"), u32(873) + u32(sets) + anime_set(873, "", []) * sets)
    entries = (big - 40) // 8
    write(os.path.join(d, "db", "SwordType.dat"),
          u32(873) + u32(1) + body([("i", 1)], ["", "", ""]) + u32(entries) + body([]) * entries)


def write_heirs(root, flows, placed):
    """One stage character type of `flows` flows, placed `placed` times by
    characters that take its flows (group 36) and hold none of their own, 20
    to a row from (2, 2), on a stage wide and high enough for them all."""
    one_flow = flow(873, dict(trigger=1))  # not blank: blank flows are dropped
    base = character(873, {}, "base")[:-4] + u32(flows) + one_flow * flows
    flags = [0] * 36 + [1]
    heirs = [character(873, {1: 2, 2: 1, 14: 5, 27: 1}, "heir", 2 + i % 20, 2 + i // 20, -1, flags=flags)
             for i in range(placed)]
    hero = character(873, {14: 5, 27: 0}, "hero", 0, 0, -1)
    stage = normal_stage([None, [character(873, {}), base], None], [[], [hero] + heirs, []], name="heirs")
    # The stage's sides: fields 1 and 4 (bytes 8 and 20 of the file).
    stage = stage[:8] + u32(24) + stage[12:20] + u32(placed // 20 + 20) + stage[24:]
    write(os.path.join(root, "data", "stg4", "heirs.stg4_1"), stage)


def check_inherited_resave(path):
    """Compares a resave of hostile/inherit_flows.stg4_1 with the stage as the
    format stores it, piece by piece (the file is hundreds of megabytes)."""
    with open(path, "rb") as f:
        for chunk in inherited_flow_chunks(True):
            if f.read(len(chunk)) != chunk:
                return 1
        return 0 if f.read(1) == b"" else 1


def main():
    if len(sys.argv) == 3 and sys.argv[2] == "--check-inherited-resave":
        sys.exit(check_inherited_resave(sys.argv[1]))
    if len(sys.argv) == 5 and sys.argv[2] == "--heirs":
        write_heirs(sys.argv[1], int(sys.argv[3]), int(sys.argv[4]))
        return
    if len(sys.argv) == 4 and sys.argv[2] == "--hostile":
        write_hostile(sys.argv[1], int(sys.argv[3]))
        return
    if len(sys.argv) != 2:
        sys.exit("usage: project_writer.py OUTDIR [--hostile MB]")
    write_database(sys.argv[1])
    write_stages(sys.argv[1])
    write_full(sys.argv[1])
    write_probes(sys.argv[1])
    write_special(sys.argv[1])


if __name__ == "__main__":
    main()
