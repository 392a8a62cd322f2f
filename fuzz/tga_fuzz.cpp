// The scene library's ReadTGATexture on arbitrary bytes.
#include "fuzz_support.h"
#include "vqscene.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > fuzz::kMaxInput)
        return 0;
    int w = -1, h = -1;
    unsigned char *px = ReadTGATexture(fuzz::inputFile(data, size), &w, &h);
    if (!px)
        return 0;
    FUZZ_CHECK(w > 0 && h > 0);
    // The pixel block holds w*h pixels of 4 bytes: touching its far end and
    // a sparse sample lets the address checker catch a short block.
    size_t n = static_cast<size_t>(w) * h * 4;
    volatile unsigned sum = px[n - 1];
    for (size_t i = 0; i < n; i += 61)
        sum = sum + px[i];
    (void)sum;
    std::free(px);
    return 0;
}
