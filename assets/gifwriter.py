"""A small GIF writer with its own LZW encoder.

Used to make the window's logo with an exact block layout, and a few test
files whose code streams an ordinary encoder does not produce.
"""
import struct


class BitWriter:
    def __init__(self):
        self.out = bytearray()
        self.acc = 0
        self.nbits = 0

    def put(self, code, width):
        self.acc |= code << self.nbits
        self.nbits += width
        while self.nbits >= 8:
            self.out.append(self.acc & 0xFF)
            self.acc >>= 8
            self.nbits -= 8

    def flush(self):
        if self.nbits:
            self.out.append(self.acc & 0xFF)
        self.acc = 0
        self.nbits = 0
        return bytes(self.out)


def lzw_encode(indices, min_code_size, literal_prefix=0, defer_clear=False, clear_at=None):
    """Greedy LZW. The first literal_prefix pixels are sent one code each and
    an extra clear code goes out before pixel clear_at (a longer stream for
    the same picture); with defer_clear a full table is kept, without a clear
    code, until the end."""
    clear = 1 << min_code_size
    end = clear + 1
    w = BitWriter()
    width = min_code_size + 1
    table = {}
    next_code = clear + 2
    full = False
    w.put(clear, width)
    n = len(indices)
    i = 0
    while i < n:
        if clear_at is not None and i >= clear_at:
            clear_at = None
            w.put(clear, width)
            width = min_code_size + 1
            table = {}
            next_code = clear + 2
            full = False
        code = indices[i]
        j = i + 1
        if i >= literal_prefix:
            while j < n and (code, indices[j]) in table:
                code = table[(code, indices[j])]
                j += 1
        w.put(code, width)
        if j < n and not full:
            table[(code, indices[j])] = next_code
            next_code += 1
            if next_code > (1 << width) and width < 12:
                width += 1
            if next_code == 4096:
                if defer_clear:
                    full = True
                else:
                    w.put(clear, width)
                    width = min_code_size + 1
                    table = {}
                    next_code = clear + 2
        i = j
    w.put(end, width)
    return w.flush()


def sub_blocks(data):
    out = bytearray()
    for k in range(0, len(data), 255):
        chunk = data[k:k + 255]
        out.append(len(chunk))
        out += chunk
    out.append(0)
    return bytes(out)


def palette_bytes(palette, count):
    """palette: list of (r, g, b); padded with black to count entries."""
    p = list(palette)[:count] + [(0, 0, 0)] * (count - min(len(palette), count))
    return b"".join(bytes(c) for c in p)


def write_gif(width, height, indices, palette, min_code_size=8, background=0,
              literal_prefix=0, defer_clear=False, clear_at=None):
    """One frame, global table only, no extensions, not interlaced."""
    count = 2
    while count < len(palette):
        count *= 2
    exponent = count.bit_length() - 2
    packed = 0x80 | (7 << 4) | exponent
    out = bytearray(b"GIF89a")
    out += struct.pack("<HHBBB", width, height, packed, background, 0)
    out += palette_bytes(palette, count)
    out += b"," + struct.pack("<HHHHB", 0, 0, width, height, 0)
    out.append(min_code_size)
    out += sub_blocks(lzw_encode(indices, min_code_size, literal_prefix, defer_clear, clear_at))
    out += b";"
    return bytes(out)
