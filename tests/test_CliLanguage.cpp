// The command-line tool speaks the user's language on the whole road of a certificate, against
// the sandbox service: English under an English locale, the Russian texts byte for byte under a
// Russian locale and under C. What scripts read (statuses, file names) is the same in each.
#include "CliFixture.h"
#include "RetrievalFixture.h"
#include "SandboxServer.h"
#include "UserLanguage.h"
#include "base/FileUtil.h"
#include "base/IniFile.h"
#include "settings/CertFolders.h"

#include <clocale>
#include <gtest/gtest.h>
#include <regex>

namespace {

using namespace cq::test;

/// The tool's own texts on the road, as one language gives them. `%` stands for the file the
/// copy was refused for.
struct RoadTexts {
    std::string unknownOption; ///< the whole standard error of an unknown option
    std::string badFieldLine;  ///< the first line of a field with a character not allowed
    std::string alreadyThere;  ///< a second download of the same certificate
    std::regex daysLeft;       ///< the last line of check
    std::vector<std::string> statusLines;
    std::regex listLine;                  ///< the address's line of list
    std::string copyRefused;              ///< -o onto an existing file without --yes
    std::vector<std::string> doctorLines; ///< with the proxy's port spoiled
};

const RoadTexts& English() {
    static const RoadTexts texts{
        "Unknown option: --frobnicate\nHelp: certquorix-cli request --help\n",
        "Field \"Country\" (--country) contains characters that are not allowed: allowed are only "
        "Latin letters, digits, space and the characters - . @.",
        "The certificate is already downloaded: the folder holds the certificate the service "
        "gives, nothing was changed.\n",
        std::regex("\nValidity: [0-9]+ days left\n$"),
        {"Subject: ", "Serial number: ", "Key file: ", "Key matches the certificate: yes\n"},
        std::regex("^[a-z]+@example\\.ru\tdownloaded\tuntil [^\t]+ UTC\t[0-9]+ days left\n$"),
        "Writing the PKCS#12 copy: File % already exists; the copy was not written (give --yes "
        "to replace it).\n",
        {"\nOK      Settings file\n",
         "\nERROR   Proxy: proxy port \"99999\" is not a number from 1 to 65535. What to do: "
         "correct Port in section [Proxy].\n"},
    };
    return texts;
}

const RoadTexts& Russian() {
    static const RoadTexts texts{
        "Неизвестный параметр: --frobnicate\nСправка: certquorix-cli request --help\n",
        "Поле «Страна» (--country) содержит недопустимые символы: допустимы только латинские "
        "буквы, цифры, пробел и символы - . @.",
        "Сертификат уже получен: в папке тот же сертификат, что выдаёт сервис, ничего не "
        "изменено.\n",
        std::regex("\nСрок действия: осталось [0-9]+ дн.\n$"),
        {"Субъект: ", "Серийный номер: ", "Файл ключа: ", "Ключ соответствует сертификату: да\n"},
        std::regex("^[a-z]+@example\\.ru\tполучен\tдо [^\t]+ UTC\tосталось [0-9]+ дн.\n$"),
        "Запись копии PKCS#12: Файл % уже существует; копия не записана (для замены укажите "
        "--yes).\n",
        {"\nOK      Файл настроек\n",
         "\nОШИБКА  Прокси: порт прокси \"99999\" не число от 1 до 65535. Что сделать: исправьте "
         "Port раздела [Proxy].\n"},
    };
    return texts;
}

struct LanguageCase {
    const char* name;
    std::string lang; ///< the LANG the tool runs under
    const RoadTexts& (*texts)();
    bool english;
    std::string email; ///< one address per language: the sandbox service is shared
};

void PrintTo(const LanguageCase& c, std::ostream* os) {
    *os << c.name;
}

class CliLanguage : public SandboxSuite, public ::testing::WithParamInterface<LanguageCase> {
protected:
    void SetUp() override {
        if (GetParam().lang != "C" && !LocaleExists(GetParam().lang.c_str()))
            GTEST_SKIP() << GetParam().lang << " is not generated here";
        WriteFile(client.programFolder() + "CertQuorix.ini", client.settingsFile());
        cli.baseEnvironment = {"CERTQUORIX_PASSWORD=" + std::string(kFixturePassword),
                               "LANG=" + GetParam().lang};
    }

    /// Under English, what the tool says itself carries no Russian word.
    void expectSpokenInLanguage(const ProcessResult& run) const {
        if (!GetParam().english)
            return;
        EXPECT_FALSE(HasCyrillic(run.out)) << run.out;
        EXPECT_FALSE(HasCyrillic(run.err)) << run.err;
    }

    SandboxClient client{*server};
    CliProgram cli{client.programFolder()};
};

TEST_P(CliLanguage, TheRoadFromRequestToExportSpeaksTheUsersLanguage) {
    const RoadTexts& texts = GetParam().texts();
    const std::string email = GetParam().email;
    const std::vector<std::string> subject = {"--email",    email,    "--state",        "Moscow",
                                              "--locality", "Moscow", "--organization", "Romashka",
                                              "--unit",     "IT",     "--common-name",  "Vera Lis"};
    auto request = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = {"request"};
        args.insert(args.end(), subject.begin(), subject.end());
        args.insert(args.end(), extra.begin(), extra.end());
        return cli.run(args);
    };

    ProcessResult run = request({"--country", "RU", "--frobnicate"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, texts.unknownOption);
    expectSpokenInLanguage(run);

    run = request({"--country", "R!"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err.substr(0, run.err.find('\n')), texts.badFieldLine);
    expectSpokenInLanguage(run);

    run = request({"--country", "RU"});
    ASSERT_EQ(run.status, 0) << run.err << run.out;
    expectSpokenInLanguage(run);

    // The service's "not ready yet" and "downloaded" come from the certificate layer.
    run = cli.run({"download", "--email", email});
    EXPECT_EQ(run.status, 3) << run.err;
    expectSpokenInLanguage(run);
    server->issue(email);
    run = cli.run({"download", "--email", email});
    ASSERT_EQ(run.status, 0) << run.err;
    expectSpokenInLanguage(run);
    run = cli.run({"download", "--email", email});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, texts.alreadyThere);
    expectSpokenInLanguage(run);

    // The check's report above its last line comes from the certificate layer.
    run = cli.run({"check", "--email", email});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(std::regex_search(run.out, texts.daysLeft)) << run.out;
    expectSpokenInLanguage(run);

    run = cli.run({"status", "--email", email});
    EXPECT_EQ(run.status, 0) << run.err;
    for (const std::string& line : texts.statusLines)
        EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;
    expectSpokenInLanguage(run);

    run = cli.run({"list"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(std::regex_match(run.out, texts.listLine)) << run.out;
    expectSpokenInLanguage(run);

    const std::string p12 = cli.folder(email) + cq::kCertificateP12File;
    run = cli.run({"export", "--email", email, "--no-open"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, p12 + "\n");
    expectSpokenInLanguage(run);

    // A copy onto a file that is there is refused without --yes, and the file keeps its bytes.
    const std::string taken = cli.home.path() + "taken.p12";
    WriteFile(taken, "mine");
    run = cli.run({"export", "--email", email, "--no-open", "-o", taken});
    EXPECT_EQ(run.status, 1);
    std::string refused = texts.copyRefused;
    refused.replace(refused.find('%'), 1, taken);
    EXPECT_EQ(run.err, refused);
    EXPECT_EQ(ReadFile(taken), "mine");
    expectSpokenInLanguage(run);

    // The doctor's verdicts keep their column whatever the language.
    const std::string settings = client.programFolder() + "CertQuorix.ini";
    cq::IniFile ini = cq::IniFile::Load(settings);
    ini.WriteString("Proxy", "Use", "1");
    ini.WriteString("Proxy", "Server", "proxy.example");
    ini.WriteString("Proxy", "Port", "99999");
    ini.Save(settings);
    run = cli.run({"doctor", "--offline"});
    EXPECT_EQ(run.status, 9) << run.err;
    for (const std::string& line : texts.doctorLines)
        EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;
    expectSpokenInLanguage(run);
}

INSTANTIATE_TEST_SUITE_P(
    Languages, CliLanguage,
    ::testing::Values(LanguageCase{"English", "en_US.UTF-8", English, true, "vera@example.ru"},
                      LanguageCase{"Russian", "ru_RU.UTF-8", Russian, false, "lida@example.ru"},
                      LanguageCase{"C", "C", Russian, false, "nina@example.ru"}),
    [](const auto& language) { return std::string(language.param.name); });

} // namespace
