// Number scanning for the text readers; opening and reading whole files and their heads.
#include <sys/stat.h>

#include <climits>
#include <cstring>

#include "surface_util.h"

namespace {

enum ScanResult { SCAN_OK, SCAN_NONE, SCAN_UNSURE };

inline bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

inline bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Past white space and a sign; neg says whether the sign was a minus.
const char *skipToDigits(const char *s, bool *neg)
{
    while (isSpace(*s))
        s++;
    if (*s == '+' || *s == '-') {
        *neg = *s == '-';
        s++;
    }
    return s;
}

const double kPow10[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                           1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// One "%f" conversion for the common case of a plain decimal number. A
// number that cannot start here gives SCAN_NONE (sscanf would stop too);
// anything this cannot decide exactly as strtof would gives SCAN_UNSURE.
ScanResult fastFloat(const char **pp, float *out)
{
    bool neg = false;
    const char *s = skipToDigits(*pp, &neg);
    char c = *s;
    if (!isDigit(c) && c != '.') {
        // Infinity and NaN spellings are left to sscanf.
        if (c == 'i' || c == 'I' || c == 'n' || c == 'N')
            return SCAN_UNSURE;
        return SCAN_NONE;
    }
    uint64_t w = 0;
    int digits = 0, exp10 = 0;
    bool any = false;
    for (; isDigit(*s); s++) {
        any = true;
        if (w == 0 && *s == '0')
            continue;
        if (++digits > 19)
            return SCAN_UNSURE;
        w = w * 10 + static_cast<uint64_t>(*s - '0');
    }
    if (*s == '.') {
        for (s++; isDigit(*s); s++) {
            any = true;
            exp10--;
            if (w == 0 && *s == '0')
                continue;
            if (++digits > 19)
                return SCAN_UNSURE;
            w = w * 10 + static_cast<uint64_t>(*s - '0');
        }
    }
    if (!any)
        return SCAN_UNSURE;
    if (*s == 'e' || *s == 'E') {
        const char *e = s + 1;
        bool eneg = false;
        if (*e == '+' || *e == '-') {
            eneg = *e == '-';
            e++;
        }
        if (!isDigit(*e))
            return SCAN_UNSURE;
        int ev = 0;
        for (; isDigit(*e); e++) {
            if (ev > 1000)
                return SCAN_UNSURE;
            ev = ev * 10 + (*e - '0');
        }
        exp10 += eneg ? -ev : ev;
        s = e;
    }
    // Only an end that no float syntax can continue is taken as certain.
    if (!(*s == '\0' || isSpace(*s) || *s == '/'))
        return SCAN_UNSURE;
    float f;
    if (w == 0) {
        f = 0.0f;
    } else {
        if (w > (1ull << 53) || exp10 < -22 || exp10 > 22)
            return SCAN_UNSURE;
        // One correctly rounded double operation on exact operands; its
        // rounding to float is correct unless it sits exactly on a float
        // rounding midpoint.
        double d =
            exp10 >= 0 ? static_cast<double>(w) * kPow10[exp10] : static_cast<double>(w) / kPow10[-exp10];
        uint64_t bits;
        std::memcpy(&bits, &d, sizeof bits);
        if ((bits & ((1ull << 29) - 1)) == (1ull << 28))
            return SCAN_UNSURE;
        f = static_cast<float>(d);
    }
    *out = neg ? -f : f;
    *pp = s;
    return SCAN_OK;
}

} // namespace

int scanObjLine(const char *line, char *cmd, float v[3])
{
    if (line[0] == '\0')
        return sscanf(line, "%c %f %f %f", cmd, &v[0], &v[1], &v[2]);
    const char *p = line + 1;
    float t[3];
    int got = 1;
    for (int i = 0; i < 3; i++) {
        ScanResult r = fastFloat(&p, &t[i]);
        if (r == SCAN_UNSURE)
            return sscanf(line, "%c %f %f %f", cmd, &v[0], &v[1], &v[2]);
        if (r == SCAN_NONE)
            break;
        got++;
    }
    *cmd = line[0];
    for (int i = 0; i < got - 1; i++)
        v[i] = t[i];
    return got;
}

int scanInt(const char **pp, int *out)
{
    bool neg = false;
    const char *s = skipToDigits(*pp, &neg);
    if (!isDigit(*s))
        return 0;
    long long v = 0;
    for (; isDigit(*s); s++) {
        if (v <= static_cast<long long>(INT_MAX) + 1)
            v = v * 10 + (*s - '0');
    }
    if (neg)
        v = -v;
    if (v > INT_MAX)
        v = INT_MAX;
    if (v < INT_MIN)
        v = INT_MIN;
    *out = static_cast<int>(v);
    *pp = s;
    return 1;
}

long long regularFileSize(FILE *f)
{
    struct stat st;
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return static_cast<long long>(st.st_size);
}

bool readRest(FILE *f, GrowArray<unsigned char> *buf)
{
    long long size = regularFileSize(f);
    long pos = std::ftell(f);
    // A regular file is read in one call; anything else in chunks.
    size_t step = (size > 0 && pos >= 0 && size > pos) ? static_cast<size_t>(size - pos) + 1
                                                       : static_cast<size_t>(1) << 16;
    for (;;) {
        if (!buf->reserve(buf->n + step))
            return false;
        size_t room = buf->cap - buf->n;
        size_t got = std::fread(buf->data + buf->n, 1, room, f);
        buf->n += got;
        if (got < room)
            break;
        step = static_cast<size_t>(1) << 16;
    }
    return !std::ferror(f);
}

FILE *openSurfaceFile(const char *fname, const char *mode, const char *what)
{
    FILE *f = fname ? std::fopen(fname, mode) : nullptr;
    if (!f)
        fprintf(stderr, "cannot open %s %s\n", what, fname ? fname : "(null)");
    return f;
}

bool readSurfaceFile(const char *fname, const char *what, GrowArray<unsigned char> *buf)
{
    FILE *f = openSurfaceFile(fname, "rb", what);
    if (!f)
        return false;
    bool ok = readRest(f, buf);
    std::fclose(f);
    if (!ok)
        fprintf(stderr, "'%s': cannot read the %s.\n", fname, what);
    return ok;
}

size_t readFileHead(const char *fname, unsigned char *head, size_t cap, long long *size)
{
    FILE *f = fname ? std::fopen(fname, "rb") : nullptr;
    if (size)
        *size = -1;
    if (!f)
        return 0;
    size_t n = std::fread(head, 1, cap, f);
    if (size)
        *size = regularFileSize(f);
    std::fclose(f);
    return n;
}
