#pragma once

#include <cstdint>
#include <memory>

#include "panel/bridge/lumivo_panel_handler.h"
#include "panel/bridge/panel_requests.h"
#include "platform/one_shot_timer.h"
#include "platform/panel_window.h"
#include "platform/process_exits.h"

// The page function told that the editor the panel serves has quit, with one argument: the
// seconds after which the panel closes while the page doesn't say it is busy.
inline constexpr char kEditorGoneCall[] = "__lumivoEditorGone";

// How long the panel stays once its editor has quit and the user is not in the middle of
// something: time to read why the picture is gone, and to start the editor again after a crash
// and hand a picture over without waiting for a new panel. The picture's memory is let go of
// at once, so the wait costs only the idle page.
inline constexpr double kEditorGoneCloseSeconds = 60.0;

// The panel follows the editor it serves. When that editor's process ends, the current frame
// is let go of and the page is told; the window closes after the delay unless the page says it
// is busy, in which case the delay starts afresh once it is not. A hand-off from a new editor
// process is followed instead, and a pending close is called off. Results already in the spool
// stay there for the next run. Main thread only; every reference must outlive the follower.
class EditorFollower final : public SessionRequests {
  public:
    EditorFollower(ProcessExits& exits, OneShotTimer& closeTimer, LumivoPanelHandler& handler,
                   std::weak_ptr<PanelWindow> window,
                   double closeSeconds = kEditorGoneCloseSeconds);

    // The editor the panel serves from now on: the command line's host process at start-up,
    // then each host process a hand-off is accepted from. 0 or less: unknown, nothing to follow.
    void follow(int32_t hostPid);

    // The page's "busy" message.
    void handleBusy(bool busy) override;

  private:
    void editorEnded(int32_t hostPid);
    void closeLater();

    ProcessExits& exits_;
    OneShotTimer& closeTimer_;
    LumivoPanelHandler& handler_;
    std::weak_ptr<PanelWindow> window_;
    double closeSeconds_;

    int32_t followed_ = 0;
    bool editorGone_ = false;
    bool busy_ = false;
};
