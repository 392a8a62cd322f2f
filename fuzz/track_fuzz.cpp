// readTracks over a series of up to four track files cut from the input at
// NUL bytes (t0, t1, ... read with step 1). Track pattern checking rides
// along: a pattern that trackPatternValid accepts must be safe to format.
#include <string>

#include "fuzz_support.h"
#include "state.h"
#include "tracks.h"

namespace {

void releaseTracks()
{
    if (start && ntracks > 0)
        std::free(start[0]);
    std::free(start);
    std::free(count);
    start = nullptr;
    count = nullptr;
    ntracks = 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > fuzz::kMaxInput)
        return 0;
    static const std::string dir = fuzz::tempDir();
    size_t from = 0;
    int files = 0;
    long points = 0;
    for (; files < 4 && from <= size; files++) {
        const void *nul = std::memchr(data + from, 0, size - from);
        size_t to = nul ? static_cast<const uint8_t *>(nul) - data : size;
        std::string name = dir + "/t" + std::to_string(files) + ".txt";
        FILE *f = std::fopen(name.c_str(), "wb");
        FUZZ_CHECK(f != nullptr);
        FUZZ_CHECK(std::fwrite(data + from, 1, to - from, f) == to - from);
        std::fclose(f);
        from = to + 1;
    }
    for (int i = files; i < 4; i++)
        std::remove((dir + "/t" + std::to_string(i) + ".txt").c_str());
    std::string pattern = dir + "/t%d.txt";
    if (readTracks(pattern.c_str(), 1) == 0) {
        FUZZ_CHECK(ntracks == files);
        FUZZ_CHECK(start != nullptr && count != nullptr);
        for (int t = 0; t < ntracks; t++) {
            FUZZ_CHECK(count[t] >= 0);
            FUZZ_CHECK(start[t] == start[0] + points);
            points += count[t];
        }
        if (points > 0) {
            volatile double last = start[0][points - 1].z;
            (void)last;
        }
    }
    releaseTracks();
    // The first line, as a pattern: formatting what the check lets through
    // must stay within the name buffer and read one int.
    const void *nl = std::memchr(data, '\n', size < 64 ? size : 64);
    std::string line(reinterpret_cast<const char *>(data), nl ? static_cast<const uint8_t *>(nl) - data : 0);
    if (line.find('\0') == std::string::npos && trackPatternValid(line.c_str())) {
        std::string p = dir + "/" + line;
        if (readTracks(p.c_str(), 1000) == 0)
            FUZZ_CHECK(ntracks >= 0);
        releaseTracks();
    }
    return 0;
}
