// Line sets on the GPU. The program's points go into vertex buffers once
// (in chunks, so that no one buffer grows past what a GL gives), per-line
// or per-point colours as bytes beside them, and each frame draws them as
// wide GL line strips: a vertex shader only, which a software GL runs
// several times faster than the geometry shader that widens thick lines.
#include "linesets.h"
#include "shaders.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace vq::draw {

namespace {

// Points per vertex buffer: 192 MB of positions.
constexpr long kChunkPoints = 16L << 20;
// Points one multi-draw call covers at most.
constexpr long kDrawPoints = 1L << 16;
// Points drawn between fences. A software GL keeps every line it is
// given until the frame is finished, a few hundred bytes each; waiting for
// the work before the last fence keeps that to two runs of this size
// without stalling a GPU.
constexpr long kFencePoints = 1L << 18;
// Segments a reduced frame draws of a set at most.
constexpr long kDragSegments = 250000;

// Each point with the one before it (attribute 2), so that a segment's
// last point, its provoking vertex, can take the segment's direction as
// its flat colour.
constexpr const char *kLineSetVs = VQ_POSITION_COLOUR_GLSL("vec3") R"(
layout(location = 2) in vec3 aPrev;
uniform mat4 uMvp;
uniform vec3 uScale;
uniform vec3 uOffset;
uniform int uByDirection;
flat out vec4 gColour;
void main() {
    gl_Position = uMvp * vec4(aPos * uScale + uOffset, 1.0);
    if (uByDirection != 0) {
        vec3 d = aPos - aPrev;
        float l = length(d);
        gColour = vec4(l > 0.0 ? abs(d) / l : vec3(0.0), 1.0);
    } else {
        gColour = aColour;
    }
}
)";

constexpr const char *kLineSetFs = R"(#version 330 core
flat in vec4 gColour;
out vec4 fragColour;
void main() {
    fragColour = gColour;
}
)";

// The lines of one vertex buffer, as strips of its own points.
struct LineChunk {
    GLuint vao = 0, positions = 0, colours = 0;
    std::vector<GLint> first;
    std::vector<GLsizei> count;
    // Every step-th line, for reduced frames.
    long step = 0;
    std::vector<GLint> someFirst;
    std::vector<GLsizei> someCount;
};

struct GpuLineSet {
    int version = 0;
    bool failed = false;
    std::vector<LineChunk> chunks;
};

struct LineSetState {
    ProgramInfo program;
    GLint scale = -1, offset = -1, byDirection = -1;
    bool tried = false;
    std::vector<GpuLineSet> sets;
} L;

void releaseChunks(GpuLineSet &g)
{
    for (LineChunk &c : g.chunks) {
        glDeleteVertexArrays(1, &c.vao);
        glDeleteBuffers(1, &c.positions);
        if (c.colours)
            glDeleteBuffers(1, &c.colours);
    }
    g.chunks.clear();
}

unsigned char colourByte(float v)
{
    return static_cast<unsigned char>(std::lround(std::clamp(std::isfinite(v) ? v : 0.0f, 0.0f, 1.0f) * 255));
}

// Sends points p0 .. p1 (lines l0 .. l1) as one chunk. The buffer holds
// one unused point before them, so that every point has one before it.
bool uploadChunk(const LineSet &set, long l0, long l1, LineChunk &c)
{
    long p0 = set.first[l0], p1 = set.first[l1];
    const GLsizeiptr point = sizeof(float) * 3;
    glGenVertexArrays(1, &c.vao);
    glGenBuffers(1, &c.positions);
    glBindVertexArray(c.vao);
    glBindBuffer(GL_ARRAY_BUFFER, c.positions);
    glBufferData(GL_ARRAY_BUFFER, point * (p1 - p0 + 1), nullptr, GL_STATIC_DRAW);
    glBufferSubData(GL_ARRAY_BUFFER, 0, point, set.xyz + 3 * p0);
    if (p1 > p0)
        glBufferSubData(GL_ARRAY_BUFFER, point, point * (p1 - p0), set.xyz + 3 * p0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 0, reinterpret_cast<void *>(point));
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(2, 3, GL_FLOAT, GL_FALSE, 0, nullptr);
    glEnableVertexAttribArray(2);
    if (set.colour == kColourByDirection) {
        glDisableVertexAttribArray(1);
        glVertexAttrib4f(1, 1, 1, 1, 1);
    } else {
        std::vector<unsigned char> rgba(static_cast<size_t>(4 * std::max(p1 - p0, 1L)), 255);
        for (long l = l0; l < l1; ++l)
            for (long p = set.first[l]; p < static_cast<long>(set.first[l + 1]); ++p) {
                const float *c3 = set.colour == kColourPerLine ? set.rgb + 3 * l : set.rgb + 3 * p;
                unsigned char *out = rgba.data() + 4 * (p - p0);
                out[0] = colourByte(c3[0]);
                out[1] = colourByte(c3[1]);
                out[2] = colourByte(c3[2]);
            }
        glGenBuffers(1, &c.colours);
        glBindBuffer(GL_ARRAY_BUFFER, c.colours);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(rgba.size()), rgba.data(), GL_STATIC_DRAW);
        glVertexAttribPointer(1, 4, GL_UNSIGNED_BYTE, GL_TRUE, 0, nullptr);
        glEnableVertexAttribArray(1);
    }
    for (long l = l0; l < l1; ++l) {
        long n = static_cast<long>(set.first[l + 1]) - set.first[l];
        if (n < 2)
            continue;
        c.first.push_back(static_cast<GLint>(set.first[l] - p0));
        c.count.push_back(static_cast<GLsizei>(n));
    }
    return glGetError() != GL_OUT_OF_MEMORY;
}

GpuLineSet *gpuLineSet(const Scene &s, int id)
{
    if (L.sets.size() < s.lineSets.size())
        L.sets.resize(s.lineSets.size());
    const LineSet &set = s.lineSets[id];
    GpuLineSet &g = L.sets[id];
    if (g.version == set.version)
        return g.failed ? nullptr : &g;
    releaseChunks(g);
    g.version = set.version;
    g.failed = false;
    while (glGetError() != GL_NO_ERROR) {
    }
    for (long l0 = 0; l0 < set.nlines;) {
        long l1 = l0 + 1;
        while (l1 < set.nlines && static_cast<long>(set.first[l1 + 1]) - set.first[l0] <= kChunkPoints)
            ++l1;
        g.chunks.emplace_back();
        if (!uploadChunk(set, l0, l1, g.chunks.back())) {
            sceneError("the GL has no memory for line set %d", id);
            releaseChunks(g);
            g.failed = true;
            return nullptr;
        }
        l0 = l1;
    }
    return &g;
}

// The chunk's every step-th line, spread over the whole chunk.
void chooseSome(LineChunk &c, long step)
{
    if (c.step == step)
        return;
    c.step = step;
    c.someFirst.clear();
    c.someCount.clear();
    for (size_t i = 0; i < c.first.size(); i += static_cast<size_t>(step)) {
        c.someFirst.push_back(c.first[i]);
        c.someCount.push_back(c.count[i]);
    }
}

bool ready()
{
    if (!L.tried) {
        L.tried = true;
        if (linkProgram(L.program, kLineSetVs, nullptr, kLineSetFs)) {
            GLuint p = L.program.id;
            L.scale = glGetUniformLocation(p, "uScale");
            L.offset = glGetUniformLocation(p, "uOffset");
            L.byDirection = glGetUniformLocation(p, "uByDirection");
        }
    }
    return L.program.id != 0;
}

} // namespace

long lineSetDragStep(long segments, long lines)
{
    if (segments <= kDragSegments || lines <= 1)
        return 1;
    return std::min(lines, (segments + kDragSegments - 1) / kDragSegments);
}

void drawLineSets(const Scene &s, const Panel &panel, const float *mvp, int vw, int vh)
{
    if (panel.staticList.lineSets.empty() && panel.frameList.lineSets.empty())
        return;
    if (!ready())
        return;
    glUseProgram(L.program.id);
    glUniformMatrix4fv(L.program.mvp, 1, GL_FALSE, mvp);
    glUniform2f(L.program.viewport, static_cast<float>(vw) / R.pixelScale,
                static_cast<float>(vh) / R.pixelScale);
    bool reduced = R.pixelScale < 1 || R.planeStride > 1;
    long pending = 0;
    GLsync fence = nullptr;
    for (const PrimList *list : {&panel.staticList, &panel.frameList})
        for (const LineSetDraw &d : list->lineSets) {
            if (d.set < 0 || d.set >= static_cast<int>(s.lineSets.size()))
                continue;
            GpuLineSet *g = gpuLineSet(s, d.set);
            if (!g)
                continue;
            const LineSet &set = s.lineSets[d.set];
            glUniform3fv(L.scale, 1, d.scale);
            glUniform3fv(L.offset, 1, d.offset);
            // Wide GL lines, their width in the window's pixels also in a
            // reduced frame (the core profile allows them where the
            // context is not forward-compatible).
            glLineWidth(std::max(1.0f, set.width * R.pixelScale));
            glUniform1i(L.byDirection, set.colour == kColourByDirection ? 1 : 0);
            long step = reduced ? lineSetDragStep(set.segments, set.nlines) : 1;
            for (LineChunk &c : g->chunks) {
                if (c.first.empty())
                    continue;
                glBindVertexArray(c.vao);
                if (step > 1)
                    chooseSome(c, step);
                const std::vector<GLint> &first = step > 1 ? c.someFirst : c.first;
                const std::vector<GLsizei> &count = step > 1 ? c.someCount : c.count;
                for (size_t i = 0; i < first.size();) {
                    size_t j = i;
                    long points = 0;
                    while (j < first.size() && (j == i || points + count[j] <= kDrawPoints))
                        points += count[j++];
                    glMultiDrawArrays(GL_LINE_STRIP, first.data() + i, count.data() + i,
                                      static_cast<GLsizei>(j - i));
                    i = j;
                    pending += points;
                    if (pending >= kFencePoints) {
                        if (fence) {
                            glClientWaitSync(fence, GL_SYNC_FLUSH_COMMANDS_BIT, GL_TIMEOUT_IGNORED);
                            glDeleteSync(fence);
                        }
                        fence = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
                        pending = 0;
                    }
                }
            }
        }
    if (fence)
        glDeleteSync(fence);
    glLineWidth(1);
    glBindVertexArray(R.vao);
}

void releaseLineSets()
{
    for (GpuLineSet &g : L.sets)
        releaseChunks(g);
    if (L.program.id)
        glDeleteProgram(L.program.id);
    L = LineSetState();
}

} // namespace vq::draw
