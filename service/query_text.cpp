#include "service/query_text.h"

#include <glib.h>

#include <memory>

namespace query_text {

namespace {

std::optional<std::string> unescape(std::string text) {
    for (char& c : text) {
        if (c == '+') {
            c = ' ';
        }
    }
    std::unique_ptr<char, decltype(&g_free)> plain(
        g_uri_unescape_segment(text.data(), text.data() + text.size(), nullptr), g_free);
    if (!plain) {
        return std::nullopt;
    }
    return std::string(plain.get());
}

}  // namespace

std::optional<std::map<std::string, std::string>> parse(const std::string& text) {
    std::map<std::string, std::string> parameters;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('&', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string pair = text.substr(start, end - start);
        start = end + 1;
        if (pair.empty()) {
            continue;
        }
        const size_t equals = pair.find('=');
        if (equals == std::string::npos) {
            return std::nullopt;
        }
        std::optional<std::string> name = unescape(pair.substr(0, equals));
        std::optional<std::string> value = unescape(pair.substr(equals + 1));
        if (!name || !value || !parameters.emplace(*name, *value).second) {
            return std::nullopt;
        }
    }
    return parameters;
}

std::optional<int64_t> decimal(const std::string& text) {
    if (text.empty() || text.size() > 18) {
        return std::nullopt;
    }
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

}  // namespace query_text
