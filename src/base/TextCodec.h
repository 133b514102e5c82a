#pragma once
// Texts live in memory as UTF-8; files and byte-level rules use Windows-1251.

#include <string>
#include <string_view>

namespace cq {

/// What DecodeUtf8 gives for bytes that are not well-formed UTF-8 (no Unicode character has it).
inline constexpr char32_t kMalformedUtf8 = 0x110000;

/// Decodes the UTF-8 character at `pos` and moves `pos` past it. The one decoder of the program,
/// and strict: an overlong form, an encoded surrogate, a code point past U+10FFFF, a lead byte
/// C0, C1 or F5..FF, a stray continuation byte or a cut sequence gives kMalformedUtf8 and moves
/// past one byte only, so that such bytes never turn into a character they seem to spell.
char32_t DecodeUtf8(std::string_view text, size_t& pos);

/// UTF-8 to Windows-1251; characters that code page lacks, and each byte of a malformed
/// sequence, become "?".
std::string ToCp1251(std::string_view utf8);
/// Appends the Windows-1251 form of a UTF-8 text to `out`.
void AppendCp1251(std::string& out, std::string_view utf8);

/// Windows-1251 to UTF-8. Every byte has a meaning except 0x98, which becomes "?".
std::string FromCp1251(std::string_view cp1251);

/// Appends one code point as UTF-8; surrogates become U+FFFD.
void AppendUtf8(std::string& out, char32_t codePoint);

/// Turns every line end (LF, CR LF or lone CR) into CR LF.
std::string ToCrLf(std::string_view text);

} // namespace cq
