#pragma once

#include "platform/url_opener.h"

// Opens links with the desktop's default handler for their scheme (GIO). Main thread only;
// the launch runs asynchronously and its outcome is not looked at.
class GioUrlOpener final : public UrlOpener {
  public:
    void openUri(const std::string& uri) override;
};
