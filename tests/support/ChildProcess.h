#pragma once

#include <cerrno>
#include <csignal>
#include <sys/types.h>
#include <sys/wait.h>

// A process a test started: killed and reaped when the object goes, unless it was waited for.
class ChildProcess
{
public:
    ChildProcess() = default;

    ~ChildProcess()
    {
        if (pid > 0) {
            kill();
            wait();
        }
    }

    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    bool started() const { return pid > 0; }

    void kill() const { ::kill(pid, SIGKILL); }

    // The exit status, or 100 plus the signal that ended the process.
    int wait()
    {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
    }

protected:
    pid_t pid = -1;
};
