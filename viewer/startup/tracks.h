// Poly-line tracks: read once at start-up from numbered files, drawn each frame.
#pragma once

// Whether pattern holds exactly one int conversion (flags, width and
// precision allowed; "%%" is plain text) and nothing else that printf reads.
bool trackPatternValid(const char *pattern);
// Reads the series pattern(0), pattern(skip), pattern(2 skip), ... into
// ntracks, count and start, then lists the lengths. 0, or -1 after a message.
int readTracks(const char *pattern, int skip);
#include "vqscene.h"

// The colour of a track of n >= 2 points p, from its end-to-end direction.
Colour3 trackColour(const Point3 *p, int n);
// The track pass of the frame callback: each track of 2 or more points as
// thick lines in one colour from its end-to-end direction, while key 2 is odd.
void trackPass();
