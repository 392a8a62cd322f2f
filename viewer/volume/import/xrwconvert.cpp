// xrwconvert IN OUT.xrw [-W lo hi] [-M OUT.matrix]: a NIfTI, NRRD,
// MetaImage, DICOM or TIFF volume through xrwview's import, saved as XRW
// and, when asked, its index-to-world matrix as an -M file.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "import.h"

namespace {

void convertUsage(const char *prog)
{
    std::fprintf(stderr, "usage: %s IN OUT.xrw [-W lo hi] [-M OUT.matrix]\n", prog);
}

bool parseReal(const char *s, double *v)
{
    char *end;
    *v = std::strtod(s, &end);
    return end != s && *end == '\0' && std::isfinite(*v);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        convertUsage(argv[0]);
        return 255;
    }
    const char *in = argv[1], *out = argv[2], *matrixOut = nullptr;
    double window[2];
    bool haveWindow = false;
    for (int i = 3; i < argc; i++) {
        if (std::strcmp(argv[i], "-W") == 0 && i + 2 < argc) {
            if (!parseReal(argv[i + 1], &window[0]) || !parseReal(argv[i + 2], &window[1]) ||
                !(window[0] < window[1])) {
                std::fprintf(stderr, "-W needs two finite numbers lo < hi!\n");
                return 255;
            }
            haveWindow = true;
            i += 2;
        } else if (std::strcmp(argv[i], "-M") == 0 && i + 1 < argc) {
            matrixOut = argv[++i];
        } else {
            convertUsage(argv[0]);
            return 255;
        }
    }
    if (recogniseVolumeFile(in) == IMPORT_NONE) {
        std::fprintf(stderr, "'%s': not a NIfTI, NRRD, MetaImage, DICOM or TIFF volume.\n", in);
        return 255;
    }
    ImportedVolume iv;
    if (importVolume(in, haveWindow ? window : nullptr, &iv) != 0)
        return 255;
    std::fprintf(stderr, "import: '%s': %s, window %g .. %g (%s)\n", in, importFormatName(iv.format), iv.lo, iv.hi,
                 haveWindow ? "-W" : "0.5th to 99.5th percentile");
    int rc = 0;
    std::snprintf(iv.xraw->filename, XRW_NAME_LEN, "%s", out);
    if (std::strlen(out) >= XRW_NAME_LEN) {
        std::fprintf(stderr, "File name of %zu characters is too long (at most %d).\n", std::strlen(out),
                     XRW_NAME_LEN - 1);
        rc = 255;
    } else if (saveXraw(iv.xraw) != 0) {
        rc = 255;
    } else if (matrixOut && writeMatrixFile(matrixOut, iv.matrix) != 0) {
        rc = 255;
    } else {
        showXraw(iv.xraw);
    }
    freeXraw(iv.xraw);
    return rc;
}
