// pointsdemo: a fixed cloud of 20 points drawn once before the display
// loop, and a second cloud of 20 points that jitters on every frame, drawn
// from the frame callback. Number keys switch the frame callback off, on or
// over, and pick the moving points' colour; the space bar flips it.
#include <stdlib.h>
#include <time.h>

#include "vqscene.h"

// Base colour index of the moving points.
int colour = 1;

void cb(double *t, int *kc)
{
    (void)t;
    static float x[20], y[20], z[20];
    static int flag = 0;

    // The moving cloud comes into being on the first frame only.
    if (flag == 0) {
        for (int i = 0; i < 20; i++) {
            x[i] = 2 * drand48() - 1;
            y[i] = 2 * drand48() - 1;
            z[i] = 2 * drand48() - 1;
        }
        flag = 1;
    }
    // Each point takes a small random step; nothing holds it in a bound.
    for (int i = 0; i < 20; i++) {
        x[i] += drand48() * 0.1 - 0.05;
        y[i] += drand48() * 0.1 - 0.05;
        z[i] += drand48() * 0.1 - 0.05;
    }
    int presses = kc ? *kc : 0;
    vqsci(colour + presses % 2);
    vqslw(3);
    vqpt(20, x, y, z, 1);
}

void ncb(int *n)
{
    if (!n)
        return;
    switch (*n) {
    case 1:
        cvqdcb();
        break;
    case 2:
        cvqecb();
        break;
    case 3:
        colour = 3;
        break;
    case 4:
        colour = 5;
        break;
    case 5:
        cvqtcb();
        break;
    default:
        break;
    }
}

int main(int argc, char **argv)
{
    float x[20], y[20], z[20];

    // Runs started within the same second show the same clouds.
    srand48(time(NULL));
    for (int i = 0; i < 20; i++) {
        x[i] = drand48() * 4 - 2;
        y[i] = drand48() * 4 - 2;
        z[i] = drand48() * 4 - 2;
    }

    // Without a display there is nothing to draw into.
    if (vqopend("/?", argc, argv) != 0)
        return 1;
    vqswin(-2, 2, -2, 2, -2, 2);
    vqbox("BCDET", 0, 0, "BCDET", 0, 0, "BCDET", 0, 0);
    cvqscb(cb);
    cvqsncb(ncb);

    // Drawn before the loop, the fixed points stay on every frame.
    vqslw(4);
    vqsci(7);
    vqpt(20, x, y, z, 1);
    vqslw(1);

    vqshow(1);
    return 1;
}
