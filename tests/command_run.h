// Runs a shell command for a test and keeps what it printed, standard error included.
#pragma once

#include <stdio.h>
#include <sys/wait.h>

#include <string>

struct CommandRun {
    int status = -1;  // the exit status, or -1 when it didn't exit normally
    std::string output;
};

inline CommandRun runCommand(const std::string& command) {
    CommandRun run;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        run.output.append(buffer, n);
    }
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}
