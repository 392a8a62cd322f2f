// Scene export as VRML 2.0: every panel's static and frame lists, grouped by
// the VRML name in force when each primitive was drawn.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <unistd.h>

#include "save_file.h"
#include "io.h"
#include "lineset_segments.h"

namespace vq {

namespace {

// VRML names may not start with a digit nor hold blanks, quotes and the
// like; anything doubtful becomes '_'.
std::string sanitise(const std::string &name)
{
    std::string out;
    for (unsigned char c : name) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                  c == '-';
        out += ok ? static_cast<char>(c) : '_';
    }
    if (out.empty() || (out[0] >= '0' && out[0] <= '9') || out[0] == '-')
        out = "_" + out;
    return out;
}

struct Writer {
    FILE *f;
    void v3(const Vec3 &p) { std::fprintf(f, "%g %g %g, ", p.x, p.y, p.z); }
    void c3(const Rgb &c) { std::fprintf(f, "%g %g %g, ", c.r, c.g, c.b); }
};

// A volume rendering is written as the outline of its box: VRML 2.0 has
// no volume node.
void writeVolumeBox(Writer &w, const Volume &v)
{
    FILE *f = w.f;
    std::fprintf(f, "    Shape { geometry IndexedLineSet { coord Coordinate { point [ ");
    for (int c = 0; c < 8; c++) {
        double i = c & 1 ? v.i2 : v.i1, j = c & 2 ? v.j2 : v.j1, k = c & 4 ? v.k2 : v.k1;
        Vec3 p;
        p.x = static_cast<float>(v.tr[0] + v.tr[1] * i + v.tr[2] * j + v.tr[3] * k);
        p.y = static_cast<float>(v.tr[4] + v.tr[5] * i + v.tr[6] * j + v.tr[7] * k);
        p.z = static_cast<float>(v.tr[8] + v.tr[9] * i + v.tr[10] * j + v.tr[11] * k);
        w.v3(p);
    }
    std::fprintf(f, "] }\n      coordIndex [ 0 1 3 2 0 -1 4 5 7 6 4 -1 0 4 -1 1 5 -1 2 6 -1 3 7 -1 ] } }\n");
}

void writeShapes(Writer &w, const Scene &s, const PrimList &l, int name, const std::vector<Rgb> &texGrey)
{
    FILE *f = w.f;
    for (const VolumeDraw &d : l.volumes)
        if (d.name == name && d.vol >= 0 && d.vol < static_cast<int>(s.volumes.size()))
            writeVolumeBox(w, s.volumes[d.vol]);
    for (const PointSet &p : l.points) {
        if (p.name != name)
            continue;
        std::fprintf(f, "    Shape { geometry PointSet {\n      coord Coordinate { point [ ");
        for (const Vec3 &q : p.p)
            w.v3(q);
        std::fprintf(f, "] }\n      color Color { color [ ");
        for (size_t i = 0; i < p.p.size(); i++)
            w.c3(p.colour);
        std::fprintf(f, "] } } }\n");
    }
    for (const Polyline &p : l.lines) {
        if (p.name != name)
            continue;
        std::fprintf(f,
                     "    Shape { appearance Appearance { material Material { emissiveColor %g %g %g } }\n",
                     p.colour.r, p.colour.g, p.colour.b);
        std::fprintf(f, "      geometry IndexedLineSet { coord Coordinate { point [ ");
        for (const Vec3 &q : p.p)
            w.v3(q);
        std::fprintf(f, "] }\n        coordIndex [ ");
        for (size_t i = 0; i < p.p.size(); i++)
            std::fprintf(f, "%zu ", i);
        std::fprintf(f, "-1 ] } }\n");
    }
    bool any = false;
    for (const ThickLine &t : l.thickLines)
        any = any || t.name == name;
    for (const LineSetDraw &d : l.lineSets)
        any = any || d.name == name;
    if (any) {
        std::fprintf(
            f,
            "    Shape { geometry IndexedLineSet { colorPerVertex TRUE\n      coord Coordinate { point [ ");
        for (const ThickLine &t : l.thickLines)
            if (t.name == name) {
                w.v3(t.a);
                w.v3(t.b);
            }
        for (const LineSetDraw &d : l.lineSets)
            if (d.name == name)
                forEachLineSetSegment(s, d, [&](const Vec3 &a, const Vec3 &b, const Rgb &, const Rgb &) {
                    w.v3(a);
                    w.v3(b);
                });
        std::fprintf(f, "] }\n      color Color { color [ ");
        for (const ThickLine &t : l.thickLines)
            if (t.name == name) {
                w.c3(t.ca);
                w.c3(t.cb);
            }
        for (const LineSetDraw &d : l.lineSets)
            if (d.name == name)
                forEachLineSetSegment(s, d, [&](const Vec3 &, const Vec3 &, const Rgb &ca, const Rgb &cb) {
                    w.c3(ca);
                    w.c3(cb);
                });
        std::fprintf(f, "] }\n      coordIndex [ ");
        int k = 0;
        for (const ThickLine &t : l.thickLines)
            if (t.name == name) {
                std::fprintf(f, "%d %d -1 ", k, k + 1);
                k += 2;
            }
        for (const LineSetDraw &d : l.lineSets)
            if (d.name == name)
                forEachLineSetSegment(s, d, [&](const Vec3 &, const Vec3 &, const Rgb &, const Rgb &) {
                    std::fprintf(f, "%d %d -1 ", k, k + 1);
                    k += 2;
                });
        std::fprintf(f, "] } }\n");
    }
    // Facets: one face set per opacity, colour per face.
    std::map<float, std::vector<const Facet *>> byAlpha;
    for (const Facet &t : l.facets)
        if (t.name == name)
            byAlpha[t.alpha].push_back(&t);
    for (const auto &group : byAlpha) {
        std::fprintf(f,
                     "    Shape { appearance Appearance { material Material { diffuseColor 1 1 1 "
                     "transparency %g } }\n",
                     1 - group.first);
        std::fprintf(f, "      geometry IndexedFaceSet { solid FALSE colorPerVertex FALSE\n"
                        "        coord Coordinate { point [ ");
        for (const Facet *t : group.second)
            for (const Vec3 &q : t->p)
                w.v3(q);
        std::fprintf(f, "] }\n        color Color { color [ ");
        for (const Facet *t : group.second)
            w.c3(t->colour);
        std::fprintf(f, "] }\n        coordIndex [ ");
        for (size_t i = 0; i < group.second.size(); i++)
            std::fprintf(f, "%zu %zu %zu -1 ", 3 * i, 3 * i + 1, 3 * i + 2);
        std::fprintf(f, "] } }\n");
    }
    // Textured polygons are written as plain faces in their texture's mean
    // colour: VRML 2.0 has no 3-D textures.
    for (const TexPoly &t : l.texPolys) {
        if (t.name != name || t.v.size() < 3)
            continue;
        Rgb c = t.tex >= 0 && t.tex < static_cast<int>(texGrey.size()) ? texGrey[t.tex] : Rgb{1, 1, 1};
        std::fprintf(f,
                     "    Shape { appearance Appearance { material Material { diffuseColor %g %g %g "
                     "transparency %g } }\n",
                     c.r, c.g, c.b, 1 - t.alpha);
        std::fprintf(f, "      geometry IndexedFaceSet { solid FALSE coord Coordinate { point [ ");
        for (const Vec3 &q : t.v)
            w.v3(q);
        std::fprintf(f, "] }\n        coordIndex [ ");
        for (size_t i = 0; i < t.v.size(); i++)
            std::fprintf(f, "%zu ", i);
        std::fprintf(f, "-1 ] } }\n");
    }
}

bool usesName(const PrimList &l, int name)
{
    for (const PointSet &p : l.points)
        if (p.name == name)
            return true;
    for (const Polyline &p : l.lines)
        if (p.name == name)
            return true;
    for (const ThickLine &p : l.thickLines)
        if (p.name == name)
            return true;
    for (const LineSetDraw &p : l.lineSets)
        if (p.name == name)
            return true;
    for (const Facet &p : l.facets)
        if (p.name == name)
            return true;
    for (const TexPoly &p : l.texPolys)
        if (p.name == name && p.v.size() >= 3)
            return true;
    for (const VolumeDraw &p : l.volumes)
        if (p.name == name)
            return true;
    return false;
}

} // namespace

int exportVRML(const Scene &s, const char *name)
{
    if (!name || !*name) {
        sceneError("exportVRML: no file name");
        return -1;
    }
    SaveFile save;
    FILE *f = beginSave(save, name) ? openSaveStream(save, "w") : nullptr;
    if (!f) {
        sceneError("cannot write scene file '%s': %s", name, std::strerror(errno));
        abandonSave(save);
        return -1;
    }
    // Mean colour of each texture's visible texels, for the flat stand-ins.
    std::vector<Rgb> texMean;
    for (const Texture3D &t : s.textures) {
        double sum[3] = {0, 0, 0}, wsum = 0;
        for (size_t i = 0; i + 3 < t.texels.size(); i += 4) {
            double a = t.texels[i + 3] / 255.0;
            for (int c = 0; c < 3; c++)
                sum[c] += a * t.texels[i + c] / 255.0;
            wsum += a;
        }
        texMean.push_back(wsum > 0 ? Rgb{static_cast<float>(sum[0] / wsum), static_cast<float>(sum[1] / wsum),
                                         static_cast<float>(sum[2] / wsum)}
                                   : Rgb{1, 1, 1});
    }
    Writer w{f};
    std::fprintf(f, "#VRML V2.0 utf8\n# Written by libvqscene in scene coordinates.\n");
    std::fprintf(f, "Background { skyColor [ %g %g %g ] }\n", s.background.r, s.background.g, s.background.b);
    std::map<std::string, int> used;
    for (const Panel &p : s.panels) {
        std::fprintf(f, "# Panel %d\n", p.id);
        for (int n = 0; n < static_cast<int>(s.names.size()); n++) {
            if (!usesName(p.staticList, n) && !usesName(p.frameList, n))
                continue;
            // DEF names must be unique in the file.
            std::string def = sanitise(s.names[n]);
            int k = used[def]++;
            if (k > 0)
                def += "_" + std::to_string(k);
            std::fprintf(f, "DEF %s Group { children [\n", def.c_str());
            writeShapes(w, s, p.staticList, n, texMean);
            writeShapes(w, s, p.frameList, n, texMean);
            std::fprintf(f, "] }\n");
        }
    }
    errno = 0;
    if (!finishSave(save, !std::ferror(f))) {
        sceneError("cannot write scene file '%s': %s", name, std::strerror(errno));
        return -1;
    }
    return 0;
}

} // namespace vq
