// PNG images out, through libpng.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vq {

// Write width x height RGBA pixels (4 bytes each, rows bottom-up as OpenGL
// reads them back) to path as an 8-bit RGB PNG. The image goes to a
// temporary file beside path that is renamed over it only when complete,
// so a failed write leaves an existing file as it was. 0, or -1 after one
// line on stderr.
int writePng(const char *path, const uint8_t *rgba, int width, int height);

// Encode width x height RGBA pixels (rows top-down) as an 8-bit RGBA PNG
// in memory (scene export), at zlib level 6: level 9 took three times as
// long for 2% less. False when libpng fails.
bool encodePngRgba(const uint8_t *rgba, int width, int height, std::vector<uint8_t> &out);

// Whether a --png file name is a valid pattern: at most one integer
// conversion (%d, %i or %u with flags and width, as in out%04d.png), "%%"
// for a percent sign. *numbered tells whether it holds a conversion.
bool checkPngPattern(const char *pattern, bool *numbered);

// File name of frame number frame: the pattern with its conversion filled
// in, or the pattern itself when it holds none. The pattern must be valid.
std::string pngFrameName(const char *pattern, long frame);

// Key s: write the image as the first vqscene-NNNN.png (0000 to 9999)
// not yet in the working directory. 0 or -1.
int writeScreenshot(const uint8_t *rgba, int width, int height);

} // namespace vq
