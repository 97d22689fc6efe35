#include <curl/curl.h>

#include "platform/http.h"

namespace {

struct CurlFree {
    void operator()(char* text) const { curl_free(text); }
};
using CurlText = std::unique_ptr<char, CurlFree>;

// The part's text, or nothing when the URL has no such part.
std::optional<std::string> part(CURLU* url, CURLUPart which) {
    char* raw = nullptr;
    if (curl_url_get(url, which, &raw, 0) != CURLUE_OK || raw == nullptr) {
        return std::nullopt;
    }
    CurlText text(raw);
    return std::string(text.get());
}

}  // namespace

std::optional<HttpUrl> HttpUrl::parse(std::string_view text) {
    // curl reads a C string: a NUL inside would silently cut the URL short.
    if (text.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    std::shared_ptr<CURLU> handle(curl_url(), [](CURLU* url) { curl_url_cleanup(url); });
    if (!handle) {
        return std::nullopt;
    }
    const std::string owned(text);
    // No default scheme, no guessing, no unsupported schemes, no white space.
    if (curl_url_set(handle.get(), CURLUPART_URL, owned.c_str(), 0) != CURLUE_OK) {
        return std::nullopt;
    }
    auto scheme = part(handle.get(), CURLUPART_SCHEME);
    auto normalised = part(handle.get(), CURLUPART_URL);
    if (!scheme || !normalised) {
        return std::nullopt;
    }
    HttpUrl url;
    url.scheme_ = std::move(*scheme);
    for (char& c : url.scheme_) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    url.host_ = part(handle.get(), CURLUPART_HOST).value_or("");
    url.port_ = part(handle.get(), CURLUPART_PORT).value_or("");
    url.hasUser_ = part(handle.get(), CURLUPART_USER).has_value();
    url.hasPassword_ = part(handle.get(), CURLUPART_PASSWORD).has_value();
    url.text_ = std::move(*normalised);
    url.original_ = owned;
    url.native_ = std::shared_ptr<const void>(handle, handle.get());
    return url;
}
