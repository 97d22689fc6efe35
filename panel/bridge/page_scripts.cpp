#include "panel/bridge/page_scripts.h"

#include <cmath>
#include <cstring>
#include <string_view>

#include "panel/service/service_hosts.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

using nlohmann::json;

const char* arrivalName(FrameArrival arrival) {
    switch (arrival) {
        case FrameArrival::kApplied:
            return "applied";
        case FrameArrival::kResult:
            return "result";
        case FrameArrival::kHandedOff:
            break;
    }
    return "handed-off";
}

void appendJson(std::string& out, const json& value);

// "window.__lumivoFilterInfo = { width: W, height: H, editor: "...", arrival: "..." };"
std::string filterInfoScript(const FrameInfo& info) {
    std::string out = "window.__lumivoFilterInfo = { width: " + std::to_string(info.width) +
                      ", height: " + std::to_string(info.height) + ", editor: ";
    appendJson(out, json(info.editor));
    out += ", arrival: \"";
    out += arrivalName(info.arrival);
    out += "\" };";
    return out;
}

// Base64 pieces and most ack ids are plain printable ASCII; they are quoted without a pass
// through the JSON writer. The test runs sixteen or eight bytes at a time (exact, not a
// heuristic), which keeps the page call of a 4 MiB piece under a millisecond.
constexpr uint64_t kOnes = 0x0101010101010101ULL;
constexpr uint64_t kHighBits = 0x8080808080808080ULL;

constexpr uint64_t anyByteZero(uint64_t v) {
    return (v - kOnes) & ~v & kHighBits;
}
constexpr uint64_t anyByteBelow(uint64_t v, uint8_t n) {
    return (v - kOnes * n) & ~v & kHighBits;
}
constexpr uint64_t anyByteAbove(uint64_t v, uint8_t n) {
    return ((v + kOnes * (127 - n)) | v) & kHighBits;
}

bool plainByte(unsigned char c) {
    return c >= 0x20 && c < 0x7f && c != '"' && c != '\\';
}

bool needsNoEscaping(std::string_view text) {
    const char* p = text.data();
    size_t n = text.size();
    size_t i = 0;
#ifdef __SSE2__
    // Sixteen bytes at a time; as signed bytes, everything from 0x80 up is below 0x20.
    __m128i flags16 = _mm_setzero_si128();
    const __m128i space = _mm_set1_epi8(0x20);
    const __m128i tilde = _mm_set1_epi8(0x7e);
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    for (; i + 16 <= n; i += 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        flags16 = _mm_or_si128(
            flags16,
            _mm_or_si128(_mm_or_si128(_mm_cmplt_epi8(v, space), _mm_cmpgt_epi8(v, tilde)),
                         _mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, backslash))));
    }
    if (_mm_movemask_epi8(flags16) != 0) {
        return false;
    }
#endif
    uint64_t flags = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t v;
        std::memcpy(&v, p + i, 8);
        flags |= anyByteBelow(v, 0x20) | anyByteAbove(v, 0x7e) | anyByteZero(v ^ (kOnes * '"')) |
                 anyByteZero(v ^ (kOnes * '\\'));
    }
    if (flags != 0) {
        return false;
    }
    for (; i < n; ++i) {
        if (!plainByte(static_cast<unsigned char>(p[i]))) {
            return false;
        }
    }
    return true;
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

std::string editorOfSpoolDirectory(const std::string& spoolDirectory) {
    std::string_view path(spoolDirectory);
    while (path.size() > 1 && path.back() == '/') {
        path.remove_suffix(1);
    }
    const size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string startupUserScript(const FrameInfo& info) {
    return filterInfoScript(info) +
           "window.addEventListener('error', (e) => {"
           "  window.webkit.messageHandlers.lumivo.postMessage("
           "    { type: 'debug-log', message: 'error: ' + e.message + ' @' + e.filename + ':' + "
           "e.lineno });"
           "});"
           "window.addEventListener('unhandledrejection', (e) => {"
           "  window.webkit.messageHandlers.lumivo.postMessage("
           "    { type: 'debug-log', message: 'rejection: ' + String(e.reason) });"
           "});";
}

std::string frameChangeScript(const FrameInfo& info) {
    return filterInfoScript(info) + "window.__lumivoFrameChanged && window.__lumivoFrameChanged();";
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
    std::string script;
    appendPageCall(script, name, arguments);
    return script;
}

void appendPageCall(std::string& out, const std::string& name, const json& arguments,
                    const json* firstArgument) {
    size_t estimate = 2 * name.size() + 32;
    if (arguments.is_array()) {
        for (const auto& argument : arguments) {
            estimate +=
                argument.is_string() ? argument.get_ref<const std::string&>().size() + 3 : 16;
        }
    }
    out.reserve(out.size() + estimate);
    out += "window.";
    out += name;
    out += " && window.";
    out += name;
    out += '(';
    if (arguments.is_array()) {
        bool first = true;
        for (const auto& argument : arguments) {
            if (!first) {
                out += ',';
            }
            appendScriptArgument(out,
                                 first && firstArgument != nullptr ? *firstArgument : argument);
            first = false;
        }
    }
    out += ')';
}

std::string bridgePageScript() {
    // What the page may replace later (dispatchEvent, CustomEvent, JSON) is taken now, before
    // any script of the page has run.
    return "(() => {"
           "  const bytes = new Uint8Array(16);"
           "  crypto.getRandomValues(bytes);"
           "  const token = Array.from(bytes, (b) => b.toString(16).padStart(2, '0')).join('');"
           "  Object.defineProperty(window, '__lumivoDocument', { value: token });"
           "  const dispatch = EventTarget.prototype.dispatchEvent.bind(window);"
           "  const Message = CustomEvent;"
           "  const stringify = JSON.stringify;"
           "  const postMessage = (message) => dispatch(new Message('lumivo-bridge-message',"
           "    { detail: stringify([token, message]) }));"
           "  const lumivo = Object.freeze({ postMessage });"
           "  Object.defineProperty(window, 'webkit',"
           "    { value: Object.freeze({ messageHandlers: Object.freeze({ lumivo }) }) });"
           "})();";
}

std::string bridgeRelayScript() {
    // The application answers each message once it has taken it; the page may post far faster
    // than that. What waits, waits here, in the page's own process: no more than
    // kRelayCharactersInFlight characters are on their way to the application at once (a single
    // message always may be), so a flood can't pile up in the application's process.
    return "(() => {"
           "  const channel = window.webkit.messageHandlers.lumivo;"
           "  const waiting = [];"
           "  let inFlight = 0;"
           "  const pump = () => {"
           "    while (waiting.length > 0 && (inFlight === 0 ||"
           "        inFlight + waiting[0][2].length <= " +
           std::to_string(kRelayCharactersInFlight) +
           ")) {"
           "      const message = waiting.shift();"
           "      const size = message[2].length;"
           "      inFlight += size;"
           "      const taken = () => { inFlight -= size; pump(); };"
           "      channel.postMessage(message).then(taken, taken);"
           "    }"
           "  };"
           "  window.addEventListener('lumivo-bridge-message', (event) => {"
           "    if (typeof event.detail === 'string') {"
           "      waiting.push([window.location.origin, window.top === window, event.detail]);"
           "      pump();"
           "    }"
           "  });"
           "})();";
}

void openDocumentGuard(std::string& out, const std::string* documentToken) {
    // location and its members can't be redefined by a page, and a document can't know the
    // random token of another.
    out += "if (window.location.protocol === \"https:\" && (";
    bool first = true;
    for (const char* host : {service_hosts::kApex, service_hosts::kWww, service_hosts::kAuth}) {
        out += first ? "" : " || ";
        out += "window.location.hostname === \"";
        out += host;
        out += '"';
        first = false;
    }
    out += ") && window.location.port === \"\"";
    if (documentToken != nullptr) {
        out += " && window.__lumivoDocument === ";
        appendScriptArgument(out, json(*documentToken));
    }
    out += ") {";
}

void closeDocumentGuard(std::string& out) {
    out += '}';
}
