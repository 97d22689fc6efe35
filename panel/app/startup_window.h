#pragma once

#include <memory>
#include <string>
#include <vector>

#include "panel/app/panel_window_place.h"
#include "panel/bridge/lumivo_panel_handler.h"
#include "platform/linux/gtk_panel_window.h"
#include "platform/linux/webkit_web_view.h"

// The panel's GTK window and WebKitGTK view, wired to the handler. Main thread only; kept for
// the life of the process.
struct PanelWindowParts {
    GtkWidget* window = nullptr;
    WebKitWebView* webView = nullptr;
    std::shared_ptr<GtkPanelWindow> windowPort;
    std::shared_ptr<WebKitWebViewAdapter> webViewPort;
};

// Builds the web view with the given user scripts (document start, main frame only, in this
// order) and the "lumivo" channel, and the window around it (not shown yet). The handler
// becomes the channel's receiver, the view's navigation delegate and the window's delegate.
PanelWindowParts createPanelWindow(LumivoPanelHandler& handler,
                                   const std::vector<std::string>& userScripts);

// Shows the window where it was arranged and brings it to the front.
void showPanelWindow(const PanelWindowParts& parts);

// Starts loading the page from text, with the origin of the base URI.
void loadPanelPage(const PanelWindowParts& parts, const std::string& html,
                   const std::string& baseUri);

// The modal alert for a bundle without its page; returns once the user dismisses it.
void showMissingPageAlert();
