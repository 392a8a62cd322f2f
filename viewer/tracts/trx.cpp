// TRX: a ZIP archive (stored or deflated, read through libzip) or a folder
// holding header.json (NB_STREAMLINES, NB_VERTICES, VOXEL_TO_RASMM,
// DIMENSIONS), positions.3.<float16|float32|float64> in RAS millimetres
// and offsets.<uint32|uint64>, the first vertex of each streamline (some
// writers add NB_VERTICES as a last entry). Other arrays are not read.
#include <dirent.h>
#include <zip.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tract_build.h"

namespace {

using tracts::tractFault;

constexpr long long kMaxHeaderJson = 1 << 20;
// Deflate makes at most about 1032 bytes of one.
constexpr long long kMaxDeflateRatio = 1032;

// One array of the tractogram, in the archive or the folder.
struct TrxEntry {
    std::string name;
    long long bytes = 0;
    zip_uint64_t index = 0;
};

struct TrxSource {
    const char *name = nullptr;
    zip_t *zip = nullptr;
    std::string folder;
    std::vector<TrxEntry> entries;
};

// An entry opened for reading.
struct TrxStream {
    zip_file_t *zf = nullptr;
    FILE *f = nullptr;
    long long read(void *buf, long long n)
    {
        if (zf)
            return zip_fread(zf, buf, static_cast<zip_uint64_t>(n));
        return static_cast<long long>(std::fread(buf, 1, static_cast<size_t>(n), f));
    }
    void close()
    {
        if (zf)
            zip_fclose(zf);
        if (f)
            std::fclose(f);
        zf = nullptr;
        f = nullptr;
    }
};

// The top-level entries of the archive or folder; false after a fault line.
bool listEntries(TrxSource &s)
{
    if (!s.zip) {
        DIR *d = opendir(s.folder.c_str());
        if (!d) {
            tractFault(s.name, "folder cannot be read");
            return false;
        }
        while (dirent *e = readdir(d)) {
            std::string path = s.folder + "/" + e->d_name;
            long long bytes = tracts::fileBytes(path.c_str());
            if (bytes >= 0)
                s.entries.push_back({e->d_name, bytes, 0});
        }
        closedir(d);
        return true;
    }
    zip_int64_t n = zip_get_num_entries(s.zip, 0);
    for (zip_int64_t i = 0; i < n; ++i) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(s.zip, static_cast<zip_uint64_t>(i), 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME))
            continue;
        if (std::strchr(st.name, '/'))
            continue;
        long long bytes = static_cast<long long>(st.size);
        // What the directory claims must be what the stored bytes can make.
        bool stored = st.comp_method == ZIP_CM_STORE;
        long long comp = static_cast<long long>(st.comp_size);
        if (!(st.valid & ZIP_STAT_SIZE) || !(st.valid & ZIP_STAT_COMP_SIZE) || bytes < 0 ||
            (stored ? bytes != comp : bytes / kMaxDeflateRatio > comp + 1)) {
            tractFault(s.name, "entry %s claims %lld bytes from %lld stored", st.name, bytes, comp);
            return false;
        }
        s.entries.push_back({st.name, bytes, static_cast<zip_uint64_t>(i)});
    }
    return true;
}

const TrxEntry *findEntry(const TrxSource &s, const char *prefix)
{
    for (const TrxEntry &e : s.entries)
        if (e.name.compare(0, std::strlen(prefix), prefix) == 0)
            return &e;
    return nullptr;
}

bool openEntry(const TrxSource &s, const TrxEntry &e, TrxStream &out)
{
    if (s.zip)
        out.zf = zip_fopen_index(s.zip, e.index, 0);
    else
        out.f = std::fopen((s.folder + "/" + e.name).c_str(), "rb");
    if (!out.zf && !out.f) {
        tractFault(s.name, "entry %s cannot be opened", e.name.c_str());
        return false;
    }
    return true;
}

// The numbers of the JSON value after "key": one number, or every number
// of a (nested) array, in order. False when the key is missing or its
// value holds anything else.
bool jsonNumbers(const std::string &json, const char *key, std::vector<double> &out)
{
    std::string quoted = std::string("\"") + key + "\"";
    size_t at = json.find(quoted);
    if (at == std::string::npos)
        return false;
    const char *p = json.c_str() + at + quoted.size();
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')
        ++p;
    if (*p++ != ':')
        return false;
    int depth = 0;
    out.clear();
    for (;;) {
        while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n' || (depth > 0 && *p == ','))
            ++p;
        if (*p == '[') {
            ++depth;
            ++p;
        } else if (*p == ']' && depth > 0) {
            --depth;
            ++p;
        } else {
            char *end = nullptr;
            double v = std::strtod(p, &end);
            if (end == p)
                return false;
            out.push_back(v);
            p = end;
        }
        if (depth == 0)
            return !out.empty();
    }
}

// A count from header.json: a whole number in 0 .. limit.
bool jsonCount(const TrxSource &s, const std::string &json, const char *key, long long limit, long long &out)
{
    std::vector<double> v;
    if (!jsonNumbers(json, key, v) || v.size() != 1 || !(v[0] >= 0) || v[0] != std::floor(v[0]) ||
        v[0] > static_cast<double>(limit)) {
        tractFault(s.name, "header.json has no usable %s", key);
        return false;
    }
    out = static_cast<long long>(v[0]);
    return true;
}

bool readAll(const TrxSource &s, const TrxEntry &e, std::string &out)
{
    TrxStream in;
    if (!openEntry(s, e, in))
        return false;
    out.assign(static_cast<size_t>(e.bytes), '\0');
    long long got = e.bytes > 0 ? in.read(&out[0], e.bytes) : 0;
    in.close();
    if (got != e.bytes) {
        tractFault(s.name, "entry %s cannot be read whole", e.name.c_str());
        return false;
    }
    return true;
}

// The offsets array: first vertex of each streamline, checked.
bool readOffsets(const TrxSource &s, const TrxEntry &e, int bytes, long long lines, long long vertices,
                 std::vector<uint64_t> &offsets)
{
    long long count = e.bytes / bytes;
    if (e.bytes % bytes != 0 || (count != lines && count != lines + 1)) {
        tractFault(s.name, "%s holds %lld bytes; NB_STREAMLINES = %lld needs %lld", e.name.c_str(), e.bytes,
                   lines, lines * bytes);
        return false;
    }
    std::string raw;
    if (!readAll(s, e, raw))
        return false;
    offsets.resize(static_cast<size_t>(count));
    bool little = tracts::hostLittleEndian();
    for (long long i = 0; i < count; ++i) {
        uint64_t v;
        if (bytes == 4) {
            uint32_t u;
            std::memcpy(&u, raw.data() + 4 * i, 4);
            v = little ? u : tracts::swap32(u);
        } else {
            std::memcpy(&v, raw.data() + 8 * i, 8);
            if (!little)
                v = tracts::swap64(v);
        }
        offsets[static_cast<size_t>(i)] = v;
    }
    if (count == lines + 1 && offsets.back() != static_cast<uint64_t>(vertices)) {
        tractFault(s.name, "last of %lld offsets is %llu, not NB_VERTICES = %lld", count,
                   static_cast<unsigned long long>(offsets.back()), vertices);
        return false;
    }
    if (count == lines)
        offsets.push_back(static_cast<uint64_t>(vertices));
    for (long long i = 0; i < lines; ++i) {
        if (offsets[i] > static_cast<uint64_t>(vertices)) {
            tractFault(s.name, "offset %lld (%llu) overruns NB_VERTICES = %lld", i,
                       static_cast<unsigned long long>(offsets[i]), vertices);
            return false;
        }
        if (offsets[i + 1] < offsets[i]) {
            tractFault(s.name, "offsets decrease at streamline %lld", i + 1);
            return false;
        }
    }
    if (lines > 0 && offsets[0] != 0) {
        tractFault(s.name, "first offset is %llu, not 0", static_cast<unsigned long long>(offsets[0]));
        return false;
    }
    return true;
}

Tractogram *readTrx(TrxSource &s)
{
    if (!listEntries(s))
        return nullptr;
    const TrxEntry *header = nullptr;
    for (const TrxEntry &e : s.entries)
        if (e.name == "header.json")
            header = &e;
    if (!header) {
        tractFault(s.name, "holds no header.json: not a TRX tractogram");
        return nullptr;
    }
    if (header->bytes > kMaxHeaderJson) {
        tractFault(s.name, "header.json of %lld bytes is too long", header->bytes);
        return nullptr;
    }
    std::string json;
    if (!readAll(s, *header, json))
        return nullptr;
    long long lines = 0, vertices = 0;
    if (!jsonCount(s, json, "NB_STREAMLINES", UINT32_MAX, lines) ||
        !jsonCount(s, json, "NB_VERTICES", UINT32_MAX, vertices))
        return nullptr;
    const TrxEntry *positions = findEntry(s, "positions.3.");
    const TrxEntry *offsetsEntry = findEntry(s, "offsets.");
    if (!positions || !offsetsEntry) {
        tractFault(s.name, "has no %s array", positions ? "offsets" : "positions.3");
        return nullptr;
    }
    std::string ptype = positions->name.substr(12), otype = offsetsEntry->name.substr(8);
    int pbytes = ptype == "float16" ? 2 : ptype == "float32" ? 4 : ptype == "float64" ? 8 : 0;
    int obytes = otype == "uint32" ? 4 : otype == "uint64" ? 8 : 0;
    if (!pbytes || !obytes) {
        tractFault(s.name, "array type of %s is not read", (pbytes ? offsetsEntry : positions)->name.c_str());
        return nullptr;
    }
    if (positions->bytes != vertices * 3 * pbytes) {
        tractFault(s.name, "%s holds %lld bytes; NB_VERTICES = %lld needs %lld", positions->name.c_str(),
                   positions->bytes, vertices, vertices * 3 * pbytes);
        return nullptr;
    }
    if (lines == 0) {
        tractFault(s.name, "holds no complete streamline");
        return nullptr;
    }
    std::vector<uint64_t> offsets;
    if (!readOffsets(s, *offsetsEntry, obytes, lines, vertices, offsets))
        return nullptr;
    tracts::TractBuild b;
    if (!tracts::startBuild(b, s.name, static_cast<long>(vertices)))
        return nullptr;
    TrxStream in;
    if (!openEntry(s, *positions, in)) {
        tracts::abandonBuild(b);
        return nullptr;
    }
    const bool swap = !tracts::hostLittleEndian();
    const long long triple = 3LL * pbytes;
    std::vector<unsigned char> chunk(static_cast<size_t>(triple) * 65536);
    long long done = 0;
    while (done < vertices) {
        long long want = std::min<long long>(vertices - done, 65536) * triple;
        if (in.read(chunk.data(), want) != want) {
            tractFault(s.name, "%s ends after %lld of %lld points", positions->name.c_str(), done, vertices);
            in.close();
            tracts::abandonBuild(b);
            return nullptr;
        }
        long long n = want / triple;
        for (long long i = 0; i < 3 * n; ++i) {
            const unsigned char *p = chunk.data() + i * pbytes;
            float v;
            if (pbytes == 2) {
                uint16_t u;
                std::memcpy(&u, p, 2);
                v = tracts::halfToFloat(swap ? tracts::swap16(u) : u);
            } else if (pbytes == 4) {
                v = tracts::storedValue<float>(p, swap);
            } else {
                v = static_cast<float>(tracts::storedValue<double>(p, swap));
            }
            if (!std::isfinite(v)) {
                long long point = done + i / 3;
                long line = static_cast<long>(std::upper_bound(offsets.begin(), offsets.end() - 1,
                                                               static_cast<uint64_t>(point)) -
                                              offsets.begin()) -
                            1;
                tractFault(s.name, "non-finite point inside streamline %ld (vertex %lld)", line, point);
                in.close();
                tracts::abandonBuild(b);
                return nullptr;
            }
            b.t->xyz[3 * done + i] = v;
        }
        done += n;
        b.t->npoints = static_cast<long>(done);
    }
    in.close();
    for (long long l = 1; l <= lines; ++l) {
        b.t->npoints = static_cast<long>(offsets[l]);
        if (!tracts::endLine(b, s.name)) {
            tracts::abandonBuild(b);
            return nullptr;
        }
    }
    return tracts::finishBuild(b);
}

} // namespace

Tractogram *loadTrx(const char *name)
{
    TrxSource s;
    s.name = name;
    if (sniffTractogram(name) == kTrxFolder) {
        s.folder = name;
        return readTrx(s);
    }
    int error = 0;
    s.zip = zip_open(name, ZIP_RDONLY, &error);
    if (!s.zip) {
        zip_error_t e;
        zip_error_init_with_code(&e, error);
        tractFault(name, "is not a readable ZIP archive (%s)", zip_error_strerror(&e));
        zip_error_fini(&e);
        return nullptr;
    }
    Tractogram *t = readTrx(s);
    zip_discard(s.zip);
    return t;
}
