// Replays fuzz inputs outside libFuzzer: every file named, or every file in
// every folder named, goes once through LLVMFuzzerTestOneInput.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
// Optional, as in libFuzzer: a target that needs one-time set-up defines it.
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int *argc, char ***argv);

static bool replayFile(const std::string &path)
{
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) {
        std::fprintf(stderr, "replay: cannot open %s\n", path.c_str());
        return false;
    }
    std::vector<uint8_t> buf;
    uint8_t chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        buf.insert(buf.end(), chunk, chunk + n);
    std::fclose(f);
    LLVMFuzzerTestOneInput(buf.data(), buf.size());
    return true;
}

int main(int argc, char **argv)
{
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    int files = 0;
    bool ok = true;
    for (int a = 1; a < argc; a++) {
        struct stat st;
        if (stat(argv[a], &st) != 0) {
            std::fprintf(stderr, "replay: no such file %s\n", argv[a]);
            return 1;
        }
        if (!S_ISDIR(st.st_mode)) {
            ok = replayFile(argv[a]) && ok;
            files++;
            continue;
        }
        DIR *d = opendir(argv[a]);
        while (struct dirent *e = d ? readdir(d) : nullptr) {
            if (e->d_name[0] == '.')
                continue;
            ok = replayFile(std::string(argv[a]) + "/" + e->d_name) && ok;
            files++;
        }
        if (d)
            closedir(d);
    }
    std::printf("replayed %d inputs\n", files);
    return ok ? 0 : 1;
}
