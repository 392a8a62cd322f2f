// saveXraw then loadXraw must give back exactly the record that went in:
// small dimensions, voxel sizes (any bit pattern, NaN included), voxels and
// colour table all come from the input.
#include <string>

#include "fuzz_support.h"
#include "xrw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > fuzz::kMaxInput)
        return 0;
    static const std::string path = fuzz::tempPath("roundtrip.xrw");
    Xraw in{};
    std::snprintf(in.filename, sizeof in.filename, "%s", path.c_str());
    // Dimensions 0 to 15: an empty volume is a valid file too.
    in.nx = size > 0 ? data[0] % 16 : 1;
    in.ny = size > 1 ? data[1] % 16 : 1;
    in.nz = size > 2 ? data[2] % 16 : 1;
    uint32_t bits[3];
    for (int i = 0; i < 3; i++)
        bits[i] = fuzz::le32(data, size, 3 + 4 * i);
    std::memcpy(&in.dx, &bits[0], 4);
    std::memcpy(&in.dy, &bits[1], 4);
    std::memcpy(&in.dz, &bits[2], 4);
    size_t n = static_cast<size_t>(in.nx) * in.ny * in.nz;
    // The rest of the input fills voxels then the table, repeated as needed.
    const uint8_t *rest = size > 15 ? data + 15 : nullptr;
    size_t restSize = size > 15 ? size - 15 : 0;
    auto byteAt = [&](size_t i) -> unsigned char { return restSize ? rest[i % restSize] : 0; };
    in.data = static_cast<unsigned char *>(std::malloc(n ? n : 1));
    for (size_t i = 0; i < n; i++)
        in.data[i] = byteAt(i);
    for (int i = 0; i < 256; i++) {
        in.cmap_r[i] = byteAt(n + i);
        in.cmap_g[i] = byteAt(n + 256 + i);
        in.cmap_b[i] = byteAt(n + 512 + i);
    }
    Xraw before = in;
    FUZZ_CHECK(saveXraw(&in) == 0);
    // The writer leaves the record alone.
    FUZZ_CHECK(std::memcmp(&before, &in, sizeof in) == 0);
    Xraw *out = loadXraw(path.c_str());
    FUZZ_CHECK(out != nullptr);
    FUZZ_CHECK(std::strcmp(out->filename, in.filename) == 0);
    FUZZ_CHECK(out->nx == in.nx && out->ny == in.ny && out->nz == in.nz);
    FUZZ_CHECK(std::memcmp(&out->dx, &in.dx, 4) == 0);
    FUZZ_CHECK(std::memcmp(&out->dy, &in.dy, 4) == 0);
    FUZZ_CHECK(std::memcmp(&out->dz, &in.dz, 4) == 0);
    FUZZ_CHECK(n == 0 || std::memcmp(out->data, in.data, n) == 0);
    FUZZ_CHECK(std::memcmp(out->cmap_r, in.cmap_r, 256) == 0);
    FUZZ_CHECK(std::memcmp(out->cmap_g, in.cmap_g, 256) == 0);
    FUZZ_CHECK(std::memcmp(out->cmap_b, in.cmap_b, 256) == 0);
    freeXraw(out);
    std::free(in.data);
    return 0;
}
