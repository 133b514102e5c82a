#include "certs/Der.h"

#include "base/Errors.h"

#include <gtest/gtest.h>

namespace cq {
namespace {

std::string Hex(const std::string& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char byte : bytes) {
        if (!text.empty())
            text += ' ';
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text;
}

TEST(Der, LengthForms) {
    struct Case {
        size_t length;
        const char* hex;
    };
    const Case cases[] = {
        {0, "00"},
        {127, "7f"},
        {128, "81 80"},
        {255, "81 ff"},
        {256, "82 01 00"},
        {65535, "82 ff ff"},
        {65536, "83 01 00 00"},
        {0x01000000, "84 01 00 00 00"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Hex(der::Length(c.length)), c.hex) << c.length;
}

TEST(Der, IntegersKeepTheirWordBytes) {
    struct Case {
        std::string magnitude;
        const char* hex;
    };
    const Case cases[] = {
        {std::string("\x00\x01\x00\x01", 4), "02 04 00 01 00 01"},
        {std::string("\x80", 1), "02 02 00 80"},
        {std::string("\x7f", 1), "02 01 7f"},
        {std::string("\x00\x00\x12\x34", 4), "02 04 00 00 12 34"},
        {std::string(), "02 01 00"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Hex(der::UnsignedInteger(c.magnitude)), c.hex);
    const std::string modulus = "\xc1" + std::string(127, '\x55');
    EXPECT_EQ(Hex(der::UnsignedInteger(modulus).substr(0, 5)), "02 81 81 00 c1");
    EXPECT_EQ(der::UnsignedInteger(modulus).size(), 4u + 128u);
}

TEST(Der, SmallIntegersAreMinimal) {
    EXPECT_EQ(Hex(der::SmallInteger(0)), "02 01 00");
    EXPECT_EQ(Hex(der::SmallInteger(127)), "02 01 7f");
    EXPECT_EQ(Hex(der::SmallInteger(128)), "02 02 00 80");
    EXPECT_EQ(Hex(der::SmallInteger(65537)), "02 03 01 00 01");
}

TEST(Der, ObjectIdentifiers) {
    struct Case {
        const char* dotted;
        const char* hex;
    };
    const Case cases[] = {
        {"1.2.840.113549.1.1.1", "06 09 2a 86 48 86 f7 0d 01 01 01"},
        {"1.2.840.113549.1.9.1", "06 09 2a 86 48 86 f7 0d 01 09 01"},
        {"2.5.4.3", "06 03 55 04 03"},
        {"1.3.14.3.2.26", "06 05 2b 0e 03 02 1a"},
        {"1.2.643.7.1.1.1.1", "06 08 2a 85 03 07 01 01 01 01"},
        {"2.999", "06 02 88 37"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Hex(der::Oid(c.dotted)), c.hex) << c.dotted;
    for (const char* bad : {"", "1", "1.", ".1.2", "1..2", "3.1", "1.40", "1.2.x"})
        EXPECT_THROW(der::Oid(bad), Exception) << bad;
}

TEST(Der, StringsAndWrappers) {
    EXPECT_EQ(Hex(der::PrintableString("")), "13 00");
    EXPECT_EQ(Hex(der::Ia5String("a@b")), "16 03 61 40 62");
    EXPECT_EQ(Hex(der::Utf8String("x")), "0c 01 78");
    EXPECT_EQ(Hex(der::OctetString("\x01")), "04 01 01");
    EXPECT_EQ(Hex(der::BitString("\xff")), "03 02 00 ff");
    EXPECT_EQ(Hex(der::BitString("\xf0", 4)), "03 02 04 f0");
    EXPECT_EQ(Hex(der::Null()), "05 00");
    EXPECT_EQ(Hex(der::ContextConstructed(0, {})), "a0 00");
    EXPECT_EQ(Hex(der::ContextPrimitive(1, "\x05")), "81 01 05");
    EXPECT_EQ(Hex(der::Sequence({der::Null(), der::SmallInteger(1)})), "30 05 05 00 02 01 01");
    EXPECT_EQ(Hex(der::Set({der::Null()})), "31 02 05 00");
}

TEST(Der, LongContentGetsLongLength) {
    const std::string element = der::OctetString(std::string(300, 'x'));
    EXPECT_EQ(Hex(element.substr(0, 4)), "04 82 01 2c");
    EXPECT_EQ(element.size(), 304u);
}

} // namespace
} // namespace cq
