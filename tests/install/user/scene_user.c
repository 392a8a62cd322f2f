/* A user's program against the installed tree: a square that moves with
   the frame time, drawn from the frame callback, and a fixed point cloud. */
#include <stdio.h>

#include <vqscene.h>

static void frame(double *t, int *kc)
{
    double x = -0.8 + 0.4 * *t;
    Point3 a[3] = {{x, -0.2, 0}, {x + 0.4, -0.2, 0}, {x + 0.4, 0.2, 0}};
    Point3 b[3] = {{x, -0.2, 0}, {x + 0.4, 0.2, 0}, {x, 0.2, 0}};
    Colour3 red = {1, 0, 0};
    (void)kc;
    nvqvf3(a, red);
    nvqvf3(b, red);
}

int main(int argc, char **argv)
{
    float px[4] = {-0.9f, 0.9f, -0.9f, 0.9f}, py[4] = {-0.9f, -0.9f, 0.9f, 0.9f}, pz[4] = {0, 0, 0, 0};
    if (vqopend("/?", argc, argv) != 0)
        return 2;
    vqswin(-1, 1, -1, 1, -1, 1);
    vqslw(4);
    vqpt(4, px, py, pz, 1);
    cvqscb(frame);
    vqshow(1);
    return 1;
}
