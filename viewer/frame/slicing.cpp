// View-aligned slicing of the 3-D textures, far to near, with the slice reveal.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "frame.h"
#include "state.h"
#include "vec3.h"
#include "vqscene.h"

namespace {

const Point3 kUnit[8] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0},
                         {0, 0, 1}, {1, 0, 1}, {0, 1, 1}, {1, 1, 1}};
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

// The library's vector arithmetic, inline: the same operations in the same
// order, without a call per operation in the loop over planes and edges.
// sub(a, b) is b - a, as VectorSub.
Point3 add(Point3 a, Point3 b)
{
    return vq::vecAdd(a, b);
}

Point3 sub(Point3 a, Point3 b)
{
    return vq::vecDiff(b, a);
}

Point3 mul(Point3 a, double s)
{
    return vq::vecScale(a, s);
}

double dot(Point3 a, Point3 b)
{
    return vq::vecDot(a, b);
}

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

} // namespace

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

    // Per volume, once a frame: each corner's position along dir, and the
    // distances below which two cut points are one corner met through
    // several edges, and beyond which a corner is surely off a plane.
    double cornerDepth[MAX_VOLUMES][8], mergeSq[MAX_VOLUMES], sideMargin[MAX_VOLUMES];
    for (int v = 0; v < nvr; v++) {
        double size = std::sqrt(dot(sub(W[v][0], W[v][7]), sub(W[v][0], W[v][7])));
        double reach = 0;
        for (int c = 0; c < 8; c++) {
            cornerDepth[v][c] = dot(dir, W[v][c]);
            reach = std::fmax(reach, std::fabs(cornerDepth[v][c]));
        }
        double eps = 1e-9 * size;
        mergeSq[v] = eps * eps;
        sideMargin[v] = 1e-9 * (size + reach + std::fabs(dot(dir, eye)));
    }

    int outlines = svqqrm() == 0;
    Point3 sight = add(eye, dir);
    for (int s = N; s >= stop + 1; s--) {
        for (int v = 0; v < nvr; v++) {
            float frac = (static_cast<float>(s) - static_cast<float>(v) / static_cast<float>(nvr)) /
                         static_cast<float>(N + 1);
            Point3 Q = add(W[0][nearC], mul(span, static_cast<double>(frac)));
            double offset = dot(dir, Q);
            Plane4 plane = {dir.x, dir.y, dir.z, -offset};
            double mu;
            Point3 Q0;
            if (!LinePlane(&mu, &Q0, eye, sight, plane)) {
                std::fprintf(stderr, "Viewdir doesn't intersect plane: impossible!!!\n");
                std::exit(-1);
            }

            Cut list[kMaxList];
            int k = 0;
            for (int e = 0; e < 12; e++) {
                int a = kEdges[e][0], b = kEdges[e][1];
                // Both ends well to one side: the plane cannot meet this edge.
                double da = cornerDepth[v][a] - offset, db = cornerDepth[v][b] - offset;
                double m = sideMargin[v];
                if ((da > m && db > m) || (da < -m && db < -m))
                    continue;
                Point3 P;
                if (!LinePlane(&mu, &P, W[v][a], W[v][b], plane) || !(mu >= 0.0 && mu <= 1.0))
                    continue;
                bool repeated = false;
                for (int j = 0; j < k && !repeated; j++) {
                    Point3 d = sub(list[j].p, P);
                    repeated = dot(d, d) <= mergeSq[v];
                }
                if (repeated || k == kMaxPolygon)
                    continue;
                Point3 u = sub(Q0, P);
                Normalise(&u);
                float angle = static_cast<float>(std::atan2(dot(u, up), dot(u, right)));
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
                V[j] = add(W[v][a], mul(sub(W[v][a], W[v][b]), m));
                T[j] = add(kUnit[a], mul(sub(kUnit[a], kUnit[b]), m));
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
