// What every surface reader promises about the record it returns, checked
// on each fuzz input before the record is used further.
#pragma once

#include "fuzz_support.h"
#include "obj.h"

namespace fuzz {

inline void checkObj(Obj *obj)
{
    FUZZ_CHECK(obj->nverts >= 0 && obj->nfacets >= 0);
    FUZZ_CHECK(obj->nverts == 0 || obj->verts);
    FUZZ_CHECK(obj->nfacets == 0 || obj->facets);
    FUZZ_CHECK(obj->normals == nullptr);
    FUZZ_CHECK(std::memchr(obj->label, 0, sizeof obj->label) != nullptr);
    // Reading the last element lets the address checker see an array that
    // is shorter than its count.
    volatile double sink = 0;
    if (obj->nverts > 0)
        sink = sink + obj->verts[obj->nverts - 1].z;
    for (int i = 0; i < 3 * obj->nfacets; i++)
        FUZZ_CHECK(obj->facets[i] >= 1 && obj->facets[i] <= obj->nverts);
    (void)sink;
    // Facets in range make the normals safe to compute: that is the next
    // step every surface goes through.
    calcVertexNormals(obj);
}

}  // namespace fuzz
