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

// How many slices the frame cuts, from how far the first box reaches along
// the view against its diagonal; fewer with -Sp.
int sliceCount(const Point3 W0[8], double extent)
{
    double diag = Modulus(VectorSub(W0[0], W0[7]));
    float q = static_cast<float>(static_cast<double>(static_cast<float>(extent)) / diag);
    int n2 = _nx[0] * _nx[0] + _ny[0] * _ny[0] + _nz[0] * _nz[0];
    double slices = 2.0 * q * std::sqrt(static_cast<double>(n2));
    // A box without extent (one voxel) or a view that makes no sense has no slices.
    int N = slices >= 0 && slices < 1e9 ? static_cast<int>(slices) : 0;
    return N / (_3d_speed_up >= 1 ? _3d_speed_up : 1);
}

// The slice reveal: the number of near slices left out this frame (0 when
// no reveal runs); starts and ends the reveal as the frames pass.
int revealStop(int framecount, int *framebase, int N)
{
    if (do_slice_reveal == 0)
        return 0;
    int e = 0;
    if (do_slice_reveal == 1 || do_slice_reveal == -1) {
        *framebase = framecount;
        do_slice_reveal *= 2;
    } else {
        e = framecount - *framebase;
        if (e > kRevealFrames) {
            do_slice_reveal = 0;
            return 0;
        }
    }
    int f = static_cast<int>(static_cast<float>(e) / 450.0f * static_cast<float>(N));
    if (f >= 0 && f >= N)
        f = N - 1;
    return do_slice_reveal > 0 ? N - f : f;
}

// One volume's box for this frame's view: its corners, each corner's
// position along the view, and the distances below which two cut points are
// one corner met through several edges, and beyond which a corner is surely
// off a plane.
struct BoxView {
    Point3 W[8];
    double cornerDepth[8];
    double mergeSq, sideMargin;
};

void viewBox(int v, Point3 eye, Point3 dir, BoxView *b)
{
    boxCorners(v, b->W);
    double size = std::sqrt(dot(sub(b->W[0], b->W[7]), sub(b->W[0], b->W[7])));
    double reach = 0;
    for (int c = 0; c < 8; c++) {
        b->cornerDepth[c] = dot(dir, b->W[c]);
        reach = std::fmax(reach, std::fabs(b->cornerDepth[c]));
    }
    double eps = 1e-9 * size;
    b->mergeSq = eps * eps;
    b->sideMargin = 1e-9 * (size + reach + std::fabs(dot(dir, eye)));
}

// The points where the plane at `offset` along dir cuts the box's edges,
// each once, in order of their angle about Q0 seen along the view. Their
// count.
int cutBox(const BoxView &b, Plane4 plane, double offset, Point3 Q0, Point3 up, Point3 right,
           Cut list[kMaxList])
{
    int k = 0;
    for (int e = 0; e < 12; e++) {
        int a = kEdges[e][0], c = kEdges[e][1];
        // Both ends well to one side: the plane cannot meet this edge.
        double da = b.cornerDepth[a] - offset, dc = b.cornerDepth[c] - offset;
        double m = b.sideMargin;
        if ((da > m && dc > m) || (da < -m && dc < -m))
            continue;
        double mu;
        Point3 P;
        if (!LinePlane(&mu, &P, b.W[a], b.W[c], plane) || !(mu >= 0.0 && mu <= 1.0))
            continue;
        bool repeated = false;
        for (int j = 0; j < k && !repeated; j++) {
            Point3 d = sub(list[j].p, P);
            repeated = dot(d, d) <= b.mergeSq;
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
    return k;
}

// The polygon of k cuts of volume v's box: textured, or as an outline.
void drawCut(int v, const BoxView &b, const Cut *list, int k, bool outlines, bool revealEdge)
{
    Point3 V[kMaxPolygon], T[kMaxPolygon];
    float xs[kMaxList], ys[kMaxList], zs[kMaxList];
    for (int j = 0; j < k; j++) {
        int a = kEdges[list[j].edge][0], c = kEdges[list[j].edge][1];
        double m = list[j].mu;
        V[j] = add(b.W[a], mul(sub(b.W[a], b.W[c]), m));
        T[j] = add(kUnit[a], mul(sub(kUnit[a], kUnit[c]), m));
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
        return;
    }
    if (revealEdge)
        nvqtexpoly3d(V, T, static_cast<float>(k), tex3d[v], 's', 1.0f);
    nvqtexpoly3d(V, T, static_cast<float>(k), tex3d[v], 's', 0.6f);
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
    BoxView box[MAX_VOLUMES];
    for (int v = 0; v < nvr; v++)
        viewBox(v, eye, dir, &box[v]);
    const Point3 *W0 = box[0].W;

    int nearC = 0, farC = 0;
    float dmin = 9.0e30f, dmax = -9.0e30f;
    for (int c = 0; c < 8; c++) {
        float depth = static_cast<float>(DotProduct(VectorSub(eye, W0[c]), dir));
        if (depth < dmin) {
            dmin = depth;
            nearC = c;
        }
        if (depth > dmax) {
            dmax = depth;
            farC = c;
        }
    }
    Point3 span = VectorSub(W0[nearC], W0[farC]);
    int N = sliceCount(W0, DotProduct(span, dir));
    int stop = revealStop(framecount, framebase, N);
    if (stop >= N)
        return;

    bool outlines = svqqrm() == 0;
    Point3 sight = add(eye, dir);
    for (int s = N; s >= stop + 1; s--) {
        for (int v = 0; v < nvr; v++) {
            float frac = (static_cast<float>(s) - static_cast<float>(v) / static_cast<float>(nvr)) /
                         static_cast<float>(N + 1);
            Point3 Q = add(W0[nearC], mul(span, static_cast<double>(frac)));
            double offset = dot(dir, Q);
            Plane4 plane = {dir.x, dir.y, dir.z, -offset};
            double mu;
            Point3 Q0;
            if (!LinePlane(&mu, &Q0, eye, sight, plane)) {
                std::fprintf(stderr, "Viewdir doesn't intersect plane: impossible!!!\n");
                std::exit(-1);
            }
            Cut list[kMaxList];
            int k = cutBox(box[v], plane, offset, Q0, up, right, list);
            // Fewer than three points enclose nothing.
            if (k >= 3)
                drawCut(v, box[v], list, k, outlines, do_slice_reveal != 0 && s == stop + 1);
        }
    }
}
