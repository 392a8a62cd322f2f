// Shared by the fuzz targets: the readers take file names, so each input is
// handed over as a file. Inputs go to one memory file per process (no disk
// traffic, nothing to clean up); files the code under test writes itself go
// to a private temporary folder, since a writer may replace its file by
// renaming, which a memory file does not allow.
#pragma once

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "vqscene.h"

namespace fuzz {

// Larger inputs only slow the search down; the readers' size limits are
// tested with crafted headers instead.
constexpr size_t kMaxInput = 1 << 20;

// Writes all of buf to fd at offset 0; false on a failed write.
inline bool writeAll(int fd, const void *buf, size_t size)
{
    const char *p = static_cast<const char *>(buf);
    size_t done = 0;
    while (done < size) {
        ssize_t n = pwrite(fd, p + done, size - done, static_cast<off_t>(done));
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// A private folder under /tmp, removed with its files at exit.
inline const std::string &tempDir()
{
    static std::string dir;
    if (dir.empty()) {
        char tmpl[] = "/tmp/vqfuzz.XXXXXX";
        if (!mkdtemp(tmpl)) {
            std::perror("fuzz: mkdtemp");
            std::abort();
        }
        dir = tmpl;
        std::atexit([] {
            std::string cmd = "rm -rf '" + dir + "'";
            if (std::system(cmd.c_str()) != 0)
                std::fprintf(stderr, "fuzz: could not remove %s\n", dir.c_str());
        });
    }
    return dir;
}

// Path of a file named `name` in the private folder.
inline std::string tempPath(const char *name)
{
    return tempDir() + "/" + name;
}

// Replaces the content of the process's input file `slot` (0..3) with the
// bytes given and returns a path that opens it.
inline const char *inputFile(const void *data, size_t size, int slot = 0)
{
    static int fds[4] = {-1, -1, -1, -1};
    static char paths[4][64];
    if (fds[slot] < 0) {
        fds[slot] = memfd_create("vqfuzz", 0);
        if (fds[slot] >= 0) {
            std::snprintf(paths[slot], sizeof paths[slot], "/proc/self/fd/%d", fds[slot]);
        } else {
            std::string p = tempPath(("input" + std::to_string(slot)).c_str());
            fds[slot] = open(p.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
            std::snprintf(paths[slot], sizeof paths[slot], "%s", p.c_str());
        }
        if (fds[slot] < 0) {
            std::perror("fuzz: input file");
            std::abort();
        }
    }
    if (ftruncate(fds[slot], 0) != 0 || !writeAll(fds[slot], data, size)) {
        std::perror("fuzz: writing input file");
        std::abort();
    }
    return paths[slot];
}

// Little-endian reads from the input, zero past its end.
inline uint32_t le32(const uint8_t *data, size_t size, size_t at)
{
    uint32_t v = 0;
    for (size_t i = 0; i < 4; i++)
        if (at + i < size)
            v |= static_cast<uint32_t>(data[at + i]) << (8 * i);
    return v;
}

// Stops the run with a message when a reader broke a promise it makes.
#define FUZZ_CHECK(cond)                                                                                   \
    do {                                                                                                   \
        if (!(cond)) {                                                                                     \
            std::fprintf(stderr, "fuzz: check failed at %s:%d: %s\n", __FILE__, __LINE__, #cond);           \
            std::abort();                                                                                  \
        }                                                                                                  \
    } while (0)

// Opens the scene library headless once per process, for targets whose
// code draws or reads the camera; aborts if it cannot.
inline void openHeadlessScene(const char *prog)
{
    static char nodraw[] = "--nodraw";
    static char *argv[] = {const_cast<char *>(prog), nodraw, nullptr};
    if (vqopend("/?", 2, argv) != 0) {
        std::fprintf(stderr, "fuzz: cannot open a headless scene\n");
        std::abort();
    }
}

}  // namespace fuzz
