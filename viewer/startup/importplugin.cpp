// xrwview's reader of other volume formats, opened as a plug-in the first
// time a file is not XRW: XRW runs never load the import library and what
// it brings (ITK, GDCM, the NIfTI and TIFF libraries).
#include "startup.h"
#include "xrw.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

#ifndef XRW_BIN_TO_LIB
#define XRW_BIN_TO_LIB "../lib"
#endif
#ifndef XRW_IMPORT_PLUGIN
#define XRW_IMPORT_PLUGIN "xrwview-import.so"
#endif

// The folder of the running program, "" when unknown.
std::string programFolder()
{
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return "";
    std::string path(buf, static_cast<size_t>(n));
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

VolumeImporter openImportPlugin()
{
    std::string dir = programFolder();
    if (dir.empty()) {
        std::fprintf(stderr,
                     "xrwview: cannot find the program's folder, so no import plug-in: reading as XRW.\n");
        return nullptr;
    }
    std::string tried, why;
    for (const char *sub : {"", "/" XRW_BIN_TO_LIB, "/../lib"}) {
        std::string path = dir + sub + "/" XRW_IMPORT_PLUGIN;
        if (tried.find(path + ",") != std::string::npos)
            continue;
        tried += path + ",";
        if (access(path.c_str(), F_OK) != 0)
            continue;
        void *lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!lib) {
            const char *e = dlerror();
            why = e ? e : path;
            break;
        }
        void *entry = dlsym(lib, "xrwImportVolume");
        if (entry)
            return reinterpret_cast<VolumeImporter>(entry);
        why = path + ": no xrwImportVolume";
        break;
    }
    if (why.empty())
        why = "no " XRW_IMPORT_PLUGIN " beside " + dir;
    std::fprintf(stderr, "xrwview: import plug-in not loaded (%s): reading as XRW.\n", why.c_str());
    return nullptr;
}

} // namespace

int importThroughPlugin(const char *path, const float *window, int matrixGiven, Xraw **xraw, float m[4][4],
                        double used[2], FileValues *values)
{
    // A whole XRW file needs no importer; anything else is the plug-in's to
    // recognise (it answers 0 for what it does not know, read as XRW then).
    if (looksLikeXraw(path))
        return 0;
    static bool tried = false;
    static VolumeImporter plugin = nullptr;
    if (!tried) {
        tried = true;
        plugin = openImportPlugin();
    }
    return plugin ? plugin(path, window, matrixGiven, xraw, m, used, values) : 0;
}
