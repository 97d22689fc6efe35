#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "panel/bridge/lumivo_panel_handler.h"
#include "panel/bridge/panel_state.h"
#include "platform/panel_window.h"
#include "platform/running_apps.h"
#include "platform/send_notification.h"
#include "platform/task_queue.h"
#include "plugin/picture_mark.h"
#include "plugin/spool.h"

// The host editor's process id as the panel knows it; 0 or less means unknown. Written on the
// main thread only, by exchange; read by the apply queue.
extern std::atomic<int32_t> gHostPid;

// The command line's host-pid read by atoi's rules: leading white space, an optional sign,
// digits up to the first non-digit, 0 without digits. A number outside the 32-bit range, where
// atoi has no defined result, reads as 0 (unknown). Any thread.
int32_t hostPidFromArgument(const char* text);

// The name of the newest input file in the spool directory (the spool's newest-file rule), or
// none. Any thread.
std::optional<std::string> newestSpooledInput(const spool::Directory& directory);

// Removes the directory's input files (regular files named "input-*.png"); failures ignored.
void sweepInputs(const spool::Directory& directory);

// A frame decoded from a PNG file, with the file's bytes when they hold exactly its pixels and
// the mark of the picture the file shows, when it carries one.
struct FramePng {
    PixelBuffer image;
    FrameFile file;
    std::optional<PictureMark> mark;
};
// The empty image when the bytes are not a decodable image. Any thread.
FramePng decodeFramePng(std::vector<uint8_t> bytes);

// Reads the input file `name` of the spool directory, deletes it whatever it held (when it is a
// regular file: nothing else is ever removed), and when it is an image installs it as the
// current frame from `source`, arrived as `arrival`. Any thread; blocks on the file and the
// decoder.
void loadInputFrame(PanelState& handler, const spool::Directory& directory, const std::string& name,
                    FrameSource source, FrameArrival arrival = FrameArrival::kHandedOff);

// The spool directory named on the command line, made absolute and standardised, when it lies
// directly under this user's spool root (links in the root's own path resolved) and passes the
// spool's directory check, opened; none otherwise. Any thread.
std::optional<spool::Directory> acceptedSpoolDirectory(const std::string& commandLine);

// The panel's half of the send announcement: which inputs are taken, where results go next,
// which host process is believed, and when the window comes forward. Main thread only.
//
// Reading and decoding an input takes a while for a large frame, so that part runs on the
// intake queue (one serial worker): inputs are installed one at a time, in announcement order,
// and the window comes forward at once rather than after the decode.
class SendObserver {
  public:
    // `commandLineSpoolDirectory` fixes the spool root: its parent, links resolved, standardised.
    // Every reference must outlive the observer.
    SendObserver(std::string commandLineSpoolDirectory, LumivoPanelHandler& handler,
                 std::weak_ptr<PanelWindow> window, RunningApps& runningApps,
                 TaskQueue& intakeQueue);

    void onSend(const ReceivedAnnouncement& announcement);

    // Told of each host process a hand-off is accepted from, once it is the host.
    void setHostFollower(std::function<void(int32_t hostPid)> follow) {
        follow_ = std::move(follow);
    }

  private:
    std::string commandLineSpoolDirectory_;
    LumivoPanelHandler& handler_;
    std::weak_ptr<PanelWindow> window_;
    RunningApps& runningApps_;
    TaskQueue& intakeQueue_;
    std::function<void(int32_t hostPid)> follow_;
};

// A path with its symbolic links resolved as far as it exists, then made absolute and free of
// ".", ".." and repeated or trailing separators. Any thread.
std::string resolvedStandardPath(const std::string& path);
