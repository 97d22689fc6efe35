// One edit's two filter runs in GIMP through the bridge, next to the same runs in the demo
// host: editor start to an enabled Filters > Lumivo, the hand-off (press to "filter result
// -128") and the apply (a result waiting; press to "filter result 0"), each with the editor's
// own share of it, for a 1- and a 24-megapixel image. The GIMP is the one this build has a
// bridge for: GIMP 2.10 on Debian 12, GIMP 3 in the Debian 13 root. bench/gimp_bridge.sh runs
// both builds; by hand:
//   scripts/virtual-display.sh build/bench/gimp_bridge
// Figures are wall-clock milliseconds, the median of kRuns runs (the first hand-off launches
// the panel, the later ones find it running). Each run is split three ways from the "timing"
// lines: the filter's own (its PluginMain calls, less the host filling the buffers it asks
// for); GIMP's own (from the press to the bridge's procedure being called, which starts the
// bridge's process and GIMP's handshake, reading the area out of GIMP, and GIMP taking the
// result: shadow buffer, merge, undo step), or for the demo host all the rest; and the
// bridge's, what is left. GIMP runs in a home folder of the bench's own; its first start after
// the installation, when the bridge registers, is marked.

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "bench/editor_session.h"
#include "imaging/png.h"
#include "platform/linux/atspi_accessibility.h"
#include "platform/linux/editor_programs.h"
#include "platform/linux/proc_executable.h"
#include "plugin/filter_record.h"
#include "plugin/spool.h"

namespace {

constexpr int kRuns = 3;
constexpr int kStartSeconds = 240;

using Timings = std::map<std::string, double>;

struct Editor {
    std::string name;
    std::string spoolIdentifier;
    std::string panelProgram;  // the enclosed panel this editor's filter launches
    std::function<std::vector<std::string>(const std::string& document)> command;
    std::string quitLine;  // what makes it quit cleanly, on its standard input
    // The part of one run, pressed at `pressed` (wall-clock ms), spent by the editor itself.
    std::function<double(const Timings&, double pressed, double total)> editorShare;
};

double wallClockMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

double step(const Timings& timings, const char* name) {
    auto found = timings.find(name);
    return found == timings.end() ? 0 : found->second;
}

// GIMP's share: up to the bridge's procedure, reading the area, and taking the result.
double gimpShare(const Timings& t, double pressed, double /*total*/) {
    double share =
        step(t, "bridge-run") - pressed + step(t, "bridge-read") - step(t, "bridge-loaded");
    if (t.count("bridge-written")) {
        share += step(t, "bridge-written") - step(t, "bridge-write");
    }
    return share;
}

// The filter's own share: its calls into PluginMain, less the host filling its buffers.
double filterShare(const Timings& t) {
    return step(t, "start-returned") - step(t, "start") -
           (step(t, "buffers-filled") - step(t, "buffers"));
}

// The demo host's share: all but the filter's.
double demoShare(const Timings& t, double /*pressed*/, double total) {
    return total - filterShare(t);
}

// Ends the panels started from `program`, found by their exact executable.
void endPanels(const std::string& program) {
    std::error_code error;
    for (std::filesystem::directory_iterator entry("/proc", error), end; !error && entry != end;
         entry.increment(error)) {
        const pid_t pid = atoi(entry->path().filename().c_str());
        if (pid > 0 && processExecutable(pid) == program) {
            kill(pid, SIGTERM);
        }
    }
}

// CPU ticks spent so far by the panels started from `program` and their children (the web
// view's processes).
long panelTicks(const std::string& program) {
    struct Process {
        pid_t pid, parent;
        long ticks;
    };
    std::vector<Process> processes;
    std::vector<pid_t> panels;
    std::error_code error;
    for (std::filesystem::directory_iterator entry("/proc", error), end; !error && entry != end;
         entry.increment(error)) {
        const pid_t pid = atoi(entry->path().filename().c_str());
        if (pid <= 0) {
            continue;
        }
        std::ifstream in(entry->path() / "stat");
        const std::string stat((std::istreambuf_iterator<char>(in)), {});
        const size_t close = stat.rfind(')');
        if (close == std::string::npos) {
            continue;
        }
        // After the name: field 3 the state, 4 the parent, 14 and 15 user and system time.
        std::istringstream fields(stat.substr(close + 2));
        std::string field;
        Process process{pid, 0, 0};
        for (int i = 3; i <= 15 && fields >> field; ++i) {
            if (i == 4) {
                process.parent = atoi(field.c_str());
            } else if (i >= 14) {
                process.ticks += atol(field.c_str());
            }
        }
        processes.push_back(process);
        if (processExecutable(pid) == program) {
            panels.push_back(pid);
        }
    }
    long total = 0;
    for (const Process& process : processes) {
        for (pid_t panel : panels) {
            total += process.pid == panel || process.parent == panel ? process.ticks : 0;
        }
    }
    return total;
}

// Waits, at most 15 s, until the panel has stopped working on what the last run sent it, so a
// run starts as a user's press does: with the panel idle.
void waitForIdlePanel(const std::string& program) {
    long before = panelTicks(program);
    for (int i = 0; i < 50; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const long now = panelTicks(program);
        if (now - before <= 1) {
            return;
        }
        before = now;
    }
}

bool press(Accessibility& ax, pid_t pid) {
    AxHandle item = locateLumivoMenuItem(ax, pid, {});
    return item && ax.press(*item);
}

// Runs are pressed `kRuns` times; returns the medians of the whole run and of its shares, or
// nothing when a run did not end with `expected`.
struct Phase {
    double total = 0;
    double editor = 0;
    double filter = 0;
};
std::optional<Phase> measure(const Editor& editor, Accessibility& ax, EditorProcess& process,
                             int16 expected, const std::function<void()>& before) {
    std::vector<double> totals, shares, filters;
    for (int run = 0; run < kRuns; ++run) {
        before();
        waitForIdlePanel(editor.panelProgram);
        Timings timings;
        const double pressed = wallClockMs();
        const auto start = BenchClock::now();
        if (!press(ax, process.pid()) || process.nextResult(&timings) != expected) {
            return std::nullopt;
        }
        totals.push_back(msSince(start));
        shares.push_back(editor.editorShare(timings, pressed, totals.back()));
        filters.push_back(filterShare(timings));
    }
    return Phase{median(totals), median(shares), median(filters)};
}

void runEditor(const Editor& editor, const std::string& work, uint32_t width, uint32_t height,
               bool firstStart) {
    const std::string document = work + "/document.png";
    {
        std::vector<uint8_t> bytes = png::encode(syntheticFrame(width, height, 0));
        writeFile(document, bytes);
    }
    const std::vector<uint8_t> result = png::encode(syntheticFrame(width, height, 77));
    const double megapixels = width * double(height) / 1e6;
    const spool::CheckedDirectory spoolDir =
        spool::checkDirectory(spool::directoryFor(editor.spoolIdentifier), spool::Missing::create);
    if (!spoolDir.directory) {
        printf("| %-5s | %4.1f MP | %s |\n", editor.name.c_str(), megapixels,
               spoolDir.refusal.c_str());
        return;
    }

    AtspiAccessibility ax;
    auto start = BenchClock::now();
    EditorProcess process(editor.command(document), editor.quitLine);
    if (process.pid() <= 0 || !waitForEnabledItem(ax, process.pid(), kStartSeconds)) {
        printf("| %-5s | %4.1f MP | the editor never showed an enabled item |\n",
               editor.name.c_str(), megapixels);
        return;
    }
    const double started = msSince(start);

    const std::optional<Phase> handOff = measure(editor, ax, process, userCanceledErr, [] {});
    const std::optional<Phase> apply =
        handOff ? measure(editor, ax, process, 0,
                          [&] {
                              spool::writeAtomically(
                                  *spoolDir.directory,
                                  spool::fileName(spool::kResultPrefix, spool::nowSeconds()),
                                  result.data(), result.size());
                          })
                : std::nullopt;
    if (!apply) {
        printf("| %-5s | %4.1f MP | the %s failed |\n", editor.name.c_str(), megapixels,
               handOff ? "apply" : "hand-off");
        return;
    }
    auto shares = [](const Phase& p) {
        char text[64];
        snprintf(text, sizeof text, "%5.0f | %5.0f | %5.0f | %5.0f", p.total, p.editor, p.filter,
                 p.total - p.editor - p.filter);
        return std::string(text);
    };
    printf("| %-5s | %4.1f MP | %6.0f%s | %s | %s |\n", editor.name.c_str(), megapixels, started,
           firstStart ? " (first)" : "", shares(*handOff).c_str(), shares(*apply).c_str());
    fflush(stdout);
    endPanels(editor.panelProgram);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string build = argc > 1 ? argv[1] : LUMIVO_BINARY_DIR;
    char pattern[] = "/tmp/lumivo-gimp-bench-XXXXXX";
    if (!mkdtemp(pattern)) {
        return 1;
    }
    const std::string work = pattern;
    const std::string home = work + "/home";
    // GIMP's settings and plug-in cache, the spool and the panel's settings: the bench's own.
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
    setenv("XDG_CACHE_HOME", (home + "/.cache").c_str(), 1);
    setenv("LUMIVO_BRIDGE_TRACE", "1", 1);
    unsetenv("NO_AT_BRIDGE");

    const std::string gimpName = LUMIVO_GIMP_BRIDGE;  // "gimp3", "gimp" (2.10) or ""
    const bool gimp3 = gimpName == "gimp3";
    const std::string version = gimp3 ? "3.0" : "2.10";
    const std::string gimpDir = home + "/.config/GIMP/" + version;
    const std::string plugins = gimpDir + "/plug-ins/lumivo";
    std::string setup =
        "gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus "
        "--method org.freedesktop.DBus.Properties.Set org.a11y.Status IsEnabled '<true>' "
        ">/dev/null";
    if (!gimpName.empty()) {
        setup += std::string(" && bash '") + LUMIVO_SOURCE_DIR + "/gimp/install.sh' --no-build " +
                 "--gimp " + version + " --build '" + build + "' --dest '" + plugins +
                 "' >/dev/null";
    }
    const auto installing = BenchClock::now();
    if (system(setup.c_str()) != 0) {
        printf("cannot install the bridge or reach the accessibility bus\n");
        return 1;
    }
    if (!gimpName.empty()) {
        // The installation lets GIMP set up the new home folder first: every plug-in registers.
        printf("installation into a new GIMP %s folder: %.0f ms\n", version.c_str(),
               msSince(installing));
    }
    if (gimp3) {
        // The welcome dialog of a first start would keep the document from opening.
        std::ofstream(gimpDir + "/gimprc", std::ios::app) << "(show-welcome-dialog no)\n";
    }
    const std::string panel =
        "/Contents/Resources/LumivoAffinity.app/Contents/Linux/LumivoAffinity";
    const Editor demo{"demo",
                      "com.lumivo.demo-host",
                      build + "/LumivoFilter.8bf" + panel,
                      [&build](const std::string& document) {
                          return std::vector<std::string>{
                              build + "/LumivoHost.app/Contents/Linux/lumivo-host",
                              "--plugins",
                              build,
                              "--in",
                              document,
                              "--timings"};
                      },
                      "",
                      demoShare};
    const Editor gimp{
        gimp3 ? "gimp3" : "gimp",
        gimp3 ? kGimp3Identifier : kGimpIdentifier,
        plugins + "/LumivoFilter.8bf" + panel,
        [gimp3](const std::string& document) {
            if (gimp3) {
                return std::vector<std::string>{
                    "gimp-3.0", "--no-splash", "--batch-interpreter=plug-in-script-fu-eval",
                    "-b",       "-",           document};
            }
            return std::vector<std::string>{
                "env",   "GTK_MODULES=gail:atk-bridge", "gimp-2.10", "--no-splash", "-b", "-",
                document};
        },
        "(gimp-quit 1)\n",
        gimpShare};

    printf(
        "the filter's two runs in each editor (ms, median of %d): whole run, then the\n"
        "editor's, the filter's and the bridge's shares\n\n",
        kRuns);
    printf(
        "| editor | size | start to menu | hand-off | editor | filter | bridge "
        "| apply | editor | filter | bridge |\n");
    printf("|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (const auto& [width, height] : {std::pair{1224u, 816u}, std::pair{6000u, 4000u}}) {
        runEditor(demo, work, width, height, false);
        if (!gimpName.empty()) {
            runEditor(gimp, work, width, height, width == 1224);
        }
    }
    std::filesystem::remove_all(work);
    return 0;
}
