// FreeType rasterisation of the overlays' font into one atlas.
#include "font.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>

#include "model.h"

namespace vq {

const char *const kOverlayFontFile = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

FontAtlas makeFontAtlas(const char *file, int pixels)
{
    FontAtlas f;
    FT_Library lib = nullptr;
    if (FT_Init_FreeType(&lib) != 0) {
        sceneError("the font library does not start; overlays have no text");
        return f;
    }
    FT_Face face = nullptr;
    if (FT_New_Face(lib, file, 0, &face) != 0 ||
        FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixels)) != 0) {
        sceneError("cannot read font '%s'; overlays have no text", file);
        if (face)
            FT_Done_Face(face);
        FT_Done_FreeType(lib);
        return f;
    }
    // One row of glyphs, each in a cell of the line's height.
    const int cell = pixels * 2;
    f.width = cell * 95;
    f.height = cell;
    f.pixels.assign(static_cast<size_t>(f.width) * f.height, 0);
    f.ascent = static_cast<int>(face->size->metrics.ascender >> 6);
    f.lineHeight = static_cast<int>(face->size->metrics.height >> 6);
    for (int i = 0; i < 95; ++i) {
        Glyph &g = f.glyphs[i];
        if (FT_Load_Char(face, static_cast<FT_ULong>(32 + i), FT_LOAD_RENDER) != 0)
            continue;
        const FT_GlyphSlot s = face->glyph;
        g.w = std::min(static_cast<int>(s->bitmap.width), cell);
        g.h = std::min(static_cast<int>(s->bitmap.rows), cell);
        g.x = i * cell;
        g.y = 0;
        g.left = s->bitmap_left;
        g.top = s->bitmap_top;
        g.advance = static_cast<int>(s->advance.x >> 6);
        for (int r = 0; r < g.h; ++r)
            for (int c = 0; c < g.w; ++c)
                f.pixels[static_cast<size_t>(r) * f.width + g.x + c] =
                    s->bitmap.buffer[r * s->bitmap.pitch + c];
    }
    FT_Done_Face(face);
    FT_Done_FreeType(lib);
    f.ok = true;
    return f;
}

const Glyph &glyphOf(const FontAtlas &f, char c)
{
    int i = c >= 32 && c <= 126 ? c - 32 : '?' - 32;
    return f.glyphs[i];
}

int textWidth(const FontAtlas &f, const std::string &text)
{
    int w = 0;
    for (char c : text)
        w += glyphOf(f, c).advance;
    return w;
}

} // namespace vq
