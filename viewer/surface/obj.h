// Surface records, their readers, normals, translation and drawing.
#pragma once

#include "vqscene.h"

#define OBJ_LABEL_LEN 80

struct Obj {
    char label[OBJ_LABEL_LEN];
    Colour3 colour;
    float alpha;
    int nverts;
    Point3 *verts;
    int nfacets;
    int *facets;  // 3 * nfacets vertex numbers, counted from 1
    Point3 min, max, mean;
    Point3 *normals;  // nverts entries, or null
    // 0: OBJ/STL coordinates, counted from the lower corner of the world
    // box; 1: world coordinates (LPS millimetres), drawn where they are.
    int worldCoords;
    Colour3 *vertexColours; // nverts entries from an overlay, or null
};

struct ObjWgt {
    int nverts;
    int *vert;  // vertex numbers counted from 0
    float *wgt;
    float wmin, wmax;
};

Obj *loadObj(const char *fname, const char *label, float r, float g, float b, float a);
void calcObjMinMaxMean(Obj *obj);
Obj *loadObjFromSTL(const char *fname, const char *label, float r, float g, float b, float a);
// Ends the process on a bad file; readObjFromFS reports and returns null instead.
Obj *loadObjFromFS(const char *fname, const char *label, float r, float g, float b, float a);
Obj *readObjFromFS(const char *fname, const char *label, float r, float g, float b, float a);
ObjWgt *loadObjWgtFromFS(const char *fname);

// Surface formats recognised by content (OBJ and STL go by name).
enum SurfaceFormat { SURFACE_UNKNOWN = 0, SURFACE_FREESURFER, SURFACE_GIFTI };
int recogniseSurfaceFile(const char *fname);
// FreeSurfer binary triangle surfaces (lh.white, lh.pial, ...): moved from
// tkregister space to scanner RAS when the file holds its volume geometry,
// then to LPS. Null after one line on stderr naming the file.
Obj *loadObjFromFreeSurfer(const char *fname, const char *label, float r, float g, float b, float a);
// GIfTI surfaces (.surf.gii): scanner RAS unless the file's coordinate
// system maps elsewhere, then LPS. Null after one line on stderr.
Obj *loadObjFromGifti(const char *fname, const char *label, float r, float g, float b, float a);
// The one place where RAS surface coordinates become the scene's LPS:
// x and y negated; the box and mean follow and the record is marked as
// being in world coordinates.
void rasToLpsObj(Obj *obj);
void freeObj(Obj *obj);
void freeObjWgt(ObjWgt *wgt);

void calcVertexNormals(Obj *obj);
void translateObj(Obj *obj, Point3 t);
void drawObj(const Obj *obj);
void drawObjWgts(const Obj *obj, const ObjWgt *wgt, int onlyWeighted, int ci);

// The per-frame surface pass over the viewer's objs, kc = space-bar count.
void surfacePass(int *kc);
