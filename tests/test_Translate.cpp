// The program's texts in the user's language: the Russian ids as they are where no translation
// applies, the English catalog's text under an English locale, and places filled in either.
#include "base/Translate.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>

namespace {

TEST(TrFormat, FillsEachPlaceWithItsArgument) {
    struct Case {
        std::string pattern;
        std::vector<std::string> arguments;
        std::string expected;
    };
    const Case cases[] = {
        {"Файл %1 не может быть записан", {"/tmp/a b"}, "Файл /tmp/a b не может быть записан"},
        {"%2 после %1", {"первый", "второй"}, "второй после первый"},
        {"%1%1", {"ab"}, "abab"},
        // An argument is never read as a pattern of its own.
        {"Папка %1: %2", {"%2", "%1"}, "Папка %2: %1"},
        {"100%% готово", {}, "100% готово"},
        {"Осталось %1 %", {"5"}, "Осталось 5 %"},
        {"Место %3 без аргумента", {"a"}, "Место  без аргумента"},
        {"в конце %", {}, "в конце %"},
        {"", {"x"}, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(cq::TrFormat(c.pattern, c.arguments), c.expected) << c.pattern;
}

TEST(Translate, EnglishComesFromTheCatalogAndRussianStaysByteForByte) {
    const std::filesystem::path catalogs =
        std::filesystem::path(cq::test::BuiltProgram("certquorix-cli")).parent_path() / "locale";
    const std::string before = std::setlocale(LC_MESSAGES, nullptr);
    if (!std::setlocale(LC_MESSAGES, "en_US.UTF-8"))
        GTEST_SKIP() << "the en_US.UTF-8 locale is not generated here";
    ::unsetenv("LANGUAGE");
    ::setenv("LC_MESSAGES", "en_US.UTF-8", 1);
    cq::UseUserLanguage(catalogs.string());
    EXPECT_EQ(cq::Tr("эта справка"), "this help");
    EXPECT_EQ(cq::Tr("текст, которого нет в каталоге"), "текст, которого нет в каталоге");
    EXPECT_EQ(cq::Tr(""), "");
    ::setenv("LC_MESSAGES", "C", 1);
    cq::UseUserLanguage(catalogs.string());
    EXPECT_EQ(cq::Tr("эта справка"), "эта справка");
    ::unsetenv("LC_MESSAGES");
    std::setlocale(LC_MESSAGES, before.c_str());
}

} // namespace
