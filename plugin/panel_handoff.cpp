#include "plugin/panel_handoff.h"

#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "imaging/png_text.h"
#include "platform/bundle.h"
#include "plugin/spool.h"

namespace {

// Removes the input file and reports why; every failure after the write ends here, so no
// input file outlives a failed hand-off.
class FailureStep {
  public:
    FailureStep(const spool::Directory& directory, std::string name,
                std::function<void(const std::string&)> report)
        : directory_(directory), name_(std::move(name)), report_(std::move(report)) {}

    bool operator()(const std::string& reason) const {
        spool::removeFile(directory_, name_);
        if (report_) {
            report_(reason);
        }
        return false;
    }

  private:
    const spool::Directory& directory_;
    std::string name_;
    std::function<void(const std::string&)> report_;
};

// Polls until the process is gone or the limit has passed; true when it is gone.
bool awaitTermination(RunningApps& apps, Clock& clock, pid_t pid, double limitSeconds) {
    const double deadline = clock.steadySeconds() + limitSeconds;
    while (!apps.isTerminated(pid)) {
        if (clock.steadySeconds() >= deadline) {
            return false;
        }
        clock.sleepFor(kQuitPollSeconds);
    }
    return true;
}

// Links are followed: a link whose target is gone leaves nothing to launch.
bool exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

}  // namespace

bool sendInputToPanel(const spool::Directory& directory, std::vector<uint8_t> file,
                      const PictureMark& mark, bool activate, HandoffPorts& ports) {
    if (file.empty()) {
        return false;
    }
    const std::string name = spool::fileName(spool::kInputPrefix, ports.wallSeconds());
    {
        std::optional<png::TextSplice> marked =
            picture_mark::spliced(file.data(), file.size(), mark);
        if (!marked || !spool::writeAtomically(directory, name, marked->pieces())) {
            return false;
        }
    }
    // The file goes once it is written: the panel may take seconds to answer.
    std::vector<uint8_t>().swap(file);
    // A panel takes only the newest input, so the ones no panel took are of no use to anyone.
    // The one just written is never among them, nor is anything a starting panel could still
    // be about to read: it looks for the newest.
    spool::removeFilesExcept(directory, spool::kInputPrefix, name);
    const std::string inputPath = directory.pathOf(name);
    const FailureStep fail(directory, name, ports.reportFailure);

    std::vector<RunningApp> panels = ports.apps.withBundleIdentifier(spool::kPanelBundleIdentifier);
    if (!panels.empty()) {
        const RunningApp& panel = panels.front();
        if (resolvedPath(panel.bundlePath) == resolvedPath(ports.enclosedPanelPath)) {
            // The panel brings itself forward when "activate" is set: one process can't raise
            // another's windows here.
            SendAnnouncement announcement;
            announcement.input = inputPath;
            announcement.activate = activate;
            announcement.hostPid = static_cast<int32_t>(ports.hostPid);
            // A signal that can't reach the bus reaches no panel: fail rather than report a
            // hand-off nobody heard, and take the input file back.
            if (!ports.notifier.post(announcement)) {
                return fail("send notification could not be posted");
            }
            return true;
        }
        if (!activate) {
            spool::removeFile(directory, name);
            return true;
        }
        ports.apps.terminate(panel.pid);
        if (!awaitTermination(ports.apps, ports.clock, panel.pid, kPoliteQuitSeconds)) {
            ports.apps.forceTerminate(panel.pid);
            if (!awaitTermination(ports.apps, ports.clock, panel.pid, kForcedQuitSeconds)) {
                return fail("stale panel refused to quit \u2014 send aborted");
            }
        }
    }

    if (!activate) {
        spool::removeFile(directory, name);
        return true;
    }
    if (!exists(ports.enclosedPanelPath)) {
        return fail("helper missing at " + ports.enclosedPanelPath);
    }
    char pidText[16];
    snprintf(pidText, sizeof pidText, "%d", static_cast<int>(ports.hostPid));
    const LaunchOutcome launched =
        ports.launcher.run({ports.launcherPath, ports.enclosedPanelPath, "--args", inputPath,
                            directory.path(), pidText});
    if (launched.spawnError != 0) {
        return fail("posix_spawn(open) failed: " + std::to_string(launched.spawnError));
    }
    if ((launched.waitStatus & 0xFF7F) != 0) {
        return fail("open(1) failed to launch the panel app (status " +
                    std::to_string(launched.waitStatus) + ")");
    }
    return true;
}
