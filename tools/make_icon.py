#!/usr/bin/env python3
"""Draws the Tesqua icon and writes assets/tesqua.ico and the hicolor PNGs.

Usage:
    python3 tools/make_icon.py [outdir]          write the files (default: <repo>/assets)
    python3 tools/make_icon.py --check [outdir]  parse the written files back and verify them

Standard library only, so the icon can be rebuilt anywhere Python 3 runs. The output
is deterministic: the design uses only exact arithmetic and correctly rounded sqrt,
and the PNG/ICO writers embed no timestamps.

Design: a dark red rounded square holding a light-yellow formula sheet with a folded
corner and dark red text lines, and a red clock badge whose light-yellow hands point
ahead, hinting at formulas that peek into the future.
"""

import os
import struct
import sys
import zlib

PNG_SIZES = (32, 48, 64, 128, 256)
# The icon file: the sizes Explorer, the taskbar and the title bar draw at 100 % to 200 %
# scale. 32 comes twice, with a 256-colour palette and with 32 bits per pixel, the window's
# own pair; every other size has 32 bits per pixel, and 256 is a PNG, as Windows Vista and
# later read it (a 256-pixel bitmap would be 256 KB).
ICO_SIZES = (16, 20, 24, 32, 40, 48, 64, 256)
ICO_PNG_SIZE = 256

TRANSPARENT = (0, 0, 0, 0)
DARK_RED = (128, 0, 0, 255)  # the window colour
LIGHT_YELLOW = (255, 255, 192, 255)  # the result box colour
RED = (255, 0, 0, 255)  # the text colour
FOLD = (224, 208, 128, 255)  # the folded-back corner of the sheet, a shade of the yellow

# Geometry in unit coordinates: (0, 0) is the top-left corner, (1, 1) the bottom-right.
# Edges sit on multiples of 1/32 so the 32-pixel icon stays crisp.
FRAME = (1 / 32, 1 / 32, 31 / 32, 31 / 32, 6 / 32)  # x0, y0, x1, y1, corner radius
SHEET = (5 / 32, 4 / 32, 22 / 32, 28 / 32)  # x0, y0, x1, y1
SHEET_EAR = 5 / 32  # size of the folded top-right corner
TEXT_LINES = (  # y, x0, x1, half thickness
    (9 / 32, 8.5 / 32, 16 / 32, 1 / 32),
    (13 / 32, 8.5 / 32, 19 / 32, 1 / 32),
    (17 / 32, 8.5 / 32, 13.5 / 32, 1 / 32),
    (21 / 32, 8.5 / 32, 11.5 / 32, 1 / 32),
)
CLOCK = (22 / 32, 22 / 32)  # centre
CLOCK_GAP = 8.5 / 32  # dark red ring that separates the badge from the sheet
CLOCK_FACE = 7 / 32
HANDS = (  # end point, half thickness
    ((22 / 32, 17 / 32), 1 / 32),  # minute hand, straight up
    ((26 / 32, 22 / 32), 1 / 32),  # hour hand, towards three o'clock
)
HUB = 1.5 / 32


def _in_rounded_rect(x, y, rect):
    x0, y0, x1, y1, r = rect
    if x < x0 or x > x1 or y < y0 or y > y1:
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    dx, dy = x - cx, y - cy
    return dx * dx + dy * dy <= r * r


def _near_segment(x, y, ax, ay, bx, by, half):
    """Whether (x, y) lies within half of the segment a-b (a capsule)."""
    vx, vy = bx - ax, by - ay
    t = ((x - ax) * vx + (y - ay) * vy) / (vx * vx + vy * vy)
    t = min(max(t, 0.0), 1.0)
    dx, dy = x - (ax + t * vx), y - (ay + t * vy)
    return dx * dx + dy * dy <= half * half


def ColourAt(x, y):
    """The colour of the design at one point; shapes are tested from the top down."""
    cx, cy = CLOCK
    dx, dy = x - cx, y - cy
    d2 = dx * dx + dy * dy
    if d2 <= CLOCK_GAP * CLOCK_GAP:
        if d2 > CLOCK_FACE * CLOCK_FACE:
            return DARK_RED
        if d2 <= HUB * HUB:
            return LIGHT_YELLOW
        for (ex, ey), half in HANDS:
            if _near_segment(x, y, cx, cy, ex, ey, half):
                return LIGHT_YELLOW
        return RED
    sx0, sy0, sx1, sy1 = SHEET
    if sx0 <= x <= sx1 and sy0 <= y <= sy1:
        # The folded corner: the part above the diagonal is cut away, the triangle
        # below it shows the back of the paper.
        ex, ey = sx1 - SHEET_EAR, sy0 + SHEET_EAR
        if x > ex and y < ey:
            if (x - ex) > (y - sy0):
                return DARK_RED if _in_rounded_rect(x, y, FRAME) else TRANSPARENT
            return FOLD
        for ly, lx0, lx1, half in TEXT_LINES:
            if _near_segment(x, y, lx0, ly, lx1, ly, half):
                return DARK_RED
        return LIGHT_YELLOW
    if _in_rounded_rect(x, y, FRAME):
        return DARK_RED
    return TRANSPARENT


def Render(size, samples):
    """RGBA rows (lists of 4-tuples) of the design at size x size, samples^2 per pixel."""
    n = samples * samples
    offsets = [(i + 0.5) / samples for i in range(samples)]
    image = []
    for py in range(size):
        row = []
        for px in range(size):
            counts = {}
            for oy in offsets:
                y = (py + oy) / size
                for ox in offsets:
                    c = ColourAt((px + ox) / size, y)
                    counts[c] = counts.get(c, 0) + 1
            if len(counts) == 1:
                row.append(next(iter(counts)))
                continue
            # Average in premultiplied form with integers only, so rounding is exact.
            weight = sum(c[3] * k for c, k in counts.items())
            if weight == 0:
                row.append(TRANSPARENT)
                continue
            rgb = tuple(
                (sum(c[i] * c[3] * k for c, k in counts.items()) + weight // 2) // weight
                for i in range(3)
            )
            alpha = (weight + n // 2) // n
            row.append(rgb + (alpha,))
        image.append(row)
    return image


# ---------------------------------------------------------------- PNG


def _png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def EncodePng(image):
    height, width = len(image), len(image[0])
    raw = bytearray()
    for row in image:
        raw.append(0)  # filter type: none
        for pixel in row:
            raw.extend(pixel)
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (
        b"\x89PNG\r\n\x1a\n"
        + _png_chunk(b"IHDR", header)
        + _png_chunk(b"IDAT", zlib.compress(bytes(raw), 9))
        + _png_chunk(b"IEND", b"")
    )


# ---------------------------------------------------------------- ICO

ALPHA_CUTOFF = 128  # pixels below this alpha are transparent in the AND mask


def _and_mask(image):
    """1-bit mask, bottom-up, rows padded to 4 bytes; a set bit marks a transparent pixel."""
    size = len(image)
    stride = ((size + 31) // 32) * 4
    out = bytearray()
    for row in reversed(image):
        bits = bytearray(stride)
        for x, pixel in enumerate(row):
            if pixel[3] < ALPHA_CUTOFF:
                bits[x // 8] |= 0x80 >> (x % 8)
        out.extend(bits)
    return bytes(out)


def _bitmap_info(size, bit_count, image_bytes):
    # biHeight counts the XOR and the AND bitmap together; biClrUsed 0 means 2^bit_count.
    return struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bit_count, 0, image_bytes, 0, 0, 0, 0)


def Dib8(image):
    """A 256-colour DIB: an exact palette of the opaque colours, index 0 black for the
    transparent pixels (black XOR keeps the screen as it is under a set AND bit)."""
    size = len(image)
    colours = sorted({p[:3] for row in image for p in row if p[3] >= ALPHA_CUTOFF})
    colours = [c for c in colours if c != (0, 0, 0)]
    if len(colours) > 255:
        raise SystemExit("make_icon: %d colours do not fit a 256-colour palette" % len(colours))
    palette = [(0, 0, 0)] + colours
    index = {c: i for i, c in enumerate(palette)}
    palette += [(0, 0, 0)] * (256 - len(palette))
    stride = (size + 3) // 4 * 4
    xor = bytearray()
    for row in reversed(image):
        line = bytearray(stride)
        for x, p in enumerate(row):
            line[x] = index[p[:3]] if p[3] >= ALPHA_CUTOFF else 0
        xor.extend(line)
    mask = _and_mask(image)
    quads = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    return _bitmap_info(size, 8, len(xor) + len(mask)) + quads + bytes(xor) + mask


def Dib32(image):
    size = len(image)
    xor = bytearray()
    for row in reversed(image):
        for r, g, b, a in row:
            xor.extend((b, g, r, a) if a else (0, 0, 0, 0))
    mask = _and_mask(image)
    return _bitmap_info(size, 32, len(xor) + len(mask)) + bytes(xor) + mask


def EncodeIco(entries):
    """entries: (size, bit_count, DIB or PNG bytes) in file order."""
    out = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    for size, bit_count, dib in entries:
        dimension = 0 if size >= 256 else size
        colour_count = (1 << bit_count) if bit_count < 8 else 0
        out += struct.pack(
            "<BBBBHHII", dimension, dimension, colour_count, 0, 1, bit_count, len(dib), offset
        )
        offset += len(dib)
    return out + b"".join(dib for _, _, dib in entries)


# ---------------------------------------------------------------- files


def Samples(size):
    # Enough sub-samples for smooth edges at every size while keeping the run short.
    return max(4, 256 // size)


def IcoEntries(images):
    entries = []
    for size in ICO_SIZES:
        if size == ICO_PNG_SIZE:
            entries.append((size, 32, EncodePng(images[size])))
            continue
        if size == 32:
            entries.append((size, 8, Dib8(images[size])))
        entries.append((size, 32, Dib32(images[size])))
    return entries


def Write(outdir):
    os.makedirs(outdir, exist_ok=True)
    images = {size: Render(size, Samples(size)) for size in sorted(set(PNG_SIZES + ICO_SIZES))}
    for size in PNG_SIZES:
        path = os.path.join(outdir, "tesqua-%d.png" % size)
        with open(path, "wb") as f:
            f.write(EncodePng(images[size]))
        print("wrote", path)
    ico = EncodeIco(IcoEntries(images))
    path = os.path.join(outdir, "tesqua.ico")
    with open(path, "wb") as f:
        f.write(ico)
    print("wrote", path)


# ---------------------------------------------------------------- check


def _fail(message):
    raise SystemExit("make_icon --check: " + message)


def CheckIco(path):
    with open(path, "rb") as f:
        data = f.read()
    want_entries = [(size, 32) for size in ICO_SIZES]
    want_entries.insert(ICO_SIZES.index(32), (32, 8))
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    if (reserved, kind, count) != (0, 1, len(want_entries)):
        _fail("%s: header %r, want (0, 1, %d)" % (path, (reserved, kind, count), len(want_entries)))
    end = 6 + 16 * count
    for i, (size, want_bits) in enumerate(want_entries):
        w, h, colours, res, planes, bits, length, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        if (w or 256, h or 256, colours, res, planes, bits) != (size, size, 0, 0, 1, want_bits):
            _fail("%s: entry %d is %r" % (path, i, (w, h, colours, res, planes, bits)))
        if offset != end or offset + length > len(data):
            _fail("%s: entry %d at %d+%d, want it at %d" % (path, i, offset, length, end))
        if size == ICO_PNG_SIZE:
            CheckPng(path, size, data[offset : offset + length])
        else:
            CheckDib(path, i, size, want_bits, data[offset : offset + length])
        print("%s: entry %d: %dx%d, %2d bpp, %6d bytes at offset %d"
              % (path, i, size, size, want_bits, length, offset))
        end = offset + length
    if end != len(data):
        _fail("%s: %d bytes after the last image" % (path, len(data) - end))


def CheckDib(path, i, size, bits, dib):
    info = struct.unpack_from("<IiiHHIIiiII", dib, 0)
    palette_bytes = 256 * 4 if bits == 8 else 0
    xor_bytes = ((size * bits + 31) // 32) * 4 * size
    and_bytes = ((size + 31) // 32) * 4 * size
    want = (40, size, 2 * size, 1, bits, 0, xor_bytes + and_bytes)
    if info[:7] != want:
        _fail("%s: entry %d header %r, want %r" % (path, i, info[:7], want))
    if len(dib) != 40 + palette_bytes + xor_bytes + and_bytes:
        _fail("%s: entry %d is %d bytes long" % (path, i, len(dib)))


def CheckPng(path, size, data=None):
    if data is None:
        with open(path, "rb") as f:
            data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        _fail("%s: not a PNG" % path)
    at, idat, kinds = 8, b"", []
    while at < len(data):
        (length,) = struct.unpack_from(">I", data, at)
        kind = data[at + 4 : at + 8]
        body = data[at + 8 : at + 8 + length]
        (crc,) = struct.unpack_from(">I", data, at + 8 + length)
        if zlib.crc32(kind + body) & 0xFFFFFFFF != crc:
            _fail("%s: bad CRC in %r" % (path, kind))
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
            if header != (size, size, 8, 6, 0, 0, 0):
                _fail("%s: IHDR %r" % (path, header))
        elif kind == b"IDAT":
            idat += body
        kinds.append(kind)
        at += 12 + length
    if kinds[0] != b"IHDR" or kinds[-1] != b"IEND":
        _fail("%s: chunks %r" % (path, kinds))
    if len(zlib.decompress(idat)) != size * (size * 4 + 1):
        _fail("%s: pixel data has the wrong length" % path)
    print("%s: %dx%d RGBA" % (path, size, size))


def Check(outdir):
    CheckIco(os.path.join(outdir, "tesqua.ico"))
    for size in PNG_SIZES:
        CheckPng(os.path.join(outdir, "tesqua-%d.png" % size), size)
    print("all icon files are well formed")


def main(argv):
    args = list(argv[1:])
    check = "--check" in args
    args = [a for a in args if a != "--check"]
    if len(args) > 1 or any(a.startswith("-") for a in args):
        raise SystemExit(__doc__)
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    outdir = args[0] if args else os.path.join(root, "assets")
    if check:
        Check(outdir)
    else:
        Write(outdir)


if __name__ == "__main__":
    main(sys.argv)
