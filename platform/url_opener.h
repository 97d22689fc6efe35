#pragma once

#include <string>

// Hands a link to the desktop, which opens it with the user's default application for its
// scheme. Main thread only; returns without waiting for the application, and a failure to
// open is not reported.
class UrlOpener {
  public:
    virtual ~UrlOpener() = default;
    virtual void openUri(const std::string& uri) = 0;
};
