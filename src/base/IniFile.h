#pragma once
// An ini file read whole into memory, changed there and written back whole. Windows-1251 with
// CR LF on disk, UTF-8 in memory; section and key names match without regard to letter case.

#include "base/FileUtil.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cq {

class IniFile {
public:
    IniFile() = default;

    /// Reads `path`; a missing file reads as empty. Raises EOSError when it cannot be read (also
    /// when a folder stands in its place).
    static IniFile Load(const std::string& path);
    /// Parses the bytes of an ini file (Windows-1251).
    static IniFile Parse(std::string_view cp1251Bytes);

    /// The file's bytes as they are written: Windows-1251, CR LF, an empty line after each section.
    std::string Serialize() const;
    /// Replaces `path` atomically with Serialize(), readable by the owner only (the ini files
    /// of this program hold passwords); a link in its place is followed or refused as `atLink`
    /// says. Raises EOSError.
    void Save(const std::string& path, AtLink atLink = AtLink::Follow) const;

    bool ValueExists(std::string_view section, std::string_view key) const;
    std::vector<std::string> Keys(std::string_view section) const;
    std::vector<std::string> Sections() const;

    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue = {}) const;
    /// A whole number; anything else, or an absent key, gives the default.
    int ReadInteger(std::string_view section, std::string_view key, int defaultValue) const;
    /// A whole number other than 0 is true, 0 is false; anything else gives the default.
    bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;
    /// Two hexadecimal digits (either case) per byte; reading stops at the first pair that is
    /// not hexadecimal.
    std::vector<uint8_t> ReadBinary(std::string_view section, std::string_view key) const;

    /// Raises Exception, changing nothing, when the value holds a line break: it would end the
    /// line and make the rest of the value a line of its own (another key or a section).
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteBool(std::string_view section, std::string_view key, bool value);
    /// Two upper-case hexadecimal digits per byte.
    void WriteBinary(std::string_view section, std::string_view key,
                     const std::vector<uint8_t>& value);
    void DeleteKey(std::string_view section, std::string_view key);

private:
    struct Line {
        std::string key; // the whole line when it has no "="
        std::string value;
        bool hasValue = true;
    };
    struct Section {
        std::string name;
        std::vector<Line> lines;
    };

    const Section* findSection(std::string_view name) const;
    Section& sectionForWrite(std::string_view name);
    const Line* findLine(std::string_view section, std::string_view key) const;

    std::vector<Section> sections_;
};

} // namespace cq
