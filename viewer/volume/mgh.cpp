// FreeSurfer MGH and MGZ files: header, geometry and the first frame.
#include "mgh.h"

#include "volume_util.h"

#include <sys/stat.h>
#include <zlib.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

uint32_t be32(const unsigned char *p)
{
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | static_cast<uint32_t>(p[3]);
}

int beInt(const unsigned char *p)
{
    return static_cast<int32_t>(be32(p));
}

float beFloat(const unsigned char *p)
{
    uint32_t u = be32(p);
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f;
}

int typeBytes(int type)
{
    switch (type) {
    case MGH_UCHAR:
        return 1;
    case MGH_SHORT:
        return 2;
    case MGH_INT:
    case MGH_FLOAT:
        return 4;
    default:
        return 0;
    }
}

} // namespace

bool isMghHeader(const unsigned char *head, int n)
{
    if (n < kMghHeaderBytes || beInt(head) != 1)
        return false;
    for (int i = 0; i < 4; i++)
        if (beInt(head + 4 + 4 * i) < 1)
            return false;
    return typeBytes(beInt(head + 20)) > 0;
}

int readMghFile(const char *path, MghFile *out)
{
    *out = MghFile();
    struct stat st;
    if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) {
        std::fprintf(stderr, "'%s': cannot open the MGH file.\n", path);
        return -1;
    }
    bool compressed = isGzipFile(path);
    gzFile gz = gzopen(path, "rb");
    if (!gz) {
        std::fprintf(stderr, "'%s': cannot open the MGH file.\n", path);
        return -1;
    }
    unsigned char h[kMghHeaderBytes];
    int got = gzread(gz, h, sizeof h);
    if (got != kMghHeaderBytes || beInt(h) != 1) {
        gzclose(gz);
        std::fprintf(stderr, "'%s': %s.\n", path,
                     got == kMghHeaderBytes ? "not an MGH file (version is not 1)" : "MGH header cut short");
        return -1;
    }
    for (int i = 0; i < 4; i++)
        out->dims[i] = beInt(h + 4 + 4 * i);
    out->type = beInt(h + 20);
    int bytes = typeBytes(out->type);
    if (bytes == 0) {
        gzclose(gz);
        std::fprintf(stderr, "'%s': MGH voxel type %d is not one of uchar, int, float, short.\n", path,
                     out->type);
        return -1;
    }
    const long long limit = 2147483647LL;
    long long nx = out->dims[0], ny = out->dims[1], nz = out->dims[2], nf = out->dims[3];
    if (nx < 1 || ny < 1 || nz < 1 || nf < 1 || nx * ny > limit || nx * ny * nz > limit) {
        gzclose(gz);
        std::fprintf(
            stderr, "'%s': MGH sizes %lld x %lld x %lld (%lld frames) are not between 1 and 2^31-1 voxels.\n",
            path, nx, ny, nz, nf);
        return -1;
    }
    long long n = nx * ny * nz, need = n * bytes;
    // Plain data must be in the file; deflate packs at most 1032 bytes
    // into one, which bounds what a compressed file can hold.
    long long have = static_cast<long long>(st.st_size);
    long long room = compressed ? have * 1032 : have - kMghHeaderBytes;
    if (need > room) {
        gzclose(gz);
        std::fprintf(
            stderr, "'%s': truncated: the MGH header asks for %lld bytes of voxels, the file holds %s%lld.\n",
            path, need, compressed ? "at most " : "", room < 0 ? 0 : room);
        return -1;
    }
    out->goodRas = static_cast<int16_t>(h[28] << 8 | h[29]);
    for (int i = 0; i < 3; i++) {
        float d = beFloat(h + 30 + 4 * i);
        out->voxelSize[i] = std::isfinite(d) && d > 0 ? d : 1.0f;
    }
    if (out->goodRas > 0) {
        for (int a = 0; a < 3; a++)
            for (int c = 0; c < 3; c++)
                out->mdc[a][c] = beFloat(h + 42 + 12 * a + 4 * c);
        for (int c = 0; c < 3; c++)
            out->centre[c] = beFloat(h + 78 + 4 * c);
    }
    // Column a of the rotation is voxel axis a's direction times its size;
    // the origin puts voxel dims / 2 at the centre's RAS.
    for (int r = 0; r < 3; r++) {
        double t = out->centre[r];
        for (int a = 0; a < 3; a++) {
            out->vox2ras[r][a] = static_cast<double>(out->mdc[a][r]) * out->voxelSize[a];
            t -= out->vox2ras[r][a] * (out->dims[a] / 2.0);
        }
        out->vox2ras[r][3] = t;
    }
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 4; c++)
            if (!std::isfinite(out->vox2ras[r][c])) {
                gzclose(gz);
                std::fprintf(stderr, "'%s': the MGH geometry is not finite.\n", path);
                return -1;
            }
    // The voxels are taken in as they come: memory grows with what the
    // stream really holds, not with what its header claims.
    std::vector<unsigned char> raw;
    bool ok = true;
    for (long long at = 0; ok && at < need;) {
        long long chunk = need - at < (1LL << 24) ? need - at : (1LL << 24);
        raw.resize(static_cast<size_t>(at + chunk));
        int r = gzread(gz, raw.data() + at, static_cast<unsigned>(chunk));
        ok = r == static_cast<int>(chunk);
        at += chunk;
    }
    gzclose(gz);
    if (!ok) {
        std::fprintf(stderr, "'%s': MGH voxel data cut short or corrupt.\n", path);
        return -1;
    }
    out->values.resize(static_cast<size_t>(n));
    const unsigned char *p = raw.data();
    for (size_t i = 0; i < static_cast<size_t>(n); i++, p += bytes) {
        switch (out->type) {
        case MGH_UCHAR:
            out->values[i] = p[0];
            break;
        case MGH_SHORT:
            out->values[i] = static_cast<int16_t>(p[0] << 8 | p[1]);
            break;
        case MGH_INT:
            out->values[i] = static_cast<float>(beInt(p));
            break;
        default:
            out->values[i] = beFloat(p);
            break;
        }
    }
    return 0;
}
