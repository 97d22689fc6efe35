#include "service/service_settings.h"

#include <string_view>

#include "service/query_text.h"

namespace {

std::optional<int64_t> positive(const char* text) {
    std::optional<int64_t> value = query_text::decimal(text);
    if (!value || *value == 0) {
        return std::nullopt;
    }
    return value;
}

bool parseListen(const std::string& text, ServiceSettings& settings) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) {
        return false;
    }
    std::optional<int64_t> port = positive(text.c_str() + colon + 1);
    if (!port || *port > 65535) {
        return false;
    }
    settings.address = text.substr(0, colon);
    settings.port = static_cast<int>(*port);
    return true;
}

}  // namespace

std::optional<ServiceSettings> parseServiceSettings(int argc, char** argv) {
    ServiceSettings settings;
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (i + 1 >= argc) {
            return std::nullopt;
        }
        const char* value = argv[++i];
        std::optional<int64_t> number = positive(value);
        if (option == "--cert") {
            settings.certificate = value;
        } else if (option == "--key") {
            settings.key = value;
        } else if (option == "--listen") {
            if (!parseListen(value, settings)) {
                return std::nullopt;
            }
        } else if (option == "--record") {
            settings.recordDirectory = value;
        } else if (!number) {
            return std::nullopt;
        } else if (option == "--access-token-lifetime") {
            settings.accessLifetimeSeconds = *number;
        } else if (option == "--upload-url-lifetime") {
            settings.uploadUrlLifetimeSeconds = *number;
        } else if (option == "--upload-limit") {
            settings.uploadLimitBytes = static_cast<uint64_t>(*number);
        } else if (option == "--workers" && *number <= 64) {
            settings.workers = static_cast<unsigned>(*number);
        } else if (option == "--stall-timeout" && *number <= 3600) {
            settings.stallSeconds = static_cast<unsigned>(*number);
        } else {
            return std::nullopt;
        }
    }
    if (settings.certificate.empty() || settings.key.empty()) {
        return std::nullopt;
    }
    return settings;
}
