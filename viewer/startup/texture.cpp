// The 3-D texture of a volume: RGBA texels through the volume's colour block.
#include <sys/mman.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "crosshair.h"
#include "pages.h"
#include "startup.h"
#include "two_cores.h"
#include "vqscene.h"
#include "xrw.h"

namespace {

// Opacity byte for ramp position f; values outside the byte range are clamped.
unsigned char opacityByte(double amin, double amax, float f)
{
    double a = 255.0 * (amin + (amax - amin) * f);
    if (!(a > 0))
        return 0;
    if (a >= 255)
        return 255;
    return static_cast<unsigned char>(a);
}

// Integer part of 255 times a colour component, kept within the byte range.
unsigned char colourByte(float c)
{
    double x = 255.0 * c;
    if (!(x > 0))
        return 0;
    if (x >= 255)
        return 255;
    return static_cast<unsigned char>(x);
}

// Copies n texels of a tile out; a whole aligned line goes around the cache,
// since nothing reads it again during the pass.
inline void writeTexels(unsigned char *out, const unsigned char *src, int n)
{
#if defined(__SSE2__)
    if (n == 16 && (reinterpret_cast<uintptr_t>(out) & 15) == 0) {
        const __m128i *s = reinterpret_cast<const __m128i *>(src);
        __m128i *d = reinterpret_cast<__m128i *>(out);
        _mm_stream_si128(d, _mm_loadu_si128(s));
        _mm_stream_si128(d + 1, _mm_loadu_si128(s + 1));
        _mm_stream_si128(d + 2, _mm_loadu_si128(s + 2));
        _mm_stream_si128(d + 3, _mm_loadu_si128(s + 3));
        return;
    }
#endif
    std::memcpy(out, src, 4 * static_cast<size_t>(n));
}

} // namespace

// Gives the float voxels' pages back to the system once the texture no
// longer needs them (they read as zero afterwards); only for a volume whose
// rows lie end to end in one block. Every row is checked: rows allocated one
// by one can put the last row just where the block's would be, and the
// pages between them then hold other allocations.
void dropFloatVoxels(const Xvol *xvol)
{
    // Slice views keep drawing them, and where keys come the texture is
    // drawn from them once the look changes.
    if (crosshair.ortho || vqqin())
        return;
    size_t rows = static_cast<size_t>(xvol->nx) * xvol->ny, nz = xvol->nz;
    const float *first = xvol->data[0][0];
    for (int i = 0; i < xvol->nx; i++)
        for (int j = 0; j < xvol->ny; j++)
            if (xvol->data[i][j] != first + (static_cast<size_t>(i) * xvol->ny + j) * nz)
                return;
    givePagesBack(first, 0, rows * nz * sizeof(float));
}

void dropByteVoxels(Xraw *xraw)
{
    // The crosshair's readout may read them, or a changed look fill the
    // float voxels from them.
    if (readoutNeedsBytes(xraw))
        return;
    for (int v = 0; v < MAX_VOLUMES; v++)
        if (xraw && settings.xraws[v] == xraw && settings.volume[v].floatsAwaitBytes)
            return;
    size_t bytes = xraw && xraw->data ? static_cast<size_t>(xraw->nx) * xraw->ny * xraw->nz : 0;
    if (bytes < (size_t(1) << 20))
        return;
    givePagesBack(xraw->data, 0, bytes);
}

bool texelsFromBytes(int v, const Xraw *xraw)
{
    const int *stride = settings.volume[v].stride;
    return xraw && xraw->data && stride[0] == 1 && stride[1] == 1 && stride[2] == 1 && !settings.clipData &&
           settings.boundaryPlanes <= 0;
}

namespace {

// How a voxel value becomes a texel: the data range onto the colour block,
// the opacity ramp over it.
struct TexelRule {
    unsigned char rgb[256][3]; // the block's colours, as the per-voxel query gives them
    float lowBound, scale;
    bool flatRange;
    double a0, a1;
    int lastIndex; // hi - lo of the block
};

TexelRule texelRuleOf(int v)
{
    TexelRule r;
    int lo = colourBlockStart(v);
    r.lastIndex = 255;
    for (int c = 0; c < 256; c++) {
        float cr, cg, cb;
        vqqcr(lo + c, &cr, &cg, &cb);
        r.rgb[c][0] = colourByte(cr);
        r.rgb[c][1] = colourByte(cg);
        r.rgb[c][2] = colourByte(cb);
    }
    r.lowBound = dmin[v];
    float highBound = dmax[v];
    // With an empty data range every voxel sits at one end of the ramp; one
    // exactly at the bound takes the top, as if just above it.
    r.flatRange = !(highBound != r.lowBound);
    r.scale = static_cast<float>(1.0 / (highBound - r.lowBound));
    r.a0 = amin[v];
    r.a1 = amax[v];
    return r;
}

// The texel of one voxel value into t; its opacity byte is returned too.
int texelOf(const TexelRule &r, float value, unsigned char *t)
{
    float f;
    int ci;
    if (r.flatRange) {
        f = value < r.lowBound ? 0.0f : 1.0f;
        ci = value < r.lowBound ? 0 : 255;
    } else {
        f = (value - r.lowBound) * r.scale;
        if (f < 0 || f != f) {
            f = 0;
            ci = 0;
        } else if (f > 1) {
            f = 1;
            ci = 255;
        } else {
            ci = static_cast<int>(255.0 * f);
            if (ci > r.lastIndex)
                ci = r.lastIndex;
        }
    }
    unsigned char alpha = value < r.lowBound ? 0 : opacityByte(r.a0, r.a1, f);
    t[0] = r.rgb[ci][0];
    t[1] = r.rgb[ci][1];
    t[2] = r.rgb[ci][2];
    t[3] = alpha;
    return alpha;
}

// Where texels go: the library's storage, i fastest, w x h per slice.
struct TexelTarget {
    unsigned char *texels;
    size_t rowStride, sliceStride;
};

// The lowest and highest opacity byte written.
struct AlphaRange {
    int lo = 255, hi = 0;
    void add(int a)
    {
        lo = a < lo ? a : lo;
        hi = a > hi ? a : hi;
    }
};

const int kTileI = 16, kTileK = 64;

// Floats made from the bytes one for one and left as they were hold
// exactly byte b / 255 at voxel (i, ny-1-j, nz-1-k) of the bytes: then
// each texel row is one row of the bytes through a table of 256 texels,
// with no pass over the floats at all.
AlphaRange texelsFromByteTable(const TexelRule &rule, const Xvol *xvol, Xraw *xraw, const TexelTarget &to)
{
    int nx = xvol->nx, ny = xvol->ny, nz = xvol->nz;
    uint32_t texelWord[256];
    int alphaOf[256];
    for (int b = 0; b < 256; b++) {
        unsigned char t[4];
        alphaOf[b] = texelOf(rule, static_cast<float>(b / 255.0), t);
        std::memcpy(&texelWord[b], t, 4);
    }
    dropFloatVoxels(xvol);
    const unsigned char *bytes = xraw->data;
    const size_t plane = static_cast<size_t>(nx) * ny;
    // Which byte values occur, for the opacity range printed below.
    unsigned char seen[2][256] = {};
    auto writeSlices = [&](int k0, int k1, int half) {
        unsigned char *met = seen[half];
        for (int k = k0; k < k1; k++)
            for (int j = 0; j < ny; j++) {
                unsigned char *out = to.texels + to.rowStride * j + to.sliceStride * k;
                const unsigned char *src =
                    bytes + static_cast<size_t>(nx) * (ny - 1 - j) + plane * (nz - 1 - k);
                for (int i = 0; i < nx; i++) {
                    met[src[i]] = 1;
                    std::memcpy(out + 4 * i, &texelWord[src[i]], 4);
                }
            }
    };
    size_t count = plane * nz;
    vq::runOnTwoCores(count >= (size_t(1) << 22), nz, nz / 2, writeSlices);
    AlphaRange range;
    for (int b = 0; b < 256; b++)
        if (seen[0][b] || seen[1][b])
            range.add(alphaOf[b]);
    dropByteVoxels(xraw);
    return range;
}

// Through a palette: a texel depends on the voxel value alone, and a
// volume has at most 256 distinct texels when made from bytes without
// averaging (65536 at most in any case: 256 colours by 256 opacities).
// The first pass writes each voxel's palette index in the texture's own
// order over the byte volume, which nothing reads after the conversion
// (one byte a voxel, two where averaging left room); the float voxels
// are then given back, and the second pass writes the texels in storage
// order. So the texels and the float voxels are never held together.
// False, with the voxels untouched, when there are more distinct texels
// than indices.
bool texelsThroughPalette(const TexelRule &rule, const Xvol *xvol, Xraw *xraw, int codeBytes,
                          const TexelTarget &to, AlphaRange *range)
{
    int nx = xvol->nx, ny = xvol->ny, nz = xvol->nz;
    size_t count = static_cast<size_t>(nx) * ny * nz;
    std::vector<uint32_t> palette;
    std::unordered_map<uint32_t, int> codeOf;
    size_t most = codeBytes == 1 ? 256 : 65536;
    struct Code {
        uint32_t bits;
        int code;
    };
    const int codeMemoBits = 12;
    std::atomic<bool> full{false};
    std::mutex paletteLock;
    AlphaRange met;
    auto codeFor = [&](float value) {
        std::lock_guard<std::mutex> hold(paletteLock);
        unsigned char t[4];
        int alpha = texelOf(rule, value, t);
        uint32_t word;
        std::memcpy(&word, t, 4);
        auto it = codeOf.find(word);
        if (it != codeOf.end())
            return it->second;
        if (palette.size() == most) {
            full.store(true, std::memory_order_relaxed);
            return 0;
        }
        met.add(alpha);
        palette.push_back(word);
        codeOf.emplace(word, static_cast<int>(palette.size()) - 1);
        return static_cast<int>(palette.size()) - 1;
    };
    unsigned char *codes = xraw->data;
    const size_t rowCodes = static_cast<size_t>(nx), sliceCodes = static_cast<size_t>(nx) * ny;
    // Tiles of i apart write codes apart: large volumes take two runs
    // of tiles on the two cores, each remembering codes by value itself
    // (the palette is shared; which voxel gets which code does not
    // change the texels).
    auto codeTiles = [&](int iFrom, int iTo, int) {
        std::vector<Code> known(1 << codeMemoBits, Code{0, -1});
        uint16_t codeTile[kTileK][kTileI];
        for (int i0 = iFrom; i0 < iTo && !full.load(std::memory_order_relaxed); i0 += kTileI) {
            int ni = i0 + kTileI < nx ? kTileI : nx - i0;
            for (int j = 0; j < ny && !full.load(std::memory_order_relaxed); j++)
                for (int k0 = 0; k0 < nz; k0 += kTileK) {
                    int nk = k0 + kTileK < nz ? kTileK : nz - k0;
                    for (int di = 0; di < ni; di++) {
                        const float *row = xvol->data[i0 + di][j] + k0;
                        for (int dk = 0; dk < nk; dk++) {
                            uint32_t bits;
                            std::memcpy(&bits, &row[dk], 4);
                            Code &c = known[(bits * 2654435761u) >> (32 - codeMemoBits)];
                            if (c.code < 0 || c.bits != bits) {
                                c.bits = bits;
                                c.code = codeFor(row[dk]);
                            }
                            codeTile[dk][di] = static_cast<uint16_t>(c.code);
                        }
                    }
                    for (int dk = 0; dk < nk; dk++) {
                        size_t at = i0 + rowCodes * j + sliceCodes * (k0 + dk);
                        if (codeBytes == 1)
                            for (int di = 0; di < ni; di++)
                                codes[at + di] = static_cast<unsigned char>(codeTile[dk][di]);
                        else
                            std::memcpy(codes + 2 * at, codeTile[dk], 2 * ni);
                    }
                }
        }
    };
    int tiles = (nx + kTileI - 1) / kTileI;
    vq::runOnTwoCores(count >= (size_t(1) << 22), nx, tiles / 2 * kTileI, codeTiles);
    if (full)
        return false;
    dropFloatVoxels(xvol);
    // Slices apart are independent: large volumes take both cores
    // (the texel storage's pages are first touched here too).
    auto writeSlices = [&](int k0, int k1, int) {
        for (int k = k0; k < k1; k++)
            for (int j = 0; j < ny; j++) {
                unsigned char *out = to.texels + to.rowStride * j + to.sliceStride * k;
                size_t at = rowCodes * j + sliceCodes * k;
                if (codeBytes == 1) {
                    const unsigned char *c = codes + at;
                    for (int i = 0; i < nx; i++)
                        std::memcpy(out + 4 * i, &palette[c[i]], 4);
                } else {
                    const unsigned char *c = codes + 2 * at;
                    for (int i = 0; i < nx; i++) {
                        uint16_t code;
                        std::memcpy(&code, c + 2 * i, 2);
                        std::memcpy(out + 4 * i, &palette[code], 4);
                    }
                }
            }
    };
    vq::runOnTwoCores(count >= (size_t(1) << 22), nz, nz / 2, writeSlices);
    dropByteVoxels(xraw);
    *range = met;
    return true;
}

// Every voxel once. The volume runs k fastest and the texture i fastest,
// so the pass goes through tiles of 16 i (one cache line of texels) by
// 64 k (four lines of floats): the tile's rows are read as sequential
// streams, its texels gathered on the stack and written out as whole
// lines, one per slice. The volume holds at least one voxel.
AlphaRange texelsVoxelByVoxel(const TexelRule &rule, const Xvol *xvol, const TexelTarget &to)
{
    int nx = xvol->nx, ny = xvol->ny, nz = xvol->nz;
    unsigned char tile[kTileK][kTileI * 4];
    // A texel depends on the voxel value alone, and volumes hold few distinct
    // values (at most 256 without averaging, long runs of empty space), so
    // texels are remembered by value in a small direct-mapped table. Every
    // entry holds a value met in the volume, so its opacity is counted once.
    struct Memo {
        uint32_t bits;
        unsigned char texel[4];
    };
    const int memoBits = 12;
    Memo memo[1 << memoBits];
    AlphaRange range;
    Memo first;
    std::memcpy(&first.bits, &xvol->data[0][0][0], 4);
    range.add(texelOf(rule, xvol->data[0][0][0], first.texel));
    for (Memo &m : memo)
        m = first;
    for (int i0 = 0; i0 < nx; i0 += kTileI) {
        int ni = i0 + kTileI < nx ? kTileI : nx - i0;
        for (int j = 0; j < ny; j++) {
            const float *rows[kTileI];
            for (int di = 0; di < ni; di++)
                rows[di] = xvol->data[i0 + di][j];
            for (int k0 = 0; k0 < nz; k0 += kTileK) {
                int nk = k0 + kTileK < nz ? kTileK : nz - k0;
                for (int di = 0; di < ni; di++) {
                    const float *row = rows[di] + k0;
                    if (k0 + 2 * kTileK < nz)
                        __builtin_prefetch(row + 2 * kTileK);
                    for (int dk = 0; dk < nk; dk++) {
                        uint32_t bits;
                        std::memcpy(&bits, &row[dk], 4);
                        Memo &m = memo[(bits * 2654435761u) >> (32 - memoBits)];
                        if (m.bits != bits) {
                            m.bits = bits;
                            range.add(texelOf(rule, row[dk], m.texel));
                        }
                        std::memcpy(&tile[dk][4 * di], m.texel, 4);
                    }
                }
                unsigned char *out =
                    to.texels + 4 * static_cast<size_t>(i0) + to.rowStride * j + to.sliceStride * k0;
                for (int dk = 0; dk < nk; dk++, out += to.sliceStride)
                    writeTexels(out, tile[dk], ni);
            }
        }
    }
#if defined(__SSE2__)
    _mm_sfence();
#endif
    return range;
}

} // namespace

int fillTexture(int v, const Xvol *xvol, const float tr[12])
{
    int nx = xvol->nx, ny = xvol->ny, nz = xvol->nz;
    tex3d[v] = svqc3dt(nx, ny, nz);
    _nx[v] = nx;
    _ny[v] = ny;
    _nz[v] = nz;
    std::memcpy(_tr[v], tr, sizeof _tr[v]);

    int w = 0, h = 0, d = 0;
    unsigned char *texels = svqg3dt(tex3d[v], &w, &h, &d);
    std::fprintf(stderr, "3d texture IS %d x %d x %d\n", w, h, d);
    bool empty = nx <= 0 || ny <= 0 || nz <= 0;
    if (!empty && (!texels || w < nx || h < ny || d < nz)) {
        std::fprintf(stderr, "Failed to create a %d x %d x %d 3d texture.\n", nx, ny, nz);
        return -1;
    }
    // Texels beyond the volume stay 0; those inside are all written below.
    if (texels && (w != nx || h != ny || d != nz || empty))
        std::memset(texels, 0, static_cast<size_t>(w) * h * d * 4);

    float minaf = 9e30f, maxaf = -9e30f;
    if (!empty) {
        const TexelRule rule = texelRuleOf(v);
        const TexelTarget to{texels, static_cast<size_t>(w) * 4, static_cast<size_t>(w) * h * 4};
        Xraw *xraw = settings.xvols[v] == xvol ? settings.xraws[v] : nullptr;
        size_t count = static_cast<size_t>(nx) * ny * nz;
        size_t room = xraw && xraw->data ? static_cast<size_t>(xraw->nx) * xraw->ny * xraw->nz : 0;
        AlphaRange range;
        if (texelsFromBytes(v, xraw) && xraw->nx == nx && xraw->ny == ny && xraw->nz == nz)
            range = texelsFromByteTable(rule, xvol, xraw, to);
        else if (room < count ||
                 !texelsThroughPalette(rule, xvol, xraw, room >= 2 * count ? 2 : 1, to, &range))
            range = texelsVoxelByVoxel(rule, xvol, to);
        minaf = static_cast<float>(range.lo);
        maxaf = static_cast<float>(range.hi);
    }
    svqpt(tex3d[v]);
    std::fprintf(stderr, "minaf = %f, maxaf = %f\n", minaf, maxaf);
    return 0;
}
