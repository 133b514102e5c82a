#include "certs/Der.h"

#include "base/Errors.h"
#include "base/Translate.h"

#include <charconv>
#include <vector>

namespace cq::der {
namespace {

std::string Concatenate(std::initializer_list<std::string_view> elements) {
    std::string content;
    for (std::string_view element : elements)
        content += element;
    return content;
}

/// Base-128 digits of one arc, high digits first, the continuation bit on all but the last.
std::string Base128(uint64_t arc) {
    std::string digits(1, static_cast<char>(arc & 0x7F));
    for (arc >>= 7; arc != 0; arc >>= 7)
        digits.insert(digits.begin(), static_cast<char>(0x80 | (arc & 0x7F)));
    return digits;
}

std::vector<uint64_t> ParseArcs(std::string_view dotted) {
    std::vector<uint64_t> arcs;
    size_t pos = 0;
    while (pos <= dotted.size()) {
        const size_t dot = std::min(dotted.find('.', pos), dotted.size());
        uint64_t arc = 0;
        const auto [end, ec] = std::from_chars(dotted.data() + pos, dotted.data() + dot, arc);
        if (ec != std::errc() || end != dotted.data() + dot || dot == pos)
            throw Exception(TrFormat("Неверный идентификатор объекта: %1", {std::string(dotted)}));
        arcs.push_back(arc);
        pos = dot + 1;
    }
    return arcs;
}

} // namespace

std::string Length(size_t length) {
    if (length < 0x80)
        return std::string(1, static_cast<char>(length));
    std::string bytes;
    for (size_t rest = length; rest != 0; rest >>= 8)
        bytes.insert(bytes.begin(), static_cast<char>(rest & 0xFF));
    return static_cast<char>(0x80 | bytes.size()) + bytes;
}

std::string Element(uint8_t tagByte, std::string_view content) {
    std::string out(1, static_cast<char>(tagByte));
    out += Length(content.size());
    out += content;
    return out;
}

std::string Sequence(std::initializer_list<std::string_view> elements) {
    return Element(tag::kSequence, Concatenate(elements));
}

std::string Set(std::initializer_list<std::string_view> elements) {
    return Element(tag::kSet, Concatenate(elements));
}

std::string UnsignedInteger(std::string_view magnitude) {
    if (magnitude.empty())
        return Element(tag::kInteger, std::string(1, '\0'));
    if (static_cast<unsigned char>(magnitude.front()) >= 0x80)
        return Element(tag::kInteger, '\0' + std::string(magnitude));
    return Element(tag::kInteger, magnitude);
}

std::string SmallInteger(uint64_t value) {
    std::string bytes;
    do {
        bytes.insert(bytes.begin(), static_cast<char>(value & 0xFF));
        value >>= 8;
    } while (value != 0);
    return UnsignedInteger(bytes);
}

std::string Oid(std::string_view dotted) {
    const std::vector<uint64_t> arcs = ParseArcs(dotted);
    if (arcs.size() < 2 || arcs[0] > 2 || (arcs[0] < 2 && arcs[1] > 39))
        throw Exception(TrFormat("Неверный идентификатор объекта: %1", {std::string(dotted)}));
    std::string content = Base128(arcs[0] * 40 + arcs[1]);
    for (size_t i = 2; i < arcs.size(); ++i)
        content += Base128(arcs[i]);
    return Element(tag::kOid, content);
}

std::string Null() {
    return Element(tag::kNull, {});
}

std::string OctetString(std::string_view bytes) {
    return Element(tag::kOctetString, bytes);
}

std::string BitString(std::string_view bytes, uint8_t unusedBits) {
    return Element(tag::kBitString, static_cast<char>(unusedBits) + std::string(bytes));
}

std::string PrintableString(std::string_view bytes) {
    return Element(tag::kPrintableString, bytes);
}

std::string Ia5String(std::string_view bytes) {
    return Element(tag::kIa5String, bytes);
}

std::string Utf8String(std::string_view bytes) {
    return Element(tag::kUtf8String, bytes);
}

std::string ContextConstructed(uint8_t number, std::string_view content) {
    return Element(static_cast<uint8_t>(0xA0 | number), content);
}

std::string ContextPrimitive(uint8_t number, std::string_view content) {
    return Element(static_cast<uint8_t>(0x80 | number), content);
}

} // namespace cq::der
