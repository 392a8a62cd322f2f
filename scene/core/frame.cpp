// The frame loop shared by every platform: keys, callbacks and counting.
#include <cstdio>

#include "files.h"
#include "panels.h"

namespace vq {

namespace {

const char *kViewFileName = "vqscene.view";
const char *kSceneFileName = "vqscene.wrl";
const char *kGltfFileName = "vqscene.glb";

void deliverKey(Scene &s, unsigned char key)
{
    if (key == ' ') {
        s.spaceCount++;
        return;
    }
    if (key >= '0' && key <= '9') {
        int digit = key - '0';
        if (s.numberFunc)
            s.numberFunc(&digit);
        return;
    }
    unsigned char k = key;
    if (s.keyFunc && s.keyFunc(&k) != 0)
        return;
    libraryKey(s, key);
}

void countFrame(Scene &s)
{
    FrameStats st;
    for (int i = 0; i < static_cast<int>(s.panels.size()); i++) {
        const PrimList &l = s.panels[i].frameList;
        for (const PointSet &p : l.points)
            st.points += static_cast<long>(p.p.size());
        for (const Polyline &p : l.lines)
            st.lines += static_cast<long>(p.p.size()) - 1;
        st.thickLines += static_cast<long>(l.thickLines.size());
        // A line set counts its segments, as thick lines drawn one by one would.
        for (const LineSetDraw &d : l.lineSets)
            if (d.set >= 0 && d.set < static_cast<int>(s.lineSets.size()))
                st.thickLines += s.lineSets[d.set].segments;
        st.facets += static_cast<long>(l.facets.size());
        st.texPolys += static_cast<long>(l.texPolys.size());
        const Camera &c = panelCamera(s, i);
        for (const VolumeDraw &d : l.volumes) {
            if (d.vol < 0 || d.vol >= static_cast<int>(s.volumes.size()))
                continue;
            const Volume &v = s.volumes[d.vol];
            // Each call draws its own axis's set: always with prc 1, with
            // prc 0 only when that axis faces the viewer.
            if (sliceSetShown(c, v, d))
                st.volSlices += sliceCount(v, d.axis);
        }
    }
    s.stats = st;
}

void printKeys()
{
    std::fprintf(stderr,
                 "vqscene keys:\n"
                 "  q, Esc   quit\n"
                 "  Tab      switch to the next panel\n"
                 "  s        save a screenshot\n"
                 "  w        write the view to %s\n"
                 "  r        reset the camera\n"
                 "  P        export the scene as VRML to %s and glTF to %s\n"
                 "  h        this list\n"
                 "  space    counted for the program; 0-9 go to the program\n",
                 kViewFileName, kSceneFileName, kGltfFileName);
}

} // namespace

void pressKey(Scene &s, unsigned char key)
{
    s.keyQueue.push_back(key);
}

void libraryKey(Scene &s, unsigned char key)
{
    switch (key) {
    case 'q':
    case 27:
        s.quit = true;
        break;
    case '\t':
        if (!s.panels.empty())
            s.current = (s.current + 1) % static_cast<int>(s.panels.size());
        break;
    case 's':
        s.screenshotRequested = true;
        break;
    case 'w':
        if (kFileActions.writeView(kViewFileName) == 0)
            std::fprintf(stderr, "vqscene: view written to %s\n", kViewFileName);
        break;
    case 'r':
        resetCamera(s, s.current);
        break;
    case 'h':
        printKeys();
        break;
    case 'P':
        holdAllTexels(s);
        if (kFileActions.writeScene(s, kSceneFileName) == 0)
            std::fprintf(stderr, "vqscene: scene written to %s\n", kSceneFileName);
        if (kFileActions.writeScene(s, kGltfFileName) == 0)
            std::fprintf(stderr, "vqscene: scene written to %s\n", kGltfFileName);
        break;
    default:
        break;
    }
}

void runFrame(Scene &s)
{
    // Callbacks run one at a time; a frame asked for from inside one is refused.
    if (s.inFrame) {
        sceneError("a frame cannot start inside a frame callback");
        return;
    }
    s.frameStart = clockSeconds();
    // Default cameras follow the window's shape (it may have been resized).
    refitCameras(s);
    for (const auto &fk : s.opts.keys)
        if (fk.first == s.frameNo)
            s.keyQueue.push_back(fk.second);
    if (s.frameNo > 0 && s.opts.spin != 0)
        for (int i = 0; i < static_cast<int>(s.panels.size()); i++)
            if (cameraOwner(s, i) == i)
                orbitCamera(s, i, s.opts.spin, 0);
    // Keys pressed by a callback wait for the next frame.
    std::deque<unsigned char> keys;
    keys.swap(s.keyQueue);
    for (unsigned char k : keys)
        deliverKey(s, k);

    for (Panel &p : s.panels)
        p.frameList.clear();
    int saved = s.current;
    double t = frameTime(s);
    for (int i = 0; i < static_cast<int>(s.panels.size()); i++) {
        Panel &p = s.panels[i];
        if (!p.visible || !p.frameEnabled || !p.frameFunc)
            continue;
        // A panel's callback draws into that panel.
        s.current = i;
        s.inFrame = true;
        int kc = s.spaceCount;
        double tt = t;
        p.frameFunc(&tt, &kc);
        s.inFrame = false;
    }
    if (saved >= 0 && saved < static_cast<int>(s.panels.size()))
        s.current = saved;
    countFrame(s);
}

void endFrame(Scene &s)
{
    s.stats.ms = (clockSeconds() - s.frameStart) * 1000.0;
    s.stats.uploads = s.voxelUploads;
    if (s.opts.stats)
        std::fprintf(stderr, "%s\n", statsLine(s.frameNo, s.stats).c_str());
    s.frameNo++;
}

int finishRun(Scene &s, int status)
{
    if (s.opts.exportFile.empty())
        return status;
    if (!holdAllTexels(s) || kFileActions.writeScene(s, s.opts.exportFile.c_str()) != 0)
        return 1;
    return status;
}

bool headlessRun(const Options &o)
{
    return o.nodraw || !o.png.empty();
}

double frameTime(const Scene &s)
{
    if (headlessRun(s.opts))
        return s.frameNo / s.opts.fps;
    return s.frameStart - s.startTime;
}

long frameLimit(const Scene &s)
{
    if (s.opts.frames >= 0)
        return s.opts.frames;
    // A headless run has no window to close, so it runs until the last
    // --keys entry has been delivered (at least one frame).
    if (!headlessRun(s.opts))
        return -1;
    long last = 0;
    for (const auto &k : s.opts.keys)
        last = k.first > last ? k.first : last;
    return last + 1;
}

bool lastFrame(const Scene &s)
{
    long limit = frameLimit(s);
    return s.quit || (limit >= 0 && s.frameNo + 1 >= limit);
}

bool loopDone(const Scene &s)
{
    long limit = frameLimit(s);
    return s.quit || (limit >= 0 && s.frameNo >= limit);
}

std::string statsLine(long frame, const FrameStats &st)
{
    char line[256];
    std::snprintf(line, sizeof line,
                  "vqscene: frame=%ld points=%ld lines=%ld thicklines=%ld facets=%ld texpolys=%ld "
                  "volslices=%ld ms=%.3f uploads=%ld",
                  frame, st.points, st.lines, st.thickLines, st.facets, st.texPolys, st.volSlices, st.ms,
                  st.uploads);
    return line;
}

} // namespace vq
