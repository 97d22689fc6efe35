#include "panel/bridge/page_scripts.h"

#include <cmath>
#include <cstdio>
#include <string_view>

namespace {

using nlohmann::json;

std::string formatSize(const char* format, uint32_t width, uint32_t height) {
    int length = std::snprintf(nullptr, 0, format, width, height);
    std::string out(static_cast<size_t>(length), '\0');
    std::snprintf(out.data(), out.size() + 1, format, width, height);
    return out;
}

// Base64 pieces and most ack ids are plain printable ASCII; they are quoted without a pass
// through the JSON writer, which keeps a 4 MiB piece well under a millisecond.
bool needsNoEscaping(std::string_view text) {
    unsigned char bad = 0;
    for (unsigned char c : text) {
        // Flags control characters, non-ASCII (0x7f and up), '"' and '\\'.
        bad |= static_cast<unsigned char>((c < 0x20) | (c >= 0x7f) | (c == '"') | (c == '\\'));
    }
    return bad == 0;
}

// The JSON writer leaves U+2028 and U+2029 raw; they only ever occur inside string literals.
void appendEscapingLineSeparators(std::string& out, const std::string& jsonText) {
    size_t start = 0;
    for (size_t i = 0; i + 2 < jsonText.size(); ++i) {
        if (static_cast<unsigned char>(jsonText[i]) == 0xE2 &&
            static_cast<unsigned char>(jsonText[i + 1]) == 0x80 &&
            (static_cast<unsigned char>(jsonText[i + 2]) == 0xA8 ||
             static_cast<unsigned char>(jsonText[i + 2]) == 0xA9)) {
            out.append(jsonText, start, i - start);
            out += static_cast<unsigned char>(jsonText[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";
            i += 2;
            start = i + 1;
        }
    }
    out.append(jsonText, start, std::string::npos);
}

void appendJson(std::string& out, const json& value) {
    // Invalid UTF-8 is replaced rather than thrown on.
    appendEscapingLineSeparators(out, value.dump(-1, ' ', false, json::error_handler_t::replace));
}

}  // namespace

std::string startupUserScript(uint32_t width, uint32_t height) {
    return formatSize(
        "window.__lumivoFilterInfo = { width: %u, height: %u };"
        "window.addEventListener('error', (e) => {"
        "  window.webkit.messageHandlers.lumivo.postMessage("
        "    { type: 'debug-log', message: 'error: ' + e.message + ' @' + e.filename + ':' + "
        "e.lineno });"
        "});"
        "window.addEventListener('unhandledrejection', (e) => {"
        "  window.webkit.messageHandlers.lumivo.postMessage("
        "    { type: 'debug-log', message: 'rejection: ' + String(e.reason) });"
        "});",
        width, height);
}

std::string frameChangeScript(uint32_t width, uint32_t height) {
    return formatSize(
        "window.__lumivoFilterInfo = { width: %u, height: %u };"
        "window.__lumivoFrameChanged && window.__lumivoFrameChanged();",
        width, height);
}

void appendScriptArgument(std::string& out, const json& value) {
    switch (value.type()) {
        case json::value_t::boolean:
            out += value.get<bool>() ? "true" : "false";
            return;
        case json::value_t::number_integer:
            out += std::to_string(value.get<int64_t>());
            return;
        case json::value_t::number_unsigned:
            out += std::to_string(value.get<uint64_t>());
            return;
        case json::value_t::number_float: {
            double number = value.get<double>();
            if (!std::isfinite(number)) {
                out += "null";  // what the JSON writer makes of it, and a value the page can read
            } else if (number == std::trunc(number) && std::fabs(number) < 1e15) {
                out += std::to_string(static_cast<int64_t>(number));
            } else {
                appendJson(out, value);
            }
            return;
        }
        case json::value_t::string: {
            const auto& text = value.get_ref<const std::string&>();
            if (needsNoEscaping(text)) {
                out += '"';
                out += text;
                out += '"';
            } else {
                appendJson(out, value);
            }
            return;
        }
        default:
            appendJson(out, value);
            return;
    }
}

std::string pageCallScript(const std::string& name, const json& arguments) {
    size_t estimate = 2 * name.size() + 32;
    if (arguments.is_array()) {
        for (const auto& argument : arguments) {
            estimate +=
                argument.is_string() ? argument.get_ref<const std::string&>().size() + 3 : 16;
        }
    }
    std::string script;
    script.reserve(estimate);
    script += "window.";
    script += name;
    script += " && window.";
    script += name;
    script += '(';
    if (arguments.is_array()) {
        bool first = true;
        for (const auto& argument : arguments) {
            if (!first) {
                script += ',';
            }
            first = false;
            appendScriptArgument(script, argument);
        }
    }
    script += ')';
    return script;
}
