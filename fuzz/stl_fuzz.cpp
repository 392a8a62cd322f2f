// loadObjFromSTL on arbitrary bytes: binary files and text ("solid ...") ones.
#include <cstring>
#include <string>

#include "surface_checks.h"

namespace {

// A text STL starts with "solid" (after white space) and is not exactly the
// size a binary file with its facet count would be.
bool textStl(const uint8_t *data, size_t size)
{
    size_t i = 0;
    while (i < size && (data[i] == ' ' || data[i] == '\t' || data[i] == '\r' || data[i] == '\n'))
        i++;
    if (size - i < 5 || std::memcmp(data + i, "solid", 5) != 0)
        return false;
    return size < 84 || static_cast<uint64_t>(fuzz::le32(data, size, 80)) * 50 + 84 != size;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > fuzz::kMaxInput)
        return 0;
    Obj *obj = loadObjFromSTL(fuzz::inputFile(data, size), "fuzz", 1.0f, 0.5f, 0.25f, 1.0f);
    if (!obj)
        return 0;
    if (textStl(data, size)) {
        // Each facet taken was closed by its own "endfacet".
        std::string text(reinterpret_cast<const char *>(data), size);
        int ends = 0;
        for (size_t at = text.find("endfacet"); at != std::string::npos; at = text.find("endfacet", at + 8))
            ends++;
        FUZZ_CHECK(obj->nfacets <= ends);
    } else {
        // Every corner of every facet in the file is in the record.
        uint32_t n = fuzz::le32(data, size, 80);
        FUZZ_CHECK(size >= 84 && static_cast<uint64_t>(n) * 50 + 84 <= size);
        FUZZ_CHECK(obj->nfacets == static_cast<int>(n));
    }
    FUZZ_CHECK(obj->nverts <= 3 * obj->nfacets);
    fuzz::checkObj(obj);
    freeObj(obj);
    return 0;
}
