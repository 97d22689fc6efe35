#pragma once

#include <string>

// The panel's web view as the bridge needs it: one way to run script in the page.
// Main thread only. The bridge holds it weakly; an adapter whose view has been destroyed
// ignores every further call, so a late page call can never reach a dead view.
class WebView {
  public:
    virtual ~WebView() = default;
    // Starts evaluating the script in the page's main frame and returns at once; no result is
    // asked for, and errors thrown by the script stay in the page.
    virtual void evaluate(std::string script) = 0;
};
