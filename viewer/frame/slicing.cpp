// View-aligned slicing of the 3-D textures, far to near, with the slice reveal.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "frame.h"
#include "state.h"
#include "vqscene.h"

namespace {

const Point3 kUnit[8] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {0, 0, 1}, {1, 0, 1}, {0, 1, 1}, {1, 1, 1}};
const int kEdges[12][2] = {{0, 1}, {0, 2}, {1, 3}, {2, 3}, {4, 5}, {4, 6},
                           {5, 7}, {6, 7}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};

// A reveal runs over frames 0..kRevealFrames after its start.
const int kRevealFrames = 450;
// A plane section of a box has at most 6 corners; the list keeps room for 8.
const int kMaxList = 8;
const int kMaxPolygon = 6;

struct Cut {
    int edge;
    float mu;
    float angle;
    Point3 p;
};

// Corners of volume v's box, voxel (0,0,0) to voxel (nx-1, ny-1, nz-1).
void boxCorners(int v, Point3 W[8])
{
    const float *t = _tr[v];
    for (int c = 0; c < 8; c++) {
        double ci = kUnit[c].x * (_nx[v] - 1), cj = kUnit[c].y * (_ny[v] - 1), ck = kUnit[c].z * (_nz[v] - 1);
        W[c] = Point3{static_cast<double>(t[0]) + t[1] * ci + t[2] * cj + t[3] * ck,
                      static_cast<double>(t[4]) + t[5] * ci + t[6] * cj + t[7] * ck,
                      static_cast<double>(t[8]) + t[9] * ci + t[10] * cj + t[11] * ck};
    }
}

}  // namespace

void sliceTextures(int framecount, int *framebase)
{
    Point3 eye, up, dir;
    svqqc(&eye, &up, &dir, 1);
    Normalise(&dir);
    Point3 right = CrossProduct(dir, up);

    int nvr = NVR < MAX_VOLUMES ? NVR : MAX_VOLUMES;
    if (nvr <= 0)
        return;
    Point3 W[MAX_VOLUMES][8];
    for (int v = 0; v < nvr; v++)
        boxCorners(v, W[v]);

    int nearC = 0, farC = 0;
    float dmin = 9.0e30f, dmax = -9.0e30f;
    for (int c = 0; c < 8; c++) {
        float depth = static_cast<float>(DotProduct(VectorSub(eye, W[0][c]), dir));
        if (depth < dmin) {
            dmin = depth;
            nearC = c;
        }
        if (depth > dmax) {
            dmax = depth;
            farC = c;
        }
    }
    Point3 span = VectorSub(W[0][nearC], W[0][farC]);
    double extent = DotProduct(span, dir);

    double diag = Modulus(VectorSub(W[0][0], W[0][7]));
    float q = static_cast<float>(static_cast<double>(static_cast<float>(extent)) / diag);
    int n2 = _nx[0] * _nx[0] + _ny[0] * _ny[0] + _nz[0] * _nz[0];
    double slices = 2.0 * q * std::sqrt(static_cast<double>(n2));
    // A box without extent (one voxel) or a view that makes no sense has no slices.
    int N = slices >= 0 && slices < 1e9 ? static_cast<int>(slices) : 0;
    N /= _3d_speed_up >= 1 ? _3d_speed_up : 1;

    int stop = 0;
    if (do_slice_reveal != 0) {
        bool running = true;
        int e = 0;
        if (do_slice_reveal == 1 || do_slice_reveal == -1) {
            *framebase = framecount;
            do_slice_reveal *= 2;
        } else {
            e = framecount - *framebase;
            if (e > kRevealFrames) {
                do_slice_reveal = 0;
                running = false;
            }
        }
        if (running) {
            int f = static_cast<int>(static_cast<float>(e) / 450.0f * static_cast<float>(N));
            if (f >= 0 && f >= N)
                f = N - 1;
            stop = do_slice_reveal > 0 ? N - f : f;
        }
    }
    if (stop >= N)
        return;

    int outlines = svqqrm() == 0;
    for (int s = N; s >= stop + 1; s--) {
        for (int v = 0; v < nvr; v++) {
            float frac = (static_cast<float>(s) - static_cast<float>(v) / static_cast<float>(nvr)) /
                         static_cast<float>(N + 1);
            Point3 Q = VectorAdd(W[0][nearC], VectorMul(span, static_cast<double>(frac)));
            Plane4 plane = {dir.x, dir.y, dir.z, -DotProduct(dir, Q)};
            double mu;
            Point3 Q0;
            if (!LinePlane(&mu, &Q0, eye, VectorAdd(eye, dir), plane)) {
                std::fprintf(stderr, "Viewdir doesn't intersect plane: impossible!!!\n");
                std::exit(-1);
            }

            // Points closer than this to one already listed are the same corner
            // met through several edges.
            double eps = 1e-9 * (Modulus(VectorSub(W[v][0], W[v][7])) + 1e-300);
            Cut list[kMaxList];
            int k = 0;
            for (int e = 0; e < 12; e++) {
                const Point3 &A = W[v][kEdges[e][0]], &B = W[v][kEdges[e][1]];
                Point3 P;
                if (!LinePlane(&mu, &P, A, B, plane) || !(mu >= 0.0 && mu <= 1.0))
                    continue;
                bool repeated = false;
                for (int j = 0; j < k && !repeated; j++)
                    repeated = VectorLength(list[j].p, P) <= eps;
                if (repeated || k == kMaxPolygon)
                    continue;
                Point3 u = VectorSub(Q0, P);
                Normalise(&u);
                float angle = static_cast<float>(std::atan2(DotProduct(u, up), DotProduct(u, right)));
                int at = 0;
                while (at < k && list[at].angle < angle)
                    at++;
                for (int j = k; j > at; j--)
                    list[j] = list[j - 1];
                list[at] = Cut{e, static_cast<float>(mu), angle, P};
                k++;
            }
            // Fewer than three points enclose nothing.
            if (k < 3)
                continue;

            Point3 V[kMaxPolygon], T[kMaxPolygon];
            float xs[kMaxList], ys[kMaxList], zs[kMaxList];
            for (int j = 0; j < k; j++) {
                int a = kEdges[list[j].edge][0], b = kEdges[list[j].edge][1];
                double m = list[j].mu;
                V[j] = VectorAdd(W[v][a], VectorMul(VectorSub(W[v][a], W[v][b]), m));
                T[j] = VectorAdd(kUnit[a], VectorMul(VectorSub(kUnit[a], kUnit[b]), m));
                xs[j] = static_cast<float>(V[j].x);
                ys[j] = static_cast<float>(V[j].y);
                zs[j] = static_cast<float>(V[j].z);
            }
            xs[k] = xs[0];
            ys[k] = ys[0];
            zs[k] = zs[0];

            if (outlines) {
                vqsci(2 + v % 4);
                vqline(k + 1, xs, ys, zs);
            } else {
                if (do_slice_reveal != 0 && s == stop + 1)
                    nvqtexpoly3d(V, T, static_cast<float>(k), tex3d[v], 's', 1.0f);
                nvqtexpoly3d(V, T, static_cast<float>(k), tex3d[v], 's', 0.6f);
            }
        }
    }
}
