#!/usr/bin/python3
"""Writes the golden GIFs and their expected palette indices.

The GIFs come from encoders independent of ours (Pillow and ImageMagick), plus
one from assets/gifwriter.py for a code stream those never write (a full code
table kept without a clear code). Named arguments rebuild only those files
(without ".gif") and keep the other rows of golden.txt. Each expected index file holds one byte per
pixel, row-major, top row first, and was checked against Pillow's own
decoding. golden.txt lists, per frame:
  file frame left top width height bits interlaced local transparent interval
with transparent -1 for none.
"""
import os
import random
import struct
import subprocess
import sys

from PIL import Image, GifImagePlugin

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "..", "assets"))
import gifwriter  # noqa: E402

rng = random.Random(20261207)
manifest = []


def palette_of(n, seed):
    r = random.Random(seed)
    seen = set()
    pal = []
    while len(pal) < n:
        c = (r.randrange(256), r.randrange(256), r.randrange(256))
        if c not in seen:
            seen.add(c)
            pal.append(c)
    return pal


def smooth(w, h, n, seed):
    """Stripes and blocks: long runs, so codes grow into long strings."""
    r = random.Random(seed)
    return [((x // 3) + (y // 2) * 3 + (r.random() < 0.05)) % n for y in range(h) for x in range(w)]


def noise(w, h, n, seed):
    r = random.Random(seed)
    return [r.randrange(n) for _ in range(w * h)]


def p_image(w, h, idx, pal):
    im = Image.new("P", (w, h))
    im.putdata(idx)
    flat = []
    for c in pal:
        flat += list(c)
    im.putpalette(flat)
    return im


def blocks(path):
    """Our own walk over the blocks, for the facts Pillow does not report."""
    data = open(path, "rb").read()
    pos = 6
    w, h, packed, bg, asp = struct.unpack("<HHBBB", data[pos:pos + 7])
    pos += 7
    gct = []
    if packed & 0x80:
        n = 2 << (packed & 7)
        gct = [tuple(data[pos + 3 * i:pos + 3 * i + 3]) for i in range(n)]
        pos += 3 * n
    frames = []
    gce = None
    while pos < len(data):
        b = data[pos]
        pos += 1
        if b == 0x21:
            label = data[pos]
            pos += 1
            body = b""
            while data[pos]:
                body += data[pos + 1:pos + 1 + data[pos]]
                pos += 1 + data[pos]
            pos += 1
            if label == 0xF9:
                gce = body
        elif b == 0x2C:
            l, t, fw, fh, p = struct.unpack("<HHHHB", data[pos:pos + 9])
            pos += 9
            lct = None
            if p & 0x80:
                n = 2 << (p & 7)
                lct = [tuple(data[pos + 3 * i:pos + 3 * i + 3]) for i in range(n)]
                pos += 3 * n
            pos += 1
            while data[pos]:
                pos += 1 + data[pos]
            pos += 1
            table = lct if lct is not None else gct
            bits = (p & 7) + 1 if lct is not None else (packed & 7) + 1
            trans, interval = -1, 0
            if gce:
                if gce[1 - 1] & 1 and gce[3] < len(table):
                    trans = gce[3]
                interval = struct.unpack("<H", gce[1:3])[0] * 10
            frames.append(dict(left=l, top=t, w=fw, h=fh, bits=bits, inter=(p >> 6) & 1,
                               local=1 if lct is not None else 0, table=table, trans=trans,
                               interval=interval))
            gce = None
        elif b == 0x3B:
            break
    return frames


def record(name, expected_frames):
    """expected_frames: list of index lists (one per frame), checked against
    Pillow's decoding before they are written."""
    path = os.path.join(HERE, name + ".gif")
    info = blocks(path)
    assert len(info) == len(expected_frames), (name, len(info))
    GifImagePlugin.LOADING_STRATEGY = GifImagePlugin.LoadingStrategy.RGB_ALWAYS
    im = Image.open(path)
    for k, (f, idx) in enumerate(zip(info, expected_frames)):
        im.seek(k)
        rgb = im.convert("RGB")
        assert len(idx) == f["w"] * f["h"], name
        # Pillow composes frames onto the screen; compare the frame's area.
        for y in range(f["h"]):
            for x in range(f["w"]):
                want = f["table"][idx[y * f["w"] + x]]
                got = rgb.getpixel((f["left"] + x, f["top"] + y))
                if idx[y * f["w"] + x] != f["trans"]:
                    assert got == want, (name, k, x, y, got, want)
        with open(os.path.join(HERE, "%s.f%d.idx" % (name, k)), "wb") as out:
            out.write(bytes(idx))
        manifest.append("%s %d %d %d %d %d %d %d %d %d %d" % (
            name + ".gif", k, f["left"], f["top"], f["w"], f["h"], f["bits"], f["inter"], f["local"],
            f["trans"], f["interval"]))


def pillow_single(name, w, h, ncol, make, interlace, transparency=None):
    pal = palette_of(ncol, sum(name.encode()))
    idx = make(w, h, ncol, len(name))
    im = p_image(w, h, idx, pal)
    kw = dict(interlace=interlace, optimize=False)
    if transparency is not None:
        kw["transparency"] = transparency
    im.save(os.path.join(HERE, name + ".gif"), **kw)
    record(name, [idx])


def main():
    pillow_single("bits2_17x9", 17, 9, 2, smooth, False)
    pillow_single("bits4_31x21", 31, 21, 16, noise, False)
    pillow_single("bits4_31x21_interlaced", 31, 21, 16, smooth, True)
    pillow_single("bits8_noise_97x83", 97, 83, 256, noise, False)
    pillow_single("bits8_noise_61x59_interlaced", 61, 59, 256, noise, True)
    pillow_single("bits8_smooth_200x150", 200, 150, 256, smooth, False)
    pillow_single("bits3_1x1", 1, 1, 8, noise, False)
    # One colour throughout: the longest strings and prefix chains there are.
    pillow_single("one_colour_400x300", 400, 300, 2, lambda w, h, n, s: [1] * (w * h), False)
    pillow_single("bits5_transparent_19x7", 19, 7, 32, noise, False, transparency=5)

    # Three frames, each with its own palette (local tables), full size so no
    # encoder crops them, with delays and a loop count.
    w, h = 29, 17
    frames, idxs = [], []
    for k, n in enumerate([4, 16, 64]):
        pal = palette_of(n, 100 + k)
        idx = noise(w, h, n, 200 + k) if k != 1 else smooth(w, h, n, 7)
        frames.append(p_image(w, h, idx, pal))
        idxs.append(idx)
    frames[0].save(os.path.join(HERE, "frames3_local_29x17.gif"), save_all=True,
                   append_images=frames[1:], duration=[70, 120, 250], loop=7,
                   optimize=False, interlace=False, disposal=1)
    record("frames3_local_29x17", idxs)

    # ImageMagick: a 2-colour (1 bit) picture and small interlaced ones.
    for name, args in [
            ("magick_bits1_21x11", ["-size", "21x11", "pattern:checkerboard", "-monochrome"]),
            ("magick_bits1_13x3_interlaced", ["-size", "13x3", "pattern:gray50", "-monochrome",
                                              "-interlace", "GIF"]),
            ("magick_bits2_23x13_interlaced", ["-size", "23x13", "gradient:red-blue", "-swirl", "200", "+dither",
                                               "-colors", "4", "-interlace", "GIF"]),
            ("magick_gradient_45x7_interlaced", ["-size", "45x7", "gradient:navy-orange", "+dither",
                                                 "-colors", "8", "-interlace", "GIF"])]:
        gm = os.path.join(HERE, name + ".gif")
        subprocess.run(["convert"] + args + [gm], check=True)
        GifImagePlugin.LOADING_STRATEGY = GifImagePlugin.LoadingStrategy.RGB_AFTER_FIRST
        first = Image.open(gm)
        assert first.mode == "P", name
        record(name, [list(first.getdata())])

    magick_table_wider_than_code_size()

    # Our own writer: a full 12-bit table kept without a clear code.
    w, h = 150, 120
    pal = palette_of(256, 42)
    idx = noise(w, h, 256, 43)
    with open(os.path.join(HERE, "deferred_clear_150x120.gif"), "wb") as f:
        f.write(gifwriter.write_gif(w, h, idx, pal, 8, defer_clear=True))
    record("deferred_clear_150x120", [idx])

    write_manifest()


def magick_table_wider_than_code_size():
    """ImageMagick writes a later frame whose colours are the first entries of
    the global table without a local table, and with the code size its own
    colour count needs: a 256-colour table decoded from 2-bit codes, where
    codes 4 and 5 are clear and end, not pixels."""
    name = "magick_table8_codesize2_16x8"
    w, h = 16, 8
    pal = palette_of(256, 77)
    first = noise(w, h, 256, 78)
    second = smooth(w, h, 4, 79)
    parts = []
    for k, (idx, p) in enumerate([(first, pal), (second, pal[:4])]):
        part = os.path.join(HERE, "%s.part%d.gif" % (name, k))
        p_image(w, h, idx, p).save(part, optimize=False)
        parts.append(part)
    out = os.path.join(HERE, name + ".gif")
    subprocess.run(["convert"] + parts + [out], check=True)
    for part in parts:
        os.remove(part)
    info = blocks(out)
    assert info[1]["local"] == 0 and len(info[1]["table"]) == 256, name
    assert code_sizes(out) == [8, 2], (name, code_sizes(out))
    record(name, [first, second])


def code_sizes(path):
    data = open(path, "rb").read()
    pos = 13 + (3 * (2 << (data[10] & 7)) if data[10] & 0x80 else 0)
    sizes = []
    while pos < len(data) and data[pos] != 0x3B:
        b = data[pos]
        pos += 1
        if b == 0x21:
            pos += 1
        else:
            p = data[pos + 8]
            pos += 9 + (3 * (2 << (p & 7)) if p & 0x80 else 0)
            sizes.append(data[pos])
            pos += 1
        while data[pos]:
            pos += 1 + data[pos]
        pos += 1
    return sizes


def write_manifest(only=None):
    path = os.path.join(HERE, "golden.txt")
    rows = manifest
    if only is not None:
        kept = [line for line in open(path).read().splitlines()
                if line and line.split()[0][:-4] not in only]
        rows = kept + manifest
    with open(path, "w") as f:
        f.write("\n".join(rows) + "\n")


PARTIAL = {"magick_table8_codesize2_16x8": magick_table_wider_than_code_size}

if __name__ == "__main__":
    if len(sys.argv) > 1:
        for arg in sys.argv[1:]:
            PARTIAL[arg]()
        write_manifest(set(sys.argv[1:]))
    else:
        main()
