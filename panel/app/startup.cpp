#include "panel/app/startup.h"

#include <gtk/gtk.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "imaging/png.h"
#include "panel/app/input_intake.h"
#include "panel/app/panel_modules.h"
#include "panel/app/panel_window_place.h"
#include "panel/app/startup_window.h"
#include "panel/bridge/lumivo_panel_handler.h"
#include "panel/bridge/page_scripts.h"
#include "panel/service/service_hosts.h"
#include "platform/bundle.h"
#include "platform/linux/dbus_send_subscription.h"
#include "platform/linux/glib_main_queue.h"
#include "platform/linux/glib_one_shot_timer.h"
#include "platform/linux/gtk_panel_window_frame.h"
#include "platform/linux/keyfile_user_defaults.h"
#include "platform/linux/pidfd_process_exits.h"
#include "platform/linux/proc_running_apps.h"
#include "platform/linux/x11_desktop_windows.h"
#include "platform/serial_worker.h"
#include "platform/worker_pool.h"
#include "plugin/spool.h"

namespace {

constexpr char kUsage[] = "usage: LumivoAffinity <input.png> <spool-dir> [host-pid]\n";
// Set to an edit's name, the page runs that edit on the first frame and applies it once; the
// end-to-end test drives the panel without a mouse this way.
constexpr char kAutotestVariable[] = "LUMIVO_PANEL_AUTOTEST";

// The newest input of the spool directory, else the file named on the command line.
FramePng readStartFrame(const spool::Directory& directory, const std::string& fallbackInput) {
    std::optional<std::string> newest = newestSpooledInput(directory);
    std::optional<std::vector<uint8_t>> bytes =
        newest ? spool::readWhole(directory, *newest) : spool::readWhole(fallbackInput);
    if (!bytes) {
        return {};
    }
    return decodeFramePng(std::move(*bytes));
}

// The page from the application's own bundle, whole, as UTF-8 text; none when it can't be read.
std::optional<std::string> readPanelPage() {
    std::string bundle = mainBundlePath();
    if (bundle.empty()) {
        return std::nullopt;
    }
    std::string path = bundle + "/Contents/Resources/panel/index.html";
    gchar* contents = nullptr;
    gsize length = 0;
    if (!g_file_get_contents(path.c_str(), &contents, &length, nullptr)) {
        return std::nullopt;
    }
    std::optional<std::string> page;
    if (g_utf8_validate(contents, static_cast<gssize>(length), nullptr)) {
        page.emplace(contents, length);
    }
    g_free(contents);
    return page;
}

// The start frame is a picture the editor handed over.
std::vector<std::string> userScripts(const PixelBuffer& startFrame,
                                     const std::string& spoolDirectory) {
    std::vector<std::string> scripts{startupUserScript(
        FrameInfo{startFrame.width, startFrame.height, editorOfSpoolDirectory(spoolDirectory),
                  FrameArrival::kHandedOff})};
    if (const char* edit = std::getenv(kAutotestVariable); edit != nullptr && *edit != '\0') {
        std::string literal;
        appendScriptArgument(literal, nlohmann::json(edit));
        scripts.push_back("window.__lumivoAutotest = " + literal + ";");
    }
    return scripts;
}

}  // namespace

int runPanel(int argc, char** argv, const PanelSeams& seams) {
    // 1-2. The command line.
    if (argc < 3) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string fallbackInput = argv[1];
    // Only a directory of this user's spool root is ever swept or written: a panel pointed at
    // any other folder would delete what it holds.
    const std::optional<spool::Directory> accepted = acceptedSpoolDirectory(argv[2]);
    if (!accepted) {
        return 1;
    }
    const std::string& spoolDirectory = accepted->path();
    if (argc > 3) {
        gHostPid.exchange(hostPidFromArgument(argv[3]));
    }

    // 3. The application. GTK's own options are not taken from our command line.
    if (!gtk_init_check(nullptr, nullptr)) {
        std::fputs("LumivoAffinity: cannot open the display\n", stderr);
        return 1;
    }
    g_set_application_name("Lumivo");

    // 4-7. The start frame: the newest spooled input, else the file named on the command line.
    // Owned here for the life of the process; the handler points at it.
    static PixelBuffer startFrame;
    FramePng start = readStartFrame(*accepted, fallbackInput);
    startFrame = std::move(start.image);
    sweepInputs(*accepted);
    spool::removeStaleTemporaries(*accepted, spool::nowSeconds());
    if (startFrame.empty()) {
        return 1;
    }

    // 8. The page.
    std::optional<std::string> page = readPanelPage();
    if (!page) {
        showMissingPageAlert();
        return 1;
    }

    // 9. The handler and the places its work runs.
    GlibMainQueue mainQueue;
    WorkerPool exportWorkers(2, "lumivo-export");
    SerialWorker intakeQueue("com.lumivo.affinity.intake");
    LumivoPanelHandler handler(mainQueue, exportWorkers, png::encode);
    handler.setInput(&startFrame, FrameSource{gHostPid.load(), spoolDirectory},
                     std::move(start.file), start.mark);
    handler.setSpoolDirectory(spoolDirectory);

    // 10-12. The web view and the window.
    PanelWindowParts parts = createPanelWindow(handler, userScripts(startFrame, spoolDirectory));
    PanelModules modules = wirePanelModules(handler, mainQueue, exportWorkers, parts.windowPort);
    handler.setModules(modules.apply.get(), modules.service.get(), modules.notifications.get());
    handler.setTransfers(modules.transfers.get());
    // Beside the editor's window and above it, or where the user left it last time.
    X11DesktopWindows desktop;
    GtkPanelWindowFrame windowFrame(GTK_WINDOW(parts.window));
    KeyfileUserDefaults defaults(KeyfileUserDefaults::defaultPath());
    PanelWindowPlacer placer(desktop, windowFrame, defaults);
    placer.placeAtStart(gHostPid.load());
    showPanelWindow(parts);

    // 13. The page, with the origin of the service's sign-in host.
    loadPanelPage(parts, *page,
                  std::string("https://") + service_hosts::kAuth + "/plugin-panel/affinity");

    // The editor's process is followed: when it quits, the picture is let go of.
    PidfdProcessExits editorExits;
    GlibOneShotTimer closeTimer;
    EditorFollower follower(editorExits, closeTimer, handler, parts.windowPort,
                            seams.editorGoneCloseSeconds);
    handler.setSession(&follower);
    follower.follow(gHostPid.load());

    // 14. Later inputs.
    ProcRunningApps runningApps;
    SendObserver observer(spoolDirectory, handler, parts.windowPort, runningApps, intakeQueue);
    observer.setHostFollower([&follower, &placer](int32_t hostPid) {
        follower.follow(hostPid);
        placer.follow(hostPid);
    });
    std::unique_ptr<SendSubscription> subscription = subscribeToSend(
        [&observer](const ReceivedAnnouncement& announcement) { observer.onSend(announcement); });

    // 15. An input written while the above ran, before the subscription existed. The sweep
    // follows the load on the same queue, so it can't remove the file before it is read.
    if (std::optional<std::string> late = newestSpooledInput(*accepted)) {
        intakeQueue.post([&handler, &accepted, name = *late,
                          source = FrameSource{gHostPid.load(), spoolDirectory}] {
            loadInputFrame(handler, *accepted, name, source);
            sweepInputs(*accepted);
        });
    }

    // 16. The loop is not expected to return; if it does, the panel ends as when its window
    // closes, without tearing down objects that queued work may still reach.
    gtk_main();
    std::fflush(nullptr);
    _exit(0);
}
