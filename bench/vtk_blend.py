#!/usr/bin/python3
"""vtk_blend.py FILE.raw N W H FRAMES MAPPER BLEND SHADE [PNG] -- VTK's ray
casters with a blend mode and shading, beside xrwview's -blend and -shade.

FILE.raw: N^3 uint8 voxels, x fastest, spacing 1. MAPPER 'gpu' or 'fixed';
BLEND composite, mip, minip or average; SHADE 0 or 1. Grey colour ramp,
opacity ramp 0 -> 0.2 over 0..255 (as xrwview's default -a), linear
interpolation. FRAMES offscreen frames at WxH, the camera turning 360/FRAMES
degrees about the up axis each frame. Prints frame_ms_median= over frames
2..FRAMES. Needs an X display: run under xvfb-run.
"""
import statistics, sys, time
import vtkmodules.vtkRenderingOpenGL2  # noqa: F401
import vtkmodules.vtkRenderingVolumeOpenGL2  # noqa: F401
from vtkmodules.vtkIOImage import vtkImageReader2, vtkPNGWriter
from vtkmodules.vtkRenderingCore import (vtkColorTransferFunction, vtkRenderer, vtkRenderWindow, vtkVolume,
                                         vtkVolumeProperty, vtkWindowToImageFilter)
from vtkmodules.vtkCommonDataModel import vtkPiecewiseFunction
from vtkmodules.vtkRenderingVolume import vtkFixedPointVolumeRayCastMapper, vtkGPUVolumeRayCastMapper


def grey_volume(path, n, mapper):
    """PATH's N^3 uint8 voxels (x fastest, spacing 1) drawn by MAPPER: grey
    colour ramp, opacity ramp 0 -> 0.2 over 0..255 (as xrwview's default
    -a), linear interpolation. Also the VTK side of bench/window_drag.sh."""
    reader = vtkImageReader2()
    reader.SetFileName(path)
    reader.SetFileDimensionality(3)
    reader.SetDataScalarTypeToUnsignedChar()
    reader.SetNumberOfScalarComponents(1)
    reader.SetDataExtent(0, n - 1, 0, n - 1, 0, n - 1)
    reader.SetDataSpacing(1, 1, 1)
    reader.FileLowerLeftOn()
    reader.Update()
    color = vtkColorTransferFunction()
    color.AddRGBPoint(0, 0, 0, 0)
    color.AddRGBPoint(255, 1, 1, 1)
    opacity = vtkPiecewiseFunction()
    opacity.AddPoint(0, 0.0)
    opacity.AddPoint(255, 0.2)
    prop = vtkVolumeProperty()
    prop.SetColor(color)
    prop.SetScalarOpacity(opacity)
    prop.SetInterpolationTypeToLinear()
    mapper.SetInputConnection(reader.GetOutputPort())
    volume = vtkVolume()
    volume.SetMapper(mapper)
    volume.SetProperty(prop)
    return volume


def main():
    if len(sys.argv) not in (9, 10):
        sys.exit(__doc__)
    path, n, w, h, frames = sys.argv[1], *map(int, sys.argv[2:6])
    kind, blend, shade = sys.argv[6], sys.argv[7], sys.argv[8] == "1"
    mapper = {"gpu": vtkGPUVolumeRayCastMapper, "fixed": vtkFixedPointVolumeRayCastMapper}[kind]()
    volume = grey_volume(path, n, mapper)
    volume.GetProperty().SetShade(1 if shade else 0)
    {"composite": mapper.SetBlendModeToComposite, "mip": mapper.SetBlendModeToMaximumIntensity,
     "minip": mapper.SetBlendModeToMinimumIntensity, "average": mapper.SetBlendModeToAverageIntensity}[blend]()
    mapper.AutoAdjustSampleDistancesOff()
    ren = vtkRenderer()
    ren.AddVolume(volume)
    win = vtkRenderWindow()
    win.SetOffScreenRendering(1)
    win.SetSize(w, h)
    win.AddRenderer(ren)
    ren.ResetCamera()
    cam = ren.GetActiveCamera()
    times = []
    for i in range(frames):
        t0 = time.perf_counter()
        win.Render()
        win.WaitForCompletion()
        times.append(time.perf_counter() - t0)
        cam.Azimuth(360.0 / frames)
    rest = times[1:] or times
    print(f"frame_ms_median={1000 * statistics.median(rest):.2f}")
    if len(sys.argv) == 10:
        grab = vtkWindowToImageFilter()
        grab.SetInput(win)
        grab.Update()
        writer = vtkPNGWriter()
        writer.SetFileName(sys.argv[9])
        writer.SetInputConnection(grab.GetOutputPort())
        writer.Write()


if __name__ == "__main__":
    main()
