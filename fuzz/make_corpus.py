#!/usr/bin/env python3
"""Writes the seed corpora under fuzz/corpus/<target>/: small valid files of
every variant each reader knows, so that fuzzing starts from inputs that
reach deep into the readers. Deterministic: the same files on every run
(gzip streams carry no time stamp). Run from anywhere:
    python3 fuzz/make_corpus.py
"""
import gzip
import os
import struct

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")


def put(target, name, data):
    d = os.path.join(ROOT, target)
    os.makedirs(d, exist_ok=True)
    if isinstance(data, str):
        data = data.encode()
    assert len(data) < 8192, (target, name, len(data))
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)


def gz(data):
    return gzip.compress(data, compresslevel=9, mtime=0)


# ---- XRW -----------------------------------------------------------------

def xrw(nx, ny, nz, dx=1.0, dy=1.0, dz=1.0, voxel=lambda i: i & 255, cmap=None):
    n = nx * ny * nz
    body = struct.pack("<iiifff", nx, ny, nz, dx, dy, dz)
    body += bytes(voxel(i) for i in range(n))
    if cmap is None:
        cmap = bytes(range(256)) + bytes(255 - i for i in range(256)) + bytes((i * 7) & 255 for i in range(256))
    return body + cmap


def make_xrw():
    put("xrw", "plain_2x3x4", xrw(2, 3, 4, 0.5, 0.25, 2.0))
    put("xrw", "plain_empty_dim", xrw(1, 0, 5))
    put("xrw", "gzip_8x8x8", gz(xrw(8, 8, 8, 1.0, 1.0, 1.5, voxel=lambda i: (i * 37) & 255)))
    put("xrw", "gzip_16x16x16_ramp", gz(xrw(16, 16, 16, voxel=lambda i: (i // 16) & 255)))
    put("xrw", "gzip_1x1x1", gz(xrw(1, 1, 1, 2.0, 3.0, 4.0)))
    # One byte beyond the end: refused.
    put("xrw", "plain_extra_byte", xrw(2, 2, 2) + b"\0")
    # Cut inside the colour table.
    put("xrw", "gzip_cut_cmap", gz(xrw(4, 4, 4)[:24 + 64 + 300]))


def make_xrw_roundtrip():
    # Dims from bytes 0..2 (mod 16), voxel sizes from 3..14, the rest fills.
    put("xrw_roundtrip", "small", bytes([3, 2, 1]) + struct.pack("<fff", 0.5, 1.0, 2.0) + bytes(range(40)))
    put("xrw_roundtrip", "empty", bytes([0, 4, 4]) + struct.pack("<fff", 1.0, 1.0, 1.0))
    put("xrw_roundtrip", "nan_sizes", bytes([15, 15, 15]) + struct.pack("<III", 0x7fc00001, 0xff800000, 1)
        + bytes((i * 13) & 255 for i in range(600)))


# ---- RAW16 ---------------------------------------------------------------

def u16(values):
    return b"".join(struct.pack("<H", v) for v in values)


def make_raw16():
    # Byte 0 is the mode (0x80: 32-bit dims; low nibble 0xf: RAW_UINT8,
    # 0xe: format code from bytes 1..4); then the dims, then the file.
    put("raw16", "window_2x2x1", bytes([0, 2, 2, 1]) + u16([50, 100, 1500, 2000]))
    put("raw16", "ramp_4x3x2_extra", bytes([0, 4, 3, 2]) + u16(range(0, 2400, 100)) + b"tail")
    put("raw16", "dims32_3x3x3", bytes([0x80]) + struct.pack("<iii", 3, 3, 3) + u16(range(90, 1700, 60)))
    put("raw16", "short_by_one", bytes([0, 2, 2, 2]) + u16(range(7)))
    put("raw16", "uint8_code", bytes([0x0f, 2, 2, 1]) + bytes(4))
    put("raw16", "unknown_code", bytes([0x0e]) + struct.pack("<i", 3) + bytes(8))


# ---- OBJ -----------------------------------------------------------------

def make_obj():
    every = "\n".join([
        "# comment line",
        "",
        "g group",
        "s 1",
        "usemtl skin",
        "v 1 2 3",
        "v 4.5 -1 0.25",
        "v 0 0 1 1.0",
        "v -2e3 7 8",
        "vn 0 0 1",
        "vt 0.5 0.5 0",
        "f 1 2 3",
        "f 1 2 3 4",
        "f 2.4 2.5 3",
        "f 1/1/1 2/2/2 3/3/3",
        "x 1 2 3",
        " v 1 2 3",
        "f 1 2 5",
        "f 0 1 2",
        "f -1 -2 -3",
        "v 1e40 nan inf",
        "l 1 2 3",
        "x" * 1000,
        "",
    ])
    put("obj", "every_line_kind.obj", every)
    cube = []
    for x in (0, 1):
        for y in (0, 1):
            for z in (0, 1):
                cube.append("v %d %d %d" % (x, y, z))
    for f in ((1, 2, 4), (1, 4, 3), (5, 7, 8), (5, 8, 6), (1, 5, 6), (1, 6, 2),
              (3, 4, 8), (3, 8, 7), (1, 3, 7), (1, 7, 5), (2, 6, 8), (2, 8, 4)):
        cube.append("f %d %d %d" % f)
    put("obj", "cube.obj", "\n".join(cube) + "\n")
    put("obj", "empty.obj", "")
    put("obj", "no_newline.obj", "v 1 2 3\nv 2 3 4\nv 3 4 5\nf 1 2 3")


# ---- STL -----------------------------------------------------------------

def stl(facets, header=b"fuzz seed", extra=b""):
    out = header.ljust(80, b" ")[:80] + struct.pack("<I", len(facets))
    for tri in facets:
        out += struct.pack("<fff", 0.0, 0.0, 1.0)
        for p in tri:
            out += struct.pack("<fff", *p)
        out += struct.pack("<H", 0)
    return out + extra


def make_stl():
    tri = ((0, 0, 0), (1, 0, 0), (0, 1, 0))
    put("stl", "one_facet.stl", stl([tri]))
    put("stl", "same_facet_twice.stl", stl([tri, tri]))
    put("stl", "empty.stl", stl([]))
    put("stl", "empty_extra_bytes.stl", stl([], extra=b"\1\2\3"))
    near = ((0, 0, 0), (1, 0, 0), (0.00005, 0, 0))
    put("stl", "near_corners.stl", stl([near, ((0, 0, 0), (0.001, 0, 0), (0, 1, 0))]))
    c = [(x, y, z) for x in (0, 1) for y in (0, 1) for z in (0, 1)]
    faces = ((0, 1, 3), (0, 3, 2), (4, 6, 7), (4, 7, 5), (0, 4, 5), (0, 5, 1),
             (2, 3, 7), (2, 7, 6), (0, 2, 6), (0, 6, 4), (1, 5, 7), (1, 7, 3))
    put("stl", "cube_extra_bytes.stl", stl([tuple(c[i] for i in f) for f in faces], extra=b"trailing"))
    put("stl", "ascii_looking.stl", b"solid cube\n  facet normal 0 0 1\n  outer loop\n" * 3)
    put("stl", "cut_in_last_facet.stl", stl([tri, tri])[:84 + 50 + 30])


# ---- FS mesh and weights -------------------------------------------------

def make_fsmesh():
    tet = ["tetrahedron", "4 4",
           "0 0 0 0", "1 0 0 0", "0 1 0 0", "0 0 1 0",
           "0 1 2 0", "0 1 3 0", "0 2 3 0", "1 2 3 0"]
    put("fsmesh", "tetrahedron.fs", "\n".join(tet) + "\n")
    grid = ["grid of 11 x 11 vertices", "121 200"]
    for j in range(11):
        for i in range(11):
            grid.append("%g %g %g 0" % (i * 0.1, j * 0.1, (i * j) % 3 * 0.01))
    for j in range(10):
        for i in range(10):
            a = j * 11 + i
            grid.append("%d %d %d 0" % (a, a + 1, a + 12))
            grid.append("%d\t%d\t%d\t0" % (a, a + 12, a + 11))
    put("fsmesh", "grid.fs", "\n".join(grid) + "\n")
    put("fsmesh", "empty_counts.fs", "nothing\n0 0\n")
    put("fsmesh", "patch_not_zero.fs", "c\n1 0\n1.0 2.0 3.0 1\n")
    put("fsmesh", "short_facets.fs", "c\n3 2\n0 0 0 0\n1 0 0 0\n0 1 0 0\n0 1 2 0\n")
    put("fsmesh", "one_line_values.fs", "c\n3 1 0 0 0 0 1 0 0 0 0 1 0 0 0 1 2 0\n")


def make_fswgt():
    put("fswgt", "two.w", "weights\n2\n5 0.2\n7 0.8\n")
    put("fswgt", "empty.w", "weights\n0\n")
    put("fswgt", "many.w", "w\n50\n" + "".join("%d %g\n" % (i, (i * 37 % 100) / 10.0 - 3) for i in range(50)))
    put("fswgt", "short.w", "w\n5\n1 1.0\n2 2.0\n")
    put("fswgt", "bad_entry.w", "w\n2\n1 1.0\nx y\n")


# ---- TGA -----------------------------------------------------------------

def tga_header(kind, w, h, bpp, desc, idlen=0, cmaptype=0, cmaplen=0, cmapbits=0):
    return struct.pack("<BBBHHBHHHHBB", idlen, cmaptype, kind, 0, cmaplen, cmapbits, 0, 0, w, h, bpp, desc)


def pixel(x, y, bpp):
    b, g, r = (x * 40) & 255, (y * 60) & 255, ((x + y) * 25) & 255
    return bytes([b, g, r, 255 - x * 10]) if bpp == 32 else bytes([b, g, r])


def rle(pixels):
    # Alternates runs and raw packets, and lets packets cross rows.
    out, i = b"", 0
    while i < len(pixels):
        j = i
        while j + 1 < len(pixels) and pixels[j + 1] == pixels[i] and j - i < 127:
            j += 1
        if j > i:
            out += bytes([0x80 | (j - i)]) + pixels[i]
            i = j + 1
            continue
        j = i
        while j + 1 < len(pixels) and pixels[j + 1] != pixels[j] and j - i < 127:
            j += 1
        out += bytes([j - i]) + b"".join(pixels[i:j + 1])
        i = j + 1
    return out


FOOTER = struct.pack("<II", 0, 0) + b"TRUEVISION-XFILE.\0"


def make_tga():
    for bpp in (24, 32):
        w, h = 5, 3
        px = [pixel(x, y, bpp) for y in range(h) for x in range(w)]
        alpha = 8 if bpp == 32 else 0
        put("tga", "raw%d_bottom_left.tga" % bpp, tga_header(2, w, h, bpp, alpha) + b"".join(px))
        put("tga", "raw%d_top_left.tga" % bpp, tga_header(2, w, h, bpp, alpha | 0x20) + b"".join(px))
        # Runs of equal pixels (rows of one colour) and raw stretches.
        w, h = 16, 8
        px = [pixel(x if y % 2 else 0, y, bpp) for y in range(h) for x in range(w)]
        put("tga", "rle%d.tga" % bpp, tga_header(10, w, h, bpp, alpha) + rle(px))
        put("tga", "rle%d_id_footer.tga" % bpp,
            tga_header(10, w, h, bpp, alpha | 0x20, idlen=7) + b"seed id" + rle(px) + FOOTER)
    put("tga", "one_pixel.tga", tga_header(2, 1, 1, 24, 0) + b"\x10\x20\x30")
    put("tga", "grey8.tga", tga_header(3, 4, 2, 8, 0) + bytes(range(0, 256, 32)))
    put("tga", "colour_mapped.tga", tga_header(1, 2, 2, 8, 0, cmaptype=1, cmaplen=2, cmapbits=24)
        + b"\0\0\xff\xff\0\0" + bytes([0, 1, 1, 0]))
    put("tga", "rle_overrun.tga", tga_header(10, 2, 2, 24, 0) + bytes([0xff]) + b"\1\2\3")


# ---- Tracks, matrix, view ------------------------------------------------

def make_track():
    # Files are separated by NUL bytes: t0, t1, t2, ... read with step 1.
    put("track", "three_files", b"1 2 3\n4 5 6\n7 8 9\n10 11 12\n13 14 15\n\0\0"
        + b"0 0 0\n1 1 1\n2 2 2\n3 3 3\n4 4 4\n5 5 5\n6 6 6\n")
    put("track", "two_numbers_last", b"1 2 3\n4 5 6\n7 8\n")
    put("track", "one_line", b"1 2 3 4 5 6\t7 8 9   10 11 12\n")
    put("track", "exponents", b"1e3 -2.5e-2 .5\n+1 -0 0x10\ninf nan 1\n")
    put("track", "long", b"".join(b"%d.5 %d.25 %d\n" % (i, i * 2, i % 7) for i in range(400)))


def make_matrix():
    put("matrix", "identity", "1 0 0 0\n0 1 0 0\n0 0 1 0\n0 0 0 1\n")
    put("matrix", "scaled_offset", "0.5 0 0 -10\n0 0.5 0 -12.5\n0 0 2 3e1\n0 0 0 1\n")
    put("matrix", "one_line", "2 0.1 0 1 0 2 0 1 0 0 2 1 0 0 0 1")
    put("matrix", "fifteen", "1 0 0 0 0 1 0 0 0 0 1 0 0 0 0\n")
    put("matrix", "not_numbers", "a b c d\n")


def make_viewfile():
    # The scene library's view format: a "vqview 1" line, then eye, target,
    # up and fovy once each; blank and '#' lines skipped.
    put("viewfile", "default.view", "vqview 1\neye 0 0 5\ntarget 0 0 0\nup 0 1 0\nfovy 30\n")
    put("viewfile", "oblique.view", "# saved\nvqview 1\n\neye 3.5 -2 4\ntarget 0.5 0.25 0\n"
        "up 0 0 1\nfovy 45\n")
    put("viewfile", "written.view", "vqview 1\neye 0.10000000000000001 2 3\ntarget 0 0 0\n"
        "up 0 1 0\nfovy 29.999999999999996\n")
    put("viewfile", "up_along_view.view", "vqview 1\neye 0 0 5\ntarget 0 0 0\nup 0 0 1\nfovy 30\n")
    put("viewfile", "second_eye.view", "vqview 1\neye 0 0 5\neye 1 1 1\n")


def main():
    make_xrw()
    make_xrw_roundtrip()
    make_raw16()
    make_obj()
    make_stl()
    make_fsmesh()
    make_fswgt()
    make_tga()
    make_track()
    make_matrix()
    make_viewfile()


if __name__ == "__main__":
    main()
