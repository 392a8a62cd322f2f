// What core asks of the renderer without knowing it: the texels of a 3-D
// texture whose pages were given back after their upload, read back from
// the GPU. The render room fills the table (render/uploads.cpp), so core
// includes no render header.
#pragma once

#include "model.h"

namespace vq {

struct RendererHooks {
    // Fills t's storage from the GPU's copy; false when the GL holds none.
    bool (*restoreTexels)(int id, Texture3D &t);
};

extern const RendererHooks kRendererHooks;

} // namespace vq
