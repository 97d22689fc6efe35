#include "panel/bridge/page_origin.h"

#include "panel/service/service_hosts.h"

bool isServiceOrigin(std::string_view origin) {
    constexpr std::string_view kScheme = "https://";
    if (origin.substr(0, kScheme.size()) != kScheme) {
        return false;
    }
    // Browsers write the host lower-cased and leave the default port out, so the whole rest is
    // the host: "https://auth.lumivo.example:443" or any other port is not an origin they made.
    const std::string_view host = origin.substr(kScheme.size());
    return host == service_hosts::kApex || host == service_hosts::kWww ||
           host == service_hosts::kAuth;
}
