// The viewer's tractogram: one file given to -Tf, read at start-up and
// handed to the scene library as one line set, drawn by the track pass.
#pragma once

#include "tractogram.h"

// How streamlines are coloured (-Tc).
enum TrackColour { kTrackColourEnds = 0, kTrackColourDirection = 1 };

// Reads the tractogram in name and colours it; 0, or -1 after one line
// naming the file and the fault.
int loadTrackSet(const char *name);
// Whether a tractogram was read.
bool haveTrackSet();
// The loaded tractogram (null if none).
const Tractogram *trackSet();
// Colour mode for the next loadTrackSet; false for an unknown name
// ("ends" or "dir").
bool setTrackColourName(const char *name);
// Draws the line set in the current panel (the track pass's tractogram
// branch); the set is handed to the library on its first draw.
void drawTrackSet();
// Back to no tractogram, colour by ends (tests run start-up twice).
void resetTrackSet();
// The colour the track pass gives a streamline of n points from its
// end-to-end direction (n >= 2).
void endToEndColour(const float *xyz, long n, float rgb[3]);
