// The scene library's ReadViewFile on arbitrary text, on a headless scene.
// A view that reads back must also survive WriteViewFile: what is written
// reads back and writes out again byte for byte.
#include <fstream>
#include <sstream>
#include <string>

#include "fuzz_support.h"
#include "vqscene.h"

namespace {

std::string fileText(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::openHeadlessScene("fuzz_viewfile");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > fuzz::kMaxInput)
        return 0;
    if (ReadViewFile(fuzz::inputFile(data, size)) != 0)
        return 0;
    static const std::string a = fuzz::tempPath("a.view"), b = fuzz::tempPath("b.view");
    FUZZ_CHECK(WriteViewFile(a.c_str()) == 0);
    FUZZ_CHECK(ReadViewFile(a.c_str()) == 0);
    FUZZ_CHECK(WriteViewFile(b.c_str()) == 0);
    FUZZ_CHECK(fileText(a) == fileText(b));
    return 0;
}
