#!/usr/bin/python3
"""Writes the FreeSurfer, GIfTI and MGH files the freesurfer tests read, with
nibabel as the independent writer. Usage: make_fixtures.py OUTDIR

The scene: a 40^3 volume of 1 mm voxels in FreeSurfer's conformed (LIA)
orientation, its centre at c_ras = (6, -4, 9), holding a bright ball of
radius 8 voxels; an icosphere of the same radius around the ball, written
in tkregister space with the volume's geometry, in scanner space without
it, and as GIfTI; per-vertex overlays of known values on that sphere.
"""
import os
import shutil
import subprocess
import sys

import numpy as np
import nibabel as nib
from nibabel.freesurfer import io as fsio
from nibabel.gifti import GiftiImage, GiftiDataArray, GiftiCoordSystem, GiftiLabel, GiftiLabelTable

out = sys.argv[1]
os.makedirs(out, exist_ok=True)


def path(name):
    return os.path.join(out, name)


N = 40
C_RAS = np.array([6.0, -4.0, 9.0])
BALL = np.array([24, 17, 22])
RADIUS = 8.0

# LIA: voxel x runs to the left, y down, z forward; voxel N/2 at c_ras.
affine = np.eye(4)
affine[:3, :3] = np.column_stack([[-1, 0, 0], [0, 0, -1], [0, 1, 0]])
affine[:3, 3] = C_RAS - affine[:3, :3] @ np.full(3, N / 2.0)

i, j, k = np.meshgrid(np.arange(N), np.arange(N), np.arange(N), indexing='ij')
inside = (i - BALL[0]) ** 2 + (j - BALL[1]) ** 2 + (k - BALL[2]) ** 2 <= RADIUS ** 2
ball = np.where(inside, 200, 0).astype(np.uint8)
# A gradient away from the ball, so that the byte window has more than two values.
ball = ball + (i % 7).astype(np.uint8)

nib.save(nib.MGHImage(ball, affine), path('ball.mgz'))
nib.save(nib.MGHImage(ball, affine), path('ball.mgh'))
nib.save(nib.Nifti1Image(ball, affine), path('ball.nii.gz'))
for name, dtype in (('ball_short.mgh', np.int16), ('ball_int.mgh', np.int32), ('ball_float.mgh', np.float32)):
    nib.save(nib.MGHImage(ball.astype(dtype) * 3 - 7, affine), path(name))
    nib.save(nib.Nifti1Image(ball.astype(dtype) * 3 - 7, affine), path(name.replace('.mgh', '.nii')))


def icosphere(levels):
    t = (1.0 + 5 ** 0.5) / 2
    v = [(-1, t, 0), (1, t, 0), (-1, -t, 0), (1, -t, 0), (0, -1, t), (0, 1, t), (0, -1, -t), (0, 1, -t),
         (t, 0, -1), (t, 0, 1), (-t, 0, -1), (-t, 0, 1)]
    f = [(0, 11, 5), (0, 5, 1), (0, 1, 7), (0, 7, 10), (0, 10, 11), (1, 5, 9), (5, 11, 4), (11, 10, 2),
         (10, 7, 6), (7, 1, 8), (3, 9, 4), (3, 4, 2), (3, 2, 6), (3, 6, 8), (3, 8, 9), (4, 9, 5), (2, 4, 11),
         (6, 2, 10), (8, 6, 7), (9, 8, 1)]
    v = [np.array(p) / np.linalg.norm(p) for p in v]
    for _ in range(levels):
        mid = {}
        nf = []

        def middle(a, b):
            key = (min(a, b), max(a, b))
            if key not in mid:
                p = v[a] + v[b]
                v.append(p / np.linalg.norm(p))
                mid[key] = len(v) - 1
            return mid[key]
        for a, b, c in f:
            ab, bc, ca = middle(a, b), middle(b, c), middle(c, a)
            nf += [(a, ab, ca), (b, bc, ab), (c, ca, bc), (ab, bc, ca)]
        f = nf
    return np.array(v), np.array(f, dtype=np.int32)


unit, faces = icosphere(3)
centre_ras = affine[:3, :3] @ BALL + affine[:3, 3]
scanner = (unit * RADIUS + centre_ras).astype(np.float32)
mgh = nib.load(path('ball.mgz'))
tkr = mgh.header.get_vox2ras_tkr() @ np.linalg.inv(mgh.affine)
tk = (np.c_[scanner, np.ones(len(scanner))] @ tkr.T)[:, :3].astype(np.float32)

volume_info = {
    'head': [2, 0, 20], 'valid': '1  # volume info valid', 'filename': 'ball.mgz', 'volume': [N, N, N],
    'voxelsize': [1, 1, 1], 'xras': [-1, 0, 0], 'yras': [0, 0, -1], 'zras': [0, 1, 0], 'cras': list(C_RAS)}
fsio.write_geometry(path('lh.sphere_tkr'), tk, faces, volume_info=volume_info)
fsio.write_geometry(path('lh.sphere_scanner'), scanner, faces)
fsio.write_geometry(path('lh.sphere_tkr_novi'), tk, faces)

coords = GiftiDataArray(scanner, intent='NIFTI_INTENT_POINTSET', datatype='NIFTI_TYPE_FLOAT32')
coords.coordsys = GiftiCoordSystem(dataspace=3, xformspace=3, xform=np.eye(4))
tris = GiftiDataArray(faces, intent='NIFTI_INTENT_TRIANGLE', datatype='NIFTI_TYPE_INT32')
for enc in ('GIFTI_ENCODING_B64GZ', 'GIFTI_ENCODING_B64BIN', 'GIFTI_ENCODING_ASCII'):
    coords.encoding = tris.encoding = enc
    nib.save(GiftiImage(darrays=[coords, tris]), path('sphere_%s.surf.gii' % enc.split('_')[-1].lower()))
# Points kept in tkregister space with a transform to scanner space.
tkcoords = GiftiDataArray(tk, intent='NIFTI_INTENT_POINTSET', datatype='NIFTI_TYPE_FLOAT32')
tkcoords.coordsys = GiftiCoordSystem(dataspace=0, xformspace=3, xform=np.linalg.inv(tkr))
nib.save(GiftiImage(darrays=[tkcoords, tris]), path('sphere_xform.surf.gii'))

# External-file binary: written by Connectome Workbench where it is installed
# (nibabel reads that encoding but does not write it), in a folder of its own.
if shutil.which('wb_command'):
    os.makedirs(path('ext'), exist_ok=True)
    subprocess.run(['wb_command', '-gifti-convert', 'EXTERNAL_FILE_BINARY', path('sphere_b64gz.surf.gii'),
                    path('ext/sphere_ext.surf.gii')], check=True)

nv = len(scanner)
np.savetxt(path('nverts.txt'), [nv], fmt='%d')
# Per-vertex values: one value everywhere, and the sign of x for signed maps.
uniform = np.full(nv, 5.0, dtype=np.float32)
signed = np.where(scanner[:, 0] > centre_ras[0], 5.0, -5.0).astype(np.float32)
ramp = np.arange(nv, dtype=np.float32)
fsio.write_morph_data(path('lh.thickness'), uniform)
fsio.write_morph_data(path('lh.curv'), signed)
fsio.write_morph_data(path('lh.ramp'), ramp)
fsio.write_morph_data(path('lh.short'), uniform[:-1])
nib.save(nib.MGHImage(uniform.reshape(nv, 1, 1), np.eye(4)), path('uniform.mgh'))
nib.save(nib.MGHImage(signed.reshape(nv, 1, 1), np.eye(4)), path('signed.mgz'))
for name, vals in (('uniform.func.gii', uniform), ('signed.shape.gii', signed)):
    nib.save(GiftiImage(darrays=[GiftiDataArray(vals, intent='NIFTI_INTENT_NONE', datatype='NIFTI_TYPE_FLOAT32')]),
             path(name))

# Annotations: three labels with their colours, and one label everywhere.
ctab = np.array([[25, 5, 25, 0], [200, 30, 40, 0], [30, 180, 60, 0]], dtype=np.int32)
names = [b'unknown', b'red', b'green']
labels = np.where(scanner[:, 0] > centre_ras[0], 1, 2).astype(np.int32)
labels[0] = -1
fsio.write_annot(path('lh.halves.annot'), labels, ctab, names)
fsio.write_annot(path('lh.red.annot'), np.ones(nv, dtype=np.int32), ctab, names)

# The same halves as GIfTI labels; vertex 0 has a key the table lacks.
table = GiftiLabelTable()
for key, name, rgb in ((1, 'red', (200, 30, 40)), (2, 'green', (30, 180, 60))):
    lab = GiftiLabel(key=key, red=rgb[0] / 255.0, green=rgb[1] / 255.0, blue=rgb[2] / 255.0, alpha=1.0)
    lab.label = name
    table.labels.append(lab)
keys = labels.copy()
keys[0] = 7
nib.save(GiftiImage(labeltable=table, darrays=[GiftiDataArray(keys, intent='NIFTI_INTENT_LABEL',
                                                              datatype='NIFTI_TYPE_INT32')]),
         path('halves.label.gii'))

# Label volumes (-lut): a 20^3 MGZ, and its NIfTI twin, of label 0 round a
# block split down x into label 17 and label 1025 (the numbers of
# aparc+aseg, far past a byte); a table with those and more; a volume of
# 300 labels; tables with faults.
lab = np.zeros((20, 20, 20), dtype=np.int32)
lab[4:10, 4:16, 4:16] = 17
lab[10:16, 4:16, 4:16] = 1025
nib.save(nib.MGHImage(lab, np.eye(4)), path('labels.mgz'))
nib.save(nib.Nifti1Image(lab.astype(np.int16), np.eye(4)), path('labels.nii.gz'))
with open(path('labels.lut'), 'w') as f:
    f.write('#$Id: a FreeSurferColorLUT-like table\n\n'
            '#No. Label Name:                            R   G   B   A\n'
            '0   Unknown                                 0   0   0   0\n'
            '17  Left-Hippocampus                      220 216  20   0\n'
            '   # an indented comment\n'
            '1025 ctx-lh-precuneus                     160 140 180   0\n'
            '2000 ctx-rh-unknown                        25   5  25   0\n')
with open(path('labels_short.lut'), 'w') as f:
    f.write('0 Unknown 0 0 0 0\n17 Left-Hippocampus 220 216 20 0\n')
many = np.zeros((20, 20, 20), dtype=np.int32)
many.reshape(-1)[:300] = np.arange(1, 301)
nib.save(nib.MGHImage(many, np.eye(4)), path('labels300.mgz'))
with open(path('labels300.lut'), 'w') as f:
    for n in range(0, 301):
        f.write('%d label%d %d %d %d 0\n' % (n, n, n % 256, 255 - n % 256, 7))
for name, text in (('bad_fields.lut', '0 Unknown 0 0 0 0\n\n17 Left-Hippocampus 220 216 20\n'),
                   ('bad_colour.lut', '# c\n17 Left-Hippocampus 220 300 20 0\n'),
                   ('bad_index.lut', '17x Left-Hippocampus 220 216 20 0\n'),
                   ('twice.lut', '17 a 1 2 3 0\n17 b 4 5 6 0\n'),
                   ('empty.lut', '# nothing but a comment\n\n')):
    with open(path(name), 'w') as f:
        f.write(text)
