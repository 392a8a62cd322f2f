// xrwview's options, one row each: the usage text, the parser and the
// README's option tables all follow this table.
#pragma once

// What a setter returns: 0 done, -1 after its own message, or
// kOptionUsage when the usage text should be printed before -1.
constexpr int kOptionUsage = 1;

// One option. A row with no name is a heading of the usage text. The
// values follow the option on the command line; a per-volume option binds
// to the latest -f and is refused before the first. usageLine is printed,
// in table order, by the usage text (null: the option has no line there);
// args names the values as the README writes them.
struct ViewerOption {
    const char *name;
    int values;
    bool perVolume;
    const char *args;
    const char *usageLine;
    // Applies the option to volume v (the latest -f; -1 before any) with
    // its values; 0, -1 or kOptionUsage.
    int (*set)(char **val, int v);
};

extern const ViewerOption kViewerOptions[];
extern const int kViewerOptionCount;

// The row named arg, or null.
const ViewerOption *findViewerOption(const char *arg);
