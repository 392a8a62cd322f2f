#!/usr/bin/python3
"""Writes a synthetic head as NIfTI (RAS, 1.25 mm voxels, centred on the
origin): an ellipsoid of 'grey' with brighter 'white' inside and a skull
shell, the box the synthetic tractograms of tools/maketractogram fill.
Usage: head_nifti.py OUT.nii.gz"""
import sys

import nibabel as nib
import numpy as np

shape = (128, 152, 112)
vox = 1.25
i, j, k = np.meshgrid(*[np.arange(n) for n in shape], indexing="ij")
centre = [(n - 1) / 2 for n in shape]
x, y, z = [(g - c) * vox for g, c in zip((i, j, k), centre)]
r = np.sqrt((x / 72) ** 2 + (y / 88) ** 2 + (z / 62) ** 2)
data = np.zeros(shape, np.float32)
data[r < 1.1] = 30
data[r < 1.0] = 60
data[r < 0.75] = 100
data[r < 0.4] = 40
affine = np.diag([vox, vox, vox, 1.0])
affine[:3, 3] = [-c * vox for c in centre]
nib.save(nib.Nifti1Image(data, affine), sys.argv[1])
