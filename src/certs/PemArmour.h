#pragma once
// Writing PEM armour: the one place where the tool lays Base64 out in lines between a BEGIN and
// an END line, for key files, certification requests and the clean copy of a key file that
// another program reads.

#include <cstddef>
#include <string>
#include <string_view>

namespace cq {

/// How an armour's lines are laid out.
struct PemLayout {
    size_t lineWidth = 64;           ///< Base64 characters in every line but the last
    std::string_view lineEnd = "\n"; ///< what ends each line
    bool lineEndAfterEnd = true;     ///< whether the END line ends with one too
};

/// OpenSSL's own layout, which every PEM reader takes: lines of 64, LF, a line end after END.
inline constexpr PemLayout kOpensslPemLayout{};

/// The bytes as Base64 in one line, without line ends.
std::string Base64(std::string_view bytes);

/// Base64 of `bytes` in lines of layout.lineWidth characters, the last one possibly shorter,
/// joined by layout.lineEnd. No line end follows the last line, so no line is ever empty
/// whatever the length; no bytes give an empty text.
std::string Base64Lines(std::string_view bytes, const PemLayout& layout = kOpensslPemLayout);

/// "-----BEGIN label-----"; the header lines (each already ended by layout.lineEnd) and an empty
/// line when there are any; the Base64 lines; "-----END label-----". Every line is followed by
/// layout.lineEnd, the END line only with lineEndAfterEnd. An empty body puts END right after
/// BEGIN (or after the headers' empty line).
std::string FramePem(std::string_view label, std::string_view base64Lines,
                     std::string_view headerLines = {},
                     const PemLayout& layout = kOpensslPemLayout);

/// FramePem of the Base64 lines of `der`.
std::string PemArmour(std::string_view label, std::string_view der,
                      std::string_view headerLines = {},
                      const PemLayout& layout = kOpensslPemLayout);

} // namespace cq
