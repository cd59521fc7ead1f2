#pragma once

#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "support/TempDir.h"

// oxel-cli run as a user runs it: its exit status and what it printed.
struct CliOutcome
{
    int status;
    std::string out;
    std::string err;
};

inline std::string shellQuoted(const std::string &arg)
{
    std::string q = "'";
    for (char c : arg)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs the program with the arguments, its output caught in files of the folder.
inline CliOutcome runCli(
    const std::string &program, const std::vector<std::string> &args, const TempDir &folder)
{
    std::string command = shellQuoted(program);
    for (const auto &arg : args)
        command += " " + shellQuoted(arg);
    const std::string out = folder.file("stdout.txt"), err = folder.file("stderr.txt");
    command += " >" + shellQuoted(out) + " 2>" + shellQuoted(err);
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readBytes(out), readBytes(err)};
}
