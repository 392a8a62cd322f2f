// The window platform: a GLUT window reached only through libvqwin. GLUT
// drives the frames from its idle callback, at most kMaxFps a second, and
// frames that show nothing new are left undrawn; the mouse steers the
// current panel's camera and keys go to the frame loop.
#include <GL/gl.h>
#include <GL/glext.h>

#include <dlfcn.h>
#include <time.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <type_traits>
#include <vector>

#include "detail.h"
#include "panels.h"
#include "platform.h"
#include "png.h"
#include "render.h"
#include "vqwin.h"

namespace vq {

namespace {

// GLUT's mouse buttons and states, and its shift modifier bit.
constexpr int kLeft = 0, kMiddle = 1, kRight = 2, kWheelUp = 3, kWheelDown = 4;
constexpr int kDown = 0;
constexpr int kShift = 1, kCtrl = 2;
// GLUT's arrow keys.
constexpr int kKeyLeft = 100, kKeyUp = 101, kKeyRight = 102, kKeyDown = 103;
constexpr int kKeyPageUp = 104, kKeyPageDown = 105;

// Frames run no faster than this: the rest of each frame's slot is slept
// away instead of spinning.
constexpr double kMaxFps = 60;
// A frame that shows nothing new is not drawn again (the window keeps the
// last one), except this often: GLUT's redraws after the window was
// uncovered cannot be told from ours. A frame that takes long to draw is
// redrawn no more than a tenth of the time, so that a still window of a
// large volume leaves the processor to the rest and answers the mouse
// at once.
constexpr double kStillRedrawSeconds = 0.25;
constexpr double kStillRedrawShare = 0.1;

// A coarse frame is drawn while the mouse drags the view (detail.h); the
// full frame comes back once the button is let go or the mouse has rested
// this long.
constexpr double kSettleSeconds = 0.3;

enum class Drag { none, rotate, zoom, pan, look };

// The libvqwin calls this platform makes, looked up when a window opens,
// so that programs that never open one need neither libvqwin nor GLUT.
struct WinCalls {
    decltype(&vqwinInit) init = nullptr;
    decltype(&vqwinInitDisplayMode) initDisplayMode = nullptr;
    decltype(&vqwinInitWindowSize) initWindowSize = nullptr;
    decltype(&vqwinCreateWindow) createWindow = nullptr;
    decltype(&vqwinDestroyWindow) destroyWindow = nullptr;
    decltype(&vqwinDisplayFunc) displayFunc = nullptr;
    decltype(&vqwinReshapeFunc) reshapeFunc = nullptr;
    decltype(&vqwinKeyboardFunc) keyboardFunc = nullptr;
    decltype(&vqwinSpecialFunc) specialFunc = nullptr;
    decltype(&vqwinMouseFunc) mouseFunc = nullptr;
    decltype(&vqwinMotionFunc) motionFunc = nullptr;
    decltype(&vqwinIdleFunc) idleFunc = nullptr;
    decltype(&vqwinMainLoop) mainLoop = nullptr;
    decltype(&vqwinSwapBuffers) swapBuffers = nullptr;
    decltype(&vqwinPostRedisplay) postRedisplay = nullptr;
    decltype(&vqwinGetModifiers) getModifiers = nullptr;
};

WinCalls Win;

struct Window {
    Scene *scene = nullptr;
    int id = 0;
    int width = 0, height = 0;
    Drag drag = Drag::none;
    int lastX = 0, lastY = 0;
    int status = 0;
    double lastFrame = 0;  // clock at the start of the last frame run
    double lastDrawn = -1; // clock when a frame was last drawn; -1 never
    uint64_t drawnDigest = 0; // frameDigest of the frame last drawn
    bool resized = false;  // the window changed size since then
    double lastMotion = -1;  // clock at the last drag motion
    int pointerDrag = -1;    // button of a drag the program's pointer callback took
    double fullSeconds = 0;  // what the last full frame took to draw
    DragDetail detail;       // of a drag's frames
    bool drawnReduced = false; // the frame on show was drawn reduced
};

Window Wn;

// GLUT ends the process when it cannot reach a display, so ask X first,
// through a library loaded only for the question. The probe stays
// connected until GLUT has its window: a server left with no client
// resets, and would turn GLUT away meanwhile.
struct DisplayProbe {
    void *lib = nullptr;
    void *display = nullptr;
    int (*close)(void *) = nullptr;
};

bool openProbe(DisplayProbe &p)
{
    p.lib = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    if (p.lib == nullptr)
        return false;
    using OpenFn = void *(*)(const char *);
    auto openDisplay = reinterpret_cast<OpenFn>(dlsym(p.lib, "XOpenDisplay"));
    p.close = reinterpret_cast<int (*)(void *)>(dlsym(p.lib, "XCloseDisplay"));
    if (openDisplay && p.close)
        p.display = openDisplay(nullptr);
    return p.display != nullptr;
}

void closeProbe(DisplayProbe &p)
{
    if (p.display)
        p.close(p.display);
    if (p.lib)
        dlclose(p.lib);
    p = DisplayProbe();
}

// A thin frame in the foreground colour around the current panel, when
// there is more than one panel to tell apart.
void markCurrentPanel(const Scene &s)
{
    int visible = 0;
    for (const Panel &p : s.panels)
        visible += p.visible ? 1 : 0;
    if (visible < 2 || s.current < 0 || s.current >= static_cast<int>(s.panels.size()) ||
        !s.panels[s.current].visible)
        return;
    int r[4];
    panelRect(s.panels[s.current], Wn.width, Wn.height, r);
    if (r[2] < 3 || r[3] < 3)
        return;
    glEnable(GL_SCISSOR_TEST);
    glClearColor(s.foreground.r, s.foreground.g, s.foreground.b, 1);
    const int strips[4][4] = {{r[0], r[1], r[2], 1},
                              {r[0], r[1] + r[3] - 1, r[2], 1},
                              {r[0], r[1], 1, r[3]},
                              {r[0] + r[2] - 1, r[1], 1, r[3]}};
    for (const auto &st : strips) {
        glScissor(st[0], st[1], st[2], st[3]);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    glDisable(GL_SCISSOR_TEST);
}

void finish(int status)
{
    status = finishRun(*Wn.scene, status);
    renderShutdown();
    Win.destroyWindow();
    std::fflush(stdout);
    std::fflush(stderr);
    std::exit(status);
}

void display()
{
    Scene &s = *Wn.scene;
    if (loopDone(s))
        finish(Wn.status);
    Wn.lastFrame = clockSeconds();
    runFrame(s);
    uint64_t digest = frameDigest(s);
    bool dragging = Wn.drag != Drag::none && Wn.lastMotion >= 0 && Wn.lastFrame - Wn.lastMotion < kSettleSeconds;
    bool draw = Wn.lastDrawn < 0 || digest != Wn.drawnDigest || Wn.resized || s.screenshotRequested ||
                Wn.lastFrame - Wn.lastDrawn >= std::fmax(kStillRedrawSeconds, Wn.fullSeconds / kStillRedrawShare) ||
                (Wn.drawnReduced && !dragging);
    if (draw) {
        // Screenshots are always of the full frame.
        bool coarse = dragging && !s.screenshotRequested && coarseDetail(Wn.detail);
        double start = clockSeconds();
        if (coarse)
            renderFrameReduced(s, Wn.width, Wn.height, Wn.detail.reduction, Wn.detail.stride);
        else
            renderFrame(s, Wn.width, Wn.height);
        if (s.drawFailed)
            finish(1);
        markCurrentPanel(s);
        if (s.screenshotRequested) {
            s.screenshotRequested = false;
            std::vector<uint8_t> pixels(static_cast<size_t>(Wn.width) * Wn.height * 4);
            glReadBuffer(GL_BACK);
            glPixelStorei(GL_PACK_ALIGNMENT, 1);
            glReadPixels(0, 0, Wn.width, Wn.height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
            writeScreenshot(pixels.data(), Wn.width, Wn.height);
        }
        Win.swapBuffers();
        // Wait for the GL, so that the time is the frame's whole cost.
        glFinish();
        double seconds = clockSeconds() - start;
        if (coarse)
            Wn.detail = nextDragDetail(Wn.detail, seconds);
        else
            Wn.fullSeconds = seconds;
        Wn.drawnReduced = coarse;
        Wn.lastDrawn = Wn.lastFrame;
        Wn.drawnDigest = digest;
        Wn.resized = false;
    }
    endFrame(s);
    if (loopDone(s)) {
        glFinish();
        finish(Wn.status);
    }
}

void reshape(int w, int h)
{
    Wn.width = w > 0 ? w : 1;
    Wn.height = h > 0 ? h : 1;
    Wn.scene->windowWidth = Wn.width;
    Wn.scene->windowHeight = Wn.height;
    Wn.resized = true;
}

void idle()
{
    double wait = Wn.lastFrame + 1 / kMaxFps - clockSeconds();
    if (wait > 0) {
        wait = std::fmin(wait, 1 / kMaxFps);
        timespec ts{0, static_cast<long>(wait * 1e9)};
        nanosleep(&ts, nullptr);
    }
    Win.postRedisplay();
}

void keyboard(unsigned char key, int, int)
{
    pressKey(*Wn.scene, key);
}

// A pointer position in window pixels (rows from the top) as window
// fractions, y up.
void pointerFractions(int x, int y, double *fx, double *fy)
{
    *fx = Wn.width > 0 ? (x + 0.5) / Wn.width : 0;
    *fy = Wn.height > 0 ? 1 - (y + 0.5) / Wn.height : 0;
}

void special(int key, int x, int y)
{
    Scene &s = *Wn.scene;
    // The program's pointer callback may take the arrows and page keys.
    int what = key == kKeyLeft       ? VQ_KEY_LEFT
               : key == kKeyRight    ? VQ_KEY_RIGHT
               : key == kKeyUp       ? VQ_KEY_UP
               : key == kKeyDown     ? VQ_KEY_DOWN
               : key == kKeyPageUp   ? VQ_KEY_PAGE_UP
               : key == kKeyPageDown ? VQ_KEY_PAGE_DOWN
                                     : 0;
    double fx, fy;
    pointerFractions(x, y, &fx, &fy);
    if (what && offerPointer(s, what, 0, fx, fy))
        return;
    switch (key) {
    case kKeyLeft:
        orbitCamera(s, s.current, -5, 0);
        break;
    case kKeyRight:
        orbitCamera(s, s.current, 5, 0);
        break;
    case kKeyUp:
        orbitCamera(s, s.current, 0, -5);
        break;
    case kKeyDown:
        orbitCamera(s, s.current, 0, 5);
        break;
    default:
        break;
    }
}

void mouse(int button, int state, int x, int y)
{
    Scene &s = *Wn.scene;
    double fx, fy;
    pointerFractions(x, y, &fx, &fy);
    // The program's pointer callback sees every press, release and wheel
    // step first; a press it takes makes the drag its own too.
    int what = button == kWheelUp     ? VQ_POINTER_WHEEL_UP
               : button == kWheelDown ? VQ_POINTER_WHEEL_DOWN
               : state != kDown       ? VQ_POINTER_RELEASE
                                      : VQ_POINTER_PRESS;
    if (what == VQ_POINTER_RELEASE && Wn.pointerDrag >= 0) {
        offerPointer(s, what, Wn.pointerDrag, fx, fy);
        Wn.pointerDrag = -1;
        return;
    }
    if (state == kDown && offerPointer(s, what, button, fx, fy)) {
        if (what == VQ_POINTER_PRESS)
            Wn.pointerDrag = button;
        return;
    }
    if (state != kDown) {
        if (Wn.drag == Drag::look && s.dragFunc) {
            int phase = 2;
            float zero = 0;
            s.dragFunc(&phase, &zero, &zero);
        }
        Wn.drag = Drag::none;
        return;
    }
    Wn.detail = startDragDetail(Wn.fullSeconds);
    Wn.lastMotion = -1;
    if (button == kWheelUp || button == kWheelDown) {
        zoomCamera(s, s.current, button == kWheelUp ? 1.1 : 1 / 1.1);
        return;
    }
    int modifiers = Win.getModifiers();
    bool shift = (modifiers & kShift) != 0;
    // Ctrl + left drag goes to the program, when it takes it.
    if (button == kLeft && (modifiers & kCtrl) && s.dragFunc) {
        Wn.drag = Drag::look;
        int phase = 0;
        float zero = 0;
        s.dragFunc(&phase, &zero, &zero);
    } else if (button == kLeft)
        Wn.drag = shift ? Drag::pan : Drag::rotate;
    else if (button == kMiddle)
        Wn.drag = Drag::pan;
    else if (button == kRight)
        Wn.drag = Drag::zoom;
    Wn.lastX = x;
    Wn.lastY = y;
}

void motion(int x, int y)
{
    Scene &s = *Wn.scene;
    if (Wn.pointerDrag >= 0) {
        double fx, fy;
        pointerFractions(x, y, &fx, &fy);
        offerPointer(s, VQ_POINTER_DRAG, Wn.pointerDrag, fx, fy);
        return;
    }
    int dx = x - Wn.lastX, dy = y - Wn.lastY;
    Wn.lastX = x;
    Wn.lastY = y;
    if (Wn.drag != Drag::none)
        Wn.lastMotion = clockSeconds();
    if (s.panels.empty() || s.current < 0 || s.current >= static_cast<int>(s.panels.size()))
        return;
    switch (Wn.drag) {
    case Drag::rotate:
        // Half a degree a pixel; dragging right turns the scene right.
        orbitCamera(s, s.current, -0.5 * dx, -0.5 * dy);
        break;
    case Drag::zoom:
        zoomCamera(s, s.current, std::exp(-0.01 * dy));
        break;
    case Drag::pan: {
        // One pixel moves the scene by one pixel's worth at the target.
        const Camera &c = panelCamera(s, s.current);
        double d[3] = {c.target[0] - c.eye[0], c.target[1] - c.eye[1], c.target[2] - c.eye[2]};
        double dist = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        int r[4];
        panelRect(s.panels[s.current], Wn.width, Wn.height, r);
        double unit = 2 * dist * std::tan(c.fovy * M_PI / 360) / (r[3] > 0 ? r[3] : 1);
        panCamera(s, s.current, -dx * unit, dy * unit);
        break;
    }
    case Drag::look: {
        int r[4];
        panelRect(s.panels[s.current], Wn.width, Wn.height, r);
        int phase = 1;
        float fx = static_cast<float>(dx) / (r[2] > 0 ? r[2] : 1);
        float fy = static_cast<float>(-dy) / (r[3] > 0 ? r[3] : 1);
        if (s.dragFunc)
            s.dragFunc(&phase, &fx, &fy);
        break;
    }
    case Drag::none:
        break;
    }
}

// Fill Win from `lib` (RTLD_DEFAULT: whatever the process has loaded).
bool bindWinCalls(void *lib)
{
    WinCalls w;
    bool ok = true;
    auto bind = [&](auto &fn, const char *name) {
        fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(lib, name));
        ok = ok && fn != nullptr;
    };
    bind(w.init, "vqwinInit");
    bind(w.initDisplayMode, "vqwinInitDisplayMode");
    bind(w.initWindowSize, "vqwinInitWindowSize");
    bind(w.createWindow, "vqwinCreateWindow");
    bind(w.destroyWindow, "vqwinDestroyWindow");
    bind(w.displayFunc, "vqwinDisplayFunc");
    bind(w.reshapeFunc, "vqwinReshapeFunc");
    bind(w.keyboardFunc, "vqwinKeyboardFunc");
    bind(w.specialFunc, "vqwinSpecialFunc");
    bind(w.mouseFunc, "vqwinMouseFunc");
    bind(w.motionFunc, "vqwinMotionFunc");
    bind(w.idleFunc, "vqwinIdleFunc");
    bind(w.mainLoop, "vqwinMainLoop");
    bind(w.swapBuffers, "vqwinSwapBuffers");
    bind(w.postRedisplay, "vqwinPostRedisplay");
    bind(w.getModifiers, "vqwinGetModifiers");
    if (ok)
        Win = w;
    return ok;
}

// The folder this library was loaded from ("." when it cannot tell).
std::string libraryFolder()
{
    Dl_info info;
    if (dladdr(reinterpret_cast<void *>(&bindWinCalls), &info) == 0 || info.dli_fname == nullptr)
        return ".";
    std::string path = info.dli_fname;
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

// libvqwin and the GLUT it forwards to: the program's own when it linked
// them, else loaded now. GLUT goes first and global, because libvqwin
// binds its GLUT calls from the process when it is loaded.
bool loadWindowLibraries()
{
    bool haveGlut = dlsym(RTLD_DEFAULT, "glutInit") != nullptr;
    if (bindWinCalls(RTLD_DEFAULT)) {
        if (haveGlut)
            return true;
        sceneError("no window library: the program links libvqwin but not GLUT (link -lglut too, or only "
                   "-lvqscene); render offscreen with --png FILE");
        return false;
    }
    if (!haveGlut && dlopen(VQ_GLUT_SONAME, RTLD_NOW | RTLD_GLOBAL) == nullptr &&
        dlopen("libglut.so.3", RTLD_NOW | RTLD_GLOBAL) == nullptr) {
        sceneError("no window library: cannot load GLUT (%s); render offscreen with --png FILE", VQ_GLUT_SONAME);
        return false;
    }
    std::string path = libraryFolder() + "/" + VQWIN_SONAME;
    void *lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) {
        // dlerror names the file and why it did not load.
        const char *why = dlerror();
        sceneError("no window library: %s; render offscreen with --png FILE", why ? why : path.c_str());
        return false;
    }
    if (!bindWinCalls(lib)) {
        sceneError("no window library: %s lacks calls of libvqwin; render offscreen with --png FILE", path.c_str());
        return false;
    }
    return true;
}

bool openWindow(Scene &s)
{
    if (!loadWindowLibraries())
        return false;
    DisplayProbe probe;
    if (!openProbe(probe)) {
        closeProbe(probe);
        const char *d = std::getenv("DISPLAY");
        sceneError("cannot open display '%s'; render offscreen with --png FILE (or --nodraw)", d ? d : "");
        return false;
    }
    // GLUT gets no arguments of the program's: ours are read already.
    static char name[] = "vqscene";
    static char *argv[] = {name, nullptr};
    int argc = 1;
    Win.init(&argc, argv);
    Win.initDisplayMode(0, 0);
    Win.initWindowSize(s.opts.width, s.opts.height);
    Wn = Window();
    Wn.scene = &s;
    Wn.width = s.opts.width;
    Wn.height = s.opts.height;
    Wn.id = Win.createWindow(s.title.c_str());
    closeProbe(probe);
    if (Wn.id <= 0) {
        sceneError("cannot create a window");
        return false;
    }
    const char *version = reinterpret_cast<const char *>(glGetString(GL_VERSION));
    int major = 0, minor = 0;
    if (version == nullptr || std::sscanf(version, "%d.%d", &major, &minor) != 2 || major * 10 + minor < 33) {
        sceneError("the window's OpenGL %s is older than 3.3", version ? version : "(none)");
        Win.destroyWindow();
        return false;
    }
    if (!renderInit()) {
        Win.destroyWindow();
        return false;
    }
    s.windowWidth = Wn.width;
    s.windowHeight = Wn.height;
    Win.displayFunc(display);
    Win.reshapeFunc(reshape);
    Win.keyboardFunc(keyboard);
    Win.specialFunc(special);
    Win.mouseFunc(mouse);
    Win.motionFunc(motion);
    Win.idleFunc(idle);
    return true;
}

int runWindow(Scene &s)
{
    if (Wn.scene != &s)
        return 1;
    // The frame count may be reached before the first frame (--frames 0).
    if (loopDone(s))
        finish(0);
    Win.mainLoop();
    return Wn.status;
}

} // namespace

Platform windowPlatform()
{
    return {"window", openWindow, runWindow};
}

} // namespace vq
