// The test process's own scratch folder (its working directory, made by
// private_cwd.cpp), as an absolute path.
#pragma once

#include <unistd.h>

#include <string>

inline std::string scratchDir()
{
    char buf[4096];
    return getcwd(buf, sizeof buf) ? std::string(buf) : std::string(".");
}
