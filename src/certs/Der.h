#pragma once
// A small writer of ASN.1 DER elements. Each function returns the complete encoding (tag,
// length, content) as a byte string, so structures are built by nesting calls. Byte strings are
// std::string holding raw bytes.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace cq::der {

/// Universal tags used by the request and key structures.
namespace tag {
inline constexpr uint8_t kInteger = 0x02;
inline constexpr uint8_t kBitString = 0x03;
inline constexpr uint8_t kOctetString = 0x04;
inline constexpr uint8_t kNull = 0x05;
inline constexpr uint8_t kOid = 0x06;
inline constexpr uint8_t kUtf8String = 0x0C;
inline constexpr uint8_t kPrintableString = 0x13;
inline constexpr uint8_t kIa5String = 0x16;
inline constexpr uint8_t kUtcTime = 0x17;
inline constexpr uint8_t kSequence = 0x30;
inline constexpr uint8_t kSet = 0x31;
} // namespace tag

/// The length octets: one byte below 128, else 0x81..0x84 followed by the length's bytes.
std::string Length(size_t length);

/// One element with the given tag byte and content.
std::string Element(uint8_t tagByte, std::string_view content);

/// SEQUENCE and SET of already encoded elements, in the order given (a SET is not sorted: the
/// structures built here hold one element per SET or fix their order themselves).
std::string Sequence(std::initializer_list<std::string_view> elements);
std::string Set(std::initializer_list<std::string_view> elements);

/// INTEGER whose content is `magnitude` (big-endian, unsigned) unchanged, with one 00 byte put
/// in front when its first byte is 0x80 or more. Leading zero bytes are kept on purpose: the
/// keys written here carry their numbers as whole 32-bit words. An empty magnitude gives 02 01 00.
std::string UnsignedInteger(std::string_view magnitude);

/// INTEGER of a small non-negative number in the minimal form (02 01 00 for 0).
std::string SmallInteger(uint64_t value);

/// OBJECT IDENTIFIER from its dotted text ("1.2.840.113549.1.1.1"). Raises Exception for a
/// text that is not a valid identifier.
std::string Oid(std::string_view dotted);

std::string Null();
std::string OctetString(std::string_view bytes);
/// BIT STRING with the given number of unused bits in the last byte (0 for whole bytes).
std::string BitString(std::string_view bytes, uint8_t unusedBits = 0);
std::string PrintableString(std::string_view bytes);
std::string Ia5String(std::string_view bytes);
std::string Utf8String(std::string_view bytes);

/// Context-specific tags: [n] constructed (A0 + n) and [n] primitive (80 + n), n below 31.
std::string ContextConstructed(uint8_t number, std::string_view content);
std::string ContextPrimitive(uint8_t number, std::string_view content);

} // namespace cq::der
