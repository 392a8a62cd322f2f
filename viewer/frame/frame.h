// The frame callback, the key handlers and the view-aligned texture slicing.
#pragma once

// Frame callback: volumes, then surfaces, then tracks.
void cb(double *first, int *kc);
// Number keys 0..9.
void numcb(int *digit);
// Other keys; 1 = the scene library must not act on the key itself.
int kcb(unsigned char *key);

// The callback's own clock: frame number and start frame of the running reveal.
int frameCount();
int frameBase();
// Back to the state before the first frame (for tests).
void resetFrameState();

// One frame of 3-D texture slices for every volume, far to near, with the
// slice reveal; framebase is the reveal's start frame, kept by the caller.
void sliceTextures(int framecount, int *framebase);
