// What the renderer's pixel tests share: one surfaceless EGL context and a
// W x H framebuffer per test suite, a fresh renderer and scene per test,
// and the frame read back as bytes.
#pragma once

#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "egl.h"
#include "model.h"
#include "render.h"
#include "vqscene.h"

namespace rendertest {

constexpr int W = 64, H = 64;

// A float grid of nx x ny x nz voxels, all v, as the scene library reads
// one (grid[i][j][k]).
struct Grid {
    int nx, ny, nz;
    std::vector<float> data;
    std::vector<float *> rows;
    std::vector<float **> planes;
    Grid(int x, int y, int z, float v) : nx(x), ny(y), nz(z), data(x * y * z, v), rows(x * y), planes(x)
    {
        for (int i = 0; i < nx; ++i) {
            for (int j = 0; j < ny; ++j)
                rows[i * ny + j] = &data[(i * ny + j) * nz];
            planes[i] = &rows[i * ny];
        }
    }
    float &at(int i, int j, int k) { return data[(i * ny + j) * nz + k]; }
    float ***grid() { return planes.data(); }
    // Every voxel of planes k0..k1 along z set to v.
    void slab(int k0, int k1, float v)
    {
        for (int i = 0; i < nx; ++i)
            for (int j = 0; j < ny; ++j)
                for (int k = k0; k <= k1; ++k)
                    at(i, j, k) = v;
    }
};

// A volume rendering of g filling the world box -0.5..0.5 on each axis.
inline int addVolume(Grid &g, float dmin, float dmax, float amin, float amax)
{
    float tr[12] = {-0.5f, 1.0f / (g.nx - 1), 0, 0, -0.5f, 0, 1.0f / (g.ny - 1), 0, -0.5f, 0,
                    0,     1.0f / (g.nz - 1)};
    return nvqcvr(g.grid(), g.nx, g.ny, g.nz, 0, g.nx - 1, 0, g.ny - 1, 0, g.nz - 1, tr, 's', dmin, dmax,
                  amin, amax);
}

struct Pixel {
    int r, g, b;
};

inline ::testing::AssertionResult near(Pixel p, int r, int g, int b, int tol = 3)
{
    if (std::abs(p.r - r) <= tol && std::abs(p.g - g) <= tol && std::abs(p.b - b) <= tol)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel (" << p.r << "," << p.g << "," << p.b << ") is not near ("
                                         << r << "," << g << "," << b << ")";
}

class RenderFixture : public ::testing::Test {
  public:
    // A bound W x H framebuffer of `format` colours and a depth buffer.
    static bool makeFramebuffer(GLenum format, GLuint &fb, GLuint &col, GLuint &dep)
    {
        glGenFramebuffers(1, &fb);
        glGenRenderbuffers(1, &col);
        glGenRenderbuffers(1, &dep);
        glBindRenderbuffer(GL_RENDERBUFFER, col);
        glRenderbufferStorage(GL_RENDERBUFFER, format, W, H);
        glBindRenderbuffer(GL_RENDERBUFFER, dep);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, W, H);
        glBindFramebuffer(GL_FRAMEBUFFER, fb);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, col);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, dep);
        return glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    }

  protected:
    inline static vq::EglContext egl;
    inline static GLuint fbo = 0, colour = 0, depth = 0;
    inline static bool ready = false;

    static void SetUpTestSuite()
    {
        setenv("EGL_PLATFORM", "surfaceless", 0);
        ready = false;
        if (!vq::openEglContext(egl))
            return;
        ready = makeFramebuffer(GL_RGBA8, fbo, colour, depth);
    }

    static void TearDownTestSuite()
    {
        vq::renderShutdown();
        vq::closeEglContext(egl);
    }

    void SetUp() override
    {
        ASSERT_TRUE(ready) << "no EGL surfaceless context";
        // A fresh renderer per test: the scene is reset, and ids start again.
        vq::renderShutdown();
        ASSERT_TRUE(vq::renderInit());
        openScene();
    }

    // A fresh scene of one W x H panel on black, the world box -half..half
    // on each axis.
    static void openScene(double half = 1)
    {
        vq::resetScene();
        char a0[] = "test", a1[] = "--nodraw";
        char *argv[] = {a0, a1, nullptr};
        ASSERT_EQ(vqopend("/?", 2, argv), 0);
        vq::scene().windowWidth = W;
        vq::scene().windowHeight = H;
        vqswin(-half, half, -half, half, -half, half);
        svqsbc(0, 0, 0);
    }

    void draw()
    {
        glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        vq::renderFrame(vq::scene(), W, H);
        readFrame();
    }

    // The same frame coarse, as the window draws it while dragging.
    void drawCoarse(double factor, int stride)
    {
        glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        vq::renderFrameReduced(vq::scene(), W, H, factor, stride);
        readFrame();
    }

    // x from the left, y from the bottom.
    Pixel at(int x, int y) const
    {
        const uint8_t *p = &pixels[(y * W + x) * 4];
        return {p[0], p[1], p[2]};
    }

    std::vector<uint8_t> pixels;

  private:
    void readFrame()
    {
        glFinish();
        pixels.resize(W * H * 4);
        glReadPixels(0, 0, W, H, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    }
};

} // namespace rendertest
