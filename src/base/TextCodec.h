#pragma once
// Texts live in memory as UTF-8; files and byte-level rules use Windows-1251.

#include <string>
#include <string_view>

namespace cq {

/// UTF-8 to Windows-1251; characters that code page lacks become "?".
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
