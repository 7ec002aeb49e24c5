#!/usr/bin/env python3
"""Checks the committed pictures in assets/images/ have the exact formats
the program expects.

    python3 assets/check_artwork.py            # check the committed files
    python3 assets/check_artwork.py --regen    # also regenerate into a temp
                                               # folder and require identical
                                               # bytes (needs ImageMagick)

Exits 0 when everything holds, 1 otherwise, printing one line per fault.
"""

import argparse
import os
import struct
import subprocess
import sys
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
IMAGES = os.path.join(HERE, "images")
LIGHT_BLUE = (77, 166, 222)

ICO_SIZE = 6 + 16 + 40 + 64 * 64 * 4 + 64 * 8      # 16958
BMP_SIZE = 54 + 64 * 64 * 3                         # 12342
JPEG_SIZE_RANGE = (8 * 1024, 14 * 1024)
PRESSED_DIFF_RANGE = (0.10, 0.25)

# name -> (kind, width, height)
EXPECTED = {
    "button_gear.bmp": ("bmp24", 64, 64),
    "logo.jpg": ("jpeg", 160, 70),
    "icon_face.ico": ("ico32", 64, 64),
    "icon_update.ico": ("ico32", 64, 64),
    "icon_home.ico": ("ico32", 64, 64),
    "icon_title.ico": ("ico32", 64, 64),
}
STRIP_WIDTHS = {"close": 39, "min": 27, "page": 27, "guest": 28}
STATES = ("normal", "hover", "pressed")
for _name, _w in STRIP_WIDTHS.items():
    for _state in STATES:
        EXPECTED["btn_%s_%s.png" % (_name, _state)] = ("png", _w, 19)


VERBOSE = False


class Fault(Exception):
    pass


def need(cond, msg):
    if not cond:
        raise Fault(msg)


# --------------------------------------------------------------------------
# Readers.  Each returns (width, height, pixels) with pixels as RGBA tuples,
# top row first, after checking the header facts.
# --------------------------------------------------------------------------

def read_bmp24(data, w, h):
    need(len(data) == BMP_SIZE, "size %d, want %d" % (len(data), BMP_SIZE))
    magic, fsize, _, _, off = struct.unpack("<2sIHHI", data[:14])
    need(magic == b"BM", "not a BMP")
    need(fsize == len(data), "file size field %d" % fsize)
    need(off == 54, "pixel offset %d" % off)
    (bsize, bw, bh, planes, bpp, comp, _, _, _, _, _) = struct.unpack(
        "<IiiHHIIiiII", data[14:54])
    need(bsize == 40, "info header size %d (want BITMAPINFOHEADER)" % bsize)
    need((bw, bh) == (w, h), "%dx%d, want %dx%d (positive height: bottom-up)"
         % (bw, bh, w, h))
    need(planes == 1 and bpp == 24 and comp == 0,
         "planes %d bpp %d compression %d" % (planes, bpp, comp))
    px = [None] * (w * h)
    for row in range(h):
        y = h - 1 - row
        for x in range(w):
            i = off + (row * w + x) * 3
            px[y * w + x] = (data[i + 2], data[i + 1], data[i], 255)
    return px


def read_ico32(data, w, h):
    need(len(data) == ICO_SIZE, "size %d, want %d" % (len(data), ICO_SIZE))
    reserved, kind, count = struct.unpack("<HHH", data[:6])
    need((reserved, kind, count) == (0, 1, 1),
         "icon header %r (want one icon)" % ((reserved, kind, count),))
    ew, eh, colours, _, planes, bpp, nbytes, off = struct.unpack(
        "<BBBBHHII", data[6:22])
    need((ew, eh) == (w % 256, h % 256), "entry size %dx%d" % (ew, eh))
    need(colours == 0 and planes == 1 and bpp == 32,
         "entry colours %d planes %d bpp %d" % (colours, planes, bpp))
    need(off == 22 and off + nbytes == len(data),
         "entry offset %d length %d" % (off, nbytes))
    (bsize, bw, bh, bplanes, bbpp, comp) = struct.unpack(
        "<IiiHHI", data[off:off + 20])
    need(bsize == 40, "not a BITMAPINFOHEADER entry (PNG entry?)")
    need((bw, bh) == (w, 2 * h), "bitmap %dx%d, want %dx%d"
         % (bw, bh, w, 2 * h))
    need(bplanes == 1 and bbpp == 32 and comp == 0,
         "bitmap planes %d bpp %d compression %d" % (bplanes, bbpp, comp))
    base = off + 40
    mask = base + w * h * 4
    stride = ((w + 31) // 32) * 4
    px = [None] * (w * h)
    for row in range(h):
        y = h - 1 - row
        for x in range(w):
            i = base + (row * w + x) * 4
            p = (data[i + 2], data[i + 1], data[i], data[i + 3])
            px[y * w + x] = p
            bit = (data[mask + row * stride + x // 8] >> (7 - x % 8)) & 1
            need(bit == (1 if p[3] < 128 else 0),
                 "AND mask disagrees with alpha at (%d,%d)" % (x, y))
    return px


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def read_png(data, w, h):
    need(data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG")
    pos, chunks, idat = 8, [], b""
    ihdr = None
    while pos < len(data):
        n, = struct.unpack(">I", data[pos:pos + 4])
        kind = data[pos + 4:pos + 8]
        body = data[pos + 8:pos + 8 + n]
        crc, = struct.unpack(">I", data[pos + 8 + n:pos + 12 + n])
        need(zlib.crc32(kind + body) & 0xFFFFFFFF == crc,
             "bad CRC in %r" % kind)
        chunks.append(kind)
        if kind == b"IHDR":
            ihdr = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + n
    need(chunks[0] == b"IHDR" and chunks[-1] == b"IEND", "chunk order")
    pw, ph, depth, ctype, _, _, interlace = ihdr
    need((pw, ph) == (w, h), "%dx%d, want %dx%d" % (pw, ph, w, h))
    need(depth == 8 and ctype == 6,
         "bit depth %d colour type %d (want 8-bit RGBA)" % (depth, ctype))
    need(interlace == 0, "interlaced")
    need(b"sRGB" in chunks and chunks.index(b"sRGB") < chunks.index(b"IDAT"),
         "no sRGB chunk before the image data")
    raw = zlib.decompress(idat)
    stride = w * 4
    need(len(raw) == h * (stride + 1), "image data length %d" % len(raw))
    prev = bytearray(stride)
    px = []
    for y in range(h):
        f = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        need(f <= 4, "bad filter %d" % f)
        for i in range(stride):
            a = line[i - 4] if i >= 4 else 0
            c = prev[i - 4] if i >= 4 else 0
            b = prev[i]
            line[i] = (line[i] + (0, a, b, (a + b) // 2, paeth(a, b, c))[f]) & 255
        px.extend(tuple(line[x * 4:x * 4 + 4]) for x in range(w))
        prev = line
    return px


def read_jpeg(data, w, h):
    lo, hi = JPEG_SIZE_RANGE
    need(lo <= len(data) <= hi, "size %d outside %d..%d" % (len(data), lo, hi))
    need(data[:2] == b"\xff\xd8" and data[-2:] == b"\xff\xd9", "not a JPEG")
    pos, frame = 2, None
    while pos < len(data):
        need(data[pos] == 0xFF, "broken marker chain at %d" % pos)
        marker = data[pos + 1]
        if marker == 0xDA:                       # start of scan
            break
        n, = struct.unpack(">H", data[pos + 2:pos + 4])
        need(marker != 0xE1, "metadata (APP1) left in")
        if 0xC1 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
            raise Fault("not baseline (SOF marker %02X)" % marker)
        if marker == 0xC0:
            _, fh, fw, comps = struct.unpack(">BHHB", data[pos + 4:pos + 10])
            frame = (fw, fh, comps)
        pos += 2 + n
    need(frame is not None, "no baseline frame header")
    need(frame[:2] == (w, h), "%dx%d, want %dx%d" % (frame[0], frame[1], w, h))
    need(frame[2] == 3, "%d components, want colour" % frame[2])
    return None


READERS = {"bmp24": read_bmp24, "ico32": read_ico32, "png": read_png,
           "jpeg": read_jpeg}


# --------------------------------------------------------------------------
# Checks on the pixels
# --------------------------------------------------------------------------

def check_pixels(name, kind, w, h, px):
    if kind == "bmp24":
        for x, y in ((0, 0), (w - 1, 0), (0, h - 1), (w - 1, h - 1)):
            need(px[y * w + x][:3] == LIGHT_BLUE,
                 "corner (%d,%d) is %r, want the button blue" % (x, y, px[y * w + x][:3]))
        r, g, b, _ = px[(h // 2 - 10) * w + w // 2]
        need(max(r, g, b) - min(r, g, b) < 30, "gear is not grey")
    elif kind == "ico32":
        alphas = [p[3] for p in px]
        need(alphas.count(0) >= 16, "no transparent background")
        need(alphas.count(255) >= w * h // 4, "too little opaque drawing")
        need(px[0][3] == 0, "top-left corner not transparent")
    elif kind == "png":
        white = sum(1 for p in px if min(p[:3]) >= 220 and p[3] == 255)
        need(white >= 10, "no solid white glyph")
        need(px[0][3] < 255, "plate corner is not rounded")


def check_pressed(faults, found):
    for name in STRIP_WIDTHS:
        hover = found.get("btn_%s_hover.png" % name)
        pressed = found.get("btn_%s_pressed.png" % name)
        if hover is None or pressed is None:
            continue
        diff = sum(1 for a, b in zip(hover, pressed) if a != b) / len(hover)
        lo, hi = PRESSED_DIFF_RANGE
        if VERBOSE:
            print("btn_%s: pressed differs from hover in %.1f%% of pixels"
                  % (name, diff * 100))
        if not lo <= diff <= hi:
            faults.append("btn_%s: pressed differs from hover in %.1f%% of "
                          "pixels, want %d..%d%%" % (name, diff * 100,
                                                     lo * 100, hi * 100))


def check_folder(folder):
    faults = []
    present = set(os.listdir(folder)) if os.path.isdir(folder) else set()
    for extra in sorted(present - set(EXPECTED)):
        faults.append("%s: not one of our pictures" % extra)
    found = {}
    for name, (kind, w, h) in sorted(EXPECTED.items()):
        path = os.path.join(folder, name)
        if name not in present:
            faults.append("%s: missing" % name)
            continue
        with open(path, "rb") as f:
            data = f.read()
        try:
            px = READERS[kind](data, w, h)
            if px is not None:
                check_pixels(name, kind, w, h, px)
                found[name] = px
        except Fault as e:
            faults.append("%s: %s" % (name, e))
    check_pressed(faults, found)
    return faults


def check_regenerates(folder):
    with tempfile.TemporaryDirectory() as tmp:
        subprocess.run([sys.executable, os.path.join(HERE, "make_artwork.py"),
                        "--out", tmp], check=True)
        faults = []
        for name in sorted(set(os.listdir(tmp)) | set(EXPECTED)):
            a = os.path.join(folder, name)
            b = os.path.join(tmp, name)
            if not (os.path.exists(a) and os.path.exists(b)):
                faults.append("%s: made by the generator but not committed, or "
                              "the other way round" % name)
                continue
            with open(a, "rb") as fa, open(b, "rb") as fb:
                if fa.read() != fb.read():
                    faults.append("%s: generator output differs from the "
                                  "committed file" % name)
        return faults


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--dir", default=IMAGES)
    ap.add_argument("--regen", action="store_true",
                    help="also rerun the generator and compare bytes")
    ap.add_argument("-v", "--verbose", action="store_true")
    args = ap.parse_args(argv)
    global VERBOSE
    VERBOSE = args.verbose
    faults = check_folder(args.dir)
    if args.regen:
        faults += check_regenerates(args.dir)
    for f in faults:
        print("FAIL", f)
    if not faults:
        print("ok: %d pictures" % len(EXPECTED))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
