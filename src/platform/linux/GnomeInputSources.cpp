// GNOME's input sources (the schema org.gnome.desktop.input-sources), read through the gsettings
// tool so that the window needs no GLib: a Wayland session of GNOME gives its clients no other
// way to learn the active layout.
#include "platform/KeyboardLayout.h"

#include "base/Errors.h"
#include "platform/Process.h"

#include <algorithm>

namespace cq {
namespace {

constexpr std::chrono::milliseconds kGsettingsTimeLimit{1000};
constexpr const char* kInputSourceSchema = "org.gnome.desktop.input-sources";

// A reader of GLib's text form of a value, as far as lists of string pairs need it.
class ValueText {
public:
    explicit ValueText(const std::string& text) : text_(text) {}

    bool take(char expected) {
        skipSpaces();
        if (position_ >= text_.size() || text_[position_] != expected)
            return false;
        ++position_;
        return true;
    }

    // An optional type annotation ("@a(ss) ") before the value.
    void skipAnnotation() {
        skipSpaces();
        if (position_ < text_.size() && text_[position_] == '@')
            position_ = std::min(text_.find(' ', position_), text_.size());
    }

    // A string in single or double quotes, with backslash escapes.
    std::optional<std::string> quoted() {
        skipSpaces();
        if (position_ >= text_.size() || (text_[position_] != '\'' && text_[position_] != '"'))
            return std::nullopt;
        const char quote = text_[position_++];
        std::string value;
        while (position_ < text_.size()) {
            char c = text_[position_++];
            if (c == quote)
                return value;
            if (c == '\\') {
                if (position_ >= text_.size())
                    break;
                c = text_[position_++];
            }
            value += c;
        }
        return std::nullopt;
    }

    bool atEnd() {
        skipSpaces();
        return position_ == text_.size();
    }

private:
    void skipSpaces() {
        while (position_ < text_.size() &&
               (text_[position_] == ' ' || text_[position_] == '\n' || text_[position_] == '\t'))
            ++position_;
    }

    const std::string& text_;
    std::size_t position_ = 0;
};

std::optional<InputSource> ParsePair(ValueText& value) {
    if (!value.take('('))
        return std::nullopt;
    std::optional<std::string> kind = value.quoted();
    if (!kind || !value.take(','))
        return std::nullopt;
    std::optional<std::string> name = value.quoted();
    if (!name || !value.take(')'))
        return std::nullopt;
    return InputSource{std::move(*kind), std::move(*name)};
}

// "us+intl" -> "us": GNOME joins an XKB layout and its variant with a plus sign.
std::string LayoutOf(const InputSource& source) {
    if (source.kind != "xkb")
        return {};
    return source.name.substr(0, source.name.find('+'));
}

} // namespace

std::optional<std::vector<InputSource>> ParseInputSourceList(const std::string& text) {
    ValueText value(text);
    value.skipAnnotation();
    if (!value.take('['))
        return std::nullopt;
    std::vector<InputSource> sources;
    if (value.take(']'))
        return value.atEnd() ? std::optional(sources) : std::nullopt;
    do {
        std::optional<InputSource> source = ParsePair(value);
        if (!source)
            return std::nullopt;
        sources.push_back(std::move(*source));
    } while (value.take(','));
    if (!value.take(']') || !value.atEnd())
        return std::nullopt;
    return sources;
}

std::string ActiveGnomeLayout(const std::vector<InputSource>& sources,
                              const std::vector<InputSource>& recent) {
    for (const InputSource& used : recent)
        if (std::find(sources.begin(), sources.end(), used) != sources.end())
            return LayoutOf(used);
    return sources.empty() ? std::string() : LayoutOf(sources.front());
}

InputSourceSettingReader GsettingsReader(std::chrono::milliseconds limit) {
    return [limit](const std::string& key) -> std::optional<std::string> {
        try {
            const std::optional<ProcessOutcome> outcome =
                ReadOutputWithTimeLimit({"gsettings", "get", kInputSourceSchema, key}, limit);
            if (!outcome || outcome->exitStatus != 0)
                return std::nullopt;
            return outcome->output;
        } catch (const EOSError&) { // no gsettings here
            return std::nullopt;
        }
    };
}

std::string GnomeKeyboardLayout(const InputSourceSettingReader& read) {
    const std::optional<std::string> sourcesText = read("sources");
    if (!sourcesText)
        return {};
    const std::optional<std::vector<InputSource>> sources = ParseInputSourceList(*sourcesText);
    if (!sources || sources->empty())
        return {};
    const std::optional<std::string> recentText = read("mru-sources");
    if (!recentText)
        return {};
    const std::optional<std::vector<InputSource>> recent = ParseInputSourceList(*recentText);
    return recent ? ActiveGnomeLayout(*sources, *recent) : std::string();
}

bool IsGnomeDesktop(const std::string& currentDesktop) {
    std::size_t start = 0;
    while (start <= currentDesktop.size()) {
        const std::size_t end = std::min(currentDesktop.find(':', start), currentDesktop.size());
        if (currentDesktop.compare(start, end - start, "GNOME") == 0)
            return true;
        start = end + 1;
    }
    return false;
}

std::string DesktopSettingKeyboardLayout(const std::string& currentDesktop) {
    if (!IsGnomeDesktop(currentDesktop))
        return {};
    return GnomeKeyboardLayout(GsettingsReader(kGsettingsTimeLimit));
}

} // namespace cq
