// One edit's two filter runs in GIMP 2.10 through the bridge, next to the same runs in the demo
// host: editor start to an enabled Filters > Lumivo, the hand-off (press to "filter result
// -128") and the apply (a result waiting; press to "filter result 0"), for a 1- and a
// 24-megapixel image. Run by hand from a build:
//   xvfb-run -a -s "-screen 0 1280x1024x24" dbus-run-session -- build/bench/gimp_bridge
// Figures are wall-clock milliseconds, the median of kRuns runs (the first hand-off launches
// the panel, the later ones find it running). GIMP runs in a home folder of the bench's own;
// its first start after the installation, when the bridge registers, is shown apart.

#include <stdio.h>
#include <stdlib.h>

#include <filesystem>
#include <functional>
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

struct Editor {
    const char* name;
    std::string spoolIdentifier;
    std::string panelProgram;  // the enclosed panel this editor's filter launches
    std::function<std::vector<std::string>(const std::string& document)> command;
    std::string quitLine;  // what makes it quit cleanly, on its standard input
};

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

bool press(Accessibility& ax, pid_t pid) {
    AxHandle item = locateLumivoMenuItem(ax, pid);
    return item && ax.press(*item);
}

void runEditor(const Editor& editor, const std::string& work, uint32_t width, uint32_t height,
               bool firstStart) {
    const std::string document = work + "/document.png";
    {
        std::vector<uint8_t> bytes = png::encode(syntheticFrame(width, height, 0));
        writeFile(document, bytes);
    }
    const std::vector<uint8_t> result = png::encode(syntheticFrame(width, height, 77));
    const spool::CheckedDirectory spoolDir =
        spool::checkDirectory(spool::directoryFor(editor.spoolIdentifier), spool::Missing::create);
    if (!spoolDir.directory) {
        printf("  %s\n", spoolDir.refusal.c_str());
        return;
    }

    AtspiAccessibility ax;
    auto start = BenchClock::now();
    EditorProcess process(editor.command(document), editor.quitLine);
    if (process.pid() <= 0 || !waitForEnabledItem(ax, process.pid(), kStartSeconds)) {
        printf("  %-5s %.1f MP: the editor never showed an enabled item\n", editor.name,
               width * double(height) / 1e6);
        return;
    }
    const double started = msSince(start);

    std::vector<double> handOff, apply;
    for (int run = 0; run < kRuns; ++run) {
        start = BenchClock::now();
        if (!press(ax, process.pid()) || process.nextResult() != userCanceledErr) {
            printf("  %s: the hand-off failed\n", editor.name);
            return;
        }
        handOff.push_back(msSince(start));
    }
    for (int run = 0; run < kRuns; ++run) {
        spool::writeAtomically(*spoolDir.directory,
                               spool::fileName(spool::kResultPrefix, spool::nowSeconds()),
                               result.data(), result.size());
        start = BenchClock::now();
        if (!press(ax, process.pid()) || process.nextResult() != 0) {
            printf("  %s: the apply failed\n", editor.name);
            return;
        }
        apply.push_back(msSince(start));
    }
    printf("  %-5s %4.1f MP  start to menu %8.0f%s  hand-off %7.0f  apply %7.0f\n", editor.name,
           width * double(height) / 1e6, started, firstStart ? " (first start)" : "",
           median(handOff), median(apply));
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
    unsetenv("NO_AT_BRIDGE");
    const std::string plugins = home + "/.config/GIMP/2.10/plug-ins/lumivo";
    const std::string setup =
        std::string("bash '") + LUMIVO_SOURCE_DIR + "/gimp/install.sh' --no-build --build '" +
        build +
        "' >/dev/null && gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus "
        "--method org.freedesktop.DBus.Properties.Set org.a11y.Status IsEnabled '<true>' "
        ">/dev/null";
    const auto installing = BenchClock::now();
    if (system(setup.c_str()) != 0) {
        printf("cannot install the bridge or reach the accessibility bus\n");
        return 1;
    }
    // The installation lets GIMP set up the new home folder first: every plug-in registers.
    printf("installation into a new GIMP folder %8.0f ms\n", msSince(installing));
    const std::string panel =
        "/Contents/Resources/LumivoAffinity.app/Contents/Linux/LumivoAffinity";
    const Editor demo{"demo", "com.lumivo.demo-host", build + "/LumivoFilter.8bf" + panel,
                      [&build](const std::string& document) {
                          return std::vector<std::string>{
                              build + "/LumivoHost.app/Contents/Linux/lumivo-host", "--plugins",
                              build, "--in", document};
                      },
                      ""};
    const Editor gimp{
        "gimp", kGimpIdentifier, plugins + "/LumivoFilter.8bf" + panel,
        [](const std::string& document) {
            return std::vector<std::string>{
                "env",   "GTK_MODULES=gail:atk-bridge", "gimp-2.10", "--no-splash", "-b", "-",
                document};
        },
        "(gimp-quit 1)\n"};

    printf("the filter's two runs in each editor (ms, median of %d)\n", kRuns);
    runEditor(demo, work, 1224, 816, false);
    runEditor(gimp, work, 1224, 816, true);
    runEditor(gimp, work, 1224, 816, false);
    runEditor(demo, work, 6000, 4000, false);
    runEditor(gimp, work, 6000, 4000, false);
    std::filesystem::remove_all(work);
    return 0;
}
