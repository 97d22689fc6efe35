#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "panel/bridge/page_caller.h"
#include "panel/bridge/panel_requests.h"
#include "platform/desktop_notifications.h"
#include "platform/task_queue.h"

// Desktop notifications about the page's creations, and the click that brings the panel forward
// and hands the creation id back to the page. Main thread only.
//
// On Linux nothing suppresses a notification while the panel has the focus, so it shows with
// its sound in the foreground as well; no foreground callback is needed.
class NotificationModule final : public NotificationRequests {
  public:
    // `presentWindow` brings the panel's window to the front; `makeUuid` returns a fresh random
    // UUID in its 36-character text form.
    NotificationModule(PageCaller& page, TaskQueue& main,
                       std::unique_ptr<DesktopNotifications> centre,
                       std::function<void()> presentWindow, std::function<std::string()> makeUuid);

    void handleNotify(const nlohmann::json& id, const nlohmann::json& title,
                      const nlohmann::json& body) override;

  private:
    void onClick(const std::string& creationId);

    PageCaller& page_;
    TaskQueue& main_;
    std::unique_ptr<DesktopNotifications> centre_;
    std::function<void()> presentWindow_;
    std::function<std::string()> makeUuid_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

// The text cut to its first `units` UTF-16 code units; a character that would be split is left
// out whole. Invalid UTF-8 is first replaced by U+FFFD.
std::string cutUtf16(std::string_view text, size_t units);

// The creation id with every character outside [A-Za-z0-9_-] removed.
std::string filterCreationId(std::string_view id);

// The module with the desktop's notification server on the session bus. Call on the main
// thread; `page` and `main` must outlive the module.
std::unique_ptr<NotificationModule> makeNotificationModule(PageCaller& page, TaskQueue& main,
                                                           std::function<void()> presentWindow);
