// loadObjFromSTL on arbitrary bytes.
#include "surface_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > fuzz::kMaxInput)
        return 0;
    Obj *obj = loadObjFromSTL(fuzz::inputFile(data, size), "fuzz", 1.0f, 0.5f, 0.25f, 1.0f);
    if (!obj)
        return 0;
    // Every corner of every facet in the file is in the record.
    uint32_t n = fuzz::le32(data, size, 80);
    FUZZ_CHECK(size >= 84 && static_cast<uint64_t>(n) * 50 + 84 <= size);
    FUZZ_CHECK(obj->nfacets == static_cast<int>(n));
    FUZZ_CHECK(obj->nverts <= 3 * obj->nfacets);
    fuzz::checkObj(obj);
    freeObj(obj);
    return 0;
}
