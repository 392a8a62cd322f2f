// GIfTI surfaces and per-vertex data through the GIfTI library.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "overlay.h"
#include "surface_util.h"

#ifdef XRW_GIFTI
// The library's header has no C++ guard of its own.
extern "C" {
#include <gifti_io.h>
}

#include <dlfcn.h>

namespace {

// The GIfTI library, with the NIfTI library under it, is opened by its
// SONAME on the first GIfTI file, so that runs without one map neither.
struct GiftiCalls {
    decltype(&::gifti_set_verb) setVerb;
    decltype(&::gifti_read_image) readImage;
    decltype(&::gifti_free_image) freeImage;
    decltype(&::gifti_darray_nvals) darrayNvals;
    decltype(&::gifti_read_da_list) readDaList;
    decltype(&::gifti_read_extern_DA_data) readExternData;
    decltype(&::gifti_image_has_data) imageHasData;
};
GiftiCalls giftiCalls;

// True once the calls are there; else false after a line naming the file.
bool openGiftiLibrary(const char *fname)
{
    static int state = 0; // 1 open, -1 failed
    if (state == 0) {
        void *lib = dlopen(XRW_GIFTI_SONAME, RTLD_NOW | RTLD_LOCAL);
        auto find = [lib](auto &call, const char *name) {
            call =
                lib ? reinterpret_cast<std::remove_reference_t<decltype(call)>>(dlsym(lib, name)) : nullptr;
            return call != nullptr;
        };
        bool ok = find(giftiCalls.setVerb, "gifti_set_verb") &
                  find(giftiCalls.readImage, "gifti_read_image") &
                  find(giftiCalls.freeImage, "gifti_free_image") &
                  find(giftiCalls.darrayNvals, "gifti_darray_nvals") &
                  find(giftiCalls.readDaList, "gifti_read_da_list") &
                  find(giftiCalls.readExternData, "gifti_read_extern_DA_data") &
                  find(giftiCalls.imageHasData, "gifti_image_has_data");
        state = ok ? 1 : -1;
    }
    if (state < 0)
        fprintf(stderr, "'%s': the GIfTI library %s cannot be opened.\n", fname, XRW_GIFTI_SONAME);
    return state > 0;
}

#define gifti_set_verb giftiCalls.setVerb
#define gifti_read_image giftiCalls.readImage
#define gifti_free_image giftiCalls.freeImage
#define gifti_darray_nvals giftiCalls.darrayNvals
#define gifti_read_da_list giftiCalls.readDaList
#define gifti_read_extern_DA_data giftiCalls.readExternData
#define gifti_image_has_data giftiCalls.imageHasData

long long sizeOfFile(const char *path)
{
    struct stat st;
    if (!path || stat(path, &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return static_cast<long long>(st.st_size);
}

// The library writes its complaints to stderr itself, several lines at
// times; while it reads they go to a scratch file, and the first one is
// folded into the reader's own line.
struct StderrCatch {
    FILE *tmp = std::tmpfile();
    int saved = -1;
    StderrCatch()
    {
        std::fflush(stderr);
        if (tmp)
            saved = dup(2);
        if (saved >= 0)
            dup2(fileno(tmp), 2);
    }
    // The first line caught, without the library's "** " mark.
    std::string release()
    {
        std::fflush(stderr);
        if (saved >= 0) {
            dup2(saved, 2);
            close(saved);
            saved = -1;
        }
        std::string line;
        if (tmp) {
            std::rewind(tmp);
            char buf[200];
            if (std::fgets(buf, sizeof buf, tmp))
                line = buf;
            std::fclose(tmp);
            tmp = nullptr;
        }
        line.erase(0, line.find_first_not_of("* "));
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        return line;
    }
    ~StderrCatch() { release(); }
};

struct GiftiCloser {
    gifti_image *gim;
    ~GiftiCloser()
    {
        if (gim)
            gifti_free_image(gim);
    }
};

// Reads the file's structure, checks that each array's data can come from
// the file (or its external file) and then reads the data. Null after a
// message naming the file.
gifti_image *readGiftiHere(const char *fname)
{
    if (!openGiftiLibrary(fname))
        return nullptr;
    gifti_set_verb(0);
    long long have = sizeOfFile(fname);
    if (have < 0) {
        fprintf(stderr, "cannot open GIfTI file %s\n", fname);
        return nullptr;
    }
    StderrCatch caught;
    GiftiCloser head{gifti_read_image(fname, 0)};
    std::string why = caught.release();
    if (!head.gim) {
        fprintf(stderr, "'%s': malformed GIfTI file%s%s.\n", fname, why.empty() ? "" : ": ", why.c_str());
        return nullptr;
    }
    // An external data file is named relative to the GIfTI file.
    std::string path = fname,
                dir = path.rfind('/') == std::string::npos ? "" : path.substr(0, path.rfind('/') + 1);
    std::vector<int> internal;
    for (int i = 0; i < head.gim->numDA; i++) {
        giiDataArray *da = head.gim->darray[i];
        if (!da)
            continue;
        if (da->encoding == GIFTI_ENCODING_EXTBIN && da->ext_fname && da->ext_fname[0] != '/' &&
            !dir.empty()) {
            std::string ext = dir + da->ext_fname;
            char *copy = static_cast<char *>(std::malloc(ext.size() + 1));
            if (!copy) {
                fprintf(stderr, "'%s': out of memory.\n", fname);
                return nullptr;
            }
            std::memcpy(copy, ext.c_str(), ext.size() + 1);
            std::free(da->ext_fname);
            da->ext_fname = copy;
        }
        if (da->encoding != GIFTI_ENCODING_EXTBIN)
            internal.push_back(i);
        long long nvals = gifti_darray_nvals(da), need = nvals * da->nbyper;
        // Text takes at least two characters a value, base64 four for
        // three bytes, deflate at most 1032 bytes out of one.
        long long room = da->encoding == GIFTI_ENCODING_B64GZ    ? have * 1032
                         : da->encoding == GIFTI_ENCODING_EXTBIN ? sizeOfFile(da->ext_fname) - da->ext_offset
                         : da->encoding == GIFTI_ENCODING_ASCII  ? (have / 2 + 1) * da->nbyper
                                                                 : have;
        if (nvals < 0 || da->nbyper < 1 || need > room) {
            fprintf(stderr, "'%s': GIfTI array %d asks for %lld values, more than its data can hold.\n",
                    fname, i, nvals);
            return nullptr;
        }
    }
    // The arrays held in the file are read again with their data and take
    // the place of their data-less copies; external ones are read from
    // their own files.
    StderrCatch caughtData;
    bool ok = true;
    if (!internal.empty()) {
        GiftiCloser part{gifti_read_da_list(fname, 1, internal.data(), static_cast<int>(internal.size()))};
        ok = part.gim && part.gim->numDA == static_cast<int>(internal.size());
        for (size_t k = 0; ok && k < internal.size(); k++)
            std::swap(head.gim->darray[internal[k]], part.gim->darray[k]);
    }
    for (int i = 0; ok && i < head.gim->numDA; i++) {
        giiDataArray *da = head.gim->darray[i];
        if (da && da->encoding == GIFTI_ENCODING_EXTBIN) {
            // The structure-only read may have given it room already.
            std::free(da->data);
            da->data = nullptr;
            ok = gifti_read_extern_DA_data(da) == 0;
        }
    }
    why = caughtData.release();
    if (!ok || !gifti_image_has_data(head.gim)) {
        fprintf(stderr, "'%s': malformed or unreadable GIfTI data%s%s.\n", fname, why.empty() ? "" : ": ",
                why.c_str());
        return nullptr;
    }
    gifti_image *gim = head.gim;
    head.gim = nullptr;
    return gim;
}

// How the child says the library refused the file cleanly (not 1, which a
// sanitizer's crash report exits with).
constexpr int kGiftiRefused = 42;

// The GIfTI library dereferences null on some malformed files, so a file is
// first read in a child process: only a file the library got through
// there, failing or not, is read here. Null after a message naming the file.
gifti_image *readGifti(const char *fname)
{
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t pid = fork();
    if (pid == 0) {
        // The child's messages would be said twice; a hang ends by the alarm.
        int null = open("/dev/null", O_WRONLY);
        if (null >= 0)
            dup2(null, 2);
        alarm(60);
        gifti_image *gim = readGiftiHere(fname);
        _exit(gim ? 0 : kGiftiRefused);
    }
    int status = 0;
    bool finished = pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
                    (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == kGiftiRefused);
    if (pid > 0 && !finished) {
        fprintf(stderr, "'%s': malformed GIfTI file: the GIfTI library could not read it.\n", fname);
        return nullptr;
    }
    return readGiftiHere(fname);
}

// Element (row, col) of a two-dimensional array as a double.
double element(const giiDataArray *da, long long row, int col)
{
    long long rows = da->dims[0], cols = da->num_dim > 1 ? da->dims[1] : 1;
    long long k = da->ind_ord == GIFTI_IND_ORD_COL_MAJOR ? row + rows * col : row * cols + col;
    switch (da->datatype) {
    case NIFTI_TYPE_FLOAT32:
        return static_cast<const float *>(da->data)[k];
    case NIFTI_TYPE_FLOAT64:
        return static_cast<const double *>(da->data)[k];
    case NIFTI_TYPE_INT32:
        return static_cast<const int32_t *>(da->data)[k];
    case NIFTI_TYPE_UINT32:
        return static_cast<const uint32_t *>(da->data)[k];
    case NIFTI_TYPE_INT16:
        return static_cast<const int16_t *>(da->data)[k];
    case NIFTI_TYPE_UINT16:
        return static_cast<const uint16_t *>(da->data)[k];
    case NIFTI_TYPE_INT8:
        return static_cast<const int8_t *>(da->data)[k];
    case NIFTI_TYPE_UINT8:
        return static_cast<const uint8_t *>(da->data)[k];
    default:
        return NAN;
    }
}

bool knownType(int datatype)
{
    switch (datatype) {
    case NIFTI_TYPE_FLOAT32:
    case NIFTI_TYPE_FLOAT64:
    case NIFTI_TYPE_INT32:
    case NIFTI_TYPE_UINT32:
    case NIFTI_TYPE_INT16:
    case NIFTI_TYPE_UINT16:
    case NIFTI_TYPE_INT8:
    case NIFTI_TYPE_UINT8:
        return true;
    default:
        return false;
    }
}

// An array of n rows of 3 columns in a type read here.
bool isRowsOfThree(const giiDataArray *da)
{
    return da && da->data && knownType(da->datatype) && da->num_dim == 2 && da->dims[1] == 3 &&
           da->dims[0] >= 0;
}

} // namespace

Obj *loadObjFromGifti(const char *fname, const char *label, float r, float g, float b, float a)
{
    GiftiCloser file{readGifti(fname)};
    if (!file.gim)
        return nullptr;
    const giiDataArray *points = nullptr, *triangles = nullptr;
    for (int i = 0; i < file.gim->numDA; i++) {
        const giiDataArray *da = file.gim->darray[i];
        if (da && da->intent == NIFTI_INTENT_POINTSET && !points)
            points = da;
        else if (da && da->intent == NIFTI_INTENT_TRIANGLE && !triangles)
            triangles = da;
    }
    if (!points || !triangles || !isRowsOfThree(points) || !isRowsOfThree(triangles)) {
        fprintf(stderr, "'%s': GIfTI file without a point set and triangles of three columns.\n", fname);
        return nullptr;
    }
    long long nv = points->dims[0], nf = triangles->dims[0];
    if (nv > INT32_MAX || nf > INT32_MAX / 3) {
        fprintf(stderr, "'%s': GIfTI surface too large.\n", fname);
        return nullptr;
    }
    Obj *obj = newSizedObj(fname, "GIfTI", label, r, g, b, a, nv, nf);
    if (!obj)
        return nullptr;
    Point3 *verts = obj->verts;
    int *facets = obj->facets;
    // A coordinate system whose transform leads to another space moves the
    // points there; every NIfTI space is RAS.
    const giiCoordSystem *cs = points->numCS > 0 && points->coordsys ? points->coordsys[0] : nullptr;
    double m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    if (cs && cs->dataspace && cs->xformspace && std::strcmp(cs->dataspace, cs->xformspace) != 0) {
        bool finite = true;
        for (int i = 0; i < 4; i++)
            for (int j = 0; j < 4; j++)
                finite = finite && std::isfinite(cs->xform[i][j]);
        if (finite) {
            std::memcpy(m, cs->xform, sizeof m);
            fprintf(stderr, "'%s': coordinates moved from %s to %s\n", fname, cs->dataspace, cs->xformspace);
        }
    }
    for (long long i = 0; i < nv; i++)
        verts[i] = affinePoint(m, element(points, i, 0), element(points, i, 1), element(points, i, 2));
    for (long long i = 0; i < 3 * nf; i++) {
        double v = element(triangles, i / 3, static_cast<int>(i % 3));
        if (!(v >= 0 && v < static_cast<double>(nv))) {
            fprintf(stderr, "'%s': triangle %lld names vertex %g of %lld.\n", fname, i / 3, v, nv);
            freeObj(obj);
            return nullptr;
        }
        facets[i] = static_cast<int>(v) + 1;
    }
    rasToLpsObj(obj);
    return obj;
}

int readGiftiValues(const char *fname, std::vector<float> *values, std::vector<Colour3> *colours,
                    std::vector<char> *known)
{
    GiftiCloser file{readGifti(fname)};
    if (!file.gim)
        return -1;
    const giiLabelTable &table = file.gim->labeltable;
    for (int i = 0; i < file.gim->numDA; i++) {
        const giiDataArray *da = file.gim->darray[i];
        if (!da || !da->data || da->intent == NIFTI_INTENT_POINTSET || da->intent == NIFTI_INTENT_TRIANGLE ||
            !knownType(da->datatype) || da->num_dim < 1 || da->dims[0] < 0)
            continue;
        values->resize(static_cast<size_t>(da->dims[0]));
        for (long long k = 0; k < da->dims[0]; k++)
            (*values)[static_cast<size_t>(k)] = static_cast<float>(element(da, k, 0));
        // Labels with a coloured table: each vertex its key's colour.
        if (da->intent != NIFTI_INTENT_LABEL || !table.rgba || !table.key || table.length < 1)
            return 0;
        colours->assign(values->size(), Colour3{0, 0, 0});
        known->assign(values->size(), 0);
        for (size_t k = 0; k < values->size(); k++)
            for (int e = 0; e < table.length; e++)
                if (static_cast<float>(table.key[e]) == (*values)[k]) {
                    const float *c = table.rgba + 4 * e;
                    (*colours)[k] = Colour3{c[0], c[1], c[2]};
                    (*known)[k] = 1;
                    break;
                }
        values->clear();
        return 0;
    }
    fprintf(stderr, "'%s': GIfTI file without per-vertex data.\n", fname);
    return -1;
}

#else

Obj *loadObjFromGifti(const char *fname, const char *, float, float, float, float)
{
    fprintf(stderr, "'%s': GIfTI surfaces are not read by this build (no GIfTI library).\n", fname);
    return nullptr;
}

int readGiftiValues(const char *fname, std::vector<float> *, std::vector<Colour3> *, std::vector<char> *)
{
    fprintf(stderr, "'%s': GIfTI data are not read by this build (no GIfTI library).\n", fname);
    return -1;
}

#endif
