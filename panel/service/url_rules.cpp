#include "panel/service/url_rules.h"

#include <optional>
#include <string>
#include <string_view>

#include "panel/service/service_hosts.h"

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = lower(c);
    }
    return out;
}

bool isLdhHost(std::string_view host) {
    if (host.empty()) {
        return false;
    }
    size_t labelLength = 0;
    for (char c : host) {
        if (c == '.') {
            if (labelLength == 0) {
                return false;
            }
            labelLength = 0;
            continue;
        }
        const bool ldh = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
        if (!ldh) {
            return false;
        }
        ++labelLength;
    }
    return labelLength > 0;  // no empty last label, so no trailing dot either
}

// The host as the text itself writes it: after "https://" and any user information, up to the
// port, path, query or fragment. Nothing when the authority holds characters that parsers
// disagree about.
std::optional<std::string> writtenHost(std::string_view text) {
    constexpr std::string_view kPrefix = "https://";
    if (text.size() < kPrefix.size() || lowered(text.substr(0, kPrefix.size())) != kPrefix) {
        return std::nullopt;
    }
    std::string_view authority = text.substr(kPrefix.size());
    authority = authority.substr(0, authority.find_first_of("/?#"));
    for (char c : authority) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7f || c == '\\') {
            return std::nullopt;
        }
    }
    std::string_view host = authority.substr(authority.rfind('@') + 1);
    host = host.substr(0, host.find(':'));
    if (host.find('%') != std::string_view::npos) {
        return std::nullopt;
    }
    return lowered(host);
}

// The lower-case host of a plainly written https URL (see the header).
std::optional<std::string> plainHttpsHost(const HttpUrl& url) {
    if (url.scheme() != "https") {
        return std::nullopt;
    }
    std::string host = lowered(url.host());
    if (!isLdhHost(host) || writtenHost(url.original()) != host) {
        return std::nullopt;
    }
    return host;
}

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

}  // namespace

bool isAllowedTokenEndpoint(const HttpUrl& url) {
    const auto host = plainHttpsHost(url);
    return host && (*host == service_hosts::kApex || *host == service_hosts::kWww ||
                    *host == service_hosts::kAuth);
}

bool isAllowedUploadUrl(const HttpUrl& url) {
    if (url.hasUser() || url.hasPassword()) {
        return false;
    }
    const auto host = plainHttpsHost(url);
    return host &&
           (*host == service_hosts::kApex || endsWith(*host, service_hosts::kDomainSuffix) ||
            *host == service_hosts::kCloudStorage);
}

bool isAllowedExternalLink(const HttpUrl& url) {
    if (url.hasUser() || url.hasPassword()) {
        return false;
    }
    const auto host = plainHttpsHost(url);
    return host && (*host == service_hosts::kApex || *host == service_hosts::kWww ||
                    *host == service_hosts::kAuth || *host == service_hosts::kCdn);
}

bool isAllowedResultUrl(const HttpUrl& url) {
    if (url.hasUser() || url.hasPassword() || !(url.port().empty() || url.port() == "443")) {
        return false;
    }
    const auto host = plainHttpsHost(url);
    return host && *host == service_hosts::kCdn;
}
