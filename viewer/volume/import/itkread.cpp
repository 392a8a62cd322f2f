// NRRD, MetaImage and DICOM series through ITK's image IO classes,
// used directly (no factories, no image templates).
#include <itkGDCMImageIO.h>
#include <itkGDCMSeriesFileNames.h>
#include <itkMetaImageIO.h>
#include <itkNrrdImageIO.h>
#include <gdcmTrace.h>

#include <dirent.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <csignal>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "import.h"

namespace {

using itk::IOComponentEnum;
using itk::IOPixelEnum;

bool itkComponent(IOComponentEnum c, int *component)
{
    switch (c) {
    case IOComponentEnum::UCHAR: *component = IC_U8; return true;
    case IOComponentEnum::CHAR: *component = IC_I8; return true;
    case IOComponentEnum::USHORT: *component = IC_U16; return true;
    case IOComponentEnum::SHORT: *component = IC_I16; return true;
    case IOComponentEnum::UINT: *component = IC_U32; return true;
    case IOComponentEnum::INT: *component = IC_I32; return true;
    case IOComponentEnum::ULONG: case IOComponentEnum::ULONGLONG: *component = IC_U64; return true;
    case IOComponentEnum::LONG: case IOComponentEnum::LONGLONG: *component = IC_I64; return true;
    case IOComponentEnum::FLOAT: *component = IC_F32; return true;
    case IOComponentEnum::DOUBLE: *component = IC_F64; return true;
    default: return false;
    }
}

// An ITK exception's description on one line, without the
// "itk::ERROR: NrrdImageIO(0x...): " prefix that says nothing to a user.
std::string oneLine(const itk::ExceptionObject &e)
{
    std::string s = e.GetDescription(), out;
    size_t at = 0;
    while (at <= s.size()) {
        size_t nl = s.find('\n', at);
        std::string line = s.substr(at, nl == std::string::npos ? std::string::npos : nl - at);
        for (const char *prefix : {"ITK ERROR: ", "itk::ERROR: "}) {
            size_t cls = line.find("): ");
            if (line.compare(0, std::strlen(prefix), prefix) == 0 && cls != std::string::npos)
                line = line.substr(cls + 3);
        }
        size_t a = line.find_first_not_of(" \t\r"), b = line.find_last_not_of(" \t\r");
        if (a != std::string::npos)
            out += (out.empty() ? "" : " ") + line.substr(a, b - a + 1);
        if (nl == std::string::npos)
            break;
        at = nl + 1;
    }
    return out.size() > 240 ? out.substr(0, 240) + "..." : out;
}

std::string folderOf(const std::string &path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string trim(const std::string &s)
{
    size_t a = s.find_first_not_of(" \t\r"), b = s.find_last_not_of(" \t\r");
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

// Where a NRRD or MetaImage header keeps its voxels, and how.
struct DataSource {
    std::string file;       // the data file (the header's own for attached data)
    long long offset = 0;   // where the data start in it
    long long bytes = -1;   // how many bytes it holds from there; -1: missing
    bool compressed = false;
    bool inflatable = false; // a gzip or zlib stream we can check through
    bool several = false;    // a list or numbered pattern of files
    std::string fault;       // a header value the readers would mishandle
};

// The regular files of a folder together.
long long folderBytes(const std::string &dir)
{
    long long sum = 0;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d))
            sum += std::max(fileBytes((dir + "/" + e->d_name).c_str()), 0LL);
        closedir(d);
    }
    return sum;
}

DataSource headerData(const char *path, int format)
{
    DataSource src;
    std::ifstream in(path, std::ios::binary);
    std::string line, dataFile;
    long long headerEnd = 0;
    for (int lines = 0; lines < 200 && std::getline(in, line); lines++) {
        headerEnd = in.good() ? static_cast<long long>(in.tellg()) : fileBytes(path);
        if (format == IMPORT_NRRD && trim(line).empty())
            break; // the attached data start after the empty line
        size_t sep = line.find(format == IMPORT_NRRD ? ':' : '=');
        if (sep == std::string::npos)
            continue;
        std::string key = trim(line.substr(0, sep)), value = trim(line.substr(sep + 1));
        if (format == IMPORT_NRRD && !value.empty() && value[0] == '=')
            continue; // key:=value pairs
        if (format == IMPORT_NRRD) {
            if (key == "encoding") {
                src.compressed = value != "raw";
                src.inflatable = value == "gzip" || value == "gz";
            } else if (key == "data file" || key == "datafile") {
                dataFile = value;
            }
        } else {
            // MetaIO reads NDims values for every dimension-sized field
            // without bounds: a negative count runs for ever.
            if (key == "NDims" || key == "ElementNumberOfChannels") {
                char *end;
                long v = std::strtol(value.c_str(), &end, 10);
                long most = key == "NDims" ? 16 : 4;
                if (end == value.c_str() || v < 1 || v > most)
                    src.fault = key + " must be a whole number from 1 to " + std::to_string(most);
            }
            if (key == "CompressedData")
                src.compressed = src.inflatable = value == "True" || value == "true";
            else if (key == "ElementDataFile") {
                dataFile = value;
                break; // the last header line
            }
        }
    }
    if (dataFile.empty() || dataFile == "LOCAL") {
        src.file = path;
        src.offset = headerEnd;
        src.bytes = std::max(fileBytes(path) - headerEnd, 0LL);
    } else if (dataFile.find(' ') != std::string::npos || dataFile.find('%') != std::string::npos ||
               dataFile.compare(0, 4, "LIST") == 0) {
        src.several = true;
        src.inflatable = false;
        src.bytes = folderBytes(folderOf(path));
    } else {
        src.file = dataFile[0] == '/' ? dataFile : folderOf(path) + "/" + dataFile;
        src.bytes = fileBytes(src.file.c_str());
    }
    return src;
}

// The length of a DICOM file's last Pixel Data element: -1 when it is
// undefined (encapsulated, compressed data), -2 when the element is missing
// or runs past the end of the file (GDCM reads a cut-off element without
// complaint).
long long dicomPixelDataBytes(const char *name)
{
    std::ifstream in(name, std::ios::binary);
    std::string f((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string tag("\xe0\x7f\x10\x00", 4);
    size_t at = f.rfind(tag);
    if (at == std::string::npos || at + 12 > f.size())
        return -2;
    unsigned long long len;
    const unsigned char *p = reinterpret_cast<const unsigned char *>(f.data()) + at + 4;
    if ((p[0] == 'O' && (p[1] == 'W' || p[1] == 'B')) || (p[0] == 'U' && p[1] == 'N')) {
        len = p[4] | p[5] << 8 | p[6] << 16 | static_cast<unsigned long long>(p[7]) << 24;
        at += 12;
    } else {
        len = p[0] | p[1] << 8 | p[2] << 16 | static_cast<unsigned long long>(p[3]) << 24;
        at += 8;
    }
    if (len == 0xffffffffULL)
        return -1;
    return at + len <= f.size() ? static_cast<long long>(len) : -2;
}

struct ImageInfo {
    std::vector<unsigned long long> dims;
    int component = 0, layout = IL_SCALAR, pixelBytes = 0;
};

// The component type, layout and sizes of an IO whose information is read;
// -1 after a message for the voxel types we do not show.
int describeImage(const char *path, itk::ImageIOBase *io, ImageInfo *info)
{
    if (!itkComponent(io->GetComponentType(), &info->component)) {
        std::fprintf(stderr, "'%s': voxel component type %s is not supported.\n", path,
                     itk::ImageIOBase::GetComponentTypeAsString(io->GetComponentType()).c_str());
        return -1;
    }
    unsigned comps = io->GetNumberOfComponents();
    IOPixelEnum pt = io->GetPixelType();
    if (comps == 1)
        info->layout = IL_SCALAR;
    else if (comps == 3 && (pt == IOPixelEnum::RGB || pt == IOPixelEnum::VECTOR))
        info->layout = IL_RGB;
    else if (comps == 4 && (pt == IOPixelEnum::RGBA || pt == IOPixelEnum::VECTOR))
        info->layout = IL_RGBA;
    else if (comps == 2 && pt == IOPixelEnum::COMPLEX)
        info->layout = IL_COMPLEX;
    else {
        std::fprintf(stderr, "'%s': %u-component %s voxels are not supported (refused).\n", path, comps,
                     itk::ImageIOBase::GetPixelTypeAsString(pt).c_str());
        return -1;
    }
    info->pixelBytes = importComponentBytes(info->component) * static_cast<int>(comps);
    unsigned nd = io->GetNumberOfDimensions();
    if (nd < 1 || nd > 16) {
        std::fprintf(stderr, "'%s': %u dimensions are not supported.\n", path, nd);
        return -1;
    }
    for (unsigned d = 0; d < nd; d++)
        info->dims.push_back(io->GetDimensions(d));
    return 0;
}

// Voxel count of every dimension together; -1 after a message on overflow.
long long totalVoxels(const char *path, const ImageInfo &info)
{
    long long total = 1;
    for (unsigned long long d : info.dims) {
        if (d < 1 || d > (1ULL << 50) || static_cast<unsigned long long>(total) > (1ULL << 50) / d) {
            std::fprintf(stderr, "'%s': sizes are zero or their product overflows.\n", path);
            return -1;
        }
        total *= static_cast<long long>(d);
    }
    return total;
}

// The header of a file through io, described; the voxel count of all its
// dimensions, or -1 after a message.
long long readInformation(const char *name, itk::ImageIOBase *io, ImageInfo *info)
{
    io->SetFileName(name);
    io->ReadImageInformation();
    if (describeImage(name, io, info) != 0)
        return -1;
    return totalVoxels(name, *info);
}

// Reads the whole of an IO's image into buf.
void readWhole(itk::ImageIOBase *io, const ImageInfo &info, std::vector<char> *buf, long long total)
{
    itk::ImageIORegion region(static_cast<unsigned>(info.dims.size()));
    for (unsigned d = 0; d < info.dims.size(); d++) {
        region.SetIndex(d, 0);
        region.SetSize(d, info.dims[d]);
    }
    io->SetIORegion(region);
    buf->assign(static_cast<size_t>(total) * info.pixelBytes, 0);
    io->Read(buf->data());
}

void sayConversion(const char *path, int layout)
{
    if (layout == IL_RGB || layout == IL_RGBA)
        std::fprintf(stderr, "'%s': RGB voxels, shown as their luminance.\n", path);
    else if (layout == IL_COMPLEX)
        std::fprintf(stderr, "'%s': complex voxels, shown as their magnitude.\n", path);
}

// Index-to-world from an IO's origin, spacing and direction (axis d is
// column d); -1 after a message when a value is not finite.
int geometry(const char *path, itk::ImageIOBase *io, ImportedImage *img)
{
    unsigned nd = std::min(io->GetNumberOfDimensions(), 3u);
    for (unsigned c = 0; c < 3; c++) {
        double s = c < nd ? io->GetSpacing(c) : 1.0;
        img->spacing[c] = std::isfinite(s) && s > 0 ? s : 1.0;
    }
    for (unsigned r = 0; r < 3; r++) {
        img->matrix[r][3] = r < nd ? io->GetOrigin(r) : 0.0;
        for (unsigned c = 0; c < 3; c++) {
            double dir = r == c ? 1.0 : 0.0;
            if (c < nd && r < nd)
                dir = io->GetDirection(c)[r];
            img->matrix[r][c] = dir * img->spacing[c];
        }
    }
    for (auto &row : img->matrix)
        for (double v : row)
            if (!std::isfinite(v)) {
                std::fprintf(stderr, "'%s': the header's transform is not finite.\n", path);
                return -1;
            }
    return 0;
}

int readSingle(const char *path, int format, ImportedImage *img)
{
    itk::ImageIOBase::Pointer io;
    if (format == IMPORT_NRRD)
        io = itk::NrrdImageIO::New();
    else
        io = itk::MetaImageIO::New();
    DataSource src = headerData(path, format);
    if (!src.fault.empty()) {
        std::fprintf(stderr, "'%s': %s.\n", path, src.fault.c_str());
        return -1;
    }
    if (src.bytes < 0) {
        std::fprintf(stderr, "'%s': its data file '%s' is missing.\n", path, src.file.c_str());
        return -1;
    }
    ImageInfo info;
    long long total = readInformation(path, io, &info);
    if (total < 0)
        return -1;
    long long nx = info.dims[0], ny = info.dims.size() > 1 ? info.dims[1] : 1,
              nz = info.dims.size() > 2 ? info.dims[2] : 1;
    long long n = checkImportSizes(path, nx, ny, nz);
    if (n < 0 || checkVoxelBytes(path, total * info.pixelBytes, src.bytes, src.compressed || src.several) != 0)
        return -1;
    // The readers take a cut-off stream without complaint: check it first.
    if (src.inflatable && checkCompressedData(src.file.c_str(), src.offset, total * info.pixelBytes) != 0)
        return -1;
    if (geometry(path, io, img) != 0)
        return -1;
    std::vector<char> buf;
    readWhole(io, info, &buf, total);
    if (total > n)
        std::fprintf(stderr, "'%s': %zu-D file, showing the first of %lld volumes.\n", path, info.dims.size(),
                     total / n);
    sayConversion(path, info.layout);
    convertVoxels(buf.data(), info.component, info.layout, static_cast<size_t>(n), &img->values);
    img->nx = static_cast<int>(nx);
    img->ny = static_cast<int>(ny);
    img->nz = static_cast<int>(nz);
    return 0;
}

std::string absolutePath(const std::string &p)
{
    char *r = realpath(p.c_str(), nullptr);
    std::string s = r ? r : p;
    free(r);
    return s;
}

// A DICOM series: every slice of a folder's largest series, or of the
// series a given file belongs to, in the order of their positions.
int readDicom(const char *path, ImportedImage *img)
{
    struct stat st;
    bool folder = stat(path, &st) == 0 && S_ISDIR(st.st_mode);
    std::string dir = folder ? std::string(path) : folderOf(path);
    auto names = itk::GDCMSeriesFileNames::New();
    names->SetUseSeriesDetails(true);
    names->SetDirectory(dir);
    const std::vector<std::string> &uids = names->GetSeriesUIDs();
    if (uids.empty()) {
        std::fprintf(stderr, "'%s': no DICOM series found.\n", path);
        return -1;
    }
    std::vector<std::string> files;
    std::string self = folder ? std::string() : absolutePath(path);
    size_t largest = 0;
    for (const std::string &uid : uids) {
        std::vector<std::string> f = names->GetFileNames(uid);
        if (!folder) {
            for (const std::string &name : f)
                if (absolutePath(name) == self)
                    files = f;
        } else if (f.size() > largest) {
            largest = f.size();
            files = f;
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "'%s': not part of a readable DICOM series.\n", path);
        return -1;
    }
    if (folder && uids.size() > 1)
        std::fprintf(stderr, "'%s': %zu DICOM series, reading the largest (%zu slices).\n", path, uids.size(),
                     files.size());
    long long have = 0;
    for (const std::string &name : files)
        have += std::max(fileBytes(name.c_str()), 0LL);

    std::vector<double> firstOrigin(3, 0.0), lastOrigin(3, 0.0);
    ImageInfo first;
    long long sliceVoxels = 0, n = 0;
    std::vector<char> buf;
    for (size_t s = 0; s < files.size(); s++) {
        const char *name = files[s].c_str();
        auto io = itk::GDCMImageIO::New();
        ImageInfo info;
        long long total = readInformation(name, io, &info);
        if (total < 0)
            return -1;
        // Uncompressed pixel data must be all there (encapsulated data
        // have no length of their own and GDCM's decoders check them).
        long long pixelBytes = dicomPixelDataBytes(name);
        int stored = IC_U8;
        itkComponent(io->GetInternalComponentType(), &stored);
        long long storedBytes = total * importComponentBytes(stored) * static_cast<long long>(io->GetNumberOfComponents());
        if (pixelBytes == -2 || (pixelBytes >= 0 && pixelBytes < storedBytes)) {
            std::fprintf(stderr, "'%s': DICOM pixel data missing or cut short.\n", name);
            return -1;
        }
        if (s == 0) {
            first = info;
            sliceVoxels = total;
            long long nz = files.size() > 1 ? static_cast<long long>(files.size())
                                            : (info.dims.size() > 2 ? static_cast<long long>(info.dims[2]) : 1);
            n = checkImportSizes(path, info.dims[0], info.dims.size() > 1 ? info.dims[1] : 1, nz);
            if (n < 0 || (files.size() > 1 && total * static_cast<long long>(files.size()) != n) ||
                checkVoxelBytes(path, n * info.pixelBytes, have, true) != 0) {
                if (n >= 0 && files.size() > 1 && total * static_cast<long long>(files.size()) != n)
                    std::fprintf(stderr, "'%s': slices of a series must hold one frame each.\n", name);
                return -1;
            }
            if (geometry(path, io, img) != 0)
                return -1;
            img->values.reserve(static_cast<size_t>(n));
            for (int a = 0; a < 3; a++)
                firstOrigin[a] = io->GetOrigin(a);
        } else if (info.dims != first.dims || info.component != first.component || info.layout != first.layout) {
            std::fprintf(stderr, "'%s': slice differs in size or voxel type from the first of the series.\n",
                         name);
            return -1;
        }
        for (int a = 0; a < 3; a++)
            lastOrigin[a] = io->GetOrigin(a);
        readWhole(io, info, &buf, total);
        convertVoxels(buf.data(), info.component, info.layout, static_cast<size_t>(total), &img->values);
    }
    sayConversion(path, first.layout);
    img->nx = static_cast<int>(first.dims[0]);
    img->ny = first.dims.size() > 1 ? static_cast<int>(first.dims[1]) : 1;
    img->nz = static_cast<int>(n / (static_cast<long long>(img->nx) * img->ny));
    if (files.size() > 1) {
        // Slice spacing from the first and last positions along the normal.
        double dist = 0;
        for (int a = 0; a < 3; a++)
            dist += (lastOrigin[a] - firstOrigin[a]) * (img->matrix[a][2] / img->spacing[2]);
        double dz = std::fabs(dist) / static_cast<double>(files.size() - 1);
        if (std::isfinite(dz) && dz > 0) {
            for (int a = 0; a < 3; a++)
                img->matrix[a][2] = img->matrix[a][2] / img->spacing[2] * dz;
            img->spacing[2] = dz;
        }
    }
    (void)sliceVoxels;
    return 0;
}

} // namespace

namespace {

[[maybe_unused]] void limitChildMemoryNow(const char *path)
{
    struct stat st;
    bool folder = stat(path, &st) == 0 && S_ISDIR(st.st_mode);
    long long files = folderBytes(folder ? std::string(path) : folderOf(path));
    long long pages = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%lld", &pages) != 1)
            pages = 0;
        std::fclose(f);
    }
    long double budget = static_cast<long double>(pages) * sysconf(_SC_PAGESIZE) + (1LL << 30) +
                         9.0L * 1032.0L * static_cast<long double>(files);
    if (pages <= 0 || budget > 9e18L)
        return;
    struct rlimit as = {static_cast<rlim_t>(budget), static_cast<rlim_t>(budget)};
    setrlimit(RLIMIT_AS, &as);
}

// One reader call with ITK's exceptions turned into a message.
int readCaught(const char *path, int format, ImportedImage *img)
{
    try {
        return format == IMPORT_DICOM ? readDicom(path, img) : readSingle(path, format, img);
    } catch (const itk::ExceptionObject &e) {
        std::fprintf(stderr, "'%s': %s\n", path, oneLine(e).c_str());
    } catch (const std::bad_alloc &) {
        std::fprintf(stderr, "'%s': out of memory.\n", path);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "'%s': %s\n", path, e.what());
    }
    img->values.clear();
    return -1;
}

bool writeAll(int fd, const void *buf, size_t n)
{
    const char *p = static_cast<const char *>(buf);
    while (n > 0) {
        ssize_t w = write(fd, p, n);
        if (w <= 0)
            return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

bool readAll(int fd, void *buf, size_t n)
{
    char *p = static_cast<char *>(buf);
    while (n > 0) {
        ssize_t r = read(fd, p, n);
        if (r <= 0)
            return false;
        p += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

// Address space for the child: what it has now, 1 GiB, and room for the
// voxels of its folder's files at deflate's largest ratio (voxels, their
// float copy and their bytes). Not under AddressSanitizer, whose shadow
// memory needs the address space.
void limitChildMemory(const char *path)
{
#if defined(__SANITIZE_ADDRESS__)
    (void)path;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    (void)path;
#else
    limitChildMemoryNow(path);
#endif
#else
    limitChildMemoryNow(path);
#endif
}

struct Geometry {
    int nx, ny, nz;
    double spacing[3];
    double matrix[4][4];
};

// ITK's readers are not all safe on malformed files: GDCM stops the
// process with a failed assertion, MetaIO overruns fixed buffers, and a
// DICOM folder may hold any file. So they run in a child process, which
// sends the volume back through a pipe and its messages through a memory
// file; a child that dies leaves one line and -1.
int readContained(const char *path, int format, ImportedImage *img)
{
    int fds[2];
    int messages = memfd_create("xrwimport", 0);
    if (messages < 0 || pipe(fds) != 0) {
        if (messages >= 0)
            close(messages);
        return readCaught(path, format, img);
    }
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t pid = fork();
    if (pid == 0) {
        // An assertion ends the child by its signal, whatever handlers the
        // parent set up (a fuzzer's, say).
        signal(SIGABRT, SIG_DFL);
        signal(SIGALRM, SIG_DFL);
        // and leaves no core file behind (writing one takes seconds). A
        // reader that hangs is stopped, and one that asks for memory past
        // what the files could need (GDCM believes element lengths) fails.
        struct rlimit none = {0, 0};
        setrlimit(RLIMIT_CORE, &none);
        alarm(static_cast<unsigned>(importReaderSeconds));
        limitChildMemory(path);
        close(fds[0]);
        dup2(messages, 2);
        ImportedImage child;
        int rc = readCaught(path, format, &child);
        std::fflush(stderr);
        Geometry g{child.nx, child.ny, child.nz, {}, {}};
        std::memcpy(g.spacing, child.spacing, sizeof g.spacing);
        std::memcpy(g.matrix, child.matrix, sizeof g.matrix);
        bool ok = rc == 0 && writeAll(fds[1], &g, sizeof g) &&
                  writeAll(fds[1], child.values.data(), child.values.size() * sizeof(float));
        _exit(ok ? 0 : rc == 0 ? 4 : 3);
    }
    close(fds[1]);
    bool got = false;
    if (pid > 0) {
        Geometry g;
        got = readAll(fds[0], &g, sizeof g) && g.nx >= 1 && g.ny >= 1 && g.nz >= 1 &&
              static_cast<long long>(g.nx) * g.ny * g.nz <= 2147483647LL;
        if (got) {
            img->nx = g.nx;
            img->ny = g.ny;
            img->nz = g.nz;
            std::memcpy(img->spacing, g.spacing, sizeof g.spacing);
            std::memcpy(img->matrix, g.matrix, sizeof g.matrix);
            img->values.resize(static_cast<size_t>(g.nx) * g.ny * g.nz);
            got = readAll(fds[0], img->values.data(), img->values.size() * sizeof(float));
        }
    }
    close(fds[0]);
    int status = 0;
    bool exited = pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status);
    if (exited && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 3)) {
        // The child's own messages, as it wrote them.
        char buf[4096];
        ssize_t n;
        lseek(messages, 0, SEEK_SET);
        while ((n = read(messages, buf, sizeof buf)) > 0)
            std::fwrite(buf, 1, static_cast<size_t>(n), stderr);
    }
    close(messages);
    if (pid < 0)
        return readCaught(path, format, img);
    int code = exited ? WEXITSTATUS(status) : -1;
    if (code == 0 && got)
        return 0;
    img->values.clear();
    // 3: the reader refused the file and said why; anything else is a
    // reader that broke down (a signal, a sanitizer's report).
    if (code != 3) {
        if (WIFSIGNALED(status))
            std::fprintf(stderr, "'%s': the %s reader broke down on this file (signal %d).\n", path,
                         importFormatName(format), WTERMSIG(status));
        else
            std::fprintf(stderr, "'%s': the %s reader broke down on this file (status %d).\n", path,
                         importFormatName(format), code);
    }
    return -1;
}

} // namespace

int readItkImage(const char *path, int format, ImportedImage *img)
{
    itk::Object::GlobalWarningDisplayOff();
    gdcm::Trace::WarningOff();
    gdcm::Trace::ErrorOff();
    gdcm::Trace::DebugOff();
    return readContained(path, format, img);
}
