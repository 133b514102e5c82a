#pragma once
// A small reader of DER tag-length-value elements over a byte range; it never reads past the
// range and refuses indefinite or oversized lengths.

#include "certs/Der.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace cq::der {

/// One element read: its tag byte and the bytes of its content.
struct ReadElement {
    uint8_t tag = 0;
    std::string_view content;
};

/// Reads elements one after another from a byte range.
class Reader {
public:
    explicit Reader(std::string_view bytes) : rest_(bytes) {}

    /// The next element, or nothing when the bytes left do not start with a whole element.
    std::optional<ReadElement> next() {
        if (rest_.size() < 2)
            return std::nullopt;
        const auto tag = static_cast<uint8_t>(rest_[0]);
        size_t length = static_cast<uint8_t>(rest_[1]);
        size_t header = 2;
        if (length & 0x80) {
            const size_t octets = length & 0x7F;
            if (octets == 0 || octets > 4 || rest_.size() < 2 + octets)
                return std::nullopt;
            length = 0;
            for (size_t i = 0; i < octets; ++i)
                length = (length << 8) | static_cast<uint8_t>(rest_[2 + i]);
            header += octets;
        }
        if (length > rest_.size() - header)
            return std::nullopt;
        ReadElement element{tag, rest_.substr(header, length)};
        rest_.remove_prefix(header + length);
        return element;
    }

    /// The next element when it carries `tag`.
    std::optional<ReadElement> next(uint8_t tag) {
        auto element = next();
        if (!element || element->tag != tag)
            return std::nullopt;
        return element;
    }

    bool atEnd() const { return rest_.empty(); }

private:
    std::string_view rest_;
};

} // namespace cq::der
