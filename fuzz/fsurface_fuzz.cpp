// loadObjFromFreeSurfer on arbitrary bytes: FreeSurfer binary triangle
// surfaces with and without their volume geometry.
#include <cmath>

#include "surface_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > fuzz::kMaxInput)
        return 0;
    Obj *obj = loadObjFromFreeSurfer(fuzz::inputFile(data, size), "fuzz", 1.0f, 0.5f, 0.25f, 1.0f);
    if (!obj)
        return 0;
    // Only triangle files are read, in world coordinates, and every vertex
    // and triangle took its twelve bytes of the file.
    FUZZ_CHECK(size >= 3 && data[0] == 0xff && data[1] == 0xff && data[2] == 0xfe);
    FUZZ_CHECK(obj->worldCoords == 1);
    FUZZ_CHECK(12ull * (static_cast<unsigned long long>(obj->nverts) + obj->nfacets) + 11 <= size);
    FUZZ_CHECK(obj->vertexColours == nullptr);
    fuzz::checkObj(obj);
    freeObj(obj);
    return 0;
}
