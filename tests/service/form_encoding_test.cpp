#include <gtest/gtest.h>

#include <string>

#include "panel/service/form_encoding.h"

TEST(FormEncoding, EscapesAllButLettersMarksNumbersAndFourMarks) {
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"a b+c/d=", "a%20b%2Bc%2Fd%3D"},
        {"AZaz09-._~", "AZaz09-._~"},
        {"&%?#!*'()", "%26%25%3F%23%21%2A%27%28%29"},
        {"\xc3\xa9", "\xc3\xa9"},              // é, a letter
        {"e\xcc\x81", "e\xcc\x81"},            // e + combining acute (a mark)
        {"\xd9\xa3", "\xd9\xa3"},              // Arabic-Indic digit three
        {"\xc2\xbd", "\xc2\xbd"},              // ½, another number
        {"\xe2\x82\xac", "%E2%82%AC"},         // €, a symbol
        {"\xf0\x9f\x98\x80", "%F0%9F%98%80"},  // an emoji
        {"\xc2\xa0", "%C2%A0"},                // no-break space
        {std::string("a\0b", 3), "a%00b"},
        {"", ""},
        {"\xff", ""},          // not UTF-8
        {"ok\xc3", ""},        // cut short
        {"\xed\xa0\x80", ""},  // an encoded surrogate
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(formEncode(c.in), c.out);
    }
}
