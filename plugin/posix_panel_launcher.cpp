#include <errno.h>
#include <spawn.h>
#include <sys/wait.h>

#include "plugin/panel_launcher.h"

extern char** environ;

LaunchOutcome PosixPanelLauncher::run(const std::vector<std::string>& arguments) {
    LaunchOutcome outcome;
    if (arguments.empty()) {
        outcome.spawnError = EINVAL;
        return outcome;
    }
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t child = 0;
    outcome.spawnError = ::posix_spawn(&child, argv[0], nullptr, nullptr, argv.data(), environ);
    if (outcome.spawnError != 0) {
        return outcome;
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            status = 0;  // e.g. the host reaps children itself: nothing more can be learnt
            break;
        }
    }
    outcome.waitStatus = status;
    return outcome;
}
