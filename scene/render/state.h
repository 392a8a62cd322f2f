// State shared by the renderer's parts: the GPU caches and uploads
// (uploads.cpp), the turning of lists into sorted draw batches
// (batches.cpp) and the submission of draws (renderer.cpp). Internal to
// the renderer.
#pragma once

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <tuple>
#include <vector>

#include "bricks.h"
#include "model.h"

namespace vq::draw {

struct Vert {
    float p[3];
    float c[4];
    float n[3];
    float t[3];
    float w;
};

enum Program {
    kSurface,
    kLine,
    kPoint,
    kTex,
    kVolume,
    kStack,
    kStackGrid,  // kStack for slice sets
    kStackPlain, // kStack composited without shading
    kStackShaded, // kStack composited with shading
    kStackGridShaded, // kStackGrid with shading
    kStackValues, // kStack sampling a grid's values through a colour range
    kStackValuesPlain, // kStackValues composited without shading
    kStackValuesShaded, // kStackValues composited with shading
    kComposite,
    kUpscale,
    kResolve,
    kPlane,
    kProject,
    kProjectResolve,
    kOverlay,
    kProgramCount
};
inline bool isStackProgram(Program p)
{
    return p >= kStack && p <= kStackValuesShaded;
}

struct ProgramInfo {
    GLuint id = 0;
    GLint mvp = -1, viewport = -1, ambient = -1, lightCount = -1, lightPos = -1, lightColour = -1;
    GLint pixelScale = -1, stride = -1;
    GLint sampler = -1, lut = -1, decode = -1, range = -1, ramp = -1, lutSize = -1;
    // The one-pass stack program's own.
    GLint eye = -1, ray = -1, depth = -1, depthLimit = -1, sampleCount = -1, window = -1, plane = -1, planes = -1, alpha = -1, lo = -1, hi = -1, origin = -1, size = -1;
    GLint nearFirst = -1, stop = -1;
    // Projections' own.
    GLint blend = -1, partial = -1, empty = -1, fill = -1;
    // Gradient shading's.
    GLint shade = -1, gradToScene = -1, eyePos = -1, indexToScene = -1;
};

// The part of one slice that can show anything, cut into strips of rows
// so that it follows the content closely: rows u0..u1 (along the slice's
// first in-plane axis), columns w0..w1 (along its second), voxel indices.
struct Strip {
    int u0, u1, w0, w1;
};

// Rows per strip. Measured on llvmpipe: short strips cost more in
// triangles than they save in fill; 64 rows are about as fast as one.
constexpr int kStripRows = 64;

// Longest side of a brick in texels by default: a 512^3 volume is one
// brick, with no padding of its rows, a 1024^3 one two along each axis,
// and a brick's RGBA texels stay below the 1 GiB that llvmpipe allows one
// texture.
constexpr int kBrickTexels = 513;
// llvmpipe clears a texture's memory when it is made, so the bricks of 3-D
// textures, sent a layer at a time from storage that is given back behind
// them, are thin along z: the storage and the GPU copy overlap by one
// layer only. A layer is at least kTextureLayerTexels planes thick, more
// while it stays within kTextureLayerBytes: every brick costs each pixel's
// ray a start of its own.
constexpr int kTextureLayerTexels = 64;
constexpr size_t kTextureLayerBytes = size_t(32) << 20;

// One brick's GL texture (0 when nothing in it can show), with its first
// voxel and its size in voxels along the source's three index axes.
struct GpuBrick {
    GLuint tex = 0;
    int o[3] = {0, 0, 0}, n[3] = {1, 1, 1};
};

// Bricks of a source of n[0] x n[1] x n[2] voxels, in index order with the
// third axis fastest.
struct Bricking {
    BrickAxis axes[3];
    std::vector<GpuBrick> bricks;
    int texels = 0; // the brick size they were cut for
    void layout(int nx, int ny, int nz, int maxTexels, int maxLayer)
    {
        int n[3] = {nx, ny, nz};
        for (int a = 0; a < 3; ++a)
            axes[a] = brickAxis(n[a], a == 2 ? std::min(maxTexels, maxLayer) : maxTexels);
        texels = maxTexels;
        bricks.assign(static_cast<size_t>(axes[0].count) * axes[1].count * axes[2].count, GpuBrick{});
        for (int b0 = 0; b0 < axes[0].count; ++b0)
            for (int b1 = 0; b1 < axes[1].count; ++b1)
                for (int b2 = 0; b2 < axes[2].count; ++b2) {
                    GpuBrick &b = at(b0, b1, b2);
                    int idx[3] = {b0, b1, b2};
                    for (int a = 0; a < 3; ++a) {
                        b.o[a] = axes[a].start(idx[a]);
                        b.n[a] = axes[a].size(idx[a]);
                    }
                }
    }
    GpuBrick &at(int b0, int b1, int b2)
    {
        return bricks[(static_cast<size_t>(b0) * axes[1].count + b1) * axes[2].count + b2];
    }
    const GpuBrick &at(int b0, int b1, int b2) const
    {
        return bricks[(static_cast<size_t>(b0) * axes[1].count + b1) * axes[2].count + b2];
    }
    void release()
    {
        for (GpuBrick &b : bricks)
            if (b.tex)
                glDeleteTextures(1, &b.tex);
        bricks.clear();
    }
};

struct GpuVolume {
    Bricking bricking;
    GridCode code;
    int version = 0;
    const float ***grid = nullptr;
    int nx = 0, ny = 0, nz = 0;
    float dmin = 0, dmax = 0; // the data range the bricks were made for
    bool failed = false;
    // Strips of every slice along each axis for voxels at or above
    // threshold; stripStart[a][k] .. stripStart[a][k + 1] index strips[a].
    bool haveStrips = false;
    float threshold = 0;
    int stripRows = 0;
    std::vector<Strip> strips[3];
    std::vector<int> stripStart[3];
    // Cells of kCell^3 voxels (i fastest) holding a voxel at or above
    // occThreshold, which the rays of a slice set drawn in one pass step
    // over; made with the strips' threshold when first needed.
    bool haveOccupancy = false;
    float occThreshold = 0;
    std::vector<uint8_t> occupancy;
    int occSize[3] = {0, 0, 0};
    GLuint occTex = 0;
};

// Side of the cells of a texture's occupancy grid, in texels.
constexpr int kCell = 8;

struct GpuTexture {
    Bricking bricking;
    // Cells of kCell^3 texels that hold a visible texel (255) or none (0),
    // which a stack's rays step over.
    std::vector<uint8_t> occupancy;
    int occSize[3] = {0, 0, 0};
    GLuint occTex = 0;
    // The one texel of each brick that was not sent (all its texels alike
    // and transparent), to give the storage back from.
    std::vector<uint32_t> fill;
    int version = 0;
    bool failed = false;
};

struct Lut {
    GLuint tex = 0;
    std::vector<Rgb> colours;
    float amin = 0, amax = 0;
    bool labels = false;
};

// One run of the transparent pass: consecutive vertices drawn with the
// same program and textures.
struct Run {
    Program program;
    int key; // texture id or volume-draw binding; unused for facets
    int first, count;
};

// Textures and uniforms of one run: a brick, with for slice sets the
// colour range and the mapping of its texels onto the data range.
struct VolumeBinding {
    GLuint grid, lut;
    bool ramp;
    int lutSize;
    float lo, span, dmin, scale;
    // Projections (kProject runs): the Blend, and the grid whose draws
    // gather into one target; grid 0 stands for a brick left out.
    int blend = 0, group = -1;
    // Gradient shading: on, and the map from a brick's texel gradient to
    // the scene's (column-major).
    bool shade = false;
    float gradToScene[9] = {};
    // Labels: the grid read through the nearest-voxel sampler.
    bool labels = false;
};

// A plane textured from a grid (nvqgplane): the brick's binding, its
// alpha and whether it samples the nearest voxel or trilinearly.
struct PlaneBinding {
    VolumeBinding vb;
    float alpha;
    bool linear;
};

struct Transparent {
    float dist;
    Program program;
    int key;
    int first, count; // in the scratch vertex array
    int poly = -1;    // textured polygon pieces: index into Renderer::polys
    int slice = -1;   // slice pieces: index into Renderer::sliceRefs
};
// One slice of a slice set drawn this frame: the set (Renderer::sliceSets)
// and its voxel index along the set's axis.
struct SliceRef {
    int set, k;
};
// A slice set drawn this frame: its grid (Renderer::volumes), the binding
// of its colour range, its axis, the index ranges it covers and its
// index-to-scene transform.
struct SliceSet {
    int grid, binding, axis;
    int lo[3], hi[3];
    double tr[12];
};

// One textured polygon of the frame, for finding stacks: its texture, its
// alpha, and its corners in the texture's voxel-index coordinates
// (Renderer::polyVerts[first .. first + count)).
struct PolyInfo {
    int tex;
    float alpha;
    int first, count;
};

// A run of sorted items that one pass can draw: textured polygons of one
// texture, mode and alpha in parallel, evenly spaced planes of index space
// (plane k: dot(normal, x) = d0 + k * step, k = 0 far .. planes - 1 near),
// each covering the whole of its plane inside the texture, with nothing
// else between them. toIndex maps scene coordinates onto voxel indices
// (rows of a 3 x 4 matrix), fromIndex back.
struct Stack {
    int firstItem, itemCount;
    int tex;
    int set = -1; // a slice set's slices (Renderer::sliceSets): tex unused
    float alpha;
    int blend; // the texture's Blend
    bool shade; // the texture's gradient shading
    // A texture drawn from a grid's values (kStackValues): the grid
    // (Renderer::volumes) and the binding of its colour range; -1 if not.
    int grid = -1, binding = -1;
    int planes;
    double normal[3], d0, step;
    double toIndex[12], fromIndex[12];
};

// One brick of a stack, drawn as the back faces of its box: the ray of each
// pixel samples the stack's planes inside the brick's share of index space.
struct StackDraw {
    int stack;
    GLuint tex;
    float lo[3], hi[3];  // the brick's share (half-open, clamped to the texture)
    float origin[3], size[3];
    float fill[4]; // without a texture (tex 0): the texel of every voxel
};

// A framebuffer of one panel-sized texture.
struct PanelTarget {
    GLuint fbo = 0, tex = 0;
    int w = 0, h = 0, samples = 0;  // samples > 1: a multisampled texture
    bool ok = false;
};

// The framebuffer a reduced frame is drawn into: a colour texture to
// spread over the window and a depth-stencil buffer.
struct ReducedTarget {
    GLuint fbo = 0, tex = 0, depth = 0;
    int w = 0, h = 0;
    bool ok = false;
};

// How the renderer draws, as shipped. Programs never change these; the
// tests set them (scene/testing/) to draw the references that the shipped
// ways are compared against. They outlive renderShutdown.
struct RenderSettings {
    // Volume slices cover only the strips of their planes that can show
    // anything, strips of stripRows rows; off, each covers its whole plane.
    bool trimSlices = true;
    int stripRows = kStripRows;
    int brickTexels = 0; // 0: kBrickTexels (within the GL's limit)
    int gridKind = -1;   // -1: the narrowest exact kind, else a TexelKind
    bool onePass = true; // stacks of textured polygons drawn in one pass
    // A stack cut into bricks is drawn nearest brick first where the GL
    // has texture barriers; off, farthest first, blended over.
    bool nearFirstStacks = true;
    // The opacity at which a stack's ray stops (above 1: never).
    float rayStop = 1.0f - 1.0f / 255.0f;
};

extern RenderSettings renderSettings;

struct Renderer {
    bool ready = false;
    ProgramInfo programs[kProgramCount];
    GLuint vao = 0, vbo = 0;
    size_t vboBytes = 0;
    std::vector<GpuVolume> volumes;
    std::vector<GpuTexture> textures;
    std::map<std::tuple<int, int, int>, Lut> luts;
    GLint max3d = 256;
    bool outOfMemory = false;
    // The GL has texture barriers: a stack's bricks may be drawn nearest
    // first, reading what is in front.
    bool textureBarrier = false;
    int stacksDrawn = 0;  // in the last frame
    // The float target of a stack drawn in several bricks, and the opaque
    // depth of the panel, where a stack's rays meet opaque things.
    PanelTarget accum, depth;
    // The float target of the slice sets of a projection.
    PanelTarget project;
    bool accumulating = false;
    // Pixels drawn to one pixel of the window: below 1 while a reduced
    // frame is drawn, so that lines and points keep their width on the
    // window.
    float pixelScale = 1;
    // Planes of a stack, or slices of a slice set, that one sample or
    // slice stands for: above 1 in coarse frames.
    int planeStride = 1;
    ReducedTarget reduced;
    // Overlays: their own vertex array, and the font atlas (made when
    // first needed; atlasTried once it was).
    GLuint overlayVao = 0, overlayVbo = 0, atlasTex = 0;
    bool atlasTried = false;

    // Scratch arrays kept between frames to spare allocations.
    std::vector<Vert> verts, scratch;
    std::vector<Transparent> items;
    std::vector<Run> runs;
    std::vector<Run> projectRuns; // slice sets of projections, drawn apart
    std::vector<VolumeBinding> bindings;
    std::vector<PlaneBinding> planeBindings;
    GLuint nearestSampler = 0;  // planes that show the nearest voxel
    GLuint shadeTable = 0;      // a shaded stack's lighting by normal (makeShadeTable)
    std::vector<int> brickBinding;
    std::vector<Strip> slice;
    std::vector<PolyInfo> polys;
    std::vector<ClipVertex> polyVerts;
    std::vector<Stack> stacks;
    std::vector<StackDraw> stackDraws;
    std::vector<SliceRef> sliceRefs;
    std::vector<SliceSet> sliceSets;
};

extern Renderer R;

// ---- uploads.cpp: GPU caches ----------------------------------------------

// Brick size in use, within the GL's limit.
int brickTexels();
// The bricks of a volume rendering's grid, sent when new or changed;
// renderings of one grid share them. Null when it cannot be drawn.
GpuVolume *gpuVolume(const Scene &s, int id);
// Likewise for a 3-D texture.
GpuTexture *gpuTexture(Scene &s, int id);
// The colour range lo..hi of a draw with its opacity ramp, as a lookup texture.
// labels: entry 0 transparent, every other at amax, instead of the ramp.
Lut *lutFor(const Scene &s, int vol, int lo, int hi, float amin, float amax, bool labels = false);
// Strips of every slice of the grid for voxels at or above threshold.
void computeStrips(GpuVolume &g, float threshold);
// Cells of the grid holding a voxel at or above the threshold, for
// slice sets drawn in one pass, and their texture.
void computeGridOccupancy(GpuVolume &g, float threshold);
// Lowest value a draw of v with lutSize colours can show.
float visibleThreshold(const Volume &v, int lutSize);
// The first volume rendering of the same grid as id (id itself if none).
int sameGrid(const Scene &s, int id);

// ---- overlay.cpp: the pass over a panel after its scene -------------------

// The panel's overlays over its pixels x0, y0, vw x vh (bound viewport),
// seen with camera cam.
void drawOverlay(const Scene &s, const Panel &p, const Camera &cam, int vw, int vh);
void releaseOverlay();

// ---- batches.cpp: lists to vertices, no GL --------------------------------

// What batching asks of the GPU caches: bricks sent, colour lookups and
// occupancy textures made. The renderer gives it the uploads above
// (glBatchResources, in renderer.cpp); without a GL the records can come
// from anywhere else.
struct BatchResources {
    GpuVolume *(*volume)(const Scene &s, int id);
    GpuTexture *(*texture)(Scene &s, int id);
    Lut *(*lut)(const Scene &s, int vol, int lo, int hi, float amin, float amax, bool labels);
    void (*gridOccupancy)(GpuVolume &g, float threshold);
};

extern const BatchResources glBatchResources;

struct Batches {
    std::vector<Vert> tris, lines, points;
};

// Where each kind of a panel's vertices starts in its one vertex array.
struct PanelVerts {
    size_t triCount = 0, lineFirst = 0, pointFirst = 0, transFirst = 0;
};

// Empties the arrays a panel's batching fills (the items, stacks, runs and
// their bindings) for the next panel.
void clearBatchArrays();

Vert vertAt(double x, double y, double z);
void addBox(Batches &b, const BoxSpec &box, const Rgb &fg);
void addOpaque(Batches &b, const PrimList &l);
void addTransparentFacets(const PrimList &l, const double eye[3]);
void addTexPolys(Scene &s, const PrimList &l, const double eye[3], const BatchResources &res);
// One slice set's slices, cut into strips and bricks, as transparent items;
// composited unshaded ones also as a slice set (R.sliceSets, R.sliceRefs).
void addVolumeDraw(const Scene &s, const Camera &cam, const VolumeDraw &d, const BatchResources &res);
// The list's grid planes, cut into bricks, as transparent items (kPlane).
void addGridPlanes(const Scene &s, const PrimList &l, const double eye[3], const BatchResources &res);
// The map (column-major 3 x 3) from a gradient along texture axes to the
// scene's direction across which it rises, for the index-to-scene map m
// (rows of 3 x 4); index axis a runs along texture axis textureAxis[a].
void gradientToScene(const double m[12], const int textureAxis[3], float out[9]);
// The stacks among the sorted items (R.items, R.polys) as seen from eye:
// runs of at least minPlanes polygons that one pass draws as they would be
// drawn one by one. Fills R.stacks, in item order.
void findStacks(const Scene &s, const double eye[3], int minPlanes);
// The runs of slices of one set among the sorted items that one pass
// draws as they would be drawn one by one: at least minPlanes slices in
// order with nothing else between them. Added to R.stacks, which stay in
// item order.
void findSliceStacks(const Scene &s, const double eye[3], int minPlanes);
// The draws of stack `stack` brick by brick, far bricks first: the back
// faces of each brick's box appended to out, one run (kStack) each. The
// bricks and cells of occupancy are the texture's, or a slice set's grid's
// (whose index ranges bound the boxes).
void addStackDraws(int stack, const Bricking &bk, const std::vector<uint8_t> &occupancy, const int occSize[3],
                   const std::vector<uint32_t> *fills, const int size[3], const double eye[3],
                   std::vector<Vert> &out);
// The grid a texture stack is drawn from when its texture takes its
// samples from a volume rendering's values: its bricks, occupancy made for
// the stack's blend, and in st the grid and its colour range's binding.
// Null when the texture shows its texels.
GpuVolume *textureValues(const Scene &s, Stack &st, const BatchResources &res);
// The panel's lists as one vertex array in R.verts: triangles, lines,
// points, then the transparent items sorted far to near in runs of equal
// program and key (R.runs; projections' in R.projectRuns), stacks drawn in
// one pass (R.stacks, found unless outlines or renderSettings say not)
// standing for their items.
PanelVerts batchPanel(Scene &s, const Panel &panel, const Camera &cam, bool outlines, const BatchResources &res);

} // namespace vq::draw
