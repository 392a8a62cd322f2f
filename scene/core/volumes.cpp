// Volume renderings (slice sets over a program-owned grid) and 3-D textures.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "model.h"
#include "panels.h"

using namespace vq;

namespace {

// Texture storage larger than this is refused rather than attempted
// (4096 x 4096 x 256 texels); below it only memory limits textures.
const double kMaxTextureBytes = 17179869184.0;

// Clamp an index range into 0..n-1; false if nothing is left of it.
bool clampRange(const char *axis, int n, int *lo, int *hi)
{
    int a = *lo < 0 ? 0 : *lo, b = *hi > n - 1 ? n - 1 : *hi;
    if (a > b) {
        sceneError("nvqcvr: %s range %d..%d is empty within 0..%d", axis, *lo, *hi, n - 1);
        return false;
    }
    if (a != *lo || b != *hi)
        sceneError("nvqcvr: %s range %d..%d clamped to %d..%d", axis, *lo, *hi, a, b);
    *lo = a;
    *hi = b;
    return true;
}

// Whether id names a volume rendering; if not, the call's one line.
bool volumeNamed(const Scene &s, const char *call, int id)
{
    if (id >= 0 && id < static_cast<int>(s.volumes.size()))
        return true;
    sceneError("%s: no volume rendering %d", call, id);
    return false;
}

// Whether id names a 3-d texture; if not, the call's one line.
bool textureNamed(const Scene &s, const char *call, int id)
{
    if (id >= 0 && id < static_cast<int>(s.textures.size()))
        return true;
    sceneError("%s: no 3-d texture %d", call, id);
    return false;
}

} // namespace

namespace vq {

bool sliceSetShown(const Camera &c, const Volume &v, const VolumeDraw &d)
{
    if (d.prc != 0)
        return true;
    double view[3], m = 0;
    for (int a = 0; a < 3; a++) {
        view[a] = c.target[a] - c.eye[a];
        m += view[a] * view[a];
    }
    m = std::sqrt(m);
    if (!(m > 0))
        return d.axis == 1;
    // The index axis whose scene direction lies closest to the view wins;
    // of equal ones the lowest axis.
    int best = 1;
    double bestScore = -1;
    for (int axis = 1; axis <= 3; axis++) {
        double dir[3] = {v.tr[axis], v.tr[4 + axis], v.tr[8 + axis]};
        double len = std::sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2]);
        double score =
            len > 0 ? std::fabs(dir[0] * view[0] + dir[1] * view[1] + dir[2] * view[2]) / (len * m) : 0;
        if (score > bestScore + 1e-12) {
            bestScore = score;
            best = axis;
        }
    }
    return d.axis == best;
}

int sliceCount(const Volume &v, int axis)
{
    switch (axis) {
    case 1:
        return v.i2 - v.i1 + 1;
    case 2:
        return v.j2 - v.j1 + 1;
    case 3:
        return v.k2 - v.k1 + 1;
    default:
        return 0;
    }
}

} // namespace vq

extern "C" {

int nvqcvr(float ***grid, int nx, int ny, int nz, int i1, int i2, int j1, int j2, int k1, int k2,
           const float *tr, char mode, float dmin, float dmax, float amin, float amax)
{
    if (!grid) {
        sceneError("nvqcvr: no voxel grid");
        return -1;
    }
    if (nx < 1 || ny < 1 || nz < 1) {
        sceneError("nvqcvr: grid dimensions %d x %d x %d must be positive", nx, ny, nz);
        return -1;
    }
    if (!tr) {
        sceneError("nvqcvr: no index-to-world transform");
        return -1;
    }
    for (int i = 0; i < 12; i++)
        if (!std::isfinite(tr[i])) {
            sceneError("nvqcvr: transform entry %d is not finite", i);
            return -1;
        }
    if (!std::isfinite(dmin) || !std::isfinite(dmax) || !std::isfinite(amin) || !std::isfinite(amax)) {
        sceneError("nvqcvr: data and opacity ranges must be finite");
        return -1;
    }
    if (!clampRange("i", nx, &i1, &i2) || !clampRange("j", ny, &j1, &j2) || !clampRange("k", nz, &k1, &k2))
        return -1;
    // The grid is read for as long as the display runs; a missing row now
    // would crash the renderer later.
    for (int i = 0; i < nx; i++) {
        if (!grid[i]) {
            sceneError("nvqcvr: grid plane %d is missing", i);
            return -1;
        }
        for (int j = 0; j < ny; j++)
            if (!grid[i][j]) {
                sceneError("nvqcvr: grid row %d,%d is missing", i, j);
                return -1;
            }
    }
    Scene &s = scene();
    const Panel &p = currentPanel(s);
    Volume v;
    v.grid = grid;
    v.nx = nx, v.ny = ny, v.nz = nz;
    v.i1 = i1, v.i2 = i2, v.j1 = j1, v.j2 = j2, v.k1 = k1, v.k2 = k2;
    for (int a = 0; a < 3; a++) {
        double sc = mapScale(p, a);
        v.tr[4 * a] = mapCoord(p, a, tr[4 * a]);
        for (int c = 1; c < 4; c++)
            v.tr[4 * a + c] = tr[4 * a + c] * sc;
    }
    for (int i = 0; i < 12; i++)
        v.worldTr[i] = tr[i];
    v.mode = mode;
    v.dmin = dmin, v.dmax = dmax, v.amin = amin, v.amax = amax;
    s.volumes.push_back(v);
    return static_cast<int>(s.volumes.size()) - 1;
}

void dvqdvrx(int id, int glow, int axis, int prc, float glowperiod)
{
    Scene &s = scene();
    if (!volumeNamed(s, "dvqdvrx", id))
        return;
    if (axis < 1 || axis > 3) {
        sceneError("dvqdvrx: axis %d is not 1, 2 or 3", axis);
        return;
    }
    Panel &p = currentPanel(s);
    VolumeDraw d;
    d.vol = id;
    d.axis = axis;
    d.lo = s.ciLo;
    d.hi = s.ciHi;
    d.glow = glow;
    d.prc = prc;
    d.glowPeriod = std::isfinite(glowperiod) ? glowperiod : 0;
    d.name = s.currentName;
    (s.inFrame ? p.frameList : p.staticList).volumes.push_back(d);
}

int svqc3dt(int nx, int ny, int nz)
{
    if (nx < 1 || ny < 1 || nz < 1) {
        sceneError("svqc3dt: texture dimensions %d x %d x %d must be positive", nx, ny, nz);
        return -1;
    }
    double bytes = 4.0 * nx * ny * nz;
    if (bytes > kMaxTextureBytes) {
        sceneError("svqc3dt: texture of %d x %d x %d texels is larger than 16 GiB", nx, ny, nz);
        return -1;
    }
    Scene &s = scene();
    Texture3D t;
    t.nx = nx, t.ny = ny, t.nz = nz;
    try {
        t.texels.resize(static_cast<size_t>(bytes));  // zero, from the allocator
        s.textures.push_back(std::move(t));
    } catch (const std::bad_alloc &) {
        sceneError("svqc3dt: out of memory for a %d x %d x %d texture", nx, ny, nz);
        return -1;
    }
    return static_cast<int>(s.textures.size()) - 1;
}

unsigned char *svqg3dt(int id, int *w, int *h, int *d)
{
    Scene &s = scene();
    if (id < 0 || id >= static_cast<int>(s.textures.size())) {
        sceneError("svqg3dt: no 3-d texture %d", id);
        if (w)
            *w = 0;
        if (h)
            *h = 0;
        if (d)
            *d = 0;
        return nullptr;
    }
    Texture3D &t = s.textures[id];
    if (!holdTexels(s, id)) {
        sceneError("svqg3dt: the texels of 3-d texture %d are gone with the GL that held them", id);
        if (w)
            *w = 0;
        if (h)
            *h = 0;
        if (d)
            *d = 0;
        return nullptr;
    }
    if (w)
        *w = t.nx;
    if (h)
        *h = t.ny;
    if (d)
        *d = t.nz;
    return t.texels.data();
}

void svqpt(int id)
{
    Scene &s = scene();
    if (!textureNamed(s, "svqpt", id))
        return;
    s.textures[id].version++;
}

void svqvr(int id, float dmin, float dmax, float amin, float amax)
{
    Scene &s = scene();
    if (!volumeNamed(s, "svqvr", id))
        return;
    if (!std::isfinite(dmin) || !std::isfinite(dmax) || !std::isfinite(amin) || !std::isfinite(amax)) {
        sceneError("svqvr: data and opacity ranges must be finite");
        return;
    }
    Volume &v = s.volumes[id];
    v.dmin = dmin, v.dmax = dmax, v.amin = amin, v.amax = amax;
}

void svqvbm(int id, int mode)
{
    Scene &s = scene();
    if (!volumeNamed(s, "svqvbm", id))
        return;
    if (mode < kBlendComposite || mode > kBlendMean) {
        sceneError("svqvbm: blend mode %d is not 0 to 3", mode);
        return;
    }
    s.volumes[id].blend = mode;
}

void svqvsh(int id, int on)
{
    Scene &s = scene();
    if (!volumeNamed(s, "svqvsh", id))
        return;
    s.volumes[id].shade = on != 0;
}

void svqvlab(int id, int on)
{
    Scene &s = scene();
    if (!volumeNamed(s, "svqvlab", id))
        return;
    s.volumes[id].labels = on != 0;
}

void svqtsh(int id, int on)
{
    Scene &s = scene();
    if (!textureNamed(s, "svqtsh", id))
        return;
    s.textures[id].shade = on != 0;
}

void svqtbm(int id, int mode)
{
    Scene &s = scene();
    if (!textureNamed(s, "svqtbm", id))
        return;
    if (mode < kBlendComposite || mode > kBlendMean) {
        sceneError("svqtbm: blend mode %d is not 0 to 3", mode);
        return;
    }
    s.textures[id].blend = mode;
}

void svqtvr(int id, int vol, int lo, int hi)
{
    Scene &s = scene();
    if (!textureNamed(s, "svqtvr", id))
        return;
    Texture3D &t = s.textures[id];
    if (vol < 0) {
        t.values = -1;
        return;
    }
    if (!volumeNamed(s, "svqtvr", vol))
        return;
    const Volume &v = s.volumes[vol];
    if (v.nx != t.nx || v.ny != t.ny || v.nz != t.nz) {
        sceneError("svqtvr: volume rendering %d is %dx%dx%d, texture %d %dx%dx%d", vol, v.nx, v.ny, v.nz, id,
                   t.nx, t.ny, t.nz);
        return;
    }
    if (lo < 0 || hi < lo || hi >= kColourTableSize) {
        sceneError("svqtvr: colour indices %d..%d are not within 0..%d", lo, hi, kColourTableSize - 1);
        return;
    }
    t.values = vol;
    t.valueLo = lo;
    t.valueHi = hi;
}

} // extern "C"
