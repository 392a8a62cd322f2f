// XRW files: a gzip stream holding three int dimensions, three float voxel
// sizes, the voxel bytes and a 256-entry colour table, all little-endian.
#include "save_file.h"
#include "xrw.h"
#include "volume_util.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Deflate expands at most about 1032 times, so a compressed file of S bytes
// cannot hold more than this many bytes of content per byte of file.
const long long MAX_INFLATE_RATIO = 1032;

// Large reads of the compressed file cost fewer system calls.
const unsigned GZ_BUFFER_BYTES = 256 * 1024;

bool readBytes(gzFile gz, void *buf, unsigned len)
{
    return gzread(gz, buf, len) == static_cast<int>(len);
}

bool readWord(gzFile gz, uint32_t *word)
{
    unsigned char b[4];
    if (!readBytes(gz, b, 4))
        return false;
    *word = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
            static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
    return true;
}

bool readInt(gzFile gz, int *v)
{
    uint32_t w;
    if (!readWord(gz, &w))
        return false;
    memcpy(v, &w, 4);
    return true;
}

bool readFloat(gzFile gz, float *v)
{
    uint32_t w;
    if (!readWord(gz, &w))
        return false;
    memcpy(v, &w, 4);
    return true;
}

// Reads n voxel bytes from a stream whose size is not known beforehand (a
// pipe, say), growing the block as data arrives so that a header claiming a
// huge volume cannot make us allocate it up front.
unsigned char *readGrowing(gzFile gz, long long n)
{
    long long cap = std::min(n, 1LL << 24), got = 0;
    unsigned char *data = static_cast<unsigned char *>(malloc(std::max(cap, 1LL)));
    if (!data)
        return nullptr;
    for (;;) {
        int r = gzread(gz, data + got, static_cast<unsigned>(cap - got));
        if (r < 0)
            break;
        got += r;
        if (got < cap || cap == n)
            break;
        long long next = std::min(n, cap * 2);
        unsigned char *grown = static_cast<unsigned char *>(realloc(data, next));
        if (!grown)
            break;
        data = grown;
        cap = next;
    }
    if (got != n) {
        free(data);
        return nullptr;
    }
    return data;
}

// Maps the pages of a large block in one go; faulting them in one at a time
// while inflating costs noticeably more. No huge pages are asked for (where
// memory is fragmented the kernel compacts it at every fault). Only a hint:
// failure changes nothing.
void prefault(unsigned char *block, size_t len)
{
    if (len < (1u << 20))
        return;
    const uintptr_t page = 4096;
    uintptr_t start = (uintptr_t)block, end = start + len;
#ifdef MADV_POPULATE_WRITE
    uintptr_t lo = (start + page - 1) & ~(page - 1), hi = end & ~(page - 1);
    if (hi > lo)
        madvise(reinterpret_cast<void *>(lo), hi - lo, MADV_POPULATE_WRITE);
#endif
    (void)page;
    (void)start;
    (void)end;
}

// The voxels and colour table of a regular gzip file in one go: the whole
// file is inflated by libdeflate, several times faster than zlib's stream.
// True with *voxels (malloc'd; its first n bytes are the voxels, 792 spare
// bytes follow) and cmap filled. False, with nothing kept, for anything but
// gzip members holding exactly the header's content (a plain file, a corrupt
// or short stream, data past the table), which the stream reader then goes
// over with its own messages. Bytes after the last
// member that do not start another are ignored, as zlib ignores them.
bool inflateWholeFile(int fd, size_t fileSize, long long n, unsigned char **voxels, unsigned char cmap[768])
{
    const size_t header = 24, table = 768;
    if (fileSize < 18 || n < 0 || static_cast<unsigned long long>(n) > SIZE_MAX - header - table)
        return false;
    void *mapped = mmap(nullptr, fileSize, PROT_READ, MAP_PRIVATE, fd, 0);
    if (mapped == MAP_FAILED)
        return false;
    madvise(mapped, fileSize, MADV_SEQUENTIAL);
    const unsigned char *in = static_cast<const unsigned char *>(mapped);
    const size_t want = header + static_cast<size_t>(n) + table;
    unsigned char *out = static_cast<unsigned char *>(malloc(want));
    struct libdeflate_decompressor *d = out ? libdeflate_alloc_decompressor() : nullptr;
    bool ok = d != nullptr;
    if (ok)
        prefault(out, want);
    size_t used = 0, made = 0;
    while (ok && used < fileSize) {
        if (fileSize - used < 2 || in[used] != 0x1f || in[used + 1] != 0x8b) {
            ok = used > 0;
            break;
        }
        size_t inBytes = 0, outBytes = 0;
        ok = libdeflate_gzip_decompress_ex(d, in + used, fileSize - used, out + made, want - made, &inBytes,
                                           &outBytes) == LIBDEFLATE_SUCCESS;
        used += inBytes;
        made += outBytes;
    }
    ok = ok && made == want;
    if (d)
        libdeflate_free_decompressor(d);
    munmap(mapped, fileSize);
    if (!ok) {
        free(out);
        return false;
    }
    memcpy(cmap, out + header + n, table);
    memmove(out, out + header, static_cast<size_t>(n));
    *voxels = out;
    return true;
}

Xraw *failLoad(gzFile gz, Xraw *xraw, const char *message)
{
    fputs(message, stderr);
    if (xraw)
        free(xraw->data);
    free(xraw);
    gzclose(gz);
    return nullptr;
}

} // namespace

Xraw *loadXraw(const char *filename)
{
    if (!filename) {
        fprintf(stderr, "No file name given to loadXraw.\n");
        return nullptr;
    }
    size_t len = strlen(filename);
    if (len >= XRW_NAME_LEN) {
        fprintf(stderr, "File name of %zu characters is too long (at most %d).\n", len, XRW_NAME_LEN - 1);
        return nullptr;
    }
    int fd = open(filename, O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        if (fd >= 0)
            close(fd);
        fprintf(stderr, "Failed to open file '%s'.\n", filename);
        return nullptr;
    }
    gzFile gz = gzdopen(fd, "rb");
    if (!gz) {
        close(fd);
        fprintf(stderr, "Failed to open file '%s'.\n", filename);
        return nullptr;
    }
    // A small file needs no large buffers (zlib's own default at the least).
    unsigned buffer = GZ_BUFFER_BYTES;
    if (S_ISREG(st.st_mode) && st.st_size < static_cast<off_t>(GZ_BUFFER_BYTES))
        buffer = std::max(8192u, static_cast<unsigned>(st.st_size));
    gzbuffer(gz, buffer);

    Xraw *xraw = static_cast<Xraw *>(calloc(1, sizeof(Xraw)));
    if (!xraw) {
        fprintf(stderr, "Failed to create container for file '%s'.\n", filename);
        gzclose(gz);
        return nullptr;
    }
    memcpy(xraw->filename, filename, len + 1);

    if (!readInt(gz, &xraw->nx) || !readInt(gz, &xraw->ny) || !readInt(gz, &xraw->nz))
        return failLoad(gz, xraw, "Failed to read volume dimensions.\n");
    // Voxel sizes are carried as read, not-a-number and infinities included:
    // nothing in the toolkit turns a voxel size into a count or an index.
    if (!readFloat(gz, &xraw->dx) || !readFloat(gz, &xraw->dy) || !readFloat(gz, &xraw->dz))
        return failLoad(gz, xraw, "Failed to read voxel sizes.\n");

    long long n = countVoxels(xraw->nx, xraw->ny, xraw->nz);
    if (n < 0)
        return failLoad(gz, xraw, "");
    bool sized = S_ISREG(st.st_mode);
    if (sized) {
        long long limit = st.st_size;
        if (!gzdirect(gz))
            limit = st.st_size > INT_MAX / MAX_INFLATE_RATIO ? LLONG_MAX : st.st_size * MAX_INFLATE_RATIO;
        if (n > limit) {
            fprintf(stderr, "Volume of %d x %d x %d voxels is more than file '%s' can hold.\n", xraw->nx,
                    xraw->ny, xraw->nz, filename);
            return failLoad(gz, xraw, "");
        }
        unsigned char cmap[768];
        if (!gzdirect(gz) && inflateWholeFile(fd, static_cast<size_t>(st.st_size), n, &xraw->data, cmap)) {
            memcpy(xraw->cmap_r, cmap, 256);
            memcpy(xraw->cmap_g, cmap + 256, 256);
            memcpy(xraw->cmap_b, cmap + 512, 256);
            gzclose(gz);
            return xraw;
        }
        xraw->data = static_cast<unsigned char *>(malloc(std::max(n, 1LL)));
        if (!xraw->data)
            return failLoad(gz, xraw, "Failed to allocate storage for volume.\n");
        prefault(xraw->data, static_cast<size_t>(n));
        if (!readBytes(gz, xraw->data, static_cast<unsigned>(n)))
            return failLoad(gz, xraw, "Failed to read entire volume: inconsistent file.\n");
    } else {
        xraw->data = readGrowing(gz, n);
        if (!xraw->data)
            return failLoad(gz, xraw, "Failed to read entire volume: inconsistent file.\n");
    }

    if (!readBytes(gz, xraw->cmap_r, 256) || !readBytes(gz, xraw->cmap_g, 256) ||
        !readBytes(gz, xraw->cmap_b, 256))
        return failLoad(gz, xraw, "Failed reading embedded colour look-up table.\n");
    unsigned char scratch;
    gzread(gz, &scratch, 1);
    if (!gzeof(gz))
        return failLoad(gz, xraw, "Read data, but not at end of file.  Invalid state.\n");
    gzclose(gz);
    return xraw;
}

void showXraw(const Xraw *xraw)
{
    printf("XRW file: '%.*s'\n", XRW_NAME_LEN - 1, xraw->filename);
    printf("volume dimensions: %6d %6d %6d\n", xraw->nx, xraw->ny, xraw->nz);
    printf("      voxel sizes: %6.3f %6.3f %6.3f\n", xraw->dx, xraw->dy, xraw->dz);
    printf("total volume size: %6.1f %6.1f %6.1f\n", static_cast<float>(xraw->nx) * xraw->dx,
           static_cast<float>(xraw->ny) * xraw->dy, static_cast<float>(xraw->nz) * xraw->dz);
}

void freeXraw(Xraw *xraw)
{
    if (!xraw)
        return;
    free(xraw->data);
    free(xraw);
}

namespace {

bool writeWord(gzFile gz, const void *v)
{
    uint32_t w;
    memcpy(&w, v, 4);
    unsigned char b[4] = {static_cast<unsigned char>(w), static_cast<unsigned char>(w >> 8),
                          static_cast<unsigned char>(w >> 16), static_cast<unsigned char>(w >> 24)};
    return gzwrite(gz, b, 4) == 4;
}

bool writeBytes(gzFile gz, const void *buf, unsigned len)
{
    return len == 0 || gzwrite(gz, buf, len) == static_cast<int>(len);
}

} // namespace

// The record is written to a temporary file in the target's folder and
// renamed over the target only once complete, so a failed save leaves any
// existing file of that name as it was.
int saveXraw(const Xraw *xraw)
{
    if (!xraw) {
        fprintf(stderr, "Invalid xraw structure passed to saveXraw.\n");
        return -1;
    }
    if (!memchr(xraw->filename, '\0', XRW_NAME_LEN) || xraw->filename[0] == '\0') {
        fprintf(stderr, "Unable to create xraw output file.\n");
        return -1;
    }
    long long n = countVoxels(xraw->nx, xraw->ny, xraw->nz);
    if (n < 0)
        return -1;
    if (n > 0 && !xraw->data) {
        fprintf(stderr, "Xraw structure passed to saveXraw has no voxel data.\n");
        return -1;
    }

    SaveFile save;
    if (!beginSave(save, xraw->filename)) {
        fprintf(stderr, "Unable to create xraw output file.\n");
        return -1;
    }
    int gzfd = dup(save.fd);
    gzFile gz = gzfd < 0 ? nullptr : gzdopen(gzfd, "wb9");
    if (!gz) {
        if (gzfd >= 0)
            close(gzfd);
        abandonSave(save);
        fprintf(stderr, "Unable to create xraw output file.\n");
        return -1;
    }
    gzbuffer(gz, GZ_BUFFER_BYTES);

    const char *failure = nullptr;
    if (!writeWord(gz, &xraw->nx) || !writeWord(gz, &xraw->ny) || !writeWord(gz, &xraw->nz))
        failure = "Failed to write volume dimensions.\n";
    else if (!writeWord(gz, &xraw->dx) || !writeWord(gz, &xraw->dy) || !writeWord(gz, &xraw->dz))
        failure = "Failed to write voxel sizes.\n";
    else if (!writeBytes(gz, xraw->data, static_cast<unsigned>(n)))
        failure = "Failed to write entire volume.\n";
    else if (!writeBytes(gz, xraw->cmap_r, 256) || !writeBytes(gz, xraw->cmap_g, 256) ||
             !writeBytes(gz, xraw->cmap_b, 256))
        failure = "Failed writing colour look-up table.\n";
    // Closing flushes the last compressed block, which can fail too.
    if (gzclose(gz) != Z_OK && !failure)
        failure = "Failed to finish xraw output file.\n";
    if (!finishSave(save, !failure) && !failure)
        failure = "Unable to replace xraw output file.\n";
    if (failure) {
        fputs(failure, stderr);
        return -1;
    }
    return 0;
}
