#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/running_apps.h"
#include "platform/send_notification.h"
#include "plugin/clock.h"
#include "plugin/panel_launcher.h"
#include "plugin/picture_mark.h"
#include "plugin/spool.h"

// What the hand-off to the panel needs from outside. Borrowed for one call.
struct HandoffPorts {
    RunningApps& apps;
    SendNotifier& notifier;
    PanelLauncher& launcher;
    Clock& clock;
    std::function<double()> wallSeconds;  // seconds since 1970, for the file name
    std::string enclosedPanelPath;        // <plug-in bundle>/Contents/Resources/LumivoAffinity.app
    std::string launcherPath;             // <plug-in bundle>/Contents/Linux/open
    pid_t hostPid = 0;
    std::function<void(const std::string&)> reportFailure;  // receives each reason text
};

// Stale-panel shutdown limits.
inline constexpr double kPoliteQuitSeconds = 3.0;
inline constexpr double kForcedQuitSeconds = 2.0;
inline constexpr double kQuitPollSeconds = 0.1;

// Writes `file`, a PNG of the picture that `mark` marks, as a new input file in the spool
// directory, with the mark in it, and tells the panel: the running enclosed panel by the send
// announcement, or, when activate is true, a freshly launched one (after a panel from
// elsewhere has been shut down). Older input files that no panel took go once the new one is
// written; the new one stays for the panel. True when the panel was told or launched, and when
// activate is false and no panel runs; false on every failure, with no input file left behind.
// Calling thread; blocks for the write, a stale panel's shutdown and the launcher.
bool sendInputToPanel(const spool::Directory& directory, std::vector<uint8_t> file,
                      const PictureMark& mark, bool activate, HandoffPorts& ports);
