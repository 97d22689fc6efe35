#include "panel/app/startup_window.h"

#include <exception>
#include <memory>
#include <optional>

#include "panel/bridge/lanes.h"
#include "panel/bridge/page_scripts.h"
#include "panel/bridge/script_message.h"
#include "platform/linux/webkit_scheme.h"

namespace {

LumivoPanelHandler& handlerOf(gpointer data) {
    return *static_cast<LumivoPanelHandler*>(data);
}

// The bridge's relay posts [origin, is top frame, text] for each message; anything else on the
// channel is not a message.
std::optional<PageMessage> pageMessage(JSCValue* value) {
    if (value == nullptr || !jsc_value_is_array(value)) {
        return std::nullopt;
    }
    auto element = [value](guint index) {
        return std::unique_ptr<JSCValue, decltype(&g_object_unref)>(
            jsc_value_object_get_property_at_index(value, index), g_object_unref);
    };
    auto origin = element(0);
    auto topLevel = element(1);
    auto text = element(2);
    if (!origin || !topLevel || !text || !jsc_value_is_string(origin.get()) ||
        !jsc_value_is_boolean(topLevel.get()) || !jsc_value_is_string(text.get())) {
        return std::nullopt;
    }
    std::unique_ptr<char, decltype(&g_free)> originText(jsc_value_to_string(origin.get()), g_free);
    std::unique_ptr<char, decltype(&g_free)> messageText(jsc_value_to_string(text.get()), g_free);
    if (!originText || !messageText) {
        return std::nullopt;
    }
    return acceptPageMessage(originText.get(), jsc_value_to_boolean(topLevel.get()),
                             messageText.get());
}

// GTK and WebKit callbacks: each forwards to the handler. No exception may unwind into C.

// Returning lets WebKit answer the relay (with undefined): the message has been taken, and the
// relay may send more.
gboolean onScriptMessage(WebKitUserContentManager*, JSCValue* value, WebKitScriptMessageReply*,
                         gpointer data) {
    try {
        if (auto message = pageMessage(value)) {
            handlerOf(data).didReceiveScriptMessage(message->body, message->document);
        }
    } catch (const std::exception&) {
        // A message that can't be handled is dropped, like a malformed one.
    }
    return TRUE;
}

gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                        WebKitPolicyDecisionType type, gpointer data) {
    if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) {
        return FALSE;  // what to do with a response is WebKit's own choice
    }
    if (handlerOf(data).decidePolicyForNavigation()) {
        webkit_policy_decision_use(decision);
    } else {
        webkit_policy_decision_ignore(decision);
    }
    return TRUE;
}

// A failed load leaves the page that is shown in place, as it is: no log, no retry and none of
// the web engine's own error pages, which would replace the panel's page and with it every
// function the application calls.
gboolean onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar*, GError*, gpointer) {
    return TRUE;
}

void onWebProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason, gpointer data) {
    handlerOf(data).webContentProcessDidTerminate();
}

gboolean onWindowDelete(GtkWidget*, GdkEvent*, gpointer data) {
    handlerOf(data).windowWillClose();
}

void onWindowDestroy(GtkWidget*, gpointer data) {
    handlerOf(data).windowWillClose();
}

}  // namespace

PanelWindowParts createPanelWindow(LumivoPanelHandler& handler,
                                   const std::vector<std::string>& userScripts) {
    PanelWindowParts parts;

    // Which frame and origin posted a message is not told by the channel itself, and the
    // page's own world can forge anything it reads there. So the channel lives in a world of
    // the bridge's own, where only the relay runs: it is injected into the top frame alone and
    // reports its document's real origin, and the page's world gets a posting function that
    // hands messages to it. A frame or document of another origin can't post for the service.
    WebKitUserContentManager* content = webkit_user_content_manager_new();
    auto addScript = [content](const std::string& source, const char* world) {
        constexpr auto kFrames = WEBKIT_USER_CONTENT_INJECT_TOP_FRAME;
        constexpr auto kTime = WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START;
        WebKitUserScript* script =
            world != nullptr
                ? webkit_user_script_new_for_world(source.c_str(), kFrames, kTime, world, nullptr,
                                                   nullptr)
                : webkit_user_script_new(source.c_str(), kFrames, kTime, nullptr, nullptr);
        webkit_user_content_manager_add_script(content, script);
        webkit_user_script_unref(script);
    };
    addScript(bridgeRelayScript(), kBridgeWorld);
    addScript(bridgePageScript(), nullptr);
    for (const auto& source : userScripts) {
        addScript(source, nullptr);
    }
    g_signal_connect(content, "script-message-with-reply-received::lumivo",
                     G_CALLBACK(onScriptMessage), &handler);
    webkit_user_content_manager_register_script_message_handler_with_reply(content, "lumivo",
                                                                           kBridgeWorld);

    // The lanes: the page fetches what it shows on a scheme of the panel's own, registered on the
    // view's context before any web process starts.
    registerPanelScheme(webkit_web_context_get_default(), PanelLanes::kScheme,
                        [&handler](std::unique_ptr<SchemeRequest> request) {
                            handler.serveLane(std::move(request));
                        });
    parts.webView = WEBKIT_WEB_VIEW(webkit_web_view_new_with_user_content_manager(content));
    g_object_unref(content);  // the view holds it
    gtk_widget_set_size_request(GTK_WIDGET(parts.webView), 1, 1);
    g_signal_connect(parts.webView, "decide-policy", G_CALLBACK(onDecidePolicy), &handler);
    g_signal_connect(parts.webView, "load-failed", G_CALLBACK(onLoadFailed), nullptr);
    g_signal_connect(parts.webView, "web-process-terminated", G_CALLBACK(onWebProcessTerminated),
                     &handler);
    parts.webViewPort = std::make_shared<WebKitWebViewAdapter>(parts.webView);
    handler.setWebView(parts.webViewPort);

    parts.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(parts.window), "Lumivo");
    gtk_window_set_default_size(GTK_WINDOW(parts.window), kPanelWidth, kPanelHeight);
    gtk_window_set_resizable(GTK_WINDOW(parts.window), TRUE);
    gtk_container_add(GTK_CONTAINER(parts.window), GTK_WIDGET(parts.webView));
    // Closing the window ends the panel before GTK would destroy it.
    g_signal_connect(parts.window, "delete-event", G_CALLBACK(onWindowDelete), &handler);
    g_signal_connect(parts.window, "destroy", G_CALLBACK(onWindowDestroy), &handler);
    parts.windowPort = std::make_shared<GtkPanelWindow>(GTK_WINDOW(parts.window));
    handler.setWindow(parts.windowPort);
    return parts;
}

void showPanelWindow(const PanelWindowParts& parts) {
    parts.windowPort->present();
}

void loadPanelPage(const PanelWindowParts& parts, const std::string& html,
                   const std::string& baseUri) {
    webkit_web_view_load_html(parts.webView, html.c_str(), baseUri.c_str());
}

void showMissingPageAlert() {
    GtkWidget* alert = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_WARNING,
                                              GTK_BUTTONS_OK, "%s", "Lumivo panel missing");
    gtk_message_dialog_format_secondary_text(
        GTK_MESSAGE_DIALOG(alert), "%s",
        "The plugin bundle is incomplete — reinstall the Lumivo plugin.");
    gtk_window_set_title(GTK_WINDOW(alert), "Lumivo");
    gtk_window_set_position(GTK_WINDOW(alert), GTK_WIN_POS_CENTER);
    gtk_dialog_run(GTK_DIALOG(alert));
    gtk_widget_destroy(alert);
}
