// loadXraw on arbitrary content, both as the gzip stream the format
// prescribes and as a plain file (which zlib reads through unchanged).
#include <zlib.h>

#include <vector>

#include "fuzz_support.h"
#include "xrw.h"

namespace {

// The gzip stream is made in memory by one deflate state kept for the whole
// run (a fresh one per input costs more than the read it feeds), at level 0:
// stored blocks, which the reader inflates like any other and which cost
// no compression work; the reader sees the same content.
const std::vector<uint8_t> &gzipBytes(const uint8_t *data, size_t size)
{
    static z_stream zs = [] {
        z_stream z{};
        if (deflateInit2(&z, 0, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            std::abort();
        return z;
    }();
    static std::vector<uint8_t> out;
    if (deflateReset(&zs) != Z_OK)
        std::abort();
    size_t bound = deflateBound(&zs, size) + 32;
    if (out.size() < bound)
        out.resize(bound);
    zs.next_in = const_cast<uint8_t *>(data);
    zs.avail_in = static_cast<uInt>(size);
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    if (deflate(&zs, Z_FINISH) != Z_STREAM_END)
        std::abort();
    static std::vector<uint8_t> stream;
    stream.assign(out.begin(), out.begin() + zs.total_out);
    return stream;
}

// Float volumes up to this many row tables and rows are converted: each row
// is an allocation of its own, and larger volumes (a few bytes of header
// with a zero size can ask for millions of empty rows) only repeat the same
// code at the allocator's pace; tests/volume converts those.
constexpr long long kMaxConvertedRows = 1 << 12;

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
    if (static_cast<long long>(x->nx) * (x->ny + 1LL) > kMaxConvertedRows) {
        freeXraw(x);
        return;
    }
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
    const std::vector<uint8_t> &gz = gzipBytes(data, size);
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
