#include "gimp/bridge_entry.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <vector>

#include "host/filter_catalog.h"
#include "host/run_timings.h"
#include "platform/bundle.h"
#include "plugin/host_identity.h"
#include "plugin/spool.h"

namespace {

constexpr char kBundleName[] = "LumivoFilter.8bf";

// The bundle installed in the bridge's own folder.
std::string bundlePath() {
    const std::string program = resolvedPath("/proc/self/exe");
    const size_t slash = program.rfind('/');
    return (slash == std::string::npos ? std::string(".") : program.substr(0, slash)) + "/" +
           kBundleName;
}

bool tracing() {
    static const char* setting = getenv("LUMIVO_BRIDGE_TRACE");
    static const bool on = setting != nullptr && strcmp(setting, "1") == 0;
    return on;
}

const RunTimings& timings() {
    static const RunTimings instance(tracing());
    return instance;
}

// The editor as the run sees it, with the editor's own steps timed.
class TimedHost final : public BridgeHost {
  public:
    explicit TimedHost(BridgeHost& host) : host_(host) {}

    BridgeTarget target() override { return host_.target(); }
    bool readArea(const BridgeTarget& target, Document& document) override {
        const bool read = host_.readArea(target, document);
        timings().mark("bridge-read");
        return read;
    }
    bool writeArea(const BridgeTarget& target, const Document& document) override {
        timings().mark("bridge-write");
        const bool written = host_.writeArea(target, document);
        timings().mark("bridge-written");
        return written;
    }
    void tell(const std::string& message) override { host_.tell(message); }
    std::optional<LayerArea> lastHandoff() override { return host_.lastHandoff(); }
    void rememberHandoff(const LayerArea& area) override { host_.rememberHandoff(area); }

  private:
    BridgeHost& host_;
};

BridgeResult runFilterOnce(BridgeHost& host) {
    std::vector<InstalledFilter> filters = loadFilterBundle(bundlePath());
    if (filters.empty()) {
        host.tell("Lumivo is not installed completely: its filter bundle is missing.");
        return BridgeResult{BridgeOutcome::kFailed, 0};
    }
    timings().mark("bridge-loaded");
    // The filter believes this only after checking that GIMP is this process's parent.
    const std::string editor = std::to_string(::getppid());
    ::setenv(kEditorPidVariable, editor.c_str(), 1);
    const std::string spoolDirectory = spool::directoryFor(currentHostIdentity().identifier);

    TimedHost timed(host);
    FilterRunWatch watch;
    if (timings().enabled()) {
        watch.onStep = [](const char* step) { timings().mark(step); };
    }
    return runBridge(timed, filters.front().entry, filters.front().title, spoolDirectory,
                     spool::nowSeconds(), &watch);
}

}  // namespace

std::optional<BridgeRegistration> installedBridgeRegistration() {
    // GIMP calls this through its plug-in protocol too: nothing thrown may reach it.
    try {
        std::vector<InstalledFilter> filters = loadFilterBundle(bundlePath());
        if (filters.empty()) {
            fprintf(stderr, "lumivo-gimp: no filter in %s\n", bundlePath().c_str());
            return std::nullopt;
        }
        const std::string& title = filters.front().title;
        return BridgeRegistration{
            title, "Edit the layer (or the selection) in the " + title + " panel",
            "The first run hands the pixels to the panel; when the panel has a result it runs "
            "the filter again, which writes the result into the layer as one undo step."};
    } catch (...) {
        return std::nullopt;
    }
}

void markBridgeStarted() {
    timings().mark("bridge-started");
}

BridgeOutcome runInstalledBridge(BridgeHost& host) {
    timings().mark("bridge-run");
    BridgeResult result;
    // Nothing thrown may reach GIMP's side of the plug-in protocol.
    try {
        result = runFilterOnce(host);
    } catch (...) {
        try {
            host.tell("Lumivo failed: it ran out of memory or resources.");
        } catch (...) {
        }
    }
    timings().mark("bridge-returned");
    // Last, so a reader that stops at this line has heard the run's every step.
    if (tracing() && (result.filterResult != 0 || result.outcome == BridgeOutcome::kApplied)) {
        printf("filter result %d\n", static_cast<int>(result.filterResult));
        fflush(stdout);
    }
    return result.outcome;
}
