#include "panel/service/form_encoding.h"

#include <glib.h>

namespace {

bool staysUnescaped(gunichar c) {
    if (c == '-' || c == '.' || c == '_' || c == '~') {
        return true;
    }
    switch (g_unichar_type(c)) {
        case G_UNICODE_LOWERCASE_LETTER:
        case G_UNICODE_MODIFIER_LETTER:
        case G_UNICODE_OTHER_LETTER:
        case G_UNICODE_TITLECASE_LETTER:
        case G_UNICODE_UPPERCASE_LETTER:
        case G_UNICODE_SPACING_MARK:
        case G_UNICODE_ENCLOSING_MARK:
        case G_UNICODE_NON_SPACING_MARK:
        case G_UNICODE_DECIMAL_NUMBER:
        case G_UNICODE_LETTER_NUMBER:
        case G_UNICODE_OTHER_NUMBER:
            return true;
        default:
            return false;
    }
}

}  // namespace

std::string formEncode(std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const char* at = text.data() + i;
        size_t length = 1;
        gunichar c = 0;
        if (*at != '\0') {  // U+0000 is valid text, but GLib's decoder stops at it
            c = g_utf8_get_char_validated(at, static_cast<gssize>(text.size() - i));
            if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2)) {
                return "";
            }
            length = static_cast<size_t>(g_utf8_next_char(at) - at);
        }
        if (staysUnescaped(c)) {
            out.append(at, length);
        } else {
            for (size_t k = 0; k < length; ++k) {
                const auto byte = static_cast<unsigned char>(at[k]);
                out += '%';
                out += kHex[byte >> 4];
                out += kHex[byte & 15];
            }
        }
        i += length;
    }
    return out;
}
