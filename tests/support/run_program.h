// Runs a program of the build with arguments, its standard output and
// error into files, and hands back its status and both outputs.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char **environ;

struct ProgramRun {
    int status = -1; // exit status, or -1 if it did not exit normally
    std::string out, err;
};

inline std::string readWholeFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// prog is a path; stdout and stderr go to outPath and errPath.
inline ProgramRun runProgramFiles(const std::string &prog, const std::vector<std::string> &args,
                                  const std::string &outPath, const std::string &errPath)
{
    ProgramRun r;
    std::vector<std::string> words{prog};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &w : words)
        argv.push_back(&w[0]);
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&fa, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid;
    int rc = posix_spawn(&pid, prog.c_str(), &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0)
        return r;
    int st = 0;
    waitpid(pid, &st, 0);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.out = readWholeFile(outPath);
    r.err = readWholeFile(errPath);
    return r;
}
