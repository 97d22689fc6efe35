#include "panel/bridge/json_fast_strings.h"

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

// Strings this long are taken out of the text before it is parsed and put back afterwards.
constexpr size_t kLongString = 64 * 1024;

// Printable ASCII other than '"' and '\\': a string of only these is its text exactly, and is
// valid JSON wherever a string may stand.
bool isPlain(const char* begin, const char* end) {
    bool plain = true;
    for (const char* p = begin; p < end; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        plain &= c >= 0x20 && c < 0x7f && c != '\\';
    }
    return plain;
}

// The end of the string whose opening quote is at `open` (the index of its closing quote), or
// npos when the text ends first.
size_t stringEnd(std::string_view text, size_t open) {
    for (size_t i = open + 1; i < text.size(); ++i) {
        if (text[i] == '\\') {
            ++i;
        } else if (text[i] == '"') {
            return i;
        }
    }
    return std::string_view::npos;
}

bool isKey(std::string_view text, size_t close) {
    size_t next = text.find_first_not_of(" \t\r\n", close + 1);
    return next != std::string_view::npos && text[next] == ':';
}

// Each lifted string stands in the text as "<marker><index, 8 digits>", the marker holding 128
// random bits made for this one parse, so no text a page sends can name a lifted string.
struct Lifted {
    std::string marker;
    std::vector<std::string_view> strings;

    bool restore(nlohmann::json& value) const {
        if (value.is_structured()) {
            for (auto& element : value) {
                if (!restore(element)) {
                    return false;
                }
            }
            return true;
        }
        if (!value.is_string()) {
            return true;
        }
        const auto& text = value.get_ref<const std::string&>();
        if (text.size() != marker.size() + 8 || text.compare(0, marker.size(), marker) != 0) {
            return true;
        }
        size_t index = 0;
        for (size_t i = marker.size(); i < text.size(); ++i) {
            if (text[i] < '0' || text[i] > '9') {
                return false;
            }
            index = index * 10 + static_cast<size_t>(text[i] - '0');
        }
        if (index >= strings.size()) {
            return false;
        }
        value = std::string(strings[index]);
        return true;
    }
};

// Empty when the system has no randomness to give; nothing is lifted then.
std::string randomMarker() {
    try {
        std::random_device device;
        char marker[48];
        std::snprintf(marker, sizeof marker, "lifted-%08x%08x%08x%08x-", device(), device(),
                      device(), device());
        return marker;
    } catch (const std::exception&) {
        return {};
    }
}

}  // namespace

nlohmann::json parseJsonWithFastStrings(std::string_view text) {
    std::string shortened;
    Lifted lifted;
    size_t copied = 0;
    for (size_t i = text.find('"'); i != std::string_view::npos;) {
        const size_t close = stringEnd(text, i);
        if (close == std::string_view::npos) {
            break;
        }
        const size_t length = close - i - 1;
        if (length >= kLongString && isPlain(text.data() + i + 1, text.data() + close) &&
            !isKey(text, close)) {
            if (lifted.marker.empty() && (lifted.marker = randomMarker()).empty()) {
                break;
            }
            char index[9];
            std::snprintf(index, sizeof index, "%08zu", lifted.strings.size());
            shortened.append(text.substr(copied, i + 1 - copied));
            shortened.append(lifted.marker).append(index);
            copied = close;
            lifted.strings.push_back(text.substr(i + 1, length));
        }
        i = text.find('"', close + 1);
    }
    if (lifted.strings.empty()) {
        // Nothing lifted, or no marker could be made: the plain parse.
        return nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
    }
    shortened.append(text.substr(copied));
    nlohmann::json value = nlohmann::json::parse(shortened, nullptr, /*allow_exceptions=*/false);
    if (!value.is_discarded() && !lifted.restore(value)) {
        return nlohmann::json(nlohmann::json::value_t::discarded);
    }
    return value;
}
