#include "base/TextCodec.h"

#include <array>
#include <cstdint>

namespace cq {
namespace {

// Unicode code points of the bytes 0x80..0xFF of Windows-1251 (0 for the one unused byte).
constexpr std::array<char32_t, 128> kUpperHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039,
    0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0000, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408,
    0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB,
    0x0458, 0x0405, 0x0455, 0x0457, 0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423,
    0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B,
    0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F};

char EncodeCp1251(char32_t cp) {
    if (cp < 0x80)
        return static_cast<char>(cp);
    if (cp >= 0x0410 && cp <= 0x044F) // А..я, the bulk of Russian text
        return static_cast<char>(0xC0 + (cp - 0x0410));
    for (size_t i = 0; i < kUpperHalf.size(); ++i)
        if (kUpperHalf[i] == cp)
            return static_cast<char>(0x80 + i);
    return '?';
}

} // namespace

char32_t DecodeUtf8(std::string_view text, size_t& pos) {
    const auto lead = static_cast<uint8_t>(text[pos]);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    // The number of continuation bytes and the range the first of them must lie in, which rules
    // out overlong forms (E0, F0), surrogates (ED) and code points past U+10FFFF (F4).
    size_t extra = 0;
    uint8_t low = 0x80;
    uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        ++pos; // C0, C1, F5..FF and a continuation byte without its lead
        return kMalformedUtf8;
    }
    if (text.size() - pos <= extra) {
        ++pos;
        return kMalformedUtf8;
    }
    char32_t codePoint = lead & (0x3F >> extra);
    for (size_t i = 1; i <= extra; ++i) {
        const auto next = static_cast<uint8_t>(text[pos + i]);
        if (next < low || next > high) {
            ++pos;
            return kMalformedUtf8;
        }
        codePoint = (codePoint << 6) | (next & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    pos += extra + 1;
    return codePoint;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF)
        cp = 0xFFFD;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | ((cp >> 18) & 0x07));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string ToCp1251(std::string_view utf8) {
    std::string out;
    AppendCp1251(out, utf8);
    return out;
}

void AppendCp1251(std::string& out, std::string_view utf8) {
    size_t length = out.size();
    out.resize(length + utf8.size()); // never longer than the UTF-8 text
    for (size_t pos = 0; pos < utf8.size();) {
        const auto lead = static_cast<uint8_t>(utf8[pos]);
        const auto next = pos + 1 < utf8.size() ? static_cast<uint8_t>(utf8[pos + 1]) : 0;
        if (lead < 0x80) {
            out[length++] = utf8[pos++];
        } else if ((lead == 0xD0 && next >= 0x90 && next <= 0xBF) ||
                   (lead == 0xD1 && next >= 0x80 && next <= 0x8F)) {
            // А..я, the bulk of Russian text: U+0410..U+044F to 0xC0..0xFF.
            const unsigned codePoint = ((lead & 0x1Fu) << 6) | (next & 0x3Fu);
            out[length++] = static_cast<char>(0xC0 + (codePoint - 0x410));
            pos += 2;
        } else {
            out[length++] = EncodeCp1251(DecodeUtf8(utf8, pos));
        }
    }
    out.resize(length);
}

std::string FromCp1251(std::string_view cp1251) {
    std::string out;
    out.reserve(cp1251.size() * 2);
    for (char c : cp1251) {
        const auto byte = static_cast<uint8_t>(c);
        const char32_t cp = byte < 0x80 ? byte : kUpperHalf[byte - 0x80u];
        AppendUtf8(out, cp == 0 && byte != 0 ? U'?' : cp); // 0 marks the unassigned 0x98
    }
    return out;
}

std::string ToCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else if (text[i] == '\n') {
            out += "\r\n";
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace cq
