#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include <gio/gio.h>

#include "platform/desktop_notifications.h"

// The desktop's notification server (org.freedesktop.Notifications) on the session bus.
// Main thread only: replies and signals arrive in the main context that was current when the
// object was made.
//
// - Authorisation: a server that answers GetCapabilities counts as allowing alerts and sounds.
// - Replacement: the server's id of the last notification per identifier is kept and passed as
//   replaces_id, so a second notification with the same identifier takes the first one's place.
// - Sound: the hint "sound-name" asks for the theme's "message-new-instant" sound.
// - Click: the server's ActionInvoked signal with the "default" action, from the server, for a
//   notification this object posted. The server talks only to the connection that posted a
//   notification, so one left over from an earlier run can't be clicked through to this one.
class DbusNotifications final : public DesktopNotifications {
  public:
    // `connection` null: the session bus, reached on first use.
    explicit DbusNotifications(GDBusConnection* connection = nullptr);
    ~DbusNotifications() override;
    DbusNotifications(const DbusNotifications&) = delete;
    DbusNotifications& operator=(const DbusNotifications&) = delete;

    void requestAuthorization(std::function<void(bool granted)> done) override;
    void add(const DesktopNotification& notification) override;
    void setClickHandler(std::function<void(std::string creationId)> onClick) override;

  private:
    GDBusConnection* connection();
    static void onSignal(GDBusConnection*, const gchar* sender, const gchar* path,
                         const gchar* interface, const gchar* signal, GVariant* parameters,
                         gpointer self);
    // The server's answer to Notify; `id` 0 when it failed.
    void posted(const std::string& identifier, const std::string& creationId, uint32_t id);
    void remember(const std::string& identifier, const std::string& creationId, uint32_t id);

    GDBusConnection* connection_ = nullptr;
    bool triedBus_ = false;
    GCancellable* cancellable_ = nullptr;
    guint actionSubscription_ = 0;
    guint closedSubscription_ = 0;
    bool bodyMarkup_ = false;
    std::function<void(std::string)> onClick_;
    std::map<std::string, uint32_t> idByIdentifier_;
    std::map<uint32_t, std::string> creationById_;
    std::map<uint32_t, std::string> identifierById_;
    // Identifiers with a Notify under way, and the newest notification waiting behind it.
    std::map<std::string, std::optional<DesktopNotification>> waiting_;
};

// A fresh random UUID in its 36-character text form.
std::string randomUuid();
