// Colour tables and the label bytes of a volume.
#include "labels.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>

namespace {

// A whole token as an integer in lo..hi.
bool integerOf(const char *text, long lo, long hi, long *out)
{
    char *end;
    errno = 0;
    long v = std::strtol(text, &end, 10);
    if (end == text || *end || errno != 0 || v < lo || v > hi)
        return false;
    *out = v;
    return true;
}

// The label number of a voxel value: a whole number, else false.
bool labelOf(double v, long *out)
{
    if (!(std::fabs(v) < 2147483648.0) || v != std::floor(v))
        return false;
    *out = static_cast<long>(v);
    return true;
}

const LabelColour *findLabel(const std::vector<LabelColour> &table, long label)
{
    auto it = std::lower_bound(table.begin(), table.end(), label,
                               [](const LabelColour &c, long l) { return c.label < l; });
    return it != table.end() && it->label == label ? &*it : nullptr;
}

} // namespace

int readLabelTable(const char *path, std::vector<LabelColour> *table)
{
    table->clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "'%s': cannot open the colour table.\n", path);
        return -1;
    }
    std::string line;
    for (int number = 1; std::getline(in, line); number++) {
        size_t hash = line.find('#');
        if (hash != std::string::npos)
            line.resize(hash);
        char *fields[7];
        int count = 0;
        for (char *t = std::strtok(&line[0], " \t\r\v\f"); t && count < 7;
             t = std::strtok(nullptr, " \t\r\v\f"))
            fields[count++] = t;
        if (count == 0)
            continue;
        long index, rgba[4];
        bool ok = count == 6 && integerOf(fields[0], 0, 2147483647L, &index);
        for (int c = 0; ok && c < 4; c++)
            ok = integerOf(fields[2 + c], 0, 255, &rgba[c]);
        if (!ok) {
            std::fprintf(stderr,
                         "'%s' line %d: not 'index name r g b a' (index a whole number, r g b a 0 to 255).\n",
                         path, number);
            return -1;
        }
        if (table->size() >= 1u << 20) {
            std::fprintf(stderr, "'%s' line %d: more than %u labels.\n", path, number, 1u << 20);
            return -1;
        }
        table->push_back({index, static_cast<unsigned char>(rgba[0]), static_cast<unsigned char>(rgba[1]),
                          static_cast<unsigned char>(rgba[2])});
    }
    if (in.bad()) {
        std::fprintf(stderr, "'%s': read error in the colour table.\n", path);
        return -1;
    }
    if (table->empty()) {
        std::fprintf(stderr, "'%s': no labels in the colour table.\n", path);
        return -1;
    }
    std::stable_sort(table->begin(), table->end(),
                     [](const LabelColour &a, const LabelColour &b) { return a.label < b.label; });
    for (size_t i = 1; i < table->size(); i++)
        if ((*table)[i].label == (*table)[i - 1].label) {
            std::fprintf(stderr, "'%s': label %ld is listed twice.\n", path, (*table)[i].label);
            return -1;
        }
    return 0;
}

int labelVolumeBytes(const char *name, const char *tableName, const float *floats, const short *shorts,
                     const unsigned char *bytes, size_t n, const std::vector<LabelColour> &table,
                     unsigned char *out, unsigned char colours[256][3])
{
    auto value = [&](size_t i) -> double { return floats ? floats[i] : shorts ? shorts[i] : bytes[i]; };
    // The labels present, 0 aside; runs of one label are common.
    std::set<long> present;
    bool haveLast = false;
    long last = 0;
    for (size_t i = 0; i < n; i++) {
        double v = value(i);
        long label;
        if (!labelOf(v, &label)) {
            std::fprintf(stderr, "'%s': voxel value %g is no label number.\n", name, v);
            return -1;
        }
        if (label == 0 || (haveLast && label == last))
            continue;
        haveLast = true;
        last = label;
        if (present.insert(label).second && present.size() > 255) {
            std::fprintf(stderr, "'%s': more than 255 distinct labels (label %ld is the 256th found).\n",
                         name, label);
            return -1;
        }
    }
    std::memset(colours, 0, 256 * 3);
    // Byte k for the k-th label; a table lookup for its colour.
    long byLabel[256];
    int k = 0;
    for (long label : present) {
        const LabelColour *c = findLabel(table, label);
        if (!c) {
            std::fprintf(stderr, "'%s': label %ld is not in the colour table '%s'.\n", name, label,
                         tableName);
            return -1;
        }
        k++;
        byLabel[k] = label;
        colours[k][0] = c->r;
        colours[k][1] = c->g;
        colours[k][2] = c->b;
    }
    int count = k;
    for (size_t i = 0; i < n; i++) {
        long label = static_cast<long>(value(i));
        unsigned char b = 0;
        if (label != 0)
            b = static_cast<unsigned char>(std::lower_bound(byLabel + 1, byLabel + count + 1, label) -
                                           byLabel);
        out[i] = b;
    }
    return count;
}
