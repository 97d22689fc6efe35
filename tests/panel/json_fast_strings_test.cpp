#include "panel/bridge/json_fast_strings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string longText(size_t length, char first = 'A') {
    std::string text(length, first);
    for (size_t i = 0; i < length; ++i) {
        text[i] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="[i % 65];
    }
    return text;
}

// The fast parse must agree with the plain one on every text: the same value, or a failure
// for both.
TEST(JsonFastStrings, AgreesWithThePlainParseOnEveryShapeOfLongString) {
    const std::string piece = longText(1 << 20);
    const std::string edge = longText(64 * 1024);
    const std::vector<std::string> texts = {
        R"({"type":"apply-result-chunk","ackId":"a","chunk":")" + piece + "\"}",
        "[\"" + piece + "\",\"" + edge + "\",\"" + longText(64 * 1024 - 1) + "\"]",
        R"({"outer":{"inner":[1,")" + piece + R"(",true]},"n":null})",
        "{\"" + piece + "\":1}",                      // a long key
        "{\"" + piece + "\" \n : \"" + edge + "\"}",  // a long key before white space
        "[\"" + piece + "\\n" + edge + "\"]",         // an escape inside
        "[\"" + piece + "\\\"" + edge + "\"]",        // an escaped quote inside
        "[\"" + piece + "\x01" + edge + "\"]",        // a control character: not JSON
        "[\"" + piece + "\xc3\xa9" + edge + "\"]",    // UTF-8 beyond ASCII
        "[\"" + piece + "\xff" + edge + "\"]",        // not UTF-8: not JSON
        "[\"" + piece,                                // the text ends inside the string
        "[\"" + piece + "\"",                         // the text ends after it
        "[\"" + piece + "\" \"" + edge + "\"]",       // no comma: not JSON
        "\"" + piece + "\"",                          // the string alone
        "[\"" + piece + "\"] trailing",               // text after the value
    };
    for (size_t i = 0; i < texts.size(); ++i) {
        const nlohmann::json fast = parseJsonWithFastStrings(texts[i]);
        const nlohmann::json plain =
            nlohmann::json::parse(texts[i], nullptr, /*allow_exceptions=*/false);
        EXPECT_EQ(fast.is_discarded(), plain.is_discarded()) << "text " << i;
        if (!plain.is_discarded()) {
            EXPECT_TRUE(fast == plain) << "text " << i;
        }
    }
}

TEST(JsonFastStrings, AStringThatLooksLikeAStandInStaysAsSent) {
    const std::string piece = longText(1 << 17);
    const std::string lookalike = "lifted-00000000000000000000000000000000-00000000";
    const std::string text = "[\"" + piece + "\",\"" + lookalike + "\"]";
    const nlohmann::json value = parseJsonWithFastStrings(text);
    ASSERT_TRUE(value.is_array());
    EXPECT_EQ(value[0], piece);
    EXPECT_EQ(value[1], lookalike);
}

}  // namespace
