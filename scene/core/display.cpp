// Opening the display: the library's own command-line options.
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "files.h"
#include "panels.h"

namespace vq {

namespace {

// Whole decimal int in [lo, hi]; nothing else in the text.
bool parseInt(const char *text, long lo, long hi, long *out)
{
    if (!text || !*text)
        return false;
    char *end = nullptr;
    errno = 0;
    long v = std::strtol(text, &end, 10);
    if (errno || *end || v < lo || v > hi)
        return false;
    *out = v;
    return true;
}

bool parseKey(const char *text, size_t len, unsigned char *key)
{
    if (len == 1) {
        *key = static_cast<unsigned char>(text[0]);
        return true;
    }
    struct Named {
        const char *word;
        unsigned char key;
    };
    static const Named named[] = {{"space", ' '}, {"tab", '\t'}, {"esc", 27}};
    for (const Named &n : named)
        if (std::strlen(n.word) == len && std::strncmp(text, n.word, len) == 0) {
            *key = n.key;
            return true;
        }
    return false;
}

} // namespace

int parseKeyList(const char *text, std::vector<std::pair<int, unsigned char>> &keys)
{
    std::vector<std::pair<int, unsigned char>> out;
    if (!text || !*text) {
        sceneError("--keys needs a list of FRAME:KEY entries");
        return -1;
    }
    const char *p = text;
    while (true) {
        const char *comma = std::strchr(p, ',');
        size_t len = comma ? static_cast<size_t>(comma - p) : std::strlen(p);
        std::string entry(p, len);
        size_t colon = entry.find(':');
        long frame = 0;
        unsigned char key = 0;
        if (colon == std::string::npos || !parseInt(entry.substr(0, colon).c_str(), 0, 1000000000, &frame) ||
            !parseKey(entry.c_str() + colon + 1, entry.size() - colon - 1, &key)) {
            sceneError("bad --keys entry '%s' (want FRAME:KEY, KEY a character, space, tab or esc)",
                       entry.c_str());
            return -1;
        }
        out.push_back({static_cast<int>(frame), key});
        if (!comma)
            break;
        p = comma + 1;
    }
    keys = out;
    return 0;
}

namespace {

// Each setter reads the option's value v (null when the option has none or
// it is missing) into o; false after its message.
bool setNoDraw(const char *, Options &o)
{
    o.nodraw = true;
    return true;
}

bool setStats(const char *, Options &o)
{
    o.stats = true;
    return true;
}

bool setFrames(const char *v, Options &o)
{
    long n = 0;
    if (!parseInt(v, 0, 1000000000, &n)) {
        sceneError("--frames needs a whole number of frames, 0 or more");
        return false;
    }
    o.frames = static_cast<int>(n);
    return true;
}

bool setKeys(const char *v, Options &o)
{
    if (!v) {
        sceneError("--keys needs a list of FRAME:KEY entries");
        return false;
    }
    return parseKeyList(v, o.keys) == 0;
}

bool setPng(const char *v, Options &o)
{
    if (!v || !*v) {
        sceneError("--png needs a file name");
        return false;
    }
    o.png = v;
    return true;
}

bool setSize(const char *v, Options &o)
{
    const char *x = v ? std::strchr(v, 'x') : nullptr;
    long w = 0, h = 0;
    if (!x || !parseInt(std::string(v, x - v).c_str(), 1, 16384, &w) || !parseInt(x + 1, 1, 16384, &h)) {
        sceneError("--size needs WIDTHxHEIGHT, each 1 to 16384 pixels");
        return false;
    }
    o.width = static_cast<int>(w);
    o.height = static_cast<int>(h);
    return true;
}

bool setSpin(const char *v, Options &o)
{
    char *end = nullptr;
    double d = v ? std::strtod(v, &end) : NAN;
    if (!v || !*v || *end || !std::isfinite(d)) {
        sceneError("--spin needs a number of degrees");
        return false;
    }
    o.spin = d;
    return true;
}

bool setExport(const char *v, Options &o)
{
    if (!v || !kFileActions.sceneFileName(v)) {
        sceneError("--export needs a file name ending in .glb, .gltf or .wrl");
        return false;
    }
    o.exportFile = v;
    return true;
}

bool setFps(const char *v, Options &o)
{
    char *end = nullptr;
    double d = v ? std::strtod(v, &end) : NAN;
    if (!v || !*v || *end || !std::isfinite(d) || d <= 0 || d > 1e6) {
        sceneError("--fps needs a number of frames a second, above 0 and at most 1000000");
        return false;
    }
    o.fps = d;
    return true;
}

} // namespace

const LibraryOption kLibraryOptions[] = {
    {"--png", "FILE", setPng},   {"--size", "WxH", setSize},    {"--frames", "N", setFrames},
    {"--keys", "LIST", setKeys}, {"--stats", "", setStats},      {"--spin", "DEG", setSpin},
    {"--nodraw", "", setNoDraw}, {"--export", "FILE", setExport}, {"--fps", "N", setFps},
};
const int kLibraryOptionCount = static_cast<int>(sizeof kLibraryOptions / sizeof kLibraryOptions[0]);

int parseOptions(int argc, char **argv, Options &out)
{
    Options o;
    if (argc < 0 || (argc > 0 && !argv))
        argc = 0;
    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        if (!a)
            continue;
        // Anything not in the table belongs to the program.
        for (const LibraryOption &opt : kLibraryOptions) {
            if (std::strcmp(a, opt.name) != 0)
                continue;
            bool takesValue = *opt.args != 0;
            const char *v = takesValue && i + 1 < argc ? argv[i + 1] : nullptr;
            if (!opt.set(v, o))
                return -1;
            i += takesValue;
            break;
        }
    }
    out = o;
    return 0;
}

} // namespace vq

using namespace vq;

extern "C" int vqopend(const char *device, int argc, char **argv)
{
    if (!device || (std::strcmp(device, "/?") != 0 && std::strcmp(device, "/vqmono") != 0)) {
        sceneError("unknown display device '%s' (use \"/?\" or \"/vqmono\")", device ? device : "(null)");
        return -1;
    }
    Scene &s = scene();
    Options o;
    if (parseOptions(argc, argv, o) != 0)
        return -1;
    s.opts = o;
    s.windowWidth = o.width;
    s.windowHeight = o.height;
    // Default cameras fit the window's shape now that it is known.
    refitCameras(s);
    s.open = true;
    s.startTime = clockSeconds();
    return 0;
}
