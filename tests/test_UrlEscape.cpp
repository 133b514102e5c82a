#include "transport/UrlEscape.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

TEST(UrlEscapeTest, EscapesTheSetControlAndHighBytesOnly) {
    struct Case {
        std::string text; // UTF-8
        std::string escaped;
    };
    const Case cases[] = {
        {"a b+c%d", "a%20b%2Bc%25d"},
        {"line\r\n", "line%0D%0A"},
        {"https://host:8443/requp/?cert=x&y=1", "https://host:8443/requp/?cert=x&y=1"},
        {"*#<>[]", "%2A%23%3C%3E%5B%5D"},
        {"%20", "%2520"},
        {"\xD0\x90", "%C0"},                                  // Cyrillic A, byte 0xC0
        {"\xD0\xAF\xD1\x89\xD0\xB8\xD0\xBA", "%DF%F9%E8%EA"}, // four Cyrillic letters
        {"\x01\x1f\x7f", "%01%1F\x7f"},
        {"~!$'(),;@^`{|}\\\"", "~!$'(),;@^`{|}\\\""},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(cq::EscapeUrl(c.text), c.escaped) << c.text;
}

// Every byte is either copied or written as "%" and its two upper-case hexadecimal digits, so the
// server gets each byte back exactly.
TEST(UrlEscapeTest, EveryByteIsCopiedOrWrittenInHex) {
    EXPECT_EQ(cq::EscapeBytes(std::string("a\0b", 3)), "a%00b");
    for (int byte = 0; byte < 256; ++byte) {
        const std::string one(1, static_cast<char>(byte));
        const std::string escaped = cq::EscapeBytes(one);
        char hex[4];
        std::snprintf(hex, sizeof hex, "%%%02X", byte);
        EXPECT_TRUE(escaped == one || escaped == hex) << byte << " -> " << escaped;
        EXPECT_EQ(escaped.find_first_of(" *#<>+[]\r\n"), std::string::npos) << byte;
    }
}

} // namespace
