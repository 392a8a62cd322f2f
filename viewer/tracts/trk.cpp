// TrackVis .trk, version 2: a 1000-byte header ("TRACK", voxel sizes,
// counts of per-point scalars and per-track properties, vox_to_ras), then
// per streamline its point count, its points (x y z in voxel millimetres,
// each followed by its scalars) and its properties.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "tract_build.h"

namespace {

using tracts::tractFault;

constexpr int kHeaderBytes = 1000;

struct TrkReader {
    const unsigned char *h;
    bool swap;
    int32_t i32(size_t at) const { return tracts::storedValue<int32_t>(h + at, swap); }
    int16_t i16(size_t at) const { return tracts::storedValue<int16_t>(h + at, swap); }
    float f32(size_t at) const { return tracts::storedValue<float>(h + at, swap); }
};

} // namespace

Tractogram *loadTrk(const char *name)
{
    tracts::TractFile file;
    if (!tracts::openTractFile(name, file))
        return nullptr;
    unsigned char header[kHeaderBytes];
    if (file.size < kHeaderBytes || std::fread(header, 1, kHeaderBytes, file.f) != kHeaderBytes) {
        tractFault(name, "is shorter than the 1000-byte TrackVis header");
        return nullptr;
    }
    auto fail = [&](tracts::TractBuild *b) -> Tractogram * {
        if (b)
            tracts::abandonBuild(*b);
        return nullptr;
    };
    if (std::memcmp(header, "TRACK", 6) != 0) {
        tractFault(name, "has no TRACK magic");
        return fail(nullptr);
    }
    // The header's own size says the byte order.
    TrkReader r{header, false};
    if (r.i32(996) != kHeaderBytes) {
        r.swap = true;
        if (r.i32(996) != kHeaderBytes) {
            tractFault(name, "header size field is not 1000 in either byte order");
            return fail(nullptr);
        }
    }
    int version = r.i32(992);
    if (version != 2) {
        tractFault(name, "is TrackVis version %d; version 2 (with vox_to_ras) is read", version);
        return fail(nullptr);
    }
    int nScalars = r.i16(36), nProperties = r.i16(238);
    if (nScalars < 0 || nProperties < 0) {
        tractFault(name, "negative scalar (%d) or property (%d) count", nScalars, nProperties);
        return fail(nullptr);
    }
    double voxel[3], m[4][4];
    for (int a = 0; a < 3; ++a)
        voxel[a] = r.f32(12 + 4 * a);
    bool anyMatrix = false;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            m[i][j] = r.f32(440 + 16 * i + 4 * j);
            anyMatrix = anyMatrix || m[i][j] != 0;
        }
    for (int a = 0; a < 3; ++a)
        if (!(voxel[a] > 0) || !std::isfinite(voxel[a])) {
            tractFault(name, "voxel size %g along axis %d is not positive", voxel[a], a);
            return fail(nullptr);
        }
    if (!anyMatrix || m[3][3] == 0) {
        tractFault(name, "vox_to_ras is not set");
        return fail(nullptr);
    }
    // Voxel millimetres to RAS: to voxel indices (TrackVis puts 0 at a
    // voxel's corner, the matrix at its centre), then vox_to_ras.
    double a[3][4];
    for (int i = 0; i < 3; ++i) {
        double t = m[i][3];
        for (int j = 0; j < 3; ++j) {
            a[i][j] = m[i][j] / voxel[j];
            t -= 0.5 * m[i][j];
        }
        a[i][3] = t;
    }
    long nCount = r.i32(988);
    long long remaining = file.size - kHeaderBytes;
    const long pointBytes = 4L * (3 + nScalars);
    if (nCount < 0 || static_cast<long long>(nCount) * 4 > remaining) {
        tractFault(name, "header promises %ld streamlines; the file can hold at most %lld", nCount,
                   remaining / 4);
        return fail(nullptr);
    }
    tracts::TractBuild b;
    if (!tracts::startBuild(b, name, static_cast<long>(remaining / pointBytes)))
        return fail(nullptr);
    std::vector<unsigned char> buf;
    long long at = kHeaderBytes;
    for (long line = 0; nCount == 0 || line < nCount; ++line) {
        unsigned char word[4];
        if (std::fread(word, 1, 4, file.f) != 4) {
            if (nCount == 0 && at == file.size)
                break;
            tractFault(name, "ends inside streamline %ld of the %ld its header promises", line, nCount);
            return fail(&b);
        }
        at += 4;
        TrkReader w{word, r.swap};
        long long n = w.i32(0);
        long long bytes = n * pointBytes + 4LL * nProperties;
        if (n < 0 || bytes > file.size - at) {
            tractFault(name, "streamline %ld promises %lld points, past the end of the file", line, n);
            return fail(&b);
        }
        buf.resize(static_cast<size_t>(bytes));
        if (bytes > 0 && std::fread(buf.data(), 1, buf.size(), file.f) != buf.size()) {
            tractFault(name, "cannot read streamline %ld", line);
            return fail(&b);
        }
        at += bytes;
        TrkReader p{buf.data(), r.swap};
        for (long long k = 0; k < n; ++k) {
            size_t o = static_cast<size_t>(k * pointBytes);
            double v[3] = {p.f32(o), p.f32(o + 4), p.f32(o + 8)};
            float out[3];
            for (int i = 0; i < 3; ++i)
                out[i] = static_cast<float>(a[i][0] * v[0] + a[i][1] * v[1] + a[i][2] * v[2] + a[i][3]);
            if (!std::isfinite(out[0]) || !std::isfinite(out[1]) || !std::isfinite(out[2])) {
                tractFault(name, "non-finite point %lld inside streamline %ld", k, line);
                return fail(&b);
            }
            tracts::addPoint(b, out[0], out[1], out[2]);
        }
        if (!tracts::endLine(b, name))
            return fail(&b);
    }
    if (b.t->nlines == 0) {
        tractFault(name, "holds no complete streamline");
        tracts::abandonBuild(b);
        return nullptr;
    }
    return tracts::finishBuild(b);
}
