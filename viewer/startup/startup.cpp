// xrwview's start-up: the command line, then the scene, then the display.
#include "startup.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "crosshair.h"
#include "frame.h"
#include "labels.h"
#include "look.h"
#include "obj.h"
#include "options.h"
#include "ortho.h"
#include "tracks.h"
#include "trackset.h"
#include "volume_util.h"
#include "vqscene.h"
#include "xrw.h"

StartupSettings settings;
VolumeImporter volumeImporter = nullptr;

namespace {

// Reads one volume's matrix file into m; -1 after a message naming the file.
int readMatrixFile(const char *name, float m[4][4])
{
    FILE *f = std::fopen(name, "r");
    if (!f) {
        std::fprintf(stderr, "Failed to open matrix file '%s'.\n", name);
        return -1;
    }
    bool ok = true;
    for (int r = 0; r < 4 && ok; r++) {
        ok = std::fscanf(f, "%f%f%f%f", &m[r][0], &m[r][1], &m[r][2], &m[r][3]) == 4;
        for (int c = 0; c < 4 && ok; c++)
            ok = std::isfinite(m[r][c]);
    }
    std::fclose(f);
    if (!ok) {
        std::fprintf(stderr, "Failed to read 16 finite reals from matrix file '%s'.\n", name);
        return -1;
    }
    return 0;
}

} // namespace

void usage(const char *progname)
{
    std::fprintf(stderr, "usage: %s [options] -f xrwfilename\n", progname);
    for (int i = 0; i < kViewerOptionCount; i++)
        if (kViewerOptions[i].usageLine)
            std::fputs(kViewerOptions[i].usageLine, stderr);
}

namespace {

// The settings a command line starts from: for volume v, and for the run.
void setVolumeSettingDefaults(int v)
{
    settings.volume[v].stride[0] = settings.volume[v].stride[1] = settings.volume[v].stride[2] =
        kViewerDefaults.stride;
    settings.volume[v].useFileColourMap = kViewerDefaults.useFileColourMap;
}

void setRunSettingDefaults()
{
    settings.drawBox = kViewerDefaults.drawBox;
    settings.blowApart = kViewerDefaults.blowApart;
    settings.trackSkip = kViewerDefaults.trackSkip;
}

} // namespace

void resetStartupSettings()
{
    // The records of an earlier start-up in the same process (tests).
    for (int v = 0; v < MAX_VOLUMES; v++) {
        freeXvol(settings.xvols[v]);
        freeXraw(settings.xraws[v]);
        std::free(settings.fileValues[v].floats);
        std::free(settings.fileValues[v].shorts);
    }
    std::memset(&settings, 0, sizeof settings);
    std::memset(&crosshair, 0, sizeof crosshair);
    std::memset(placements, 0, sizeof placements);
    for (int &g : orthoGrid)
        g = -1;
    for (int v = 0; v < MAX_VOLUMES; v++)
        setVolumeSettingDefaults(v);
    setRunSettingDefaults();
}

void setVolumeDefaults()
{
    for (int v = 0; v < MAX_VOLUMES; v++) {
        setVolumeStateDefaults(v);
        settings.volume[v].volumeNamed = 0;
        setVolumeSettingDefaults(v);
        settings.volume[v].useMatrix = 0;
        settings.volume[v].useValueWindow = 0;
        settings.volume[v].useLabels = 0;
        settings.volume[v].haveFileMatrix = 0;
    }
}

int loadSurfaceOption(const char *fname, const char *label, float r, float g, float b, float a)
{
    char name[XRW_FNAME_FIELD];
    char lab[XRW_LABEL_FIELD];
    copyField(name, sizeof name, fname);
    copyField(lab, sizeof lab, label);
    size_t len = std::strlen(name);
    const char *ending = len >= 3 ? name + len - 3 : "";
    Obj *obj = nullptr;
    if (std::strcmp(ending, "obj") == 0) {
        obj = loadObj(name, lab, r, g, b, a);
    } else if (std::strcmp(ending, "stl") == 0) {
        obj = loadObjFromSTL(name, lab, r, g, b, a);
    } else {
        // Any other name goes by the file's content.
        switch (recogniseSurfaceFile(name)) {
        case SURFACE_FREESURFER:
            obj = loadObjFromFreeSurfer(name, lab, r, g, b, a);
            break;
        case SURFACE_GIFTI:
            obj = loadObjFromGifti(name, lab, r, g, b, a);
            break;
        default:
            std::fprintf(stderr, "unknown input surface format: %s\n", name);
            return -1;
        }
    }
    // The reader has said why; a surface that is not there cannot be drawn.
    if (!obj)
        return -1;
    Obj **grown = static_cast<Obj **>(std::realloc(objs, sizeof(Obj *) * (nobjs + 1)));
    if (!grown) {
        std::fprintf(stderr, "Failed to allocate surface list.\n");
        return -1;
    }
    objs = grown;
    objs[nobjs++] = obj;
    return 0;
}

int parseCommandLine(int argc, char **argv)
{
    setVolumeDefaults();
    std::memset(&crosshair, 0, sizeof crosshair);
    resetLook();
    if (argc <= 2) {
        usage(argv[0]);
        return -1;
    }
    setRunSettingDefaults();
    settings.calcNormals = 0;
    settings.clipData = 0;
    settings.boundaryPlanes = 0;
    settings.haveTracks = 0;

    int i = 1;
    while (i < argc) {
        const char *arg = argv[i];
        const ViewerOption *o = findViewerOption(arg);
        if (!o) {
            i++;
            continue;
        }
        // A fifth volume is refused before its name is looked for.
        if (std::strcmp(arg, "-f") == 0 && NVR + 1 > MAX_VOLUMES) {
            std::fprintf(stderr, "Too many volumes!\n");
            return -1;
        }
        // An option without all its values, or a volume option with no
        // volume to bind to, leaves nothing sensible to do.
        if (i + o->values >= argc || (o->perVolume && NVR == 0)) {
            usage(argv[0]);
            return -1;
        }
        int rc = o->set(argv + i + 1, NVR - 1);
        if (rc == kOptionUsage)
            usage(argv[0]);
        if (rc != 0)
            return -1;
        i += 1 + o->values;
    }
    if (settings.volume[0].volumeNamed == 0) {
        usage(argv[0]);
        return -1;
    }
    return 0;
}

namespace {

// Lowest and highest value that matrix row r takes over the eight corner
// voxels of an nx x ny x nz grid.
void cornerSpan(const float r[4], int nx, int ny, int nz, float *lo, float *hi)
{
    double low = r[3], high = r[3];
    for (int c = 0; c < 8; c++) {
        double x = r[3] + (c & 1 ? nx - 1 : 0) * static_cast<double>(r[0]) +
                   (c & 2 ? ny - 1 : 0) * static_cast<double>(r[1]) +
                   (c & 4 ? nz - 1 : 0) * static_cast<double>(r[2]);
        low = x < low ? x : low;
        high = x > high ? x : high;
    }
    *lo = static_cast<float>(low);
    *hi = static_cast<float>(high);
}

} // namespace

void gridTransform(const float m[4][4], const int stride[3], int ny, int nz, float tr[12])
{
    // The float grid runs y and z backwards against the file (grid row J
    // holds the file's box ny-1-J), and each grid voxel is the mean of a box
    // of stride voxels whose centre lies (s-1)/2 file voxels past its low
    // corner. The columns of m are already scaled by the stride.
    const double grid[3] = {0.0, ny - 1.0, nz - 1.0};
    const double sign[3] = {1.0, -1.0, -1.0};
    for (int r = 0; r < 3; r++) {
        double offset = m[r][3];
        for (int c = 0; c < 3; c++) {
            double centre = (stride[c] - 1) / (2.0 * stride[c]);
            offset += static_cast<double>(m[r][c]) * (grid[c] + centre);
            tr[4 * r + 1 + c] = static_cast<float>(sign[c] * m[r][c]) + 0.0f; // no negative zeros
        }
        tr[4 * r] = static_cast<float>(offset) + 0.0f;
    }
}

int setVolumeTransform(int v, const Xvol *xvol, float tr[12])
{
    int nx = xvol->nx, ny = xvol->ny, nz = xvol->nz;
    if (!settings.volume[v].useMatrix && !settings.volume[v].haveFileMatrix) {
        float X = nx * xvol->dx, Y = ny * xvol->dy, Z = nz * xvol->dz;
        if (v == 0)
            vqswin(-X / 2, X / 2, -Y / 2, Y / 2, -Z / 2, Z / 2);
        const float t[12] = {-X / 2, xvol->dx, 0, 0, -Y / 2, 0, xvol->dy, 0, -Z / 2, 0, 0, xvol->dz};
        std::memcpy(tr, t, sizeof t);
        return 0;
    }
    float m[4][4];
    if (settings.volume[v].useMatrix) {
        if (readMatrixFile(settings.volume[v].matrixFileName, m) != 0)
            return -1;
    } else {
        std::memcpy(m, settings.volume[v].fileMatrix, sizeof m);
    }
    // The matrix maps the file's own voxels; the float volume's are stride times larger.
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 3; c++)
            m[r][c] = m[r][c] * settings.volume[v].stride[c];
    for (int r = 0; r < 4; r++) {
        for (int c = 0; c < 4; c++)
            std::fprintf(stderr, "%f ", m[r][c]);
        std::fprintf(stderr, "\n");
    }
    if (v == 0) {
        double blc[3] = {m[0][3], m[1][3], m[2][3]};
        double trc[3] = {m[0][3] + (nx - 1) * static_cast<double>(m[0][0]),
                         m[1][3] + (ny - 1) * static_cast<double>(m[1][1]),
                         m[2][3] + (nz - 1) * static_cast<double>(m[2][2])};
        std::fprintf(stderr, "blc = %f,%f,%f; trc = %f,%f,%f\n", blc[0], blc[1], blc[2], trc[0], trc[1],
                     trc[2]);
        float w[6];
        for (int a = 0; a < 3; a++) {
            w[2 * a] = static_cast<float>(blc[a] < trc[a] ? blc[a] : trc[a]);
            w[2 * a + 1] = static_cast<float>(blc[a] < trc[a] ? trc[a] : blc[a]);
            // A rotated or permuted matrix leaves a diagonal term zero and the
            // window flat along that axis, which no view can show: that axis
            // then spans the box's transformed corners.
            if (!(w[2 * a + 1] > w[2 * a]))
                cornerSpan(m[a], nx, ny, nz, &w[2 * a], &w[2 * a + 1]);
        }
        vqswin(w[0], w[1], w[2], w[3], w[4], w[5]);
    }
    gridTransform(m, settings.volume[v].stride, ny, nz, tr);
    // Finite entries can still put the far corners beyond single precision.
    for (int t = 0; t < 12; t++)
        if (!std::isfinite(tr[t])) {
            std::fprintf(stderr, "The matrix of volume %d puts its voxels beyond single-precision range.\n",
                         v);
            return -1;
        }
    return 0;
}

void installColourMap(int v, const Xvol *xvol)
{
    int lo = colourBlockStart(v), hi = lo + 255;
    vqscir(lo, hi);
    // Labels show their table colours as they are.
    if (settings.volume[v].useLabels) {
        for (int k = 0; k < 256; k++)
            vqscr(lo + k, xvol->cmap_r[k], xvol->cmap_g[k], xvol->cmap_b[k]);
        return;
    }
    if (settings.volume[v].useFileColourMap) {
        for (int k = 0; k < 256; k++)
            vqscr(lo + k, xvol->cmap_r[k], xvol->cmap_g[k], xvol->cmap_b[k]);
    } else {
        vqicm(settings.volume[v].colourMapName, lo, hi);
    }
    for (int ci = lo; ci <= hi; ci++) {
        float r, g, b;
        vqqcr(ci, &r, &g, &b);
        vqscr(ci, std::pow(r, 0.2f), std::pow(g, 0.2f), std::pow(b, 0.2f));
    }
}

void clipVolume(Xvol *xvol, float lo, float hi)
{
    for (int i = 0; i < xvol->nx; i++)
        for (int j = 0; j < xvol->ny; j++) {
            float *row = xvol->data[i][j];
            for (int k = 0; k < xvol->nz; k++)
                if (row[k] < lo || row[k] > hi)
                    row[k] = 0.0f;
        }
}

void zeroBoundaryPlanes(Xvol *xvol, int n)
{
    if (n <= 0)
        return;
    int nx = xvol->nx, ny = xvol->ny, nz = xvol->nz;
    for (int i = 0; i < nx; i++) {
        bool iEdge = i < n || i > nx - 1 - n;
        for (int j = 0; j < ny; j++) {
            bool ijEdge = iEdge || j < n || j > ny - 1 - n;
            float *row = xvol->data[i][j];
            for (int k = 0; k < nz; k++)
                if (ijEdge || k < n || k > nz - 1 - n)
                    row[k] = 0.0f;
        }
    }
}

namespace {

// -lut: the voxels of volume v become label bytes 1..N (0 stays 0) in the
// table's colours, and the data range puts byte k in the middle of colour
// entry k. The file's own values (imported) or its bytes (XRW) are the
// labels. 0, or -1 after one line.
int makeLabelVolume(int v, Xraw *xraw, int imported)
{
    const char *name = settings.volume[v].xrwFileName, *tableName = settings.volume[v].labelTableName;
    std::vector<LabelColour> table;
    if (readLabelTable(tableName, &table) != 0)
        return -1;
    FileValues &fv = settings.fileValues[v];
    if (imported && !fv.floats && !fv.shorts) {
        std::fprintf(stderr, "'%s': no memory to keep its voxel values for the labels.\n", name);
        return -1;
    }
    size_t n = static_cast<size_t>(xraw->nx) * xraw->ny * xraw->nz;
    unsigned char colours[256][3];
    int count =
        labelVolumeBytes(name, tableName, imported ? fv.floats : nullptr, imported ? fv.shorts : nullptr,
                         imported ? nullptr : xraw->data, n, table, xraw->data, colours);
    if (count < 0)
        return -1;
    for (int k = 0; k < 256; k++) {
        xraw->cmap_r[k] = colours[k][0];
        xraw->cmap_g[k] = colours[k][1];
        xraw->cmap_b[k] = colours[k][2];
    }
    settings.volume[v].useFileColourMap = 1;
    // Only the crosshair's readout reads the file's values afterwards.
    if (!crosshair.wanted) {
        std::free(fv.floats);
        std::free(fv.shorts);
        fv = FileValues{nullptr, nullptr};
    }
    dmin[v] = -0.5f / 255.0f;
    dmax[v] = 1.0f - 0.5f / 255.0f;
    std::fprintf(stderr, "labels: '%s': %d labels coloured by '%s'\n", name, count, tableName);
    return 0;
}

// The scene library's renderings of volume v, with its transform tr: slice
// sets or a 3-D texture, and the slice views' own; -1 after a message.
int makeRenderings(int v, Xraw *xraw, Xvol *xvol, const float tr[12])
{
    int nx = xvol->nx, ny = xvol->ny, nz = xvol->nz;
    // A rendering of the whole grid over the data range with an opacity ramp.
    auto wholeGrid = [&](float a0, float a1) {
        return nvqcvr(xvol->data, nx, ny, nz, 0, nx - 1, 0, ny - 1, 0, nz - 1, tr, 's', dmin[v], dmax[v], a0, a1);
    };
    // The slice views draw from a rendering of their own that shows every
    // value from the data range up (it shares the grid's GPU copy).
    if (crosshair.ortho)
        orthoGrid[v] = wholeGrid(1.0f, 1.0f);
    if (!do_3d_render) {
        int *ids[3] = {vidx, vidy, vidz};
        for (int a = 0; a < 3; a++)
            ids[a][v] = wholeGrid(dscale[v][a] * amin[v], dscale[v][a] * amax[v]);
        if (settings.volume[v].useLabels)
            for (int a = 0; a < 3; a++)
                svqvlab(ids[a][v], 1);
        dropByteVoxels(xraw);
        rememberLook(v, xvol->cmap_r, xvol->cmap_g, xvol->cmap_b);
        return 0;
    }
    int filled = fillTexture(v, xvol, tr);
    if (filled != 0)
        return filled;
    // Where keys come, the look changes live: the texture can then be drawn
    // from the float voxels, which the texture left in place.
    if (vqqin())
        lookGrid[v] = wholeGrid(amin[v], amax[v]);
    rememberLook(v, xvol->cmap_r, xvol->cmap_g, xvol->cmap_b);
    return 0;
}

} // namespace

void fillLookVoxels(int v)
{
    if (v < 0 || v >= MAX_VOLUMES || !settings.volume[v].floatsAwaitBytes)
        return;
    settings.volume[v].floatsAwaitBytes = 0;
    fillXvolFromBytes(settings.xraws[v], settings.xvols[v]);
    dropByteVoxels(settings.xraws[v]);
}

int buildVolume(int v, int argc, char **argv)
{
    const char *name = settings.volume[v].xrwFileName;
    Xraw *xraw = nullptr;
    int imported = 0;
    const int *s = settings.volume[v].stride;
    if (settings.volume[v].useLabels && (s[0] != 1 || s[1] != 1 || s[2] != 1)) {
        std::fprintf(stderr, "-lut: the labels of '%s' cannot be averaged (-s).\n", name);
        return -1;
    }
    if (settings.volume[v].useLabels && do_3d_render) {
        std::fprintf(stderr, "-lut: labels are drawn by slice sets only, not with -3d.\n");
        return -1;
    }
    // The file's values that voxel values 0 and 1 stand for.
    double units[2] = {0, 1};
    if (volumeImporter) {
        imported = volumeImporter(
            name, settings.volume[v].useValueWindow ? settings.volume[v].valueWindow : nullptr,
            settings.volume[v].useMatrix, &xraw, settings.volume[v].fileMatrix, units,
            crosshair.wanted || settings.volume[v].useLabels ? &settings.fileValues[v] : nullptr);
        if (imported < 0)
            return -1;
        settings.volume[v].haveFileMatrix = imported;
    }
    setLookUnits(v, units[0], units[1]);
    setLookPatientAxes(v, imported);
    if (!imported) {
        if (settings.volume[v].useValueWindow)
            std::fprintf(stderr, "-W ignored for '%s': XRW voxels are bytes already.\n", name);
        xraw = loadXraw(name);
        if (!xraw) {
            std::fprintf(stderr, "Failed to open or read '%s'.\n", name);
            return -1;
        }
    }
    settings.xraws[v] = xraw;
    if (settings.volume[v].useLabels && makeLabelVolume(v, xraw, imported) != 0)
        return -1;
    showXraw(xraw);
    std::printf("- - - - - - - - - - - - - - - - - - - - - - - - -\n");
    std::fflush(stdout);
    // A 3-D texture made straight from the bytes needs no float voxels: they
    // stay unfilled (reading as zero, as they do once such a texture is
    // made) and the statistics come from the bytes.
    // Slice views draw the float voxels.
    bool unfilled = do_3d_render && !crosshair.ortho && texelsFromBytes(v, xraw);
    Xvol *xvol = unfilled ? Xraw2XvolUnfilled(xraw) : Xraw2Xvol(xraw, settings.volume[v].stride);
    if (!xvol) {
        std::fprintf(stderr, "Failed to parse data volume.\n");
        return -1;
    }
    settings.xvols[v] = xvol;
    if (unfilled) {
        float st[4];
        showXvolStats(xvol, statsXrawVoxels(xraw, st) < 0 ? nullptr : st);
    } else {
        showXvol(xvol);
    }
    std::fflush(stdout);
    int nx = xvol->nx, ny = xvol->ny, nz = xvol->nz;

    if (v == 0) {
        // Without a display every later call would go nowhere.
        if (vqopend("/?", argc, argv) != 0) {
            std::fprintf(stderr, "Failed to open the display.\n");
            return -1;
        }
        svqstt((std::string("xrwview: ") + name).c_str());
        if (invert) {
            svqsbc(1, 1, 1);
            svqsfc(0, 0, 0);
        } else {
            svqsbc(0, 0, 0);
            svqsfc(1, 1, 1);
        }
        float ry = (ny * xvol->dy) / (nx * xvol->dx);
        float rz = (nz * xvol->dz) / (nx * xvol->dx);
        vqsvp(-1, 1, -ry, ry, -rz, rz);
        const float vp[6] = {-1, 1, -ry, ry, -rz, rz};
        std::memcpy(settings.viewport, vp, sizeof vp);
    }

    // Where keys come, a changed look draws the texture from the float
    // voxels (the display is open now, so the library knows): the bytes
    // stay to fill them when it first changes.
    settings.volume[v].floatsAwaitBytes = unfilled && vqqin();

    float tr[12];
    if (setVolumeTransform(v, xvol, tr) != 0)
        return -1;
    // The float voxels are the bytes over 255 unless averaged, clipped,
    // zeroed, left unfilled or given back after a -3d texture is made.
    bool gridHoldsBytes = !imported && s[0] == 1 && s[1] == 1 && s[2] == 1 && !settings.clipData &&
                          settings.boundaryPlanes <= 0 && (!do_3d_render || crosshair.ortho);
    if (crosshair.wanted && placeVolume(v, xraw, xvol, settings.volume[v].stride, tr, &settings.fileValues[v],
                                        gridHoldsBytes) != 0)
        return -1;

    float *w = settings.window;
    vqqwin(&w[0], &w[1], &w[2], &w[3], &w[4], &w[5]);
    std::fprintf(stderr, "vqswin(%f,%f,%f,%f,%f,%f)\n", w[0], w[1], w[2], w[3], w[4], w[5]);

    // The matrix, not the file's voxel sizes, gives the volume its shape:
    // the viewport takes the proportions of the world window it set.
    if (v == 0 && (settings.volume[v].useMatrix || settings.volume[v].haveFileMatrix) && w[1] > w[0]) {
        float ry = (w[3] - w[2]) / (w[1] - w[0]), rz = (w[5] - w[4]) / (w[1] - w[0]);
        vqsvp(-1, 1, -ry, ry, -rz, rz);
        const float vp[6] = {-1, 1, -ry, ry, -rz, rz};
        std::memcpy(settings.viewport, vp, sizeof vp);
    }

    if (v == 0) {
        double x1 = w[0], x2 = w[1], y1 = w[2], y2 = w[3], z1 = w[4], z2 = w[5];
        Point3 pos[2] = {{x1 + (x1 - x2) / 2, y1 + (y1 - y2) / 2, z1 + (z1 - z2) / 2},
                         {x2 + (x2 - x1) / 2, y2 + (y2 - y1) / 2, z2 + (z2 - z1) / 2}};
        Colour3 col[2] = {{1, 1, 1}, {1, 1, 1}};
        svqsl(Colour3{0.7, 0.7, 0.7}, 2, pos, col, 1);
        if (settings.drawBox)
            vqbox("BCDE", 0.0f, 0, "BCDE", 0.0f, 0, "BCDE", 0.0f, 0);
    }

    installColourMap(v, xvol);
    if (settings.clipData && !settings.volume[v].useLabels)
        clipVolume(xvol, dmin[v], dmax[v]);
    if (settings.boundaryPlanes > 0)
        zeroBoundaryPlanes(xvol, settings.boundaryPlanes);

    return makeRenderings(v, xraw, xvol, tr);
}

void finishSurfaces(const float window[6])
{
    if (settings.calcNormals) {
        std::fprintf(stderr, "calculating vertex normals...\n");
        for (int j = 0; j < nobjs; j++) {
            calcVertexNormals(objs[j]);
            if (!objs[j]->normals)
                std::fprintf(stderr, "huh?\n");
        }
    }
    std::fprintf(stderr, "BLOW APART might not work due to multivolume support!\n");
    Point3 c = {static_cast<float>(window[0] + window[1]) / 2.0,
                static_cast<float>(window[2] + window[3]) / 2.0,
                static_cast<float>(window[4] + window[5]) / 2.0};
    double r = settings.blowApart;
    for (int j = 0; j < nobjs; j++) {
        Point3 d = VectorSub(objs[j]->mean, c);
        Point3 e = VectorMul(d, r);
        Point3 t = VectorSub(d, e);
        translateObj(objs[j], t);
    }
}

int buildScene(int argc, char **argv)
{
    // A name with no integer conversion is one tractogram file; its faults
    // are its own one line.
    if (settings.haveTracks && !trackPatternValid(settings.trackPattern)) {
        if (loadTrackSet(settings.trackPattern) != 0)
            return -1;
    } else if (settings.haveTracks && readTracks(settings.trackPattern, settings.trackSkip) != 0) {
        usage(argv[0]);
        return -1;
    }
    for (int v = 0; v < NVR; v++)
        if (buildVolume(v, argc, argv) != 0)
            return -1;
    finishSurfaces(settings.window);
    return 0;
}

void registerCallbacks()
{
    cvqscb(cb);
    cvqsncb(numcb);
    cvqskcb(kcb);
    cvqsdcb(lookDrag);
}

int xrwviewMain(int argc, char **argv)
{
    if (parseCommandLine(argc, argv) != 0)
        return -1;
    if (buildScene(argc, argv) != 0)
        return -1;
    if (crosshair.wanted) {
        if (startCrosshair() != 0)
            return -1;
        printReadout();
    }
    registerCallbacks();
    if (crosshair.ortho && setUpOrthoViews() != 0)
        return -1;
    doPRC = 0;
    svqsrm(1);
    vqshow(1);
    return 1;
}
