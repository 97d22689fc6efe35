#include <stdio.h>

#include "platform/linux/dbus_send_notifier.h"
#include "platform/linux/proc_running_apps.h"
#include "plugin/filter_invoke.h"
#include "plugin/host_identity.h"
#include "plugin/launcher_anchor.h"
#include "plugin/panel_handoff.h"
#include "plugin/spool.h"

namespace {

// The plug-in shows nothing to the user; a failed run leaves one line on the host's standard
// error for whoever is looking.
void reportToStandardError(const std::string& reason) {
    fprintf(stderr, "LumivoFilter: %s\n", reason.c_str());
}

}  // namespace

int LumivoFilterInvoke(PixelBuffer input, const PictureMark& mark, const HostWrite& write) {
    const std::string pluginBundle = LumivoLauncherAnchor::bundlePath();
    const HostIdentity host = currentHostIdentity();
    ProcRunningApps apps;
    DbusSendNotifier notifier;
    PosixPanelLauncher launcher;
    SystemClock clock;
    HandoffPorts ports{
        .apps = apps,
        .notifier = notifier,
        .launcher = launcher,
        .clock = clock,
        .wallSeconds = &spool::nowSeconds,
        .enclosedPanelPath = pluginBundle + "/Contents/Resources/" + spool::kPanelBundleName,
        .launcherPath = pluginBundle + "/Contents/Linux/open",
        .hostPid = host.pid,
        .reportFailure = &reportToStandardError,
    };

    FilterRunContext context;
    context.spoolDirectory = spool::directoryFor(host.identifier);
    context.wallSeconds = &spool::nowSeconds;
    context.reportFailure = &reportToStandardError;
    context.handOff = [&ports](const spool::Directory& directory, std::vector<uint8_t> file,
                               const PictureMark& picture, bool activate) {
        return sendInputToPanel(directory, std::move(file), picture, activate, ports);
    };
    return filterInvoke(std::move(input), mark, write, context);
}
