// Orthogonal slice views (-ortho): axial, coronal and sagittal panels of
// volume 0 through the crosshair beside the 3-D view, their orientation
// letters, and the pointer and keys that move the crosshair.
#pragma once

#include "vqscene.h"

// The three slice views, in panel order.
enum OrthoView { ORTHO_AXIAL = 0, ORTHO_CORONAL = 1, ORTHO_SAGITTAL = 2 };

// How a view lies on the screen, in the world frame (x to the patient's
// left, y to the back, z up): its normal axis, the world directions of the
// screen's right and up, and the letters at its left, right, top and
// bottom edges.
struct OrthoLayout {
    int normal;
    double right[3], up[3];
    char letters[4];
};

// The layout of a view in the radiological (the patient's left on the
// screen's right) or neurological convention.
OrthoLayout orthoLayout(int view, int neurological);

// The slice of volume v through world coordinate c along world axis
// `normal`, cut to the volume's box: up to 12 world corners and their
// fractional grid indices. The count (0 when the plane misses the box).
int orthoSlice(int v, int normal, double c, Point3 world[12], Point3 grid[12]);

// Splits the window into the four panels (volume 0's window and viewport
// in each), registers their frame callbacks and the pointer callback.
// After start-up has built the volumes; 0 or -1.
int setUpOrthoViews();
// Panel ids of the three views (-1 before set-up).
int orthoPanel(int view);
// The volume rendering each volume's slices are drawn from; set by
// start-up (-1: none).
extern int orthoGrid[4];
// The outlines of the three slices in the 3-D view (from its frame callback).
void drawOrthoOutlines();
// The pointer callback (see vqPointerFunc); 1 when it took the event.
int orthoPointer(int what, int button, int panel, double fx, double fy);
// One frame of view `view` in the current panel.
void drawOrthoView(int view);
