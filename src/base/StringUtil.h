#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace cq {

/// Removes leading and trailing blanks and control characters (bytes up to 0x20).
std::string Trim(std::string_view text);
std::string TrimRight(std::string_view text);
/// Letters "A" to "Z" to lower case; other characters unchanged.
std::string LowerCase(std::string_view text);
/// Letters "a" to "z" to upper case; other characters unchanged.
std::string UpperCase(std::string_view text);
/// Equal without regard to the letter case of "A" to "Z".
bool SameText(std::string_view a, std::string_view b);
/// Compares without regard to the letter case of "A" to "Z": <0, 0 or >0.
int CompareText(std::string_view a, std::string_view b);
bool StartsWith(std::string_view text, std::string_view prefix);
/// Splits at every occurrence of the separator (an empty text gives one empty part).
std::vector<std::string> Split(std::string_view text, std::string_view separator);
std::string Join(const std::vector<std::string>& parts, std::string_view separator);
/// Two upper-case hexadecimal digits per byte, without separators.
std::string UpperHex(std::string_view bytes);
/// The value of one hexadecimal digit of either case; -1 for any other character.
int HexDigitValue(char c);
/// Every occurrence of `from` replaced by `to`, left to right, case-sensitively.
std::string ReplaceText(std::string_view text, std::string_view from, std::string_view to);

} // namespace cq
