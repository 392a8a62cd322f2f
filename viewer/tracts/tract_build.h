// Shared by the tractogram readers: one-line faults, the growing record,
// byte order. Internal to viewer/tracts.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tractogram.h"

namespace tracts {

// One line on stderr: "NAME: fault".
void tractFault(const char *name, const char *fmt, ...) __attribute__((format(printf, 2, 3)));

// A tractogram being read: room for at most `capacity` points, decided
// from the file's size before anything is read; line starts grow as lines
// end.
struct TractBuild {
    Tractogram *t = nullptr;
    long capacity = 0;
    long lineCapacity = 0;
};

// Room for `points` points (0 allowed); false after a fault line.
bool startBuild(TractBuild &b, const char *name, long points);
// Ends the current line at the points added so far; false after a fault line.
bool endLine(TractBuild &b, const char *name);
// Appends one point (room is the caller's check against capacity).
inline void addPoint(TractBuild &b, float x, float y, float z)
{
    float *p = b.t->xyz + 3 * b.t->npoints++;
    p[0] = x;
    p[1] = y;
    p[2] = z;
}
// Drops the points of the line being read (after the last endLine).
inline void dropOpenLine(TractBuild &b)
{
    b.t->npoints = b.t->first[b.t->nlines];
}
// Gives back unused room, converts to LPS and hands the record over.
Tractogram *finishBuild(TractBuild &b);
// Frees what was built (after a fault).
void abandonBuild(TractBuild &b);

inline uint16_t swap16(uint16_t v)
{
    return static_cast<uint16_t>((v >> 8) | (v << 8));
}
inline uint32_t swap32(uint32_t v)
{
    return __builtin_bswap32(v);
}
inline uint64_t swap64(uint64_t v)
{
    return __builtin_bswap64(v);
}
// A value of type T (2, 4 or 8 bytes) stored at p in the file's byte
// order, turned round when swap says the file's order is not the host's.
template <typename T> T storedValue(const unsigned char *p, bool swap)
{
    static_assert(sizeof(T) == 2 || sizeof(T) == 4 || sizeof(T) == 8, "2, 4 or 8 bytes");
    T v;
    if (sizeof(T) == 2) {
        uint16_t u;
        std::memcpy(&u, p, 2);
        u = swap ? swap16(u) : u;
        std::memcpy(&v, &u, 2);
    } else if (sizeof(T) == 4) {
        uint32_t u;
        std::memcpy(&u, p, 4);
        u = swap ? swap32(u) : u;
        std::memcpy(&v, &u, 4);
    } else {
        uint64_t u;
        std::memcpy(&u, p, 8);
        u = swap ? swap64(u) : u;
        std::memcpy(&v, &u, 8);
    }
    return v;
}
inline bool hostLittleEndian()
{
    const uint16_t one = 1;
    unsigned char c;
    std::memcpy(&c, &one, 1);
    return c == 1;
}
// IEEE half to float.
float halfToFloat(uint16_t h);
// Size of a regular file in bytes, or -1.
long long fileBytes(const char *name);
// A regular file open for reading and its size in bytes; closed when the
// record goes.
struct TractFile {
    FILE *f = nullptr;
    long long size = -1;
    TractFile() = default;
    TractFile(const TractFile &) = delete;
    TractFile &operator=(const TractFile &) = delete;
    ~TractFile()
    {
        if (f)
            std::fclose(f);
    }
};
// Opens name into file; false after "NAME: cannot be opened".
bool openTractFile(const char *name, TractFile &file);

} // namespace tracts
