#include "base/Errors.h"
#include "settings/Scramble.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

using cq::ScramblePassword;
using cq::UnscramblePassword;

std::string Hex(const std::vector<uint8_t>& bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (uint8_t byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

std::vector<uint8_t> Bytes(const std::string& hex) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

// Filler that counts up from `first`, wrapping at 256.
std::function<uint8_t()> Counter(uint8_t first) {
    return [next = first]() mutable {
        return next++;
    };
}

// The expected blocks were worked out from the rules, not by running the scrambler:
// "abc", filler all 0x00: length 3 puts 0x22 into byte 1 (bits 5 and 1) and nothing into bytes 0
// and 2; the counters start at A = 0x02, D = 0x20; odd bytes get A - 1, A - 2, ... (0x01, 0x00,
// 0xFF, ...), even bytes D + 1, D + 2, ... (0x21, 0x22, ...); the text sits at bytes 21..23:
// 'a' ^ 0xF8 = 0x99, 'b' ^ 0x2A = 0x48, 'c' ^ 0xF7 = 0x94.
// 29 Windows-1251 characters over a filler counting from 0xF0: bytes 0..2 lose bits 5 and 1 to
// the masks (0xF0 & 0xDD = 0xD0, ...) and take the length bits 11101: 0xF2, 0xD3, 0xF2; the
// counters then start at A = 0xFD, D = 0x32; the text begins at byte 3 + (39 - 29) / 2 = 8.
// The empty text over a filler of 0x5A: all length bits clear, 0x58 0x58 0x58.
struct Vector {
    const char* text;
    uint8_t fillerStart;
    bool counting;
    const char* expected;
};

const Vector kVectors[] = {
    {"abc", 0x00, false,
     "00220001210022FF23FE24FD25FC26FB27FA28F9299948942BF62CF52DF42EF32FF230F131F032EF33EE"},
    {"Пароль для прокси 2026 года!!", 0xF0, true,
     "F2D3F20FC70EC20DFA19C616DC0B1812D20A1A1BCB1DD603D5D10CC00DD9600DAF09A2CD62FE52FD5DF0"},
    {"", 0x5A, false,
     "5858580ED309D008D10BD60AD715D414D517CA16CB11C810C913CE12CF1DCC1CCD1FC21EC319C018C11B"},
};

TEST(Scramble, FixedFillerGivesTheBlockWorkedOutByHandAndReadsBack) {
    for (const Vector& v : kVectors) {
        const auto filler = v.counting ? Counter(v.fillerStart)
                                       : std::function<uint8_t()>([&] { return v.fillerStart; });
        const std::vector<uint8_t> block = ScramblePassword(v.text, filler);
        EXPECT_EQ(Hex(block), v.expected) << v.text;
        EXPECT_EQ(UnscramblePassword(Bytes(v.expected), "default"), v.text) << v.text;
    }
}

TEST(Scramble, EveryLengthUpTo31RoundTripsAndTheSameTextIsStoredDifferently) {
    for (size_t length = 0; length <= cq::kMaxScrambledLength; ++length) {
        std::string text;
        for (size_t i = 0; i < length; ++i)
            text += i % 3 == 0 ? "ж" : std::string(1, static_cast<char>('!' + (i * 7) % 90));
        const auto first = ScramblePassword(text);
        EXPECT_EQ(first.size(), cq::kScrambledBlockSize);
        EXPECT_EQ(UnscramblePassword(first, "default"), text) << length;
        std::set<std::vector<uint8_t>> seen{first};
        for (int i = 0; i < 4; ++i)
            seen.insert(ScramblePassword(text));
        EXPECT_GT(seen.size(), 1U) << "random filler must vary the block, length " << length;
    }
}

TEST(Scramble, TextsThatCannotBeHeldAreRefusedNotCut) {
    const std::string longest(31, 'x');
    EXPECT_TRUE(cq::CanScramble(longest));
    EXPECT_TRUE(cq::CanScramble("Ёжик в тумане, 31 символ ровно!"));
    for (const std::string& refused :
         {std::string(32, 'x'), std::string("Ёжик в тумане, 32 символа ровно!"),
          std::string("пароль\xE5\xAF\x86")}) {
        EXPECT_FALSE(cq::CanScramble(refused)) << refused;
        EXPECT_THROW(ScramblePassword(refused), cq::Exception) << refused;
    }
}

TEST(Scramble, ShortBlocksGiveTheDefaultAndLongerBlocksCentreTheText) {
    EXPECT_EQ(UnscramblePassword({}, "dflt"), "dflt");
    EXPECT_EQ(UnscramblePassword(std::vector<uint8_t>(41, 0x22), "dflt"), "dflt");
    // "abc" in a 50-byte block written elsewhere by the same rules: the text sits at
    // 3 + (47 - 3) / 2 = 25 and the counters run over all 47 bytes after byte 2.
    EXPECT_EQ(
        UnscramblePassword(Bytes("00220001210022FF23FE24FD25FC26FB27FA28F929F82AF72B974E962DF4"
                                 "2EF32FF230F131F032EF33EE34ED35EC36EB37EA"),
                           "dflt"),
        "abc");
}

} // namespace
