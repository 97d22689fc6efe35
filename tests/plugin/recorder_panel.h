#pragma once

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "temp_dir.h"

// A stand-in panel bundle whose executable writes its arguments, its process id and its
// session id to <bundle>/recorded, then exits.
inline void makeRecorderPanel(const std::string& bundle,
                              const std::string& identifier = "com.lumivo.affinity-panel-host") {
    makeBundle(bundle, identifier, "recorder");
    const std::string executable = bundle + "/Contents/Linux/recorder";
    writeText(executable,
              "#!/bin/sh\n"
              "out=\"$(dirname \"$0\")/../../recorded\"\n"
              "printf '%s\\n' \"$1\" \"$2\" \"$3\" \"$#\" \"$$\" > \"$out.tmp\"\n"
              "sed 's/.*) //' /proc/$$/stat | cut -d' ' -f4 >> \"$out.tmp\"\n"
              "mv \"$out.tmp\" \"$out\"\n");
    ::chmod(executable.c_str(), 0755);
}

// The recorded lines once the recorder has run (waits for the process, at most ~20 s).
inline std::vector<std::string> awaitRecording(const std::string& bundle) {
    const std::string path = bundle + "/recorded";
    for (int i = 0; i < 2000 && ::access(path.c_str(), F_OK) != 0; ++i) {
        ::usleep(10000);
    }
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        lines.push_back(line);
    }
    return lines;
}

// A bundle whose executable is a copy of sleep, started for a minute (on another session bus if
// given); returns its process id once the exec has replaced the fork. `bundle` must be a
// resolved path.
inline pid_t startSleeper(const std::string& bundle, const std::string& identifier,
                          const char* sessionBus = nullptr) {
    makeBundle(bundle, identifier, "sleeper");
    const std::string executable = bundle + "/Contents/Linux/sleeper";
    std::filesystem::create_directories(bundle + "/Contents/Linux");
    std::filesystem::copy_file("/bin/sleep", executable);
    std::filesystem::permissions(executable, std::filesystem::perms::owner_all);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (sessionBus != nullptr) {
            ::setenv("DBUS_SESSION_BUS_ADDRESS", sessionBus, 1);
        }
        ::execl(executable.c_str(), executable.c_str(), "60", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Polls the process table, for up to 20 s: a loaded machine can take seconds to exec.
    for (int i = 0; pid > 0 && i < 20000; ++i) {
        std::error_code ignored;
        if (std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", ignored) ==
            executable) {
            break;
        }
        ::usleep(1000);
    }
    return pid;
}
