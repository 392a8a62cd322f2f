// Small scenes for the offscreen tests, built through the public API and
// shown with the library's own options (--png, --frames, --keys, ...).
// The first argument names the scene.
#include <cstdio>
#include <cstring>

#include "vqscene.h"

namespace {

// A red square facing the viewer, half the viewport wide.
void facetScene()
{
    Point3 a[3] = {{-0.5, -0.5, 0}, {0.5, -0.5, 0}, {0.5, 0.5, 0}};
    Point3 b[3] = {{-0.5, -0.5, 0}, {0.5, 0.5, 0}, {-0.5, 0.5, 0}};
    nvqvf3(a, {1, 0, 0});
    nvqvf3(b, {1, 0, 0});
}

int frameNumber = 0;

// Each frame draws a grey square whose brightness counts the frames.
void countingFrame(double *, int *)
{
    double g = 0.25 * (frameNumber++ % 4 + 1);
    Point3 a[3] = {{-0.5, -0.5, 0}, {0.5, -0.5, 0}, {0.5, 0.5, 0}};
    Point3 b[3] = {{-0.5, -0.5, 0}, {0.5, 0.5, 0}, {-0.5, 0.5, 0}};
    nvqvf3(a, {g, g, g});
    nvqvf3(b, {g, g, g});
}

// Each frame writes the time its callback was handed, one line.
void clockFrame(double *t, int *)
{
    std::printf("t=%.6f\n", *t);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: render_scenes facet|frames|clock|box [library options]\n");
        return 2;
    }
    const char *which = argv[1];
    if (vqopend("/?", argc - 1, argv + 1) != 0)
        return 1;
    vqswin(-1, 1, -1, 1, -1, 1);
    svqsbc(0, 0, 1);
    svqsfc(1, 1, 0);
    // Ambient light alone at full strength shows colours as given.
    Colour3 white{1, 1, 1};
    Point3 far{0, 0, 1000};
    Colour3 none{0, 0, 0};
    svqsl(white, 1, &far, &none, 1);
    if (!std::strcmp(which, "facet"))
        facetScene();
    else if (!std::strcmp(which, "frames"))
        cvqscb(countingFrame);
    else if (!std::strcmp(which, "clock"))
        cvqscb(clockFrame);
    else if (!std::strcmp(which, "box"))
        vqbox("BCDET", 0, 0, "BCDET", 0, 0, "BCDET", 0, 0);
    else {
        std::fprintf(stderr, "render_scenes: unknown scene '%s'\n", which);
        return 2;
    }
    vqshow(1);
    return 1;
}
