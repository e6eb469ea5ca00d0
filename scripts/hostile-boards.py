#!/usr/bin/env python3
"""Writes hostile boards into a directory: files built to crash, hang or exhaust a reader.

    scripts/hostile-boards.py OUTDIR

Nothing here is stored in the tree; the hostile-board test generates the files on every run.
Each board is named after what it tries; "fifo" is a named pipe nobody writes to.
"""
import base64
import json
import math
import os
import struct
import sys
import zlib

MIB = 1 << 20


def element(element_type, ident, **fields):
    base = {"id": ident, "type": element_type, "x": 0, "y": 0, "strokeColor": "#1e1e1e",
            "fillColor": "transparent", "strokeWidth": 2, "opacity": 1, "roughness": 1}
    base.update(fields)
    return base


def write_board(out, name, elements, ensure_ascii=True):
    with open(os.path.join(out, name), "w", encoding="utf-8") as f:
        json.dump({"version": 1, "elements": elements}, f, separators=(",", ":"), ensure_ascii=ensure_ascii)


def png(width, height, color_type, idat, depth=8):
    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data))
    header = struct.pack(">IIBBBBB", width, height, depth, color_type, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", idat) + chunk(b"IEND", b"")


def zero_stream(total, target_size):
    """A zlib stream of `total` zero bytes without compressing them all: a block of zeros after
    a full flush always compresses to the same bytes, and the checksum of n zeros is known."""
    block = 1 << 20
    count = total // block
    comp = zlib.compressobj(9, zlib.DEFLATED, -15)
    first = comp.compress(bytes(block)) + comp.flush(zlib.Z_FULL_FLUSH)
    again = comp.compress(bytes(block)) + comp.flush(zlib.Z_FULL_FLUSH)
    assert first == again
    count = min(count, max(1, target_size // len(again)))
    rest = total - count * block
    body = again * count + comp.compress(bytes(rest)) + comp.flush(zlib.Z_FINISH)
    n = count * block + rest
    adler = ((n % 65521) << 16) | 1
    return b"\x78\xda" + body + struct.pack(">I", adler), n


def bomb_png(width, target_size):
    """Greyscale PNG of zero rows whose compressed data is about target_size bytes."""
    row = width + 1
    stream, n = zero_stream(row * (target_size * 1000 // row), target_size)
    return png(width, n // row, 0, stream)


def data_url(mime, data):
    return "data:" + mime + ";base64," + base64.b64encode(data).decode()


def one_bit_png(side):
    """A white one-bit greyscale square: a few bytes a row compressed, side squared decoded."""
    row = b"\x00" + b"\xff" * ((side + 7) // 8)
    return png(side, side, 0, zlib.compress(row * side, 9), depth=1)


def jpeg_segment(marker, body):
    return struct.pack(">BBH", 0xFF, marker, len(body) + 2) + body


class Bits:
    """Entropy-coded bits, most significant first, with a zero byte stuffed after every 0xFF."""
    def __init__(self):
        self.out = bytearray()
        self.value = 0
        self.count = 0

    def put(self, value, n):
        self.value = (self.value << n) | (value & ((1 << n) - 1))
        self.count += n
        while self.count >= 8:
            self.count -= 8
            byte = (self.value >> self.count) & 0xFF
            self.out.append(byte)
            if byte == 0xFF:
                self.out.append(0)
        self.value &= (1 << self.count) - 1

    def done(self):
        if self.count:
            self.put((1 << (8 - self.count)) - 1, 8 - self.count)
        return bytes(self.out)


def flat_progressive_jpeg(width, height, components, scans, comment=b"", luma_sampling=1):
    """A progressive JPEG of one flat level, built by hand: `scans` lists (component ids, first
    and last coefficient, Ah, Al). Every DC difference and AC coefficient is 0, so a DC scan
    takes a bit a block and an AC scan a few end-of-band runs, whatever the picture's size.
    With a luma sampling of 2 the first component has twice the resolution of the others on
    each side (colour at a quarter)."""
    out = b"\xff\xd8"
    if comment:
        out += jpeg_segment(0xFE, comment)
    out += jpeg_segment(0xDB, b"\x00" + b"\x01" * 64)
    out += jpeg_segment(0xC2, struct.pack(">BHHB", 8, height, width, components)
                        + b"".join(bytes([c + 1, luma_sampling * 0x11 if c == 0 else 0x11, 0])
                                   for c in range(components)))
    # DC: difference category 0 coded "0"; AC: the end-of-band runs EOB0 to EOB14, four bits each.
    out += jpeg_segment(0xC4, b"\x00" + bytes([1] + [0] * 15) + b"\x00"
                        + b"\x10" + bytes([0, 0, 0, 15] + [0] * 12) + bytes(r << 4 for r in range(15)))
    def blocks_of(component):  # the component's own blocks, as a scan of it alone codes them
        factor = luma_sampling if component == 1 else 1
        return (-(-width * factor // (luma_sampling * 8))) * (-(-height * factor // (luma_sampling * 8)))
    mcus = (-(-width // (luma_sampling * 8))) * (-(-height // (luma_sampling * 8)))
    for ids, first, last, ah, al in scans:
        out += jpeg_segment(0xDA, bytes([len(ids)]) + b"".join(bytes([i, 0]) for i in ids)
                            + bytes([first, last, ah << 4 | al]))
        bits = Bits()
        if first == 0:
            # One zero bit a block, the blocks of every component in each unit when interleaved.
            count = sum(luma_sampling ** 2 if i == 1 else 1 for i in ids) * mcus if len(ids) > 1 else blocks_of(ids[0])
            bits.out = bytearray(count // 8)
            bits.put(0, count % 8)
        else:
            left = blocks_of(ids[0])
            while left:
                run = min(left, 32767)
                r = run.bit_length() - 1
                bits.put(r, 4)
                bits.put(run - (1 << r), r)
                left -= run
        out += bits.done()
    return out + b"\xff\xd9"


def many_scans(components, refinements):
    """A DC scan, then each AC coefficient of each component sent at its coarsest bit and
    refined bit by bit: 1 + 63 x components x (refinements + 1) scans."""
    scans = [(list(range(1, components + 1)), 0, 0, 0, 0)]
    for c in range(1, components + 1):
        for k in range(1, 64):
            scans.append(([c], k, k, 0, refinements))
            scans += [([c], k, k, a, a - 1) for a in range(refinements, 0, -1)]
    return scans


def flat_gif(width, height, colour):
    """A GIF of one colour, its LZW codes worked out rather than searched: a run of index 0
    is coded as strings of 1, 2, 3, ... pixels, each the code made just before, until the
    table is full, and then as the longest string over and over."""
    bits = 0
    count = 0
    data = bytearray()

    def put(code, size):
        nonlocal bits, count
        bits |= code << count
        count += size
        while count >= 8:
            data.append(bits & 0xFF)
            bits >>= 8
            count -= 8

    clear, end = 4, 5
    size = 3
    put(clear, size)
    left = width * height
    length, code, next_code = 1, 0, 6
    while left:
        if left < length:  # the last pixels: the string of just that many, made long before
            code, length = (0 if left == 1 else 4 + left), left
        put(code, size)
        left -= length
        # The reader adds a string for every code it reads, widening the codes as it goes.
        if next_code < 4096:
            code, length = next_code, length + 1
            next_code += 1
            if next_code > (1 << size) and size < 12:
                size += 1
    put(end, size)
    if count:
        data.append(bits & 0xFF)
    blocks = b"".join(bytes([len(data[i:i + 255])]) + data[i:i + 255] for i in range(0, len(data), 255))
    return (b"GIF89a" + struct.pack("<HHBBB", width, height, 0x81, 0, 0) + bytes(colour) + bytes(9)
            + b"\x2c" + struct.pack("<HHHHB", 0, 0, width, height, 0) + b"\x02" + blocks + b"\x00\x3b")


def lossless_webp(width, height, note):
    """An opaque flat WebP of the given size, made by libwebp (through ctypes), in the extended
    form with an XMP chunk holding `note`, so that pictures of the same pixels differ."""
    import ctypes
    import ctypes.util
    lib = ctypes.CDLL(ctypes.util.find_library("webp") or "libwebp.so.7")
    lib.WebPEncodeLosslessRGBA.restype = ctypes.c_size_t
    lib.WebPEncodeLosslessRGBA.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.c_int, ctypes.c_int,
                                           ctypes.POINTER(ctypes.POINTER(ctypes.c_uint8))]
    pixels = b"\x30\x80\xc0\xff" * (width * height)
    output = ctypes.POINTER(ctypes.c_uint8)()
    size = lib.WebPEncodeLosslessRGBA(pixels, width, height, width * 4, ctypes.byref(output))
    encoded = ctypes.string_at(output, size)
    lib.WebPFree(output)
    vp8l = encoded[12:]
    if len(note) % 2:
        note += b" "
    vp8x = b"VP8X" + struct.pack("<I", 10) + bytes([0x04, 0, 0, 0]) + (width - 1).to_bytes(3, "little") \
        + (height - 1).to_bytes(3, "little")
    body = b"WEBP" + vp8x + vp8l + b"XMP " + struct.pack("<I", len(note)) + note
    return b"RIFF" + struct.pack("<I", len(body)) + body


def picture_grid(urls, side=100, natural=(1, 1), prefix="p"):
    return [element("image", "%s%d" % (prefix, i), x=(i % 8) * side, y=(i // 8) * side, width=side - 10,
                    height=side - 10, src=url, naturalWidth=natural[0], naturalHeight=natural[1])
            for i, url in enumerate(urls)]


def svg_with_images(*urls):
    return ('<svg xmlns="http://www.w3.org/2000/svg" width="100" height="100">'
            + "".join('<image x="%d" width="50" height="50" href="%s"/>' % (i * 10, url)
                      for i, url in enumerate(urls)) + "</svg>")


def zigzag_points(count, reach, phase=0):
    """A polygon that swings across the whole coordinate range at every point."""
    return [[(-1) ** i * (reach - i - phase), (-1) ** ((i + phase) // 2) * (reach - 1)] for i in range(count)]


def shadowed_kinds(count, blur):
    """Elements of every kind on a grid, each casting a shadow of the given blur."""
    tiny_png = data_url("image/png", png(2, 2, 0, zlib.compress(b"\x00\x80\x80" * 2)))
    icon = data_url("image/svg+xml", b'<svg xmlns="http://www.w3.org/2000/svg" width="8" height="8">'
                                     b'<rect width="8" height="8"/></svg>')
    makers = [
        lambda i, x, y: element("rectangle", "r%d" % i, x=x, y=y, width=100, height=60, label="box"),
        lambda i, x, y: element("ellipse", "e%d" % i, x=x, y=y, width=100, height=60),
        lambda i, x, y: element("rhombus", "d%d" % i, x=x, y=y, width=100, height=60),
        lambda i, x, y: element("shape", "s%d" % i, x=x, y=y, width=100, height=60, kind="database"),
        lambda i, x, y: element("stencil", "i%d" % i, x=x, y=y, width=60, height=60,
                                source={"kind": "builtin", "ref": "generic/database"}),
        lambda i, x, y: element("stencil", "m%d" % i, x=x, y=y, width=60, height=60,
                                source={"kind": "embedded", "src": icon, "pack": "p", "name": "n"}),
        lambda i, x, y: element("line", "l%d" % i, x=x, y=y, x2=x + 100, y2=y + 60, label="line"),
        lambda i, x, y: element("arrow", "a%d" % i, x=x, y=y, x2=x + 100, y2=y + 60, routing="elbow"),
        lambda i, x, y: element("curve", "c%d" % i, x=x, y=y, x2=x + 100, y2=y, cx=x + 50, cy=y + 60),
        lambda i, x, y: element("polygon", "p%d" % i, closed=True,
                                points=[[x, y], [x + 100, y], [x + 50, y + 60]]),
        lambda i, x, y: element("freehand", "f%d" % i, points=[[x + k * 10, y + (k % 3) * 20] for k in range(10)]),
        lambda i, x, y: element("text", "t%d" % i, x=x, y=y, width=100, height=20, content="shadow",
                                fontSize=16, fontFamily="sans-serif"),
        lambda i, x, y: element("image", "g%d" % i, x=x, y=y, width=60, height=60, naturalWidth=2,
                                naturalHeight=2, src=tiny_png),
    ]
    out = []
    for i in range(count):
        e = makers[i % len(makers)](i, (i % 70) * 120, (i // 70) * 90)
        e.update(fillColor="#a0c0e0", shadowBlur=blur, shadowColor="rgba(0,0,0,0.5)", shadowOffsetX=4,
                 shadowOffsetY=4)
        out.append(e)
    return out


def wide_shadowed_strokes(count):
    """Strokes of several kinds and widths on a grid, each casting a wide shadow of its own."""
    makers = [
        lambda i, x, y: element("rectangle", "r%d" % i, x=x, y=y, width=40, height=20),
        lambda i, x, y: element("line", "l%d" % i, x=x, y=y, x2=x + 40, y2=y + 25),
        lambda i, x, y: element("freehand", "f%d" % i,
                                points=[[x + k * 5, y + (k * 7 + i) % 20] for k in range(9)]),
        lambda i, x, y: element("ellipse", "e%d" % i, x=x, y=y, width=30, height=45, fillColor="#c0a0e0"),
    ]
    styles = ["dashed", "solid", "dotted"]
    blurs = [1000, 400, 150, 60]
    offsets = [(5, 5), (-40, 12.5), (0.5, -7.25), (120, 90)]
    out = []
    for i in range(count):
        e = makers[i % len(makers)](i, (i % 60) * 35, (i // 60) * 35)
        dx, dy = offsets[i // 7 % len(offsets)]
        e.update(strokeWidth=[1000, 300, 40][i // 3 % 3], strokeStyle=styles[i // 5 % 3], roughness=i // 2 % 3,
                 shadowBlur=blurs[i // 11 % len(blurs)], shadowColor="rgba(20,0,60,0.4)", shadowOffsetX=dx,
                 shadowOffsetY=dy)
        out.append(e)
    return out


def tall_texts(count, make_content, **fields):
    """Narrow text blocks on a grid of 70 columns at a pitch of 40, each wrapping to thousands
    of lines that run far below the picture."""
    return [element("text", "t%d" % i, x=(i % 70) * 40, y=(i // 70) * 40, content=make_content(i),
                    **fields) for i in range(count)]


def letters_and_spaces(i, length=10_000):
    """Single letters between single spaces: each wraps to a line of its own in a narrow box."""
    return "".join(chr(0x61 + (i + k * 7) % 26) if k % 2 == 0 else " " for k in range(length))


def mixed_words(i, length=10_000):
    """Words of 1 to 40 letters, some of them far wider than their box."""
    out, k = [], 0
    while sum(map(len, out)) + len(out) < length:
        out.append("".join(chr(0x41 + (i + k + j * 5) % 26) for j in range(1 + (k * 13 + i) % 40)))
        k += 1
    return " ".join(out)[:length]


def cjk_run(i, length=4_000):
    """Han and kana without spaces: wrapped only where words may be cut."""
    return "".join(chr(0x4E00 + (i * 31 + k * 17) % 2000) if k % 5 else chr(0x3042 + k % 80)
                   for k in range(length))


# The most numbers a board's points and pressures may hold: two a point, one a pressure.
POINT_NUMBER_BUDGET = 16_777_216


def write_point_strokes(out, name, numbers, points=("[3,1]",), pressure=None, kind="freehand"):
    """Elements of 100,000 points each (the last one shorter), the given points over and over,
    holding `numbers` numbers in their points and pressures: as short as points can be written."""
    per_point = 3 if pressure is not None else 2
    left = numbers // per_point
    with open(os.path.join(out, name), "w") as f:
        f.write('{"version":1,"elements":[')
        n = 0
        while left > 0:
            count = min(left, 100_000)
            fields = {"closed": True} if kind == "polygon" else {}
            head = json.dumps(element(kind, "p%d" % n, **fields), separators=(",", ":"))[:-1]
            f.write(("," if n else "") + head + ',"points":['
                    + ",".join((list(points) * (count // len(points) + 1))[:count]) + "]")
            if pressure is not None:
                f.write(',"pressures":[' + ",".join([pressure] * count) + "]")
            f.write("}")
            left -= count
            n += 1
        f.write("]}")


def looping_scribble(i, count):
    """A freehand stroke of tight loops drifting across a 400 x 300 box and back, each loop
    crossing the ones before it."""
    points = [[round(200 + 180 * math.sin(k * 0.0021 + i) + 25 * math.cos(k * 0.7), 1),
               round(150 + 120 * math.sin(k * 0.0017 + i * 0.9) + 25 * math.sin(k * 0.7), 1)] for k in range(count)]
    return element("freehand", "l%d" % i, points=points, strokeWidth=4)


def scribble(i, count, pressures=False, **fields):
    """A freehand scribble as people draw one: quick strokes back and forth across a 400 x 300
    box, drifting slowly down and up it, every pass crossing the others."""
    points = [[round(200 + 190 * math.sin(k * 0.9 + i), 1),
               round(150 + 130 * math.sin(k * 0.0123 + i * 0.7) + 10 * math.sin(k * 2.1), 1)] for k in range(count)]
    if pressures:
        fields["pressures"] = [round(0.3 + 0.6 * abs(math.sin(k * 0.05 + i)), 2) for k in range(count)]
    return element("freehand", "s%d" % i, points=points, **fields)


SVG_HEAD = ('<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" '
            'width="100" height="100">')


def filtered_svg(primitives, uses=1, filter_attributes=""):
    """Full-size rectangles drawn through one filter of the given primitives."""
    return (SVG_HEAD + '<filter id="f" %s>%s</filter>' % (filter_attributes, primitives)
            + '<rect width="100" height="100" fill="red" filter="url(#f)"/>' * uses + "</svg>")


def svg_image_and_stencil(ident, x, svg):
    """One SVG as an image element and, when it fits, as an embedded stencil."""
    url = data_url("image/svg+xml", svg.encode())
    out = [element("image", "img-" + ident, x=x, width=100, height=100, naturalWidth=100, naturalHeight=100,
                   src=url)]
    if len(url) <= 65_536:
        out.append(element("stencil", "st-" + ident, x=x, y=120, width=100, height=100,
                           source={"kind": "embedded", "src": url, "pack": "hostile", "name": ident}))
    return out


def svg_bombs():
    """SVGs that make the renderer abort or whose filters, layers and references make its work and
    memory grow without bound, by name."""
    ones = lambda n: " ".join(["1"] * n)
    nested_uses = (SVG_HEAD + '<defs><g id="a0">' + '<rect width="1" height="1"/>' * 10 + "</g>"
                   + "".join('<g id="a%d">' % i + ('<use href="#a%d"/>' % (i - 1)) * 10 + "</g>" for i in range(1, 6))
                   + '</defs><use href="#a5"/></svg>')
    masks = (SVG_HEAD + '<mask id="m0"><rect width="100" height="100" fill="white"/></mask>'
             + "".join('<mask id="m%d"><rect width="100" height="100" fill="white" mask="url(#m%d)"/></mask>' % (i, i - 1)
                       for i in range(1, 200)) + '<rect width="100" height="100" mask="url(#m199)"/></svg>')
    markers = (SVG_HEAD + '<marker id="m" markerWidth="10" markerHeight="10">' + '<circle r="3"/>' * 100
               + '</marker><polyline fill="none" stroke="black" marker-mid="url(#m)" points="'
               + " ".join("%d,%d" % (i % 100, i * 7 % 100) for i in range(20_000)) + '"/></svg>')
    crossing = (SVG_HEAD + '<path fill="none" stroke="black" d="M0 0 '
                + " ".join("L%d %d" % (i * 37 % 100, i * 61 % 100) for i in range(20_000)) + '"/></svg>')
    return {
        # The renderer aborts the process on these kernels.
        "convolve-21": filtered_svg('<feConvolveMatrix order="21" kernelMatrix="%s"/>' % ones(441)),
        "convolve-99": filtered_svg('<feConvolveMatrix order="99" kernelMatrix="%s"/>' % ones(400)),
        "convolve-3x400": filtered_svg('<feConvolveMatrix order="3" kernelMatrix="%s"/>' % ones(400)),
        # Resampling to kernel units, octaves, and the work of primitives and layers.
        "lighting-units": filtered_svg('<feDiffuseLighting kernelUnitLength="0.005"><feDistantLight/></feDiffuseLighting>'),
        "highlight-units": filtered_svg('<feSpecularLighting kernelUnitLength="0.001 0.002"><fePointLight z="9"/>'
                                       '</feSpecularLighting>'),
        "convolve-units": filtered_svg('<feConvolveMatrix kernelUnitLength="0.0001" kernelMatrix="%s"/>' % ones(9)),
        "turbulence-octaves": filtered_svg('<feTurbulence baseFrequency="0.05" numOctaves="100000"/>'),
        "convolve-20-many": filtered_svg('<feConvolveMatrix order="20" kernelMatrix="%s"/>' % ones(400), uses=100),
        "blur-many": filtered_svg('<feGaussianBlur stdDeviation="5"/>', uses=100),
        "composites": filtered_svg('<feComposite operator="arithmetic" k1="1" k2="1" in2="SourceGraphic"/>' * 1000),
        "merge-nodes": filtered_svg("<feMerge>" + '<feMergeNode in="SourceGraphic"/>' * 10_000 + "</feMerge>"),
        "morphology": filtered_svg('<feMorphology radius="1e30"/>', uses=3),
        "displacement": filtered_svg('<feTurbulence baseFrequency="0.05"/><feDisplacementMap in2="SourceGraphic" '
                                     'scale="1e9"/>', uses=20),
        "filter-region": filtered_svg('<feGaussianBlur stdDeviation="5"/><feTurbulence numOctaves="9"/>', uses=5,
                                      filter_attributes='x="-1e30" y="-1e30" width="1e38" height="1e38" '
                                                        'filterUnits="userSpaceOnUse" filterRes="1e9 1e9"'),
        "css-filters": SVG_HEAD + '<rect width="100" height="100" fill="red" '
                                  'style="filter:blur(5px) drop-shadow(2px 2px 3px black)"/>' * 200 + "</svg>",
        "blend-modes": SVG_HEAD + '<rect width="100" height="100" fill="red" style="mix-blend-mode:multiply"/>' * 1000
                       + "</svg>",
        "nested-masks": masks,
        "uses-100k": nested_uses,
        "markers-20k": markers,
        "crossing-path-20k": crossing,
        "gradient-stops": SVG_HEAD + '<linearGradient id="g">' + "".join(
            '<stop offset="%g" stop-color="#%02x0000"/>' % (i / 100_000, i % 255) for i in range(100_000))
                          + '</linearGradient><rect width="100" height="100" fill="url(#g)"/></svg>',
        "text-2m": SVG_HEAD + "<text y=\"50\">" + "x" * 2_000_000 + "</text></svg>",
        "filter-cycle": SVG_HEAD + '<filter id="f"><feImage href="#r"/></filter><g id="r" filter="url(#f)">'
                        '<use href="#r"/></g></svg>',
    }


def icon_svg(seed, paths=1000):
    """A distinct icon of about 60 KB: `paths` small filled triangles."""
    return (SVG_HEAD + "".join('<path d="M%d %d L%d %d L%d %d Z" fill="#%06x"/>'
                               % ((seed * 13 + i) % 97, (seed * 7 + i * 3) % 89, (i * 5) % 83, (seed + i * 11) % 79,
                                  (seed * 3 + i) % 71, (i * 17) % 67, (seed * 101 + i * 977) % 0xFFFFFF)
                               for i in range(paths)) + "</svg>")


def main(out):
    os.makedirs(out, exist_ok=True)

    # Freehand strokes of 100,000 points at ±1e7, as many as fit in 200 MiB (more than a board's
    # points may hold), and as many as they may hold.
    stroke_points = ",".join("[%d,%d]" % ((-1) ** i * (10_000_000 - i), (-1) ** (i // 2) * 9_999_999)
                             for i in range(100_000))
    for name, size, numbers in (("freehand-200mib.json", 200 * MIB, None),
                                ("freehand-range-at-budget.json", 200 * MIB, POINT_NUMBER_BUDGET)):
        with open(os.path.join(out, name), "w") as f:
            f.write('{"version":1,"elements":[')
            written, n = 0, 0
            while written + len(stroke_points) + 400 < size and (numbers is None or (n + 1) * 200_000 <= numbers):
                head = json.dumps(element("freehand", "f%d" % n, roughness=2))[:-1]
                piece = ("," if n else "") + head + ',"points":[' + stroke_points + "]}"
                f.write(piece)
                written += len(piece)
                n += 1
            f.write("]}")

    # Points written as short as they can be: 445 strokes of 100,000 points "[3,1]" (255 MiB, under
    # the hosts' file cap), strokes holding exactly as many numbers as a board may hold and two
    # more, and held back from them: strokes with pressures just under the budget, polygons at it,
    # and strokes at it swinging between two points a pixel apart.
    write_point_strokes(out, "points-445-strokes.json", 445 * 200_000)
    write_point_strokes(out, "points-at-budget.json", POINT_NUMBER_BUDGET)
    write_point_strokes(out, "points-past-budget.json", POINT_NUMBER_BUDGET + 2)
    write_point_strokes(out, "points-pressures-under-budget.json", POINT_NUMBER_BUDGET - 1, pressure="1")
    write_point_strokes(out, "points-polygons-at-budget.json", POINT_NUMBER_BUDGET, kind="polygon")
    write_point_strokes(out, "points-zigzag-at-budget.json", POINT_NUMBER_BUDGET, points=("[3,1]", "[4,2]"))

    # Dense scribbles: 50 and 500 freehand strokes of 10,000 points crossing one another inside
    # 400 x 300 (the 500 resample into more points than a thumbnail draws), 60 of tight loops,
    # and 50 wider ones whose pressure varies along them.
    write_board(out, "scribbles-50.json", [scribble(i, 10_000) for i in range(50)])
    write_board(out, "scribbles-500.json", [scribble(i, 10_000) for i in range(500)])
    write_board(out, "scribbles-loops-60.json", [looping_scribble(i, 10_000) for i in range(60)])
    write_board(out, "scribbles-pressures-50.json",
                [scribble(i, 10_000, pressures=True, strokeWidth=8) for i in range(50)])

    # An element list of 50 million zeros: far too many entries, each one tiny.
    with open(os.path.join(out, "zero-list-100mib.json"), "w") as f:
        f.write('{"version":1,"elements":[0')
        f.write(",0" * (50 * MIB - 1))
        f.write("]}")

    # 50 million zeros under an unknown key, which the reader must keep: inside the one valid
    # element, and beside the element list at the top.
    box = json.dumps(element("rectangle", "box", width=100, height=60), separators=(",", ":"))
    zeros = '"extra":[0' + ",0" * (50 * MIB - 1) + "]"
    with open(os.path.join(out, "element-extra-100mib.json"), "w") as f:
        f.write('{"version":1,"elements":[' + box[:-1] + "," + zeros + "}]}")
    with open(os.path.join(out, "top-extra-100mib.json"), "w") as f:
        f.write('{"version":1,"elements":[' + box + "]," + zeros + "}")

    # 5000 two-point rough arrows 2.8e7 long, corner to corner of the coordinate range.
    write_board(out, "rough-arrows.json",
                [element("arrow", "a%d" % i, x=-1e7, y=-1e7 + i, x2=1e7, y2=1e7 - i, roughness=2,
                         label="arrow %d" % i, endHeadStyle="triangleFilled") for i in range(5000)])

    # Labels and texts of one 10,000-character word in narrow boxes.
    word = "".join(chr(0x61 + (i * 7) % 26) for i in range(10_000))
    write_board(out, "long-words.json",
                [element("rectangle", "r%d" % i, x=i * 20, width=4 + i, height=30, label=word) for i in range(20)]
                + [element("text", "t%d" % i, y=100 + i * 40, content=word, fontSize=16,
                           fontFamily="sans-serif", width=8, height=20) for i in range(20)])

    # 2,500 boxes stacked at one place, 2,500 labelled elbow connectors among them.
    boxes = [element("rectangle", "b%d" % i, x=100, y=100, width=120, height=60, label="box %d" % i)
             for i in range(2500)]
    arrows = [element("arrow", "c%d" % i, x=100, y=100, x2=220, y2=160, startElementId="b%d" % i,
                      endElementId="b%d" % ((i * 7 + 1) % 2500), routing="elbow", label="link %d" % i)
              for i in range(2500)]
    write_board(out, "stacked-elbows.json", boxes + arrows)

    # Nesting up to and past the parser's depth limit, inside an element and at the top.
    # The element sits three levels down, so 509 reaches the limit of 512 and 510 passes it.
    for depth in (509, 510, 100_000):
        with open(os.path.join(out, "nesting-%d.json" % depth), "w") as f:
            head = json.dumps(element("rectangle", "n", width=9, height=9, label="deep"),
                              separators=(",", ":"))[:-1]
            f.write('{"version":1,"elements":[' + head + ',"deep":' + "[" * depth + "]" * depth + "}]}")

    # Image data URLs of about 10 MB: decompression bombs, raw and inside SVG and stencils.
    huge_bomb = bomb_png(100_000, 7 * MIB)           # sides far past the pixel limit
    wide_bomb = bomb_png(16_000, 256 * 1024)         # 16000 x 16000: just inside the area limit
    # A well-formed small image carrying 7 MiB of noise in an unknown chunk before its end.
    padded = png(16, 16, 0, zlib.compress(bytes(17 * 16)))
    noise = os.urandom(7 * MIB)
    noisy = (padded[:-12] + struct.pack(">I", len(noise)) + b"noIS" + noise
             + struct.pack(">I", zlib.crc32(b"noIS" + noise)) + padded[-12:])
    svg_bomb = ('<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" '
                'width="100" height="100"><image width="100" height="100" xlink:href="'
                + data_url("image/png", huge_bomb) + '"/><image width="100" height="100" href="'
                + data_url("image/png", wide_bomb) + '"/></svg>')
    images = []
    for i, (name, data, mime) in enumerate([("huge", huge_bomb, "image/png"), ("wide", wide_bomb, "image/png"),
                                             ("noisy", noisy, "image/png"), ("svg", svg_bomb.encode(), "image/svg+xml")]):
        url = data_url(mime, data)
        images.append(element("image", "img-" + name, x=i * 120, width=100, height=100,
                              naturalWidth=100, naturalHeight=100, src=url))
    # Embedded stencils hold SVG only, and at most 64 Ki characters: bombs that fit.
    small_bomb = bomb_png(16_000, 30 * 1024)
    icon = ('<svg xmlns="http://www.w3.org/2000/svg" width="10" height="10"><image width="10" height="10" href="'
            + data_url("image/png", small_bomb) + '"/></svg>')
    for i in range(3):
        images.append(element("stencil", "st%d" % i, x=i * 120, y=150, width=64, height=64,
                              source={"kind": "embedded", "src": data_url("image/svg+xml", icon.encode()),
                                      "pack": "hostile", "name": "bomb"}))
    write_board(out, "image-bombs.json", images)

    # 200 image elements, each a 4000 x 4000 single-colour PNG.
    row = b"\x00" + b"\xc0\x30\x30" * 4000
    flat = data_url("image/png", png(4000, 4000, 2, zlib.compress(row * 4000, 9)))
    write_board(out, "flat-images.json",
                [element("image", "p%d" % i, x=(i % 20) * 50, y=(i // 20) * 50, width=48, height=48,
                         naturalWidth=4000, naturalHeight=4000,
                         src=flat) for i in range(200)])

    # SVG icons with entity expansion and external references.
    laughs = ('<?xml version="1.0"?><!DOCTYPE svg [<!ENTITY a "lollollollollollollollollollol">'
              + "".join('<!ENTITY %s "%s">' % (chr(0x62 + k), ("&%s;" % chr(0x61 + k)) * 10) for k in range(9))
              + '<!ENTITY ext SYSTEM "file:///etc/passwd">]>'
              '<svg xmlns="http://www.w3.org/2000/svg" width="10" height="10"><text>&j;&ext;</text></svg>')
    external = ('<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" '
                'width="10" height="10"><image xlink:href="file:///dev/zero" width="10" height="10"/>'
                '<image href="http://192.0.2.1/x.png" width="10" height="10"/>'
                '<use xlink:href="file:///etc/passwd#x"/><style>@import url(http://192.0.2.1/a.css);'
                'rect{fill:url(file:///dev/urandom)}</style><rect width="10" height="10"/>'
                '<xi:include xmlns:xi="http://www.w3.org/2001/XInclude" href="/dev/zero" parse="text"/></svg>')
    svgs = []
    for i, text in enumerate([laughs, external]):
        url = data_url("image/svg+xml", text.encode())
        svgs.append(element("image", "svg%d" % i, x=i * 20, width=10, height=10, naturalWidth=10,
                            naturalHeight=10, src=url))
        svgs.append(element("stencil", "icon%d" % i, x=i * 20, y=20, width=10, height=10,
                            source={"kind": "embedded", "src": url, "pack": "hostile", "name": "icon"}))
    write_board(out, "svg-entities.json", svgs)

    # 5,000 ellipses casting the widest shadow there is, on a grid, stacked in one place, and
    # stacked with sizes that all differ (so that no two shadows share a mask), and 5,000
    # shadowed elements of every kind.
    write_board(out, "shadows-ellipses.json",
                [element("ellipse", "e%d" % i, x=(i % 100) * 120, y=(i // 100) * 80, width=100, height=60,
                         fillColor="#a0c0e0", shadowBlur=1000) for i in range(5000)])
    write_board(out, "shadows-stacked.json",
                [element("ellipse", "e%d" % i, x=i % 7, y=i % 5, width=1000, height=600, fillColor="#a0c0e0",
                         shadowBlur=1000, shadowOffsetX=i % 9 - 4) for i in range(5000)])
    write_board(out, "shadows-distinct.json",
                [element("ellipse", "e%d" % i, x=i % 7, y=i % 5, width=1000 + i % 997, height=600 + i % 331,
                         fillColor="#a0c0e0", shadowBlur=1000, shadowOffsetX=i % 9 - 4) for i in range(5000)])
    write_board(out, "shadows-every-kind.json", shadowed_kinds(5000, 1000))

    # Wide shadows of wide strokes: 5,000 small ellipses with dotted rough outlines 1000 wide, each
    # casting the widest shadow, so that every shadow covers the whole picture and no two rough
    # outlines share a mask. And a mix held back from it: rectangles, lines and freehand strokes,
    # dashed, solid and dotted, smooth and rough, filled or not, under blurs from 60 to 1000 with
    # offsets large, negative and fractional.
    write_board(out, "wide-shadows-wide-strokes.json",
                [element("ellipse", "e%d" % i, x=(i % 70) * 30, y=(i // 70) * 30, width=25, height=25,
                         strokeWidth=1000, strokeStyle="dotted", roughness=2, shadowBlur=1000,
                         shadowColor="rgba(0,0,0,0.5)", shadowOffsetX=5, shadowOffsetY=5) for i in range(5000)])
    write_board(out, "wide-shadows-mixed-strokes.json", wide_shadowed_strokes(5000))

    # SVG images holding PNG images that are small files but must be decoded whole: one of
    # 16,384 x 16,384 pixels, three of them, and five of 6,000 x 6,000 that only pass one by one.
    big = data_url("image/png", one_bit_png(16_384))
    many = data_url("image/png", one_bit_png(6_000))
    svg_images = []
    for i, svg in enumerate([svg_with_images(big), svg_with_images(big), svg_with_images(big),
                             svg_with_images(*[many] * 5)]):
        svg_images.append(element("image", "v%d" % i, x=i * 120, width=100, height=100, naturalWidth=100,
                                  naturalHeight=100, src=data_url("image/svg+xml", svg.encode())))
    write_board(out, "svg-inner-images.json", svg_images)

    # SVG filter bombs of every primitive, layers and references: each SVG as an image element and
    # an embedded stencil on a board of its own, and all of them together on one board.
    bombs = svg_bombs()
    together = []
    for i, (name, svg) in enumerate(sorted(bombs.items())):
        write_board(out, "svg-bomb-%s.json" % name, svg_image_and_stencil(name, 0, svg))
        together += svg_image_and_stencil(name, i * 120, svg)
    write_board(out, "svg-bombs-all.json", together)

    # Forty distinct SVGs of 100,000 shapes, each reached through 5 x 10 <use> references.
    write_board(out, "svg-uses-40.json",
                [svg_image_and_stencil("u%d" % i, i * 120, bombs["uses-100k"].replace("</svg>", '<rect id="x%d"/></svg>' % i))[0]
                 for i in range(40)])

    # 250 distinct embedded icons of 60 KB (1,000 paths each), as stencils and as images.
    icons = [data_url("image/svg+xml", icon_svg(i).encode()) for i in range(250)]
    write_board(out, "icons-250.json",
                [element("stencil", "i%d" % i, x=(i % 25) * 70, y=(i // 25) * 70, width=64, height=64,
                         source={"kind": "embedded", "src": url, "pack": "hostile", "name": "icon"})
                 if i % 2 == 0 else
                 element("image", "i%d" % i, x=(i % 25) * 70, y=(i // 25) * 70, width=64, height=64,
                         naturalWidth=100, naturalHeight=100, src=url)
                 for i, url in enumerate(icons)])

    # 24 noise PNGs of 1650 x 1470 in data URLs of 9.7 million characters each (221 MiB of board).
    noise_images = []
    for i in range(24):
        rows = b"".join(b"\x00" + os.urandom(1650 * 3) for _ in range(1470))
        noise_images.append(element("image", "n%d" % i, x=(i % 6) * 110, y=(i // 6) * 110, width=100, height=100,
                                    naturalWidth=1650, naturalHeight=1470,
                                    src=data_url("image/png", png(1650, 1470, 2, zlib.compress(rows, 1)))))
    write_board(out, "noise-pngs.json", noise_images)

    # 300 boxes with a label of one 10,000-character word, 200 narrow texts of as many.
    write_board(out, "long-labels.json",
                [element("rectangle", "r%d" % i, x=(i % 20) * 130, y=(i // 20) * 80, width=120, height=60,
                         label=word) for i in range(300)]
                + [element("text", "t%d" % i, x=i * 14, y=1300, content=word, fontSize=16,
                           fontFamily="sans-serif", width=12, height=20) for i in range(200)])

    # Three dozen zigzag polygons of 100,000 points across the coordinate range, closed and open,
    # with round, mitred and bevelled corners.
    with open(os.path.join(out, "zigzag-polygons.json"), "w") as f:
        f.write('{"version":1,"elements":[')
        for i in range(36):
            corners = [{}, {"lineCap": "butt", "lineJoin": "miter"}, {"lineCap": "butt", "lineJoin": "bevel"}][i % 3]
            e = element("polygon", "z%d" % i, fillColor="#a0c0e0", closed=i % 2 == 0, strokeWidth=1000,
                        points=zigzag_points(100_000, 10_000_000, i), **corners)
            f.write(("," if i else "") + json.dumps(e, separators=(",", ":")))
        f.write("]}")

    # The same zigzags across a range a hundred times narrower, where consecutive passes no longer
    # meet on the renderer's grid: three of them, closed and open, filled without an outline.
    with open(os.path.join(out, "zigzag-fills-1e5.json"), "w") as f:
        f.write('{"version":1,"elements":[')
        for i in range(3):
            e = element("polygon", "z%d" % i, fillColor="#a0c0e0", strokeColor="transparent", closed=i % 2 == 0,
                        points=zigzag_points(100_000, 100_000, i))
            f.write(("," if i else "") + json.dumps(e, separators=(",", ":")))
        f.write("]}")

    # And as outlines about a pixel wide there, with round, mitred and bevelled corners.
    with open(os.path.join(out, "zigzag-outlines-1e5.json"), "w") as f:
        f.write('{"version":1,"elements":[')
        for i in range(3):
            corners = [{}, {"lineCap": "butt", "lineJoin": "miter"}, {"lineCap": "butt", "lineJoin": "bevel"}][i]
            e = element("polygon", "z%d" % i, closed=i % 2 == 0, strokeWidth=1000,
                        points=zigzag_points(100_000, 100_000, i), **corners)
            f.write(("," if i else "") + json.dumps(e, separators=(",", ":")))
        f.write("]}")

    # 5,000 texts 10 wide and 20 high, each of 10,000 characters of letters and spaces wrapping to
    # a line per letter, and variants: serif letters at another size and width, centred and
    # underlined; monospaced words of up to 40 letters, most wider than their box; Han and kana
    # without spaces, 4,000 to a block, cut into one character per line by the padding, in a
    # small sans-serif size.
    write_board(out, "tall-texts.json",
                tall_texts(5000, letters_and_spaces, width=10, height=20, fontSize=20, fontFamily="sans-serif"))
    write_board(out, "tall-texts-serif.json",
                tall_texts(5000, letters_and_spaces, width=16, height=30, fontSize=31, fontFamily="serif",
                           textAlign="center", underline=True))
    write_board(out, "tall-texts-words.json",
                tall_texts(5000, mixed_words, width=30, height=20, fontSize=14, fontFamily="monospace",
                           textAlign="right", strikethrough=True))
    write_board(out, "tall-texts-cjk.json",
                tall_texts(5000, cjk_run, width=12, height=12, fontSize=9, fontFamily="sans-serif", padding=1),
                ensure_ascii=False)
    # And 5,000 narrow boxes whose labels of letters and spaces wrap far past the box that clips them.
    write_board(out, "tall-labels.json",
                [element("rectangle", "r%d" % i, x=(i % 70) * 40, y=(i // 70) * 40, width=10, height=20,
                         label=letters_and_spaces(i)) for i in range(5000)])

    # Raster images that cost their decoder: a progressive JPEG of 883 scans, each walking a
    # million blocks; one of 64 scans, the most that is decoded; a progressive CMYK JPEG that needs
    # half a gigabyte of coefficients for 64 megapixels.
    eight_k = 8000
    write_board(out, "jpeg-883-scans.json", picture_grid(
        [data_url("image/jpeg", flat_progressive_jpeg(eight_k, eight_k, 1, many_scans(1, 13)))]))
    write_board(out, "jpeg-64-scans.json", picture_grid(
        [data_url("image/jpeg", flat_progressive_jpeg(eight_k, eight_k, 1, many_scans(1, 0)))]))
    cmyk_scans = [([1, 2, 3, 4], 0, 0, 0, 0)] + [([c], 1, 63, 0, 0) for c in range(1, 5)]
    # Colour at a quarter, as cameras write it: 192 MB of coefficients, within the decode limit.
    colour_scans = [([1, 2, 3], 0, 0, 0, 0)] + [([c], 1, 63, 0, 0) for c in range(1, 4)]
    write_board(out, "jpeg-progressive-colour.json", picture_grid(
        [data_url("image/jpeg", flat_progressive_jpeg(eight_k, eight_k, 3, colour_scans, luma_sampling=2))]))
    write_board(out, "jpeg-cmyk-progressive.json", picture_grid(
        [data_url("image/jpeg", flat_progressive_jpeg(eight_k, eight_k, 4, cmyk_scans))]))
    # And boards of 40 distinct ones of 64 scans, then of 10 (as photographs are written).
    ten_scans = [([1], 0, 0, 0, 0)] + [([1], k, min(k + 6, 63), 0, 0) for k in range(1, 64, 7)]
    write_board(out, "jpeg-64-scans-x40.json", picture_grid(
        [data_url("image/jpeg", flat_progressive_jpeg(eight_k, eight_k, 1, many_scans(1, 0), b"%d" % i))
         for i in range(40)]))
    write_board(out, "jpeg-10-scans-x40.json", picture_grid(
        [data_url("image/jpeg", flat_progressive_jpeg(eight_k, eight_k, 1, ten_scans, b"%d" % i)) for i in range(40)]))

    # Forty distinct small files of large pictures: PNGs of 16384 x 16384 (and interlaced ones of
    # 4000 x 4000, held whole), GIFs and WebPs of 8000 x 8000.
    def one_bit_variant(side, i, interlaced=False):
        def rows_of(width, height):
            return (b"\x00" + bytes([i]) + b"\xff" * ((width + 7) // 8 - 1)) * height
        rows = rows_of(side, side)
        if interlaced:  # the seven passes, each a smaller picture of its own
            passes = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]
            rows = b"".join(rows_of((side - x + dx - 1) // dx, (side - y + dy - 1) // dy) for x, y, dx, dy in passes)
        header = struct.pack(">IIBBBBB", side, side, 1, 0, 0, 0, 1 if interlaced else 0)
        def chunk(tag, data):
            return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data))
        return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 9))
                + chunk(b"IEND", b""))
    write_board(out, "png-16384-x40.json", picture_grid(
        [data_url("image/png", one_bit_variant(16384, i)) for i in range(40)]))
    write_board(out, "png-interlaced-4000-x40.json", picture_grid(
        [data_url("image/png", one_bit_variant(4000, i, True)) for i in range(40)]))
    write_board(out, "gif-8000-x40.json", picture_grid(
        [data_url("image/gif", flat_gif(eight_k, eight_k, (i * 6, 120, 200))) for i in range(40)]))
    webp = lossless_webp(eight_k, eight_k, b"0")
    write_board(out, "webp-8000-x40.json", picture_grid(
        [data_url("image/webp", webp[:-2] + b"%02d" % i) for i in range(40)]))

    # 5,000 rotated shapes with shadows, and the same with one picture of 2 x 2 pixels: the
    # picture must not cost the board its bands.
    rotated = [element(["rectangle", "ellipse", "rhombus"][i % 3], "r%d" % i, x=i % 7, y=i % 5, width=1000 + i % 997,
                       height=600 + i % 331, rotation=i * 0.013, fillColor="#a0c0e0", shadowBlur=1000,
                       shadowOffsetX=i % 9 - 4) for i in range(5000)]
    write_board(out, "rotated-shadows.json", rotated)
    tiny = data_url("image/png", png(2, 2, 0, zlib.compress(b"\x00\x80\x80" * 2)))
    write_board(out, "rotated-shadows-picture.json", rotated[:-1] + picture_grid([tiny], natural=(2, 2)))

    with open(os.path.join(out, "not-json.json"), "wb") as f:
        f.write(b"PK\x03\x04" + os.urandom(4096))

    fifo = os.path.join(out, "fifo.json")
    if os.path.exists(fifo):
        os.unlink(fifo)
    os.mkfifo(fifo)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(sys.argv[1])
