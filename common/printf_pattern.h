// File-name patterns handed to snprintf with one int: which ones are safe.
// Shared by the scene library (--png names) and the viewer (tracks, slice
// stacks), which build it in themselves; it is never installed, and the
// library's exports stay its C API alone.
#pragma once

#include <cstring>

namespace vq {

// What a caller lets a conversion hold.
struct PatternRules {
    const char *flags;        // flag characters allowed after '%'
    int maxWidthDigits;       // digits a width may have; -1 for any
    bool precision;           // whether ".N" may follow the width
    const char *conversions;  // conversion letters allowed (no length modifier)
};

// The number of conversions in pattern ("%%" is none), or -1 when one of
// them breaks the rules: anything the one int argument cannot fill safely.
inline int countPatternConversions(const char *pattern, const PatternRules &rules)
{
    int conversions = 0;
    for (const char *p = pattern; *p; p++) {
        if (*p != '%')
            continue;
        p++;
        if (*p == '%')
            continue;
        while (*p && std::strchr(rules.flags, *p))
            p++;
        int digits = 0;
        while (*p >= '0' && *p <= '9') {
            p++;
            digits++;
        }
        if (rules.maxWidthDigits >= 0 && digits > rules.maxWidthDigits)
            return -1;
        if (rules.precision && *p == '.') {
            p++;
            while (*p >= '0' && *p <= '9')
                p++;
        }
        if (!*p || !std::strchr(rules.conversions, *p))
            return -1;
        conversions++;
    }
    return conversions;
}

// Whether every width and precision in pattern is at most limit. A name
// buffer of limit characters can never hold a wider field, and formatting
// one costs its whole width (a width of a billion takes seconds), so the
// readers refuse such a pattern before they format anything.
inline bool patternFieldsFit(const char *pattern, long limit)
{
    for (const char *p = pattern; *p; p++) {
        if (*p != '%')
            continue;
        if (*++p == '%')
            continue;
        for (; *p && !std::strchr("diouxXcsfFeEgGaApn", *p); p++) {
            if (*p < '1' || *p > '9')
                continue;
            long value = 0;
            for (; *p >= '0' && *p <= '9'; p++)
                if ((value = value * 10 + (*p - '0')) > limit)
                    return false;
            p--;
        }
        if (!*p)
            break;
    }
    return true;
}

} // namespace vq
