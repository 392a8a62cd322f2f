/* A plain C program on the public header alone: draws a few things from a
   frame callback and runs headless with the options it was given. */
#include <stdio.h>

#include "vqscene.h"

static void frame(double *t, int *kc)
{
    float x[3] = {0, 1, 2}, y[3] = {0, 1, 0}, z[3] = {0, 0, 0};
    Point3 p[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    Colour3 c = {1, 0, 0};
    (void)t;
    (void)kc;
    vqpt(3, x, y, z, 1);
    vqline(3, x, y, z);
    nvqvf3(p, c);
}

int main(int argc, char **argv)
{
    if (vqopend("/?", argc, argv) != 0)
        return 2;
    vqswin(-2, 2, -2, 2, -2, 2);
    cvqscb(frame);
    vqshow(1);
    return 1;
}
