// xrwview's start-up: the command line and the construction of the scene.
#pragma once

#include <cstdio>

#include "state.h"
#include "volume_util.h"

struct Xraw;
struct Xvol;

// Text field sizes, terminating NUL included.
#define XRW_FNAME_FIELD 401 // volume and colour-map names: 400 characters
#define XRW_SHORT_FIELD 400 // matrix file, track pattern, view file: 399 characters
#define XRW_LABEL_FIELD 80  // surface labels: 79 characters

// What the command line sets for one volume.
struct VolumeSettings {
    char xrwFileName[XRW_FNAME_FIELD];
    int volumeNamed;
    int stride[3];
    int useFileColourMap;
    char colourMapName[XRW_FNAME_FIELD];
    int useMatrix;
    char matrixFileName[XRW_SHORT_FIELD];
    // -W: the value window of an imported file (else its percentiles).
    int useValueWindow;
    float valueWindow[2];
    // -lut: the volume shown as labels coloured by this colour table.
    int useLabels;
    char labelTableName[XRW_SHORT_FIELD];
    // The index-to-world matrix an imported file brought (used without -M).
    int haveFileMatrix;
    float fileMatrix[4][4];
    // Start-up left the float voxels empty; a changed look fills them from
    // the bytes, which are kept for it.
    int floatsAwaitBytes;
};

// What the command line sets for the rest of start-up.
struct StartupSettings {
    VolumeSettings volume[MAX_VOLUMES];
    int drawBox;
    float blowApart;
    int calcNormals;
    int clipData;
    int boundaryPlanes;
    int haveTracks;
    char trackPattern[XRW_SHORT_FIELD];
    int trackSkip;
    // Built by scene construction: the records of each volume and the world
    // window as the scene library reported it.
    Xraw *xraws[MAX_VOLUMES];
    Xvol *xvols[MAX_VOLUMES];
    // An imported file's own voxel values, kept for the crosshair's readout.
    FileValues fileValues[MAX_VOLUMES];
    float window[6];
    float viewport[6]; // volume 0's viewport box, as given to vqsvp
};

extern StartupSettings settings;

// A reader of volume files other than XRW, set by programs that link one:
// window is -W's lo hi or null, matrixGiven says -M was given. 1 with *xraw,
// m (an -M style matrix) and used (the values that became bytes 0 and 255)
// set when it took the file, 0 when the file is none of its formats (it is
// then read as XRW), -1 after its message. When values is non-null it
// receives the file's voxel values after its scaling, or none when they
// cannot be kept.
typedef int (*VolumeImporter)(const char *path, const float *window, int matrixGiven, Xraw **xraw,
                              float m[4][4], double used[2], FileValues *values);
extern VolumeImporter volumeImporter;
// The importer of xrwview: files that are not whole XRW files go to the
// import plug-in (xrwview-import.so, looked for in the program's folder and
// in the library folder beside it), opened on first need.
int importThroughPlugin(const char *path, const float *window, int matrixGiven, Xraw **xraw, float m[4][4],
                        double used[2], FileValues *values);

// The whole program after process start; returns the exit status.
int xrwviewMain(int argc, char **argv);
// Copies at most size - 1 characters of src into a text field and always terminates.
inline void copyField(char *dst, size_t size, const char *src)
{
    std::snprintf(dst, size, "%s", src);
}

// Writes the usage text to standard error.
void usage(const char *progname);

// Back to the start-up settings' defaults, releasing the volumes of an earlier
// start-up (the viewer state has resetViewerState).
void resetStartupSettings();
// The per-volume defaults of the viewer state, written before the arguments are read.
void setVolumeDefaults();
// Reads the arguments into the settings and the viewer state, loading
// surfaces as they come. 0, or -1 after the message (usage text and others).
int parseCommandLine(int argc, char **argv);
// Tracks, every volume, then the surface steps; argc/argv go to vqopend. 0 or -1.
int buildScene(int argc, char **argv);
// One volume: load, list, convert, display (volume 0), transform, colours,
// clipping, boundary planes and its renderings. 0 or -1.
int buildVolume(int v, int argc, char **argv);
// The grid transform tr (x = tr[0] + tr[1] i + tr[2] j + tr[3] k, ...) of a
// float grid made with the given stride from a file whose voxels matrix m
// maps to the world (its columns already scaled by the stride); ny, nz are
// the grid's sizes. Every file voxel lands where m puts it.
void gridTransform(const float m[4][4], const int stride[3], int ny, int nz, float tr[12]);
// The index-to-world transform of volume v (with -M from its matrix file);
// sets the world window for volume 0. 0, or -1 after a message.
int setVolumeTransform(int v, const Xvol *xvol, float tr[12]);
// Colour map of volume v into its block lo..lo+255, then brightened.
void installColourMap(int v, const Xvol *xvol);
// -DX and -BX on the float volume.
void clipVolume(Xvol *xvol, float lo, float hi);
void zeroBoundaryPlanes(Xvol *xvol, int n);
// The 3-D texture of volume v, through the colours of its block. 0 or -1.
int fillTexture(int v, const Xvol *xvol, const float tr[12]);
// Whether volume v's texels can come from its bytes one for one: stride 1,
// and neither -DX nor -BX changes the float voxels.
bool texelsFromBytes(int v, const Xraw *xraw);
// Gives the pages of a byte volume's voxels back to the system (they read
// as zero afterwards): nothing reads them once the float volume is made.
void dropByteVoxels(Xraw *xraw);
// The same for a float volume whose rows all lie end to end in one block;
// any other volume is left as it is.
void dropFloatVoxels(const Xvol *xvol);
// Vertex normals, the blow-apart warning and the blow-apart of every surface.
void finishSurfaces(const float window[6]);
// Loads one -o surface into objs. 0, or -1 after the message.
int loadSurfaceOption(const char *fname, const char *label, float r, float g, float b, float a);
// cvqscb(cb), cvqsncb(numcb), cvqskcb(kcb), in this order.
void registerCallbacks();
