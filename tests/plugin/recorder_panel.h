#pragma once

#include <sys/stat.h>
#include <unistd.h>

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
