// The OpenGL renderer. Each panel's lists are turned into one vertex array
// per frame: opaque primitives are drawn first with depth writes, then
// every transparent one (facets, textured polygons, volume slices) sorted
// far to near and blended. Grids and textures stay on the GPU and are sent
// again only when their version changes.
#include "render.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <map>
#include <new>
#include <thread>
#include <tuple>
#include <vector>

#include "bricks.h"
#include "shaders.h"

namespace vq {

namespace {

struct Vert {
    float p[3];
    float c[4];
    float n[3];
    float t[3];
    float w;
};

enum Program { kSurface, kLine, kPoint, kTex, kVolume, kProgramCount };

struct ProgramInfo {
    GLuint id = 0;
    GLint mvp = -1, viewport = -1, ambient = -1, lightCount = -1, lightPos = -1, lightColour = -1;
    GLint sampler = -1, lut = -1, decode = -1, range = -1, ramp = -1, lutSize = -1;
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
// layer only.
constexpr int kTextureLayerTexels = 64;

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
};

struct GpuTexture {
    Bricking bricking;
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
};

struct Transparent {
    float dist;
    Program program;
    int key;
    int first, count; // in the scratch vertex array
};

struct Renderer {
    bool ready = false;
    ProgramInfo programs[kProgramCount];
    GLuint vao = 0, vbo = 0;
    size_t vboBytes = 0;
    std::vector<GpuVolume> volumes;
    std::vector<GpuTexture> textures;
    std::map<std::tuple<int, int, int>, Lut> luts;
    GLint max3d = 256;
    bool trimSlices = true;
    int stripRows = kStripRows;
    int brickTexels = 0;  // 0: kBrickTexels (within the GL's limit)
    int gridKind = -1;    // -1: the narrowest exact kind, else a TexelKind
    bool outOfMemory = false;

    // Scratch arrays kept between frames to spare allocations.
    std::vector<Vert> verts, scratch;
    std::vector<Transparent> items;
    std::vector<Run> runs;
    std::vector<VolumeBinding> bindings;
    std::vector<int> brickBinding;
    std::vector<Strip> slice;
};

Renderer R;

// ---- Small matrix helpers (column-major, as GL wants them) ---------------

struct Mat4 {
    float m[16];
};

Mat4 multiply(const Mat4 &a, const Mat4 &b)
{
    Mat4 r{};
    for (int c = 0; c < 4; ++c)
        for (int row = 0; row < 4; ++row) {
            float s = 0;
            for (int k = 0; k < 4; ++k)
                s += a.m[k * 4 + row] * b.m[c * 4 + k];
            r.m[c * 4 + row] = s;
        }
    return r;
}

void normalise3(double v[3])
{
    double l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (l > 0)
        for (int i = 0; i < 3; ++i)
            v[i] /= l;
}

void cross3(const double a[3], const double b[3], double r[3])
{
    r[0] = a[1] * b[2] - a[2] * b[1];
    r[1] = a[2] * b[0] - a[0] * b[2];
    r[2] = a[0] * b[1] - a[1] * b[0];
}

Mat4 lookAt(const Camera &c)
{
    double f[3] = {c.target[0] - c.eye[0], c.target[1] - c.eye[1], c.target[2] - c.eye[2]};
    normalise3(f);
    double up[3] = {c.up[0], c.up[1], c.up[2]};
    double s[3];
    cross3(f, up, s);
    // An up vector along the view direction leaves no side: pick any.
    if (s[0] * s[0] + s[1] * s[1] + s[2] * s[2] < 1e-20) {
        double alt[3] = {std::fabs(f[1]) < 0.9 ? 0.0 : 1.0, std::fabs(f[1]) < 0.9 ? 1.0 : 0.0, 0};
        cross3(f, alt, s);
    }
    normalise3(s);
    double u[3];
    cross3(s, f, u);
    Mat4 m{};
    for (int i = 0; i < 3; ++i) {
        m.m[i * 4 + 0] = static_cast<float>(s[i]);
        m.m[i * 4 + 1] = static_cast<float>(u[i]);
        m.m[i * 4 + 2] = static_cast<float>(-f[i]);
    }
    m.m[12] = static_cast<float>(-(s[0] * c.eye[0] + s[1] * c.eye[1] + s[2] * c.eye[2]));
    m.m[13] = static_cast<float>(-(u[0] * c.eye[0] + u[1] * c.eye[1] + u[2] * c.eye[2]));
    m.m[14] = static_cast<float>(f[0] * c.eye[0] + f[1] * c.eye[1] + f[2] * c.eye[2]);
    m.m[15] = 1;
    return m;
}

Mat4 perspective(double fovyDeg, double aspect, double zn, double zf)
{
    double fovy = fovyDeg > 0 && fovyDeg < 179 ? fovyDeg : 30;
    double t = 1.0 / std::tan(fovy * M_PI / 360.0);
    Mat4 m{};
    m.m[0] = static_cast<float>(t / aspect);
    m.m[5] = static_cast<float>(t);
    m.m[10] = static_cast<float>((zf + zn) / (zn - zf));
    m.m[11] = -1;
    m.m[14] = static_cast<float>(2 * zf * zn / (zn - zf));
    return m;
}

// ---- GL objects ------------------------------------------------------------

GLuint compileShader(GLenum kind, const char *src)
{
    GLuint sh = glCreateShader(kind);
    glShaderSource(sh, 1, &src, nullptr);
    glCompileShader(sh);
    GLint ok = 0;
    glGetShaderiv(sh, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[1024] = "";
        glGetShaderInfoLog(sh, sizeof log, nullptr, log);
        for (char *p = log; *p; ++p)
            if (*p == '\n')
                *p = ' ';
        sceneError("shader does not compile: %s", log);
        glDeleteShader(sh);
        return 0;
    }
    return sh;
}

bool linkProgram(ProgramInfo &info, const char *vs, const char *gs, const char *fs)
{
    GLuint v = compileShader(GL_VERTEX_SHADER, vs);
    GLuint g = gs ? compileShader(GL_GEOMETRY_SHADER, gs) : 0;
    GLuint f = compileShader(GL_FRAGMENT_SHADER, fs);
    if (!v || !f || (gs && !g)) {
        glDeleteShader(v);
        glDeleteShader(g);
        glDeleteShader(f);
        return false;
    }
    GLuint p = glCreateProgram();
    glAttachShader(p, v);
    if (g)
        glAttachShader(p, g);
    glAttachShader(p, f);
    glLinkProgram(p);
    glDeleteShader(v);
    glDeleteShader(g);
    glDeleteShader(f);
    GLint ok = 0;
    glGetProgramiv(p, GL_LINK_STATUS, &ok);
    if (!ok) {
        char log[1024] = "";
        glGetProgramInfoLog(p, sizeof log, nullptr, log);
        sceneError("shader program does not link: %s", log);
        glDeleteProgram(p);
        return false;
    }
    info.id = p;
    info.mvp = glGetUniformLocation(p, "uMvp");
    info.viewport = glGetUniformLocation(p, "uViewport");
    info.ambient = glGetUniformLocation(p, "uAmbient");
    info.lightCount = glGetUniformLocation(p, "uLightCount");
    info.lightPos = glGetUniformLocation(p, "uLightPos");
    info.lightColour = glGetUniformLocation(p, "uLightColour");
    info.decode = glGetUniformLocation(p, "uDecode");
    info.range = glGetUniformLocation(p, "uRange");
    info.ramp = glGetUniformLocation(p, "uRamp");
    info.lutSize = glGetUniformLocation(p, "uLutSize");
    glUseProgram(p);
    GLint sampler = glGetUniformLocation(p, "uTexels");
    if (sampler < 0)
        sampler = glGetUniformLocation(p, "uGrid");
    if (sampler >= 0)
        glUniform1i(sampler, 0);
    GLint lut = glGetUniformLocation(p, "uLut");
    if (lut >= 0)
        glUniform1i(lut, 1);
    glUseProgram(0);
    return true;
}

// ---- Uploads -----------------------------------------------------------------

int brickTexels()
{
    int want = R.brickTexels > 0 ? R.brickTexels : kBrickTexels;
    return std::max(2, std::min(want, static_cast<int>(R.max3d)));
}

// A GL texture allocation that failed for want of memory ends the run:
// the picture would miss what it was asked to show.
bool glOutOfMemory(const char *what, int nx, int ny, int nz)
{
    GLenum e = glGetError();
    bool oom = e == GL_OUT_OF_MEMORY;
    while (e != GL_NO_ERROR)
        e = glGetError();
    if (oom && !R.outOfMemory) {
        sceneError("the GL has no memory for the textures of a %d x %d x %d %s", nx, ny, nz, what);
        R.outOfMemory = true;
    }
    return oom;
}

void brickParameters()
{
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MAX_LEVEL, 0);
}

// Send a grid to the GPU as bricks of single-channel texels in the
// narrowest kind that keeps its values, k fastest as the grid's own rows
// run, each brick converted straight from the rows. Bricks with no voxel
// at or above the data minimum show nothing and are not sent.
bool uploadVolume(GpuVolume &g, const Volume &v)
{
    g.bricking.release();
    g.failed = true;
    g.haveStrips = false;
    g.version = v.version;
    if (v.grid == nullptr || v.nx <= 0 || v.ny <= 0 || v.nz <= 0)
        return false;
    const float *const *const *grid = v.grid;
    // Without a kind set by a test, bytes are tried first while the bricks
    // are filled: volumes made from bytes then take one pass over the grid.
    // The first value that is not a byte's sends everything again in the
    // kind a whole scan picks.
    bool guess = R.gridKind < 0;
    g.code = guess ? GridCode{TexelKind::Byte, 0, 1} : GridCode{static_cast<TexelKind>(R.gridKind), 0, 1};
    if (g.code.kind == TexelKind::Short) {
        GridCode range = chooseGridCode(grid, v.nx, v.ny, v.nz);
        if (range.kind == TexelKind::Short)
            g.code = range;
    }
    g.bricking.layout(v.nx, v.ny, v.nz, brickTexels(), brickTexels());
    // Bricks are sent a few planes of i at a time through one small buffer.
    const int chunk = 16;
    size_t most = static_cast<size_t>(chunk) * g.bricking.axes[1].size(0) * g.bricking.axes[2].size(0);
    std::vector<uint8_t> texels;
    try {
        texels.resize(most * 4);
    } catch (const std::bad_alloc &) {
        sceneError("no memory to upload a volume of %d x %d x %d", v.nx, v.ny, v.nz);
        R.outOfMemory = true;
        return false;
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glGetError();
    // 1: a value was not a byte's; -1: the GL had no memory.
    auto send = [&]() {
        GLenum internal = GL_R32F, type = GL_FLOAT;
        if (g.code.kind == TexelKind::Byte)
            internal = GL_R8, type = GL_UNSIGNED_BYTE;
        else if (g.code.kind == TexelKind::Short)
            internal = GL_R16, type = GL_UNSIGNED_SHORT;
        bool exact = true;
        bool *check = guess && g.code.kind == TexelKind::Byte ? &exact : nullptr;
        for (GpuBrick &b : g.bricking.bricks) {
            for (int i = b.o[0]; i < b.o[0] + b.n[0]; i += chunk) {
                int o[3] = {i, b.o[1], b.o[2]}, n[3] = {std::min(chunk, b.o[0] + b.n[0] - i), b.n[1], b.n[2]};
                bool shows = fillGridBrick(grid, g.code, o, n, v.dmin, texels.data(), check);
                if (!exact)
                    return 1;
                if (!b.tex && !shows)
                    continue;
                if (!b.tex) {
                    glGenTextures(1, &b.tex);
                    glBindTexture(GL_TEXTURE_3D, b.tex);
                    // Parameters first: a texture made without mipmaps is
                    // allocated with one level only.
                    brickParameters();
                    glTexImage3D(GL_TEXTURE_3D, 0, internal, b.n[2], b.n[1], b.n[0], 0, GL_RED, type, nullptr);
                    // Planes before this one showed nothing; they are sent now.
                    for (int e = b.o[0]; e < i; e += chunk) {
                        int eo[3] = {e, b.o[1], b.o[2]}, en[3] = {std::min(chunk, i - e), b.n[1], b.n[2]};
                        std::vector<uint8_t> early(static_cast<size_t>(en[0]) * en[1] * en[2] * g.code.bytes());
                        fillGridBrick(grid, g.code, eo, en, v.dmin, early.data());
                        glTexSubImage3D(GL_TEXTURE_3D, 0, 0, 0, e - b.o[0], b.n[2], b.n[1], en[0], GL_RED, type,
                                        early.data());
                    }
                }
                glTexSubImage3D(GL_TEXTURE_3D, 0, 0, 0, i - b.o[0], b.n[2], b.n[1], n[0], GL_RED, type,
                                texels.data());
                if (glOutOfMemory("volume", v.nx, v.ny, v.nz))
                    return -1;
            }
        }
        return 0;
    };
    int sent = send();
    if (sent == 1) {
        g.bricking.release();
        g.bricking.layout(v.nx, v.ny, v.nz, brickTexels(), brickTexels());
        g.code = chooseGridCode(grid, v.nx, v.ny, v.nz);
        sent = send();
    }
    if (sent != 0) {
        g.bricking.release();
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        return false;
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    g.grid = const_cast<const float ***>(v.grid);
    g.nx = v.nx;
    g.ny = v.ny;
    g.nz = v.nz;
    g.dmin = v.dmin;
    g.dmax = v.dmax;
    g.failed = false;
    return true;
}

// Slices of one axis: per row of each slice, the first and last column
// holding a voxel at or above the threshold.
struct RowExtents {
    int rows = 0, cols = 0;
    std::vector<int> lo, hi; // [slice * rows + row]; lo > hi: empty
    void reset(int slices, int r, int c)
    {
        rows = r;
        cols = c;
        lo.assign(static_cast<size_t>(slices) * r, 1 << 30);
        hi.assign(static_cast<size_t>(slices) * r, -1);
    }
    void add(int slice, int row, int col)
    {
        size_t at = static_cast<size_t>(slice) * rows + row;
        lo[at] = std::min(lo[at], col);
        hi[at] = std::max(hi[at], col);
    }
};

// Strips of every slice of one axis. A fragment between voxel centres
// interpolates its four in-plane neighbours (slices lie on voxel planes),
// so each non-empty row is widened by one row and one column each way.
void buildStrips(const RowExtents &e, int slices, std::vector<Strip> &strips, std::vector<int> &start)
{
    strips.clear();
    start.assign(slices + 1, 0);
    std::vector<int> wlo(e.rows), whi(e.rows);
    for (int k = 0; k < slices; ++k) {
        start[k] = static_cast<int>(strips.size());
        const int *lo = &e.lo[static_cast<size_t>(k) * e.rows], *hi = &e.hi[static_cast<size_t>(k) * e.rows];
        for (int r = 0; r < e.rows; ++r) {
            wlo[r] = 1 << 30;
            whi[r] = -1;
            for (int q = std::max(0, r - 1); q <= std::min(e.rows - 1, r + 1); ++q)
                if (lo[q] <= hi[q]) {
                    wlo[r] = std::min(wlo[r], std::max(0, lo[q] - 1));
                    whi[r] = std::max(whi[r], std::min(e.cols - 1, hi[q] + 1));
                }
        }
        // Strips span the row intervals [s * kStripRows, (s + 1) * kStripRows]
        // between row centres; neighbours share their boundary row.
        for (int r0 = 0; r0 < e.rows - 1; r0 += R.stripRows) {
            int r1 = std::min(r0 + R.stripRows, e.rows - 1);
            Strip st{1 << 30, -1, 1 << 30, -1};
            for (int r = r0; r <= r1; ++r)
                if (wlo[r] <= whi[r]) {
                    st.u0 = std::min(st.u0, r);
                    st.u1 = std::max(st.u1, r);
                    st.w0 = std::min(st.w0, wlo[r]);
                    st.w1 = std::max(st.w1, whi[r]);
                }
            if (st.u0 < st.u1 && st.w0 < st.w1)
                strips.push_back(st);
        }
    }
    start[slices] = static_cast<int>(strips.size());
}

// One pass over the grid in its own order finds the strips of all three
// axes; done again only when the threshold or the grid changes.
void computeStrips(GpuVolume &g, float threshold)
{
    RowExtents e[3];
    e[0].reset(g.nx, g.ny, g.nz); // slice i: rows j, columns k
    e[1].reset(g.ny, g.nx, g.nz); // slice j: rows i, columns k
    e[2].reset(g.nz, g.nx, g.ny); // slice k: rows i, columns j
    // Each entry belongs to one i (its slice along x, its row otherwise),
    // so the two halves of the planes fill theirs on two cores.
    // Per row only its first and last shown voxel count along x and y; along
    // z each shown voxel's column j, the first of them (j ascends) and the last.
    const bool all = threshold == -INFINITY;
    auto planes = [&](int i0, int i1) {
        std::vector<int> zlo(g.nz), zhi(g.nz);
        for (int i = i0; i < i1; ++i) {
            std::fill(zlo.begin(), zlo.end(), 1 << 30);
            std::fill(zhi.begin(), zhi.end(), -1);
            for (int j = 0; j < g.ny; ++j) {
                const float *row = g.grid[i][j];
                int first = g.nz, last = -1;
                for (int k = 0; k < g.nz; ++k) {
                    bool shown = all || row[k] >= threshold;
                    if (!shown)
                        continue;
                    first = std::min(first, k);
                    last = k;
                    zlo[k] = std::min(zlo[k], j);
                    zhi[k] = j;
                }
                if (last < 0)
                    continue;
                for (int k : {first, last}) {
                    e[0].add(i, j, k);
                    e[1].add(j, i, k);
                }
            }
            for (int k = 0; k < g.nz; ++k)
                if (zhi[k] >= 0) {
                    e[2].add(k, i, zlo[k]);
                    e[2].add(k, i, zhi[k]);
                }
        }
    };
    int half = g.nx / 2;
    if (static_cast<size_t>(g.nx) * g.ny * g.nz >= (size_t(1) << 22)) {
        std::thread other(planes, half, g.nx);
        planes(0, half);
        other.join();
    } else {
        planes(0, g.nx);
    }
    buildStrips(e[0], g.nx, g.strips[0], g.stripStart[0]);
    buildStrips(e[1], g.ny, g.strips[1], g.stripStart[1]);
    buildStrips(e[2], g.nz, g.strips[2], g.stripStart[2]);
    g.threshold = threshold;
    g.stripRows = R.stripRows;
    g.haveStrips = true;
}

// Lowest value a draw can show: below the data minimum nothing shows, and
// while the opacity ramp starts at 0 its first entries show nothing
// either. Kept a little low so that rounding never hides a voxel.
float visibleThreshold(const Volume &v, int lutSize)
{
    float thr = v.dmin;
    if (v.amin > 0 || !(v.amax > v.amin) || !(v.dmax > v.dmin) || lutSize < 2)
        return thr;
    // First entry whose opacity is above zero.
    double first = std::ceil(-v.amin / (v.amax - v.amin) * (lutSize - 1) + 1e-9);
    if (first <= 0)
        return thr;
    double f = (first - 0.5) / (lutSize - 1);
    return static_cast<float>(v.dmin + f * (v.dmax - v.dmin));
}

// Renderings of one grid share its bricks: the viewer makes three slice
// sets of each volume, which differ in their opacity only.
int sameGrid(const Scene &s, int id)
{
    const Volume &v = s.volumes[id];
    for (int o = 0; o < id; ++o) {
        const Volume &w = s.volumes[o];
        if (w.grid == v.grid && w.nx == v.nx && w.ny == v.ny && w.nz == v.nz && w.dmin == v.dmin &&
            w.dmax == v.dmax && w.version == v.version)
            return o;
    }
    return id;
}

GpuVolume *gpuVolume(const Scene &s, int id)
{
    if (id < 0 || id >= static_cast<int>(s.volumes.size()))
        return nullptr;
    id = sameGrid(s, id);
    if (static_cast<int>(R.volumes.size()) <= id)
        R.volumes.resize(id + 1);
    GpuVolume &g = R.volumes[id];
    const Volume &v = s.volumes[id];
    if (g.version != v.version || g.grid != const_cast<const float ***>(v.grid) || g.nx != v.nx ||
        g.ny != v.ny || g.nz != v.nz || g.dmin != v.dmin || g.dmax != v.dmax ||
        g.bricking.texels != brickTexels())
        uploadVolume(g, v);
    return g.failed ? nullptr : &g;
}

// Whether every texel of a brick of RGBA storage is the same transparent
// one; that texel in *fill.
bool uniformTransparent(const Texture3D &t, const GpuBrick &b, uint32_t *fill)
{
    const uint8_t *base = t.texels.data();
    uint32_t first;
    std::memcpy(&first, base + 4 * (b.o[0] + static_cast<size_t>(t.nx) * (b.o[1] + static_cast<size_t>(t.ny) * b.o[2])), 4);
    if (reinterpret_cast<const uint8_t *>(&first)[3] != 0)
        return false;
    for (int k = b.o[2]; k < b.o[2] + b.n[2]; ++k)
        for (int j = b.o[1]; j < b.o[1] + b.n[1]; ++j) {
            const uint8_t *row = base + 4 * (b.o[0] + static_cast<size_t>(t.nx) * (j + static_cast<size_t>(t.ny) * k));
            for (int i = 0; i < b.n[0]; ++i)
                if (std::memcmp(row + 4 * i, &first, 4) != 0)
                    return false;
        }
    *fill = first;
    return true;
}

// Send a 3-D texture's storage to the GPU as bricks, x fastest as it is
// stored, read in place. Layer after layer of bricks along z, a few planes
// at a time; large storage gives back to the system the pages of every
// plane that no later brick needs, so the texels are not held twice.
bool uploadTexture(GpuTexture &g, Texture3D &t)
{
    g.bricking.release();
    g.failed = true;
    g.version = t.version;
    Bricking &bk = g.bricking;
    bk.layout(t.nx, t.ny, t.nz, brickTexels(), kTextureLayerTexels);
    g.fill.assign(bk.bricks.size(), 0);
    const size_t plane = 4 * static_cast<size_t>(t.nx) * t.ny;
    const bool release = texelPagesReleasable(t);
    size_t released = 0;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, t.nx);
    glPixelStorei(GL_UNPACK_IMAGE_HEIGHT, t.ny);
    glGetError();
    bool ok = true;
    for (int lz = 0; lz < bk.axes[2].count && ok; ++lz) {
        for (int ly = 0; ly < bk.axes[1].count && ok; ++ly)
            for (int lx = 0; lx < bk.axes[0].count && ok; ++lx) {
                GpuBrick &b = bk.at(lx, ly, lz);
                size_t index = &b - bk.bricks.data();
                if (uniformTransparent(t, b, &g.fill[index]))
                    continue;
                glGenTextures(1, &b.tex);
                glBindTexture(GL_TEXTURE_3D, b.tex);
                brickParameters();
                const uint8_t *src =
                    t.texels.data() + 4 * (b.o[0] + static_cast<size_t>(t.nx) * b.o[1]) + plane * b.o[2];
                glTexImage3D(GL_TEXTURE_3D, 0, GL_RGBA8, b.n[0], b.n[1], b.n[2], 0, GL_RGBA, GL_UNSIGNED_BYTE, src);
                ok = !glOutOfMemory("texture", t.nx, t.ny, t.nz);
            }
        // Planes from the next layer's first on are still needed.
        int keep = lz + 1 < bk.axes[2].count ? bk.axes[2].start(lz + 1) : t.nz;
        size_t done = plane * static_cast<size_t>(keep);
        if (release && ok && done > released) {
            releaseTexelPages(t, released, done);
            released = done;
        }
    }
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_IMAGE_HEIGHT, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    if (!ok) {
        bk.release();
        return false;
    }
    g.failed = false;
    return true;
}

GpuTexture *gpuTexture(Scene &s, int id)
{
    if (id < 0 || id >= static_cast<int>(s.textures.size()))
        return nullptr;
    Texture3D &t = s.textures[id];
    if (t.version <= 0 || t.nx <= 0 || t.ny <= 0 || t.nz <= 0 ||
        t.texels.size() < static_cast<size_t>(t.nx) * t.ny * t.nz * 4)
        return nullptr;
    if (static_cast<int>(R.textures.size()) <= id)
        R.textures.resize(id + 1);
    GpuTexture &g = R.textures[id];
    if (g.version != t.version || g.bricking.texels != brickTexels())
        uploadTexture(g, t);
    return g.failed ? nullptr : &g;
}

// The colour range lo..hi of a draw with the volume's opacity ramp, as a
// 1-D lookup texture; rebuilt only when the colours or the ramp changed.
Lut *lutFor(const Scene &s, int vol, int lo, int hi, float amin, float amax)
{
    lo = std::clamp(lo, 0, kColourTableSize - 1);
    hi = std::clamp(hi, 0, kColourTableSize - 1);
    if (hi < lo)
        std::swap(lo, hi);
    Lut &l = R.luts[{vol, lo, hi}];
    int n = hi - lo + 1;
    bool same = l.tex != 0 && l.amin == amin && l.amax == amax && static_cast<int>(l.colours.size()) == n;
    for (int i = 0; same && i < n; ++i) {
        const Rgb &a = l.colours[i], &b = s.colours[lo + i];
        same = a.r == b.r && a.g == b.g && a.b == b.b;
    }
    if (same)
        return &l;
    l.colours.assign(s.colours + lo, s.colours + hi + 1);
    l.amin = amin;
    l.amax = amax;
    std::vector<float> texels(static_cast<size_t>(n) * 4);
    for (int i = 0; i < n; ++i) {
        float f = n > 1 ? static_cast<float>(i) / (n - 1) : 1.0f;
        texels[4 * i] = l.colours[i].r;
        texels[4 * i + 1] = l.colours[i].g;
        texels[4 * i + 2] = l.colours[i].b;
        texels[4 * i + 3] = std::clamp(amin + (amax - amin) * f, 0.0f, 1.0f);
    }
    if (l.tex == 0)
        glGenTextures(1, &l.tex);
    glBindTexture(GL_TEXTURE_1D, l.tex);
    glTexImage1D(GL_TEXTURE_1D, 0, GL_RGBA32F, n, 0, GL_RGBA, GL_FLOAT, texels.data());
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_1D, GL_TEXTURE_MAX_LEVEL, 0);
    return &l;
}

// ---- Building the vertex arrays ------------------------------------------------

Vert vert(const Vec3 &p, const Rgb &c, float a = 1, float w = 1)
{
    Vert v{};
    v.p[0] = p.x;
    v.p[1] = p.y;
    v.p[2] = p.z;
    v.c[0] = c.r;
    v.c[1] = c.g;
    v.c[2] = c.b;
    v.c[3] = a;
    v.w = w;
    return v;
}

Vert vertAt(double x, double y, double z)
{
    Vert v{};
    v.p[0] = static_cast<float>(x);
    v.p[1] = static_cast<float>(y);
    v.p[2] = static_cast<float>(z);
    v.c[3] = 1;
    return v;
}

Vec3 sub(const Vec3 &a, const Vec3 &b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

void setNormal(Vert &v, const Vec3 &n)
{
    v.n[0] = n.x;
    v.n[1] = n.y;
    v.n[2] = n.z;
}

Vec3 facetNormal(const Facet &f)
{
    Vec3 a = sub(f.p[1], f.p[0]), b = sub(f.p[2], f.p[0]);
    Vec3 n{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
    float l = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
    if (l > 0)
        n = {n.x / l, n.y / l, n.z / l};
    return n;
}

void addFacet(std::vector<Vert> &out, const Facet &f, float alpha)
{
    Vec3 flat = facetNormal(f);
    for (int i = 0; i < 3; ++i) {
        Vert v = vert(f.p[i], f.colour, alpha);
        setNormal(v, f.smooth ? f.n[i] : flat);
        out.push_back(v);
    }
}

float distance(const double eye[3], float x, float y, float z)
{
    double dx = x - eye[0], dy = y - eye[1], dz = z - eye[2];
    return static_cast<float>(std::sqrt(dx * dx + dy * dy + dz * dz));
}

struct Batches {
    std::vector<Vert> tris, lines, points;
};

void addSegment(std::vector<Vert> &lines, const Vert &a, const Vert &b)
{
    lines.push_back(a);
    lines.push_back(b);
}

// The 12 edges of the box, with ticks along the axes whose options ask
// for them (T major, S minor).
void addBox(Batches &b, const BoxSpec &box, const Rgb &fg)
{
    const double *lo = box.viewport.lo, *hi = box.viewport.hi;
    auto corner = [&](int c) {
        Vert v = vertAt(c & 1 ? hi[0] : lo[0], c & 2 ? hi[1] : lo[1], c & 4 ? hi[2] : lo[2]);
        v.c[0] = fg.r;
        v.c[1] = fg.g;
        v.c[2] = fg.b;
        v.w = 1;
        return v;
    };
    static const int edges[12][2] = {{0, 1}, {2, 3}, {4, 5}, {6, 7}, {0, 2}, {1, 3},
                                     {4, 6}, {5, 7}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
    for (const auto &e : edges)
        addSegment(b.lines, corner(e[0]), corner(e[1]));
    double size = 0;
    for (int a = 0; a < 3; ++a)
        size = std::max(size, hi[a] - lo[a]);
    for (int a = 0; a < 3; ++a) {
        const std::string &opt = box.opt[a];
        bool major = opt.find_first_of("Tt") != std::string::npos;
        bool minor = opt.find_first_of("Ss") != std::string::npos;
        if (!major && !minor)
            continue;
        double w0 = box.window.lo[a], w1 = box.window.hi[a];
        double range = std::fabs(w1 - w0);
        if (!(range > 0) || !std::isfinite(range))
            continue;
        double step = box.tick[a];
        if (!(step > 0) || range / step > 200) {
            // Automatic spacing: 1, 2 or 5 times a power of ten, about five ticks.
            double raw = range / 5, p = std::pow(10.0, std::floor(std::log10(raw)));
            step = raw / p < 2 ? p : raw / p < 5 ? 2 * p : 5 * p;
        }
        int nsub = box.nsub[a] > 0 ? std::min(box.nsub[a], 20) : (minor ? 5 : 1);
        double wlo = std::min(w0, w1), whi = std::max(w0, w1);
        double substep = step / nsub;
        long first = static_cast<long>(std::ceil(wlo / substep - 1e-9));
        for (long t = first; t * substep <= whi + 1e-9 * range; ++t) {
            bool isMajor = t % nsub == 0;
            if ((isMajor && !major) || (!isMajor && !minor))
                continue;
            double f = (t * substep - w0) / (w1 - w0);
            double pos = lo[a] + f * (hi[a] - lo[a]);
            double len = size * (isMajor ? 0.03 : 0.015);
            // Ticks on the axis's four edges, pointing into the box.
            int b1 = (a + 1) % 3, b2 = (a + 2) % 3;
            for (int e = 0; e < 4; ++e) {
                double p[3];
                p[a] = pos;
                p[b1] = e & 1 ? hi[b1] : lo[b1];
                p[b2] = e & 2 ? hi[b2] : lo[b2];
                double q[3] = {p[0], p[1], p[2]};
                q[b1] += e & 1 ? -len : len;
                Vert va = vertAt(p[0], p[1], p[2]), vb = vertAt(q[0], q[1], q[2]);
                for (Vert *v : {&va, &vb}) {
                    v->c[0] = fg.r;
                    v->c[1] = fg.g;
                    v->c[2] = fg.b;
                    v->w = 1;
                }
                addSegment(b.lines, va, vb);
            }
        }
    }
}

void addOpaque(Batches &b, const PrimList &l)
{
    for (const PointSet &ps : l.points)
        for (const Vec3 &p : ps.p)
            b.points.push_back(vert(p, ps.colour, 1, 2 * ps.size));
    for (const Polyline &pl : l.lines)
        for (size_t i = 0; i + 1 < pl.p.size(); ++i)
            addSegment(b.lines, vert(pl.p[i], pl.colour, 1, pl.width),
                       vert(pl.p[i + 1], pl.colour, 1, pl.width));
    for (const ThickLine &t : l.thickLines)
        addSegment(b.lines, vert(t.a, t.ca, 1, t.width), vert(t.b, t.cb, 1, t.width));
    for (const Facet &f : l.facets)
        if (!(f.alpha < 1))
            addFacet(b.tris, f, 1);
}

void pushTransparent(Program program, int key, float dist, size_t first)
{
    int count = static_cast<int>(R.scratch.size() - first);
    if (count > 0)
        R.items.push_back({dist, program, key, static_cast<int>(first), count});
}

void addTransparentFacets(const PrimList &l, const double eye[3])
{
    for (const Facet &f : l.facets) {
        if (!(f.alpha < 1))
            continue;
        size_t first = R.scratch.size();
        addFacet(R.scratch, f, std::max(0.0f, f.alpha));
        float cx = (f.p[0].x + f.p[1].x + f.p[2].x) / 3, cy = (f.p[0].y + f.p[1].y + f.p[2].y) / 3,
              cz = (f.p[0].z + f.p[1].z + f.p[2].z) / 3;
        pushTransparent(kSurface, 0, distance(eye, cx, cy, cz), first);
    }
}

// One clipped piece of a polygon as a fan of triangles, with coordinates
// into the brick's own texture; index axis a of the source runs along
// texture axis swizzle[a].
void addPiece(const ClipVertex *v, int n, const GpuBrick &b, const int swizzle[3])
{
    Vert q[80];
    for (int e = 0; e < n; ++e) {
        q[e] = vertAt(v[e].p[0], v[e].p[1], v[e].p[2]);
        for (int a = 0; a < 3; ++a)
            q[e].t[swizzle[a]] = static_cast<float>((v[e].x[a] - b.o[a] + 0.5) / b.n[a]);
    }
    for (int e = 1; e + 1 < n; ++e) {
        R.scratch.push_back(q[0]);
        R.scratch.push_back(q[e]);
        R.scratch.push_back(q[e + 1]);
    }
}

// The bricks whose box a polygon of voxel-index coordinates touches, and
// their cut pieces, all sorted at the polygon's own distance so that a
// stack of polygons keeps its order. Outside the source the outermost
// bricks stretch on, as one clamped texture would.
template <class Bind>
void addBrickPieces(Bricking &bk, const ClipVertex *v, int n, float dist, Program program, float alpha,
                    const int swizzle[3], Bind bind)
{
    int first[3], last[3];
    for (int a = 0; a < 3; ++a) {
        double lo = v[0].x[a], hi = v[0].x[a];
        for (int e = 1; e < n; ++e) {
            lo = std::min(lo, v[e].x[a]);
            hi = std::max(hi, v[e].x[a]);
        }
        const BrickAxis &ax = bk.axes[a];
        first[a] = ax.brickOf(std::clamp(static_cast<int>(std::floor(lo)), 0, ax.n - 1));
        last[a] = ax.brickOf(std::clamp(static_cast<int>(std::ceil(hi)), 0, ax.n - 1));
        // A polygon on a shared plane belongs to the brick that draws it.
        if (hi == lo)
            first[a] = last[a] = ax.brickOf(std::clamp(static_cast<int>(std::lround(lo)), 0, ax.n - 1));
    }
    ClipVertex piece[80];
    for (int b0 = first[0]; b0 <= last[0]; ++b0)
        for (int b1 = first[1]; b1 <= last[1]; ++b1)
            for (int b2 = first[2]; b2 <= last[2]; ++b2) {
                GpuBrick &b = bk.at(b0, b1, b2);
                if (!b.tex)
                    continue;
                int idx[3] = {b0, b1, b2};
                double lo[3], hi[3];
                for (int a = 0; a < 3; ++a) {
                    const BrickAxis &ax = bk.axes[a];
                    bool flat = first[a] == last[a];
                    lo[a] = idx[a] == 0 || flat ? -INFINITY : ax.start(idx[a]);
                    hi[a] = idx[a] == ax.count - 1 || flat ? INFINITY : ax.start(idx[a]) + ax.core;
                }
                int m = clipToBox(v, n, lo, hi, piece);
                if (m < 3)
                    continue;
                size_t start = R.scratch.size();
                addPiece(piece, m, b, swizzle);
                for (size_t i = start; i < R.scratch.size(); ++i)
                    R.scratch[i].c[3] = alpha;
                pushTransparent(program, bind(b), dist, start);
            }
}

void addTexPolys(Scene &s, const PrimList &l, const double eye[3])
{
    static const int straight[3] = {0, 1, 2};
    for (const TexPoly &tp : l.texPolys) {
        if (tp.v.size() < 3 || tp.t.size() < tp.v.size())
            continue;
        GpuTexture *g = gpuTexture(s, tp.tex);
        if (g == nullptr)
            continue;
        const Texture3D &t = s.textures[tp.tex];
        float cx = 0, cy = 0, cz = 0;
        ClipVertex v[64];
        int n = static_cast<int>(std::min<size_t>(tp.v.size(), 64));
        for (int e = 0; e < n; ++e) {
            const Vec3 &p = tp.v[e], &c = tp.t[e];
            cx += p.x;
            cy += p.y;
            cz += p.z;
            // Coordinate 0 is the first texel's centre and 1 the last's.
            v[e] = ClipVertex{{c.x * (t.nx - 1.0), c.y * (t.ny - 1.0), c.z * (t.nz - 1.0)}, {p.x, p.y, p.z}};
        }
        float dist = distance(eye, cx / n, cy / n, cz / n);
        addBrickPieces(g->bricking, v, n, dist, kTex, std::clamp(tp.alpha, 0.0f, 1.0f), straight,
                       [](const GpuBrick &b) { return static_cast<int>(b.tex); });
    }
}

// Point of the volume at fractional voxel indices, in scene coordinates.
void indexToScene(const double tr[12], double i, double j, double k, double out[3])
{
    out[0] = tr[0] + tr[1] * i + tr[2] * j + tr[3] * k;
    out[1] = tr[4] + tr[5] * i + tr[6] * j + tr[7] * k;
    out[2] = tr[8] + tr[9] * i + tr[10] * j + tr[11] * k;
}

void clampRange(int &a, int &b, int n)
{
    if (b < a) {
        a = 0;
        b = n - 1;
    }
    a = std::clamp(a, 0, n - 1);
    b = std::clamp(b, 0, n - 1);
}

// The slices of one slice set: slice k lies at voxel index k along the
// set's axis; each covers the part of its plane that can show anything.
void addVolumeDraw(const Scene &s, const Camera &cam, const VolumeDraw &d)
{
    if (d.vol < 0 || d.vol >= static_cast<int>(s.volumes.size()) || d.axis < 1 || d.axis > 3)
        return;
    const Volume &v = s.volumes[d.vol];
    if (!sliceSetShown(cam, v, d))
        return;
    if (!(v.amax > 0) && !(v.amin > 0))
        return;
    GpuVolume *g = gpuVolume(s, d.vol);
    if (g == nullptr)
        return;
    Lut *lut = lutFor(s, d.vol, d.lo, d.hi, v.amin, v.amax);
    int lutSize = static_cast<int>(lut->colours.size());
    // One binding per brick this draw uses, made when first needed.
    R.brickBinding.assign(g->bricking.bricks.size(), -1);
    float scale = v.dmax > v.dmin ? 1.0f / (v.dmax - v.dmin) : 1.0f;
    VolumeBinding proto{0, lut->tex, v.dmax > v.dmin, lutSize, g->code.lo, g->code.hi - g->code.lo, v.dmin, scale};
    const GpuBrick *firstBrick = g->bricking.bricks.data();
    auto bind = [&](const GpuBrick &b) {
        int &key = R.brickBinding[&b - firstBrick];
        if (key < 0) {
            key = static_cast<int>(R.bindings.size());
            R.bindings.push_back(proto);
            R.bindings.back().grid = b.tex;
        }
        return key;
    };
    static const int swizzle[3] = {2, 1, 0}; // bricks hold k fastest, i slowest

    int n[3] = {v.nx, v.ny, v.nz};
    int lo[3] = {v.i1, v.j1, v.k1}, hi[3] = {v.i2, v.j2, v.k2};
    for (int a = 0; a < 3; ++a)
        clampRange(lo[a], hi[a], n[a]);
    // Untrimmed: every voxel counts as showing, so each slice is one strip
    // over its whole plane.
    float thr = R.trimSlices ? visibleThreshold(v, lutSize) : -INFINITY;
    if (!g->haveStrips || !(g->threshold == thr) || g->stripRows != R.stripRows)
        computeStrips(*g, thr);
    int a = d.axis - 1, b1 = a == 0 ? 1 : 0, b2 = a == 2 ? 1 : 2;
    for (int k = lo[a]; k <= hi[a]; ++k) {
        int s0 = g->stripStart[a][k], s1 = g->stripStart[a][k + 1];
        if (s0 == s1)
            continue;
        // Sorted by the centre of the whole slice so that the slices of a
        // set keep their order whatever their strips.
        double idx[3], centre[3];
        idx[a] = k;
        idx[b1] = 0.5 * (lo[b1] + hi[b1]);
        idx[b2] = 0.5 * (lo[b2] + hi[b2]);
        indexToScene(v.tr, idx[0], idx[1], idx[2], centre);
        float dist = distance(cam.eye, static_cast<float>(centre[0]), static_cast<float>(centre[1]),
                              static_cast<float>(centre[2]));
        R.slice.clear();
        for (int si = s0; si < s1; ++si) {
            const Strip &st = g->strips[a][si];
            Strip c{std::max(st.u0, lo[b1]), std::min(st.u1, hi[b1]), std::max(st.w0, lo[b2]),
                    std::min(st.w1, hi[b2])};
            if (c.u0 < c.u1 && c.w0 < c.w1)
                R.slice.push_back(c);
        }
        for (size_t si = 0; si < R.slice.size(); ++si) {
            const Strip &c = R.slice[si];
            // Where a neighbouring strip shares this one's row boundary,
            // its corners are put on that edge too, so that both sides
            // meet vertex to vertex and no pixel is blended twice or missed.
            int bottom[2], top[2], nb = 0, nt = 0;
            if (si > 0 && R.slice[si - 1].u1 == c.u0)
                for (int w : {R.slice[si - 1].w0, R.slice[si - 1].w1})
                    if (w > c.w0 && w < c.w1)
                        bottom[nb++] = w;
            if (si + 1 < R.slice.size() && R.slice[si + 1].u0 == c.u1)
                for (int w : {R.slice[si + 1].w1, R.slice[si + 1].w0})
                    if (w > c.w0 && w < c.w1)
                        top[nt++] = w;
            // The outline, anticlockwise in (u, w).
            int uu[8], ww[8], m = 0;
            uu[m] = c.u0, ww[m++] = c.w0;
            for (int i = 0; i < nb; ++i)
                uu[m] = c.u0, ww[m++] = bottom[i];
            uu[m] = c.u0, ww[m++] = c.w1;
            uu[m] = c.u1, ww[m++] = c.w1;
            for (int i = 0; i < nt; ++i)
                uu[m] = c.u1, ww[m++] = top[i];
            uu[m] = c.u1, ww[m++] = c.w0;
            ClipVertex q[8];
            for (int e = 0; e < m; ++e) {
                q[e].x[a] = k;
                q[e].x[b1] = uu[e];
                q[e].x[b2] = ww[e];
                indexToScene(v.tr, q[e].x[0], q[e].x[1], q[e].x[2], q[e].p);
            }
            addBrickPieces(g->bricking, q, m, dist, kVolume, 1.0f, swizzle, bind);
        }
    }
}

// ---- Drawing ----------------------------------------------------------------------

void setLights(const ProgramInfo &p, const Scene &s, const Camera &cam)
{
    const Lighting &L = s.lighting;
    glUniform3f(p.ambient, L.ambient.r, L.ambient.g, L.ambient.b);
    float pos[8 * 3], col[8 * 3];
    int n = 0;
    if (L.lights.empty()) {
        // No lights set: one white light at the eye.
        for (int i = 0; i < 3; ++i) {
            pos[i] = static_cast<float>(cam.eye[i]);
            col[i] = 1;
        }
        n = 1;
    } else {
        for (const Light &l : L.lights) {
            if (n == 8)
                break;
            pos[3 * n] = l.pos.x;
            pos[3 * n + 1] = l.pos.y;
            pos[3 * n + 2] = l.pos.z;
            col[3 * n] = l.colour.r;
            col[3 * n + 1] = l.colour.g;
            col[3 * n + 2] = l.colour.b;
            ++n;
        }
    }
    glUniform1i(p.lightCount, n);
    glUniform3fv(p.lightPos, n, pos);
    glUniform3fv(p.lightColour, n, col);
}

void useProgram(Program which, const Mat4 &mvp, int vw, int vh)
{
    const ProgramInfo &p = R.programs[which];
    glUseProgram(p.id);
    glUniformMatrix4fv(p.mvp, 1, GL_FALSE, mvp.m);
    if (p.viewport >= 0)
        glUniform2f(p.viewport, static_cast<float>(vw), static_cast<float>(vh));
}

void uploadVerts()
{
    size_t bytes = R.verts.size() * sizeof(Vert);
    glBindBuffer(GL_ARRAY_BUFFER, R.vbo);
    if (bytes > R.vboBytes) {
        R.vboBytes = std::max(bytes, R.vboBytes * 2);
        glBufferData(GL_ARRAY_BUFFER, R.vboBytes, nullptr, GL_STREAM_DRAW);
    } else {
        // Orphan the old store so the driver need not wait for last frame's draws.
        glBufferData(GL_ARRAY_BUFFER, R.vboBytes, nullptr, GL_STREAM_DRAW);
    }
    if (bytes > 0)
        glBufferSubData(GL_ARRAY_BUFFER, 0, bytes, R.verts.data());
}

void drawPanel(Scene &s, int index, int width, int height)
{
    const Panel &panel = s.panels[index];
    double fx1 = std::min(panel.fx1, panel.fx2), fx2 = std::max(panel.fx1, panel.fx2);
    double fy1 = std::min(panel.fy1, panel.fy2), fy2 = std::max(panel.fy1, panel.fy2);
    int x0 = static_cast<int>(std::lround(std::clamp(fx1, 0.0, 1.0) * width));
    int x1 = static_cast<int>(std::lround(std::clamp(fx2, 0.0, 1.0) * width));
    int y0 = static_cast<int>(std::lround(std::clamp(fy1, 0.0, 1.0) * height));
    int y1 = static_cast<int>(std::lround(std::clamp(fy2, 0.0, 1.0) * height));
    int vw = x1 - x0, vh = y1 - y0;
    if (vw <= 0 || vh <= 0)
        return;
    glViewport(x0, y0, vw, vh);
    glScissor(x0, y0, vw, vh);
    glClearColor(s.background.r, s.background.g, s.background.b, 1);
    glDepthMask(GL_TRUE);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    const Camera &cam = panelCamera(s, index);
    // Near and far planes around the panel's viewport box, with room for
    // what lies a little outside it.
    double c[3], r = 0;
    for (int a = 0; a < 3; ++a) {
        c[a] = 0.5 * (panel.viewport.lo[a] + panel.viewport.hi[a]);
        double h = 0.5 * (panel.viewport.hi[a] - panel.viewport.lo[a]);
        r += h * h;
    }
    r = std::max(std::sqrt(r), 1e-6);
    double dx = cam.eye[0] - c[0], dy = cam.eye[1] - c[1], dz = cam.eye[2] - c[2];
    double dist = std::sqrt(dx * dx + dy * dy + dz * dz);
    double zf = dist + 4 * r, zn = std::max(dist - 4 * r, zf * 1e-4);
    Mat4 mvp = multiply(perspective(cam.fovy, static_cast<double>(vw) / vh, zn, zf), lookAt(cam));

    Batches b;
    b.tris.swap(R.verts); // reuse capacity
    b.tris.clear();
    if (panel.box.enabled)
        addBox(b, panel.box, s.foreground);
    addOpaque(b, panel.staticList);
    addOpaque(b, panel.frameList);

    R.scratch.clear();
    R.items.clear();
    R.bindings.clear();
    for (const PrimList *l : {&panel.staticList, &panel.frameList}) {
        addTransparentFacets(*l, cam.eye);
        addTexPolys(s, *l, cam.eye);
        for (const VolumeDraw &d : l->volumes)
            addVolumeDraw(s, cam, d);
    }
    std::stable_sort(R.items.begin(), R.items.end(),
                     [](const Transparent &a, const Transparent &b) { return a.dist > b.dist; });

    // One vertex array: triangles, lines, points, then the sorted
    // transparent vertices in runs of equal program and texture.
    std::vector<Vert> &all = b.tris;
    size_t triCount = all.size();
    size_t lineFirst = all.size();
    all.insert(all.end(), b.lines.begin(), b.lines.end());
    size_t pointFirst = all.size();
    all.insert(all.end(), b.points.begin(), b.points.end());
    size_t transFirst = all.size();
    R.runs.clear();
    for (const Transparent &t : R.items) {
        int first = static_cast<int>(all.size());
        all.insert(all.end(), R.scratch.begin() + t.first, R.scratch.begin() + t.first + t.count);
        if (!R.runs.empty() && R.runs.back().program == t.program && R.runs.back().key == t.key)
            R.runs.back().count += t.count;
        else
            R.runs.push_back({t.program, t.key, first, t.count});
    }
    (void)transFirst;
    R.verts.swap(all);
    uploadVerts();
    glBindVertexArray(R.vao);

    bool outlines = s.renderMode == 0;
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glDisable(GL_BLEND);
    if (triCount > 0) {
        useProgram(kSurface, mvp, vw, vh);
        setLights(R.programs[kSurface], s, cam);
        glPolygonMode(GL_FRONT_AND_BACK, outlines ? GL_LINE : GL_FILL);
        glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(triCount));
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    }
    if (pointFirst > lineFirst) {
        useProgram(kLine, mvp, vw, vh);
        glDrawArrays(GL_LINES, static_cast<GLint>(lineFirst), static_cast<GLsizei>(pointFirst - lineFirst));
    }
    if (transFirst > pointFirst) {
        useProgram(kPoint, mvp, vw, vh);
        glDrawArrays(GL_POINTS, static_cast<GLint>(pointFirst),
                     static_cast<GLsizei>(transFirst - pointFirst));
    }

    if (!R.runs.empty()) {
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glDepthMask(GL_FALSE);
        glPolygonMode(GL_FRONT_AND_BACK, outlines ? GL_LINE : GL_FILL);
        int current = -1;
        bool multisample = true;
        for (const Run &run : R.runs) {
            if (run.program != current) {
                useProgram(run.program, mvp, vw, vh);
                if (run.program == kSurface)
                    setLights(R.programs[kSurface], s, cam);
                current = run.program;
            }
            const ProgramInfo &p = R.programs[run.program];
            if (run.program == kTex) {
                glActiveTexture(GL_TEXTURE0);
                glBindTexture(GL_TEXTURE_3D, static_cast<GLuint>(run.key));
            } else if (run.program == kVolume) {
                const VolumeBinding &vb = R.bindings[run.key];
                glActiveTexture(GL_TEXTURE0);
                glBindTexture(GL_TEXTURE_3D, vb.grid);
                glActiveTexture(GL_TEXTURE1);
                glBindTexture(GL_TEXTURE_1D, vb.lut);
                glActiveTexture(GL_TEXTURE0);
                glUniform1i(p.ramp, vb.ramp ? 1 : 0);
                glUniform1i(p.lutSize, vb.lutSize);
                glUniform2f(p.decode, vb.lo, vb.span);
                glUniform2f(p.range, vb.dmin, vb.scale);
            }
            // Slices and textured polygons show no edges worth smoothing
            // (they come in stacks whose rims are transparent or covered by
            // their neighbours), and blending them into every sample costs.
            // The state changes only between kinds of runs: a volume cut
            // into bricks draws many runs in a row.
            bool smooth = !(run.program == kVolume || run.program == kTex);
            if (smooth != multisample) {
                (smooth ? glEnable : glDisable)(GL_MULTISAMPLE);
                multisample = smooth;
            }
            glDrawArrays(GL_TRIANGLES, run.first, run.count);
        }
        glEnable(GL_MULTISAMPLE);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        glDepthMask(GL_TRUE);
        glDisable(GL_BLEND);
    }
    glBindVertexArray(0);
}

} // namespace

bool renderInit()
{
    if (R.ready)
        return true;
    bool ok = linkProgram(R.programs[kSurface], kSurfaceVs, nullptr, kSurfaceFs) &&
              linkProgram(R.programs[kLine], kLineVs, kLineGs, kColourFs) &&
              linkProgram(R.programs[kPoint], kPointVs, nullptr, kPointFs) &&
              linkProgram(R.programs[kTex], kTexVs, nullptr, kTexFs) &&
              linkProgram(R.programs[kVolume], kTexVs, nullptr, kVolumeFs);
    if (!ok) {
        renderShutdown();
        return false;
    }
    glGenVertexArrays(1, &R.vao);
    glGenBuffers(1, &R.vbo);
    glBindVertexArray(R.vao);
    glBindBuffer(GL_ARRAY_BUFFER, R.vbo);
    const GLsizei stride = sizeof(Vert);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void *>(offsetof(Vert, p)));
    glVertexAttribPointer(1, 4, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void *>(offsetof(Vert, c)));
    glVertexAttribPointer(2, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void *>(offsetof(Vert, n)));
    glVertexAttribPointer(3, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void *>(offsetof(Vert, t)));
    glVertexAttribPointer(4, 1, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void *>(offsetof(Vert, w)));
    for (GLuint i = 0; i < 5; ++i)
        glEnableVertexAttribArray(i);
    glBindVertexArray(0);
    glGetIntegerv(GL_MAX_3D_TEXTURE_SIZE, &R.max3d);
    glEnable(GL_PROGRAM_POINT_SIZE);
    R.ready = true;
    return true;
}

void renderFrame(Scene &s, int width, int height)
{
    if (!R.ready || width <= 0 || height <= 0)
        return;
    R.outOfMemory = false;
    glEnable(GL_SCISSOR_TEST);
    glEnable(GL_MULTISAMPLE);
    glDisable(GL_CULL_FACE);
    // Outside every panel the window shows the background.
    glScissor(0, 0, width, height);
    glViewport(0, 0, width, height);
    glClearColor(s.background.r, s.background.g, s.background.b, 1);
    glDepthMask(GL_TRUE);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    // Vertex arrays and slice strips grow with the volumes; memory refused
    // for them ends the run like memory the GL refuses.
    try {
        for (size_t i = 0; i < s.panels.size(); ++i)
            if (s.panels[i].visible)
                drawPanel(s, static_cast<int>(i), width, height);
    } catch (const std::bad_alloc &) {
        sceneError("no memory to draw the frame");
        R.outOfMemory = true;
    }
    glDisable(GL_SCISSOR_TEST);
    if (R.outOfMemory)
        s.drawFailed = true;
}

void renderSetSliceTrimming(bool on, int stripRows)
{
    R.trimSlices = on;
    R.stripRows = stripRows > 0 ? stripRows : kStripRows;
}

int renderSentBricks(int volume)
{
    if (volume < 0 || volume >= static_cast<int>(scene().volumes.size()))
        return 0;
    volume = sameGrid(scene(), volume);
    if (volume >= static_cast<int>(R.volumes.size()))
        return 0;
    int n = 0;
    for (const GpuBrick &b : R.volumes[volume].bricking.bricks)
        n += b.tex != 0;
    return n;
}

bool renderRestoreTexels(int id, Texture3D &t)
{
    if (!R.ready || id < 0 || id >= static_cast<int>(R.textures.size()))
        return false;
    GpuTexture &g = R.textures[id];
    if (g.failed || g.bricking.bricks.empty())
        return false;
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, t.nx);
    glPixelStorei(GL_PACK_IMAGE_HEIGHT, t.ny);
    for (size_t i = 0; i < g.bricking.bricks.size(); ++i) {
        const GpuBrick &b = g.bricking.bricks[i];
        uint8_t *dst = t.texels.data() +
                       4 * (b.o[0] + static_cast<size_t>(t.nx) * (b.o[1] + static_cast<size_t>(t.ny) * b.o[2]));
        if (b.tex) {
            glBindTexture(GL_TEXTURE_3D, b.tex);
            glGetTexImage(GL_TEXTURE_3D, 0, GL_RGBA, GL_UNSIGNED_BYTE, dst);
            continue;
        }
        for (int k = 0; k < b.n[2]; ++k)
            for (int j = 0; j < b.n[1]; ++j) {
                uint8_t *row = dst + 4 * static_cast<size_t>(t.nx) * (j + static_cast<size_t>(t.ny) * k);
                for (int x = 0; x < b.n[0]; ++x)
                    std::memcpy(row + 4 * x, &g.fill[i], 4);
            }
    }
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_IMAGE_HEIGHT, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    t.released = false;
    return true;
}

void renderShutdown()
{
    bool trim = R.trimSlices;
    int rows = R.stripRows, texels = R.brickTexels, kind = R.gridKind;
    for (auto &p : R.programs)
        if (p.id)
            glDeleteProgram(p.id);
    for (auto &v : R.volumes)
        v.bricking.release();
    for (auto &t : R.textures)
        t.bricking.release();
    for (auto &l : R.luts)
        if (l.second.tex)
            glDeleteTextures(1, &l.second.tex);
    if (R.vbo)
        glDeleteBuffers(1, &R.vbo);
    if (R.vao)
        glDeleteVertexArrays(1, &R.vao);
    R = Renderer();
    R.trimSlices = trim;
    R.stripRows = rows;
    R.brickTexels = texels;
    R.gridKind = kind;
}

void renderSetBricks(int texels, int gridKind)
{
    R.brickTexels = texels > 0 ? texels : 0;
    R.gridKind = gridKind >= 0 && gridKind <= 2 ? gridKind : -1;
}

} // namespace vq
