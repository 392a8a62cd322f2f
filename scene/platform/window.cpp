// The window platform: a GLUT window reached only through libvqwin. GLUT
// drives the frames from its idle callback; the mouse steers the current
// panel's camera and keys go to the frame loop.
#include <GL/gl.h>
#include <GL/glext.h>

#include <dlfcn.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform.h"
#include "png.h"
#include "render.h"
#include "vqwin.h"

// libvqwin, with the GLUT it forwards to, comes with the program: weak
// references leave every program that never opens a window free of both.
#pragma weak vqwinInit
#pragma weak vqwinInitDisplayMode
#pragma weak vqwinInitWindowSize
#pragma weak vqwinCreateWindow
#pragma weak vqwinDestroyWindow
#pragma weak vqwinDisplayFunc
#pragma weak vqwinReshapeFunc
#pragma weak vqwinKeyboardFunc
#pragma weak vqwinSpecialFunc
#pragma weak vqwinMouseFunc
#pragma weak vqwinMotionFunc
#pragma weak vqwinIdleFunc
#pragma weak vqwinMainLoop
#pragma weak vqwinSwapBuffers
#pragma weak vqwinPostRedisplay
#pragma weak vqwinGetModifiers

namespace vq {

namespace {

// GLUT's mouse buttons and states, and its shift modifier bit.
constexpr int kLeft = 0, kMiddle = 1, kRight = 2, kWheelUp = 3, kWheelDown = 4;
constexpr int kDown = 0;
constexpr int kShift = 1;
// GLUT's arrow keys.
constexpr int kKeyLeft = 100, kKeyUp = 101, kKeyRight = 102, kKeyDown = 103;

enum class Drag { none, rotate, zoom, pan };

struct Window {
    Scene *scene = nullptr;
    int id = 0;
    int width = 0, height = 0;
    Drag drag = Drag::none;
    int lastX = 0, lastY = 0;
    int status = 0;
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

// Pixel rectangle of a panel, as the renderer places it.
void panelRect(const Panel &p, int w, int h, int r[4])
{
    auto clamp01 = [](double v) { return v < 0 ? 0.0 : v > 1 ? 1.0 : v; };
    double fx1 = std::fmin(p.fx1, p.fx2), fx2 = std::fmax(p.fx1, p.fx2);
    double fy1 = std::fmin(p.fy1, p.fy2), fy2 = std::fmax(p.fy1, p.fy2);
    r[0] = static_cast<int>(std::lround(clamp01(fx1) * w));
    r[1] = static_cast<int>(std::lround(clamp01(fy1) * h));
    r[2] = static_cast<int>(std::lround(clamp01(fx2) * w)) - r[0];
    r[3] = static_cast<int>(std::lround(clamp01(fy2) * h)) - r[1];
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
    renderShutdown();
    vqwinDestroyWindow();
    std::fflush(stdout);
    std::fflush(stderr);
    std::exit(status);
}

void display()
{
    Scene &s = *Wn.scene;
    if (loopDone(s) || (s.opts.frames >= 0 && s.frameNo >= s.opts.frames))
        finish(Wn.status);
    runFrame(s);
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
    vqwinSwapBuffers();
    endFrame(s);
    if (loopDone(s) || (s.opts.frames >= 0 && s.frameNo >= s.opts.frames)) {
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
}

void idle()
{
    vqwinPostRedisplay();
}

void keyboard(unsigned char key, int, int)
{
    pressKey(*Wn.scene, key);
}

void special(int key, int, int)
{
    Scene &s = *Wn.scene;
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
    if (state != kDown) {
        Wn.drag = Drag::none;
        return;
    }
    if (button == kWheelUp || button == kWheelDown) {
        zoomCamera(s, s.current, button == kWheelUp ? 1.1 : 1 / 1.1);
        return;
    }
    bool shift = (vqwinGetModifiers() & kShift) != 0;
    if (button == kLeft)
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
    int dx = x - Wn.lastX, dy = y - Wn.lastY;
    Wn.lastX = x;
    Wn.lastY = y;
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
    case Drag::none:
        break;
    }
}

// Whether the program brought libvqwin along.
bool haveVqwin()
{
    return vqwinInit && vqwinInitDisplayMode && vqwinInitWindowSize && vqwinCreateWindow &&
           vqwinDestroyWindow && vqwinDisplayFunc && vqwinReshapeFunc && vqwinKeyboardFunc &&
           vqwinSpecialFunc && vqwinMouseFunc && vqwinMotionFunc && vqwinIdleFunc && vqwinMainLoop &&
           vqwinSwapBuffers && vqwinPostRedisplay && vqwinGetModifiers;
}

bool openWindow(Scene &s)
{
    // libvqwin binds GLUT weakly: without a GLUT in the process its calls
    // would go nowhere.
    if (!haveVqwin() || dlsym(RTLD_DEFAULT, "glutInit") == nullptr) {
        sceneError("no window library: the program must link libvqwin and GLUT (or use --png FILE)");
        return false;
    }
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
    vqwinInit(&argc, argv);
    vqwinInitDisplayMode(0, 0);
    vqwinInitWindowSize(s.opts.width, s.opts.height);
    Wn = Window();
    Wn.scene = &s;
    Wn.width = s.opts.width;
    Wn.height = s.opts.height;
    Wn.id = vqwinCreateWindow("vqscene");
    closeProbe(probe);
    if (Wn.id <= 0) {
        sceneError("cannot create a window");
        return false;
    }
    const char *version = reinterpret_cast<const char *>(glGetString(GL_VERSION));
    int major = 0, minor = 0;
    if (version == nullptr || std::sscanf(version, "%d.%d", &major, &minor) != 2 || major * 10 + minor < 33) {
        sceneError("the window's OpenGL %s is older than 3.3", version ? version : "(none)");
        vqwinDestroyWindow();
        return false;
    }
    if (!renderInit()) {
        vqwinDestroyWindow();
        return false;
    }
    s.windowWidth = Wn.width;
    s.windowHeight = Wn.height;
    vqwinDisplayFunc(display);
    vqwinReshapeFunc(reshape);
    vqwinKeyboardFunc(keyboard);
    vqwinSpecialFunc(special);
    vqwinMouseFunc(mouse);
    vqwinMotionFunc(motion);
    vqwinIdleFunc(idle);
    return true;
}

int runWindow(Scene &s)
{
    if (Wn.scene != &s)
        return 1;
    // The frame count may be reached before the first frame (--frames 0).
    if (s.opts.frames == 0)
        finish(0);
    vqwinMainLoop();
    return Wn.status;
}

} // namespace

Platform windowPlatform()
{
    return {"window", openWindow, runWindow};
}

} // namespace vq
