#pragma once
// The test process's language for the program's texts, switched for one scope: the catalogs
// of the build tree, LC_MESSAGES set to the language and the variables that would override it
// (LANGUAGE, LC_ALL) taken away; everything is put back when the scope ends.

#include "TestSupport.h"
#include "base/Translate.h"

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace cq::test {

class UserLanguage {
public:
    /// `locale` such as "en_US.UTF-8" or "C"; available() tells whether the system has it.
    explicit UserLanguage(const std::string& locale)
        : before_(std::setlocale(LC_MESSAGES, nullptr)), language_(Saved("LANGUAGE")),
          all_(Saved("LC_ALL")), messages_(Saved("LC_MESSAGES")) {
        available_ = std::setlocale(LC_MESSAGES, locale.c_str()) != nullptr;
        ::unsetenv("LANGUAGE");
        ::unsetenv("LC_ALL");
        ::setenv("LC_MESSAGES", locale.c_str(), 1);
        UseUserLanguage(Catalogs());
    }
    ~UserLanguage() {
        Restore("LANGUAGE", language_);
        Restore("LC_ALL", all_);
        Restore("LC_MESSAGES", messages_);
        std::setlocale(LC_MESSAGES, before_.c_str());
    }
    UserLanguage(const UserLanguage&) = delete;
    UserLanguage& operator=(const UserLanguage&) = delete;

    bool available() const { return available_; }

    /// The compiled catalogs of the build tree.
    static std::string Catalogs() {
        return (std::filesystem::path(BuiltProgram("certquorix-cli")).parent_path() / "locale")
            .string();
    }

private:
    static std::optional<std::string> Saved(const char* name) {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    }
    static void Restore(const char* name, const std::optional<std::string>& value) {
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }

    std::string before_;
    std::optional<std::string> language_, all_, messages_;
    bool available_ = false;
};

/// True when the system has the locale `name` ("en_US.UTF-8"); the process's locale is kept.
inline bool LocaleExists(const char* name) {
    const std::string before = std::setlocale(LC_MESSAGES, nullptr);
    const bool exists = std::setlocale(LC_MESSAGES, name) != nullptr;
    std::setlocale(LC_MESSAGES, before.c_str());
    return exists;
}

/// True when the UTF-8 text holds a Cyrillic letter (U+0400..U+04FF: lead bytes 0xD0..0xD3).
inline bool HasCyrillic(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0xD0 && byte <= 0xD3;
    });
}

} // namespace cq::test
