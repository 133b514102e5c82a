#include "base/RtfReader.h"

#include "base/TextCodec.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <unordered_set>

namespace cq {
namespace {

// Where the characters of a group go.
enum class Destination { Text, ColorTable, Skip };

// Groups nested deeper than this are read as if they were part of their parent; a document
// made of nothing but braces cannot make the reader grow without bound.
constexpr size_t kMaxDepth = 256;
// Indents beyond 22 inches are cut to that, so that no layout meets absurd widths.
constexpr long kMaxIndentTwips = 31680;
constexpr long kMaxHalfPoints = 3276;
constexpr size_t kMaxColors = 1024;

struct GroupState {
    Destination destination = Destination::Text;
    RtfCharFormat format;
    int firstIndentTwips = 0;
    int leftIndentTwips = 0;
    int unicodeSkip = 1; // characters that stand in for a \u character (\uc)
};

// Destinations whose text is never shown even without the \* mark.
bool IsSkippedDestination(std::string_view word) {
    static const std::unordered_set<std::string_view> words = {
        "fonttbl",
        "filetbl",
        "stylesheet",
        "info",
        "pict",
        "object",
        "header",
        "headerl",
        "headerr",
        "headerf",
        "footer",
        "footerl",
        "footerr",
        "footerf",
        "footnote",
        "fldinst",
        "listtable",
        "listoverridetable",
        "revtbl",
        "rsidtbl",
        "generator",
        "themedata",
        "datastore",
        "latentstyles",
        "xmlnstbl",
        "pntext",
        "pntxta",
        "pntxtb",
        "colorschememapping",
        "mmathPr",
        "userprops",
        "docvar",
        "bkmkstart",
        "bkmkend",
    };
    return words.count(word) != 0;
}

long Clamp(long value, long limit) {
    return std::clamp(value, -limit, limit);
}

class Reader {
public:
    explicit Reader(std::string_view bytes) : in_(bytes.substr(0, bytes.find('\0'))) {
        document_.paragraphs.emplace_back();
    }

    RtfDocument read() {
        while (pos_ < in_.size() && !ended_) {
            const char c = in_[pos_++];
            if (c == '{')
                openGroup();
            else if (c == '}')
                closeGroup();
            else if (c == '\\')
                controlSymbolOrWord();
            else if (c != '\r' && c != '\n')
                byte(static_cast<unsigned char>(c));
        }
        finishParagraph();
        auto& paragraphs = document_.paragraphs;
        if (paragraphs.size() > 1 && paragraphs.back().runs.empty())
            paragraphs.pop_back(); // the mark of the last paragraph opens no new one
        return std::move(document_);
    }

private:
    GroupState& state() { return stack_.back(); }

    void openGroup() {
        if (stack_.size() >= kMaxDepth) {
            ++flattened_;
            return;
        }
        stack_.push_back(stack_.back());
        // "{\*\word" marks a destination that a reader which does not know it must skip.
        if (in_.substr(pos_, 2) == "\\*")
            state().destination = Destination::Skip;
    }

    void closeGroup() {
        if (flattened_ > 0) {
            --flattened_;
            return;
        }
        if (stack_.size() <= 1) {
            ended_ = true; // a closing brace without its opening one ends the text
            return;
        }
        if (state().destination == Destination::ColorTable && colorGiven_)
            colorEntryEnd(); // the last entry may lack its ";"
        stack_.pop_back();
        if (stack_.size() == 1)
            ended_ = true; // the document's outermost group is closed
    }

    void controlSymbolOrWord() {
        if (pos_ >= in_.size())
            return;
        const char c = in_[pos_];
        if (std::isalpha(static_cast<unsigned char>(c))) {
            controlWord();
            return;
        }
        ++pos_;
        switch (c) {
        case '\\':
        case '{':
        case '}':
            byte(static_cast<unsigned char>(c));
            break;
        case '\'':
            hexByte();
            break;
        case '~':
            character(U'\u00A0');
            break;
        case '_':
            character(U'\u2011');
            break;
        case '\r':
        case '\n':
            paragraphEnd();
            break;
        default: // \* and other symbols carry nothing to show
            break;
        }
    }

    void hexByte() {
        int value = 0;
        int digits = 0;
        while (digits < 2 && pos_ < in_.size() &&
               std::isxdigit(static_cast<unsigned char>(in_[pos_]))) {
            const char h = static_cast<char>(std::tolower(static_cast<unsigned char>(in_[pos_++])));
            value = value * 16 + (h <= '9' ? h - '0' : h - 'a' + 10);
            ++digits;
        }
        if (digits > 0)
            byte(static_cast<unsigned char>(value));
    }

    void controlWord() {
        const size_t start = pos_;
        while (pos_ < in_.size() && pos_ - start < 32 &&
               std::isalpha(static_cast<unsigned char>(in_[pos_])))
            ++pos_;
        const std::string_view word = in_.substr(start, pos_ - start);
        bool hasParameter = false;
        bool negative = false;
        long parameter = 0;
        if (pos_ < in_.size() && in_[pos_] == '-') {
            negative = true;
            ++pos_;
        }
        for (int digits = 0;
             pos_ < in_.size() && std::isdigit(static_cast<unsigned char>(in_[pos_]));
             ++digits, ++pos_) {
            hasParameter = true;
            if (digits < 9)
                parameter = parameter * 10 + (in_[pos_] - '0');
        }
        if (negative)
            parameter = -parameter;
        if (pos_ < in_.size() && in_[pos_] == ' ')
            ++pos_; // the delimiter belongs to the word
        apply(word, hasParameter, parameter);
    }

    void apply(std::string_view word, bool hasParameter, long parameter) {
        GroupState& s = state();
        if (s.destination == Destination::Skip)
            return;
        const bool on = !hasParameter || parameter != 0;
        if (word == "colortbl") {
            s.destination = Destination::ColorTable;
            pendingColor_ = {};
            colorGiven_ = false;
        } else if (IsSkippedDestination(word)) {
            s.destination = Destination::Skip;
        } else if (s.destination == Destination::ColorTable) {
            colorComponent(word, parameter);
        } else if (word == "par") {
            paragraphEnd();
        } else if (word == "pard") {
            s.firstIndentTwips = 0;
            s.leftIndentTwips = 0;
        } else if (word == "plain") {
            s.format = {};
        } else if (word == "b") {
            s.format.bold = on;
        } else if (word == "i") {
            s.format.italic = on;
        } else if (word == "ul") {
            s.format.underline = on;
        } else if (word == "ulnone") {
            s.format.underline = false;
        } else if (word == "cf") {
            s.format.color = colorAt(parameter);
        } else if (word == "fs") {
            s.format.halfPoints = static_cast<int>(std::clamp(parameter, 0L, kMaxHalfPoints));
        } else if (word == "fi") {
            s.firstIndentTwips = static_cast<int>(Clamp(parameter, kMaxIndentTwips));
        } else if (word == "li") {
            s.leftIndentTwips = static_cast<int>(Clamp(parameter, kMaxIndentTwips));
        } else if (word == "tab") {
            character(U'\t');
        } else if (word == "line") {
            character(U'\u2028');
        } else if (word == "uc") {
            s.unicodeSkip = static_cast<int>(std::clamp(parameter, 0L, 8L));
        } else if (word == "u" && hasParameter) {
            unicode(parameter);
        }
    }

    void colorComponent(std::string_view word, long parameter) {
        const auto value = static_cast<uint8_t>(std::clamp(parameter, 0L, 255L));
        if (word == "red")
            pendingColor_.red = value;
        else if (word == "green")
            pendingColor_.green = value;
        else if (word == "blue")
            pendingColor_.blue = value;
        else
            return;
        colorGiven_ = true;
    }

    // A ";" ends one entry of the colour table; an entry without components is "auto".
    void colorEntryEnd() {
        if (colors_.size() < kMaxColors)
            colors_.push_back(colorGiven_ ? std::optional<RtfColor>(pendingColor_) : std::nullopt);
        pendingColor_ = {};
        colorGiven_ = false;
    }

    std::optional<RtfColor> colorAt(long index) const {
        if (index < 0 || static_cast<size_t>(index) >= colors_.size())
            return std::nullopt;
        return colors_[static_cast<size_t>(index)];
    }

    void unicode(long value) {
        if (value < 0)
            value += 65536;
        character(static_cast<char32_t>(std::clamp(value, 0L, 0xFFFFL)));
        // The characters that follow stand in for readers without \u.
        skip_ = state().unicodeSkip;
    }

    void byte(unsigned char c) {
        const Destination destination = state().destination;
        if (destination == Destination::ColorTable) {
            if (c == ';')
                colorEntryEnd();
            return;
        }
        if (destination != Destination::Text)
            return;
        if (skip_ > 0) {
            --skip_;
            return;
        }
        if (c < 0x20 && c != '\t')
            return;
        const char raw = static_cast<char>(c);
        append(c < 0x80 ? std::string(1, raw) : FromCp1251(std::string_view(&raw, 1)));
    }

    void character(char32_t codePoint) {
        if (state().destination != Destination::Text)
            return;
        skip_ = 0;
        std::string utf8;
        AppendUtf8(utf8, codePoint);
        append(utf8);
    }

    void append(const std::string& utf8) {
        auto& runs = document_.paragraphs.back().runs;
        const RtfCharFormat& format = state().format;
        if (runs.empty() || !(runs.back().format == format))
            runs.push_back({{}, format});
        runs.back().text += utf8;
    }

    void paragraphEnd() {
        if (state().destination != Destination::Text)
            return;
        finishParagraph();
        document_.paragraphs.emplace_back();
    }

    // A paragraph takes the paragraph formatting in force at its end mark.
    void finishParagraph() {
        RtfParagraph& paragraph = document_.paragraphs.back();
        paragraph.firstIndentTwips = state().firstIndentTwips;
        paragraph.leftIndentTwips = state().leftIndentTwips;
    }

    std::string_view in_;
    size_t pos_ = 0;
    bool ended_ = false;
    size_t flattened_ = 0;
    int skip_ = 0;
    std::vector<GroupState> stack_{GroupState{}};
    std::vector<std::optional<RtfColor>> colors_;
    RtfColor pendingColor_;
    bool colorGiven_ = false;
    RtfDocument document_;
};

} // namespace

std::string RtfParagraph::text() const {
    std::string all;
    for (const RtfRun& run : runs)
        all += run.text;
    return all;
}

std::string RtfDocument::plainText() const {
    std::string all;
    for (size_t i = 0; i < paragraphs.size(); ++i) {
        if (i > 0)
            all += '\n';
        all += paragraphs[i].text();
    }
    return all;
}

RtfDocument ReadRtf(std::string_view bytes) {
    return Reader(bytes).read();
}

} // namespace cq
