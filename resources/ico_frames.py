#!/usr/bin/env python3
"""Writes each frame of a Windows icon as a PNG: the desktop theme sizes of the
window icon come from the same drawing as the window's own icon.

Usage: ico_frames.py ICON.ico OUT_DIR NAME  ->  OUT_DIR/<size>x<size>/apps/NAME.png
"""
import os
import struct
import sys
import zlib


def png(width, height, rgba_rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body) & 0xFFFFFFFF)
    raw = b''.join(b'\0' + row for row in rgba_rows)
    header = struct.pack('>IIBBBBB', width, height, 8, 6, 0, 0, 0)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) +
            chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def frame_png(data):
    if data.startswith(b'\x89PNG'):
        return data
    # A 32-bit DIB, bottom-up, BGRA; its height counts the AND mask too.
    size, width, height2, _, bits = struct.unpack('<IiiHH', data[:16])
    if bits != 32:
        raise ValueError('only 32-bit frames are handled')
    height = height2 // 2
    pixels = data[size:size + width * height * 4]
    rows = []
    for y in range(height - 1, -1, -1):
        row = bytearray(pixels[y * width * 4:(y + 1) * width * 4])
        row[0::4], row[2::4] = row[2::4], row[0::4]
        rows.append(bytes(row))
    return png(width, height, rows)


def main(icon, out_dir, name):
    data = open(icon, 'rb').read()
    count = struct.unpack('<HHH', data[:6])[2]
    for index in range(count):
        width, _, _, _, _, _, length, offset = struct.unpack(
            '<BBBBHHII', data[6 + 16 * index:22 + 16 * index])
        side = width or 256
        folder = os.path.join(out_dir, '%dx%d' % (side, side), 'apps')
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, name + '.png'), 'wb') as out:
            out.write(frame_png(data[offset:offset + length]))


if __name__ == '__main__':
    main(*sys.argv[1:4])
