// The offscreen platform: frames are rendered with EGL into a multisampled
// framebuffer object, read back and written as PNG images.
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "egl.h"
#include "offscreen.h"
#include "platform.h"
#include "png.h"
#include "render.h"

namespace vq {

namespace {

struct Offscreen {
    EglContext egl;
    GLuint msFbo = 0, msColour = 0, msDepth = 0;
    // With samples, the colour is a multisampled texture the renderer
    // resolves itself.
    GLuint msTexture = 0;
    GLuint fbo = 0, colour = 0;
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;
};

Offscreen O;

void deleteFramebuffers()
{
    GLuint fbos[] = {O.msFbo, O.fbo};
    GLuint rbs[] = {O.msColour, O.msDepth, O.colour};
    glDeleteFramebuffers(2, fbos);
    glDeleteRenderbuffers(3, rbs);
    glDeleteTextures(1, &O.msTexture);
    O.msFbo = O.fbo = O.msColour = O.msDepth = O.colour = O.msTexture = 0;
}

bool makeFramebuffers(int width, int height)
{
    GLint maxSamples = 0, maxSize = 0;
    glGetIntegerv(GL_MAX_SAMPLES, &maxSamples);
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &maxSize);
    if (width > maxSize || height > maxSize) {
        sceneError("image size %dx%d exceeds the largest framebuffer (%d)", width, height, maxSize);
        return false;
    }
    int samples = maxSamples < 4 ? maxSamples : 4;
    glGenFramebuffers(1, &O.msFbo);
    glGenRenderbuffers(1, &O.msColour);
    glGenRenderbuffers(1, &O.msDepth);
    glBindRenderbuffer(GL_RENDERBUFFER, O.msDepth);
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_DEPTH_COMPONENT24, width, height);
    glBindFramebuffer(GL_FRAMEBUFFER, O.msFbo);
    if (samples > 1) {
        glGenTextures(1, &O.msTexture);
        glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, O.msTexture);
        glTexImage2DMultisample(GL_TEXTURE_2D_MULTISAMPLE, samples, GL_RGBA8, width, height, GL_TRUE);
        glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, 0);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D_MULTISAMPLE, O.msTexture, 0);
    } else {
        glBindRenderbuffer(GL_RENDERBUFFER, O.msColour);
        glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_RGBA8, width, height);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, O.msColour);
    }
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, O.msDepth);
    bool ok = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;

    // Multisampled pixels cannot be read back: they are resolved here first.
    glGenFramebuffers(1, &O.fbo);
    glGenRenderbuffers(1, &O.colour);
    glBindRenderbuffer(GL_RENDERBUFFER, O.colour);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    glBindFramebuffer(GL_FRAMEBUFFER, O.fbo);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, O.colour);
    ok = ok && glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    if (!ok) {
        sceneError("cannot make a %dx%d framebuffer", width, height);
        deleteFramebuffers();
        return false;
    }
    O.width = width;
    O.height = height;
    O.pixels.assign(static_cast<size_t>(width) * height * 4, 0);
    return true;
}

void closeAll()
{
    if (O.egl.display) {
        renderShutdown();
        deleteFramebuffers();
        closeEglContext(O.egl);
    }
    O = Offscreen();
}

} // namespace

bool openOffscreenTarget(Scene &s, int width, int height)
{
    if (O.egl.display)
        closeAll();
    if (!openEglContext(O.egl))
        return false;
    if (!makeFramebuffers(width, height) || !renderInit()) {
        closeAll();
        return false;
    }
    s.windowWidth = width;
    s.windowHeight = height;
    return true;
}

void drawOffscreenFrame(Scene &s)
{
    if (O.egl.display == nullptr)
        return;
    glBindFramebuffer(GL_FRAMEBUFFER, O.msFbo);
    renderFrame(s, O.width, O.height);
    glFinish();
}

void closeOffscreenTarget()
{
    closeAll();
}

namespace {

bool openOffscreen(Scene &s)
{
    bool numbered = false;
    if (!s.opts.png.empty() && !checkPngPattern(s.opts.png.c_str(), &numbered)) {
        sceneError("bad --png pattern '%s': at most one %%d-style conversion, %%%% for a percent",
                   s.opts.png.c_str());
        return false;
    }
    if (s.opts.width <= 0 || s.opts.height <= 0) {
        sceneError("bad image size %dx%d", s.opts.width, s.opts.height);
        return false;
    }
    return openOffscreenTarget(s, s.opts.width, s.opts.height);
}

// Resolve the multisampled frame and read it back, rows bottom-up.
void readFrame()
{
    glBindFramebuffer(GL_READ_FRAMEBUFFER, O.msFbo);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, O.fbo);
    // The renderer's resolve gives the blit's pixels; llvmpipe compiles its
    // blit at the first one, which cost the first image some 50 ms.
    if (!(O.msTexture && renderResolve(O.msTexture, O.width, O.height)))
        glBlitFramebuffer(0, 0, O.width, O.height, 0, 0, O.width, O.height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, O.fbo);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, O.width, O.height, GL_RGBA, GL_UNSIGNED_BYTE, O.pixels.data());
    glBindFramebuffer(GL_FRAMEBUFFER, O.msFbo);
}

int runOffscreen(Scene &s)
{
    if (O.egl.display == nullptr)
        return 1;
    bool numbered = false;
    checkPngPattern(s.opts.png.c_str(), &numbered);
    int status = 0;
    while (!loopDone(s)) {
        runFrame(s);
        drawOffscreenFrame(s);
        // What could not be drawn has been named; no image stands for it.
        if (s.drawFailed) {
            status = 1;
            break;
        }
        bool last = lastFrame(s);
        bool wantPng = !s.opts.png.empty() && (numbered || last);
        if (wantPng || s.screenshotRequested)
            readFrame();
        if (wantPng && writePng(pngFrameName(s.opts.png.c_str(), s.frameNo).c_str(), O.pixels.data(), O.width,
                                O.height) != 0)
            status = 1;
        if (s.screenshotRequested) {
            s.screenshotRequested = false;
            writeScreenshot(O.pixels.data(), O.width, O.height);
        }
        endFrame(s);
    }
    // The export may read textures back from the GL, so it goes first.
    status = finishRun(s, status);
    closeAll();
    return status;
}

} // namespace

Platform offscreenPlatform()
{
    return {"offscreen", openOffscreen, runOffscreen};
}

} // namespace vq
