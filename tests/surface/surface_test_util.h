// Helpers for the surface tests: files in the test folder, STL writing,
// captured messages.
#pragma once

#include "../support/scratch.h"
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "obj.h"

// Path of a scratch file in the test folder.
inline std::string tmpPath(const std::string &name)
{
    return scratchDir() + "/surface_" + name;
}

inline std::string writeFile(const std::string &name, const std::string &content)
{
    std::string path = tmpPath(name);
    FILE *f = std::fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr) << path;
    if (f) {
        std::fwrite(content.data(), 1, content.size(), f);
        std::fclose(f);
    }
    return path;
}

struct StlTri {
    float c[3][3];
};

inline void putU32(std::string *s, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        s->push_back((char)((v >> (8 * i)) & 0xff));
}

inline void putF32(std::string *s, float f)
{
    uint32_t u;
    std::memcpy(&u, &f, 4);
    putU32(s, u);
}

// Bytes of a binary STL file with the given facets; count overrides the
// facet count written in the header.
inline std::string stlBytes(const std::vector<StlTri> &tris, long long count = -1)
{
    std::string s(80, 'h');
    putU32(&s, count >= 0 ? (uint32_t)count : (uint32_t)tris.size());
    for (const StlTri &t : tris) {
        for (int i = 0; i < 3; i++)
            putF32(&s, 0.0f);
        for (int c = 0; c < 3; c++)
            for (int i = 0; i < 3; i++)
                putF32(&s, t.c[c][i]);
        s.push_back('\0');
        s.push_back('\0');
    }
    return s;
}

// Runs f with standard error captured; returns what it wrote.
template <typename F> std::string captureStderr(F f)
{
    testing::internal::CaptureStderr();
    f();
    return testing::internal::GetCapturedStderr();
}

inline int countOf(const std::string &text, const std::string &what)
{
    int n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + what.size()))
        n++;
    return n;
}

inline bool sameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

inline bool sameBits(const Point3 &a, const Point3 &b)
{
    return sameBits(a.x, b.x) && sameBits(a.y, b.y) && sameBits(a.z, b.z);
}

// A record built in memory, owned by the caller (freeObj).
inline Obj *makeObj(const std::vector<Point3> &v, const std::vector<int> &f, float alpha = 1.0f)
{
    Obj *o = static_cast<Obj *>(std::calloc(1, sizeof(Obj)));
    std::strcpy(o->label, "test");
    o->colour = {0.5, 0.25, 0.75};
    o->alpha = alpha;
    o->nverts = (int)v.size();
    o->verts = static_cast<Point3 *>(std::malloc(v.size() * sizeof(Point3) + 1));
    if (!v.empty())
        std::memcpy(o->verts, v.data(), v.size() * sizeof(Point3));
    o->nfacets = (int)(f.size() / 3);
    o->facets = static_cast<int *>(std::malloc(f.size() * sizeof(int) + 1));
    if (!f.empty())
        std::memcpy(o->facets, f.data(), f.size() * sizeof(int));
    return o;
}
