// Each test process works in a folder of its own under the test scratch
// folder. ctest runs test cases side by side as separate processes, and many
// of them write scratch files by plain names; this keeps them apart.
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#ifndef TEST_TMP_DIR
#define TEST_TMP_DIR "/tmp"
#endif

namespace {

int removeEntry(const char *path, const struct stat *, int, struct FTW *)
{
    return std::remove(path);
}

struct PrivateCwd {
    pid_t owner = getpid();
    std::string dir = std::string(TEST_TMP_DIR) + "/run-" + std::to_string(getpid());

    PrivateCwd()
    {
        mkdir(TEST_TMP_DIR, 0755);
        if (mkdir(dir.c_str(), 0755) != 0 || chdir(dir.c_str()) != 0)
            std::perror(dir.c_str());
    }

    // Children forked by death tests also run this; only the process that
    // made the folder removes it.
    ~PrivateCwd()
    {
        if (getpid() != owner)
            return;
        if (chdir(TEST_TMP_DIR) == 0)
            nftw(dir.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
    }
};

PrivateCwd privateCwd;

}  // namespace
