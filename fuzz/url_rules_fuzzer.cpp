// Feeds arbitrary text to the URL parser, the four host rules and the form encoding, and checks
// what must hold for anything they accept.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "panel/service/form_encoding.h"
#include "panel/service/service_hosts.h"
#include "panel/service/url_rules.h"

namespace {

void require(bool holds) {
    if (!holds) {
        std::abort();
    }
}

std::string lowered(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

bool isServiceHost(const std::string& host) {
    const std::string suffix = service_hosts::kDomainSuffix;
    return host == service_hosts::kApex || host == service_hosts::kCloudStorage ||
           (host.size() > suffix.size() &&
            host.compare(host.size() - suffix.size(), suffix.size(), suffix) == 0);
}

// An accepted URL names a service host, and the text handed on parses to the same host again.
void checkAccepted(const HttpUrl& url, bool userAllowed) {
    require(url.scheme() == "https");
    require(isServiceHost(lowered(url.host())));
    require(userAllowed || (!url.hasUser() && !url.hasPassword()));
    const auto again = HttpUrl::parse(url.text());
    require(again && lowered(again->host()) == lowered(url.host()));
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// The encoding only ever holds unreserved bytes and upper-case escapes, and decodes back.
void checkEncoding(std::string_view text) {
    const std::string encoded = formEncode(text);
    if (encoded.empty()) {
        return;  // empty input, or not UTF-8
    }
    std::string decoded;
    for (size_t i = 0; i < encoded.size(); ++i) {
        const char c = encoded[i];
        require(c != '&' && c != '=' && c != '+' && c != ' ' && c != '#');
        if (c == '%') {
            require(i + 2 < encoded.size());
            const int high = hexValue(encoded[i + 1]);
            const int low = hexValue(encoded[i + 2]);
            require(high >= 0 && low >= 0);
            decoded += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            decoded += c;
        }
    }
    require(decoded == text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto url = HttpUrl::parse(text)) {
        if (isAllowedTokenEndpoint(*url)) {
            checkAccepted(*url, /*userAllowed=*/true);
        }
        if (isAllowedUploadUrl(*url)) {
            checkAccepted(*url, /*userAllowed=*/false);
        }
        if (isAllowedExternalLink(*url)) {
            checkAccepted(*url, /*userAllowed=*/false);
        }
        // A result is fetched from the CDN host itself, on the default port, and nowhere else.
        if (isAllowedResultUrl(*url)) {
            checkAccepted(*url, /*userAllowed=*/false);
            require(lowered(url->host()) == service_hosts::kCdn);
            const auto again = HttpUrl::parse(url->text());
            require(again && (again->port().empty() || again->port() == "443"));
        }
    }
    checkEncoding(text);
    return 0;
}
