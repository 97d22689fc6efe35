#include "platform/linux/webkit_web_view.h"

WebKitWebViewAdapter::WebKitWebViewAdapter(WebKitWebView* view) : view_(view) {
    if (view_ != nullptr) {
        g_object_add_weak_pointer(G_OBJECT(view_), reinterpret_cast<gpointer*>(&view_));
    }
}

WebKitWebViewAdapter::~WebKitWebViewAdapter() {
    if (view_ != nullptr) {
        g_object_remove_weak_pointer(G_OBJECT(view_), reinterpret_cast<gpointer*>(&view_));
    }
}

void WebKitWebViewAdapter::evaluate(std::string script) {
    if (view_ == nullptr) {
        return;
    }
    // No result is asked for: the page's own errors stay in the page.
    webkit_web_view_evaluate_javascript(view_, script.data(), static_cast<gssize>(script.size()),
                                        nullptr, nullptr, nullptr, nullptr, nullptr);
}
