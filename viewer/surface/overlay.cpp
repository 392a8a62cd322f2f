// Overlay files to per-vertex colours.
#include "overlay.h"

#include <cmath>
#include <cstring>
#include <string>

#include "mgh.h"
#include "surface_util.h"

OverlayLook currentOverlay = {0, OVERLAY_HEAT, 0, 0};

namespace {

// Big-endian fields read front to back with the end of the buffer checked.
struct Cursor {
    const unsigned char *p;
    size_t n, at = 0;
    bool ok = true;
    int32_t int32()
    {
        if (!ok || n - at < 4) {
            ok = false;
            return 0;
        }
        const unsigned char *q = p + at;
        at += 4;
        return static_cast<int32_t>(static_cast<uint32_t>(q[0]) << 24 | static_cast<uint32_t>(q[1]) << 16 |
                                    static_cast<uint32_t>(q[2]) << 8 | static_cast<uint32_t>(q[3]));
    }
    float float32()
    {
        int32_t v = int32();
        float f;
        std::memcpy(&f, &v, sizeof f);
        return f;
    }
    int int24()
    {
        if (!ok || n - at < 3) {
            ok = false;
            return 0;
        }
        const unsigned char *q = p + at;
        at += 3;
        return q[0] << 16 | q[1] << 8 | q[2];
    }
    void skip(long long k)
    {
        if (!ok || k < 0 || static_cast<unsigned long long>(k) > n - at)
            ok = false;
        else
            at += static_cast<size_t>(k);
    }
    size_t left() const { return ok ? n - at : 0; }
};

enum OverlayKind { KIND_UNKNOWN, KIND_MORPH, KIND_MGH, KIND_GIFTI, KIND_ANNOT };

int recogniseOverlay(const char *fname)
{
    unsigned char b[512];
    long long size;
    size_t n = readFileHead(fname, b, sizeof b, &size);
    if (n >= 3 && b[0] == 0xff && b[1] == 0xff && b[2] == 0xff)
        return KIND_MORPH;
    if (n >= 2 && b[0] == 0x1f && b[1] == 0x8b)
        return KIND_MGH;
    if (static_cast<int>(n) >= kMghHeaderBytes && isMghHeader(b, static_cast<int>(n)))
        return KIND_MGH;
    std::string text(reinterpret_cast<const char *>(b), n);
    if (text.find("<GIFTI") != std::string::npos)
        return KIND_GIFTI;
    if (n >= 6 && size >= 0) {
        // Old morphometry files: two three-byte counts and two bytes a vertex.
        long long nv = b[0] << 16 | b[1] << 8 | b[2];
        if (size == 6 + 2 * nv)
            return KIND_MORPH;
        // Annotations: a count, then a vertex number and a label for each.
        long long count =
            static_cast<int32_t>(static_cast<uint32_t>(b[0]) << 24 | b[1] << 16 | b[2] << 8 | b[3]);
        if (count >= 0 && 4 + 8 * count <= size)
            return KIND_ANNOT;
    }
    return KIND_UNKNOWN;
}

} // namespace

int overlayMapByName(const char *name)
{
    if (std::strcmp(name, "heat") == 0)
        return OVERLAY_HEAT;
    if (std::strcmp(name, "twosided") == 0)
        return OVERLAY_TWOSIDED;
    return -1;
}

bool overlayColour(int map, float v, float lo, float hi, Colour3 *out)
{
    if (std::isnan(v))
        return false;
    bool negative = map == OVERLAY_TWOSIDED && v < 0;
    float m = negative ? -v : v;
    if (m < lo)
        return false;
    double t = hi > lo ? (static_cast<double>(m) - lo) / (static_cast<double>(hi) - lo) : 1.0;
    t = t < 0 ? 0 : t > 1 ? 1 : t;
    *out = negative ? Colour3{0, t, 1} : Colour3{1, t, 0};
    return true;
}

int readMorphData(const char *fname, std::vector<float> *values)
{
    GrowArray<unsigned char> buf;
    if (!readSurfaceFile(fname, "overlay file", &buf))
        return -1;
    Cursor c{buf.data, buf.n};
    if (buf.n >= 3 && buf.data[0] == 0xff && buf.data[1] == 0xff && buf.data[2] == 0xff) {
        c.skip(3);
        long long nv = c.int32();
        c.int32(); // triangles
        long long per = c.int32();
        if (!c.ok || nv < 0 || per != 1 || static_cast<unsigned long long>(nv) * 4 > c.left()) {
            fprintf(stderr,
                    "'%s': morphometry file cut short or with a bad count (%lld values, %lld a vertex).\n",
                    fname, nv, per);
            return -1;
        }
        values->resize(static_cast<size_t>(nv));
        for (float &v : *values)
            v = c.float32();
        return 0;
    }
    long long nv = c.int24();
    c.int24();
    if (!c.ok || static_cast<unsigned long long>(nv) * 2 > c.left()) {
        fprintf(stderr, "'%s': old-style morphometry file cut short.\n", fname);
        return -1;
    }
    values->resize(static_cast<size_t>(nv));
    for (size_t i = 0; i < values->size(); i++) {
        const unsigned char *q = buf.data + 6 + 2 * i;
        (*values)[i] = static_cast<float>(static_cast<int16_t>(q[0] << 8 | q[1])) / 100.0f;
    }
    return 0;
}

int readAnnot(const char *fname, std::vector<Colour3> *colours, std::vector<char> *known)
{
    GrowArray<unsigned char> buf;
    if (!readSurfaceFile(fname, "overlay file", &buf))
        return -1;
    Cursor c{buf.data, buf.n};
    long long nv = c.int32();
    if (!c.ok || nv < 0 || static_cast<unsigned long long>(nv) * 8 > c.left()) {
        fprintf(stderr, "'%s': annotation cut short or with a bad vertex count (%lld).\n", fname, nv);
        return -1;
    }
    std::vector<int32_t> label(static_cast<size_t>(nv), 0);
    for (long long i = 0; i < nv; i++) {
        long long v = c.int32();
        int32_t l = c.int32();
        if (v < 0 || v >= nv) {
            fprintf(stderr, "'%s': annotation entry %lld names vertex %lld of %lld.\n", fname, i, v, nv);
            return -1;
        }
        label[static_cast<size_t>(v)] = l;
    }
    // The colour table: each entry's packed r + g 2^8 + b 2^16 is the label
    // of its vertices.
    std::vector<int32_t> table;
    bool haveTable = c.int32() != 0 && c.ok;
    if (haveTable) {
        long long entries = c.int32();
        long long toRead = entries;
        if (entries < 0) {
            if (entries != -2) {
                fprintf(stderr, "'%s': annotation colour table of version %lld.\n", fname, -entries);
                return -1;
            }
            c.int32(); // highest index
            c.skip(c.int32());
            toRead = c.int32();
        } else {
            c.skip(c.int32());
        }
        // Each entry takes at least 24 bytes.
        if (!c.ok || toRead < 0 || static_cast<unsigned long long>(toRead) * 24 > c.left()) {
            fprintf(stderr, "'%s': annotation colour table cut short.\n", fname);
            return -1;
        }
        for (long long e = 0; e < toRead && c.ok; e++) {
            if (entries < 0)
                c.int32(); // index
            c.skip(c.int32());
            int32_t r = c.int32(), g = c.int32(), b = c.int32();
            c.int32(); // 255 - alpha
            table.push_back((r & 255) | (g & 255) << 8 | (b & 255) << 16);
        }
        if (!c.ok) {
            fprintf(stderr, "'%s': annotation colour table cut short.\n", fname);
            return -1;
        }
    }
    if (!haveTable) {
        fprintf(stderr, "'%s': annotation without a colour table.\n", fname);
        return -1;
    }
    colours->resize(label.size());
    known->assign(label.size(), 0);
    for (size_t i = 0; i < label.size(); i++) {
        int32_t l = label[i];
        for (int32_t t : table)
            if (t == l && l != 0) {
                (*known)[i] = 1;
                (*colours)[i] = Colour3{(l & 255) / 255.0, (l >> 8 & 255) / 255.0, (l >> 16 & 255) / 255.0};
                break;
            }
    }
    return 0;
}

int applyOverlay(Obj *obj, const char *fname, const float *range, int map)
{
    int kind = recogniseOverlay(fname);
    std::vector<float> values;
    std::vector<Colour3> colours;
    std::vector<char> known;
    int rc;
    switch (kind) {
    case KIND_MORPH:
        rc = readMorphData(fname, &values);
        break;
    case KIND_GIFTI:
        rc = readGiftiValues(fname, &values, &colours, &known);
        break;
    case KIND_ANNOT:
        rc = readAnnot(fname, &colours, &known);
        break;
    case KIND_MGH: {
        MghFile mgh;
        rc = readMghFile(fname, &mgh);
        values = std::move(mgh.values);
        break;
    }
    default:
        fprintf(stderr, "'%s': unknown overlay format (not curv/thickness, MGH, GIfTI or annot).\n", fname);
        return -1;
    }
    if (rc != 0)
        return -1;
    bool labels = kind == KIND_ANNOT || !colours.empty();
    size_t count = labels ? colours.size() : values.size();
    if (count != static_cast<size_t>(obj->nverts)) {
        fprintf(stderr, "'%s': overlay has %zu values, surface '%s' has %d vertices.\n", fname, count,
                obj->label, obj->nverts);
        return -1;
    }
    Colour3 *out = static_cast<Colour3 *>(std::malloc((count ? count : 1) * sizeof(Colour3)));
    if (!out) {
        fprintf(stderr, "'%s': out of memory for overlay colours.\n", fname);
        return -1;
    }
    float lo = 0, hi = 0;
    if (labels) {
        for (size_t i = 0; i < count; i++)
            out[i] = known[i] ? colours[i] : obj->colour;
        map = OVERLAY_LABELS;
    } else {
        if (range) {
            lo = range[0];
            hi = range[1];
        } else {
            // The data's own range: all of it on the heat map, 0 to the
            // largest magnitude on the two-sided one.
            bool first = true;
            for (float v : values) {
                if (!std::isfinite(v))
                    continue;
                float m = map == OVERLAY_TWOSIDED ? std::fabs(v) : v;
                lo = first || m < lo ? m : lo;
                hi = first || m > hi ? m : hi;
                first = false;
            }
            if (map == OVERLAY_TWOSIDED)
                lo = 0;
        }
        for (size_t i = 0; i < count; i++)
            if (!overlayColour(map, values[i], lo, hi, &out[i]))
                out[i] = obj->colour;
    }
    std::free(obj->vertexColours);
    obj->vertexColours = out;
    currentOverlay = OverlayLook{1, map, lo, hi};
    fprintf(stderr, "overlay '%s' on '%s': %zu vertices, %s", fname, obj->label, count,
            map == OVERLAY_LABELS     ? "label colours\n"
            : map == OVERLAY_TWOSIDED ? "twosided"
                                      : "heat");
    if (map != OVERLAY_LABELS)
        fprintf(stderr, " %g .. %g\n", lo, hi);
    return 0;
}
