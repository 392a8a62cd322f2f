// MRtrix .tck: a text header from "mrtrix tracks" to "END" naming the data
// type and offset, then points as triples, a NaN triple after each
// streamline and an Inf triple at the end.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tract_build.h"

namespace {

using tracts::tractFault;

// The longest header read: MRtrix headers are a few hundred bytes.
constexpr long kMaxHeader = 1 << 20;

std::string trimmed(const std::string &s)
{
    size_t a = s.find_first_not_of(" \t\r");
    size_t b = s.find_last_not_of(" \t\r");
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

struct TckHeader {
    int bytes = 0; // 4 or 8
    bool bigEndian = false;
    long long offset = -1;
};

// The header's lines up to END; false after a fault line.
bool readTckHeader(FILE *f, const char *name, TckHeader &h)
{
    std::string line;
    long read = 0;
    bool first = true, ended = false;
    std::string datatype;
    int c;
    while (!ended && (c = std::fgetc(f)) != EOF) {
        if (++read > kMaxHeader) {
            tractFault(name, "header runs past %ld bytes without END", kMaxHeader);
            return false;
        }
        if (c != '\n') {
            line += static_cast<char>(c);
            continue;
        }
        std::string l = trimmed(line);
        line.clear();
        if (first) {
            if (l != "mrtrix tracks") {
                tractFault(name, "does not start with 'mrtrix tracks'");
                return false;
            }
            first = false;
            continue;
        }
        if (l == "END") {
            ended = true;
            break;
        }
        size_t colon = l.find(':');
        if (colon == std::string::npos)
            continue;
        std::string key = trimmed(l.substr(0, colon)), value = trimmed(l.substr(colon + 1));
        if (key == "datatype") {
            datatype = value;
        } else if (key == "file") {
            char dot[8] = {};
            long long offset = -1;
            if (std::sscanf(value.c_str(), "%7s %lld", dot, &offset) != 2 || std::strcmp(dot, ".") != 0) {
                tractFault(name, "file entry '%s' is not '. OFFSET' (data in this file)", value.c_str());
                return false;
            }
            h.offset = offset;
        }
    }
    if (!ended) {
        tractFault(name, "header has no END line");
        return false;
    }
    if (datatype == "Float32LE" || datatype == "Float32BE" || datatype == "Float64LE" ||
        datatype == "Float64BE") {
        h.bytes = datatype[5] == '3' ? 4 : 8;
        h.bigEndian = datatype.compare(datatype.size() - 2, 2, "BE") == 0;
    } else {
        tractFault(name, "datatype '%s' is not Float32LE/BE or Float64LE/BE", datatype.c_str());
        return false;
    }
    if (h.offset < 0) {
        tractFault(name, "header has no 'file: . OFFSET' entry");
        return false;
    }
    if (h.offset < read) {
        tractFault(name, "data offset %lld lies inside the header", h.offset);
        return false;
    }
    return true;
}

double valueAt(const unsigned char *p, const TckHeader &h, bool swap)
{
    if (h.bytes == 4)
        return tracts::storedValue<float>(p, swap);
    return tracts::storedValue<double>(p, swap);
}

} // namespace

Tractogram *loadTck(const char *name)
{
    tracts::TractFile file;
    if (!tracts::openTractFile(name, file))
        return nullptr;
    TckHeader h;
    if (!readTckHeader(file.f, name, h))
        return nullptr;
    if (h.offset > file.size) {
        tractFault(name, "data offset %lld lies past the end of the file (%lld bytes)", h.offset, file.size);
        return nullptr;
    }
    if (std::fseek(file.f, static_cast<long>(h.offset), SEEK_SET) != 0) {
        tractFault(name, "cannot seek to the data at %lld", h.offset);
        return nullptr;
    }
    const long triple = 3L * h.bytes;
    // Every point the file can hold, and no more.
    tracts::TractBuild b;
    if (!tracts::startBuild(b, name, static_cast<long>((file.size - h.offset) / triple)))
        return nullptr;
    const bool swap = h.bigEndian == tracts::hostLittleEndian();
    std::vector<unsigned char> chunk(static_cast<size_t>(triple) * 65536);
    bool ended = false;
    long pointIndex = 0;
    while (!ended) {
        size_t got = std::fread(chunk.data(), 1, chunk.size(), file.f);
        size_t triples = got / triple;
        for (size_t i = 0; i < triples; ++i, ++pointIndex) {
            const unsigned char *p = chunk.data() + i * triple;
            double x = valueAt(p, h, swap), y = valueAt(p + h.bytes, h, swap),
                   z = valueAt(p + 2 * h.bytes, h, swap);
            float fx = static_cast<float>(x), fy = static_cast<float>(y), fz = static_cast<float>(z);
            if (std::isfinite(x) && std::isfinite(y) && std::isfinite(z)) {
                // Float64 points beyond float's range would become infinite.
                if (!std::isfinite(fx) || !std::isfinite(fy) || !std::isfinite(fz)) {
                    tractFault(name, "point %ld of the data lies beyond float range", pointIndex);
                    tracts::abandonBuild(b);
                    return nullptr;
                }
                if (b.t->npoints >= b.capacity) {
                    tractFault(name, "holds more points than its size allows");
                    tracts::abandonBuild(b);
                    return nullptr;
                }
                tracts::addPoint(b, fx, fy, fz);
            } else if (std::isnan(x) && std::isnan(y) && std::isnan(z)) {
                if (!tracts::endLine(b, name)) {
                    tracts::abandonBuild(b);
                    return nullptr;
                }
            } else if (std::isinf(x) && std::isinf(y) && std::isinf(z)) {
                ended = true;
                break;
            } else {
                tractFault(name, "non-finite point inside streamline %ld (point %ld of the data)",
                           b.t->nlines, pointIndex);
                tracts::abandonBuild(b);
                return nullptr;
            }
        }
        // A short read ends the data: what a cut-off file leaves.
        if (got < chunk.size())
            break;
    }
    if (!ended) {
        // An interrupted run: keep the streamlines that were closed.
        tracts::dropOpenLine(b);
        if (b.t->nlines > 0)
            std::fprintf(stderr, "%s: ends before its end marker; read %ld complete streamlines\n", name,
                         b.t->nlines);
    } else if (b.t->npoints > static_cast<long>(b.t->first[b.t->nlines])) {
        // Points after the last separator belong to a streamline the
        // writer closed with the end marker.
        if (!tracts::endLine(b, name)) {
            tracts::abandonBuild(b);
            return nullptr;
        }
    }
    if (b.t->nlines == 0) {
        tractFault(name, "holds no complete streamline");
        tracts::abandonBuild(b);
        return nullptr;
    }
    return tracts::finishBuild(b);
}
