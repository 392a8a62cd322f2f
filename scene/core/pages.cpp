// Memory of the model's large blocks: zeroed storage for 3-D textures, its
// pages given back once the renderer holds the texels, and read back
// through the renderer's hook when something needs them on this side again.
#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

#include "hooks.h"
#include "model.h"
#include "pages.h"

namespace vq {

namespace {
constexpr std::size_t kHugePage = std::size_t(2) << 20;
constexpr std::size_t kMappedMin = std::size_t(8) << 20;

std::size_t mappedLength(std::size_t bytes)
{
    return (bytes + kHugePage - 1) / kHugePage * kHugePage;
}
} // namespace

void *zeroedBlock(std::size_t bytes)
{
    if (bytes < kMappedMin)
        return std::calloc(bytes ? bytes : 1, 1);
    // Map 2 MB more than needed and trim, so the block starts on a 2 MB
    // boundary (a system that backs all memory with huge pages can then use
    // them); fresh anonymous pages read as zero. No huge pages are asked
    // for: where memory is fragmented the kernel would compact it at every
    // fault, which cost up to a second for 512 MB.
    std::size_t len = mappedLength(bytes);
    void *raw = mmap(nullptr, len + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        return nullptr;
    std::uintptr_t start = reinterpret_cast<std::uintptr_t>(raw);
    std::uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
    if (aligned > start)
        munmap(raw, aligned - start);
    std::uintptr_t end = aligned + len, rawEnd = start + len + kHugePage;
    if (rawEnd > end)
        munmap(reinterpret_cast<void *>(end), rawEnd - end);
    void *p = reinterpret_cast<void *>(aligned);
    return p;
}

void freeZeroedBlock(void *p, std::size_t bytes)
{
    if (!p)
        return;
    if (bytes < kMappedMin)
        std::free(p);
    else
        munmap(p, mappedLength(bytes));
}
bool texelPagesReleasable(const Texture3D &t)
{
    return t.texels.size() >= kMappedMin;
}

void releaseTexelPages(Texture3D &t, std::size_t from, std::size_t to)
{
    if (!texelPagesReleasable(t) || to > t.texels.size())
        return;
    // The block is mapped whole pages long: its last page goes with the last texels.
    if (to == t.texels.size())
        to = mappedLength(to);
    if (givePagesBack(t.texels.data(), from, to))
        t.released = true;
}

bool holdTexels(Scene &s, int id)
{
    Texture3D &t = s.textures[id];
    return !t.released || kRendererHooks.restoreTexels(id, t);
}

bool holdAllTexels(Scene &s)
{
    bool all = true;
    for (int id = 0; id < static_cast<int>(s.textures.size()); id++)
        if (!holdTexels(s, id)) {
            sceneError("the texels of 3-d texture %d are gone with the GL that held them", id);
            all = false;
        }
    return all;
}

} // namespace vq
