#include "panel/app/editor_follow.h"

#include <utility>

#include <nlohmann/json.hpp>

EditorFollower::EditorFollower(ProcessExits& exits, OneShotTimer& closeTimer,
                               LumivoPanelHandler& handler, std::weak_ptr<PanelWindow> window,
                               double closeSeconds)
    : exits_(exits),
      closeTimer_(closeTimer),
      handler_(handler),
      window_(std::move(window)),
      closeSeconds_(closeSeconds) {}

void EditorFollower::follow(int32_t hostPid) {
    if (hostPid <= 0 || (hostPid == followed_ && !editorGone_)) {
        return;
    }
    followed_ = hostPid;
    editorGone_ = false;
    closeTimer_.cancel();
    exits_.watch(hostPid, [this, hostPid] { editorEnded(hostPid); });
}

void EditorFollower::editorEnded(int32_t hostPid) {
    if (hostPid != followed_ || editorGone_) {
        return;
    }
    editorGone_ = true;
    handler_.releaseFrame();
    handler_.callAck(kEditorGoneCall, nlohmann::json::array({closeSeconds_}));
    if (!busy_) {
        closeLater();
    }
}

void EditorFollower::handleBusy(bool busy) {
    busy_ = busy;
    if (!editorGone_) {
        return;
    }
    if (busy_) {
        closeTimer_.cancel();
    } else {
        closeLater();
    }
}

void EditorFollower::closeLater() {
    closeTimer_.start(closeSeconds_, [this] {
        if (auto window = window_.lock()) {
            window->close();
        }
    });
}
