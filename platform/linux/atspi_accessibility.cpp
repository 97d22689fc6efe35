#include "platform/linux/atspi_accessibility.h"

#include <deque>
#include <utility>

namespace {

constexpr char kRegistryName[] = "org.a11y.atspi.Registry";
constexpr char kRootPath[] = "/org/a11y/atspi/accessible/root";
constexpr char kNullPath[] = "/org/a11y/atspi/null";
constexpr char kAccessibleInterface[] = "org.a11y.atspi.Accessible";
constexpr char kActionInterface[] = "org.a11y.atspi.Action";
constexpr char kPropertiesInterface[] = "org.freedesktop.DBus.Properties";

// Values of the AT-SPI role and state enumerations.
constexpr uint32_t kRoleMenuBar = 34;
constexpr int kStateEnabled = 8;
constexpr int kStateSensitive = 24;

// The menu bar search looks at this many elements at most, so a huge window can't stall it.
constexpr int kMenuBarSearchMaxElements = 2000;
constexpr int kMenuBarSearchMaxDepth = 12;

constexpr char kPressActionName[] = "click";

struct AtspiElement final : AxElement {
    AtspiElement(std::string busName, std::string path)
        : busName(std::move(busName)), path(std::move(path)) {}
    std::string busName;
    std::string path;
};

const AtspiElement& unwrap(const AxElement& element) {
    return static_cast<const AtspiElement&>(element);
}

struct VariantUnref {
    void operator()(GVariant* value) const { g_variant_unref(value); }
};
using VariantPtr = std::unique_ptr<GVariant, VariantUnref>;

}  // namespace

GDBusConnection* AtspiAccessibility::bus() {
    if (connection_ && g_dbus_connection_is_closed(connection_.get())) {
        connection_.reset();
    }
    if (!connection_) {
        connection_ = atspi_bus::connect();
    }
    return connection_.get();
}

GVariant* AtspiAccessibility::call(const std::string& busName, const std::string& path,
                                   const char* interface, const char* method, GVariant* parameters,
                                   const char* replyType) {
    GDBusConnection* connection = bus();
    if (!connection) {
        if (parameters) {
            g_variant_unref(g_variant_ref_sink(parameters));
        }
        return nullptr;
    }
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        connection, busName.c_str(), path.c_str(), interface, method, parameters,
        G_VARIANT_TYPE(replyType), G_DBUS_CALL_FLAGS_NO_AUTO_START, kCallTimeoutMs, nullptr,
        &error);
    g_clear_error(&error);
    return reply;
}

AxHandle AtspiAccessibility::application(pid_t pid) {
    VariantPtr apps(
        call(kRegistryName, kRootPath, kAccessibleInterface, "GetChildren", nullptr, "(a(so))"));
    if (!apps) {
        return nullptr;
    }
    GVariantIter* iter = nullptr;
    g_variant_get(apps.get(), "(a(so))", &iter);
    const gchar* name = nullptr;
    const gchar* path = nullptr;
    AxHandle found;
    while (!found && g_variant_iter_next(iter, "(&s&o)", &name, &path)) {
        VariantPtr owner(call("org.freedesktop.DBus", "/org/freedesktop/DBus",
                              "org.freedesktop.DBus", "GetConnectionUnixProcessID",
                              g_variant_new("(s)", name), "(u)"));
        if (!owner) {
            continue;
        }
        guint32 ownerPid = 0;
        g_variant_get(owner.get(), "(u)", &ownerPid);
        if (static_cast<pid_t>(ownerPid) == pid) {
            found = std::make_unique<AtspiElement>(name, path);
        }
    }
    g_variant_iter_free(iter);
    return found;
}

AxHandle AtspiAccessibility::menuBar(const AxElement& application) {
    struct Pending {
        AxHandle element;
        int depth;
    };
    std::deque<Pending> queue;
    queue.push_back(
        {std::make_unique<AtspiElement>(unwrap(application).busName, unwrap(application).path), 0});
    int looked = 0;
    while (!queue.empty() && looked < kMenuBarSearchMaxElements) {
        Pending next = std::move(queue.front());
        queue.pop_front();
        if (next.depth >= kMenuBarSearchMaxDepth) {
            continue;
        }
        std::optional<std::vector<AxHandle>> kids = children(*next.element);
        if (!kids) {
            continue;
        }
        for (AxHandle& child : *kids) {
            if (++looked > kMenuBarSearchMaxElements) {
                break;
            }
            const AtspiElement& c = unwrap(*child);
            VariantPtr role(
                call(c.busName, c.path, kAccessibleInterface, "GetRole", nullptr, "(u)"));
            guint32 value = 0;
            if (role) {
                g_variant_get(role.get(), "(u)", &value);
            }
            if (value == kRoleMenuBar) {
                return std::move(child);
            }
            queue.push_back({std::move(child), next.depth + 1});
        }
    }
    return nullptr;
}

std::optional<std::vector<AxHandle>> AtspiAccessibility::children(const AxElement& element) {
    const AtspiElement& e = unwrap(element);
    VariantPtr reply(
        call(e.busName, e.path, kAccessibleInterface, "GetChildren", nullptr, "(a(so))"));
    if (!reply) {
        return std::nullopt;
    }
    std::vector<AxHandle> result;
    GVariantIter* iter = nullptr;
    g_variant_get(reply.get(), "(a(so))", &iter);
    const gchar* name = nullptr;
    const gchar* path = nullptr;
    while (g_variant_iter_next(iter, "(&s&o)", &name, &path)) {
        // A child the toolkit can't name comes back as the null reference; there is nothing to
        // look at in it.
        if (g_strcmp0(path, kNullPath) == 0 || !*name) {
            continue;
        }
        result.push_back(std::make_unique<AtspiElement>(name, path));
    }
    g_variant_iter_free(iter);
    return result;
}

std::optional<std::string> AtspiAccessibility::title(const AxElement& element) {
    const AtspiElement& e = unwrap(element);
    VariantPtr reply(call(e.busName, e.path, kPropertiesInterface, "Get",
                          g_variant_new("(ss)", kAccessibleInterface, "Name"), "(v)"));
    if (!reply) {
        return std::nullopt;
    }
    GVariant* inner = nullptr;
    g_variant_get(reply.get(), "(v)", &inner);
    VariantPtr value(inner);
    if (!g_variant_is_of_type(value.get(), G_VARIANT_TYPE_STRING)) {
        return std::nullopt;
    }
    return std::string(g_variant_get_string(value.get(), nullptr));
}

EnabledRead AtspiAccessibility::enabled(const AxElement& element) {
    const AtspiElement& e = unwrap(element);
    VariantPtr reply(call(e.busName, e.path, kAccessibleInterface, "GetState", nullptr, "(au)"));
    if (!reply) {
        return {EnabledRead::kError, false};
    }
    GVariant* words = g_variant_get_child_value(reply.get(), 0);
    VariantPtr owned(words);
    gsize count = 0;
    const guint32* bits =
        static_cast<const guint32*>(g_variant_get_fixed_array(words, &count, sizeof(guint32)));
    if (count < 1) {
        return {EnabledRead::kAbsent, false};
    }
    auto has = [&](int state) {
        const gsize word = static_cast<gsize>(state) / 32;
        return word < count && (bits[word] & (1u << (state % 32))) != 0;
    };
    return {EnabledRead::kValue, has(kStateEnabled) && has(kStateSensitive)};
}

bool AtspiAccessibility::press(const AxElement& element) {
    const AtspiElement& e = unwrap(element);
    VariantPtr countReply(call(e.busName, e.path, kPropertiesInterface, "Get",
                               g_variant_new("(ss)", kActionInterface, "NActions"), "(v)"));
    if (!countReply) {
        return false;
    }
    GVariant* inner = nullptr;
    g_variant_get(countReply.get(), "(v)", &inner);
    VariantPtr countValue(inner);
    if (!g_variant_is_of_type(countValue.get(), G_VARIANT_TYPE_INT32)) {
        return false;
    }
    const gint32 actions = g_variant_get_int32(countValue.get());
    // By name, never by position: the order of a toolkit's actions is not fixed. GetName gives
    // the action's own name; the localised one would differ by language.
    for (gint32 index = 0; index < actions; ++index) {
        VariantPtr name(call(e.busName, e.path, kActionInterface, "GetName",
                             g_variant_new("(i)", index), "(s)"));
        if (!name) {
            return false;
        }
        const gchar* text = nullptr;
        g_variant_get(name.get(), "(&s)", &text);
        if (g_strcmp0(text, kPressActionName) != 0) {
            continue;
        }
        VariantPtr done(call(e.busName, e.path, kActionInterface, "DoAction",
                             g_variant_new("(i)", index), "(b)"));
        if (!done) {
            return false;
        }
        gboolean ok = FALSE;
        g_variant_get(done.get(), "(b)", &ok);
        return ok;
    }
    return false;
}
