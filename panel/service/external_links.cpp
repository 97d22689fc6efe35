#include "panel/service/external_links.h"

#include "panel/service/url_rules.h"

void ExternalLinks::handleOpenExternal(const nlohmann::json& url) {
    if (!url.is_string()) {
        return;
    }
    const auto parsed = HttpUrl::parse(url.get_ref<const std::string&>());
    if (!parsed || !isAllowedExternalLink(*parsed)) {
        return;
    }
    // The URL as parsed, so the browser is handed what the rule judged.
    opener_.openUri(parsed->text());
}
