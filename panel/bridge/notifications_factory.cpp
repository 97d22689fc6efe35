#include "panel/bridge/notifications.h"
#include "platform/linux/dbus_notifications.h"

std::unique_ptr<NotificationModule> makeNotificationModule(PageCaller& page, TaskQueue& main,
                                                           std::function<void()> presentWindow) {
    return std::make_unique<NotificationModule>(page, main, std::make_unique<DbusNotifications>(),
                                                std::move(presentWindow), &randomUuid);
}
