#include "transport/UrlEscape.h"

#include <gtest/gtest.h>

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

TEST(UrlEscapeTest, NulByteAndEveryByteRoundTrip) {
    EXPECT_EQ(cq::EscapeBytes(std::string("a\0b", 3)), "a%00b");
    std::string all;
    for (int byte = 0; byte < 256; ++byte)
        all += static_cast<char>(byte);
    const std::string escaped = cq::EscapeBytes(all);
    EXPECT_EQ(escaped.find_first_of(" *#<>+[]\r\n"), std::string::npos);
    EXPECT_EQ(cq::UnescapeBytes(escaped), all);
}

TEST(UrlEscapeTest, UnescapeKeepsPercentSignsThatStartNoByte) {
    EXPECT_EQ(cq::UnescapeBytes("%41%4a%zz%4"), "AJ%zz%4");
    EXPECT_EQ(cq::UnescapeBytes("100%"), "100%");
}

} // namespace
