#!/usr/bin/env python3
"""Finds a reference image inside a screenshot and compares them pixel for pixel.

Usage: compare_view.py SCREENSHOT.ppm REFERENCE.ppm BAND_ROWS
Both files are binary PPM (P6). Exits 0 when the reference sits somewhere in the
screenshot and every differing pixel row lies within one band of BAND_ROWS rows (the
measurement line, which may come out either way); 1 otherwise, saying why.
"""
import sys


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    fields = []
    pos = 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos) + 1
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    if fields[0] != b"P6" or fields[3] != b"255":
        sys.exit(f"{path}: not an 8-bit binary PPM")
    width, height = int(fields[1]), int(fields[2])
    pixels = data[pos + 1:pos + 1 + 3 * width * height]
    rows = [pixels[3 * width * y:3 * width * (y + 1)] for y in range(height)]
    return width, rows


def locate(shot_rows, ref_width, ref_rows):
    """(x, y) where the reference's most detailed row appears, checked by its neighbours."""
    key = max(range(len(ref_rows)), key=lambda y: len(set(ref_rows[y][i:i + 3] for i in range(0, 3 * ref_width, 3))))
    for y, row in enumerate(shot_rows):
        start = row.find(ref_rows[key])
        while start >= 0:
            if start % 3 == 0:
                top = y - key
                if 0 <= top and top + len(ref_rows) <= len(shot_rows):
                    return start // 3, top
            start = row.find(ref_rows[key], start + 1)
    return None


def main():
    shot_width, shot_rows = read_ppm(sys.argv[1])
    ref_width, ref_rows = read_ppm(sys.argv[2])
    band = int(sys.argv[3])
    place = locate(shot_rows, ref_width, ref_rows)
    if place is None:
        print("compare_view: the reference image is nowhere in the screenshot")
        return 1
    x, top = place
    differing = [y for y, row in enumerate(ref_rows)
                 if shot_rows[top + y][3 * x:3 * (x + ref_width)] != row]
    print(f"compare_view: view at {x},{top}; {len(differing)} of {len(ref_rows)} rows differ")
    if differing and differing[-1] - differing[0] >= band:
        print(f"compare_view: rows {differing[0]} to {differing[-1]} differ, more than one line")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
