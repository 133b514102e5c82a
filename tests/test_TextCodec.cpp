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

} // namespace
