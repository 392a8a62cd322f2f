// loadObjFromGifti on arbitrary bytes: GIfTI surfaces in their encodings.
#include "surface_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > fuzz::kMaxInput)
        return 0;
    Obj *obj = loadObjFromGifti(fuzz::inputFile(data, size), "fuzz", 1.0f, 0.5f, 0.25f, 1.0f);
    if (!obj)
        return 0;
    // A surface taken is in world coordinates, every corner names one of
    // its vertices, and nothing was coloured.
    FUZZ_CHECK(obj->worldCoords == 1);
    FUZZ_CHECK(obj->vertexColours == nullptr);
    fuzz::checkObj(obj);
    freeObj(obj);
    return 0;
}
