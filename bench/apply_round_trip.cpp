// The apply-back's latency, phase by phase, from the page's "apply-result" text to the host
// editor's document changed, for a 1- and a 24-megapixel result. Runs the real demo editor and
// the real plug-in; needs a display and the accessibility bus, so run it by hand as
//   xvfb-run -a dbus-run-session -- build/bench/apply_round_trip
// (or from a desktop session). Figures are wall-clock milliseconds, the median of kRuns runs.
// The editor is always pressed with a result waiting, so the panel is never started.

#include <stdio.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bench/editor_session.h"
#include "imaging/png.h"
#include "panel/bridge/base64.h"
#include "platform/linux/atspi_accessibility.h"
#include "platform/linux/atspi_permission.h"
#include "plugin/spool.h"

namespace {

constexpr int kRuns = 5;
constexpr char kHostIdentifier[] = "com.lumivo.demo-host";

void runSize(const std::string& hostProgram, const std::string& work, uint32_t width,
             uint32_t height) {
    printf("\n%u x %u (%.1f MP)\n", width, height, width * double(height) / 1e6);
    const std::string document = work + "/document.png";
    {
        std::vector<uint8_t> bytes = png::encode(syntheticFrame(width, height, 0));
        writeFile(document, bytes);
    }
    // The page's result: another frame of the same size, as the page sends it.
    const std::vector<uint8_t> resultPng = png::encode(syntheticFrame(width, height, 77));
    const std::string text = base64::encode(resultPng.data(), resultPng.size());
    printf("  result PNG %.1f MB, base64 text %.1f MB\n", resultPng.size() / 1e6,
           text.size() / 1e6);

    EditorProcess host({hostProgram, "--in", document});
    AtspiAccessibility ax;
    AtspiPermission permission;
    if (host.pid() <= 0 || !waitForEnabledItem(ax, host.pid(), 60)) {
        printf("  the editor never showed its menu\n");
        return;
    }
    const spool::CheckedDirectory spoolDir =
        spool::checkDirectory(spool::directoryFor(kHostIdentifier), spool::Missing::create);
    if (!spoolDir.directory) {
        printf("  %s\n", spoolDir.refusal.c_str());
        return;
    }

    std::vector<double> decode64, decodePng, write, check, coldNew, cold, press, applied;
    for (int run = 0; run < kRuns; ++run) {
        auto t = BenchClock::now();
        auto bytes = base64::decode(text);
        decode64.push_back(msSince(t));

        t = BenchClock::now();
        PixelBuffer frame = png::decode(bytes->data(), bytes->size());
        decodePng.push_back(msSince(t));
        if (frame.empty()) {
            printf("  the result does not decode\n");
            return;
        }

        t = BenchClock::now();
        spool::writeAtomically(*spoolDir.directory,
                               spool::fileName(spool::kResultPrefix, spool::nowSeconds()),
                               bytes->data(), bytes->size());
        write.push_back(msSince(t));

        t = BenchClock::now();
        permission.isHeld();
        check.push_back(msSince(t));

        // A cold search on a new connection, then one on a connection already open.
        t = BenchClock::now();
        {
            AtspiAccessibility fresh;
            AxHandle found = locateLumivoMenuItem(fresh, host.pid(), {});
        }
        coldNew.push_back(msSince(t));
        t = BenchClock::now();
        AxHandle item = locateLumivoMenuItem(ax, host.pid(), {});
        cold.push_back(msSince(t));

        // The cached press: the enabled flag and the press, as each later result does.
        t = BenchClock::now();
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
