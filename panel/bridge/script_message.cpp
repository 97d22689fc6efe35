#include "panel/bridge/script_message.h"

#include "panel/bridge/json_fast_strings.h"
#include "panel/bridge/page_origin.h"

namespace {

bool nestsTooDeep(std::string_view text) {
    int depth = 0;
    bool inString = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (inString) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kMaxScriptMessageDepth) {
                return true;
            }
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return false;
}

}  // namespace

std::optional<nlohmann::json> parseScriptMessage(std::string_view jsonText) {
    if (nestsTooDeep(jsonText)) {
        return std::nullopt;
    }
    nlohmann::json value = parseJsonWithFastStrings(jsonText);
    if (value.is_discarded()) {
        return std::nullopt;
    }
    return value;
}

namespace {

// 128 random bits in lower-case hexadecimal, as the bridge's page script makes them.
bool isDocumentToken(const nlohmann::json& value) {
    if (!value.is_string()) {
        return false;
    }
    const auto& text = value.get_ref<const std::string&>();
    return text.size() == 32 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

}  // namespace

std::optional<PageMessage> acceptPageMessage(std::string_view origin, bool topLevel,
                                             std::string_view text) {
    if (!topLevel || !isServiceOrigin(origin)) {
        return std::nullopt;
    }
    std::optional<nlohmann::json> sent = parseScriptMessage(text);
    if (!sent || !sent->is_array() || sent->size() != 2 || !isDocumentToken((*sent)[0]) ||
        !(*sent)[1].is_object()) {
        return std::nullopt;
    }
    return PageMessage{(*sent)[0].get<std::string>(), std::move((*sent)[1])};
}
