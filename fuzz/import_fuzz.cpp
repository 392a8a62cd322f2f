// importVolume on arbitrary content: the header and metadata handling of
// every imported format (NIfTI through the NIfTI library, NRRD, MetaImage,
// DICOM and TIFF through ITK), recognised by content as in xrwview. The
// input goes to a file of its own folder (a DICOM file makes its folder a
// series); the bytes after a first "!DF!" go to data.raw beside it, for
// detached headers (.nhdr, .mhd, .hdr/.img as "data.raw").
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <string>

#include "fuzz_support.h"
#include "import.h"

namespace {

void writeFile(const std::string &path, const uint8_t *data, size_t size)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0 || !fuzz::writeAll(fd, data, size)) {
        std::perror("fuzz: writing input");
        std::abort();
    }
    close(fd);
}

} // namespace

// ITK's image IO leaks on some failed reads (MetaIO
// stream state); the same list is in tools/lsan.supp for the tests.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libITKMetaIO\nleak:libITKIOMeta\nleak:libITKNrrdIO\n"
           "leak:libITKIONRRD\nleak:libITKIOGDCM\nleak:libgdcm\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Compressed data may hold 1032 times their size, all of which is read:
    // larger inputs would only test the allocator.
    if (size > (1 << 16))
        return 0;
    // ITK's readers run in a child that stops after this long: a reader
    // that believes a huge length would otherwise run into the time limit.
    importReaderSeconds = 1;
    static const std::string dir = [] {
        std::string d = fuzz::tempPath("import");
        mkdir(d.c_str(), 0700);
        return d;
    }();
    const std::string in = dir + "/in", raw = dir + "/data.raw";
    const uint8_t *mark = static_cast<const uint8_t *>(memmem(data, size, "!DF!", 4));
    size_t head = mark ? static_cast<size_t>(mark - data) : size;
    writeFile(in, data, head);
    if (mark)
        writeFile(raw, mark + 4, size - head - 4);
    else
        unlink(raw.c_str());

    int format = recogniseVolumeFile(in.c_str());
    ImportedVolume iv;
    const double window[2] = {-1000, 1000};
    int rc = importVolume(in.c_str(), (size & 1) ? window : nullptr, &iv);
    if (rc != 0) {
        FUZZ_CHECK(iv.xraw == nullptr);
        return 0;
    }
    // What was read is a whole, sane byte volume of the recognised format.
    FUZZ_CHECK(format != IMPORT_NONE && iv.format == format);
    Xraw *x = iv.xraw;
    FUZZ_CHECK(x && x->data);
    FUZZ_CHECK(x->nx >= 1 && x->ny >= 1 && x->nz >= 1);
    long long n = static_cast<long long>(x->nx) * x->ny * x->nz;
    FUZZ_CHECK(n <= 2147483647LL);
    volatile unsigned char last = x->data[n - 1];
    (void)last;
    FUZZ_CHECK(std::isfinite(x->dx) && x->dx > 0 && std::isfinite(x->dy) && x->dy > 0 && std::isfinite(x->dz) &&
               x->dz > 0);
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++)
            FUZZ_CHECK(std::isfinite(iv.matrix[r][c]));
    FUZZ_CHECK(iv.lo <= iv.hi);
    FUZZ_CHECK(std::strcmp(x->filename, in.c_str()) == 0);
    freeXraw(x);
    return 0;
}
