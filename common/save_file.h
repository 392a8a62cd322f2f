// Saving a file so that a failure never costs the old one: the bytes go to
// a private temporary file in the target's folder, which is renamed over the
// target only once it is complete and on disk. Every writer of the suite
// (images, view and scene files, volumes, matrices) saves through here.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

struct SaveFile {
    std::string target;
    std::string tmp;
    int fd = -1;
    FILE *stream = nullptr; // set by openSaveStream; owns fd then
};

// Opens the temporary file beside target; false with errno set.
inline bool beginSave(SaveFile &s, const char *target)
{
    s.target = target;
    size_t slash = s.target.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : s.target.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? s.target : s.target.substr(slash + 1);
    s.tmp = dir + "." + base + ".save-XXXXXX";
    s.fd = mkstemp(&s.tmp[0]);
    s.stream = nullptr;
    return s.fd >= 0;
}

// A stdio stream over the temporary file (mode "w" or "wb"); null with
// errno set. The stream then owns the descriptor.
inline FILE *openSaveStream(SaveFile &s, const char *mode)
{
    s.stream = s.fd >= 0 ? fdopen(s.fd, mode) : nullptr;
    return s.stream;
}

// Gives up: the temporary file goes, the target stays as it was.
inline void abandonSave(SaveFile &s)
{
    int err = errno;
    if (s.stream)
        std::fclose(s.stream);
    else if (s.fd >= 0)
        close(s.fd);
    if (!s.tmp.empty())
        unlink(s.tmp.c_str());
    s.stream = nullptr;
    s.fd = -1;
    errno = err;
}

// Finishes a save whose writing went as ok says: flushes, syncs and closes
// the temporary file, gives it the target's mode (an existing file's, else
// what the umask allows) and renames it over the target. false, with errno
// set where a call failed (EIO when only ok was false), after abandoning.
inline bool finishSave(SaveFile &s, bool ok)
{
    if (!ok) {
        if (errno == 0)
            errno = EIO;
        abandonSave(s);
        return false;
    }
    if ((s.stream && std::fflush(s.stream) != 0) || fsync(s.fd) != 0) {
        abandonSave(s);
        return false;
    }
    struct stat st;
    mode_t mode;
    if (stat(s.target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        mode = st.st_mode & 07777;
    } else {
        mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    fchmod(s.fd, mode);
    int closed = s.stream ? std::fclose(s.stream) : close(s.fd);
    s.stream = nullptr;
    s.fd = -1;
    if (closed != 0 || std::rename(s.tmp.c_str(), s.target.c_str()) != 0) {
        abandonSave(s);
        return false;
    }
    return true;
}
