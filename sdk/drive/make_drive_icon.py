#!/usr/bin/env python3
"""Draws the drive icon of a mapped remote disk and writes it as DriveIconImage.cpp.

The icon is a grey drive with a green light and a "T" on its face, hanging on a blue network
line. It holds four images: 32x32 at 16 colours, 32x32 at 256 colours, 16x16 at 256 colours and
16x16 in true colour; together with the directory that makes 5286 bytes. Run it from anywhere:
    python3 sdk/drive/make_drive_icon.py
"""
import os
import shutil
import struct
import subprocess

HERE = os.path.dirname(os.path.abspath(__file__))

VGA = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
OUTLINE = (0x40, 0x40, 0x40)


def rounded(u, v, left, top, right, bottom, radius):
    if not (left <= u <= right and top <= v <= bottom):
        return False
    cu = min(max(u, left + radius), right - radius)
    cv = min(max(v, top + radius), bottom - radius)
    return (u - cu) ** 2 + (v - cv) ** 2 <= radius ** 2


def in_drive(u, v):
    return rounded(u, v, 0.08, 0.14, 0.92, 0.58, 0.09)


def in_bar(u, v):
    return rounded(u, v, 0.10, 0.78, 0.90, 0.90, 0.04)


def in_cable(u, v):
    return 0.44 <= u <= 0.56 and 0.56 <= v <= 0.80


def pixel(size, x, y, true_colour):
    """The colour of one pixel, or None where the icon is transparent."""
    step = 1.0 / size
    u, v = (x + 0.5) * step, (y + 0.5) * step

    def edge(shape):
        return shape(u, v) and not all(
            shape(u + du, v + dv) for du, dv in ((step, 0), (-step, 0), (0, step), (0, -step)))

    if in_drive(u, v):
        if edge(in_drive):
            return OUTLINE if true_colour else VGA[0]
        if (u - 0.80) ** 2 + (v - 0.47) ** 2 <= 0.055 ** 2:
            return VGA[10]
        if 0.18 <= u <= 0.58 and 0.45 <= v <= 0.49:
            return OUTLINE if true_colour else VGA[0]
        if (0.34 <= u <= 0.66 and 0.20 <= v <= 0.26) or (0.46 <= u <= 0.54 and 0.20 <= v <= 0.38):
            return VGA[4]
        if not true_colour:
            return VGA[7] if v < 0.42 else VGA[8]
        shade = int(0xE8 - (v - 0.14) / 0.44 * 0x70)
        return (shade, shade, min(0xFF, shade + 0x10))
    if in_bar(u, v):
        if edge(in_bar):
            return VGA[4] if not true_colour else (0x10, 0x20, 0x70)
        return VGA[12] if not true_colour else (0x30, 0x60, 0xE0)
    if in_cable(u, v):
        return VGA[4] if not true_colour else (0x20, 0x40, 0xB0)
    return None


def rows_bottom_up(size):
    return list(reversed(range(size)))


def and_mask(grid, size):
    stride = ((size + 31) // 32) * 4
    out = bytearray()
    for y in rows_bottom_up(size):
        row = bytearray(stride)
        for x in range(size):
            if grid[y][x] is None:
                row[x // 8] |= 0x80 >> (x % 8)
        out += row
    return out


def info_header(size, bits, image_bytes):
    return struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bits, 0, image_bytes, 0, 0, 0, 0)


def indexed_image(size, bits, true_colour):
    grid = [[pixel(size, x, y, true_colour) for x in range(size)] for y in range(size)]
    colours = list(VGA) if bits == 4 else []
    for row in grid:
        for colour in row:
            if colour is not None and colour not in colours:
                colours.append(colour)
    limit = 1 << bits
    assert len(colours) <= limit, len(colours)
    palette_list = colours + [(0, 0, 0)] * (limit - len(colours))
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in palette_list)
    stride = ((size * bits + 31) // 32) * 4
    xor = bytearray()
    for y in rows_bottom_up(size):
        row = bytearray(stride)
        for x in range(size):
            colour = grid[y][x]
            index = 0 if colour is None else palette_list.index(colour)
            if bits == 8:
                row[x] = index
            else:
                row[x // 2] |= index << (4 if x % 2 == 0 else 0)
        xor += row
    mask = and_mask(grid, size)
    return info_header(size, bits, len(xor) + len(mask)) + palette + bytes(xor) + bytes(mask)


def true_colour_image(size):
    grid = [[pixel(size, x, y, True) for x in range(size)] for y in range(size)]
    stride = ((size * 24 + 31) // 32) * 4
    xor = bytearray()
    for y in rows_bottom_up(size):
        row = bytearray(stride)
        for x in range(size):
            r, g, b = grid[y][x] or (0, 0, 0)
            row[x * 3:x * 3 + 3] = bytes((b, g, r))
        xor += row
    mask = and_mask(grid, size)
    return info_header(size, 24, len(xor) + len(mask)) + bytes(xor) + bytes(mask)


def build_icon():
    images = [
        (32, 4, indexed_image(32, 4, False)),
        (32, 8, indexed_image(32, 8, True)),
        (16, 8, indexed_image(16, 8, True)),
        (16, 24, true_colour_image(16)),
    ]
    offset = 6 + 16 * len(images)
    directory = struct.pack('<HHH', 0, 1, len(images))
    body = b''
    for size, bits, data in images:
        colours = 16 if bits == 4 else 0
        directory += struct.pack('<BBBBHHII', size, size, colours, 0, 1, bits, len(data), offset)
        offset += len(data)
        body += data
    return directory + body


def main():
    icon = build_icon()
    assert len(icon) == 5286, len(icon)
    lines = []
    for start in range(0, len(icon), 16):
        lines.append('    ' + ', '.join('0x%02X' % b for b in icon[start:start + 16]) + ',')
    text = (
        '// Generated by make_drive_icon.py from its drawing; edit the script, not this file.\n'
        '#include "sdk/drive/DriveIconImage.h"\n\n'
        'namespace tavik::drive {\n\n'
        'const std::array<uint8_t, kDriveIconSize> kDriveIconImage = {\n'
        + '\n'.join(lines) +
        '\n};\n\n'
        '} // namespace tavik::drive\n')
    target = os.path.join(HERE, 'DriveIconImage.cpp')
    with open(target, 'w') as out:
        out.write(text)
    # The checked-in file is in the project's format.
    if shutil.which('clang-format'):
        subprocess.run(['clang-format', '-i', target], check=True)


if __name__ == '__main__':
    main()
