// EGL on the surfaceless platform needs no X server and no GPU: Mesa
// renders with llvmpipe into our own framebuffer objects.
#include "egl.h"
#include "model.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstdio>

namespace vq {

bool openEglContext(EglContext &c)
{
    EGLDisplay dpy = eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (dpy == EGL_NO_DISPLAY) {
        sceneError("no EGL surfaceless display (error 0x%x)", eglGetError());
        return false;
    }
    EGLint major = 0, minor = 0;
    if (!eglInitialize(dpy, &major, &minor)) {
        sceneError("cannot initialise EGL (error 0x%x)", eglGetError());
        return false;
    }
    if (!eglBindAPI(EGL_OPENGL_API)) {
        sceneError("EGL has no desktop OpenGL (error 0x%x)", eglGetError());
        eglTerminate(dpy);
        return false;
    }
    const EGLint attribs[] = {EGL_CONTEXT_MAJOR_VERSION,
                              3,
                              EGL_CONTEXT_MINOR_VERSION,
                              3,
                              EGL_CONTEXT_OPENGL_PROFILE_MASK,
                              EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                              EGL_NONE};
    EGLContext ctx = eglCreateContext(dpy, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attribs);
    if (ctx == EGL_NO_CONTEXT) {
        sceneError("cannot create an OpenGL 3.3 context (error 0x%x)", eglGetError());
        eglTerminate(dpy);
        return false;
    }
    if (!eglMakeCurrent(dpy, EGL_NO_SURFACE, EGL_NO_SURFACE, ctx)) {
        sceneError("cannot make the OpenGL context current (error 0x%x)", eglGetError());
        eglDestroyContext(dpy, ctx);
        eglTerminate(dpy);
        return false;
    }
    c.display = dpy;
    c.context = ctx;
    return true;
}

void closeEglContext(EglContext &c)
{
    if (c.display == nullptr)
        return;
    eglMakeCurrent(c.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (c.context)
        eglDestroyContext(c.display, c.context);
    eglTerminate(c.display);
    c = EglContext();
}

} // namespace vq
