// What a volume looks like, changed while the viewer runs: its data range,
// opacity, colour map and projection, and keys that change them.
#pragma once

// Projections of a volume, as -blend names them (in this order).
enum { kLookComposite, kLookMip, kLookMinip, kLookAverage, kLookModes };

// Projection of each volume (-blend), read by start-up and the keys.
extern int blendMode[4];
// Gradient shading of each volume (-shade), read by start-up and the keys.
extern int shadeOn[4];

// The projection named by text, or -1.
int blendModeNamed(const char *text);
const char *blendModeName(int mode);

// With -3d where keys come: a volume rendering of volume v's float voxels that
// its texture draws from once its look has changed (its texels keep the
// look it started with); -1 when there is none.
extern int lookGrid[4];

// After start-up has made volume v's renderings: keeps its start-up look
// for the reset key and hands its projection to the scene library.
void rememberLook(int v, const float *fileRed, const float *fileGreen, const float *fileBlue);

// Volume v's ranges and projection to the scene library (from the next frame).
void applyLook(int v);

// Volume v's values 0 and 1 stand for lo and hi of its file (an imported
// file's byte window; 0 and 1 for XRW).
void setLookUnits(int v, double lo, double hi);
// Volume v's world axes are the patient's LPS axes (x to the left, y to
// the back, z up), as for imported files; otherwise they have no names.
void setLookPatientAxes(int v, int lps);

// Overlays asked for on the command line (-colourbar, -orientation,
// -scalebar); the overlay key shows and hides them (all three when none
// was asked for).
extern int overlayColourBar, overlayOrientation, overlayScaleBar;
// The overlays of the current volume for this frame (from the frame callback).
void lookOverlays();
// A value of volume v in its file's units.
double lookFileValue(int v, double value);

// Ctrl + left drag (the scene library's look-drag callback): horizontal
// motion widens the current volume's data range, vertical motion raises
// its centre, a whole panel across being the volume's value range.
void lookDrag(int *phase, float *dx, float *dy);

// The look keys: 1 when the key was one of them.
int lookKey(unsigned char key);

// The look keys' lines for the h list.
void printLookKeys();

// Back to the state at program load (tests).
void resetLook();
