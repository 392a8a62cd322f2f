/* vqscene.h - the public interface of libvqscene, the scene library.
 *
 * A program opens a display, describes its scene through these calls and
 * hands control to vqshow(), which runs the frame loop and calls back.
 * Every primitive is mapped, at the moment of the call, from the world
 * window in force (vqswin) to the current panel's viewport box (vqsvp).
 * Calls made before vqshow() go to the panel's static list, which is drawn
 * on every frame; calls made from a frame callback go to the per-frame
 * list, which is cleared before each frame.
 *
 * Errors are one line on standard error; a bad id or index is ignored.
 */
#ifndef VQSCENE_H
#define VQSCENE_H

/* Marks the calls the library exports; everything else in it is hidden. */
#if defined(__GNUC__) || defined(__clang__)
#define VQSCENE_API __attribute__((visibility("default")))
#else
#define VQSCENE_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Value types --------------------------------------------------- */

typedef struct Point3 { double x, y, z; } Point3;     /* point or vector */
typedef struct Colour3 { double r, g, b; } Colour3;   /* components 0..1 */
typedef struct Plane4 { double a, b, c, d; } Plane4;  /* a*x+b*y+c*z+d=0 */

/* Frame callback: t = seconds since the display started (in a window the
   clock; headless, frame number / --fps), *kc = number of space-bar
   presses so far. */
typedef void (*vqFrameFunc)(double *t, int *kc);
/* Number-key callback: *n = the digit pressed. */
typedef void (*vqNumberFunc)(int *n);
/* Key callback: nonzero result = skip the library's own action for *key. */
typedef int (*vqKeyFunc)(unsigned char *key);
/* Pointer callback: what = one of VQ_POINTER_* (button 0 left, 1 middle,
   2 right) or VQ_KEY_* (button 0); panel = the panel under the pointer or
   -1; fx, fy = the pointer in window fractions, y up. Nonzero result =
   skip the library's own action. */
typedef int (*vqPointerFunc)(int what, int button, int panel, double fx, double fy);
enum {
    VQ_POINTER_PRESS = 1, VQ_POINTER_DRAG, VQ_POINTER_RELEASE, VQ_POINTER_WHEEL_UP, VQ_POINTER_WHEEL_DOWN,
    VQ_KEY_LEFT = 16, VQ_KEY_RIGHT, VQ_KEY_UP, VQ_KEY_DOWN, VQ_KEY_PAGE_UP, VQ_KEY_PAGE_DOWN
};
/* Look-drag callback (Ctrl + left drag in a window): *phase 0 on press,
   1 on each motion with *dx to the right and *dy upwards in panel widths
   and heights since the last call, 2 on release. */
typedef void (*vqDragFunc)(int *phase, float *dx, float *dy);

/* ---- Display ------------------------------------------------------- */

/* Open the display; device "/?" or "/vqmono"; reads the library's own
   options (--nodraw, --png, --frames, ...) from argc/argv. 0 or -1. */
VQSCENE_API int vqopend(const char *device, int argc, char **argv);
/* Run the frame loop; returns only if the display cannot run. */
VQSCENE_API int vqshow(int mode);

/* ---- Callbacks ----------------------------------------------------- */

VQSCENE_API void cvqscb(vqFrameFunc f);  /* frame callback of the current panel */
VQSCENE_API void cvqsncb(vqNumberFunc f); /* number-key callback */
VQSCENE_API void cvqskcb(vqKeyFunc f);    /* key callback */
VQSCENE_API void cvqsdcb(vqDragFunc f);   /* look-drag callback; null: Ctrl drags turn the view */
VQSCENE_API void cvqdcb(void);            /* disable the frame callback */
VQSCENE_API void cvqecb(void);            /* enable the frame callback */
VQSCENE_API void cvqtcb(void);            /* toggle the frame callback */
VQSCENE_API void cvqspcb(vqPointerFunc f); /* pointer and special-key callback */

/* ---- View ---------------------------------------------------------- */

VQSCENE_API void vqswin(float x1, float x2, float y1, float y2, float z1, float z2); /* world window */
VQSCENE_API void vqqwin(float *x1, float *x2, float *y1, float *y2, float *z1, float *z2); /* last window set */
VQSCENE_API void vqsvp(float x1, float x2, float y1, float y2, float z1, float z2);  /* viewport box, -1..1 */
VQSCENE_API void vqbox(const char *xopt, float xtick, int nxsub, const char *yopt, float ytick, int nysub,
           const char *zopt, float ztick, int nzsub); /* box around the world window */
VQSCENE_API void svqsbc(float r, float g, float b);  /* background colour */
VQSCENE_API void svqstt(const char *title);          /* window title (default "vqscene") */
/* 1 when the display is open and keys can reach the program while it
   runs: in a window, or headless with --keys; 0 otherwise. */
VQSCENE_API int vqqin(void);
VQSCENE_API void svqsfc(float r, float g, float b);  /* foreground colour */
/* Ambient colour and n lights; positions in world units when world is 1. */
VQSCENE_API void svqsl(Colour3 ambient, int n, const Point3 *pos, const Colour3 *col, int world);
/* Current camera of the current panel; world units when world is 1. */
VQSCENE_API void svqqc(Point3 *eye, Point3 *up, Point3 *dir, int world);
VQSCENE_API int ReadViewFile(const char *name);        /* set the camera from a view file; 0 or -1 */
VQSCENE_API int WriteViewFile(const char *name);       /* write the camera to a view file; 0 or -1 */
VQSCENE_API void svqsrm(int mode);                     /* render mode: 0 outlines, else filled */
VQSCENE_API int svqqrm(void);                          /* current render mode */

/* ---- Colour -------------------------------------------------------- */

VQSCENE_API void vqscir(int lo, int hi);               /* colour-index range for volumes and maps */
VQSCENE_API void vqqcir(int *lo, int *hi);             /* current colour-index range */
VQSCENE_API void vqscr(int ci, float r, float g, float b);    /* set colour ci */
VQSCENE_API void vqqcr(int ci, float *r, float *g, float *b); /* query colour ci */
VQSCENE_API void vqicm(const char *name, int lo, int hi);     /* install a named colour map over lo..hi */
VQSCENE_API void vqsci(int ci);                        /* current colour index */
VQSCENE_API void vqslw(float width);                   /* line width (and point size) */

/* ---- Primitives ---------------------------------------------------- */

VQSCENE_API void vqpt(int n, const float *x, const float *y, const float *z, int symbol); /* points */
VQSCENE_API void vqline(int n, const float *x, const float *y, const float *z);           /* poly-line */
VQSCENE_API void nvqvthcline(Point3 p1, Point3 p2, Colour3 c1, Colour3 c2, float width);  /* thick line */
VQSCENE_API void nvqvf3(const Point3 *p, Colour3 col);                         /* flat triangle */
VQSCENE_API void nvqvf3n(const Point3 *p, const Point3 *n, Colour3 col);       /* smooth triangle */
VQSCENE_API void nvqvf3a(const Point3 *p, char kind, Colour3 col, float alpha); /* transparent triangle */
/* Polygon of n vertices v with 3-D texture coordinates t (0 = first texel's
   centre, 1 = last texel's centre) from texture texid. */
VQSCENE_API void nvqtexpoly3d(const Point3 *v, const Point3 *t, float n, int texid, char mode, float alpha);
VQSCENE_API void pushVRMLname(const char *name);       /* name of what is drawn next */

/* ---- Volumes ------------------------------------------------------- */

/* Volume rendering of grid[i][j][k] over the index ranges, tr = 12 floats
   index-to-world; keeps reading grid. Returns its id, or -1. */
VQSCENE_API int nvqcvr(float ***grid, int nx, int ny, int nz, int i1, int i2, int j1, int j2, int k1, int k2,
           const float *tr, char mode, float dmin, float dmax, float amin, float amax);
/* Draw one slice set (axis 1..3) of volume id; prc 1 = all sets, 0 = the
   set most nearly facing the viewer. */
VQSCENE_API void dvqdvrx(int id, int glow, int axis, int prc, float glowperiod);
/* Data and opacity ranges of volume rendering id, from the next frame on;
   the voxels already on the GPU serve (only the colour lookup changes). */
VQSCENE_API void svqvr(int id, float dmin, float dmax, float amin, float amax);
/* How volume rendering id makes a pixel of the values along its ray:
   0 composite (the default), 1 maximum, 2 minimum, 3 mean intensity; the
   last three through the colour range at full opacity. */
VQSCENE_API void svqvbm(int id, int mode);
/* Gradient shading of volume rendering id on (1) or off (0): composited
   samples lit by the scene's lights as a surface across their value's
   gradient would be, with a little specular highlight. */
VQSCENE_API void svqvsh(int id, int on);
/* Volume rendering id as labels (1) or values (0, the default): each
   sample takes the nearest voxel's value, no blend of neighbours, and its
   colour-range entry at opacity amax, the range's first entry being
   transparent; no opacity ramp, no shading. Composited draws only. */
VQSCENE_API void svqvlab(int id, int on);
VQSCENE_API int svqc3dt(int nx, int ny, int nz);       /* new RGBA 3-D texture; id or -1 */
/* Texel storage of texture id, 4 bytes a texel, texel (i,j,k) at
   4*(i + w*j + w*h*k). */
VQSCENE_API unsigned char *svqg3dt(int id, int *w, int *h, int *d);
VQSCENE_API void svqpt(int id);                        /* the texels take effect */
/* Blend of 3-D texture id's stacks of polygons, as svqvbm; the texels'
   opacity stands for their value, their colour for its colour. */
VQSCENE_API void svqtbm(int id, int mode);
/* Gradient shading of texture id's stacks, as svqvsh, the gradient being
   that of the texels' opacity. */
VQSCENE_API void svqtsh(int id, int on);
/* Texture id's stacks drawn from the values of volume rendering vol
   instead of from its texels: each sample's value through colour indices
   lo..hi with vol's data and opacity ranges (svqvr), so that a new range,
   ramp or colour changes the look with no new texels. vol's grid must have
   the texture's size and be indexed as its texels are. vol -1 goes back to
   the texels. A polygon drawn on its own shows the texels. */
VQSCENE_API void svqtvr(int id, int vol, int lo, int hi);

/* ---- Line sets ----------------------------------------------------- */

/* A set of n poly-lines held once and drawn from the GPU: xyz holds 3
   floats a point in world coordinates, line l runs through points
   first[l] .. first[l + 1] - 1 (first has n + 1 entries, first[0] = 0).
   colour 1: rgb holds 3 floats a line; 2: 3 floats a point; 0: rgb is not
   read and each segment takes the colour (|x|, |y|, |z|) of its unit
   direction in world axes. width in pixels. The library keeps reading the
   arrays (it copies none of them): they stay in place while the display
   runs. Returns the set's id, or -1. */
VQSCENE_API int vqcls(int n, const float *xyz, const unsigned int *first, const float *rgb, int colour,
                      float width);
/* Draw line set id in the current panel through the world window then in
   force; while the view is dragged an evenly spread part of its lines. */
VQSCENE_API void vqdls(int id);

/* ---- Panels -------------------------------------------------------- */

VQSCENE_API void xvqmp(int id, float x1, float y1, float x2, float y2); /* move panel, window fractions */
VQSCENE_API int xvqap(float x1, float y1, float x2, float y2);          /* add panel; its id */
VQSCENE_API void xvqcp(int id);                        /* make panel current */
VQSCENE_API void xvqlpc(int a, int b);                 /* panel b follows panel a's camera */
VQSCENE_API void xvqtp(int id);                        /* toggle panel visibility */

/* ---- Slice views ---------------------------------------------------- */

/* Orthographic camera of the current panel: looks along dir at centre with
   up on screen, showing height world units from the panel's bottom to its
   top. World units: the current window. */
VQSCENE_API void svqoc(Point3 centre, Point3 dir, Point3 up, double height);
/* Flat polygon of n (3..64) world vertices v textured from volume rendering
   id: t = fractional voxel indices of its grid (0 = first voxel's centre),
   through the current colour range with the rendering's data range, values
   below it taking the range's first colour. linear 0: the nearest voxel,
   else trilinear; alpha 1 opaque, below 1 blended, voxels below the data
   range then left out. */
VQSCENE_API void nvqgplane(int id, int n, const Point3 *v, const Point3 *t, int linear, float alpha);
/* World point shown at window fractions fx, fy (y up) in panel id, on the
   plane through its camera's centre facing the camera: 0, or -1 when the
   panel has no orthographic camera or the point lies outside it. */
VQSCENE_API int xvqpw(int id, double fx, double fy, Point3 *world);
/* ---- Overlays (drawn over the current panel after its scene) -------- */

/* Colour bar of the colour range lo..hi at the right edge (lo > hi: none),
   the opacity ramp amin..amax beside it, n labels text[i] at at[i] (0 the
   bottom, 1 the top of the bar). */
VQSCENE_API void svqocb(int lo, int hi, float amin, float amax, int n, const float *at, const char *const *text);
/* Orientation labels: labels[0..5] lie along the world's +x, -x, +y, -y,
   +z, -z and show at the edge of the view each points to; null: none. */
VQSCENE_API void svqoor(const char *const *labels);
/* Scale bar of a round length at the bottom left, true at the panel's
   centre; mm per world unit (0: none). */
VQSCENE_API void svqosb(float mmPerUnit);
/* A line of text at the top left (null or empty: none). */
VQSCENE_API void svqotx(const char *text);
/* Text item slot (0..15): lines of text (split at '\n') whose box point
   ax, ay (0 its left or bottom, 1 its right or top) lies at fx, fy (panel
   fractions, y up), kept a few pixels inside the panel's edge it leans on;
   in colour index `colour` (-1: the foreground). Null or empty: none. */
VQSCENE_API void svqotxi(int slot, float fx, float fy, float ax, float ay, int colour, const char *text);

/* ---- Images -------------------------------------------------------- */

/* TGA image as w*h pixels of 4 bytes (R, G, B, A), row after row from the
   top; null after one line on standard error. Caller frees. */
VQSCENE_API unsigned char *ReadTGATexture(const char *name, int *w, int *h);

/* ---- Geometry ------------------------------------------------------ */

VQSCENE_API Point3 VectorAdd(Point3 a, Point3 b);      /* a + b */
VQSCENE_API Point3 VectorSub(Point3 a, Point3 b);      /* b - a */
VQSCENE_API Point3 VectorMul(Point3 a, double s);      /* s * a */
VQSCENE_API double VectorLength(Point3 a, Point3 b);   /* |b - a| */
VQSCENE_API double Modulus(Point3 a);                  /* |a| */
VQSCENE_API double DotProduct(Point3 a, Point3 b);
VQSCENE_API Point3 CrossProduct(Point3 a, Point3 b);
VQSCENE_API void Normalise(Point3 *a);                 /* unit length; zero stays zero */
VQSCENE_API Point3 CalcNormal(Point3 p1, Point3 p2, Point3 p3); /* unit normal of a triangle */
/* Line p1-p2 meets plane: nonzero, *p = p1 + *mu*(p2 - p1); 0 if parallel. */
VQSCENE_API int LinePlane(double *mu, Point3 *p, Point3 p1, Point3 p2, Plane4 plane);
VQSCENE_API Colour3 HSV2RGB(double h, double s, double v); /* h in degrees */

#ifdef __cplusplus
}
#endif

#endif
