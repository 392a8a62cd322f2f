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


# ---- import (NIfTI, NRRD, MetaImage, DICOM, TIFF) ---------------------------
# The import target reads the input as one file; bytes after "!DF!" go to
# data.raw beside it (detached headers name that file).

IMP_DIMS = (3, 2, 2)
IMP_VALUES = [7 * i - 20 for i in range(12)]


def s16(values):
    return b"".join(struct.pack("<h", v) for v in values)


def nifti1(datatype=4, bitpix=16, dims=(3,) + IMP_DIMS, magic=b"n+1\0", data=None):
    h = bytearray(352)
    struct.pack_into("<i", h, 0, 348)
    struct.pack_into("<8h", h, 40, *(list(dims) + [1] * (8 - len(dims))))
    struct.pack_into("<hh", h, 70, datatype, bitpix)
    struct.pack_into("<4f", h, 76, 1.0, 0.5, 0.75, 2.0)
    struct.pack_into("<f", h, 108, 352.0)
    struct.pack_into("<ff", h, 112, 2.0, -10.0)  # scl_slope, scl_inter
    struct.pack_into("<hh", h, 252, 1, 1)  # qform_code, sform_code
    struct.pack_into("<3f", h, 256, 0.0, 0.0, 0.7071068)  # a 90-degree quaternion
    struct.pack_into("<12f", h, 280, -0.5, 0, 0, 10, 0, -0.75, 0, 20, 0, 0, 2, 30)
    h[344:348] = magic
    return bytes(h) + (s16(IMP_VALUES) if data is None else data)


def nifti2():
    h = bytearray(544)
    struct.pack_into("<i", h, 0, 540)
    h[4:12] = b"n+2\0\r\n\x1a\n"
    struct.pack_into("<hh", h, 12, 4, 16)
    struct.pack_into("<8q", h, 16, 3, *IMP_DIMS, 1, 1, 1, 1)
    struct.pack_into("<4d", h, 104, 1.0, 0.5, 0.75, 2.0)
    struct.pack_into("<q", h, 168, 544)
    struct.pack_into("<i", h, 348, 1)
    struct.pack_into("<12d", h, 400, -0.5, 0, 0, 10, 0, -0.75, 0, 20, 0, 0, 2, 30)
    return bytes(h) + s16(IMP_VALUES)


def nrrd(encoding="raw", extra="", datafile=None):
    h = ("NRRD0004\ntype: short\ndimension: 3\nsizes: %d %d %d\nspace: left-posterior-superior\n"
         "space directions: (0,0.5,0) (-0.75,0,0) (0,0,2)\nspace origin: (10,-20,30)\n"
         "endian: little\nencoding: %s\n%s" % (IMP_DIMS + (encoding, extra)))
    if datafile:
        return (h + "data file: %s\n" % datafile).encode()
    return (h + "\n").encode()


def meta(local=True, compressed=None, etype="MET_SHORT"):
    h = ("ObjectType = Image\nNDims = 3\nDimSize = %d %d %d\nElementSpacing = 0.5 0.75 2\n"
         "Offset = 10 -20 30\nTransformMatrix = 0 1 0 -1 0 0 0 0 1\n" % IMP_DIMS)
    if compressed is not None:
        h += "CompressedData = True\nCompressedDataSize = %d\n" % len(compressed)
    h += "ElementType = %s\nElementDataFile = %s\n" % (etype, "LOCAL" if local else "data.raw")
    return h.encode()


def tiff(bits, fmt, values, pages=2, w=3, h=2):
    pack = {8: "B", 16: "H", 32: "f"}[bits]
    page = struct.pack("<%d%s" % (w * h, pack), *values[:w * h])
    out = bytearray(b"II*\0") + struct.pack("<I", 0)
    data_at = len(out)
    out += page * pages
    tags = lambda at: [(256, 4, w), (257, 4, h), (258, 3, bits), (259, 3, 1), (262, 3, 1), (273, 4, at),
                       (277, 3, 1), (278, 4, h), (279, 4, len(page)), (339, 3, fmt)]
    ifd_at = len(out)
    struct.pack_into("<I", out, 4, ifd_at)
    for p in range(pages):
        entries = tags(data_at + p * len(page))
        ifd = struct.pack("<H", len(entries))
        for tag, typ, val in entries:
            ifd += struct.pack("<HHI", tag, typ, 1) + (struct.pack("<HH", val, 0) if typ == 3 else struct.pack("<I", val))
        nxt = ifd_at + (p + 1) * (2 + 12 * len(entries) + 4) if p + 1 < pages else 0
        out += ifd + struct.pack("<I", nxt)
    return bytes(out)


def dicom_element(group, elem, vr, value):
    if isinstance(value, str):
        value = value.encode()
        if len(value) % 2:
            value += b"\0" if vr == "UI" else b" "
    if vr in ("OB", "OW", "UN", "SQ", "UT"):
        return struct.pack("<HH2sHI", group, elem, vr.encode(), 0, len(value)) + value
    return struct.pack("<HH2sH", group, elem, vr.encode(), len(value)) + value


def dicom(rows=2, cols=3, position="10\\-20\\30", pixels=None):
    syntax = "1.2.840.10008.1.2.1"
    meta = (dicom_element(2, 1, "OB", b"\0\1") + dicom_element(2, 2, "UI", "1.2.840.10008.5.1.4.1.1.2")
            + dicom_element(2, 3, "UI", "1.2.3.4.5.1") + dicom_element(2, 0x10, "UI", syntax))
    body = b"".join([
        dicom_element(8, 0x16, "UI", "1.2.840.10008.5.1.4.1.1.2"),
        dicom_element(8, 0x18, "UI", "1.2.3.4.5.1"),
        dicom_element(8, 0x60, "CS", "CT"),
        dicom_element(0x20, 0x0d, "UI", "1.2.3.4.5.2"),
        dicom_element(0x20, 0x0e, "UI", "1.2.3.4.5.3"),
        dicom_element(0x20, 0x13, "IS", "1"),
        dicom_element(0x20, 0x32, "DS", position),
        dicom_element(0x20, 0x37, "DS", "0\\1\\0\\-1\\0\\0"),
        dicom_element(0x28, 0x02, "US", struct.pack("<H", 1)),
        dicom_element(0x28, 0x04, "CS", "MONOCHROME2"),
        dicom_element(0x28, 0x10, "US", struct.pack("<H", rows)),
        dicom_element(0x28, 0x11, "US", struct.pack("<H", cols)),
        dicom_element(0x28, 0x30, "DS", "0.75\\0.5"),
        dicom_element(0x28, 0x100, "US", struct.pack("<H", 16)),
        dicom_element(0x28, 0x101, "US", struct.pack("<H", 16)),
        dicom_element(0x28, 0x102, "US", struct.pack("<H", 15)),
        dicom_element(0x28, 0x103, "US", struct.pack("<H", 1)),
        dicom_element(0x28, 0x1052, "DS", "-1024"),
        dicom_element(0x28, 0x1053, "DS", "1"),
        dicom_element(0x7fe0, 0x10, "OW", s16(IMP_VALUES[:rows * cols]) if pixels is None else pixels),
    ])
    return bytes(128) + b"DICM" + dicom_element(2, 0, "UL", struct.pack("<I", len(meta))) + meta + body


def make_import():
    raw = s16(IMP_VALUES)
    put("import", "nifti1.nii", nifti1())
    put("import", "nifti1.nii.gz", gz(nifti1()))
    put("import", "nifti1_4d.nii", nifti1(dims=(4,) + IMP_DIMS + (2,), data=raw + raw))
    put("import", "nifti1_rgb.nii", nifti1(datatype=128, bitpix=24, data=bytes(range(36))))
    put("import", "nifti1_complex.nii", nifti1(datatype=32, bitpix=64, data=struct.pack("<24f", *range(24))))
    put("import", "nifti2.nii", nifti2())
    put("import", "nrrd_raw.nrrd", nrrd() + raw)
    put("import", "nrrd_gzip.nrrd", nrrd("gzip") + gz(raw))
    put("import", "nrrd_ascii.nrrd", nrrd("ascii") + " ".join(map(str, IMP_VALUES)).encode() + b"\n")
    put("import", "nrrd_4d.nrrd", b"NRRD0004\ntype: short\ndimension: 4\nsizes: 3 2 2 2\n"
        b"spacings: 0.5 0.75 2 1\nendian: little\nencoding: raw\n\n" + raw + raw)
    put("import", "nrrd_detached.nhdr", nrrd(datafile="data.raw") + b"!DF!" + raw)
    put("import", "meta_local.mha", meta() + raw)
    put("import", "meta_compressed.mha", meta(compressed=zlib_bytes(raw)) + zlib_bytes(raw))
    put("import", "meta_detached.mhd", meta(local=False) + b"!DF!" + raw)
    put("import", "meta_rgb.mha", meta(etype="MET_UCHAR").replace(b"ElementType", b"ElementNumberOfChannels = 3\nElementType") + bytes(range(36)))
    put("import", "tiff_u8.tif", tiff(8, 1, list(range(0, 240, 40))))
    put("import", "tiff_u16.tif", tiff(16, 1, [100, 2000, 30000, 65535, 7, 0]))
    put("import", "tiff_float.tif", tiff(32, 3, [0.5, -1.25, 3.0, 1e6, -2.0, 0.0]))
    put("import", "dicom_slice.dcm", dicom())


def zlib_bytes(data):
    import zlib
    return zlib.compress(data, 9)


# ---- FreeSurfer surfaces, morphometry, annotations; MGH ----------------

def be32s(values):
    return struct.pack(">%di" % len(values), *values)


def fs_surface(verts, faces, magic=b"\xff\xff\xfe", tail=b""):
    out = magic + b"created by fuzz on a day\n\n" + be32s([len(verts), len(faces)])
    out += b"".join(struct.pack(">3f", *v) for v in verts)
    out += b"".join(be32s(f) for f in faces)
    return out + tail


FS_VERTS = [(0, 0, 0), (10, 0, 0), (0, 10, 0), (0, 0, 10)]
FS_FACES = [(0, 1, 2), (0, 3, 1), (0, 2, 3), (1, 3, 2)]
FS_GEOMETRY = be32s([2, 0, 20]) + (
    "valid = 1  # volume info valid\nfilename = T1.mgz\nvolume = 256 256 256\nvoxelsize = 1 1 1\n"
    "xras   = -1 0 0\nyras   = 0 0 -1\nzras   = 0 1 0\ncras   = 5.5 -18 12.25\n").encode()


def make_fsurface():
    put("fsurface", "tetra", fs_surface(FS_VERTS, FS_FACES))
    put("fsurface", "tetra_geometry", fs_surface(FS_VERTS, FS_FACES, tail=FS_GEOMETRY))
    put("fsurface", "tetra_oblique", fs_surface(FS_VERTS, FS_FACES, tail=FS_GEOMETRY.replace(
        b"xras   = -1 0 0", b"xras   = 0.6 0.8 0").replace(b"voxelsize = 1 1 1", b"voxelsize = 0.8 1 1.2")))
    put("fsurface", "empty", fs_surface([], []))
    put("fsurface", "quad", fs_surface(FS_VERTS, [], magic=b"\xff\xff\xff"))


def make_curv():
    vals = [0.5, -1.25, 3.0, 0.0]
    put("curv", "new", b"\xff\xff\xff" + be32s([4, 4, 1]) + struct.pack(">4f", *vals))
    put("curv", "old", struct.pack(">I", 4)[1:] + struct.pack(">I", 4)[1:] + struct.pack(">4h", 50, -125, 300, 0))
    put("curv", "empty", b"\xff\xff\xff" + be32s([0, 0, 1]))


def annot_string(s):
    return be32s([len(s) + 1]) + s + b"\0"


def make_annot():
    table = [(b"unknown", (25, 5, 25, 0)), (b"red", (200, 30, 40, 0)), (b"green", (30, 180, 60, 0))]
    packed = [r + (g << 8) + (b << 16) for _, (r, g, b, _t) in table]
    verts = be32s([4]) + be32s([0, packed[1], 1, packed[2], 2, 0, 3, packed[1]])
    v2 = be32s([1, -2, len(table)]) + annot_string(b"NOFILE") + be32s([len(table)])
    for i, (name, rgbt) in enumerate(table):
        v2 += be32s([i]) + annot_string(name) + be32s(rgbt)
    put("annot", "version2", verts + v2)
    old = be32s([1, len(table)]) + annot_string(b"NOFILE")
    for name, rgbt in table:
        old += annot_string(name) + be32s(rgbt)
    put("annot", "old_table", verts + old)
    put("annot", "no_table", verts + be32s([0]))


def mgh(dims, mtype, data, good=1):
    head = be32s([1] + list(dims) + [mtype, 0]) + struct.pack(">h", good)
    head += struct.pack(">3f", 1.0, 1.5, 2.0)
    head += struct.pack(">9f", -1, 0, 0, 0, 0, -1, 0, 1, 0) + struct.pack(">3f", 5.5, -18, 12.25)
    return head + b"\0" * (284 - len(head)) + data


def make_mgh():
    put("mgh", "uchar", mgh((2, 3, 2, 1), 0, bytes(range(12))))
    put("mgh", "short_gz", gz(mgh((2, 2, 2, 1), 4, struct.pack(">8h", *range(-4, 4)))))
    put("mgh", "int_frames", mgh((2, 1, 1, 2), 1, be32s([7, -9, 1, 2])))
    put("mgh", "float_nogeometry", mgh((3, 1, 1, 1), 3, struct.pack(">3f", 0.5, -2, 1e6), good=0))
    put("mgh", "vertices", gz(mgh((5, 1, 1, 1), 3, struct.pack(">5f", 1, 2, 3, 4, 5))))
    put("import", "mgh_short.mgz", gz(mgh((2, 2, 2, 1), 4, struct.pack(">8h", *range(-4, 4)))))


def main():
    make_import()
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
    make_fsurface()
    make_curv()
    make_annot()
    make_mgh()


if __name__ == "__main__":
    main()
