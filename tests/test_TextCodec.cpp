#include "base/StringUtil.h"
#include "base/TextCodec.h"

#include <gtest/gtest.h>

namespace {

TEST(TextCodec, EveryWindows1251ByteRoundTrips) {
    for (int byte = 0; byte < 256; ++byte) {
        if (byte == 0x98) // the one byte Windows-1251 leaves unassigned
            continue;
        const std::string single(1, static_cast<char>(byte));
        EXPECT_EQ(cq::ToCp1251(cq::FromCp1251(single)), single) << byte;
    }
}

TEST(TextCodec, KnownLettersAndUnmappableCharacters) {
    EXPECT_EQ(cq::ToCp1251("АЯаяЁё№"), "\xC0\xDF\xE0\xFF\xA8\xB8\xB9");
    EXPECT_EQ(cq::FromCp1251("\xC0\xDF\xE0\xFF\xA8\xB8\xB9"), "АЯаяЁё№");
    EXPECT_EQ(cq::ToCp1251("a€b"), "a\x88"
                                   "b");
    EXPECT_EQ(cq::ToCp1251("日本"), "??");
    EXPECT_EQ(cq::ToCp1251("\xD0"), "?"); // a cut sequence
    EXPECT_EQ(cq::ToCp1251("\xD0"
                           "A"),
              "?A"); // a lead byte without its continuation
}

TEST(TextCodec, LineEndsBecomeCrLf) {
    EXPECT_EQ(cq::ToCrLf("a\nb\r\nc\rd"), "a\r\nb\r\nc\r\nd");
}

// Malformed UTF-8 becomes "?" byte by byte, never the letter an overlong form would spell.
TEST(TextCodec, MalformedUtf8NeverDecodesIntoALetter) {
    struct Case {
        std::string utf8;
        std::string cp1251;
    };
    const Case cases[] = {
        {"\xC1\xA1", "??"},      // "a" in two bytes
        {"\xC0\x80", "??"},      // NUL in two bytes
        {"\xE0\x90\xB0", "???"}, // "А" in three bytes
        {"\xF0\x80\x90\xB0", "????"},
        {"\xED\xA0\x80x", "???x"},    // a surrogate
        {"\xF4\x90\x80\x80", "????"}, // past U+10FFFF
        {"\xF8\x80\x81\xA1", "????"},
        {"\xFF", "?"},
        {"\xD0\x90\xD1\x8F", "\xC0\xFF"}, // well-formed "Ая" still converts
        {"\xF0\x9F\x98\x80", "?"},        // a well-formed character Windows-1251 lacks
    };
    for (const Case& c : cases)
        EXPECT_EQ(cq::ToCp1251(c.utf8), c.cp1251) << cq::UpperHex(c.utf8);
}

// The edges of every well-formed range still decode, each to its code point in one step.
TEST(TextCodec, WellFormedEdgesDecode) {
    struct Case {
        std::string utf8;
        char32_t codePoint;
    };
    const Case cases[] = {
        {"\x7F", 0x7F},
        {"\xC2\x80", 0x80},
        {"\xDF\xBF", 0x7FF},
        {"\xE0\xA0\x80", 0x800},
        {"\xED\x9F\xBF", 0xD7FF},
        {"\xEE\x80\x80", 0xE000},
        {"\xEF\xBF\xBF", 0xFFFF},
        {"\xF0\x90\x80\x80", 0x10000},
        {"\xF4\x8F\xBF\xBF", 0x10FFFF},
    };
    for (const Case& c : cases) {
        size_t pos = 0;
        EXPECT_EQ(cq::DecodeUtf8(c.utf8, pos), c.codePoint) << cq::UpperHex(c.utf8);
        EXPECT_EQ(pos, c.utf8.size()) << cq::UpperHex(c.utf8);
    }
    size_t pos = 0;
    EXPECT_EQ(cq::DecodeUtf8("\xC1\xA1", pos), cq::kMalformedUtf8);
    EXPECT_EQ(pos, 1u); // one byte at a time, so the next decode starts right after it
}

} // namespace
