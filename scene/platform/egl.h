// A desktop OpenGL context without any window system, through EGL on
// Mesa's surfaceless platform.
#pragma once

namespace vq {

struct EglContext {
    void *display = nullptr;
    void *context = nullptr;
};

// Create and make current an OpenGL 3.3 core context. False after one
// line on stderr.
bool openEglContext(EglContext &c);
void closeEglContext(EglContext &c);

} // namespace vq
