#!/usr/bin/env python3
"""Paints a terminal's cells, as `tmux capture-pane -e -p` writes them, into a PNG.

Usage: ansi_png.py CAPTURE COLUMNS LINES OUT.png
Knows the colours of SGR 0, 7, 30-37/40-47, 38;5/48;5 and 38;2/48;2, and draws the block
characters U+2580, U+2584 and U+2588 as rectangles; other characters go through ImageMagick
in DejaVu Sans Mono.
"""
import re
import subprocess
import sys

CELL_W, CELL_H = 10, 20
DEFAULT_FG, DEFAULT_BG = (192, 192, 192), (0, 0, 0)
BASIC = [(0, 0, 0), (205, 0, 0), (0, 205, 0), (205, 205, 0), (0, 0, 238), (205, 0, 205),
         (0, 205, 205), (229, 229, 229)]


def colour_256(n):
    if n < 8:
        return BASIC[n]
    if n < 16:
        return tuple(min(255, c + 50) for c in BASIC[n - 8])
    if n < 232:
        n -= 16
        steps = [0, 95, 135, 175, 215, 255]
        return steps[n // 36], steps[(n // 6) % 6], steps[n % 6]
    grey = 8 + 10 * (n - 232)
    return grey, grey, grey


def cells(text, columns, lines):
    grid = [[(" ", DEFAULT_FG, DEFAULT_BG) for _ in range(columns)] for _ in range(lines)]
    fg, bg, reverse = DEFAULT_FG, DEFAULT_BG, False
    for y, line in enumerate(text.split("\n")[:lines]):
        x = 0
        for part in re.split(r"(\x1b\[[0-9;]*m)", line):
            if part.startswith("\x1b["):
                n = [int(v) if v else 0 for v in part[2:-1].split(";")]
                i = 0
                while i < len(n):
                    v = n[i]
                    if v == 0:
                        fg, bg, reverse = DEFAULT_FG, DEFAULT_BG, False
                    elif v == 7:
                        reverse = True
                    elif v == 39:
                        fg = DEFAULT_FG
                    elif v == 49:
                        bg = DEFAULT_BG
                    elif 30 <= v <= 37:
                        fg = BASIC[v - 30]
                    elif 40 <= v <= 47:
                        bg = BASIC[v - 40]
                    elif v in (38, 48) and i + 1 < len(n) and n[i + 1] == 5:
                        c = colour_256(n[i + 2])
                        fg, bg = (c, bg) if v == 38 else (fg, c)
                        i += 2
                    elif v in (38, 48) and i + 1 < len(n) and n[i + 1] == 2:
                        c = tuple(n[i + 2:i + 5])
                        fg, bg = (c, bg) if v == 38 else (fg, c)
                        i += 4
                    i += 1
                continue
            for ch in part:
                if x < columns:
                    grid[y][x] = (ch, bg, fg) if reverse else (ch, fg, bg)
                x += 1
    return grid


def main():
    capture, columns, lines, out = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
    with open(capture, encoding="utf-8", errors="replace") as f:
        grid = cells(f.read(), columns, lines)
    rgb = lambda c: "rgb(%d,%d,%d)" % c
    draw = ["viewbox 0 0 %d %d" % (columns * CELL_W, lines * CELL_H), "font DejaVu-Sans-Mono",
            "font-size 16"]
    for y, row in enumerate(grid):
        for x, (ch, fg, bg) in enumerate(row):
            x0, y0 = x * CELL_W, y * CELL_H
            draw.append("fill %s rectangle %d,%d %d,%d" % (rgb(bg), x0, y0, x0 + CELL_W - 1, y0 + CELL_H - 1))
            if ch == "\u2580":
                draw.append("fill %s rectangle %d,%d %d,%d" % (rgb(fg), x0, y0, x0 + CELL_W - 1, y0 + CELL_H // 2 - 1))
            elif ch == "\u2584":
                draw.append("fill %s rectangle %d,%d %d,%d" % (rgb(fg), x0, y0 + CELL_H // 2, x0 + CELL_W - 1, y0 + CELL_H - 1))
            elif ch == "\u2588":
                draw.append("fill %s rectangle %d,%d %d,%d" % (rgb(fg), x0, y0, x0 + CELL_W - 1, y0 + CELL_H - 1))
            elif ch != " ":
                text = ch.replace("\\", "\\\\").replace("'", "\\'")
                draw.append("fill %s text %d,%d '%s'" % (rgb(fg), x0, y0 + CELL_H - 5, text))
    mvg = out + ".mvg"
    with open(mvg, "w", encoding="utf-8") as f:
        f.write("\n".join(draw) + "\n")
    # Read as an MVG image: the usual security policy refuses "-draw @file".
    subprocess.run(["convert", "mvg:" + mvg, out], check=True)
    subprocess.run(["rm", "-f", mvg], check=True)


if __name__ == "__main__":
    main()
