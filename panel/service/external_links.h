#pragma once

#include <nlohmann/json.hpp>

#include "platform/url_opener.h"

// Opens links to the service's own hosts in the browser; everything else is dropped without a
// word. Main thread only.
class ExternalLinks {
  public:
    explicit ExternalLinks(UrlOpener& opener) : opener_(opener) {}

    void handleOpenExternal(const nlohmann::json& url);

  private:
    UrlOpener& opener_;
};
