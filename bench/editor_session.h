#pragma once

// What the benchmarks that drive a real editor share: the clock, medians, photo-like frames,
// and an editor process whose "filter result N" lines are read from its standard output.
// Main thread only.

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "imaging/pixel_buffer.h"
#include "panel/app/apply_menu_search.h"

extern char** environ;

using BenchClock = std::chrono::steady_clock;

inline double msSince(BenchClock::time_point start) {
    return std::chrono::duration<double, std::milli>(BenchClock::now() - start).count();
}

inline double median(std::vector<double> times) {
    if (times.empty()) {
        return 0;
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// A photo-like frame: smooth gradients with fine noise, so PNG sizes are realistic.
// Writes a whole file, such as the document an editor opens; false on any failure.
inline bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

inline PixelBuffer syntheticFrame(uint32_t width, uint32_t height, uint8_t seed) {
    PixelBuffer frame{width, height, std::vector<uint8_t>(size_t{width} * height * 4)};
    uint32_t noise = 2463534242u + seed;
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            noise ^= noise << 13;
            noise ^= noise >> 17;
            noise ^= noise << 5;
            uint8_t* p = &frame.rgba[(size_t{y} * width + x) * 4];
            p[0] = static_cast<uint8_t>((x * 255 / width + (noise & 7) + seed) & 0xFF);
            p[1] = static_cast<uint8_t>((y * 255 / height + ((noise >> 3) & 7)) & 0xFF);
            p[2] = static_cast<uint8_t>(((x + y) * 127 / (width + height) + seed) & 0xFF);
            p[3] = 255;
        }
    }
    return frame;
}

// An editor (the demo host, or GIMP with the bridge) with its standard output on a pipe, in
// this process's environment. When destroyed it is sent `quitLine` on its standard input and
// given 30 s to end (GIMP ended by a signal leaves backups whose recovery dialog blocks its
// next start), then SIGTERM; without a quit line, SIGTERM at once.
class EditorProcess {
  public:
    explicit EditorProcess(std::vector<std::string> args, std::string quitLine = "")
        : quitLine_(std::move(quitLine)) {
        int out[2];
        int in[2];
        if (pipe(out) != 0 || pipe(in) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_addclose(&actions, in[1]);
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = 0;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(in[0]);
        stdout_ = out[0];
        stdin_ = in[1];
    }
    ~EditorProcess() {
        if (pid_ > 0 && !quitLine_.empty() &&
            write(stdin_, quitLine_.data(), quitLine_.size()) ==
                static_cast<ssize_t>(quitLine_.size())) {
            const auto limit = BenchClock::now() + std::chrono::seconds(30);
            while (BenchClock::now() < limit && waitpid(pid_, nullptr, WNOHANG) == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            if (waitpid(pid_, nullptr, WNOHANG) != 0) {
                pid_ = 0;
            }
        }
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        close(stdin_);
        close(stdout_);
    }
    EditorProcess(const EditorProcess&) = delete;
    EditorProcess& operator=(const EditorProcess&) = delete;

    pid_t pid() const { return pid_; }

    // Waits for the next "filter result" line; returns its code, or -1 after 60 s. The
    // "timing STEP MS" lines before it (an editor's or a bridge's, see host/run_timings.h)
    // go into `timings` when given, by step.
    int nextResult(std::map<std::string, double>* timings = nullptr) {
        std::string line;
        char c = 0;
        pollfd p{stdout_, POLLIN, 0};
        while (poll(&p, 1, 60000) == 1 && read(stdout_, &c, 1) == 1) {
            if (c != '\n') {
                line += c;
                continue;
            }
            // Anywhere in the line: GIMP's console prompt may stand before it.
            if (size_t at = line.find("filter result "); at != std::string::npos) {
                return atoi(line.c_str() + at + 14);
            }
            if (size_t at = line.find("timing "); timings != nullptr && at != std::string::npos) {
                const size_t space = line.find(' ', at + 7);
                if (space != std::string::npos) {
                    (*timings)[line.substr(at + 7, space - at - 7)] = atof(line.c_str() + space);
                }
            }
            line.clear();
        }
        return -1;
    }

  private:
    std::string quitLine_;
    pid_t pid_ = 0;
    int stdin_ = -1;
    int stdout_ = -1;
};

// The editor's "Lumivo" item once it is enabled (an editor enables it when an image has
// loaded); null after `seconds`.
inline AxHandle waitForEnabledItem(Accessibility& ax, pid_t pid, int seconds) {
    const auto limit = BenchClock::now() + std::chrono::seconds(seconds);
    while (BenchClock::now() < limit) {
        if (AxHandle item = locateLumivoMenuItem(ax, pid, {})) {
            EnabledRead enabled = ax.enabled(*item);
            if (enabled.outcome == EnabledRead::kValue && enabled.value) {
                return item;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return nullptr;
}
