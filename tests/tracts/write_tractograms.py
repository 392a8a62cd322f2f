#!/usr/bin/python3
"""Writes the same three streamlines (RAS millimetres) as .tck, .trk and TRX
files with independent writers: nibabel for .tck and .trk, zipfile and
numpy for TRX, numpy for the .tck variants nibabel does not write
(big-endian, Float64). Usage: write_tractograms.py OUTDIR"""
import json
import os
import sys
import zipfile

import numpy as np
import nibabel as nib
from nibabel.streamlines import Tractogram

LINES = [
    np.array([[1, 2, 3], [4, 5, 6], [7, 8, 10]], dtype=np.float32),
    np.array([[-1, 0, 2], [-2, 1.5, 3]], dtype=np.float32),
    np.array([[10, -20, 30], [11, -21, 31], [12, -22, 32], [13, -23, 33], [14.5, -24, 34]], dtype=np.float32),
]


def tck_by_hand(path, dtype, name):
    """A .tck of LINES in the given numpy dtype and MRtrix datatype name."""
    body = b""
    for line in LINES:
        body += line.astype(dtype).tobytes() + np.full(3, np.nan, dtype).tobytes()
    body += np.full(3, np.inf, dtype).tobytes()
    text = "mrtrix tracks\ncount: %d\ndatatype: %s\nfile: . %%d\nEND\n" % (len(LINES), name)
    offset = len(text % 0) + 2
    header = (text % offset).encode()
    header += b"\0" * (offset - len(header))
    with open(path, "wb") as f:
        f.write(header + body)


def trx_arrays(ptype, otype, trailing):
    offsets = np.cumsum([0] + [len(l) for l in LINES])
    if not trailing:
        offsets = offsets[:-1]
    positions = np.concatenate(LINES).astype(ptype)
    header = {
        "VOXEL_TO_RASMM": [[2, 0, 0, -10], [0, 2, 0, -10], [0, 0, 2, -10], [0, 0, 0, 1]],
        "DIMENSIONS": [64, 64, 64],
        "NB_STREAMLINES": len(LINES),
        "NB_VERTICES": int(positions.shape[0]),
    }
    return {
        "header.json": json.dumps(header).encode(),
        "positions.3.%s" % np.dtype(ptype).name: positions.astype("<" + np.dtype(ptype).str[1:]).tobytes(),
        "offsets.%s" % np.dtype(otype).name: offsets.astype("<" + np.dtype(otype).str[1:]).tobytes(),
        "dpv/colour.3.uint8": np.zeros((positions.shape[0], 3), np.uint8).tobytes(),
    }


def trx_zip(path, arrays, compression):
    with zipfile.ZipFile(path, "w", compression=compression) as z:
        for name, data in arrays.items():
            z.writestr(name, data)


def main(out):
    os.makedirs(out, exist_ok=True)
    t = Tractogram(LINES, affine_to_rasmm=np.eye(4))
    nib.streamlines.save(t, os.path.join(out, "nibabel.tck"))
    tck_by_hand(os.path.join(out, "be32.tck"), ">f4", "Float32BE")
    tck_by_hand(os.path.join(out, "le64.tck"), "<f8", "Float64LE")
    tck_by_hand(os.path.join(out, "be64.tck"), ">f8", "Float64BE")
    # Cut inside the third streamline, as an interrupted tracking run leaves it.
    data = open(os.path.join(out, "nibabel.tck"), "rb").read()
    with open(os.path.join(out, "cut.tck"), "wb") as f:
        f.write(data[: len(data) - 12 * 4 - 5])

    # .trk: 2 mm voxels, an oblique-free affine with an offset, one scalar
    # per point and two properties per streamline to be skipped.
    affine = np.array([[2, 0, 0, -64], [0, 2, 0, -60], [0, 0, 2, -50], [0, 0, 0, 1]], dtype=np.float32)
    t = Tractogram(LINES, affine_to_rasmm=np.eye(4))
    t.data_per_point = {"fa": [np.arange(len(l), dtype=np.float32)[:, None] for l in LINES]}
    t.data_per_streamline = {"p": np.array([[1, 2]] * len(LINES), dtype=np.float32)}
    header = {
        nib.streamlines.Field.VOXEL_TO_RASMM: affine,
        nib.streamlines.Field.VOXEL_SIZES: np.array([2, 2, 2], dtype=np.float32),
        nib.streamlines.Field.DIMENSIONS: np.array([64, 64, 64], dtype=np.int16),
        nib.streamlines.Field.VOXEL_ORDER: "RAS",
    }
    nib.streamlines.TrkFile(t, header=header).save(os.path.join(out, "nibabel.trk"))

    trx_zip(os.path.join(out, "f16.trx"), trx_arrays(np.float16, np.uint32, False), zipfile.ZIP_DEFLATED)
    trx_zip(os.path.join(out, "f32.trx"), trx_arrays(np.float32, np.uint64, True), zipfile.ZIP_STORED)
    trx_zip(os.path.join(out, "f64.trx"), trx_arrays(np.float64, np.uint64, False), zipfile.ZIP_DEFLATED)
    folder = os.path.join(out, "folder.trx")
    os.makedirs(os.path.join(folder, "dpv"), exist_ok=True)
    for name, data in trx_arrays(np.float32, np.uint32, True).items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    # Faulty TRX files: offsets that go back, an offset past NB_VERTICES, a
    # header that promises more vertices than the positions hold.
    bad = trx_arrays(np.float32, np.uint32, False)
    bad["offsets.uint32"] = np.array([0, 3, 2], "<u4").tobytes()
    trx_zip(os.path.join(out, "decreasing.trx"), bad, zipfile.ZIP_STORED)
    bad["offsets.uint32"] = np.array([0, 3, 11], "<u4").tobytes()
    trx_zip(os.path.join(out, "overrun.trx"), bad, zipfile.ZIP_STORED)
    bad = trx_arrays(np.float32, np.uint32, False)
    header = json.loads(bad["header.json"])
    header["NB_VERTICES"] = 4000000000
    bad["header.json"] = json.dumps(header).encode()
    trx_zip(os.path.join(out, "promises.trx"), bad, zipfile.ZIP_DEFLATED)
    bad = trx_arrays(np.float32, np.uint32, False)
    positions = np.frombuffer(bad["positions.3.float32"], "<f4").copy()
    positions[4] = np.nan
    bad["positions.3.float32"] = positions.tobytes()
    trx_zip(os.path.join(out, "nan.trx"), bad, zipfile.ZIP_STORED)
    # A ZIP that is not a TRX.
    trx_zip(os.path.join(out, "plain.zip"), {"readme.txt": b"hello"}, zipfile.ZIP_DEFLATED)


def alignment(out):
    """A 32^3 NIfTI of 2 mm voxels, dark but for one bright line of voxels
    along j from 3 to 18 at i = 22, k = 12 (off centre along every axis, so
    a volume drawn flipped or turned about any axis misses it), with a transform that flips x and moves the
    origin, and one streamline through the centres of those voxels in RAS
    as .tck, .trk and TRX."""
    os.makedirs(out, exist_ok=True)
    data = np.zeros((32, 32, 32), np.float32)
    data[22, 3:19, 12] = 1000
    with_xform = np.array([[-2, 0, 0, 40], [0, 2, 0, -30], [0, 0, 2, -20], [0, 0, 0, 1]], float)
    for name, affine in (("xform", with_xform),):
        img = nib.Nifti1Image(data, affine)
        to_ras = affine
        nib.save(img, os.path.join(out, "line_%s.nii.gz" % name))
        voxels = np.array([[22, j, 12, 1] for j in range(3, 19)], float)
        line = (voxels @ to_ras.T)[:, :3].astype(np.float32)
        t = Tractogram([line], affine_to_rasmm=np.eye(4))
        nib.streamlines.save(t, os.path.join(out, "line_%s.tck" % name))
        header = {
            nib.streamlines.Field.VOXEL_TO_RASMM: to_ras.astype(np.float32),
            nib.streamlines.Field.VOXEL_SIZES: np.array([2, 2, 2], dtype=np.float32),
            nib.streamlines.Field.DIMENSIONS: np.array([32, 32, 32], dtype=np.int16),
            nib.streamlines.Field.VOXEL_ORDER: "".join(nib.aff2axcodes(to_ras)),
        }
        nib.streamlines.TrkFile(t, header=header).save(os.path.join(out, "line_%s.trk" % name))
        arrays = {
            "header.json": json.dumps({"VOXEL_TO_RASMM": to_ras.tolist(), "DIMENSIONS": [32, 32, 32],
                                       "NB_STREAMLINES": 1, "NB_VERTICES": len(line)}).encode(),
            "positions.3.float32": line.astype("<f4").tobytes(),
            "offsets.uint64": np.array([0], "<u8").tobytes(),
        }
        trx_zip(os.path.join(out, "line_%s.trx" % name), arrays, zipfile.ZIP_DEFLATED)


if __name__ == "__main__":
    main(sys.argv[1])
    alignment(os.path.join(sys.argv[1], "alignment"))
