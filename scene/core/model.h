// The scene model: everything the C API records, with no OpenGL in sight.
// The renderer reads it, the platforms drive its frame loop, the tests
// inspect it. All coordinates held here are scene coordinates: world
// coordinates already mapped, at the call, into the panel's viewport box.
#pragma once

#include <cstdint>
#include <new>
#include <deque>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "vqscene.h"
#include "zeroed.h"

namespace vq {

constexpr int kColourTableSize = 16384;

struct Rgb {
    float r = 0, g = 0, b = 0;
};

// The sixteen standard colours, entries 0..15 of every new scene's table.
extern const Rgb kDefaultColours[16];

struct Vec3 {
    float x = 0, y = 0, z = 0;
};

// An axis-aligned box: a world window or a viewport box.
struct Box {
    double lo[3] = {-1, -1, -1};
    double hi[3] = {1, 1, 1};
};

// ---- Primitives (name = index into Scene::names) ----------------------

struct PointSet {
    std::vector<Vec3> p;
    Rgb colour;
    float size = 1;  // from the line width in force
    int symbol = 1;
    int name = 0;
};

struct Polyline {
    std::vector<Vec3> p;  // n points, n - 1 segments
    Rgb colour;
    float width = 1;
    int name = 0;
};

struct ThickLine {
    Vec3 a, b;
    Rgb ca, cb;
    float width = 1;
    int name = 0;
};

struct Facet {
    Vec3 p[3];
    Vec3 n[3];            // scene-space unit normals; only when smooth
    Rgb colour;
    float alpha = 1;      // below 1: transparent
    bool smooth = false;  // per-corner normals in n
    bool transparent = false;
    char kind = 0;        // transparency kind of nvqvf3a
    int name = 0;
};

struct TexPoly {
    std::vector<Vec3> v;  // scene coordinates
    std::vector<Vec3> t;  // texture coordinates, 0 = first texel centre, 1 = last
    int tex = -1;
    char mode = 's';
    float alpha = 1;
    int name = 0;
};

// One dvqdvrx call: a slice set of a volume with the colour range then in force.
struct VolumeDraw {
    int vol = -1;
    int axis = 1;  // 1 = x (first index), 2 = y, 3 = z
    int lo = 0, hi = 0;
    int glow = 0;
    int prc = 0;
    float glowPeriod = 0;
    int name = 0;
};

// One vqdls call: a line set with the world-to-scene mapping in force,
// scene = world * scale + offset along each axis.
struct LineSetDraw {
    int set = -1;
    float scale[3] = {1, 1, 1};
    float offset[3] = {0, 0, 0};
    int name = 0;
};

// One nvqgplane call: a flat polygon textured from a volume rendering's
// grid through the colour range then in force.
struct GridPlane {
    int vol = -1;
    std::vector<Vec3> v;  // scene coordinates
    std::vector<Vec3> t;  // fractional voxel indices of the grid (0 = first voxel's centre)
    int lo = 0, hi = 0;   // colour range
    bool linear = false;  // else the nearest voxel
    float alpha = 1;      // 1: opaque; below: blended over what lies behind
    int name = 0;
};

struct PrimList {
    std::vector<GridPlane> planes;
    std::vector<PointSet> points;
    std::vector<Polyline> lines;
    std::vector<ThickLine> thickLines;
    std::vector<Facet> facets;
    std::vector<TexPoly> texPolys;
    std::vector<VolumeDraw> volumes;
    std::vector<LineSetDraw> lineSets;
    void clear();
};

// What vqbox asked for, with the world window it was called under.
struct BoxSpec {
    bool enabled = false;
    std::string opt[3];
    float tick[3] = {0, 0, 0};
    int nsub[3] = {0, 0, 0};
    Box window;   // world window at the call (for tick labels)
    Box viewport; // where it is drawn
};

// ---- Volumes and textures -----------------------------------------------

// How the samples along a pixel's ray through a volume make its colour:
// blended over each other far to near by their opacity, or the largest,
// the smallest or the mean value through the colour range at full opacity.
enum Blend { kBlendComposite = 0, kBlendMaximum = 1, kBlendMinimum = 2, kBlendMean = 3 };

struct Volume {
    float ***grid = nullptr;  // grid[i][j][k], owned by the program
    int nx = 0, ny = 0, nz = 0;
    int i1 = 0, i2 = -1, j1 = 0, j2 = -1, k1 = 0, k2 = -1;
    float worldTr[12] = {};  // index to world, as given
    double tr[12] = {};      // index to scene coordinates, same layout
    char mode = 's';
    float dmin = 0, dmax = 1, amin = 0, amax = 1;
    int version = 1;  // the renderer uploads when its copy is older
    int blend = 0;    // a Blend: how the values along a ray make a pixel
    bool shade = false;  // composited samples lit by their value gradient
    bool labels = false; // nearest voxel, entry 0 transparent, the others at amax
};

struct Texture3D {
    int nx = 0, ny = 0, nz = 0;
    std::vector<uint8_t, ZeroedAllocator<uint8_t>> texels;  // 4 bytes a texel, x fastest
    int version = 0;              // bumped by svqpt; 0 = never handed back
    int blend = 0;                // a Blend, as a volume rendering's
    bool shade = false;           // lit by the gradient of the texels' opacity
    // Drawn from volume rendering values' voxels through colour indices
    // valueLo..valueHi instead of from the texels (-1: the texels).
    int values = -1;
    int valueLo = 0, valueHi = 0;
    // The renderer gave the storage's pages back after sending them to the
    // GPU; svqg3dt reads them back from there first.
    bool released = false;
};

// Whether a texture's storage lies in whole pages of its own, which the
// renderer may give back once uploaded; and giving back bytes from..to
// (rounded inwards to whole pages; they read as zero afterwards).
bool texelPagesReleasable(const Texture3D &t);
void releaseTexelPages(Texture3D &t, std::size_t from, std::size_t to);

// ---- Line sets: poly-lines held by the program, drawn from the GPU --------

enum LineSetColour { kColourByDirection = 0, kColourPerLine = 1, kColourPerPoint = 2 };

struct LineSet {
    const float *xyz = nullptr;      // world coordinates, 3 floats a point, the program's
    const uint32_t *first = nullptr; // nlines + 1 entries, the program's
    long nlines = 0, npoints = 0;
    const float *rgb = nullptr;      // per line or per point, the program's
    int colour = kColourByDirection;
    float width = 1;
    long segments = 0;               // what one full draw draws
    int version = 1;                 // the renderer uploads when its copy is older
};

// ---- Camera, lights, panels ---------------------------------------------

struct Camera {
    double eye[3] = {0, 0, 5};
    double target[3] = {0, 0, 0};
    double up[3] = {0, 1, 0};
    double fovy = 30;  // degrees, perspective
    // Orthographic: parallel rays along target - eye, showing `height`
    // scene units from the bottom of the panel to its top.
    bool ortho = false;
    double height = 2;
};

// The camera's right-handed frame: side (screen right), up (screen up) and
// forward (towards the target), each of unit length. An up vector along the
// view leaves no side: the world's y axis, or x when looking along y, stands
// in; a camera whose eye sits on its target looks down -z.
void cameraBasis(const Camera &c, double side[3], double up[3], double forward[3]);

struct Light {
    Vec3 pos;  // scene coordinates
    Rgb colour;
};

struct Lighting {
    Rgb ambient{0.3f, 0.3f, 0.3f};
    std::vector<Light> lights;  // none: a head light is used
};

// What is drawn over a panel after its scene, in its pixels; each part
// stays until the program changes it.
struct Overlay {
    // Colour bar: colour range barLo..barHi (barHi < barLo: none) at the
    // right edge, bottom to top, its opacity ramp barAmin..barAmax beside
    // it, labels tickText[i] at tickAt[i] (0 bottom .. 1 top).
    int barLo = 0, barHi = -1;
    float barAmin = 0, barAmax = 0;
    std::vector<float> tickAt;
    std::vector<std::string> tickText;
    // Orientation: what lies along the world's +x, -x, +y, -y, +z, -z;
    // shown at the edge each direction points to most. Empty: none.
    std::vector<std::string> axisLabels;
    // Scale bar: millimetres per world unit; 0: none.
    double mmPerUnit = 0;
    // A line of text at the top left; empty: none.
    std::string line;
    // Text items by slot: lines of text whose box point ax, ay (fractions
    // of its width and height) lies at panel fractions fx, fy (y up), in
    // colour index `colour` (-1: the foreground). Empty text: none.
    struct Text {
        float fx = 0, fy = 0, ax = 0, ay = 0;
        int colour = -1;
        std::string text;
    };
    static constexpr int kTexts = 16;
    Text texts[kTexts];
};

struct Panel {
    int id = 0;
    double fx1 = 0, fy1 = 0, fx2 = 1, fy2 = 1;  // window fractions, y up
    Box window;      // world window in force
    Box viewport;    // viewport box
    Camera camera;
    int followCamera = -1;  // panel whose camera this one uses
    bool visible = true;
    PrimList staticList;
    PrimList frameList;
    vqFrameFunc frameFunc = nullptr;
    bool frameEnabled = true;
    BoxSpec box;
    // True once the camera was set on purpose (view file, steering); a
    // default camera is fitted again when the viewport or panel changes.
    bool cameraUser = false;
    Overlay overlay;
};

// ---- Library options (read by vqopend) -------------------------------------

struct Options {
    bool nodraw = false;   // no renderer at all
    int frames = -1;       // headless or window: stop after N frames; -1 = run on
    std::vector<std::pair<int, unsigned char>> keys;  // before frame F press K
    bool stats = false;
    std::string png;       // offscreen image file or pattern
    int width = 800, height = 800;
    double spin = 0;       // degrees about the up axis per frame
    double fps = 30;       // headless: frame callbacks' time step is 1 / fps
    std::string exportFile; // scene file written after the last frame
};

// What one frame's callbacks drew (the per-frame lists only).
struct FrameStats {
    long points = 0, lines = 0, thickLines = 0, facets = 0, texPolys = 0, volSlices = 0;
    double ms = 0;
    long uploads = 0;  // grids and 3-D textures sent to the GPU since the start
};

struct Scene {
    bool open = false;
    Options opts;
    std::vector<Panel> panels;  // panel ids are indices
    int current = 0;            // current panel (API calls go here)
    bool inFrame = false;       // true while a frame callback runs

    Rgb colours[kColourTableSize];
    int ciLo = 0, ciHi = 255;
    int ci = 1;
    float lineWidth = 1;
    Rgb background{0, 0, 0};
    Rgb foreground{1, 1, 1};
    Lighting lighting;
    int renderMode = 1;

    std::vector<std::string> names{"ANON"};
    int currentName = 0;
    std::unordered_map<std::string, int> nameIndex{{"ANON", 0}};  // names -> index

    std::vector<Volume> volumes;
    std::vector<Texture3D> textures;
    std::vector<LineSet> lineSets;

    vqNumberFunc numberFunc = nullptr;
    vqKeyFunc keyFunc = nullptr;
    vqPointerFunc pointerFunc = nullptr;
    vqDragFunc dragFunc = nullptr;
    int spaceCount = 0;
    std::deque<unsigned char> keyQueue;

    double startTime = 0;
    long frameNo = 0;
    FrameStats stats;
    // Grids and 3-D textures the renderer has sent: counted as it draws,
    // which only reads the scene otherwise.
    mutable long voxelUploads = 0;
    bool quit = false;
    bool screenshotRequested = false;
    int windowWidth = 800, windowHeight = 800;
    double frameStart = 0;  // clock at the start of the running frame
    bool showing = false;   // vqshow has handed control to a platform
    std::string title = "vqscene";  // of the window
    bool drawFailed = false;  // the renderer could not draw what was asked (said why): the run ends
};

// The one scene of the process.
Scene &scene();
// Back to the state before vqopend (for tests).
void resetScene();

// Panel whose camera a panel is drawn with (follows links).
const Camera &panelCamera(const Scene &s, int panel);
// Map a world point through the panel's window to its viewport box.
Vec3 mapPoint(const Panel &p, double x, double y, double z);
// Whether slice set `axis` (1..3) of a draw is shown from camera c (prc 0:
// only the axis most nearly along the view direction).
bool sliceSetShown(const Camera &c, const Volume &v, const VolumeDraw &d);
// Number of slices a shown slice set draws.
int sliceCount(const Volume &v, int axis);

// One frame of the loop: deliver queued keys, clear the frame lists, call
// the frame callbacks of visible panels, count what they drew.
void runFrame(Scene &s);
// Queue a key press; delivered at the start of the next frame.
void pressKey(Scene &s, unsigned char key);
// The library's own action for a key the program did not refuse.
void libraryKey(Scene &s, unsigned char key);

// The visible panel under window fractions fx, fy (y up), last drawn on
// top first; -1 when none.
int panelAt(const Scene &s, double fx, double fy);
// Offers a pointer event or special key to the program's pointer callback
// with the panel under fx, fy: true when the program took it.
bool offerPointer(Scene &s, int what, int button, double fx, double fy);

// Camera steering, in the panel's viewport units.
void orbitCamera(Scene &s, int panel, double dxDeg, double dyDeg);
void zoomCamera(Scene &s, int panel, double factor);
void panCamera(Scene &s, int panel, double dx, double dy);
void resetCamera(Scene &s, int panel);

// ---- Frame loop helpers shared by the platforms --------------------------
//
// A platform runs each frame as
//     runFrame(s); <draw and present, if it has pixels>; endFrame(s);
// and stops once loopDone(s) is true. runFrame queues the --keys entries
// due before this frame, turns the cameras by --spin (from the second frame
// on), delivers the keys and calls the frame callbacks; endFrame takes the
// frame's wall time, writes the --stats line and advances frameNo.
void endFrame(Scene &s);
// How many frames the run draws: --frames N; without it, a headless run
// draws as many as delivering the last --keys entry takes (at least one)
// and a window runs until it is closed (-1).
long frameLimit(const Scene &s);
// True when the frame limit is reached or a quit key was pressed: every
// platform runs frames until then and decides nothing of its own.
bool loopDone(const Scene &s);
// True when the running frame is the last one (the limit's last frame, or
// a quit key was pressed in it).
bool lastFrame(const Scene &s);
// Digest of everything the renderer reads for a frame (lists, cameras,
// colours, lights, volume and texture versions, window size): equal
// digests draw the same pixels.
uint64_t frameDigest(const Scene &s);
// After the last frame, whatever ends the run: writes the --export file.
// The status the run ends with: `status`, or 1 when the export failed.
int finishRun(Scene &s, int status);
// Texture storage the renderer gave back after uploading is read back from
// the GPU (exports and svqg3dt read it); false, after a message, if it cannot be.
bool holdTexels(Scene &s, int id);
bool holdAllTexels(Scene &s);
// The --stats line of frame `frame`, without the newline.
std::string statsLine(long frame, const FrameStats &st);
// Monotonic clock in seconds.
double clockSeconds();
// Whether the run has no window: --nodraw or --png.
bool headlessRun(const Options &o);
// Time handed to the frame callbacks of the running frame: headless, the
// frame number over --fps, so runs repeat on any machine; in a window the
// clock since the display opened.
double frameTime(const Scene &s);

// ---- Internals shared across the library ----------------------------------

// One line on stderr, prefixed "vqscene: ", newline added.
void sceneError(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
// Read the library's options from argv, skipping what is not ours. 0, or -1
// after one line on stderr (out is then unchanged).
int parseOptions(int argc, char **argv, Options &out);
// The library's options, one row each: name, the value's name in the README
// (empty: the option takes none), and the setter, false after its message.
struct LibraryOption {
    const char *name;
    const char *args;
    bool (*set)(const char *value, Options &o);
};
extern const LibraryOption kLibraryOptions[];
extern const int kLibraryOptionCount;
// Parse a --keys list "F:K,F:K" (K a character or space, tab, esc).
int parseKeyList(const char *text, std::vector<std::pair<int, unsigned char>> &keys);
// Panel that owns the camera a panel is drawn with (follows links).
int cameraOwner(const Scene &s, int panel);
// Camera looking at the centre of the box from +z, far enough to show it
// whole at the given width/height aspect.
Camera fitCamera(const Box &viewport, double aspect);
// Pixel aspect (width / height) of a panel in the window.
double panelAspect(const Scene &s, int panel);
// One axis (0..2) of the panel's window-to-viewport mapping: a coordinate,
// and the scale of a difference.
double mapCoord(const Panel &p, int axis, double v);
double mapScale(const Panel &p, int axis);
// The orientation labels of a panel seen with camera c: right, left, top,
// bottom; each the label of the world axis direction that points most
// along that edge's direction on the screen (empty without labels).
void edgeLabels(const Panel &p, const Camera &c, std::string out[4]);
// A round length, 1, 2 or 5 times a power of ten, in mm, of at most
// maxPixels at pixelsPerMm (at least the shortest such length); 0 when
// pixelsPerMm is not above 0.
double scaleBarMm(double pixelsPerMm, double maxPixels);
// World to scene mapping of a direction (normals use the inverse transpose).
Vec3 mapNormal(const Panel &p, double x, double y, double z);

}  // namespace vq
