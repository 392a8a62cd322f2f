// Tractograms: whole sets of streamlines from one MRtrix .tck, TrackVis
// .trk or TRX file (ZIP or folder), recognised by content, not by name.
// Points are held once, as float32 in the scene's world (LPS millimetres);
// the scene library draws them from this storage without copying it.
#pragma once

#include <cstdint>

struct Tractogram {
    float *xyz = nullptr;      // npoints points of 3 floats, LPS millimetres
    uint32_t *first = nullptr; // nlines + 1 entries: line l is points first[l] .. first[l + 1] - 1
    long nlines = 0;
    long npoints = 0;
};

enum TractogramKind { kNotTractogram = 0, kTckFile, kTrkFile, kTrxZip, kTrxFolder };

// What the content of name says it is; kNotTractogram also when it cannot
// be read.
TractogramKind sniffTractogram(const char *name);
// The tractogram in name, of whichever kind its content shows; null after
// one line on stderr naming the file and the fault.
Tractogram *loadTractogram(const char *name);
// Each reader by itself (the content must be of its kind); null after one
// line on stderr.
Tractogram *loadTck(const char *name);
Tractogram *loadTrk(const char *name);
Tractogram *loadTrx(const char *name);
void freeTractogram(Tractogram *t);

// Scanner RAS millimetres to the scene's LPS: x and y change sign. Every
// reader's points go through this one function.
void rasToLps(float *xyz, long npoints);
