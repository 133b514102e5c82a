// The program's texts in the user's language: the Russian ids as they are where no translation
// applies, the English catalog's text under an English locale, and places filled in either.
#include "base/Translate.h"

#include "TestSupport.h"
#include "TestTokenFolder.h"
#include "UserLanguage.h"
#include "base/FileUtil.h"
#include "provider/ContainerStore.h"
#include "provider/TokenGostProvider.h"
#include "provider/TokenPin.h"
#include "settings/Settings.h"
#include "transport/Connection.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <unistd.h>

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

/// The readable text of the error `action` raises ("" when it raises none).
std::string ErrorText(const std::function<void()>& action) {
    try {
        action();
    } catch (const cq::Exception& error) {
        return error.readableMessage();
    }
    return {};
}

/// A wrong PIN typed for a fresh test token (three tries) while a key is made on it.
std::string WrongPinText() {
    const cq::test::TestTokenFolder token;
    cq::provider::SetTokenPinPrompt(
        [](const cq::provider::TokenPinQuestion&) { return cq::SecretBytes("0000"); });
    std::string notes;
    const auto providers = cq::provider::TokenGostProviders(
        {cq::test::TestTokenModule()}, [&notes](const std::string& why) { notes += why; });
    std::string text = providers.size() == 1 ? ErrorText([&providers] {
        providers.front()->acquireNewKeySet("QUORIX_R20240115090507042");
    })
                                             : "no token: " + notes;
    cq::provider::SetTokenPinPrompt(nullptr);
    return text;
}

/// The failure of a request to a loopback port nobody listens on, without the library's own
/// words that follow in parentheses.
std::string RefusedConnectionText() {
    const int32_t handle = cq::CreateConn({});
    const cq::GetResult result = cq::CommandGet(
        handle,
        {"https://127.0.0.1:" + std::to_string(cq::test::FreeLoopbackPort()) + "/", {}, {}});
    cq::CloseConn(handle);
    return result.errorMessage.substr(0, result.errorMessage.find(" ("));
}

TEST(Translate, CoreMessagesComeOutWholeInTheUserLanguage) {
    const cq::test::TempDir dir;
    cq::test::WriteFile(dir / "plain", "");
    ASSERT_EQ(::symlink("plain", (dir / "link").c_str()), 0);
    struct Case {
        const char* name;
        std::function<std::string()> text;
        std::string russian;
        std::string english;
    };
    const Case cases[] = {
        {"key container folder behind a file",
         [&dir] {
             return ErrorText([&dir] { cq::provider::CheckContainerFolder(dir / "plain/keys"); });
         },
         "Папка контейнеров ключей " + dir / "plain/keys" +
             " не может быть создана: на месте папки " + dir / "plain" +
             " находится файл : Часть пути не является папкой.",
         "Key container folder " + dir / "plain/keys" + " cannot be created: " + dir / "plain" +
             " is a file, not a folder : A part of the path is not a folder."},
        {"file to be written replaced by a link",
         [&dir] { return ErrorText([&dir] { cq::RefuseOddFile(dir / "link"); }); },
         "Файл " + dir / "link" +
             " не может быть записан: на его месте символическая ссылка : Символические ссылки "
             "образуют петлю.",
         "File " + dir / "link" +
             " cannot be written: a symbolic link is in its place : Symbolic links form a loop."},
        {"settings file of binary data",
         [&dir] {
             return ErrorText(
                 [&dir] { cq::ParseSettingsFile(std::string("a\0b", 3), dir / "s.ini"); });
         },
         "Файл настроек " + dir / "s.ini" +
             " содержит двоичные данные, а не текст ini файла. Исправьте или удалите его.",
         "Settings file " + dir / "s.ini" +
             " contains binary data, not the text of an ini file. Fix or delete it."},
        {"wrong token PIN", WrongPinText,
         "Неверный PIN-код токена \"Ivanov (QX-2)\". Число оставшихся попыток уменьшилось : "
         "Доступ к карте невозможен из-за неправильного PIN-кода.",
         "Wrong PIN for token \"Ivanov (QX-2)\". The number of tries left has gone down : The "
         "card cannot be accessed because the PIN is wrong."},
        {"refused connection", RefusedConnectionText,
         "Ошибка соединения с сервисом: сервер не отвечает на соединение",
         "Connection to the service failed: the server does not answer the connection"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        {
            const cq::test::UserLanguage english("en_US.UTF-8");
            if (!english.available())
                GTEST_SKIP() << "the en_US.UTF-8 locale is not generated here";
            EXPECT_EQ(c.text(), c.english);
        }
        for (const char* locale : {"C", "ru_RU.UTF-8"}) {
            const cq::test::UserLanguage russian(locale);
            EXPECT_EQ(c.text(), c.russian) << locale;
        }
    }
}

} // namespace
