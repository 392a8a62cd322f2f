// Helpers of the hostile-input tests: files from bytes, standard error
// captured around a reader call, the lengths a truncation sweep tries, and
// a child process with a small address-space limit for the size caps.
#pragma once

#include "../support/scratch.h"
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace hostile {

using Bytes = std::vector<uint8_t>;

inline std::string tmpPath(const std::string &name)
{
    return scratchDir() + "/fuzz_" + name;
}

inline void writeFile(const std::string &path, const uint8_t *data, size_t size)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(size));
}

inline Bytes readFile(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

inline void putLE32(Bytes &b, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

inline void putFloat(Bytes &b, float f)
{
    uint32_t v;
    std::memcpy(&v, &f, 4);
    putLE32(b, v);
}

// A memory file (a file on disk where memory files are missing) of which
// `slot` names one; a sweep rewrites it thousands of times, which costs a
// disk file far more.
inline int memFile(int slot)
{
    static int fds[2] = {-1, -1};
    if (fds[slot] < 0) {
        fds[slot] = memfd_create("hostile", 0);
        if (fds[slot] < 0)
            fds[slot] = open(tmpPath("memfile" + std::to_string(slot)).c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    }
    return fds[slot];
}

// Replaces the content of the sweep's input file; returns a path to it.
inline std::string inputFile(const uint8_t *data, size_t size)
{
    int fd = memFile(0);
    if (ftruncate(fd, 0) != 0)
        return "";
    for (size_t done = 0; done < size;) {
        ssize_t n = pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0)
            return "";
        done += static_cast<size_t>(n);
    }
    return "/proc/self/fd/" + std::to_string(fd);
}

// Runs fn with standard error sent to a file; returns what was written.
inline std::string captureStderr(const std::function<void()> &fn)
{
    int fd = memFile(1);
    std::fflush(stderr);
    if (ftruncate(fd, 0) != 0 || lseek(fd, 0, SEEK_SET) != 0)
        return "(cannot capture)";
    int saved = dup(2);
    dup2(fd, 2);
    fn();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::string out;
    char buf[4096];
    ssize_t n;
    for (off_t at = 0; (n = pread(fd, buf, sizeof buf, at)) > 0; at += n)
        out.append(buf, static_cast<size_t>(n));
    return out;
}

// Every prefix length below full up to 4 KiB, then every 1/256 of the rest.
inline std::vector<size_t> sweepLengths(size_t full)
{
    std::vector<size_t> lengths;
    for (size_t n = 0; n < full && n <= 4096; n++)
        lengths.push_back(n);
    if (full > 4097)
        for (size_t k = 1; k < 256; k++) {
            size_t n = 4096 + (full - 4096) * k / 256;
            if (n > lengths.back() && n < full)
                lengths.push_back(n);
        }
    return lengths;
}

inline int lineCount(const std::string &s)
{
    int n = 0;
    for (char c : s)
        n += c == '\n';
    return n;
}

inline std::string lastLine(const std::string &s)
{
    if (s.empty())
        return s;
    size_t end = s.back() == '\n' ? s.size() - 1 : s.size();
    size_t from = s.rfind('\n', end - 1);
    return s.substr(from == std::string::npos ? 0 : from + 1, end - (from == std::string::npos ? 0 : from + 1));
}

// Under AddressSanitizer the address space is reserved up front, so a
// limit on it cannot tell a capped reader from one that allocates.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressLimitWorks = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressLimitWorks = false;
#else
constexpr bool kAddressLimitWorks = true;
#endif
#else
constexpr bool kAddressLimitWorks = true;
#endif

struct ChildResult {
    bool exited = false;  // ended through exit, not a signal
    int status = -1;      // exit status: what fn returned
    std::string err;      // its standard error
};

// Runs fn in a child process whose address space may grow by at most
// `headroom` bytes (where such a limit works); fn's result is the exit status.
inline ChildResult runLimited(const std::function<int()> &fn, size_t headroom)
{
    const std::string path = tmpPath("child_stderr.txt");
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, 2);
        close(fd);
        if (kAddressLimitWorks) {
            long pages = 0;
            if (FILE *f = std::fopen("/proc/self/statm", "r")) {
                if (std::fscanf(f, "%ld", &pages) != 1)
                    pages = 0;
                std::fclose(f);
            }
            rlim_t limit = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + headroom;
            struct rlimit rl = {limit, limit};
            setrlimit(RLIMIT_AS, &rl);
        }
        int rc = fn();
        std::fflush(nullptr);
        _exit(rc);
    }
    ChildResult r;
    int ws = 0;
    if (pid > 0 && waitpid(pid, &ws, 0) == pid) {
        r.exited = WIFEXITED(ws);
        r.status = r.exited ? WEXITSTATUS(ws) : -1;
    }
    Bytes b = readFile(path);
    r.err.assign(b.begin(), b.end());
    return r;
}

}  // namespace hostile
