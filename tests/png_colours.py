"""Prints the number of distinct pixel colours of an 8-bit RGB or RGBA PNG,
counting up to LIMIT (default 2: the picture tests only tell a drawn
picture from a blank one, and stop reading once they know).

    /usr/bin/python3 tests/png_colours.py PICTURE.png [LIMIT]
"""
import struct
import sys
import zlib


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def rows(path):
    data = open(path, 'rb').read()
    if data[:8] != b'\x89PNG\r\n\x1a\n':
        raise ValueError('not a PNG file')
    pos, idat, header = 8, b'', None
    while pos < len(data):
        length, kind = struct.unpack('>I4s', data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b'IHDR':
            header = struct.unpack('>IIBBBBB', body)
        elif kind == b'IDAT':
            idat += body
    width, height, depth, colour_type, _, _, interlace = header
    if depth != 8 or colour_type not in (2, 6) or interlace:
        raise ValueError('only 8-bit RGB/RGBA PNG without interlace')
    bpp = 3 if colour_type == 2 else 4
    raw, stride, prev = zlib.decompress(idat), width * bpp, bytearray(width * bpp)
    for y in range(height):
        start = y * (stride + 1)
        kind, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            add = (0, a, b, (a + b) // 2, paeth(a, b, c))[kind]
            line[i] = (line[i] + add) & 0xFF
        yield bytes(line), bpp
        prev = line


def main():
    limit = int(sys.argv[2]) if len(sys.argv) > 2 else 2
    colours = set()
    for line, bpp in rows(sys.argv[1]):
        colours.update(line[i:i + bpp] for i in range(0, len(line), bpp))
        if len(colours) >= limit:
            break
    print(min(len(colours), limit))


if __name__ == '__main__':
    main()
