#!/usr/bin/env python3
"""Writes a PNG of an X window dump (XWD, as Xvfb keeps its screen with
-fbdir and as xwd writes it): 24 or 32 bits per pixel, true colour.
Optionally cut to a rectangle: xwd_to_png.py IN.xwd OUT.png [X Y W H]."""
import struct
import sys
import zlib


def read_xwd(path):
    with open(path, "rb") as f:
        data = f.read()
    # The header is 25 big-endian words (the byte order field says how the
    # pixels are stored, not the header).
    if len(data) < 100:
        raise ValueError("not an XWD file: too short")
    fields = struct.unpack(">25I", data[:100])
    (header_size, version, _fmt, _depth, width, height, _xoff, byte_order, _unit, _bit_order, _pad,
     bits_per_pixel, bytes_per_line, _visual, red_mask, green_mask, blue_mask, _bits_rgb, _cmap_entries,
     ncolors) = fields[:20]
    if version != 7:
        raise ValueError("not an XWD file: version %d" % version)
    if bits_per_pixel not in (24, 32):
        raise ValueError("%d bits per pixel is not supported" % bits_per_pixel)
    offset = header_size + ncolors * 12
    if width <= 0 or height <= 0 or offset + bytes_per_line * height > len(data):
        raise ValueError("XWD file is cut short")
    step = bits_per_pixel // 8
    order = "<" if byte_order == 0 else ">"

    def shift_of(mask):
        shift = 0
        while mask and not (mask >> shift) & 1:
            shift += 1
        return shift

    shifts = [shift_of(m) for m in (red_mask, green_mask, blue_mask)]
    rows = []
    # The usual layout (32-bit little-endian 0x00RRGGBB) is taken apart by
    # slices, a whole row at a time.
    plain = step == 4 and byte_order == 0 and (red_mask, green_mask, blue_mask) == (0xFF0000, 0xFF00, 0xFF)
    for y in range(height):
        line = data[offset + y * bytes_per_line: offset + y * bytes_per_line + width * step]
        if plain:
            row = bytearray(width * 3)
            row[0::3], row[1::3], row[2::3] = line[2::4], line[1::4], line[0::4]
            rows.append(row)
            continue
        if step == 4:
            values = struct.unpack(order + "%dI" % width, line)
        else:
            values = [int.from_bytes(line[i:i + 3], "little" if byte_order == 0 else "big")
                      for i in range(0, len(line), 3)]
        row = bytearray()
        for v in values:
            row += bytes(((v & red_mask) >> shifts[0], (v & green_mask) >> shifts[1],
                          (v & blue_mask) >> shifts[2]))
        rows.append(row)
    return width, height, rows


def write_png(path, width, height, rows):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    raw = b"".join(b"\x00" + bytes(r) for r in rows)
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 6)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def main(argv):
    if len(argv) not in (3, 7):
        print("usage: xwd_to_png.py IN.xwd OUT.png [X Y W H]", file=sys.stderr)
        return 2
    width, height, rows = read_xwd(argv[1])
    if len(argv) == 7:
        x, y, w, h = (int(v) for v in argv[3:7])
        x, y = max(0, x), max(0, y)
        w, h = max(1, min(w, width - x)), max(1, min(h, height - y))
        rows = [r[x * 3:(x + w) * 3] for r in rows[y:y + h]]
        width, height = w, h
    write_png(argv[2], width, height, rows)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
