#pragma once

#include <sys/types.h>

#include <cstdint>
#include <fstream>
#include <string>

// The largest resident set a running process has had (VmHWM), in KiB; 0 when it can't be read.
// The same figure bench/hostile_peaks.sh reports.
inline uint64_t peakResidentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stoull(line.substr(6));
        }
    }
    return 0;
}
