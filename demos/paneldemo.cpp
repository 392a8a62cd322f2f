// paneldemo: one window split into two panels, each with its own world box
// and camera. The first press of the space bar links the second panel's
// camera to the first; later presses toggle the second panel's visibility.
#include <stdio.h>

#include "vqscene.h"

// The panel the device opens with; never changed.
int master_panel = 0;
// The second panel, as added.
int slave_panel = 0;

void cb(double *t, int *kc)
{
    (void)t;
    static int lkc = 0;
    if (!kc)
        return;

    // The link is renewed on every frame while the count stays 1.
    if (*kc == 1) {
        xvqlpc(master_panel, slave_panel);
    } else if (*kc > 1 && *kc != lkc) {
        // One toggle per change of the count, however many presses it took.
        xvqtp(slave_panel);
    }
    lkc = *kc;
}

int main(int argc, char **argv)
{
    // Without a display there is nothing to split into panels.
    if (vqopend("/vqmono", argc, argv) != 0)
        return 1;
    vqswin(-1, 1, -1, 1, -1, 1);
    vqbox("BCDET", 0, 0, "BCDET", 0, 0, "BCDET", 0, 0);

    // Window fractions: first corner x, y, then the opposite corner.
    xvqmp(master_panel, 0, 0.5, 0.5, 1.0);
    slave_panel = xvqap(0.5, 0, 1.0, 0.5);

    xvqcp(slave_panel);
    vqswin(-2, 2, -2, 2, -2, 2);
    vqbox("BCDE", 0, 0, "BCDE", 0, 0, "BCDE", 0, 0);

    xvqcp(master_panel);
    cvqscb(cb);

    fprintf(stderr, "Press <tab> to switch between panels\n");
    fprintf(stderr, "Press <spacebar> to link cameras together - cannot be undone\n");
    fprintf(stderr, "Futher presses of <spacebar> toggle panel visiblity\n");

    vqshow(1);
    return 1;
}
