#!/usr/bin/env python3
"""Writes the fixtures of ImageDecode.ImageMagickRle8AtEveryWidth (needs ImageMagick 6's convert; the tests do not).

rle8_seed.png      a 40x23 picture of 46 colours: a different colour down the first column (so every crop keeps
                   more than 16 colours and is stored with 8 bits), long runs, single pixels and black row ends
rle8_widths.bin    the files `convert CROP.png -colors 200 -type palette BMP3:OUT.bmp` writes for the crops of
                   widths 1 to 40 (full height), one after the other; each file's size is in its own header

ImageMagick encodes every row with its padding, so most of these files hold runs that reach past the row's end.
The script checks that each file's runs, cut at the row's end, give exactly the crop of the seed, and that
ImageMagick reads each file back as that crop. One exception is checked as such: at widths 1 and 2 ImageMagick
6.9.11's reader leaves the top 3 and 1 rows at colour 0 (it stops once a padding run reaches the end of its
buffer, before the last rows), though the file holds them; those rows are compared with the seed through the runs.
Run: python3 tests/platform/make_rle8_widths.py [CONVERT]   (from the repository's root)
"""
import os
import subprocess
import sys
import tempfile

W, H = 40, 23
HERE = os.path.dirname(os.path.abspath(__file__))


def seed_pixels():
    # Colours far apart so that quantizing to 200 colours keeps every one of them.
    firsts = [((37 * i) % 256, (90 + 53 * i) % 256, (200 + 71 * i) % 256) for i in range(H)]
    others = [(255 - 11 * i, 20 * i % 256, 128 + 5 * i) for i in range(22)]
    black = (0, 0, 0)
    rows = []
    state = 12345
    for y in range(H):
        row = [firsts[y]]
        kind = y % 4
        while len(row) < W:
            x = len(row)
            if kind == 0:  # one run to the row's end
                row.append(others[y % len(others)])
            elif kind == 1:  # single pixels
                state = (state * 1103515245 + 12345) & 0x7FFFFFFF
                row.append(others[(state >> 16) % len(others)])
            elif kind == 2:  # runs of 1 to 7, black from column 30 on
                row.append(black if x >= 30 else others[(x // (1 + y % 7)) % len(others)])
            else:  # two-pixel stripes, a black pixel at every fifth column
                row.append(black if x % 5 == 4 else others[(x // 2 + y) % len(others)])
        rows.append(row)
    return rows


def decode_rle8(data):
    """The file's pixels as RGB bytes, rows from the top; runs cut at the row's end."""
    width, height = int.from_bytes(data[18:22], "little"), int.from_bytes(data[22:26], "little")
    offset = int.from_bytes(data[10:14], "little")
    table = [bytes(reversed(data[54 + 4 * i:57 + 4 * i])) for i in range((offset - 54) // 4)]
    rows = [[0] * width for _ in range(height)]
    pos, x, y = offset, 0, 0
    while y < height:
        count, value = data[pos], data[pos + 1]
        pos += 2
        if count:
            for _ in range(count):
                if x < width:
                    rows[height - 1 - y][x] = value
                x += 1
        elif value == 0:
            x, y = 0, y + 1
        elif value == 1:
            break
        else:
            raise ValueError("ImageMagick wrote a code this check does not expect")
    return b"".join(table[i] for row in rows for i in row)


def run(args):
    return subprocess.run(args, check=True, stdout=subprocess.PIPE).stdout


def main():
    convert = sys.argv[1] if len(sys.argv) > 1 else "/usr/bin/convert"
    rows = seed_pixels()
    with tempfile.TemporaryDirectory() as tmp:
        ppm = os.path.join(tmp, "seed.ppm")
        with open(ppm, "wb") as f:
            f.write(b"P6 %d %d 255\n" % (W, H) + bytes(c for row in rows for px in row for c in px))
        seed_png = os.path.join(HERE, "rle8_seed.png")
        run([convert, ppm, "-strip", "PNG24:" + seed_png])
        bundle = b""
        for w in range(1, W + 1):
            crop, bmp = os.path.join(tmp, "crop.png"), os.path.join(tmp, "out.bmp")
            run([convert, seed_png, "-crop", "%dx%d+0+0" % (w, H), "+repage", crop])
            run([convert, crop, "-colors", "200", "-type", "palette", "BMP3:" + bmp])
            data = open(bmp, "rb").read()
            assert data[28] == 8 and data[30] == 1, "width %d: not stored as 8-bit RLE" % w
            expected = bytes(c for row in rows for px in row[:w] for c in px)
            assert decode_rle8(data) == expected, "width %d: the runs do not give the seed" % w
            shown = run([convert, bmp, "-depth", "8", "rgb:-"])
            lost = {1: 3, 2: 1}.get(w, 0)  # top rows ImageMagick's reader leaves at colour 0
            row_bytes = 3 * w
            colour0 = data[56:53:-1] * w
            assert shown[lost * row_bytes:] == expected[lost * row_bytes:], "width %d: ImageMagick differs" % w
            assert shown[:lost * row_bytes] == colour0 * lost, "width %d: ImageMagick's reading changed" % w
            bundle += data
        with open(os.path.join(HERE, "rle8_widths.bin"), "wb") as f:
            f.write(bundle)


if __name__ == "__main__":
    main()
