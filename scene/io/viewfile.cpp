// View files: the camera of the current panel as a small text file.
//
//     vqview 1
//     eye X Y Z
//     target X Y Z
//     up X Y Z
//     fovy DEGREES
//
// in scene coordinates. Blank lines and lines starting with '#' are
// skipped; each of the four entries must appear exactly once, with finite
// numbers and nothing after them. A file that breaks any rule leaves the
// camera as it was.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "save_file.h"
#include "model.h"

using namespace vq;

namespace {

// Numbers after the keyword: exactly n finite ones.
bool readNumbers(const char *text, int n, double *out)
{
    const char *p = text;
    for (int i = 0; i < n; i++) {
        char *end = nullptr;
        errno = 0;
        double v = std::strtod(p, &end);
        if (end == p || errno == ERANGE || !std::isfinite(v))
            return false;
        out[i] = v;
        p = end;
    }
    while (*p == ' ' || *p == '\t' || *p == '\r')
        p++;
    return *p == 0;
}

} // namespace

extern "C" int ReadViewFile(const char *name)
{
    if (!name) {
        sceneError("ReadViewFile: no file name");
        return -1;
    }
    FILE *f = std::fopen(name, "r");
    if (!f) {
        sceneError("cannot open view file '%s': %s", name, std::strerror(errno));
        return -1;
    }
    Scene &s = scene();
    Camera c = panelCamera(s, s.current);
    bool header = false, seen[4] = {false, false, false, false};
    const char *keys[4] = {"eye", "target", "up", "fovy"};
    char line[400];
    int lineNo = 0;
    std::string err;
    while (err.empty() && std::fgets(line, sizeof line, f)) {
        lineNo++;
        size_t len = std::strlen(line);
        if (len == sizeof line - 1 && line[len - 1] != '\n') {
            err = "line too long";
            break;
        }
        while (len && (line[len - 1] == '\n' || line[len - 1] == '\r'))
            line[--len] = 0;
        const char *p = line;
        while (*p == ' ' || *p == '\t')
            p++;
        if (!*p || *p == '#')
            continue;
        if (!header) {
            if (std::strcmp(p, "vqview 1") != 0)
                err = "first line is not \"vqview 1\"";
            header = true;
            continue;
        }
        int k = 0;
        while (k < 4 && !(std::strncmp(p, keys[k], std::strlen(keys[k])) == 0 &&
                          (p[std::strlen(keys[k])] == ' ' || p[std::strlen(keys[k])] == '\t')))
            k++;
        if (k == 4) {
            err = "unknown entry";
            break;
        }
        if (seen[k]) {
            err = std::string("second '") + keys[k] + "' entry";
            break;
        }
        seen[k] = true;
        double v[3];
        int n = k == 3 ? 1 : 3;
        if (!readNumbers(p + std::strlen(keys[k]), n, v)) {
            err = std::string("'") + keys[k] + "' needs " +
                  (n == 1 ? "one finite number" : "three finite numbers");
            break;
        }
        if (k == 3)
            c.fovy = v[0];
        else
            for (int a = 0; a < 3; a++)
                (k == 0 ? c.eye : k == 1 ? c.target : c.up)[a] = v[a];
    }
    bool readError = std::ferror(f);
    std::fclose(f);
    if (err.empty() && readError)
        err = "read error";
    if (err.empty() && !header)
        err = "empty file";
    for (int k = 0; err.empty() && k < 4; k++)
        if (!seen[k])
            err = std::string("no '") + keys[k] + "' entry";
    if (!err.empty()) {
        if (lineNo > 0 && err != "empty file" && err.compare(0, 3, "no ") != 0)
            sceneError("bad view file '%s' line %d: %s; camera unchanged", name, lineNo, err.c_str());
        else
            sceneError("bad view file '%s': %s; camera unchanged", name, err.c_str());
        return -1;
    }
    // The camera must look somewhere, with an up that is not along the view.
    Point3 dir{c.target[0] - c.eye[0], c.target[1] - c.eye[1], c.target[2] - c.eye[2]};
    Point3 up{c.up[0], c.up[1], c.up[2]};
    double cross = Modulus(CrossProduct(dir, up));
    if (!(c.fovy > 0 && c.fovy < 180) || !(Modulus(dir) > 0) ||
        !(cross > 1e-12 * Modulus(dir) * Modulus(up))) {
        sceneError("bad view file '%s': fovy must be in 0..180, eye and target apart, up not along the view; "
                   "camera unchanged",
                   name);
        return -1;
    }
    int owner = cameraOwner(s, s.current);
    s.panels[owner].camera = c;
    s.panels[owner].cameraUser = true;
    return 0;
}

extern "C" int WriteViewFile(const char *name)
{
    if (!name || !*name) {
        sceneError("WriteViewFile: no file name");
        return -1;
    }
    Scene &s = scene();
    const Camera &c = panelCamera(s, s.current);
    SaveFile save;
    FILE *f = beginSave(save, name) ? openSaveStream(save, "w") : nullptr;
    if (!f) {
        sceneError("cannot write view file '%s': %s", name, std::strerror(errno));
        abandonSave(save);
        return -1;
    }
    std::fprintf(
        f, "vqview 1\neye %.17g %.17g %.17g\ntarget %.17g %.17g %.17g\nup %.17g %.17g %.17g\nfovy %.17g\n",
        c.eye[0], c.eye[1], c.eye[2], c.target[0], c.target[1], c.target[2], c.up[0], c.up[1], c.up[2],
        c.fovy);
    errno = 0;
    if (!finishSave(save, !std::ferror(f))) {
        sceneError("cannot write view file '%s': %s", name, std::strerror(errno));
        return -1;
    }
    return 0;
}
