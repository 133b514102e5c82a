#include "transport/UrlEscape.h"

#include "base/TextCodec.h"

#include <cstdint>
#include <cstring>

namespace cq {
namespace {

// strchr also matches the terminating NUL; byte 0 is a control byte and escaped anyway.
bool NeedsEscape(uint8_t byte) {
    return byte < 32 || byte >= 128 || std::strchr("*#%<>+ []", byte) != nullptr;
}

int HexValue(char digit) {
    if (digit >= '0' && digit <= '9')
        return digit - '0';
    if (digit >= 'A' && digit <= 'F')
        return digit - 'A' + 10;
    if (digit >= 'a' && digit <= 'f')
        return digit - 'a' + 10;
    return -1;
}

} // namespace

std::string EscapeBytes(std::string_view cp1251) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(cp1251.size());
    for (const char c : cp1251) {
        const auto byte = static_cast<uint8_t>(c);
        if (NeedsEscape(byte)) {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        } else {
            out += c;
        }
    }
    return out;
}

std::string EscapeUrl(std::string_view utf8) {
    return EscapeBytes(ToCp1251(utf8));
}

std::string UnescapeBytes(std::string_view escaped) {
    std::string out;
    out.reserve(escaped.size());
    for (size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] == '%' && i + 2 < escaped.size()) {
            const int high = HexValue(escaped[i + 1]);
            const int low = HexValue(escaped[i + 2]);
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out += escaped[i];
    }
    return out;
}

} // namespace cq
