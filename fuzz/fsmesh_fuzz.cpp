// The FS mesh reader in its reporting form (readObjFromFS): loadObjFromFS
// ends the process on a bad file by design, so it cannot be fuzzed itself.
#include "surface_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > fuzz::kMaxInput)
        return 0;
    Obj *obj = readObjFromFS(fuzz::inputFile(data, size), "fuzz", 1.0f, 0.5f, 0.25f, 1.0f);
    if (!obj)
        return 0;
    fuzz::checkObj(obj);
    freeObj(obj);
    return 0;
}
