#pragma once
// A reader for the small part of RTF that the program's own help texts use: groups, the colour
// table, code page 1251 text (raw bytes and \'hh escapes), \u characters, bold, italic,
// underline, colour and size of characters, paragraphs with first-line and left indents, and
// tabs. Everything else (font table, style sheet, pictures, unknown words) is skipped. It has no
// window toolkit in it, so it can be fuzzed on its own; ui/RichText.h turns its result into a
// text document.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cq {

struct RtfColor {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    bool operator==(const RtfColor&) const = default;
};

struct RtfCharFormat {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    /// None: the colour of the box the text goes into (\cf0 or no \cf at all).
    std::optional<RtfColor> color;
    /// Size in half points; 0: the size of the box's own font.
    int halfPoints = 0;
    bool operator==(const RtfCharFormat&) const = default;
};

/// Consecutive characters of one format, as UTF-8.
struct RtfRun {
    std::string text;
    RtfCharFormat format;
};

struct RtfParagraph {
    int firstIndentTwips = 0;
    int leftIndentTwips = 0;
    std::vector<RtfRun> runs;

    std::string text() const;
};

struct RtfDocument {
    std::vector<RtfParagraph> paragraphs;

    /// The paragraphs' texts joined by "\n".
    std::string plainText() const;
};

/// Reads an RTF document up to its first zero byte or the end of its outermost group. Malformed
/// input never fails: what can be read is returned. The result has at least one paragraph.
RtfDocument ReadRtf(std::string_view bytes);

} // namespace cq
