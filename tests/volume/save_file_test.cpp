// Saving beside the target: a finished save replaces the file and keeps
// its mode, a failed one leaves the old file and no temporary behind.
#include <dirent.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "../support/scratch.h"
#include "save_file.h"

namespace {

std::string contents(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

int leftovers(const std::string &dir)
{
    int n = 0;
    DIR *d = opendir(dir.c_str());
    while (dirent *e = d ? readdir(d) : nullptr)
        n += std::strstr(e->d_name, ".save-") != nullptr;
    if (d)
        closedir(d);
    return n;
}

TEST(SaveFile, FinishedSaveReplacesAndKeepsTheMode)
{
    std::string dir = scratchDir() + "/save_ok";
    mkdir(dir.c_str(), 0755);
    std::string path = dir + "/out.txt";
    std::ofstream(path) << "old";
    chmod(path.c_str(), 0600);
    SaveFile s;
    ASSERT_TRUE(beginSave(s, path.c_str()));
    FILE *f = openSaveStream(s, "w");
    ASSERT_NE(f, nullptr);
    std::fputs("new", f);
    EXPECT_EQ(contents(path), "old"); // nothing visible before the rename
    ASSERT_TRUE(finishSave(s, true));
    EXPECT_EQ(contents(path), "new");
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(leftovers(dir), 0);
}

TEST(SaveFile, FailedSaveKeepsTheOldFile)
{
    std::string dir = scratchDir() + "/save_fail";
    mkdir(dir.c_str(), 0755);
    std::string path = dir + "/out.bin";
    std::ofstream(path) << "precious";
    SaveFile s;
    ASSERT_TRUE(beginSave(s, path.c_str()));
    ASSERT_EQ(write(s.fd, "partial", 7), 7);
    errno = 0;
    EXPECT_FALSE(finishSave(s, false));
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(contents(path), "precious");
    EXPECT_EQ(leftovers(dir), 0);
    // A folder that does not exist: nothing to open, errno says why.
    SaveFile t;
    EXPECT_FALSE(beginSave(t, (dir + "/no/such/out.bin").c_str()));
    EXPECT_EQ(errno, ENOENT);
    // The target is a folder: the rename fails and the temporary goes.
    std::string sub = dir + "/folder";
    mkdir(sub.c_str(), 0755);
    SaveFile u;
    ASSERT_TRUE(beginSave(u, sub.c_str()));
    EXPECT_FALSE(finishSave(u, true));
    EXPECT_EQ(leftovers(dir), 0);
}

} // namespace
