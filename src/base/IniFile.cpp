#include "base/IniFile.h"

#include "base/Errors.h"
#include "base/FileUtil.h"
#include "base/StringUtil.h"
#include "base/TextCodec.h"
#include "base/Translate.h"

#include <algorithm>
#include <charconv>

namespace cq {
namespace {

bool ParseInteger(std::string_view text, int& value) {
    std::string trimmed = Trim(text);
    std::string_view digits = trimmed;
    if (!digits.empty() && digits.front() == '+')
        digits.remove_prefix(1);
    if (digits.empty())
        return false;
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return result.ec == std::errc() && result.ptr == digits.data() + digits.size();
}

} // namespace

IniFile IniFile::Load(const std::string& path) {
    if (!FileExists(path) && !DirectoryExists(path))
        return IniFile();
    return Parse(ReadFileBytes(path)); // a folder in the file's place is an error, not empty
}

IniFile IniFile::Parse(std::string_view cp1251Bytes) {
    IniFile ini;
    const std::string text = FromCp1251(cp1251Bytes);
    Section* current = nullptr;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = Trim(std::string_view(text).substr(pos, end - pos));
        pos = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        if (line.empty() || line.front() == ';')
            continue;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            ini.sections_.push_back({line.substr(1, line.size() - 2), {}});
            current = &ini.sections_.back();
            continue;
        }
        if (!current)
            continue;
        const size_t equals = line.find('=');
        if (equals == std::string::npos)
            current->lines.push_back({line, {}, false});
        else
            current->lines.push_back(
                {Trim(line.substr(0, equals)), Trim(line.substr(equals + 1)), true});
    }
    return ini;
}

std::string IniFile::Serialize() const {
    std::string text;
    for (const Section& section : sections_) {
        text += "[" + section.name + "]\r\n";
        for (const Line& line : section.lines)
            text += line.hasValue ? line.key + "=" + line.value + "\r\n" : line.key + "\r\n";
        text += "\r\n";
    }
    return ToCp1251(text);
}

void IniFile::Save(const std::string& path, AtLink atLink) const {
    WriteFileAtomically(path, Serialize(), FileAccess::Private, atLink);
}

const IniFile::Section* IniFile::findSection(std::string_view name) const {
    for (const Section& section : sections_)
        if (SameText(section.name, name))
            return &section;
    return nullptr;
}

IniFile::Section& IniFile::sectionForWrite(std::string_view name) {
    if (const Section* found = findSection(name))
        return const_cast<Section&>(*found);
    sections_.push_back({std::string(name), {}});
    return sections_.back();
}

const IniFile::Line* IniFile::findLine(std::string_view section, std::string_view key) const {
    const Section* found = findSection(section);
    if (!found)
        return nullptr;
    for (const Line& line : found->lines)
        if (line.hasValue && SameText(line.key, key))
            return &line;
    return nullptr;
}

bool IniFile::ValueExists(std::string_view section, std::string_view key) const {
    return findLine(section, key) != nullptr;
}

std::vector<std::string> IniFile::Keys(std::string_view section) const {
    std::vector<std::string> keys;
    if (const Section* found = findSection(section))
        for (const Line& line : found->lines)
            keys.push_back(line.key);
    return keys;
}

std::vector<std::string> IniFile::Sections() const {
    std::vector<std::string> names;
    for (const Section& section : sections_)
        names.push_back(section.name);
    return names;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const {
    const Line* line = findLine(section, key);
    return line ? line->value : std::string(defaultValue);
}

int IniFile::ReadInteger(std::string_view section, std::string_view key, int defaultValue) const {
    int value = 0;
    const Line* line = findLine(section, key);
    return line && ParseInteger(line->value, value) ? value : defaultValue;
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const {
    int value = 0;
    const Line* line = findLine(section, key);
    return line && ParseInteger(line->value, value) ? value != 0 : defaultValue;
}

std::vector<uint8_t> IniFile::ReadBinary(std::string_view section, std::string_view key) const {
    std::vector<uint8_t> bytes;
    const std::string text = ReadString(section, key);
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        const int high = HexDigitValue(text[i]);
        const int low = HexDigitValue(text[i + 1]);
        if (high < 0 || low < 0)
            break;
        bytes.push_back(static_cast<uint8_t>(high * 16 + low));
    }
    return bytes;
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    if (value.find_first_of("\r\n") != std::string_view::npos)
        throw Exception(TrFormat("Значение ключа %1 раздела %2 содержит перевод строки и не может "
                                 "быть записано в ini файл.",
                                 {std::string(key), std::string(section)}));
    Section& target = sectionForWrite(section);
    for (Line& line : target.lines) {
        if (line.hasValue && SameText(line.key, key)) {
            line.value = value;
            return;
        }
    }
    target.lines.push_back({std::string(key), std::string(value), true});
}

void IniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

void IniFile::WriteBinary(std::string_view section, std::string_view key,
                          const std::vector<uint8_t>& value) {
    WriteString(
        section, key,
        UpperHex(std::string_view(reinterpret_cast<const char*>(value.data()), value.size())));
}

void IniFile::DeleteKey(std::string_view section, std::string_view key) {
    if (!findSection(section))
        return;
    auto& lines = sectionForWrite(section).lines;
    lines.erase(
        std::remove_if(lines.begin(), lines.end(),
                       [&](const Line& line) { return line.hasValue && SameText(line.key, key); }),
        lines.end());
}

} // namespace cq
