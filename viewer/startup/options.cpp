// The table of xrwview's options and the setters it names.
#include "options.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

#include "crosshair.h"
#include "look.h"
#include "overlay.h"
#include "startup.h"
#include "tracks.h"
#include "trackset.h"

namespace {

float realOf(const char *text)
{
    return static_cast<float>(std::atof(text));
}

int setVolumeFile(char **val, int)
{
    NVR++;
    copyField(settings.volume[NVR - 1].xrwFileName, XRW_FNAME_FIELD, val[0]);
    settings.volume[NVR - 1].volumeNamed = 1;
    return 0;
}

int setStride(char **val, int v)
{
    for (int a = 0; a < 3; a++)
        settings.volume[v].stride[a] = std::atoi(val[a]);
    if (settings.volume[v].stride[0] < 1 || settings.volume[v].stride[1] < 1 ||
        settings.volume[v].stride[2] < 1) {
        std::fprintf(stderr, "stride must be at least 1 in each direction!\n");
        return -1;
    }
    return 0;
}

int setDataRange(char **val, int v)
{
    dmin[v] = realOf(val[0]);
    dmax[v] = realOf(val[1]);
    return 0;
}

int setOpacityRange(char **val, int v)
{
    amin[v] = realOf(val[0]);
    amax[v] = realOf(val[1]);
    return 0;
}

int setAxisScale(char **val, int v)
{
    for (int a = 0; a < 3; a++)
        dscale[v][a] = realOf(val[a]);
    return 0;
}

int setColourMap(char **val, int v)
{
    settings.volume[v].useFileColourMap = 0;
    copyField(settings.volume[v].colourMapName, XRW_FNAME_FIELD, val[0]);
    std::fprintf(stderr, "cmapname = %s\n", settings.volume[v].colourMapName);
    return 0;
}

int setMatrixFile(char **val, int v)
{
    settings.volume[v].useMatrix = 1;
    copyField(settings.volume[v].matrixFileName, XRW_SHORT_FIELD, val[0]);
    return 0;
}

int setValueWindow(char **val, int v)
{
    char *end0, *end1;
    double lo = std::strtod(val[0], &end0), hi = std::strtod(val[1], &end1);
    if (*end0 || *end1 || end0 == val[0] || end1 == val[1] || !std::isfinite(lo) || !std::isfinite(hi) ||
        !(lo < hi)) {
        std::fprintf(stderr, "-W needs two finite numbers lo < hi!\n");
        return -1;
    }
    settings.volume[v].useValueWindow = 1;
    settings.volume[v].valueWindow[0] = static_cast<float>(lo);
    settings.volume[v].valueWindow[1] = static_cast<float>(hi);
    return 0;
}

int setLabelTable(char **val, int v)
{
    if (std::strlen(val[0]) >= XRW_SHORT_FIELD) {
        std::fprintf(stderr, "-lut: colour table name longer than %d characters.\n", XRW_SHORT_FIELD - 1);
        return -1;
    }
    settings.volume[v].useLabels = 1;
    copyField(settings.volume[v].labelTableName, XRW_SHORT_FIELD, val[0]);
    return 0;
}

int setSurface(char **val, int)
{
    return loadSurfaceOption(val[0], val[1], realOf(val[2]), realOf(val[3]), realOf(val[4]), realOf(val[5]));
}

// A whole argument read as a finite real.
bool finiteReal(const char *text, float *out)
{
    if (!text)
        return false;
    char *end;
    double d = std::strtod(text, &end);
    if (end == text || *end || !std::isfinite(d))
        return false;
    *out = static_cast<float>(d);
    return true;
}

// -ov FILE [lo hi] [map]: the optional values are looked at here (argv
// ends in a null pointer) and, being no option names, are passed over by
// the parser afterwards.
int setOverlay(char **val, int)
{
    if (nobjs == 0) {
        std::fprintf(stderr, "-ov %s: no surface (-o) before it to colour.\n", val[0]);
        return -1;
    }
    float range[2];
    bool haveLo = finiteReal(val[1], &range[0]);
    bool haveRange = haveLo && finiteReal(val[2], &range[1]);
    if (haveLo && !haveRange) {
        std::fprintf(stderr, "-ov %s: lo %s without hi.\n", val[0], val[1]);
        return -1;
    }
    if (haveRange && !(range[0] <= range[1])) {
        std::fprintf(stderr, "-ov %s: lo %g above hi %g.\n", val[0], range[0], range[1]);
        return -1;
    }
    // A word after the file (and range) that is no option names the map.
    const char *mapName = haveRange ? val[3] : val[1];
    int map = OVERLAY_HEAT;
    if (mapName && mapName[0] != '-') {
        map = overlayMapByName(mapName);
        if (map < 0) {
            std::fprintf(stderr, "-ov %s: unknown colour map '%s' (heat or twosided).\n", val[0], mapName);
            return -1;
        }
    }
    return applyOverlay(objs[nobjs - 1], val[0], haveRange ? range : nullptr, map);
}

int setBlowApart(char **val, int)
{
    settings.blowApart = realOf(val[0]);
    return 0;
}

int setVertexNormals(char **, int)
{
    settings.calcNormals = 1;
    return 0;
}

int setTrackPattern(char **val, int)
{
    // The pattern becomes a printf format with one int argument; without
    // one it names a tractogram file.
    if (std::strlen(val[0]) >= XRW_SHORT_FIELD || (!trackPatternValid(val[0]) && access(val[0], F_OK) != 0))
        return kOptionUsage;
    settings.haveTracks = 1;
    copyField(settings.trackPattern, XRW_SHORT_FIELD, val[0]);
    return 0;
}

int setTrackColour(char **val, int)
{
    return setTrackColourName(val[0]) ? 0 : kOptionUsage;
}

int setTrackSkip(char **val, int)
{
    // A step of 0 would read one file for ever, a negative one run below zero.
    int n = std::atoi(val[0]);
    if (n < 1)
        return kOptionUsage;
    settings.trackSkip = n;
    return 0;
}

int setNoVolumes(char **, int)
{
    suppress_vr = 1;
    return 0;
}

int setClipData(char **, int)
{
    settings.clipData = 1;
    return 0;
}

int setBoundaryPlanes(char **val, int)
{
    settings.boundaryPlanes = std::atoi(val[0]);
    return 0;
}

int setPaperColours(char **, int)
{
    invert = 1;
    return 0;
}

int setNoBox(char **, int)
{
    settings.drawBox = 0;
    return 0;
}

int setViewFile(char **val, int)
{
    viewfile = 1;
    copyField(viewfile_fname, sizeof viewfile_fname, val[0]);
    return 0;
}

int setTextureMode(char **, int)
{
    do_3d_render = 1;
    return 0;
}

int setSpeedUp(char **val, int)
{
    // The slicing divides by it.
    int n = std::atoi(val[0]);
    if (n < 1)
        return kOptionUsage;
    _3d_speed_up = n;
    std::fprintf(stderr, "speed-up factor %d\n", n);
    return 0;
}

int setCrosshairAt(char **val, int)
{
    for (int a = 0; a < 3; a++) {
        char *end;
        crosshair.at[a] = std::strtod(val[a], &end);
        if (*end || end == val[a] || !std::isfinite(crosshair.at[a])) {
            std::fprintf(stderr, "-at needs three finite numbers, not '%s'!\n", val[a]);
            return -1;
        }
    }
    crosshair.atGiven = crosshair.wanted = 1;
    return 0;
}

int setSliceViews(char **, int)
{
    crosshair.ortho = crosshair.wanted = 1;
    return 0;
}

int setNeurological(char **, int)
{
    crosshair.neurological = 1;
    return 0;
}

int setBlendMode(char **val, int v)
{
    blendMode[v] = blendModeNamed(val[0]);
    if (blendMode[v] < 0) {
        std::fprintf(stderr, "-blend needs composite, mip, minip or average, not '%s'!\n", val[0]);
        return -1;
    }
    return 0;
}

int setShading(char **, int v)
{
    shadeOn[v] = 1;
    return 0;
}

int setColourBar(char **, int)
{
    overlayColourBar = 1;
    return 0;
}

int setOrientation(char **, int)
{
    overlayOrientation = 1;
    return 0;
}

int setScaleBar(char **, int)
{
    overlayScaleBar = 1;
    return 0;
}

} // namespace

// Table order is the usage text's order.
const ViewerOption kViewerOptions[] = {
    {"-f", 1, false, "FILE", nullptr, setVolumeFile},
    {nullptr, 0, false, nullptr, " * * * per volume (<= 4) options\n", nullptr},
    {"-s", 3, true, "s1 s2 s3", "-s s1 s2 s3\t\t set data averaging along each axis (1 1 1)\n", setStride},
    {"-d", 2, true, "d1 d2", "-d d1 d2\t\t set data min, max (default 0.0 1.0)\n", setDataRange},
    {"-a", 2, true, "a1 a2", "-a a1 a2\t\t set alpha min, max (default 0.0 0.2)\n", setOpacityRange},
    {"-v", 3, true, "v1 v2 v3", "-v v1 v2 v3\t\t set data/alpha scaling per axis\n", setAxisScale},
    {"-c", 1, true, "NAME", "-c name\t\t set colourmap name (default use xrw cmap)\n", setColourMap},
    {"-M", 1, true, "FILE", "-M filename\t use matrix stored in filename\n", setMatrixFile},
    {"-W", 2, true, "lo hi",
     "-W lo hi\t\t set value window of an imported file (default 0.5-99.5 percentile)\n", setValueWindow},
    {"-lut", 1, true, "FILE",
     "-lut file\t\t show the volume as labels coloured by a FreeSurfer colour table\n", setLabelTable},
    {nullptr, 0, false, nullptr, " * * * surfaces and tracks\n", nullptr},
    {"-o", 6, false, "FILE LABEL r g b a", "-o objfname label r g b a \t draw surface in named .obj file\n",
     setSurface},
    {"-ov", 1, false, "FILE [lo hi] [map]",
     "-ov file [lo hi] [map]\t colour the last surface per vertex (map heat or twosided)\n", setOverlay},
    {"-Rx", 1, false, "r", "-Rx r1\t\t radial blow-apart by factor\n", setBlowApart},
    {"-Vx", 0, false, "", "-Vx \t\t calculate and use vertex normals\n", setVertexNormals},
    {"-Tf", 1, false, "PATTERN", "-Tf \t (ascii) track name file pattern\n", setTrackPattern},
    {"-Ts", 1, false, "n", "-Ts \t track file skip factor (default 1000)\n", setTrackSkip},
    {"-Tc", 1, false, "MODE", nullptr, setTrackColour},
    {nullptr, 0, false, nullptr, " * * * global options\n", nullptr},
    {"-SV", 0, false, "", "-SV \t\t suppress volume rendering\n", setNoVolumes},
    {"-DX", 0, false, "", "-DX \t clip data outside data min, max\n", setClipData},
    {"-BX", 1, false, "n", "-BX n \t zero n boundary planes each side\n", setBoundaryPlanes},
    {"-i", 0, false, "", "-i invert (paper colour)\n", setPaperColours},
    {"-x", 0, false, "", "-x \t\t don't draw box\n", setNoBox},
    {"-Vf", 1, false, "FILE", "-Vf filename \t read view from filename\n", setViewFile},
    {nullptr, 0, false, nullptr, " * * * following options defy PDF output\n", nullptr},
    {"-3d", 0, false, "", "-3d \t use 3-d rendering\n", setTextureMode},
    {"-Sp", 1, false, "n", "-Sp \t speed-up for 3-d rendering (default = 1)\n", setSpeedUp},
    {"-blend", 1, true, "MODE",
     "-blend mode\t\t composite, mip, minip or average along each ray (default composite)\n", setBlendMode},
    {"-shade", 0, true, "", "-shade \t\t light the volume by its value gradient\n", setShading},
    {"-colourbar", 0, false, "", "-colourbar \t show the colour map and its values\n", setColourBar},
    {"-orientation", 0, false, "", "-orientation \t show L/R/A/P/S/I at the edges of the view\n",
     setOrientation},
    {"-scalebar", 0, false, "", "-scalebar \t show a scale bar\n", setScaleBar},
    {nullptr, 0, false, nullptr, " * * * slice views\n", nullptr},
    {"-at", 3, false, "X Y Z",
     "-at x y z \t put the crosshair at world x y z (mm) and print the voxels under it\n", setCrosshairAt},
    {"-ortho", 0, false, "", "-ortho \t axial, coronal and sagittal slices beside the 3-d view\n",
     setSliceViews},
    {"-neuro", 0, false, "", "-neuro \t slices in neurological convention (default radiological)\n",
     setNeurological},
};
const int kViewerOptionCount = static_cast<int>(sizeof kViewerOptions / sizeof kViewerOptions[0]);

const ViewerOption *findViewerOption(const char *arg)
{
    for (const ViewerOption &o : kViewerOptions)
        if (o.name && std::strcmp(arg, o.name) == 0)
            return &o;
    return nullptr;
}
