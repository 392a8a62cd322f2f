// loadObj on arbitrary text.
#include "surface_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > fuzz::kMaxInput)
        return 0;
    Obj *obj = loadObj(fuzz::inputFile(data, size), "fuzz", 1.0f, 0.5f, 0.25f, 1.0f);
    if (!obj)
        return 0;
    fuzz::checkObj(obj);
    freeObj(obj);
    return 0;
}
