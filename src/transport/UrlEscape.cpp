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

} // namespace cq
