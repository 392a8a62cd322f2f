// Tractograms: recognising the kind of a file, the record shared by the
// readers, and the one conversion of their coordinates to the scene's.
#include "tractogram.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tract_build.h"

namespace tracts {

void tractFault(const char *name, const char *fmt, ...)
{
    char text[512];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    std::fprintf(stderr, "%s: %s\n", name, text);
}

bool startBuild(TractBuild &b, const char *name, long points)
{
    b.t = static_cast<Tractogram *>(std::calloc(1, sizeof(Tractogram)));
    b.lineCapacity = 1024;
    if (b.t) {
        b.t->xyz = static_cast<float *>(std::malloc(sizeof(float) * 3 * (points > 0 ? points : 1)));
        b.t->first = static_cast<uint32_t *>(std::malloc(sizeof(uint32_t) * b.lineCapacity));
    }
    if (!b.t || !b.t->xyz || !b.t->first) {
        tractFault(name, "no memory for %ld points", points);
        abandonBuild(b);
        return false;
    }
    b.t->first[0] = 0;
    b.capacity = points;
    return true;
}

bool endLine(TractBuild &b, const char *name)
{
    Tractogram &t = *b.t;
    if (t.npoints > static_cast<long>(UINT32_MAX)) {
        tractFault(name, "more than %u points", UINT32_MAX);
        return false;
    }
    if (t.nlines + 2 > b.lineCapacity) {
        long grown = b.lineCapacity * 2;
        void *p = std::realloc(t.first, sizeof(uint32_t) * grown);
        if (!p) {
            tractFault(name, "no memory for %ld streamlines", grown);
            return false;
        }
        t.first = static_cast<uint32_t *>(p);
        b.lineCapacity = grown;
    }
    t.first[++t.nlines] = static_cast<uint32_t>(t.npoints);
    return true;
}

Tractogram *finishBuild(TractBuild &b)
{
    Tractogram *t = b.t;
    b.t = nullptr;
    // Unused room goes back (large blocks shrink in place).
    if (t->npoints < b.capacity) {
        void *p = std::realloc(t->xyz, sizeof(float) * 3 * (t->npoints > 0 ? t->npoints : 1));
        if (p)
            t->xyz = static_cast<float *>(p);
    }
    void *p = std::realloc(t->first, sizeof(uint32_t) * (t->nlines + 1));
    if (p)
        t->first = static_cast<uint32_t *>(p);
    rasToLps(t->xyz, t->npoints);
    return t;
}

void abandonBuild(TractBuild &b)
{
    freeTractogram(b.t);
    b.t = nullptr;
}

float halfToFloat(uint16_t h)
{
    int sign = h >> 15, exponent = (h >> 10) & 0x1f, mantissa = h & 0x3ff;
    float v;
    if (exponent == 0)
        v = std::ldexp(static_cast<float>(mantissa), -24);
    else if (exponent == 31)
        v = mantissa ? NAN : INFINITY;
    else
        v = std::ldexp(static_cast<float>(mantissa | 0x400), exponent - 25);
    return sign ? -v : v;
}

long long fileBytes(const char *name)
{
    struct stat st;
    if (stat(name, &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return static_cast<long long>(st.st_size);
}

bool openTractFile(const char *name, TractFile &file)
{
    file.size = fileBytes(name);
    file.f = file.size >= 0 ? std::fopen(name, "rb") : nullptr;
    if (!file.f)
        tractFault(name, "cannot be opened");
    return file.f != nullptr;
}

} // namespace tracts

void rasToLps(float *xyz, long npoints)
{
    for (long i = 0; i < npoints; ++i) {
        xyz[3 * i] = -xyz[3 * i];
        xyz[3 * i + 1] = -xyz[3 * i + 1];
    }
}

void freeTractogram(Tractogram *t)
{
    if (!t)
        return;
    std::free(t->xyz);
    std::free(t->first);
    std::free(t);
}

TractogramKind sniffTractogram(const char *name)
{
    struct stat st;
    if (stat(name, &st) != 0)
        return kNotTractogram;
    if (S_ISDIR(st.st_mode)) {
        std::string header = std::string(name) + "/header.json";
        return tracts::fileBytes(header.c_str()) >= 0 ? kTrxFolder : kNotTractogram;
    }
    FILE *f = std::fopen(name, "rb");
    if (!f)
        return kNotTractogram;
    char head[16] = {};
    size_t n = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    if (n >= 13 && std::memcmp(head, "mrtrix tracks", 13) == 0)
        return kTckFile;
    if (n >= 6 && std::memcmp(head, "TRACK", 6) == 0)
        return kTrkFile;
    if (n >= 4 && (std::memcmp(head, "PK\3\4", 4) == 0 || std::memcmp(head, "PK\5\6", 4) == 0))
        return kTrxZip;
    return kNotTractogram;
}

Tractogram *loadTractogram(const char *name)
{
    switch (sniffTractogram(name)) {
    case kTckFile:
        return loadTck(name);
    case kTrkFile:
        return loadTrk(name);
    case kTrxZip:
    case kTrxFolder:
        return loadTrx(name);
    default:
        break;
    }
    if (access(name, R_OK) != 0)
        tracts::tractFault(name, "cannot be opened");
    else
        tracts::tractFault(name, "is not a .tck, .trk or TRX tractogram");
    return nullptr;
}
