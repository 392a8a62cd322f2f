// Scene export as glTF 2.0: binary (.glb) or text with its buffer embedded
// (.gltf). Each visible panel becomes a node holding its camera and one
// node per VRML name, whose mesh carries what the panel's static and frame
// lists drew in the last frame, in scene coordinates:
//   facets        triangles with vertex colours (and normals where given),
//                 the transparent ones blended
//   lines         line primitives (poly-lines and thick lines, no widths)
//   points        point primitives
//   slice sets    one textured quad per slice the frame showed, the colour
//                 lookup applied, trimmed to its visible texels
//   texpolys      one textured quad per polygon, its 3-D texture sampled
//                 over the polygon's plane
// Images are RGBA PNG in buffer views, blended and unlit, as on screen.
// Colours are the screen's sRGB values turned linear, as glTF holds them.
// Written by hand: the JSON is small and regular, and the buffer, images
// and container are ours to lay out anyway; libpng compresses the images.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "save_file.h"
#include "io.h"
#include "lineset_segments.h"
#include "vec3.h"
#include "png.h"

namespace vq {

namespace {

constexpr int kFloat = 5126, kUnsignedShort = 5123, kUnsignedInt = 5125;
constexpr int kArrayBuffer = 34962, kElementArrayBuffer = 34963;
constexpr int kPoints = 0, kLines = 1, kTriangles = 4;
// About what an index accessor and its buffer view add to the JSON.
constexpr size_t kIndexJsonBytes = 160;
// Largest side of the image a textured polygon is resampled into.
constexpr int kMaxPolyImage = 1024;

// A screen (sRGB) component as the linear value glTF colours hold.
float linear(float c)
{
    c = std::clamp(c, 0.0f, 1.0f);
    return c <= 0.04045f ? c / 12.92f : std::pow((c + 0.055f) / 1.055f, 2.4f);
}

std::string num(double v)
{
    char b[32];
    std::snprintf(b, sizeof b, "%.9g", std::isfinite(v) ? v : 0.0);
    return b;
}

// Length of the UTF-8 sequence starting at s (at most n bytes), 0 if invalid.
size_t utf8Length(const unsigned char *s, size_t n)
{
    size_t len = s[0] < 0x80 ? 1 : (s[0] >> 5) == 6 ? 2 : (s[0] >> 4) == 14 ? 3 : (s[0] >> 3) == 30 ? 4 : 0;
    if (len == 0 || len > n)
        return 0;
    for (size_t i = 1; i < len; i++)
        if ((s[i] & 0xc0) != 0x80)
            return 0;
    return len;
}

// A JSON string; bytes that are not UTF-8 become '?'.
std::string quoted(const std::string &text)
{
    std::string out = "\"";
    const auto *s = reinterpret_cast<const unsigned char *>(text.data());
    for (size_t i = 0; i < text.size();) {
        unsigned char c = s[i];
        size_t len = utf8Length(s + i, text.size() - i);
        if (len == 0) {
            out += '?';
            i++;
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            i++;
        } else if (c < 0x20) {
            char b[8];
            std::snprintf(b, sizeof b, "\\u%04x", c);
            out += b;
            i++;
        } else {
            out.append(text, i, len);
            i += len;
        }
    }
    return out + "\"";
}

std::string joined(const std::vector<std::string> &items)
{
    std::string out;
    for (size_t i = 0; i < items.size(); i++)
        out += (i ? "," : "") + items[i];
    return out;
}

// One primitive's vertices, not indexed.
struct Prim {
    int mode = kTriangles;
    int material = -1;
    int colourSize = 3;     // 3 or 4 floats a vertex
    std::vector<float> pos; // 3 a vertex
    std::vector<float> col; // colourSize a vertex, or none
    std::vector<float> nrm; // 3 a vertex, or none
    std::vector<float> uv;  // 2 a vertex, or none
    void vertex(const Vec3 &p) { pos.insert(pos.end(), {p.x, p.y, p.z}); }
    void colour(const Rgb &c) { col.insert(col.end(), {linear(c.r), linear(c.g), linear(c.b)}); }
    void colour(const Rgb &c, float a) { col.insert(col.end(), {linear(c.r), linear(c.g), linear(c.b), a}); }
};

struct Gltf {
    std::vector<uint8_t> bin;
    std::vector<std::string> views, accessors, meshes, materials, textures, images, nodes, cameras;
    int litOpaque = -1, litBlend = -1, unlitOpaque = -1;
    bool unlit = false;

    int view(const void *data, size_t bytes, int target)
    {
        while (bin.size() % 4)
            bin.push_back(0);
        size_t offset = bin.size();
        const auto *p = static_cast<const uint8_t *>(data);
        bin.insert(bin.end(), p, p + bytes);
        std::string v = "{\"buffer\":0,\"byteOffset\":" + std::to_string(offset) +
                        ",\"byteLength\":" + std::to_string(bytes);
        if (target)
            v += ",\"target\":" + std::to_string(target);
        views.push_back(v + "}");
        return static_cast<int>(views.size()) - 1;
    }

    // Accessor of float vectors of `size` components; POSITION needs bounds.
    int floats(const std::vector<float> &data, int size, bool bounds)
    {
        static const char *types[] = {"", "SCALAR", "VEC2", "VEC3", "VEC4"};
        size_t count = data.size() / size;
        std::string a = "{\"bufferView\":" +
                        std::to_string(view(data.data(), data.size() * sizeof(float), kArrayBuffer)) +
                        ",\"componentType\":" + std::to_string(kFloat) +
                        ",\"count\":" + std::to_string(count) + ",\"type\":\"" + types[size] + "\"";
        if (bounds) {
            std::vector<float> lo(size, INFINITY), hi(size, -INFINITY);
            for (size_t i = 0; i < data.size(); i++) {
                lo[i % size] = std::min(lo[i % size], data[i]);
                hi[i % size] = std::max(hi[i % size], data[i]);
            }
            std::vector<std::string> l, h;
            for (int c = 0; c < size; c++) {
                l.push_back(num(lo[c]));
                h.push_back(num(hi[c]));
            }
            a += ",\"min\":[" + joined(l) + "],\"max\":[" + joined(h) + "]";
        }
        accessors.push_back(a + "}");
        return static_cast<int>(accessors.size()) - 1;
    }

    // Index accessor of 16-bit indices where they reach, else 32-bit.
    int indices(const std::vector<uint32_t> &index, size_t vertices)
    {
        std::vector<uint16_t> shorts;
        const void *data = index.data();
        size_t bytes = index.size() * sizeof(uint32_t);
        int type = kUnsignedInt;
        if (vertices <= 65535) {
            shorts.assign(index.begin(), index.end());
            data = shorts.data();
            bytes = shorts.size() * sizeof(uint16_t);
            type = kUnsignedShort;
        }
        accessors.push_back("{\"bufferView\":" + std::to_string(view(data, bytes, kElementArrayBuffer)) +
                            ",\"componentType\":" + std::to_string(type) +
                            ",\"count\":" + std::to_string(index.size()) + ",\"type\":\"SCALAR\"}");
        return static_cast<int>(accessors.size()) - 1;
    }

    // A primitive of the vertices given. Vertices that repeat (corners
    // shared by facets, joints of poly-lines) are written once and indexed,
    // where that saves more than the index and its accessor cost.
    std::string primitive(const Prim &given)
    {
        Prim p;
        p.mode = given.mode, p.material = given.material, p.colourSize = given.colourSize;
        size_t n = given.pos.size() / 3;
        std::vector<uint32_t> index;
        index.reserve(n);
        std::unordered_map<std::string, uint32_t> seen;
        std::string key;
        for (size_t v = 0; v < n; v++) {
            key.assign(reinterpret_cast<const char *>(&given.pos[3 * v]), 3 * sizeof(float));
            if (!given.col.empty())
                key.append(reinterpret_cast<const char *>(&given.col[p.colourSize * v]),
                           p.colourSize * sizeof(float));
            if (!given.nrm.empty())
                key.append(reinterpret_cast<const char *>(&given.nrm[3 * v]), 3 * sizeof(float));
            if (!given.uv.empty())
                key.append(reinterpret_cast<const char *>(&given.uv[2 * v]), 2 * sizeof(float));
            auto found = seen.emplace(key, static_cast<uint32_t>(seen.size()));
            index.push_back(found.first->second);
            if (!found.second)
                continue;
            p.pos.insert(p.pos.end(), &given.pos[3 * v], &given.pos[3 * v] + 3);
            if (!given.col.empty())
                p.col.insert(p.col.end(), &given.col[p.colourSize * v],
                             &given.col[p.colourSize * v] + p.colourSize);
            if (!given.nrm.empty())
                p.nrm.insert(p.nrm.end(), &given.nrm[3 * v], &given.nrm[3 * v] + 3);
            if (!given.uv.empty())
                p.uv.insert(p.uv.end(), &given.uv[2 * v], &given.uv[2 * v] + 2);
        }
        size_t unique = p.pos.size() / 3;
        size_t vertexBytes =
            unique ? (p.pos.size() + p.col.size() + p.nrm.size() + p.uv.size()) * sizeof(float) / unique : 0;
        bool indexed = (n - unique) * vertexBytes > n * (unique <= 65535 ? 2 : 4) + kIndexJsonBytes;
        if (!indexed) {
            p.pos = given.pos, p.col = given.col, p.nrm = given.nrm, p.uv = given.uv;
        }
        std::string a = "\"POSITION\":" + std::to_string(floats(p.pos, 3, true));
        if (!p.col.empty())
            a += ",\"COLOR_0\":" + std::to_string(floats(p.col, p.colourSize, false));
        if (!p.nrm.empty())
            a += ",\"NORMAL\":" + std::to_string(floats(p.nrm, 3, false));
        if (!p.uv.empty())
            a += ",\"TEXCOORD_0\":" + std::to_string(floats(p.uv, 2, false));
        std::string out = "{\"attributes\":{" + a + "},\"mode\":" + std::to_string(p.mode);
        if (indexed)
            out += ",\"indices\":" + std::to_string(indices(index, unique));
        if (p.material >= 0)
            out += ",\"material\":" + std::to_string(p.material);
        return out + "}";
    }

    int material(const std::string &json)
    {
        materials.push_back(json);
        return static_cast<int>(materials.size()) - 1;
    }

    int litMaterial(bool blend)
    {
        int &m = blend ? litBlend : litOpaque;
        if (m < 0)
            m = material(std::string("{\"name\":\"") + (blend ? "facets blended" : "facets") +
                         "\",\"pbrMetallicRoughness\":{\"metallicFactor\":0,\"roughnessFactor\":1},"
                         "\"doubleSided\":true" +
                         (blend ? ",\"alphaMode\":\"BLEND\"" : "") + "}");
        return m;
    }

    int unlitMaterial()
    {
        unlit = true;
        if (unlitOpaque < 0)
            unlitOpaque =
                material("{\"name\":\"lines and points\",\"pbrMetallicRoughness\":{\"metallicFactor\":0},"
                         "\"extensions\":{\"KHR_materials_unlit\":{}}}");
        return unlitOpaque;
    }

    // An RGBA image (rows top-down) as a PNG in the buffer, with the
    // blended, unlit material that shows it. -1 if it cannot be encoded.
    int imageMaterial(const std::vector<uint8_t> &rgba, int w, int h)
    {
        std::vector<uint8_t> png;
        if (!encodePngRgba(rgba.data(), w, h, png))
            return -1;
        images.push_back("{\"bufferView\":" + std::to_string(view(png.data(), png.size(), 0)) +
                         ",\"mimeType\":\"image/png\"}");
        textures.push_back("{\"sampler\":0,\"source\":" + std::to_string(images.size() - 1) + "}");
        unlit = true;
        return material("{\"pbrMetallicRoughness\":{\"baseColorTexture\":{\"index\":" +
                        std::to_string(textures.size() - 1) +
                        "},\"metallicFactor\":0},\"alphaMode\":\"BLEND\",\"doubleSided\":true,"
                        "\"extensions\":{\"KHR_materials_unlit\":{}}}");
    }
};

Vec3 at(const double tr[12], double i, double j, double k)
{
    return {static_cast<float>(tr[0] + tr[1] * i + tr[2] * j + tr[3] * k),
            static_cast<float>(tr[4] + tr[5] * i + tr[6] * j + tr[7] * k),
            static_cast<float>(tr[8] + tr[9] * i + tr[10] * j + tr[11] * k)};
}

// Smallest rectangle [x0, x1] x [y0, y1] of pixels with any opacity; false
// when none has.
bool visibleRect(const std::vector<uint8_t> &rgba, int w, int h, int r[4])
{
    r[0] = w, r[1] = h, r[2] = -1, r[3] = -1;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            if (rgba[4 * (static_cast<size_t>(y) * w + x) + 3]) {
                r[0] = std::min(r[0], x), r[1] = std::min(r[1], y);
                r[2] = std::max(r[2], x), r[3] = std::max(r[3], y);
            }
    return r[2] >= 0;
}

std::vector<uint8_t> cropped(const std::vector<uint8_t> &rgba, int w, const int r[4])
{
    int cw = r[2] - r[0] + 1;
    std::vector<uint8_t> out;
    out.reserve(static_cast<size_t>(cw) * (r[3] - r[1] + 1) * 4);
    for (int y = r[1]; y <= r[3]; y++) {
        auto row = rgba.begin() + 4 * (static_cast<std::ptrdiff_t>(y) * w + r[0]);
        out.insert(out.end(), row, row + 4 * cw);
    }
    return out;
}

// An RGBA image (w x h, rows top-down) on a quad, trimmed to its visible
// pixels: corner(x, y) gives the scene point at image position x, y in
// pixels (0..w, 0..h, pixel edges). Nothing when no pixel shows.
template <class Corner>
void addImageQuad(Gltf &g, const std::vector<uint8_t> &rgba, int w, int h, Corner corner,
                  std::vector<std::string> &prims)
{
    int r[4];
    if (!visibleRect(rgba, w, h, r))
        return;
    int cw = r[2] - r[0] + 1, ch = r[3] - r[1] + 1;
    Prim p;
    p.material = g.imageMaterial(cropped(rgba, w, r), cw, ch);
    if (p.material < 0)
        return;
    const float uv[6][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 0}, {1, 1}, {0, 1}};
    for (const auto &c : uv) {
        p.vertex(corner(r[0] + c[0] * cw, r[1] + c[1] * ch));
        p.uv.insert(p.uv.end(), {c[0], c[1]});
    }
    prims.push_back(g.primitive(p));
}

// The colour lookup of a volume draw, as the renderer applies it: entry i
// of the colour range with the opacity ramp amin..amax.
std::vector<uint8_t> volumeLut(const Scene &s, const Volume &v, const VolumeDraw &d)
{
    int lo = std::clamp(d.lo, 0, kColourTableSize - 1), hi = std::clamp(d.hi, 0, kColourTableSize - 1);
    if (hi < lo)
        std::swap(lo, hi);
    int n = hi - lo + 1;
    std::vector<uint8_t> lut(static_cast<size_t>(n) * 4);
    auto byte = [](float c) { return static_cast<uint8_t>(std::lround(std::clamp(c, 0.0f, 1.0f) * 255)); };
    for (int i = 0; i < n; i++) {
        float f = n > 1 ? static_cast<float>(i) / (n - 1) : 1.0f;
        const Rgb &c = s.colours[lo + i];
        lut[4 * i] = byte(c.r), lut[4 * i + 1] = byte(c.g), lut[4 * i + 2] = byte(c.b);
        lut[4 * i + 3] = byte(v.amin + (v.amax - v.amin) * f);
    }
    return lut;
}

// The slices a volume draw shows from camera c, one textured quad each.
void addSlices(Gltf &g, const Scene &s, const Camera &c, const VolumeDraw &d, std::vector<std::string> &prims)
{
    if (d.vol < 0 || d.vol >= static_cast<int>(s.volumes.size()) || d.axis < 1 || d.axis > 3)
        return;
    const Volume &v = s.volumes[d.vol];
    if (v.grid == nullptr || !sliceSetShown(c, v, d) || (!(v.amax > 0) && !(v.amin > 0)))
        return;
    std::vector<uint8_t> lut = volumeLut(s, v, d);
    int n = static_cast<int>(lut.size() / 4);
    bool ramp = v.dmax > v.dmin;
    float scale = ramp ? 1.0f / (v.dmax - v.dmin) : 1.0f;
    int dims[3] = {v.nx, v.ny, v.nz};
    int lo[3] = {v.i1, v.j1, v.k1}, hi[3] = {v.i2, v.j2, v.k2};
    for (int a = 0; a < 3; a++) {
        if (hi[a] < lo[a])
            lo[a] = 0, hi[a] = dims[a] - 1;
        lo[a] = std::clamp(lo[a], 0, dims[a] - 1);
        hi[a] = std::clamp(hi[a], 0, dims[a] - 1);
    }
    int a = d.axis - 1, b1 = a == 0 ? 1 : 0, b2 = a == 2 ? 1 : 2;
    int w = hi[b1] - lo[b1] + 1, h = hi[b2] - lo[b2] + 1;
    std::vector<uint8_t> rgba(static_cast<size_t>(w) * h * 4);
    for (int k = lo[a]; k <= hi[a]; k++) {
        int idx[3];
        idx[a] = k;
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                idx[b1] = lo[b1] + x;
                idx[b2] = lo[b2] + y;
                uint8_t *px = &rgba[4 * (static_cast<size_t>(y) * w + x)];
                const float *row = v.grid[idx[0]] ? v.grid[idx[0]][idx[1]] : nullptr;
                float u = row ? (row[idx[2]] - v.dmin) * scale : NAN;
                if (!(u >= 0)) {
                    std::memset(px, 0, 4);
                    continue;
                }
                float f = ramp ? std::min(u, 1.0f) : 1.0f;
                int i = std::min(static_cast<int>(f * (n - 1)), n - 1);
                std::memcpy(px, &lut[4 * i], 4);
            }
        // Pixel edges lie half a voxel off the voxel centres: the quad
        // covers the visible voxels whole.
        addImageQuad(
            g, rgba, w, h,
            [&](float x, float y) {
                double p[3];
                p[a] = k;
                p[b1] = lo[b1] - 0.5 + x;
                p[b2] = lo[b2] - 0.5 + y;
                return at(v.tr, p[0], p[1], p[2]);
            },
            prims);
    }
}

// Texel of a 3-D texture at texture coordinates t (0 = first texel's
// centre, 1 = the last's), interpolated as the renderer's sampler does.
void sampleTexture(const Texture3D &tex, const Vec3 &t, float out[4])
{
    float c[3] = {t.x * (tex.nx - 1), t.y * (tex.ny - 1), t.z * (tex.nz - 1)};
    int n[3] = {tex.nx, tex.ny, tex.nz}, i0[3], i1[3];
    float f[3];
    for (int a = 0; a < 3; a++) {
        float x = std::clamp(c[a], 0.0f, static_cast<float>(n[a] - 1));
        i0[a] = static_cast<int>(std::floor(x));
        i1[a] = std::min(i0[a] + 1, n[a] - 1);
        f[a] = x - i0[a];
    }
    for (int ch = 0; ch < 4; ch++)
        out[ch] = 0;
    for (int corner = 0; corner < 8; corner++) {
        int i = corner & 1 ? i1[0] : i0[0], j = corner & 2 ? i1[1] : i0[1], k = corner & 4 ? i1[2] : i0[2];
        float wgt =
            (corner & 1 ? f[0] : 1 - f[0]) * (corner & 2 ? f[1] : 1 - f[1]) * (corner & 4 ? f[2] : 1 - f[2]);
        const uint8_t *px =
            &tex.texels[4 * (i + static_cast<size_t>(tex.nx) * (j + static_cast<size_t>(tex.ny) * k))];
        for (int ch = 0; ch < 4; ch++)
            out[ch] += wgt * px[ch] / 255.0f;
    }
}

// A textured polygon resampled into an image over its own plane, drawn as
// the quad of its visible part.
void addTexPoly(Gltf &g, const Scene &s, const TexPoly &tp, std::vector<std::string> &prims)
{
    if (tp.v.size() < 3 || tp.t.size() != tp.v.size() || tp.tex < 0 ||
        tp.tex >= static_cast<int>(s.textures.size()))
        return;
    const Texture3D &tex = s.textures[tp.tex];
    if (tex.version <= 0 || tex.texels.size() < static_cast<size_t>(tex.nx) * tex.ny * tex.nz * 4)
        return;
    // The plane from the first vertex and the two that span the most area.
    const Vec3 &o = tp.v[0];
    size_t bi = 1, bj = 2;
    float best = 0;
    for (size_t i = 1; i < tp.v.size(); i++)
        for (size_t j = i + 1; j < tp.v.size(); j++) {
            Vec3 c = vecCross(vecDiff(tp.v[i], o), vecDiff(tp.v[j], o));
            if (vecDot(c, c) > best)
                best = vecDot(c, c), bi = i, bj = j;
        }
    if (!(best > 0))
        return;
    Vec3 e1 = vecDiff(tp.v[bi], o);
    float l1 = std::sqrt(vecDot(e1, e1));
    e1 = {e1.x / l1, e1.y / l1, e1.z / l1};
    Vec3 nrm = vecCross(vecDiff(tp.v[bi], o), vecDiff(tp.v[bj], o));
    Vec3 e2 = vecCross(nrm, e1);
    float l2 = std::sqrt(vecDot(e2, e2));
    e2 = {e2.x / l2, e2.y / l2, e2.z / l2};
    std::vector<float> ps, pt;
    float s0 = INFINITY, s1 = -INFINITY, t0 = INFINITY, t1 = -INFINITY;
    for (const Vec3 &p : tp.v) {
        Vec3 d = vecDiff(p, o);
        ps.push_back(vecDot(d, e1));
        pt.push_back(vecDot(d, e2));
        s0 = std::min(s0, ps.back()), s1 = std::max(s1, ps.back());
        t0 = std::min(t0, pt.back()), t1 = std::max(t1, pt.back());
    }
    // Texture coordinates are affine over the plane: solved from the three
    // spanning vertices.
    float det = ps[bi] * pt[bj] - ps[bj] * pt[bi];
    if (!(std::fabs(det) > 0))
        return;
    auto texAt = [&](float x, float y) {
        float wi = (x * pt[bj] - y * ps[bj]) / det, wj = (ps[bi] * y - pt[bi] * x) / det, w0 = 1 - wi - wj;
        const Vec3 &a = tp.t[0], &b = tp.t[bi], &c = tp.t[bj];
        return Vec3{w0 * a.x + wi * b.x + wj * c.x, w0 * a.y + wi * b.y + wj * c.y,
                    w0 * a.z + wi * b.z + wj * c.z};
    };
    // About one pixel a texel along each side.
    auto texels = [&](const Vec3 &d) {
        float x = d.x * (tex.nx - 1), y = d.y * (tex.ny - 1), z = d.z * (tex.nz - 1);
        return std::clamp(static_cast<int>(std::ceil(std::sqrt(x * x + y * y + z * z))) + 1, 1,
                          kMaxPolyImage);
    };
    int w = texels(vecDiff(texAt(s1, t0), texAt(s0, t0))), h = texels(vecDiff(texAt(s0, t1), texAt(s0, t0)));
    float ds = (s1 - s0) / w, dt = (t1 - t0) / h;
    std::vector<uint8_t> rgba(static_cast<size_t>(w) * h * 4, 0);
    size_t nv = tp.v.size();
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            float px = s0 + (x + 0.5f) * ds, py = t0 + (y + 0.5f) * dt;
            // Inside the polygon: an odd number of edges crossed to the right.
            bool inside = false;
            for (size_t i = 0, j = nv - 1; i < nv; j = i++)
                if ((pt[i] > py) != (pt[j] > py) &&
                    px < (ps[j] - ps[i]) * (py - pt[i]) / (pt[j] - pt[i]) + ps[i])
                    inside = !inside;
            if (!inside)
                continue;
            float c[4];
            sampleTexture(tex, texAt(px, py), c);
            uint8_t *out = &rgba[4 * (static_cast<size_t>(y) * w + x)];
            for (int ch = 0; ch < 3; ch++)
                out[ch] = static_cast<uint8_t>(std::lround(std::clamp(c[ch], 0.0f, 1.0f) * 255));
            out[3] = static_cast<uint8_t>(std::lround(std::clamp(c[3] * tp.alpha, 0.0f, 1.0f) * 255));
        }
    addImageQuad(
        g, rgba, w, h,
        [&](float x, float y) {
            float sx = s0 + x * ds, ty = t0 + y * dt;
            return Vec3{o.x + sx * e1.x + ty * e2.x, o.y + sx * e1.y + ty * e2.y,
                        o.z + sx * e1.z + ty * e2.z};
        },
        prims);
}

// The primitives of one name in one list, appended to prims.
void addList(Gltf &g, const Scene &s, const Camera &c, const PrimList &l, int name,
             std::vector<std::string> &prims)
{
    // Facets: opaque or blended, with or without normals.
    for (int blend = 0; blend < 2; blend++)
        for (int smooth = 0; smooth < 2; smooth++) {
            Prim p;
            p.colourSize = blend ? 4 : 3;
            for (const Facet &f : l.facets) {
                if (f.name != name || f.transparent != (blend == 1) || f.smooth != (smooth == 1))
                    continue;
                for (int i = 0; i < 3; i++) {
                    p.vertex(f.p[i]);
                    if (blend)
                        p.colour(f.colour, std::clamp(f.alpha, 0.0f, 1.0f));
                    else
                        p.colour(f.colour);
                    if (smooth)
                        p.nrm.insert(p.nrm.end(), {f.n[i].x, f.n[i].y, f.n[i].z});
                }
            }
            if (p.pos.empty())
                continue;
            p.material = g.litMaterial(blend == 1);
            prims.push_back(g.primitive(p));
        }
    Prim lines;
    lines.mode = kLines;
    for (const Polyline &pl : l.lines)
        if (pl.name == name)
            for (size_t i = 1; i < pl.p.size(); i++) {
                lines.vertex(pl.p[i - 1]);
                lines.vertex(pl.p[i]);
                lines.colour(pl.colour);
                lines.colour(pl.colour);
            }
    Prim thick;
    thick.mode = kLines;
    for (const ThickLine &t : l.thickLines)
        if (t.name == name) {
            thick.vertex(t.a);
            thick.vertex(t.b);
            thick.colour(t.ca);
            thick.colour(t.cb);
        }
    for (const LineSetDraw &d : l.lineSets)
        if (d.name == name)
            forEachLineSetSegment(s, d, [&](const Vec3 &a, const Vec3 &b, const Rgb &ca, const Rgb &cb) {
                thick.vertex(a);
                thick.vertex(b);
                thick.colour(ca);
                thick.colour(cb);
            });
    Prim points;
    points.mode = kPoints;
    for (const PointSet &ps : l.points)
        if (ps.name == name)
            for (const Vec3 &q : ps.p) {
                points.vertex(q);
                points.colour(ps.colour);
            }
    for (Prim *p : {&lines, &thick, &points})
        if (!p->pos.empty()) {
            p->material = g.unlitMaterial();
            prims.push_back(g.primitive(*p));
        }
    for (const VolumeDraw &d : l.volumes)
        if (d.name == name)
            addSlices(g, s, c, d, prims);
    for (const TexPoly &tp : l.texPolys)
        if (tp.name == name)
            addTexPoly(g, s, tp, prims);
}

// A node for a panel's camera: glTF cameras look down their -z with +y up.
std::string cameraNode(Gltf &g, const Scene &s, int panel)
{
    const Camera &c = panelCamera(s, panel);
    double x[3], y[3], f[3];
    cameraBasis(c, x, y, f);
    double toTarget[3];
    sub3(c.target, c.eye, toTarget);
    double fl = std::sqrt(dot3(toTarget, toTarget));
    if (!(fl > 0))
        fl = 1;
    double aspect = panelAspect(s, panel);
    g.cameras.push_back("{\"type\":\"perspective\",\"perspective\":{\"yfov\":" + num(c.fovy * M_PI / 180) +
                        ",\"aspectRatio\":" + num(aspect > 0 ? aspect : 1) + ",\"znear\":" + num(fl * 0.01) +
                        "}}");
    std::vector<std::string> m;
    for (const double *col : {x, y})
        for (int i = 0; i < 4; i++)
            m.push_back(num(i < 3 ? col[i] : 0));
    for (int i = 0; i < 3; i++)
        m.push_back(num(-f[i]));
    m.push_back("0");
    for (int i = 0; i < 3; i++)
        m.push_back(num(c.eye[i]));
    m.push_back("1");
    return "{\"name\":" + quoted("panel " + std::to_string(s.panels[panel].id) + " camera") +
           ",\"camera\":" + std::to_string(g.cameras.size() - 1) + ",\"matrix\":[" + joined(m) + "]}";
}

std::string base64(const std::vector<uint8_t> &data)
{
    static const char *abc = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    for (size_t i = 0; i < data.size(); i += 3) {
        uint32_t v = data[i] << 16 | (i + 1 < data.size() ? data[i + 1] << 8 : 0) |
                     (i + 2 < data.size() ? data[i + 2] : 0);
        out += abc[v >> 18 & 63];
        out += abc[v >> 12 & 63];
        out += i + 1 < data.size() ? abc[v >> 6 & 63] : '=';
        out += i + 2 < data.size() ? abc[v & 63] : '=';
    }
    return out;
}

std::string documentJson(Gltf &g, const std::vector<int> &roots, bool embedBuffer)
{
    std::string j = "{\"asset\":{\"version\":\"2.0\",\"generator\":\"libvqscene\"}";
    if (g.unlit)
        j += ",\"extensionsUsed\":[\"KHR_materials_unlit\"]";
    std::vector<std::string> r;
    for (int n : roots)
        r.push_back(std::to_string(n));
    j += ",\"scene\":0,\"scenes\":[{\"name\":\"vqscene\",\"nodes\":[" + joined(r) + "]}]";
    j += ",\"nodes\":[" + joined(g.nodes) + "]";
    auto array = [&](const char *key, const std::vector<std::string> &items) {
        if (!items.empty())
            j += std::string(",\"") + key + "\":[" + joined(items) + "]";
    };
    array("cameras", g.cameras);
    array("meshes", g.meshes);
    array("materials", g.materials);
    array("textures", g.textures);
    array("images", g.images);
    if (!g.textures.empty())
        j += ",\"samplers\":[{\"magFilter\":9729,\"minFilter\":9729,\"wrapS\":33071,\"wrapT\":33071}]";
    array("accessors", g.accessors);
    array("bufferViews", g.views);
    if (!g.bin.empty()) {
        j += ",\"buffers\":[{\"byteLength\":" + std::to_string(g.bin.size());
        if (embedBuffer)
            j += ",\"uri\":\"data:application/octet-stream;base64," + base64(g.bin) + "\"";
        j += "}]";
    }
    return j + "}";
}

void put32(std::vector<uint8_t> &out, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// The binary container: header, JSON chunk (padded with spaces), BIN chunk.
std::vector<uint8_t> glbFile(std::string json, std::vector<uint8_t> &bin)
{
    while (json.size() % 4)
        json += ' ';
    while (bin.size() % 4)
        bin.push_back(0);
    size_t total = 12 + 8 + json.size() + (bin.empty() ? 0 : 8 + bin.size());
    std::vector<uint8_t> out;
    out.reserve(total);
    put32(out, 0x46546C67);
    put32(out, 2);
    put32(out, static_cast<uint32_t>(total));
    put32(out, static_cast<uint32_t>(json.size()));
    put32(out, 0x4E4F534A);
    out.insert(out.end(), json.begin(), json.end());
    if (!bin.empty()) {
        put32(out, static_cast<uint32_t>(bin.size()));
        put32(out, 0x004E4942);
        out.insert(out.end(), bin.begin(), bin.end());
    }
    return out;
}

int writeSceneFile(const char *name, const void *data, size_t size)
{
    SaveFile save;
    if (!beginSave(save, name)) {
        sceneError("cannot write scene file '%s': %s", name, std::strerror(errno));
        return -1;
    }
    const auto *p = static_cast<const uint8_t *>(data);
    size_t done = 0;
    errno = 0;
    while (done < size) {
        ssize_t n = write(save.fd, p + done, size - done);
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    if (!finishSave(save, done == size)) {
        sceneError("cannot write scene file '%s': %s", name, std::strerror(errno));
        return -1;
    }
    return 0;
}

bool endsWith(const std::string &s, const char *suffix)
{
    size_t n = std::strlen(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

} // namespace

SceneFormat sceneFormat(const char *name)
{
    std::string n = name ? name : "";
    for (char &ch : n)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (endsWith(n, ".glb"))
        return SceneFormat::glb;
    if (endsWith(n, ".gltf"))
        return SceneFormat::gltf;
    if (endsWith(n, ".wrl"))
        return SceneFormat::vrml;
    return SceneFormat::unknown;
}

int exportGLTF(const Scene &s, const char *name, bool binary)
{
    if (!name || !*name) {
        sceneError("exportGLTF: no file name");
        return -1;
    }
    Gltf g;
    std::vector<int> roots;
    for (int i = 0; i < static_cast<int>(s.panels.size()); i++) {
        const Panel &p = s.panels[i];
        if (!p.visible)
            continue;
        const Camera &c = panelCamera(s, i);
        std::vector<std::string> children;
        g.nodes.push_back(cameraNode(g, s, i));
        children.push_back(std::to_string(g.nodes.size() - 1));
        for (int n = 0; n < static_cast<int>(s.names.size()); n++) {
            std::vector<std::string> prims;
            addList(g, s, c, p.staticList, n, prims);
            addList(g, s, c, p.frameList, n, prims);
            if (prims.empty())
                continue;
            g.meshes.push_back("{\"name\":" + quoted(s.names[n]) + ",\"primitives\":[" + joined(prims) +
                               "]}");
            g.nodes.push_back("{\"name\":" + quoted(s.names[n]) +
                              ",\"mesh\":" + std::to_string(g.meshes.size() - 1) + "}");
            children.push_back(std::to_string(g.nodes.size() - 1));
        }
        g.nodes.push_back("{\"name\":" + quoted("panel " + std::to_string(p.id)) + ",\"children\":[" +
                          joined(children) + "]}");
        roots.push_back(static_cast<int>(g.nodes.size()) - 1);
    }
    if (binary) {
        std::vector<uint8_t> file = glbFile(documentJson(g, roots, false), g.bin);
        return writeSceneFile(name, file.data(), file.size());
    }
    std::string json = documentJson(g, roots, true);
    return writeSceneFile(name, json.data(), json.size());
}

int exportScene(const Scene &s, const char *name)
{
    switch (sceneFormat(name)) {
    case SceneFormat::glb:
        return exportGLTF(s, name, true);
    case SceneFormat::gltf:
        return exportGLTF(s, name, false);
    case SceneFormat::vrml:
        return exportVRML(s, name);
    default:
        sceneError("cannot write scene file '%s': the name must end in .glb, .gltf or .wrl",
                   name ? name : "");
        return -1;
    }
}

} // namespace vq
