#!/usr/bin/env python3
"""Waits for what a real-window test checks, never for a fixed time: a line
of the game's frame trace (PELMORA_TRACE), a text in a file, a colour on the
virtual screen (Xvfb's -fbdir dump). Gives up after --timeout seconds (a
hang) with a message and exit code 1.

  xvfb_watch.py frame TRACE                      the last frame traced (0: none)
  xvfb_watch.py trace TRACE --scene N [--mode M] [--after F] [--sound S] [--settled K]
      a frame after F in scene N (and stage mode M) that started sound S, or
      that is K frames into the scene; prints its number
  xvfb_watch.py text FILE TEXT                   FILE holds TEXT
  xvfb_watch.py colour SCREEN X Y0 Y1 RRGGBB [--gone]
      the column X from Y0 to Y1 shows the colour (or no longer does)
  xvfb_watch.py shot SCREEN OUT.png [X Y W H]    the screen (or a part) as a PNG
"""
import argparse
import json
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xwd_to_png  # noqa: E402

POLL = 0.05


def wait(check, timeout, what):
    deadline = time.monotonic() + timeout
    while True:
        result = check()
        if result is not None:
            return result
        if time.monotonic() > deadline:
            print("xvfb_watch: gave up waiting for %s" % what, file=sys.stderr)
            sys.exit(1)
        time.sleep(POLL)


def trace_lines(path):
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError:
        return []
    lines = []
    for raw in data.split(b"\n"):
        if not raw.strip():
            continue
        try:
            lines.append(json.loads(raw))
        except ValueError:
            pass  # the line being written
    return lines


def last_frame(path):
    lines = trace_lines(path)
    return lines[-1]["frame"] if lines else 0


def find_frame(path, scene, mode, after, sound, settled):
    start = None  # first frame of the newest run of the scene
    previous = None
    for line in trace_lines(path):
        here = line.get("scene")
        if here == scene and previous != scene:
            start = line["frame"]
        previous = here
        if line["frame"] <= after or here != scene:
            continue
        if mode is not None and line.get("mode") != mode:
            continue
        if sound is not None and sound not in (line.get("sounds") or []):
            continue
        if settled is not None and line["frame"] - start < settled:
            continue
        return line["frame"]
    return None


def column_has(screen, x, y0, y1, rgb):
    try:
        width, height, rows = xwd_to_png.read_xwd(screen)
    except (OSError, ValueError):
        return False
    want = bytes.fromhex(rgb)
    if not 0 <= x < width:
        return False
    for y in range(max(0, y0), min(height, y1)):
        if bytes(rows[y][x * 3:x * 3 + 3]) == want:
            return True
    return False


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--timeout", type=float, default=90)
    sub = parser.add_subparsers(dest="command", required=True)
    p = sub.add_parser("frame")
    p.add_argument("trace")
    p = sub.add_parser("trace")
    p.add_argument("trace")
    p.add_argument("--scene", type=int, required=True)
    p.add_argument("--mode", type=int)
    p.add_argument("--after", type=int, default=0)
    p.add_argument("--sound", type=int)
    p.add_argument("--settled", type=int)
    p = sub.add_parser("text")
    p.add_argument("file")
    p.add_argument("text")
    p = sub.add_parser("colour")
    p.add_argument("screen")
    p.add_argument("x", type=int)
    p.add_argument("y0", type=int)
    p.add_argument("y1", type=int)
    p.add_argument("rgb")
    p.add_argument("--gone", action="store_true")
    p = sub.add_parser("shot")
    p.add_argument("screen")
    p.add_argument("out")
    p.add_argument("rect", type=int, nargs="*")
    args = parser.parse_args()

    if args.command == "frame":
        print(last_frame(args.trace))
    elif args.command == "trace":
        what = "scene %d" % args.scene
        if args.mode is not None:
            what += " mode %d" % args.mode
        if args.sound is not None:
            what += " with sound %d" % args.sound
        what += " after frame %d in %s" % (args.after, args.trace)
        print(wait(lambda: find_frame(args.trace, args.scene, args.mode, args.after, args.sound, args.settled),
                   args.timeout, what))
    elif args.command == "text":
        def has_text():
            try:
                with open(args.file, "rb") as f:
                    return True if args.text.encode() in f.read() else None
            except OSError:
                return None
        wait(has_text, args.timeout, "%r in %s" % (args.text, args.file))
    elif args.command == "colour":
        def seen():
            shown = column_has(args.screen, args.x, args.y0, args.y1, args.rgb)
            return True if shown != args.gone else None
        wait(seen, args.timeout, "colour %s %s at x %d" % (args.rgb, "gone" if args.gone else "shown", args.x))
    elif args.command == "shot":
        width, height, rows = xwd_to_png.read_xwd(args.screen)
        if len(args.rect) == 4:
            x, y, w, h = args.rect
            x, y = max(0, x), max(0, y)
            w, h = max(1, min(w, width - x)), max(1, min(h, height - y))
            rows = [r[x * 3:(x + w) * 3] for r in rows[y:y + h]]
            width, height = w, h
        xwd_to_png.write_png(args.out, width, height, rows)
    return 0


if __name__ == "__main__":
    sys.exit(main())
