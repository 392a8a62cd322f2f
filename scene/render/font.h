// The overlays' one font: printable ASCII rasterised once by FreeType from
// a DejaVu face into a single-channel atlas, with each glyph's box and
// advance. Nothing here calls GL.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vq {

struct Glyph {
    int x = 0, y = 0, w = 0, h = 0; // in the atlas, rows from the top
    int left = 0, top = 0;          // pen to the bitmap's left edge and top row (up)
    int advance = 0;                // pixels
};

struct FontAtlas {
    int width = 0, height = 0;   // atlas size in pixels
    std::vector<uint8_t> pixels; // coverage, row after row from the top
    Glyph glyphs[95];            // ' ' .. '~'
    int ascent = 0, lineHeight = 0;
    bool ok = false;
};

// The font file the overlays use.
extern const char *const kOverlayFontFile;

// Rasterises the printable ASCII characters of the font file at `pixels`
// high; ok false after one line on stderr naming the file.
FontAtlas makeFontAtlas(const char *file, int pixels);

// The glyph of character c (others than printable ASCII as '?').
const Glyph &glyphOf(const FontAtlas &f, char c);

// Width of text in pixels.
int textWidth(const FontAtlas &f, const std::string &text);

} // namespace vq
