// The apply-back's latency, phase by phase, from the page's "apply-result" text to the host
// editor's document changed, for a 1- and a 24-megapixel result. Runs the real demo editor and
// the real plug-in; needs a display and the accessibility bus, so run it by hand as
//   xvfb-run -a dbus-run-session -- build/bench/apply_round_trip
// (or from a desktop session). Figures are wall-clock milliseconds, the median of kRuns runs.
// The editor is always pressed with a result waiting, so the panel is never started.

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "imaging/png.h"
#include "panel/app/apply_menu_search.h"
#include "panel/bridge/base64.h"
#include "platform/linux/atspi_accessibility.h"
#include "platform/linux/atspi_permission.h"
#include "plugin/spool.h"

extern char** environ;

namespace {

constexpr int kRuns = 5;
constexpr char kHostIdentifier[] = "com.lumivo.demo-host";

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// A photo-like frame: smooth gradients with fine noise, so PNG sizes are realistic.
PixelBuffer syntheticFrame(uint32_t width, uint32_t height, uint8_t seed) {
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

// The demo editor with its stdout on a pipe.
class Host {
  public:
    Host(const std::string& program, const std::string& document) {
        int out[2];
        if (pipe(out) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::vector<std::string> args{program, "--in", document};
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = 0;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        stdout_ = out[0];
    }
    ~Host() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        close(stdout_);
    }
    pid_t pid() const { return pid_; }

    // Waits for the next "filter result" line; returns its code, or -1 after 60 s.
    int nextResult() {
        std::string line;
        char c = 0;
        pollfd p{stdout_, POLLIN, 0};
        while (poll(&p, 1, 60000) == 1 && read(stdout_, &c, 1) == 1) {
            if (c != '\n') {
                line += c;
                continue;
            }
            if (line.rfind("filter result ", 0) == 0) {
                return atoi(line.c_str() + 14);
            }
            line.clear();
        }
        return -1;
    }

  private:
    pid_t pid_ = 0;
    int stdout_ = -1;
};

AxHandle waitForItem(Accessibility& ax, pid_t pid) {
    const auto limit = Clock::now() + std::chrono::seconds(60);
    while (Clock::now() < limit) {
        if (AxHandle item = locateLumivoMenuItem(ax, pid)) {
            return item;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return nullptr;
}

void runSize(const std::string& hostProgram, const std::string& work, uint32_t width,
             uint32_t height) {
    printf("\n%u x %u (%.1f MP)\n", width, height, width * double(height) / 1e6);
    const std::string document = work + "/document.png";
    {
        std::vector<uint8_t> bytes = png::encode(syntheticFrame(width, height, 0));
        spool::writeAtomically(document, bytes.data(), bytes.size());
    }
    // The page's result: another frame of the same size, as the page sends it.
    const std::vector<uint8_t> resultPng = png::encode(syntheticFrame(width, height, 77));
    const std::string text = base64::encode(resultPng.data(), resultPng.size());
    printf("  result PNG %.1f MB, base64 text %.1f MB\n", resultPng.size() / 1e6,
           text.size() / 1e6);

    Host host(hostProgram, document);
    AtspiAccessibility ax;
    AtspiPermission permission;
    if (host.pid() <= 0 || !waitForItem(ax, host.pid())) {
        printf("  the editor never showed its menu\n");
        return;
    }
    const std::string spoolDir = spool::directoryFor(kHostIdentifier);
    spool::createDirectory(spoolDir);

    std::vector<double> decode64, decodePng, write, check, coldNew, cold, press, applied;
    for (int run = 0; run < kRuns; ++run) {
        auto t = Clock::now();
        auto bytes = base64::decode(text);
        decode64.push_back(msSince(t));

        t = Clock::now();
        PixelBuffer frame = png::decode(bytes->data(), bytes->size());
        decodePng.push_back(msSince(t));
        if (frame.empty()) {
            printf("  the result does not decode\n");
            return;
        }

        t = Clock::now();
        const std::string path =
            spoolDir + "/" + spool::fileName(spool::kResultPrefix, spool::nowSeconds());
        spool::writeAtomically(path, bytes->data(), bytes->size());
        write.push_back(msSince(t));

        t = Clock::now();
        permission.isHeld();
        check.push_back(msSince(t));

        // A cold search on a new connection, then one on a connection already open.
        t = Clock::now();
        {
            AtspiAccessibility fresh;
            AxHandle found = locateLumivoMenuItem(fresh, host.pid());
        }
        coldNew.push_back(msSince(t));
        t = Clock::now();
        AxHandle item = locateLumivoMenuItem(ax, host.pid());
        cold.push_back(msSince(t));

        // The cached press: the enabled flag and the press, as each later result does.
        t = Clock::now();
        EnabledRead enabled = ax.enabled(*item);
        const bool pressed = enabled.value && ax.press(*item);
        press.push_back(msSince(t));
        if (!pressed) {
            printf("  the press failed\n");
            return;
        }
        const int result = host.nextResult();
        applied.push_back(msSince(t));
        if (result != 0) {
            printf("  the filter answered %d\n", result);
            return;
        }
    }
    printf("  base64 decode          %8.1f ms\n", median(decode64));
    printf("  PNG decode (check)     %8.1f ms\n", median(decodePng));
    printf("  result file write      %8.1f ms\n", median(write));
    printf("  permission check       %8.1f ms\n", median(check));
    printf("  menu search, cold      %8.1f ms (with connecting: %.1f ms)\n", median(cold),
           median(coldNew));
    printf("  cached press           %8.1f ms\n", median(press));
    printf("  press -> document changed (editor + plug-in apply) %8.1f ms\n", median(applied));
}

}  // namespace

int main(int argc, char** argv) {
    const std::string build = argc > 1 ? argv[1] : LUMIVO_BINARY_DIR;
    const std::string hostProgram = build + "/LumivoHost.app/Contents/Linux/lumivo-host";
    char pattern[] = "/tmp/lumivo-apply-bench-XXXXXX";
    if (!mkdtemp(pattern)) {
        return 1;
    }
    const std::string work = pattern;
    // Spool files go to the bench's own folder.
    setenv("XDG_DATA_HOME", work.c_str(), 1);
    unsetenv("NO_AT_BRIDGE");
    printf("apply round trip, median of %d runs\n", kRuns);
    runSize(hostProgram, work, 1224, 816);
    runSize(hostProgram, work, 6000, 4000);
    std::filesystem::remove_all(work);
    return 0;
}
