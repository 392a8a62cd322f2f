// The frame callback and the two key handlers of xrwview.
#include "frame.h"

#include <cstdio>

#include "crosshair.h"
#include "look.h"
#include "obj.h"
#include "ortho.h"
#include "state.h"
#include "tracks.h"
#include "vqscene.h"

namespace {

// The callback's clock, alive for the whole run.
int beenhere;
int framecount;
int framebase;

} // namespace

int frameCount()
{
    return framecount;
}

int frameBase()
{
    return framebase;
}

void resetFrameState()
{
    beenhere = framecount = framebase = 0;
}

void cb(double *, int *kc)
{
    if (!beenhere) {
        // The view file needs the running library, so it waits for the first frame.
        if (viewfile) {
            std::fprintf(stderr, "reading view file %s\n", viewfile_fname);
            ReadViewFile(viewfile_fname);
            if (invert) {
                svqsbc(1.0f, 1.0f, 1.0f);
                svqsfc(0.0f, 0.0f, 0.0f);
            } else {
                std::fprintf(stderr, "normal white-on-black\n");
                svqsbc(0.0f, 0.0f, 0.0f);
                svqsfc(1.0f, 1.0f, 1.0f);
            }
        }
        beenhere = 1;
        framecount = 0;
    } else {
        framecount++;
    }

    int glow = glow_period_frames > 0.0f ? 1 : 0;
    for (int v = 0; v < NVR; v++) {
        int lo = colourBlockStart(v);
        vqscir(lo, lo + 255);
        if (!do_3d_render) {
            if (!suppress_vr && (numcount[1] & 1) == 0) {
                pushVRMLname("VRSET1");
                dvqdvrx(vidx[v], glow, 1, doPRC, glow_period_frames);
                pushVRMLname("VRSET2");
                dvqdvrx(vidy[v], glow, 2, doPRC, glow_period_frames);
                pushVRMLname("VRSET3");
                dvqdvrx(vidz[v], glow, 3, doPRC, glow_period_frames);
            }
        } else if (v == 0) {
            sliceTextures(framecount, &framebase);
        }
    }
    if (crosshair.ortho)
        drawOrthoOutlines();
    surfacePass(kc);
    trackPass();
    lookOverlays();
}

void numcb(int *digit)
{
    unsigned d = static_cast<unsigned>(*digit);
    if (d > 9)
        return;
    numcount[d]++;
    if (d == 9)
        do_slice_reveal = 1;
    else if (d == 0)
        do_slice_reveal = -1;
}

int kcb(unsigned char *key)
{
    switch (*key) {
    case 'B':
        doPRC = doPRC == 0 ? 1 : 0;
        return 0;
    case 'I':
        // Slice views: the nearest voxel or trilinear.
        if (!crosshair.ortho)
            return 0;
        crosshair.linear = !crosshair.linear;
        return 1;
    case 'P':
        if (doPRC)
            return 0;
        // The library's own action for P only makes sense with every slice set drawn.
        std::fprintf(stderr, "TOGGLE VR MODE TO ALL SLICE SETS WITH 'B' THEN TRY AGAIN!!!\n");
        return 1;
    case 'h':
        // The library lists its own keys after these.
        printLookKeys();
        return 0;
    default:
        // The look keys have no action of the library's to skip.
        lookKey(*key);
        return 0;
    }
}
