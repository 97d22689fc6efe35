#pragma once

#include <webkit2/webkit2.h>

#include "platform/web_view.h"

// WebView over a WebKitGTK view. Main thread only. Holds the view weakly: once GTK has
// destroyed it, evaluate() does nothing.
class WebKitWebViewAdapter final : public WebView {
  public:
    explicit WebKitWebViewAdapter(WebKitWebView* view);
    ~WebKitWebViewAdapter() override;
    WebKitWebViewAdapter(const WebKitWebViewAdapter&) = delete;
    WebKitWebViewAdapter& operator=(const WebKitWebViewAdapter&) = delete;

    void evaluate(std::string script) override;

  private:
    WebKitWebView* view_;
};
