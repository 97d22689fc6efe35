#include "host/run_timings.h"

#include <stdio.h>
#include <time.h>

#include <fstream>

namespace {

// A field of /proc/self/status in kB, or -1.
long statusKb(const std::string& field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(field, 0) == 0) {
            return std::stol(line.substr(field.size()));
        }
    }
    return -1;
}

}  // namespace

void RunTimings::mark(const std::string& step) const {
    if (!enabled_) {
        return;
    }
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    printf("timing %s %.3f\n", step.c_str(), now.tv_sec * 1e3 + now.tv_nsec / 1e6);
    fflush(stdout);
}

void RunTimings::beginMemoryWindow() {
    if (!enabled_) {
        return;
    }
    // "5" resets the peak resident size to the current one (Linux 4.0 and later).
    if (FILE* refs = fopen("/proc/self/clear_refs", "w")) {
        fputs("5", refs);
        fclose(refs);
    }
    baselineKb_ = statusKb("VmRSS:");
}

void RunTimings::reportMemory(const std::string& run) const {
    if (!enabled_) {
        return;
    }
    printf("memory %s baseline-kb=%ld peak-kb=%ld\n", run.c_str(), baselineKb_, statusKb("VmHWM:"));
    fflush(stdout);
}
