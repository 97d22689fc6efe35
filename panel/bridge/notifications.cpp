#include "panel/bridge/notifications.h"

#include <glib.h>

namespace {

constexpr size_t kIdUnits = 120;
constexpr size_t kTitleUnits = 200;
constexpr size_t kBodyUnits = 500;

}  // namespace

std::string cutUtf16(std::string_view text, size_t units) {
    gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    std::string whole(valid);
    g_free(valid);
    size_t used = 0;
    const char* start = whole.c_str();
    const char* end = start + whole.size();
    const char* at = start;
    while (at < end) {
        const gunichar c = g_utf8_get_char(at);
        const size_t width = c > 0xFFFF ? 2 : 1;
        if (used + width > units) {
            break;
        }
        used += width;
        at = g_utf8_next_char(at);
    }
    return std::string(start, at);
}

std::string filterCreationId(std::string_view id) {
    std::string out;
    for (char c : id) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '_') {
            out += c;
        }
    }
    return out;
}

NotificationModule::NotificationModule(PageCaller& page, TaskQueue& main,
                                       std::unique_ptr<DesktopNotifications> centre,
                                       std::function<void()> presentWindow,
                                       std::function<std::string()> makeUuid)
    : page_(page),
      main_(main),
      centre_(std::move(centre)),
      presentWindow_(std::move(presentWindow)),
      makeUuid_(std::move(makeUuid)) {}

void NotificationModule::handleNotify(const nlohmann::json& id, const nlohmann::json& title,
                                      const nlohmann::json& body) {
    if (!id.is_string() || !title.is_string() || !body.is_string()) {
        return;
    }
    if (title.get_ref<const std::string&>().empty()) {
        return;
    }
    DesktopNotification notification;
    notification.creationId = cutUtf16(id.get_ref<const std::string&>(), kIdUnits);
    notification.title = cutUtf16(title.get_ref<const std::string&>(), kTitleUnits);
    notification.body = cutUtf16(body.get_ref<const std::string&>(), kBodyUnits);
    // Clicks reach the page only once a notification of this run has been asked for, so a click
    // on one left over from an earlier run goes nowhere.
    std::weak_ptr<int> alive = alive_;
    centre_->setClickHandler([this, alive](std::string creationId) {
        if (alive.lock()) {
            onClick(creationId);
        }
    });
    DesktopNotifications* centre = centre_.get();
    std::function<std::string()> makeUuid = makeUuid_;
    centre_->requestAuthorization([centre, alive, makeUuid,
                                   notification = std::move(notification)](bool granted) mutable {
        if (!granted || !alive.lock()) {
            return;
        }
        notification.identifier =
            "lumivo-" + (notification.creationId.empty() ? makeUuid() : notification.creationId);
        centre->add(notification);
    });
}

void NotificationModule::onClick(const std::string& creationId) {
    std::string filtered = filterCreationId(creationId);
    std::weak_ptr<int> alive = alive_;
    main_.post([this, alive, filtered = std::move(filtered)] {
        if (!alive.lock()) {
            return;
        }
        if (presentWindow_) {
            presentWindow_();
        }
        page_.callAck("__lumivoNotificationClick", nlohmann::json::array({filtered}));
    });
}
