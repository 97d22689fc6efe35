#include "panel/bridge/page_origin.h"

#include "panel/service/service_hosts.h"

bool isServiceOrigin(std::string_view origin) {
    constexpr std::string_view kScheme = "https://";
    if (origin.substr(0, kScheme.size()) != kScheme) {
        return false;
    }
    std::string_view host = origin.substr(kScheme.size());
    const size_t colon = host.find(':');
    if (colon != std::string_view::npos) {
        const std::string_view port = host.substr(colon + 1);
        if (port.empty() || port.size() > 5 ||
            port.find_first_not_of("0123456789") != std::string_view::npos) {
            return false;
        }
        host = host.substr(0, colon);
    }
    // Browsers write the host lower-cased; anything else is not an origin they made.
    return host == service_hosts::kApex || host == service_hosts::kWww ||
           host == service_hosts::kAuth;
}
