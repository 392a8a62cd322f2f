// loadXraw on arbitrary content, both as the gzip stream the format
// prescribes and as a plain file (which zlib reads through unchanged).
#include <zlib.h>

#include <vector>

#include "fuzz_support.h"
#include "xrw.h"

namespace {

// Level 1 keeps compression cheap; the reader sees the same content.
std::vector<uint8_t> gzipBytes(const uint8_t *data, size_t size)
{
    z_stream zs{};
    if (deflateInit2(&zs, 1, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        std::abort();
    std::vector<uint8_t> out(deflateBound(&zs, size) + 32);
    zs.next_in = const_cast<uint8_t *>(data);
    zs.avail_in = static_cast<uInt>(size);
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    if (deflate(&zs, Z_FINISH) != Z_STREAM_END)
        std::abort();
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

void loadOne(const char *path, size_t contentSize)
{
    Xraw *x = loadXraw(path);
    if (!x)
        return;
    // A loaded record mirrors exactly the content: header, voxels, table.
    FUZZ_CHECK(x->nx >= 0 && x->ny >= 0 && x->nz >= 0);
    size_t n = static_cast<size_t>(x->nx) * x->ny * x->nz;
    FUZZ_CHECK(contentSize == 24 + n + 768);
    FUZZ_CHECK(n == 0 || x->data);
    if (n > 0) {
        volatile unsigned char last = x->data[n - 1];
        (void)last;
    }
    FUZZ_CHECK(std::strcmp(x->filename, path) == 0);
    // Start-up turns every loaded volume into a float volume next.
    const int stride[3] = {1, 1, 1};
    Xvol *v = Xraw2Xvol(x, stride);
    FUZZ_CHECK(v != nullptr);
    FUZZ_CHECK(v->nx == x->nx && v->ny == x->ny && v->nz == x->nz);
    freeXvol(v);
    freeXraw(x);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > fuzz::kMaxInput)
        return 0;
    std::vector<uint8_t> gz = gzipBytes(data, size);
    loadOne(fuzz::inputFile(gz.data(), gz.size()), size);
    // Fed plain, content that is itself a gzip stream is unpacked by zlib,
    // so the size check only holds for content that is not.
    const char *plain = fuzz::inputFile(data, size);
    if (size >= 2 && data[0] == 0x1f && data[1] == 0x8b) {
        Xraw *x = loadXraw(plain);
        freeXraw(x);
    } else {
        loadOne(plain, size);
    }
    return 0;
}
