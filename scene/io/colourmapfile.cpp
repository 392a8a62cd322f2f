// Colour-map files: one "r g b" line per colour, components 0..1, spread
// evenly over the index range they are installed on. Blank lines and lines
// starting with '#' are skipped.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

#include "io.h"

namespace vq {

bool readColourMapFile(const char *name, std::vector<Rgb> &ramp)
{
    // More colours than the table holds cannot all show; refuse rather
    // than read a huge file.
    const size_t kMaxEntries = kColourTableSize;
    FILE *f = name ? std::fopen(name, "r") : nullptr;
    if (!f) {
        sceneError("cannot open colour map file '%s'", name ? name : "(null)");
        return false;
    }
    struct stat st;
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) {
        std::fclose(f);
        sceneError("colour map file '%s' is not a regular file; colours unchanged", name);
        return false;
    }
    std::vector<Rgb> out;
    char line[400];
    int lineNo = 0;
    bool ok = true;
    while (ok && std::fgets(line, sizeof line, f)) {
        lineNo++;
        size_t len = std::strlen(line);
        if (len == sizeof line - 1 && line[len - 1] != '\n' && !std::feof(f)) {
            sceneError("bad colour map file '%s' line %d: line too long; colours unchanged", name, lineNo);
            ok = false;
            break;
        }
        const char *p = line;
        while (*p == ' ' || *p == '\t')
            p++;
        if (!*p || *p == '\n' || *p == '\r' || *p == '#')
            continue;
        double c[3];
        for (int i = 0; ok && i < 3; i++) {
            char *end = nullptr;
            errno = 0;
            c[i] = std::strtod(p, &end);
            if (end == p || errno == ERANGE || !(c[i] >= 0 && c[i] <= 1))
                ok = false;
            p = end;
        }
        while (ok && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n'))
            p++;
        if (!ok || *p) {
            sceneError("bad colour map file '%s' line %d: want \"r g b\" in 0..1; colours unchanged", name,
                       lineNo);
            ok = false;
            break;
        }
        if (out.size() >= kMaxEntries) {
            sceneError("colour map file '%s' has more than %zu colours; colours unchanged", name,
                       kMaxEntries);
            ok = false;
            break;
        }
        out.push_back({static_cast<float>(c[0]), static_cast<float>(c[1]), static_cast<float>(c[2])});
    }
    std::fclose(f);
    if (ok && out.empty()) {
        sceneError("colour map file '%s' holds no colours; colours unchanged", name);
        ok = false;
    }
    if (ok)
        ramp = out;
    return ok;
}

} // namespace vq
