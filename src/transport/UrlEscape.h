#pragma once
// The escaping that every URL goes through before it reaches the connection component.

#include <string>
#include <string_view>

namespace cq {

/// Escapes the Windows-1251 bytes of a Windows-1251 text: the nine characters "*#%<>+ []",
/// control bytes below 32 and bytes of 128 and above become "%" and two upper-case hexadecimal
/// digits; every other byte is copied. Text that is already escaped is escaped again.
std::string EscapeBytes(std::string_view cp1251);

/// EscapeBytes over the Windows-1251 form of a UTF-8 text (one "%XX" per Cyrillic letter).
std::string EscapeUrl(std::string_view utf8);

} // namespace cq
